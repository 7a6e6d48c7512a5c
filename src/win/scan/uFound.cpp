#include "win/scan/uFound.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "win/resource.h"
#include "win/shell/WinListView.h"
#include "win/shell/uMain.h"

namespace tarnel::win {

namespace {
constexpr COLORREF kInUseBlue = RGB(0, 0, 255);
}

void TfFound::SetRows(std::vector<TFoundRow> rows) {
    for (TFoundRow& r : rows) r.Selected = false;
    rows_ = std::move(rows);
    if (Dialog) SetRowCount(::GetDlgItem(Dialog, IDC_FOUNDLIST), rows_.size());
}

INT_PTR TfFound::ShowModal() { return RunModalDialog(IDD_FOUND, main_.Handle, *this); }

COLORREF TfFound::FoundListCustomDrawItem(size_t row) const {
    return row < rows_.size() && FoundRowInUse(rows_[row]) ? kInUseBlue : CLR_DEFAULT;
}

void TfFound::FoundListSelectItem() {
    HWND list = ::GetDlgItem(Dialog, IDC_FOUNDLIST);
    for (TFoundRow& r : rows_) r.Selected = false;
    bool any = false;
    for (size_t row : SelectedRows(list))
        if (row < rows_.size()) rows_[row].Selected = any = true;
    ::EnableWindow(::GetDlgItem(Dialog, IDC_ADDFOURCC), any);
}

void TfFound::AddFourccButtonClick() {
    // The codec window's lists follow when the batch ends; its counters wait
    // until the scan saves the lists.
    inactive_.BeginUpdate();
    const bool added = AddFoundToInactive(rows_, inactive_);
    inactive_.EndUpdate();
    if (!added) {
        main_.ShowSystemMessage(cMsgNothingSelected);
        return;
    }
    ::InvalidateRect(::GetDlgItem(Dialog, IDC_FOUNDLIST), nullptr, TRUE);
}

void TfFound::ExitButtonClick() { ::EndDialog(Dialog, IDCANCEL); }

void TfFound::Layout() {
    RECT r;
    ::GetClientRect(Dialog, &r);
    const UINT dpi = DpiOf(Dialog);
    auto s = [dpi](int px) { return Scale(px, dpi); };
    FitDialogBand(Dialog);
    const int buttonsTop = r.bottom - s(34);
    ::MoveWindow(::GetDlgItem(Dialog, IDC_FOUNDLIST), s(10), s(cBandHeight) + s(10), std::max(0, int(r.right) - s(20)),
                 std::max(0, buttonsTop - s(cBandHeight) - s(10) - s(10) - s(5)), TRUE);
    ::MoveWindow(::GetDlgItem(Dialog, IDC_ADDFOURCC), s(10), buttonsTop, s(127), s(25), TRUE);
    ::MoveWindow(::GetDlgItem(Dialog, IDCANCEL), s(144), buttonsTop, s(75), s(25), TRUE);
}

INT_PTR TfFound::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            HWND list = ::GetDlgItem(dialog, IDC_FOUNDLIST);
            ::SetWindowTextW(list, ToW(cFoundTitle).c_str());
            // Without a title bar a screen reader still names the window.
            ::SetWindowTextW(dialog, ToW(cFoundTitle).c_str());
            SetUpReportList(list);
            // The list keeps the dialog's own font, whatever the program font.
            listFont_.Reset(MakeDesignFont(L"Lucida Sans Unicode", 11, dpi));
            ::SendMessageW(list, WM_SETFONT, WPARAM(listFont_.Get()), FALSE);
            SetColumns(list, FoundColumns(), dpi);
            SetRowCount(list, rows_.size());
            // Showing the dialog applies the program font.
            main_.ApplyProgramFont();
            RECT frame{0, 0, Scale(382, dpi), Scale(304, dpi)};
            ::SetWindowPos(dialog, nullptr, 0, 0, frame.right, frame.bottom, SWP_NOMOVE | SWP_NOZORDER);
            Layout();
            FoundListSelectItem();
            CentreWindow(dialog, main_.Handle);
            return TRUE;
        }
        case WM_SIZE:
            Layout();
            return TRUE;
        case WM_NOTIFY: {
            auto* hdr = reinterpret_cast<NMHDR*>(lp);
            if (hdr->idFrom != IDC_FOUNDLIST) return FALSE;
            switch (hdr->code) {
                case LVN_GETDISPINFOW: {
                    auto* info = reinterpret_cast<NMLVDISPINFOW*>(hdr);
                    if (size_t(info->item.iItem) < rows_.size())
                        GiveText(info, FoundCellText(rows_[size_t(info->item.iItem)], info->item.iSubItem));
                    return TRUE;
                }
                case LVN_ITEMCHANGED:
                    FoundListSelectItem();
                    return TRUE;
                case NM_DBLCLK:
                    AddFourccButtonClick();
                    return TRUE;
                case NM_CUSTOMDRAW: {
                    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(hdr);
                    LRESULT result = CDRF_DODEFAULT;
                    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
                        result = CDRF_NOTIFYITEMDRAW;
                    } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
                        const COLORREF colour = FoundListCustomDrawItem(size_t(draw->nmcd.dwItemSpec));
                        if (colour != CLR_DEFAULT) draw->clrText = colour;
                    }
                    ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
                    return TRUE;
                }
                default: return FALSE;
            }
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDC_ADDFOURCC: AddFourccButtonClick(); return TRUE;
                case IDCANCEL: ExitButtonClick(); return TRUE;
                // Return presses no button on its own.
                case IDOK: return TRUE;
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace tarnel::win
