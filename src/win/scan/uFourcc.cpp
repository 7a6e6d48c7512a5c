#include "win/scan/uFourcc.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "win/resource.h"
#include "win/shell/WinListView.h"

namespace tarnel::win {

TfFourcc* fFourcc = nullptr;

namespace {
constexpr TColumnLayout kColumns[] = {
    {cFourccColFourcc, 50}, {cFourccColName, 160}, {cFourccColOwner, 100}, {cFourccColNotes, 300}};
}

TfFourcc::TfFourcc(HWND over) : over_(over) {
    CreateModelessDialog(IDD_FOURCC, nullptr, *this);
    AddModeless(Dialog);
    fFourcc = this;
}

TfFourcc::~TfFourcc() {
    if (fFourcc == this) fFourcc = nullptr;
    if (Dialog) {
        RemoveModeless(Dialog);
        ::DestroyWindow(Dialog);
    }
}

void TfFourcc::ShowNonModal() {
    if (!placed_) {
        CentreWindow(Dialog, over_);
        placed_ = true;
    }
    ::ShowWindow(Dialog, SW_SHOWNORMAL);
    ::SetForegroundWindow(Dialog);
}

void TfFourcc::Layout() {
    RECT r;
    ::GetClientRect(Dialog, &r);
    const UINT dpi = DpiOf(Dialog);
    auto s = [dpi](int px) { return Scale(px, dpi); };
    FitDialogBand(Dialog);
    HWND status = ::GetDlgItem(Dialog, IDC_FOURCCSTATUS);
    ::SendMessageW(status, WM_SIZE, 0, 0);
    RECT bar;
    ::GetWindowRect(status, &bar);
    const int bottom = r.bottom - (bar.bottom - bar.top) - s(132);
    HWND list = ::GetDlgItem(Dialog, IDC_FOURCCLIST);
    ::MoveWindow(list, s(10), s(cBandHeight) + s(10), r.right - s(20), std::max(0, bottom - s(cBandHeight) - s(20)), TRUE);
    // "Notes" fills the rest.
    int used = 0;
    for (int c = 0; c < 3; ++c) used += ColumnWidth(list, c);
    RECT inside;
    ::GetClientRect(list, &inside);
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 3, MAKELPARAM(std::max(s(50), int(inside.right) - used), 0));
    const struct { int id, x, y, w, h; } fields[] = {
        {IDC_FOURCCLABEL, 16, 16, 45, 14},   {IDC_NAMELABEL, 16, 40, 45, 14},    {IDC_OWNERLABEL, 16, 64, 45, 14},
        {IDC_NOTESLABEL, 16, 88, 45, 14},    {IDC_FOURCCEDIT, 64, 12, 65, 21},   {IDC_NAMEEDIT, 64, 36, 249, 21},
        {IDC_OWNEREDIT, 64, 60, 249, 21},    {IDC_NOTESEDIT, 64, 84, 249, 21},   {IDC_UPDATEBUTTON, 344, 16, 75, 25},
        {IDC_ADDBUTTON, 344, 48, 75, 25},    {IDC_SAVEBUTTON, 344, 80, 75, 25}};
    for (const auto& f : fields)
        ::MoveWindow(::GetDlgItem(Dialog, f.id), s(f.x), bottom + s(f.y), s(f.w), s(f.h), TRUE);
}

INT_PTR TfFourcc::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            SetClientSize(dialog, Scale(700, dpi), Scale(457, dpi));
            HWND list = ::GetDlgItem(dialog, IDC_FOURCCLIST);
            ::SetWindowTextW(list, ToW(cFourccListTitle).c_str());
            // Grid lines, and headers the user can reorder by dragging them.
            SetUpReportList(list, LVS_EX_GRIDLINES | LVS_EX_HEADERDRAGDROP);
            SetColumns(list, kColumns, dpi);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            std::wstring text = ToW(cFourccStoredRow[0]);
            item.pszText = text.data();
            ::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            for (int c = 1; c < 4; ++c) {
                std::wstring cell = ToW(cFourccStoredRow[c]);
                item.iSubItem = c;
                item.pszText = cell.data();
                ::SendMessageW(list, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
            }
            return TRUE;
        }
        case WM_SIZE:
            Layout();
            return TRUE;
        case WM_COMMAND:
            // Closing hides it for the rest of the run (nothing shows it again).
            if (LOWORD(wp) == IDCANCEL) {
                ::ShowWindow(dialog, SW_HIDE);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            ::ShowWindow(dialog, SW_HIDE);
            return TRUE;
        default: return FALSE;
    }
}

}  // namespace tarnel::win
