#include "win/shell/WinListView.h"

namespace tarnel::win {

void SetUpReportList(HWND list, DWORD extra) {
    const DWORD ex = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | extra;
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
}

void SetColumns(HWND list, std::span<const TColumnLayout> columns, UINT dpi, double growth) {
    while (::SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) {
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        std::wstring caption = ToW(columns[i].Caption);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = Grown(Scale(columns[i].Width, dpi), growth);
        column.pszText = caption.data();
        column.iSubItem = int(i);
        ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void SetColumnWidths(HWND list, std::span<const TColumnLayout> columns, UINT dpi, double growth) {
    for (size_t i = 0; i < columns.size(); ++i)
        ::SendMessageW(list, LVM_SETCOLUMNWIDTH, i, MAKELPARAM(Grown(Scale(columns[i].Width, dpi), growth), 0));
}

int ColumnWidth(HWND list, int column) { return int(::SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(column), 0)); }

int ColumnCount(HWND list) {
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    return header ? int(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

std::string ColumnCaption(HWND list, int column) {
    wchar_t text[128] = {};
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT;
    c.pszText = text;
    c.cchTextMax = 127;
    ::SendMessageW(list, LVM_GETCOLUMNW, WPARAM(column), reinterpret_cast<LPARAM>(&c));
    return FromW(text);
}

void SetRowCount(HWND list, size_t count) {
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    // Room for the rows in one step, as the lists reserve it.
    ::SendMessageW(list, LVM_SETITEMCOUNT, WPARAM(count), 0);
    for (size_t i = 0; i < count; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = int(i);
        item.pszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
}

int RowCount(HWND list) { return int(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

void GiveText(NMLVDISPINFOW* info, const std::string& text) {
    if (!(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0) return;
    const std::wstring wide = ToW(text);
    lstrcpynW(info->item.pszText, wide.c_str(), info->item.cchTextMax);
}

std::string ItemText(HWND list, int row, int column) {
    wchar_t text[1024] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 1023;
    ::SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    return FromW(text);
}

bool RowSelected(HWND list, int row) {
    return (::SendMessageW(list, LVM_GETITEMSTATE, WPARAM(row), LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void SelectRow(HWND list, int row, bool selected) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = selected ? LVIS_SELECTED : 0;
    ::SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(&item));
}

void SelectAllRows(HWND list, bool selected) { SelectRow(list, -1, selected); }

std::vector<size_t> SelectedRows(HWND list) {
    std::vector<size_t> rows;
    for (int i = -1; (i = int(::SendMessageW(list, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) >= 0;)
        rows.push_back(size_t(i));
    return rows;
}

int RowAt(HWND list, POINT client) {
    LVHITTESTINFO hit{};
    hit.pt = client;
    const int row = int(::SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0) return -1;
    // Anywhere on the row's width counts, the whole row being its item.
    const RECT r = RowRect(list, row);
    return (hit.flags & LVHT_ONITEM) || ::PtInRect(&r, client) ? row : -1;
}

RECT RowRect(HWND list, int row) {
    RECT r{};
    r.left = LVIR_BOUNDS;
    ::SendMessageW(list, LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&r));
    return r;
}

}  // namespace tarnel::win
