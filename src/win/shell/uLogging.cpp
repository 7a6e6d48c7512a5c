#include "win/shell/uLogging.h"

#include <algorithm>

#include "core/shell/uConst.h"
#include "win/resource.h"

namespace tarnel::win {

TfLogging* fLogging = nullptr;

TfLogging::TfLogging(TLog& log) : log_(log) {
    Form = CreateHandlerWindow(cFormClass, 0, WS_OVERLAPPEDWINDOW, L"fLogging", nullptr, 0, this);
    LogViewerPanel = CreateHandlerWindow(cPanelClass, WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                         L"LogViewerPanel", Form, IDC_LOGPANEL, this);
    Panel5 = CreateBand(LogViewerPanel, IDC_BAND, cProgramTitle, cLogViewerSubtitle);
    // Read-only, both scroll bars, the tab key kept; no limit on its length.
    LogMemo = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_HSCROLL | WS_VSCROLL | ES_MULTILINE |
                                    ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                                0, 0, 0, 0, LogViewerPanel, reinterpret_cast<HMENU>(IDC_LOGMEMO), Instance(), nullptr);
    ::SendMessageW(LogMemo, EM_SETLIMITTEXT, 0, 0);
    // The panel keeps its own font; the program font does not reach it.
    font_.Reset(MakeDesignFont(L"Lucida Sans Unicode", 11, DpiOf(LogViewerPanel)));
    ::SendMessageW(LogMemo, WM_SETFONT, WPARAM(font_.Get()), FALSE);
    for (const std::string& line : log_.Lines()) Append(line);
    log_.SetListener([this](const std::string& line) { Append(line); });
    fLogging = this;
}

TfLogging::~TfLogging() {
    log_.SetListener({});
    if (fLogging == this) fLogging = nullptr;
    if (::IsWindow(LogViewerPanel)) ::DestroyWindow(LogViewerPanel);
    if (::IsWindow(Form)) ::DestroyWindow(Form);
}

void TfLogging::Append(const std::string& line) {
    if (!::IsWindow(LogMemo)) return;
    const int end = ::GetWindowTextLengthW(LogMemo);
    const std::wstring text = (end > 0 ? L"\r\n" : L"") + ToW(line);
    ::SendMessageW(LogMemo, EM_SETSEL, WPARAM(end), LPARAM(end));
    ::SendMessageW(LogMemo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string TfLogging::Text() const { return WindowText(LogMemo); }

void TfLogging::Layout() {
    RECT r;
    ::GetClientRect(LogViewerPanel, &r);
    const UINT dpi = DpiOf(LogViewerPanel);
    const int border = Scale(10, dpi), band = Scale(cBandHeight, dpi), spacer = Scale(5, dpi);
    ::MoveWindow(Panel5, border, border, r.right - 2 * border, band, TRUE);
    ::MoveWindow(LogMemo, border, border + band, r.right - 2 * border,
                 std::max(0, int(r.bottom) - 2 * border - band - spacer), TRUE);
}

LRESULT TfLogging::HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (window == LogViewerPanel && msg == WM_SIZE) {
        Layout();
        return 0;
    }
    // A read-only text is drawn on the window's colour, as a log is read.
    if (window == LogViewerPanel && msg == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == LogMemo) {
        HDC dc = reinterpret_cast<HDC>(wp);
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
    }
    return DefaultMessage(window, msg, wp, lp);
}

}  // namespace tarnel::win
