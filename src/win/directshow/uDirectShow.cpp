#include "win/directshow/uDirectShow.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "win/resource.h"
#include "win/shell/WinListView.h"
#include "win/shell/uMain.h"

namespace tarnel::win {

TfDirectShow* fDirectShow = nullptr;

TfDirectShow::TfDirectShow(TfMain& main) : DS_FileVersionInfo(main.Settings), main_(main) {
    Form = CreateHandlerWindow(cFormClass, 0, WS_OVERLAPPEDWINDOW, L"fDirectShow", nullptr, 0, this);
    DirectShowPanel = CreateHandlerWindow(cPanelClass, WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                          L"DirectShowPanel", Form, IDC_DIRECTSHOWPANEL, this);
    Panel5 = CreateBand(DirectShowPanel, IDC_BAND, cProgramTitle, cDirectShowSubtitle);
    DirectShowFilterList = ::CreateWindowExW(
        WS_EX_CLIENTEDGE, WC_LISTVIEWW, ToW(cTabDirectShow).c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
        DirectShowPanel, reinterpret_cast<HMENU>(IDC_FILTERLIST), Instance(), nullptr);
    SetUpReportList(DirectShowFilterList);
    // The panel keeps its own font; the program font does not reach it.
    const UINT dpi = DpiOf(DirectShowPanel);
    font_.Reset(MakeDesignFont(L"Lucida Sans Unicode", 11, dpi));
    ::SendMessageW(DirectShowFilterList, WM_SETFONT, WPARAM(font_.Get()), FALSE);
    TColumnLayout columns[fcCount];
    for (size_t c = 0; c < fcCount; ++c) columns[c] = {cFilterColumns[c], 100};
    SetColumns(DirectShowFilterList, columns, dpi);
    fDirectShow = this;
    try {
        FormCreate();
    } catch (...) {
        if (fDirectShow == this) fDirectShow = nullptr;
        ::DestroyWindow(DirectShowPanel);
        ::DestroyWindow(Form);
        throw;
    }
}

TfDirectShow::~TfDirectShow() {
    if (fDirectShow == this) fDirectShow = nullptr;
    if (::IsWindow(DirectShowPanel)) ::DestroyWindow(DirectShowPanel);
    if (::IsWindow(Form)) ::DestroyWindow(Form);
}

void TfDirectShow::FormCreate() {
    main_.HostPanel(1, DirectShowPanel);
    main_.ApplyProgramFont();
    FillFilterListView();
}

void TfDirectShow::FillFilterListView() {
    std::string error;
    rows_.clear();
    try {
        FillFilterList(DS_FileVersionInfo, rows_);
    } catch (const std::exception& e) {
        // Start-up goes on with the rows read so far; the user learns why
        // the list ends there.
        error = platform::ErrorText(e);
    }
    sortColumn_ = -1;
    SetRowCount(DirectShowFilterList, rows_.size());
    filterColumnWidth_ = -1;
    DirectShowFilterListResize();
    if (!error.empty()) main_.ShowSystemMessage(error, TMessageKind::Error);
}

void TfDirectShow::DirectShowFilterListColumnClick(int column) {
    if (column < 0 || column >= int(fcCount)) return;
    // A click on a header not sorted yet sorts ascending; only a second
    // click on the same header reverses.
    ascending_ = column == sortColumn_ ? !ascending_ : true;
    sortColumn_ = column;
    // By the texts, letter case ignored; rows of equal texts keep their order.
    std::stable_sort(rows_.begin(), rows_.end(), [&](const TFilterRow& a, const TFilterRow& b) {
        const int order = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, ToW(a.Text(size_t(column))).c_str(),
                                           -1, ToW(b.Text(size_t(column))).c_str(), -1) - 2;
        return ascending_ ? order < 0 : order > 0;
    });
    // The header shows an arrow for the sorted column.
    HWND header = reinterpret_cast<HWND>(::SendMessageW(DirectShowFilterList, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < int(fcCount); ++c) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        ::SendMessageW(header, HDM_GETITEMW, WPARAM(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == column) item.fmt |= ascending_ ? HDF_SORTUP : HDF_SORTDOWN;
        ::SendMessageW(header, HDM_SETITEMW, WPARAM(c), reinterpret_cast<LPARAM>(&item));
    }
    ::InvalidateRect(DirectShowFilterList, nullptr, TRUE);
}

int TfDirectShow::WidestFilterText() const {
    int widest = 0;
    for (const TFilterRow& row : rows_) widest = std::max(widest, TextWidth(font_.Get(), ToW(row.Filter)));
    // Never narrower than the header's own caption (with room for the sort arrow).
    const int caption = TextWidth(font_.Get(), ToW(cFilterColumns[fcFilter])) + Scale(24, DpiOf(DirectShowPanel));
    return std::max(widest + Scale(14, DpiOf(DirectShowPanel)), caption);
}

void TfDirectShow::DirectShowFilterListResize() {
    if (filterColumnWidth_ < 0) filterColumnWidth_ = WidestFilterText();
    RECT inside;
    ::GetClientRect(DirectShowFilterList, &inside);
    const std::array<int, fcCount> widths = FilterColumnWidths(
        filterColumnWidth_, int(inside.right), Scale(cLeastSharedFilterColumn, DpiOf(DirectShowPanel)));
    for (size_t c = 0; c < fcCount; ++c)
        ::SendMessageW(DirectShowFilterList, LVM_SETCOLUMNWIDTH, WPARAM(c), MAKELPARAM(widths[c], 0));
}

void TfDirectShow::Layout() {
    RECT r;
    ::GetClientRect(DirectShowPanel, &r);
    const UINT dpi = DpiOf(DirectShowPanel);
    const int border = Scale(10, dpi), band = Scale(cBandHeight, dpi), spacer = Scale(5, dpi);
    ::MoveWindow(Panel5, border, border, std::max(0, int(r.right) - 2 * border), band, TRUE);
    ::MoveWindow(DirectShowFilterList, border, border + band, std::max(0, int(r.right) - 2 * border),
                 std::max(0, int(r.bottom) - 2 * border - band - spacer), TRUE);
    DirectShowFilterListResize();
}

LRESULT TfDirectShow::HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (window != DirectShowPanel) return DefaultMessage(window, msg, wp, lp);
    switch (msg) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lp);
            if (hdr->hwndFrom != DirectShowFilterList) return 0;
            if (hdr->code == LVN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMLVDISPINFOW*>(hdr);
                if (size_t(info->item.iItem) < rows_.size() && info->item.iSubItem < int(fcCount))
                    GiveText(info, rows_[size_t(info->item.iItem)].Text(size_t(info->item.iSubItem)));
            } else if (hdr->code == LVN_COLUMNCLICK) {
                Guarded([&] { DirectShowFilterListColumnClick(reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem); });
            }
            return 0;
        }
        default: return DefaultMessage(window, msg, wp, lp);
    }
}

}  // namespace tarnel::win
