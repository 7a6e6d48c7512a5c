#include "win/shell/uMain.h"

#include <algorithm>
#include <cstdio>

#include "core/catalogue/uCodecs.h"
#include "core/shell/uConst.h"
#include "platform/api/Backend.h"
#include "platform/api/Registry.h"
#include "win/catalogue/uNTCodecs.h"
#include "win/resource.h"
#include "win/shell/WinHelp.h"
#include "win/shell/splash.h"
#include "win/shell/uPrefs.h"
#include "win/shell/uQuestion.h"

namespace tarnel::win {

TfMain* fMain = nullptr;

namespace {
// The design's bounds and least size, in pixels at 96 dots per inch.
constexpr TWindowBounds kDesignBounds{231, 256, 414, 619};
constexpr int kLeastWidth = 400, kLeastHeight = 200;
constexpr int kStatusBarHeight = 24;
constexpr int kTabWidth = 149;

std::string FormatWithName(const char* format, const std::string& name) {
    std::string text = format;
    if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name);
    return text;
}
}  // namespace

TfMain::TfMain(TLog& log) : ProgramVersionInfo(Settings), log_(log) {
    fMain = this;
    // What the machine noticed but went on with goes to the log.
    platform::SetDiagnosticSink([this](const std::string& text) { WriteLog(text); });
    SetExceptionSink([this](const std::string& message) { ShowSystemMessage(message, TMessageKind::Error); });
    try {
        BuildComponents();
        FormCreate();
    } catch (...) {
        // A window that was never made must not be reachable as the main window.
        platform::SetDiagnosticSink({});
        SetExceptionSink({});
        if (::IsWindow(Handle)) ::DestroyWindow(Handle);
        fMain = nullptr;
        throw;
    }
}

TfMain::~TfMain() {
    if (fMain == this) {
        platform::SetDiagnosticSink({});
        SetExceptionSink({});
        fMain = nullptr;
    }
    if (::IsWindow(Handle)) ::DestroyWindow(Handle);
    if (Accelerators) ::DestroyAcceleratorTable(Accelerators);
}

void TfMain::BuildComponents() {
    CodecMenu = ::LoadMenuW(Instance(), MAKEINTRESOURCEW(IDR_MAINMENU));
    Accelerators = ::LoadAcceleratorsW(Instance(), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    Handle = ::CreateWindowExW(0, cMainClass, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, CodecMenu, Instance(), this);
    if (!Handle) throw platform::EPlatformError("The main window cannot be made");
    SetBounds(kDesignBounds);
    const UINT dpi = DpiOf(Handle);
    font_.Reset(MakeDesignFont(L"Lucida Sans Unicode", 11, dpi));
    statusFont_.Reset(MakePointFont(ProgramFontFamily(cDefaultFont), 8, dpi));

    StatusBar = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, Handle,
                                  reinterpret_cast<HMENU>(IDC_STATUSBAR), Instance(), nullptr);
    // What a panel cut short says whole.
    statusTip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0,
                                   0, 0, 0, Handle, nullptr, Instance(), nullptr);
    for (int i = 0; i < cStatusPanelCount; ++i) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = StatusBar;
        tool.uId = UINT_PTR(i);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(statusTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    Panel2 = CreateHandlerWindow(cPanelClass, WS_EX_STATICEDGE | WS_EX_CONTROLPARENT,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, L"Panel2", Handle, IDC_PAGES, this);
    PageControl = ::CreateWindowExW(0, WC_TABCONTROLW, L"",
                                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_BUTTONS |
                                        TCS_FLATBUTTONS | TCS_HOTTRACK | TCS_MULTILINE | TCS_FIXEDWIDTH,
                                    0, 0, 0, 0, Panel2, reinterpret_cast<HMENU>(IDC_TABS), Instance(), nullptr);
    for (const char* caption : {cTabVideoCodecs, cTabDirectShow, cTabLog}) {
        std::wstring text = ToW(caption);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text.data();
        ::SendMessageW(PageControl, TCM_INSERTITEMW, ::SendMessageW(PageControl, TCM_GETITEMCOUNT, 0, 0),
                       reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(PageControl, WM_SETFONT, WPARAM(font_.Get()), FALSE);
    Layout();
}

void TfMain::FormCreate() {
    WriteLog(cLogGettingOsVersion);
    // Which machine this is, before anything is read from it.
    WriteLog(cLogMachine + platform::CurrentBackend().Describe());
    // The machine's family, and so CodecStoreMode, is decided here once. The
    // success flag is not consulted: a failed query leaves platform 0.
    const TMachineFacts facts = IdentifyMachine();
    WinVersionInfo = facts.Os;
    Settings.CodecStoreMode = facts.CodecStoreMode;
    if (!facts.Supported()) {
        ShowSystemMessage(cMsgOsNotSupported, TMessageKind::Error);
        // The program ends as soon as its message loop would start
        // (RunProgram), without showing a window that cannot work.
        terminate_ = true;
    }

    ProgramVersionInfo.SetExecutableFile(platform::ProgramFile());
    WriteLog(cLogGettingOwnVersion);
    SetWindowTextAnsi(Handle, MainCaption(ProgramVersionInfo.FileVersion()));

    const int32_t storeMode = Settings.CodecStoreMode;
    try {
        Settings = LoadSettings();
    } catch (const std::exception& e) {
        // The defaults could not be written: the program works on with what
        // is stored, or with the defaults where nothing can be read.
        ShowSystemMessage(platform::ErrorText(e), TMessageKind::Error);
        try {
            Settings = ReadSettings();
        } catch (const std::exception&) {
            Settings = TPreferences{};
        }
    }
    Settings.CodecStoreMode = storeMode;
    WriteLog(cLogLoadedSettings);
    WriteLog(cLogConfiguringProgram);

    if (Settings.StayOnTop) {
        ::SetWindowPos(Handle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        ::RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    if (RestoresSavedBounds(Settings)) {
        SetBounds(TWindowBounds{Settings.MainTop, Settings.MainLeft, Settings.MainHeight, Settings.MainWidth});
        ::RedrawWindow(Handle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    // Saved or designed, the bounds may lie off every screen there is now.
    KeepOnScreen(Handle);

    WriteLog(cLogSettingFont);
    ApplyProgramFont();

    SetStatusText(0, cStatusRunningOn + WinVersionInfo.Description);
    WriteLog(cLogSettingStatusbar + StatusText(0));
    if (platform::CurrentBackend().ReadOnly())
        ShowSystemMessage(platform::CurrentBackend().ReadOnlyReason(), TMessageKind::Warning);
}

void TfMain::ShowSystemMessage(const std::string& text, TMessageKind kind) {
    WriteLog(cLogDisplayingMessage + text);
    ShowMessageDialog(text, Handle, kind);
}

void TfMain::ApplyProgramFont() {
    const UINT dpi = DpiOf(Handle);
    // An empty name, "Default" and a font the machine lacks all give the
    // platform's default font.
    const std::wstring family = ProgramFontFamily(Settings.ProgramFont);
    // The status bar takes the name only and keeps its designed 8 points.
    statusFont_.Reset(MakePointFont(family, 8, dpi));
    ::SendMessageW(StatusBar, WM_SETFONT, WPARAM(statusFont_.Get()), FALSE);
    font_.Reset(MakePointFont(family, Settings.FontSize > 0 ? Settings.FontSize : cDefaultFontSize, dpi));
    ::SendMessageW(PageControl, WM_SETFONT, WPARAM(font_.Get()), TRUE);
    if (fNTCodecs) fNTCodecs->SetListsFont(font_.Get());
    // The menu bar keeps the system's menu font, whatever the program font.
    Layout();
}

// --- Status bar ---------------------------------------------------------------------

void TfMain::SetStatusText(int panel, const std::string& text) {
    if (panel < 0 || panel >= cStatusPanelCount) return;
    statusTexts_[size_t(panel)] = text;
    ArrangeStatusPanels();
}

std::string TfMain::StatusText(int panel) const {
    return panel >= 0 && panel < cStatusPanelCount ? statusTexts_[size_t(panel)] : std::string();
}

std::string TfMain::StatusShown(int panel) const {
    return panel >= 0 && panel < cStatusPanelCount ? FromW(statusShown_[size_t(panel)]) : std::string();
}

RECT TfMain::StatusPanelRect(int panel) const {
    RECT r{};
    ::SendMessageW(StatusBar, SB_GETRECT, WPARAM(panel), reinterpret_cast<LPARAM>(&r));
    return r;
}

void TfMain::ArrangeStatusPanels() {
    if (!StatusBar) return;
    const UINT dpi = DpiOf(Handle);
    // The panels' widths at the design font (the default program font at 8
    // points), grown where the font sets text wider.
    TFont design(MakePointFont(ProgramFontFamily(cDefaultFont), 8, dpi));
    const double growth = FontGrowth(statusFont_.Get(), design.Get());
    std::array<int, cStatusPanelCount> wanted{};
    for (int i = 0; i < cStatusPanelCount; ++i) wanted[size_t(i)] = Grown(Scale(cStatusPanelWidths[size_t(i)], dpi), growth);
    RECT bar;
    ::GetClientRect(StatusBar, &bar);
    const std::array<int, cStatusPanelCount> widths = StatusPanelWidths(wanted, bar.right);
    int edges[cStatusPanelCount];
    int x = 0;
    for (int i = 0; i < cStatusPanelCount; ++i) edges[i] = x += widths[size_t(i)];
    edges[cStatusPanelCount - 1] = -1;
    ::SendMessageW(StatusBar, SB_SETPARTS, cStatusPanelCount, reinterpret_cast<LPARAM>(edges));
    for (int i = 0; i < cStatusPanelCount; ++i) {
        const bool last = i == cStatusPanelCount - 1;
        // Each text fits its panel, cut short with "..." where it must be.
        const int room = std::max(0, widths[size_t(i)] - Scale(8, dpi));
        statusShown_[size_t(i)] = ElideRight(statusFont_.Get(), ToW(statusTexts_[size_t(i)]), room);
        // The last panel is never written and has no bevel; the others are centred.
        const std::wstring shown = (last ? L"" : L"\t") + statusShown_[size_t(i)];
        ::SendMessageW(StatusBar, SB_SETTEXTW, WPARAM(i | (last ? SBT_NOBORDERS : 0)),
                       reinterpret_cast<LPARAM>(shown.c_str()));
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = StatusBar;
        tool.uId = UINT_PTR(i);
        tool.rect = StatusPanelRect(i);
        ::SendMessageW(statusTip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

// --- Layout ------------------------------------------------------------------------------

void TfMain::Layout() {
    if (!StatusBar || !Panel2) return;
    const UINT dpi = DpiOf(Handle);
    // A font taller than the design's gets a bar tall enough to show it.
    const int barHeight = std::max(Scale(kStatusBarHeight, dpi), LineHeight(statusFont_.Get()) + Scale(10, dpi));
    ::SendMessageW(StatusBar, SB_SETMINHEIGHT, WPARAM(barHeight), 0);
    ::SendMessageW(StatusBar, WM_SIZE, 0, 0);
    RECT client, bar;
    ::GetClientRect(Handle, &client);
    ::GetWindowRect(StatusBar, &bar);
    const int barShown = bar.bottom - bar.top;
    ::MoveWindow(Panel2, 0, 0, client.right, std::max(0, int(client.bottom) - barShown), TRUE);
    ArrangeStatusPanels();
}

void TfMain::LayoutPages() {
    RECT r;
    ::GetClientRect(Panel2, &r);
    const UINT dpi = DpiOf(Handle);
    const int tabHeight = LineHeight(font_.Get()) + Scale(8, dpi);
    ::SendMessageW(PageControl, TCM_SETITEMSIZE, 0, MAKELPARAM(Scale(kTabWidth, dpi), tabHeight));
    ::MoveWindow(PageControl, 0, 0, r.right, r.bottom, TRUE);
    RECT display = r;
    ::SendMessageW(PageControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    // The pages fill what the tabs leave, below their buttons.
    for (HWND page : pages_)
        if (page)
            ::SetWindowPos(page, HWND_TOP, 0, display.top, r.right, std::max(0, int(r.bottom - display.top)),
                           SWP_NOACTIVATE);
}

void TfMain::HostPanel(int page, HWND panel) {
    if (page < 0 || page >= 3 || !panel) return;
    ::SetParent(panel, Panel2);
    pages_[size_t(page)] = panel;
    ::ShowWindow(panel, page == ActivePage() ? SW_SHOWNA : SW_HIDE);
    LayoutPages();
}

int TfMain::ActivePage() const { return int(::SendMessageW(PageControl, TCM_GETCURSEL, 0, 0)); }

void TfMain::SelectPage(int page) {
    ::SendMessageW(PageControl, TCM_SETCURSEL, WPARAM(page), 0);
    for (int i = 0; i < 3; ++i)
        if (pages_[size_t(i)]) ::ShowWindow(pages_[size_t(i)], i == page ? SW_SHOWNA : SW_HIDE);
}

TWindowBounds TfMain::Bounds() const {
    RECT r;
    ::GetWindowRect(Handle, &r);
    if (::IsIconic(Handle) || ::IsZoomed(Handle)) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        if (::GetWindowPlacement(Handle, &placement)) r = placement.rcNormalPosition;
    }
    const int dpi = int(DpiOf(Handle));
    auto design = [dpi](LONG px) { return int32_t(MulDiv(int(px), 96, dpi)); };
    return TWindowBounds{design(r.top), design(r.left), design(r.bottom - r.top), design(r.right - r.left)};
}

void TfMain::SetBounds(const TWindowBounds& b) {
    const UINT dpi = DpiOf(Handle);
    ::SetWindowPos(Handle, nullptr, Scale(b.Left, dpi), Scale(b.Top, dpi), Scale(b.Width, dpi), Scale(b.Height, dpi),
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Commands ------------------------------------------------------------------------------

void TfMain::Exit1Click() { ::SendMessageW(Handle, WM_CLOSE, 0, 0); }

void TfMain::PreferencesClick() {
    // A new dialog for each use; it applies its own changes.
    TfPreferences preferences(*this);
    preferences.ShowModal();
}

void TfMain::RefreshClick() {
    WriteLog(cLogRefreshingList);
    if (fNTCodecs) fNTCodecs->RefreshClick();
}

void TfMain::Contents1Click() {
    WriteLog(cLogDisplayingHelp);
    const std::wstring file = DataDir() + L"\\" + ToW(cHelpFile);
    if (!ShowHelpContents(Handle, file))
        ShowSystemMessage(FormatWithName(cHelpNotFound, FromW(file)), TMessageKind::Error);
}

void TfMain::AboutClick() {
    WriteLog(cLogDisplayingAbout);
    TSplashScreen about(&log_);
    about.ShowAbout(Handle, VersionText());
}

std::string TfMain::VersionText() const { return tarnel::VersionText(ProgramVersionInfo.FileVersion()); }

bool TfMain::FormCloseQuery() {
    TfQuestion question(&log_);
    question.Subtitle = cQuestionSubtitle;
    question.Question = cQuitQuestion;
    question.Title = cProgramTitle;
    if (question.ShowModal(Handle) != IDYES) return false;
    try {
        SaveSettings(Settings, Bounds(), fNTCodecs ? fNTCodecs->ActiveListHeight() : Settings.ActiveCodecHeight);
    } catch (const std::exception& e) {
        // The user asked to quit: say what was not saved, then quit all the same.
        ShowSystemMessage(platform::ErrorText(e), TMessageKind::Error);
    }
    return true;
}

void TfMain::WithDriverDialog(const std::function<void()>& call) {
    const bool unpin = (::GetWindowLongW(Handle, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    if (unpin) ::SetWindowPos(Handle, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const bool wasEnabled = !::EnableWindow(Handle, FALSE);
    struct Restore {
        HWND window;
        bool unpin, enable;
        ~Restore() {
            if (enable) ::EnableWindow(window, TRUE);
            if (unpin) ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            if (::IsWindowVisible(window)) ::SetForegroundWindow(window);
        }
    } restore{Handle, unpin, wasEnabled};
    call();
}

void TfMain::Command(int id) {
    switch (id) {
        case IDM_EXIT: Exit1Click(); break;
        case IDM_PREFERENCES: PreferencesClick(); break;
        case IDM_REFRESH: RefreshClick(); break;
        case IDM_CONTENTS: Contents1Click(); break;
        case IDM_ABOUT: AboutClick(); break;
        default: break;
    }
}

LRESULT TfMain::HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (window == Panel2) {
        if (msg == WM_SIZE) LayoutPages();
        if (msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(lp)->hwndFrom == PageControl &&
            reinterpret_cast<NMHDR*>(lp)->code == TCN_SELCHANGE)
            SelectPage(ActivePage());
        return DefaultMessage(window, msg, wp, lp);
    }
    switch (msg) {
        case WM_COMMAND:
            if (lp == 0) Guarded([&] { Command(LOWORD(wp)); });
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lp);
            const UINT dpi = DpiOf(window);
            int leastHeight = Scale(kLeastHeight, dpi);
            // The window never gets so small that the codec tab loses a band or a list.
            if (fNTCodecs && pages_[0]) {
                RECT frame, panel;
                ::GetWindowRect(window, &frame);
                ::GetClientRect(pages_[0], &panel);
                const int chrome = (frame.bottom - frame.top) - panel.bottom;
                leastHeight = std::max(leastHeight, chrome + fNTCodecs->MinimumPanelHeight());
            }
            info->ptMinTrackSize.x = Scale(kLeastWidth, dpi);
            info->ptMinTrackSize.y = leastHeight;
            return 0;
        }
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lp);
            if (hdr->hwndFrom == statusTip_ && hdr->code == TTN_GETDISPINFOW) {
                // The whole text of a panel that shows it cut short; nothing otherwise.
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
                const size_t i = size_t(info->hdr.idFrom);
                static std::wstring tip;
                tip = i < statusTexts_.size() && statusShown_[i] != ToW(statusTexts_[i]) ? ToW(statusTexts_[i])
                                                                                          : std::wstring();
                info->lpszText = tip.data();
            }
            return 0;
        }
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<RECT*>(lp);
            ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                           suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            Guarded([&] { ApplyProgramFont(); });
            return 0;
        }
        case WM_CLOSE:
            // On a system the program refused there is nothing to ask about or save.
            Guarded([&] {
                if (!terminate_ && !FormCloseQuery()) return;
                // Closing the main window ends the program.
                ::DestroyWindow(window);
                ::PostQuitMessage(0);
            });
            return 0;
        default: return DefaultMessage(window, msg, wp, lp);
    }
}

}  // namespace tarnel::win
