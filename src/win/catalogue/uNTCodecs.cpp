#include "win/catalogue/uNTCodecs.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "platform/api/Backend.h"
#include "win/resource.h"
#include "win/scan/uFourcc.h"
#include "win/shell/WinListView.h"
#include "win/shell/splash.h"
#include "win/shell/uMain.h"
#include "win/shell/uProgress.h"
#include "win/shell/uQuestion.h"

namespace tarnel::win {

TfNTCodecs* fNTCodecs = nullptr;

namespace {
// The panel's parts at 96 dots per inch: its inner border, the bands, the
// bar between the lists (twice the design's three pixels: a bar that thin
// could not be seen) and the spacer under the inactive list.
constexpr int kBorder = 10, kSplitter = 6, kSpacer = 5;
constexpr COLORREF kTwinRed = RGB(255, 0, 0);
}  // namespace

// --- Load progress ---------------------------------------------------------------

// Start-up loads show their progress on the splash screen, later ones in a
// progress window of their own. Both paint at once: the load handles no
// messages.
class TfNTCodecs::Progress : public TLoadProgress {
public:
    explicit Progress(TfNTCodecs& w) : w_(w) {}

    void Start(int max) override {
        max_ = max;
        throttle_ = TRepaintThrottle();
        if (w_.splash_) {
            w_.splash_->ShowLoadBar(max);
            PaintNow(w_.splash_->Window());
            return;
        }
        window_ = std::make_unique<TfProgress>();
        window_->SetTask(cProgressLoadingCodecs);
        window_->SetMaximum(max);
        window_->Show();
    }

    // Painted at once, but not more than about 30 times a second; what it
    // shows is always the exact position.
    void Advance(int i) override {
        const bool last = i + 1 >= max_;
        if (w_.splash_) {
            w_.splash_->SetLoadPosition(i);
            if (throttle_.Due(last)) PaintNow(w_.splash_->Window());
        } else if (window_ && throttle_.Due(last)) {
            window_->SetProgress(i);
        }
    }

    void End() override {
        if (w_.splash_) {
            // The splash screen goes for good; every later load uses the window.
            w_.splash_->Close();
            w_.splash_ = nullptr;
        } else {
            window_.reset();
        }
    }

    void SetActiveListHeight(int height) override { w_.SetActiveListHeight(height); }

    // The progress window of the load under way; null otherwise.
    TfProgress* Window() const { return window_.get(); }

private:
    TfNTCodecs& w_;
    std::unique_ptr<TfProgress> window_;
    int max_ = 0;
    TRepaintThrottle throttle_;
};

// The operations' questions, put with the question dialog; its title and
// subtitle stay as designed.
class TfNTCodecs::Questions : public TOperationQuestions {
public:
    explicit Questions(TfNTCodecs& w) : w_(w) {}
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return Ask(cSwapQuestion); }
    TAnswer AskRemove() override { return Ask(cRemoveQuestion); }

private:
    TAnswer Ask(const char* text) {
        TfQuestion question(&w_.main_.Log());
        question.Question = text;
        switch (question.ShowModal(w_.main_.Handle)) {
            case IDYES: return TAnswer::Yes;
            case IDNO: return TAnswer::No;
            default: return TAnswer::Cancel;
        }
    }
    TfNTCodecs& w_;
};

// --- TfNTCodecs ------------------------------------------------------------------

TfNTCodecs::TfNTCodecs(TfMain& main, TSplashScreen* splash)
    : main_(main),
      catalogue_(main.Settings, main.Log()),
      questions_(std::make_unique<Questions>(*this)),
      operations_(catalogue_, *questions_),
      splash_(splash),
      progress_(std::make_unique<Progress>(*this)) {
    catalogue_.SetProgress(progress_.get());

    Form = CreateHandlerWindow(cFormClass, 0, WS_OVERLAPPEDWINDOW, L"fNTCodecs", nullptr, 0, this);
    WindowsNTCodecsPanel = CreateHandlerWindow(cPanelClass, WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                               L"WindowsNTCodecsPanel", Form, IDC_CODECPANEL, this);
    Panel5 = CreateBand(WindowsNTCodecsPanel, IDC_BAND, cActiveCodecsTitle, cActiveCodecsSubtitle);
    auto list = [&](int id, DWORD sortStyle) {
        return ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | sortStyle, 0, 0,
                                 0, 0, WindowsNTCodecsPanel, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 Instance(), nullptr);
    };
    // The active list is never sorted; a click on the inactive list's header sorts it.
    CodecList = list(IDC_CODECLIST, LVS_NOSORTHEADER);
    Splitter1 = CreateHandlerWindow(cSplitterClass, 0, WS_CHILD | WS_VISIBLE, L"Splitter1", WindowsNTCodecsPanel,
                                    IDC_SPLITTER, this);
    Panel1 = CreateBand(WindowsNTCodecsPanel, IDC_BAND2, cInactiveCodecsTitle, cInactiveCodecsSubtitle);
    InactiveCodecList = list(IDC_INACTIVELIST, 0);
    ::SetWindowTextW(CodecList, ToW(cActiveCodecsTitle).c_str());
    ::SetWindowTextW(InactiveCodecList, ToW(cInactiveCodecsTitle).c_str());
    const UINT dpi = DpiOf(WindowsNTCodecsPanel);
    for (HWND l : {CodecList, InactiveCodecList}) {
        SetUpReportList(l);
        ::SetWindowSubclass(l, ListSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    SetColumns(CodecList, ColumnsOf(TListKind::Active), dpi);
    SetColumns(InactiveCodecList, ColumnsOf(TListKind::Inactive), dpi);

    // The version tooltip: its texts line up by padding, so a fixed-pitch font.
    ToolTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0,
                                0, 0, WindowsNTCodecsPanel, nullptr, Instance(), nullptr);
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = WindowsNTCodecsPanel;
    tool.uId = reinterpret_cast<UINT_PTR>(CodecList);
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    ::SendMessageW(ToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    ::SendMessageW(ToolTip, TTM_SETMAXTIPWIDTH, 0, Scale(900, dpi));
    tipFont_.Reset(MakeDesignFont(L"Courier New", 13, dpi));
    ::SendMessageW(ToolTip, WM_SETFONT, WPARAM(tipFont_.Get()), FALSE);

    PopupMenus = ::LoadMenuW(Instance(), MAKEINTRESOURCEW(IDR_CODECMENUS));
    DriverConfig = ::GetSubMenu(PopupMenus, 0);
    InactiveDrivers = ::GetSubMenu(PopupMenus, 1);

    // Dragging between the lists: which drags a list takes is the core's rule.
    Drag.Lists[0] = CodecList;
    Drag.Lists[1] = InactiveCodecList;
    Drag.Accepts = [this](HWND target, HWND source) {
        return target == InactiveCodecList ? InactiveCodecListDragOver(source) : CodecListDragOver(source);
    };
    Drag.Drop = [this](HWND target, HWND source) {
        if (target == InactiveCodecList)
            InactiveCodecListDragDrop(source);
        else
            CodecListDragDrop(source);
    };

    // The lists follow the core lists when a batch of changes ends.
    catalogue_.CodecList.SetChangeListener([this] { ShowRows(); });
    catalogue_.InactiveCodecList.SetChangeListener([this] { ShowRows(); });

    // From here the main window reaches this window as its form object
    // (refresh, program font, the height saved at quitting).
    fNTCodecs = this;
    try {
        FormCreate();
    } catch (...) {
        // Nothing may reach a window that was never made.
        catalogue_.CodecList.SetChangeListener({});
        catalogue_.InactiveCodecList.SetChangeListener({});
        catalogue_.SetProgress(nullptr);
        if (fNTCodecs == this) fNTCodecs = nullptr;
        if (::IsWindow(WindowsNTCodecsPanel)) ::DestroyWindow(WindowsNTCodecsPanel);
        ::DestroyWindow(Form);
        ::DestroyMenu(PopupMenus);
        throw;
    }
}

TfNTCodecs::~TfNTCodecs() {
    catalogue_.CodecList.SetChangeListener({});
    catalogue_.InactiveCodecList.SetChangeListener({});
    catalogue_.SetProgress(nullptr);
    if (fNTCodecs == this) fNTCodecs = nullptr;
    for (HWND l : {CodecList, InactiveCodecList})
        if (::IsWindow(l)) ::RemoveWindowSubclass(l, ListSubclass, 1);
    if (::IsWindow(ToolTip)) ::DestroyWindow(ToolTip);
    if (::IsWindow(WindowsNTCodecsPanel)) ::DestroyWindow(WindowsNTCodecsPanel);
    if (::IsWindow(Form)) ::DestroyWindow(Form);
    if (PopupMenus) ::DestroyMenu(PopupMenus);
}

void TfNTCodecs::FormCreate() {
    main_.WriteLog(cLogLoadingCodecListview);
    main_.HostPanel(0, WindowsNTCodecsPanel);
    main_.ApplyProgramFont();
    catalogue_.LoadActiveList();
    try {
        catalogue_.LoadInactiveCodecList();
    } catch (const EStoreFormatError& e) {
        // The rows before the bad entry stay; the catalogue refuses to write
        // the store back until the entry is mended.
        main_.ShowSystemMessage(e.what(), TMessageKind::Error);
    }
    ShowRows();
    UpdateActiveCount();
    UpdateInactiveCount();
}

void TfNTCodecs::RefreshClick() {
    catalogue_.LoadActiveList();
    ShowRows();
    // The counters follow every load, so that they always count the rows shown.
    UpdateActiveCount();
    UpdateInactiveCount();
}

void TfNTCodecs::UpdateActiveCount() { main_.SetStatusText(1, ActiveCountText(catalogue_.CodecList)); }

void TfNTCodecs::UpdateInactiveCount() { main_.SetStatusText(2, InactiveCountText(catalogue_.InactiveCodecList)); }

// --- Sizes ---------------------------------------------------------------------------

int TfNTCodecs::MinimumPanelHeight() const {
    const UINT dpi = DpiOf(WindowsNTCodecsPanel);
    return Scale(2 * kBorder + 2 * cBandHeight + kSplitter + kSpacer + 2 * cLeastListHeight, dpi);
}

void TfNTCodecs::CodecsPanelResize() {
    if (main_.Settings.SizeEqually) {
        RECT r;
        ::GetClientRect(WindowsNTCodecsPanel, &r);
        const UINT dpi = DpiOf(WindowsNTCodecsPanel);
        activeHeight_ = SizeEquallyHeight(MulDiv(r.bottom, 96, int(dpi)), cBandHeight);
    }
    Layout();
}

void TfNTCodecs::SetActiveListHeight(int height) {
    activeHeight_ = height;
    Layout();
}

void TfNTCodecs::Layout() {
    RECT r;
    ::GetClientRect(WindowsNTCodecsPanel, &r);
    const UINT dpi = DpiOf(WindowsNTCodecsPanel);
    auto s = [dpi](int px) { return Scale(px, dpi); };
    // A height kept from a larger window, or half of a small panel, must not
    // push the inactive list's band over the active list's rows. Until the
    // panel has a size of its own there is nothing to measure against.
    int shown = activeHeight_;
    if (r.bottom > 0) {
        const int room = MulDiv(r.bottom - MinimumPanelHeight(), 96, int(dpi)) + cLeastListHeight;
        shown = std::max(0, std::min(shown, room));
    }
    shownHeight_ = shown;
    const int width = std::max(0, int(r.right) - 2 * s(kBorder));
    int y = s(kBorder);
    HDWP moves = ::BeginDeferWindowPos(5);
    auto place = [&](HWND w, int height) {
        moves = ::DeferWindowPos(moves, w, nullptr, s(kBorder), y, width, std::max(0, height), SWP_NOZORDER);
        y += std::max(0, height);
    };
    place(Panel5, s(cBandHeight));
    place(CodecList, s(shown));
    place(Splitter1, s(kSplitter));
    place(Panel1, s(cBandHeight));
    place(InactiveCodecList, int(r.bottom) - y - s(kSpacer) - s(kBorder));
    ::EndDeferWindowPos(moves);
}

void TfNTCodecs::SetListsFont(HFONT font) {
    const UINT dpi = DpiOf(WindowsNTCodecsPanel);
    // The design's widths suit the default program font at its default
    // size; a font that sets text wider widens the columns alike.
    TFont design(MakePointFont(ProgramFontFamily(cDefaultFont), cDefaultFontSize, dpi));
    const double growth = FontGrowth(font, design.Get());
    for (HWND l : {CodecList, InactiveCodecList}) ::SendMessageW(l, WM_SETFONT, WPARAM(font), TRUE);
    SetColumnWidths(CodecList, ColumnsOf(TListKind::Active), dpi, growth);
    SetColumnWidths(InactiveCodecList, ColumnsOf(TListKind::Inactive), dpi, growth);
}

// --- Rows and selection ----------------------------------------------------------------------

void TfNTCodecs::ShowRows() {
    SetRowCount(CodecList, catalogue_.CodecList.Count());
    SetRowCount(InactiveCodecList, catalogue_.InactiveCodecList.Count());
    ShowSelection(CodecList, catalogue_.CodecList);
    ShowSelection(InactiveCodecList, catalogue_.InactiveCodecList);
}

void TfNTCodecs::TakeSelection(HWND list, TCodecList& rows) {
    rows.SelectOnly(SelectedRows(list));
}

void TfNTCodecs::ShowSelection(HWND list, const TCodecList& rows) {
    syncing_ = true;
    for (size_t i = 0; i < rows.Count(); ++i)
        if (RowSelected(list, int(i)) != rows.Selected(i)) SelectRow(list, int(i), rows.Selected(i));
    syncing_ = false;
}

void TfNTCodecs::CodecListSelectItem() {
    const TActiveSelection s = SelectActiveCodec(catalogue_.CodecList, catalogue_.InactiveCodecList);
    if (!s.Handled) return;
    SetMenuEnabled(IDM_CONFIGURE, s.CanConfigure);
    SetMenuEnabled(IDM_CODECABOUT, s.CanAbout);
    if (!s.TwinsChecked) return;
    ShowSelection(InactiveCodecList, catalogue_.InactiveCodecList);
    ::SendMessageW(InactiveCodecList, LVM_ENSUREVISIBLE, WPARAM(s.ScrollTo), FALSE);
    main_.SetStatusText(3, s.StatusText);
}

void TfNTCodecs::N2Click() {
    if (catalogue_.CodecList.Empty()) return;
    // Every row at once: the selection handler runs once, for the rows it then finds.
    syncing_ = true;
    SelectAllRows(CodecList, true);
    syncing_ = false;
    TakeSelection(CodecList, catalogue_.CodecList);
    CodecListSelectItem();
}

void TfNTCodecs::SelectAll1Click() {
    if (catalogue_.InactiveCodecList.Empty()) return;
    syncing_ = true;
    SelectAllRows(InactiveCodecList, true);
    syncing_ = false;
    TakeSelection(InactiveCodecList, catalogue_.InactiveCodecList);
}

void TfNTCodecs::InactiveCodecListColumnClick(int column) {
    // Ascending on every click, in the user's order with letter case counting.
    SortByColumn(catalogue_.InactiveCodecList, TListKind::Inactive, column,
                 [](const std::string& a, const std::string& b) {
                     return ::CompareStringW(LOCALE_USER_DEFAULT, 0, ToW(a).c_str(), -1, ToW(b).c_str(), -1) - 2;
                 });
    ShowRows();
}

// --- Menus --------------------------------------------------------------------------------

bool TfNTCodecs::MenuEnabled(int id) const {
    if (id == IDM_FOURCCLIST) return fourccListEnabled_;
    const UINT state = ::GetMenuState(PopupMenus, UINT(id), MF_BYCOMMAND);
    return state != UINT(-1) && !(state & (MF_GRAYED | MF_DISABLED));
}

void TfNTCodecs::SetMenuEnabled(int id, bool enabled) {
    if (id == IDM_FOURCCLIST) {
        fourccListEnabled_ = enabled;
        return;
    }
    ::EnableMenuItem(PopupMenus, UINT(id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool TfNTCodecs::ShowVersionTooltips() const {
    return (::GetMenuState(PopupMenus, IDM_VERSIONTIPS, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void TfNTCodecs::ShowVersionTooltips1Click() {
    ::CheckMenuItem(PopupMenus, IDM_VERSIONTIPS, MF_BYCOMMAND | (ShowVersionTooltips() ? MF_UNCHECKED : MF_CHECKED));
}

void TfNTCodecs::DriverConfigPopup() {
    const TDriverConfigEnabling e =
        tarnel::DriverConfigPopup(catalogue_.CodecList, MenuEnabled(IDM_CONFIGURE), MenuEnabled(IDM_CODECABOUT));
    SetMenuEnabled(IDM_CONFIGURE, e.Configure);
    SetMenuEnabled(IDM_CODECABOUT, e.About);
    SetMenuEnabled(IDM_SCAN, e.Scan);
    SetMenuEnabled(IDM_FOURCCLIST, e.FourccList);
}

void TfNTCodecs::ContextMenu(HWND list, POINT screen) {
    // From the keyboard (Shift+F10, the menu key): at the focused row.
    if (screen.x == -1 && screen.y == -1) {
        int row = int(::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED));
        RECT r;
        if (row >= 0) {
            r = RowRect(list, row);
        } else {
            ::GetClientRect(list, &r);
            r.bottom = r.top;
        }
        screen = POINT{r.left + 8, r.bottom};
        ::ClientToScreen(list, &screen);
    }
    if (list == CodecList) DriverConfigPopup();
    HMENU menu = list == CodecList ? DriverConfig : InactiveDrivers;
    // The command arrives as WM_COMMAND, as a menu's item sends it.
    ::TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, WindowsNTCodecsPanel, nullptr);
}

void TfNTCodecs::Command(int id) {
    // A disabled item's command does nothing, however it was sent.
    if (!MenuEnabled(id)) return;
    switch (id) {
        case IDM_CONFIGURE: Configure1Click(); break;
        case IDM_CODECABOUT: About1Click(); break;
        case IDM_DEACTIVATE: DeActivate1Click(); break;
        case IDM_SCAN: ScanCodecsformoreFOURCCs1Click(); break;
        case IDM_FOURCCLIST: EditFOURCCscanlist1Click(); break;
        case IDM_VERSIONTIPS: ShowVersionTooltips1Click(); break;
        case IDM_SELECTALL: N2Click(); break;
        case IDM_REMOVEINACTIVE: RemoveSelectedInactiveDrivers1Click(); break;
        case IDM_ACTIVATE: Activate1Click(); break;
        case IDM_SELECTALLINACTIVE: SelectAll1Click(); break;
        default: break;
    }
}

// --- Colours, marks and tooltips ----------------------------------------------------------

COLORREF TfNTCodecs::RowTextColour(size_t row) const {
    if (row >= catalogue_.CodecList.Count()) return CLR_DEFAULT;
    return HasInactiveTwin(catalogue_.InactiveCodecList, catalogue_.CodecList.Entry(row).Fourcc) ? kTwinRed
                                                                                                 : CLR_DEFAULT;
}

bool TfNTCodecs::RowMarked(size_t row) const {
    return row < catalogue_.CodecList.Count() && !catalogue_.CodecList.Entry(row).Problem.Text.empty();
}

LRESULT TfNTCodecs::CustomDraw(NMLVCUSTOMDRAW* draw) {
    if (draw->nmcd.hdr.hwndFrom != CodecList) return CDRF_DODEFAULT;
    const size_t row = size_t(draw->nmcd.dwItemSpec);
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            const COLORREF colour = RowTextColour(row);
            if (colour != CLR_DEFAULT) draw->clrText = colour;
            // A row whose driver cannot be loaded has its Driver cell drawn here.
            return RowMarked(row) ? CDRF_NOTIFYSUBITEMDRAW : CDRF_DODEFAULT;
        }
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            const COLORREF colour = RowTextColour(row);
            if (colour != CLR_DEFAULT) draw->clrText = colour;
            if (draw->iSubItem != acDriver || !RowMarked(row)) return CDRF_DODEFAULT;
            // The warning mark before the file name, which says why in the tooltip.
            RECT cell{};
            cell.top = acDriver;
            cell.left = LVIR_LABEL;
            ::SendMessageW(CodecList, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
            HDC dc = draw->nmcd.hdc;
            const bool selected = RowSelected(CodecList, int(row));
            const bool focused = ::GetFocus() == CodecList;
            const int back = selected ? (focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : COLOR_WINDOW;
            ::FillRect(dc, &cell, ::GetSysColorBrush(back));
            const int icon = std::min(int(cell.bottom - cell.top), Scale(16, DpiOf(CodecList)));
            HICON warning =
                static_cast<HICON>(::LoadImageW(nullptr, IDI_WARNING, IMAGE_ICON, icon, icon, LR_SHARED));
            ::DrawIconEx(dc, cell.left + 2, cell.top + (cell.bottom - cell.top - icon) / 2, warning, icon, icon, 0,
                         nullptr, DI_NORMAL);
            RECT text = cell;
            text.left += icon + 6;
            const std::wstring driver = ToW(catalogue_.CodecList.Entry(row).Driver);
            ::SetBkMode(dc, TRANSPARENT);
            const COLORREF plain = selected && focused ? ::GetSysColor(COLOR_HIGHLIGHTTEXT) : ::GetSysColor(COLOR_WINDOWTEXT);
            ::SetTextColor(dc, colour != CLR_DEFAULT ? colour : plain);
            ::DrawTextW(dc, driver.c_str(), int(driver.size()), &text,
                        DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
            return CDRF_SKIPDEFAULT;
        }
        default: return CDRF_DODEFAULT;
    }
}

std::string TfNTCodecs::ShownToolTip() const {
    if (tipRow_ < 0 || size_t(tipRow_) >= catalogue_.CodecList.Count()) return toolTipText_;
    const TActiveRowTip tip = ActiveRowTip(catalogue_.CodecList.Entry(size_t(tipRow_)), ShowVersionTooltips());
    // A driver that cannot be loaded is named first, above the version texts.
    std::string shown = tip.Problem;
    if (!tip.Problem.empty() && !tip.Version.empty()) shown += "\r\n\r\n";
    shown += tip.Version;
    return shown;
}

void TfNTCodecs::UpdateToolTip(int row) {
    if (row == tipRow_) return;
    tipRow_ = row;
    // A tip for another row comes anew at the pointer.
    ::SendMessageW(ToolTip, TTM_POP, 0, 0);
    ::SendMessageW(ToolTip, TTM_UPDATE, 0, 0);
}

void TfNTCodecs::CodecListMouseMove(POINT client) {
    const int row = RowAt(CodecList, client);
    if (!ShowVersionTooltips()) {
        toolTipText_.clear();
        UpdateToolTip(row);
        return;
    }
    // Over empty space below the rows the last text stays.
    if (row < 0) return;
    const TCodecEntry& e = catalogue_.CodecList.Entry(size_t(row));
    toolTipText_ = VersionTooltipText(e.VersionInfo ? *e.VersionInfo : TCodecVersionInfo{});
    UpdateToolTip(row);
}

// --- Operations ------------------------------------------------------------------------------

void TfNTCodecs::ShowResult(const TOperationResult& result) {
    ShowRows();
    // A change refused says why; a question answered No or Cancel changed
    // nothing, not even the counters.
    if (!result.Changed) {
        if (!result.Error.empty()) main_.ShowSystemMessage(result.Error, TMessageKind::Error);
        return;
    }
    UpdateActiveCount();
    UpdateInactiveCount();
    // The lists were read again after a failed save: the user sees what is
    // stored before reading why.
    if (!result.Error.empty()) main_.ShowSystemMessage(result.Error, TMessageKind::Error);
}

std::optional<TListKind> TfNTCodecs::ListOf(HWND window) const {
    if (window == CodecList) return TListKind::Active;
    if (window == InactiveCodecList) return TListKind::Inactive;
    return std::nullopt;
}

bool TfNTCodecs::InactiveCodecListDragOver(HWND source) const {
    return AcceptsDrag(TListKind::Inactive, ListOf(source));
}

void TfNTCodecs::InactiveCodecListDragDrop(HWND source) {
    // Anything but the active list moves no row, but the lists are still saved.
    if (DropMeaning(TListKind::Inactive, ListOf(source)) != TDropMeaning::Deactivate) {
        ShowResult(operations_.SaveCodecLists());
        return;
    }
    ShowResult(operations_.Deactivate(catalogue_.CodecList.SelectedRows()));
}

void TfNTCodecs::DeActivate1Click() { InactiveCodecListDragDrop(CodecList); }

void TfNTCodecs::CodecListDblClick() {
    if (main_.Settings.DisableDoubleClick) return;
    DeActivate1Click();
}

bool TfNTCodecs::CodecListDragOver(HWND source) const { return AcceptsDrag(TListKind::Active, ListOf(source)); }

void TfNTCodecs::CodecListDragDrop(HWND source) {
    if (DropMeaning(TListKind::Active, ListOf(source)) != TDropMeaning::Activate) {
        ShowResult(operations_.SaveCodecLists());
        return;
    }
    ShowResult(operations_.Activate(catalogue_.InactiveCodecList.SelectedRows()));
}

void TfNTCodecs::Activate1Click() { CodecListDragDrop(InactiveCodecList); }

void TfNTCodecs::InactiveCodecListDblClick() {
    if (main_.Settings.DisableDoubleClick) return;
    Activate1Click();
}

void TfNTCodecs::RemoveSelectedInactiveDrivers1Click() {
    ShowResult(operations_.RemoveInactive(catalogue_.InactiveCodecList.SelectedRows()));
}

// With several rows selected, the first one from the top is the codec meant.
void TfNTCodecs::Configure1Click() {
    const std::vector<size_t> rows = catalogue_.CodecList.SelectedRows();
    if (rows.empty()) return;
    main_.WithDriverDialog([&] { operations_.Configure(rows.front()); });
}

void TfNTCodecs::About1Click() {
    const std::vector<size_t> rows = catalogue_.CodecList.SelectedRows();
    if (rows.empty()) return;
    main_.WithDriverDialog([&] { operations_.About(rows.front()); });
}

void TfNTCodecs::EditFOURCCscanlist1Click() {
    if (fFourcc) fFourcc->ShowNonModal();
}

// --- Messages ----------------------------------------------------------------------------------

LRESULT CALLBACK TfNTCodecs::ListSubclass(HWND list, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
    auto* w = reinterpret_cast<TfNTCodecs*>(self);
    const bool ctrl = (::GetKeyState(VK_CONTROL) & 0x8000) != 0;
    switch (msg) {
        case WM_MOUSEMOVE:
            if (list == w->CodecList) {
                const POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
                Guarded([&] { w->CodecListMouseMove(at); });
            }
            break;
        case WM_KEYDOWN:
            // The list commands' keys reach a list only through its menu's
            // items: a disabled item's key, and a key of the other list's
            // menu, do nothing.
            if (ctrl && (wp == 'C' || wp == 'B' || wp == 'A')) {
                int id = 0;
                if (list == w->CodecList) id = wp == 'C' ? IDM_CONFIGURE : wp == 'B' ? IDM_CODECABOUT : IDM_SELECTALL;
                else if (wp == 'A') id = IDM_SELECTALLINACTIVE;
                if (id) Guarded([&] { w->Command(id); });
                return 0;
            }
            break;
        case WM_CHAR:
            // Their characters are no search for a row.
            if (ctrl && (wp == 3 || wp == 2 || wp == 1)) return 0;
            break;
        default: break;
    }
    return ::DefSubclassProc(list, msg, wp, lp);
}

LRESULT TfNTCodecs::Notify(NMHDR* hdr) {
    if (hdr->hwndFrom == ToolTip && hdr->code == TTN_GETDISPINFOW) {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(hdr);
        // The tooltip's lines end in CR LF (the version texts' in LF CR).
        std::string lines;
        for (char c : ShownToolTip()) {
            if (c == '\r') continue;
            if (c == '\n') lines += '\r';
            lines += c;
        }
        static std::wstring text;
        text = ToW(lines);
        info->lpszText = text.data();
        return 0;
    }
    const bool active = hdr->hwndFrom == CodecList, inactive = hdr->hwndFrom == InactiveCodecList;
    if (!active && !inactive) return 0;
    switch (hdr->code) {
        case LVN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(hdr);
            const TCodecList& rows = active ? catalogue_.CodecList : catalogue_.InactiveCodecList;
            if (size_t(info->item.iItem) < rows.Count())
                GiveText(info, CellText(rows.Entry(size_t(info->item.iItem)),
                                        active ? TListKind::Active : TListKind::Inactive, info->item.iSubItem));
            return 0;
        }
        case LVN_ITEMCHANGED: {
            auto* change = reinterpret_cast<NMLISTVIEW*>(hdr);
            if (syncing_ || !(change->uChanged & LVIF_STATE) ||
                !((change->uOldState ^ change->uNewState) & LVIS_SELECTED))
                return 0;
            TakeSelection(hdr->hwndFrom, RowsOf(hdr->hwndFrom));
            if (active) CodecListSelectItem();
            return 0;
        }
        case NM_CUSTOMDRAW: return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(hdr));
        case NM_DBLCLK:
            if (active) CodecListDblClick();
            else InactiveCodecListDblClick();
            return 0;
        case LVN_BEGINDRAG: Drag.Begin(WindowsNTCodecsPanel, hdr->hwndFrom); return 0;
        case LVN_COLUMNCLICK:
            if (inactive) InactiveCodecListColumnClick(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem);
            return 0;
        default: return 0;
    }
}

LRESULT TfNTCodecs::SplitterMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_LBUTTONDOWN: {
            POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ::ClientToScreen(window, &at);
            splitterPress_ = at.y;
            splitterStart_ = shownHeight_;
            splitterDragging_ = true;
            ::SetCapture(window);
            return 0;
        }
        case WM_MOUSEMOVE: {
            if (!splitterDragging_ || !(wp & MK_LBUTTON)) return 0;
            POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            ::ClientToScreen(window, &at);
            const UINT dpi = DpiOf(window);
            RECT above, below;
            ::GetWindowRect(CodecList, &above);
            ::GetWindowRect(InactiveCodecList, &below);
            const int room = MulDiv((above.bottom - above.top) + (below.bottom - below.top), 96, int(dpi));
            SetActiveListHeight(SplitterHeight(splitterStart_ + MulDiv(at.y - splitterPress_, 96, int(dpi)), room));
            return 0;
        }
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
            if (splitterDragging_) {
                splitterDragging_ = false;
                if (::GetCapture() == window) ::ReleaseCapture();
            }
            return 0;
        case WM_PAINT: {
            // A raised ridge across the whole width with a row of grip dots in
            // its middle, so that the bar shows as something to take hold of.
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(window, &ps);
            RECT r;
            ::GetClientRect(window, &r);
            ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
            ::DrawEdge(dc, &r, BDR_RAISEDINNER, BF_TOP | BF_BOTTOM);
            const int dots = 12, pitch = 4, left = r.right / 2 - dots * pitch / 2, top = r.bottom / 2 - 1;
            for (int i = 0; i < dots; ++i) {
                RECT dark{left + i * pitch, top, left + i * pitch + 2, top + 2};
                ::FillRect(dc, &dark, ::GetSysColorBrush(COLOR_BTNSHADOW));
                RECT light{left + i * pitch, top, left + i * pitch + 1, top + 1};
                ::FillRect(dc, &light, ::GetSysColorBrush(COLOR_BTNHIGHLIGHT));
            }
            ::EndPaint(window, &ps);
            return 0;
        }
        default: return DefaultMessage(window, msg, wp, lp);
    }
}

LRESULT TfNTCodecs::PanelMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (Drag.MouseMessage(msg, wp, lp)) return 0;
    switch (msg) {
        case WM_SIZE:
            CodecsPanelResize();
            return 0;
        case WM_NOTIFY: {
            LRESULT result = 0;
            Guarded([&] { result = Notify(reinterpret_cast<NMHDR*>(lp)); });
            return result;
        }
        case WM_CONTEXTMENU: {
            HWND list = reinterpret_cast<HWND>(wp);
            if (list != CodecList && list != InactiveCodecList) return 0;
            POINT at{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            Guarded([&] { ContextMenu(list, at); });
            return 0;
        }
        case WM_COMMAND:
            if (lp == 0) Guarded([&] { Command(LOWORD(wp)); });
            return 0;
        default: return DefaultMessage(window, msg, wp, lp);
    }
}

LRESULT TfNTCodecs::HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (window == Splitter1) return SplitterMessage(window, msg, wp, lp);
    if (window == WindowsNTCodecsPanel) return PanelMessage(window, msg, wp, lp);
    return DefaultMessage(window, msg, wp, lp);
}

}  // namespace tarnel::win
