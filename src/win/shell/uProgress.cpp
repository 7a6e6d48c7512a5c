#include "win/shell/uProgress.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "core/shell/uGlobal.h"
#include "win/resource.h"

namespace tarnel::win {

TfProgress::TfProgress() { CreateModelessDialog(IDD_PROGRESS, nullptr, *this); }

TfProgress::~TfProgress() { Close(); }

void TfProgress::SetTask(const std::string& text) {
    HWND band = ::GetDlgItem(Dialog, IDC_BAND);
    SetBandTexts(band, text, BandSubtitle(band));
}

void TfProgress::SetMaximum(int maximum) {
    maximum_ = maximum;
    ::SendDlgItemMessageW(Dialog, IDC_PROGRESSBAR, PBM_SETRANGE32, 0, maximum);
}

void TfProgress::SetProgress(int position) { SetProgress(position, CalcPercentage(position, maximum_)); }

void TfProgress::SetProgress(int position, int percent) {
    if (!Dialog) return;
    ::SendDlgItemMessageW(Dialog, IDC_PROGRESSBAR, PBM_SETPOS, WPARAM(position), 0);
    const std::wstring text = ToW(std::to_string(percent) + cPercentSign);
    HWND label = ::GetDlgItem(Dialog, IDC_PERCENT);
    ::SetWindowTextW(label, text.c_str());
    // The label sits at 432 as designed; where the font makes "100%" wider
    // than the room left there, it moves left into the gap after the bar
    // rather than being cut at the window's edge.
    const UINT dpi = DpiOf(Dialog);
    RECT client;
    ::GetClientRect(Dialog, &client);
    const int width = TextWidth(reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)), text);
    const int left = std::max(Scale(12 + 405, dpi) + 2, std::min(Scale(432, dpi), int(client.right) - 1 - width));
    ::MoveWindow(label, left, Scale(49 + 9, dpi), client.right - left, Scale(14, dpi), TRUE);
    PaintNow(Dialog);
}

int TfProgress::Position() const { return int(::SendDlgItemMessageW(Dialog, IDC_PROGRESSBAR, PBM_GETPOS, 0, 0)); }

std::string TfProgress::PercentText() const { return DlgItemText(Dialog, IDC_PERCENT); }

void TfProgress::Show() {
    if (!Dialog) return;
    ::ShowWindow(Dialog, SW_SHOWNOACTIVATE);
    PaintNow(Dialog);
}

void TfProgress::Close() {
    if (Dialog) ::DestroyWindow(Dialog);
}

INT_PTR TfProgress::HandleDialog(HWND dialog, UINT msg, WPARAM, LPARAM) {
    if (msg != WM_INITDIALOG) return FALSE;
    const UINT dpi = DpiOf(dialog);
    auto s = [dpi](int px) { return Scale(px, dpi); };
    SetClientSize(dialog, s(457), s(79));
    FitDialogBand(dialog);
    ::MoveWindow(::GetDlgItem(dialog, IDC_PROGRESSBAR), s(12), s(49 + 10), s(405), s(10), FALSE);
    // "100%" keeps to the window: it moves left into the gap after the bar
    // where the font sets it wider than the room the design leaves.
    ::MoveWindow(::GetDlgItem(dialog, IDC_PERCENT), s(432), s(49 + 9), s(457 - 432), s(14), FALSE);
    ::SendDlgItemMessageW(dialog, IDC_PERCENT, WM_SETFONT, ::SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    ::SendDlgItemMessageW(dialog, IDC_PROGRESSBAR, PBM_SETRANGE32, 0, 100);
    CentreWindow(dialog, nullptr);
    return TRUE;
}

}  // namespace tarnel::win
