#include "win/shell/uMessage.h"

#include <algorithm>

#include "core/shell/ShellView.h"
#include "win/resource.h"

namespace tarnel::win {

namespace {
LPCWSTR IconOf(TMessageKind kind) {
    switch (kind) {
        case TMessageKind::Error: return IDI_ERROR;
        case TMessageKind::Warning: return IDI_WARNING;
        default: return IDI_INFORMATION;
    }
}

// The edit control breaks lines at CR LF only.
std::wstring EditText(const std::string& text) {
    std::wstring wide = ToW(text), shown;
    for (size_t i = 0; i < wide.size(); ++i) {
        if (wide[i] == L'\r') continue;
        if (wide[i] == L'\n') shown += L'\r';
        shown += wide[i];
    }
    return shown;
}
}  // namespace

void TfMessage::ShowModal(HWND owner) {
    owner_ = owner;
    RunModalDialog(IDD_MESSAGE, owner, *this);
}

void TfMessage::Arrange() {
    HWND dialog = Dialog;
    const UINT dpi = DpiOf(dialog);
    auto s = [dpi](int px) { return Scale(px, dpi); };
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(owner_ ? owner_ : dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int areaWidth = monitor.rcWork.right - monitor.rcWork.left;
    const int areaHeight = monitor.rcWork.bottom - monitor.rcWork.top;

    HWND edit = ::GetDlgItem(dialog, IDC_MESSAGETEXT);
    const std::wstring text = EditText(text_);
    const int frame = s(2), margins = s(2) * 2 + frame * 2 + s(4);
    // As wide as the longest line wants, from the design width to the screen's.
    int longest = 0;
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find(L"\r\n", at);
        if (end == std::wstring::npos) end = text.size();
        longest = std::max(longest, TextWidth(textFont_, text.substr(at, end - at)));
        at = end + 2;
    }
    const int panelWidth = MessagePanelWidth(longest + margins, areaWidth, s);

    // As high as the wrapped lines need; beyond the screen's height the text scrolls.
    HDC dc = ::GetDC(edit);
    HGDIOBJ old = ::SelectObject(dc, textFont_.Get());
    RECT measure{0, 0, panelWidth - 2 * frame - s(8), 0};
    ::DrawTextW(dc, text.c_str(), int(text.size()), &measure, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    ::SelectObject(dc, old);
    ::ReleaseDC(edit, dc);
    const int textHeight = measure.bottom + s(4);
    const TMessageLayout l = MessageLayout(panelWidth, textHeight + 2 * frame, areaHeight, s);

    ::MoveWindow(::GetDlgItem(dialog, IDC_TEXTPANEL), l.PanelLeft, l.PanelTop, l.PanelWidth, l.PanelHeight, TRUE);
    // Centred in the panel, as the design's one line is.
    const int inside = l.PanelHeight - 2 * frame;
    const int shown = std::min(textHeight, inside);
    ::MoveWindow(edit, l.PanelLeft + frame, l.PanelTop + frame + (inside - shown) / 2, l.PanelWidth - 2 * frame, shown,
                 TRUE);
    ::ShowScrollBar(edit, SB_VERT, textHeight > inside);
    ::MoveWindow(::GetDlgItem(dialog, IDC_ICONPANEL), s(8), s(64), s(81), s(65), TRUE);
    ::MoveWindow(::GetDlgItem(dialog, IDC_MESSAGEICON), s(8) + (s(81) - s(32)) / 2, s(64) + (s(65) - s(32)) / 2, s(32),
                 s(32), TRUE);
    ::MoveWindow(::GetDlgItem(dialog, IDOK), l.ButtonLeft, l.ButtonTop, l.ButtonWidth, l.ButtonHeight, TRUE);
    SetClientSize(dialog, l.ClientWidth, l.ClientHeight);
    FitDialogBand(dialog);
}

INT_PTR TfMessage::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            // "MS Sans Serif" 13 pixels high, asked for with a fixed pitch.
            LOGFONTW lf{};
            lf.lfHeight = -Scale(13, dpi);
            lf.lfWeight = FW_NORMAL;
            lf.lfCharSet = DEFAULT_CHARSET;
            lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
            lstrcpynW(lf.lfFaceName, L"MS Sans Serif", LF_FACESIZE);
            textFont_.Reset(::CreateFontIndirectW(&lf));
            HWND edit = ::GetDlgItem(dialog, IDC_MESSAGETEXT);
            ::SendMessageW(edit, WM_SETFONT, WPARAM(textFont_.Get()), FALSE);
            ::SetWindowTextW(edit, EditText(text_).c_str());
            const int icon = Scale(32, dpi);
            ::SendDlgItemMessageW(dialog, IDC_MESSAGEICON, STM_SETICON,
                                  WPARAM(::LoadImageW(nullptr, IconOf(kind_), IMAGE_ICON, icon, icon, LR_SHARED)), 0);
            Arrange();
            CentreWindow(dialog, owner_);
            // During start-up the splash screen stays on top of everything; a
            // message must not end up hidden behind it while it waits for Ok.
            ::SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
            ::SetFocus(::GetDlgItem(dialog, IDOK));
            return FALSE;
        }
        case WM_CTLCOLORSTATIC:
            // The read-only text is drawn on its panel, as a label would be.
            if (reinterpret_cast<HWND>(lp) == ::GetDlgItem(dialog, IDC_MESSAGETEXT)) {
                HDC dc = reinterpret_cast<HDC>(wp);
                ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
                ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
                return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
            }
            return FALSE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
                ::EndDialog(dialog, IDOK);
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

void ShowMessageDialog(const std::string& text, HWND owner, TMessageKind kind) {
    TfMessage dialog(text, kind);
    dialog.ShowModal(owner);
}

}  // namespace tarnel::win
