#include "win/shell/uQuestion.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "win/resource.h"

namespace tarnel::win {

int TfQuestion::ShowModal(HWND owner) {
    owner_ = owner;
    answer_ = IDCANCEL;
    RunModalDialog(IDD_QUESTION, owner, *this);
    return answer_;
}

void TfQuestion::Answer(int answer) {
    answer_ = answer;
    // The dialog's result is the stored answer, however it was closed.
    ::EndDialog(Dialog, answer_);
}

void TfQuestion::PlaceQuestion() {
    // Centred across and down in the space beside the picture.
    HWND label = ::GetDlgItem(Dialog, IDC_QUESTIONTEXT);
    const UINT dpi = DpiOf(Dialog);
    RECT client;
    ::GetClientRect(Dialog, &client);
    const int top = Scale(cBandHeight, dpi), bottom = client.bottom - Scale(64, dpi);
    const int left = Scale(8 + 57 + 8, dpi), width = client.right - left - Scale(8, dpi);
    const std::wstring text = ToW(Question);
    HDC dc = ::GetDC(label);
    HGDIOBJ old = ::SelectObject(dc, questionFont_.Get());
    RECT measure{0, 0, width, 0};
    ::DrawTextW(dc, text.c_str(), int(text.size()), &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(label, dc);
    const int room = bottom - top - Scale(16, dpi);
    const int height = std::min(int(measure.bottom), room);
    ::MoveWindow(label, left, top + Scale(8, dpi) + (room - height) / 2, width, height, TRUE);
}

INT_PTR TfQuestion::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            auto s = [dpi](int px) { return Scale(px, dpi); };
            SetClientSize(dialog, s(459), s(175));
            FitDialogBand(dialog);
            HWND band = ::GetDlgItem(dialog, IDC_BAND);
            SetBandTexts(band, Title.value_or(BandTitle(band)), Subtitle.value_or(BandSubtitle(band)));
            // The body between the band and the 64-pixel button area, with a border of 8.
            const int bodyTop = s(49), bodyHeight = s(175 - 49 - 64);
            ::MoveWindow(::GetDlgItem(dialog, IDC_PICTUREPANEL), s(8), bodyTop + s(8), s(57), bodyHeight - s(16), TRUE);
            ::MoveWindow(::GetDlgItem(dialog, IDC_QUESTIONPICTURE), s(8) + 2, bodyTop + s(8) + 2, s(57) - 4,
                         bodyHeight - s(16) - 4, TRUE);
            ::MoveWindow(::GetDlgItem(dialog, IDC_BUTTONAREA), 0, s(175 - 64), s(459), s(64), TRUE);
            const int row = s(175 - 64 + 8 + 8);
            const struct { int frame, button, left; } buttons[] = {
                {IDC_YESFRAME, IDYES, 8}, {IDC_NOFRAME, IDNO, 80}, {IDC_CANCELFRAME, IDCANCEL, 360}};
            for (const auto& b : buttons) {
                ::MoveWindow(::GetDlgItem(dialog, b.frame), s(8 + b.left), row, s(65) + 4, s(25) + 4, TRUE);
                ::MoveWindow(::GetDlgItem(dialog, b.button), s(8 + b.left) + 2, row + 2, s(65), s(25), TRUE);
            }
            questionFont_.Reset(MakeDesignFont(L"Lucida Sans Unicode", 12, dpi));
            HWND label = ::GetDlgItem(dialog, IDC_QUESTIONTEXT);
            ::SendMessageW(label, WM_SETFONT, WPARAM(questionFont_.Get()), FALSE);
            SetWindowTextAnsi(label, Question);
            PlaceQuestion();
            picture_ = LoadArtPicture(cArtQuestion, log_);
            CentreWindow(dialog, owner_);
            return TRUE;
        }
        case WM_DRAWITEM: {
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            if (draw->CtlID != IDC_QUESTIONPICTURE) return FALSE;
            ::FillRect(draw->hDC, &draw->rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
            picture_.Draw(draw->hDC, draw->rcItem, true);
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wp)) {
                case IDYES: Answer(IDYES); return TRUE;
                case IDNO: Answer(IDNO); return TRUE;
                // The Cancel button, Escape and a close by any other means.
                case IDCANCEL: Answer(IDCANCEL); return TRUE;
                default: return FALSE;
            }
        default: return FALSE;
    }
}

}  // namespace tarnel::win
