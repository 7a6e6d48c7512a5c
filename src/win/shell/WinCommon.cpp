#include "win/shell/WinCommon.h"

#include <algorithm>
#include <set>

#include "core/shell/ShellView.h"
#include "platform/api/Ansi.h"
#include "platform/api/Registry.h"
#include "win/resource.h"

namespace tarnel::win {

// --- Text ---------------------------------------------------------------------------

std::wstring ToW(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), int(ansi.size()), wide.data(), n);
    return wide;
}

std::string FromW(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), ansi.data(), n, nullptr, nullptr);
    return ansi;
}

std::string WindowText(HWND window) {
    const int n = ::GetWindowTextLengthW(window);
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(window, text.data(), n + 1)));
    return FromW(text);
}

void SetWindowTextAnsi(HWND window, const std::string& text) { ::SetWindowTextW(window, ToW(text).c_str()); }

std::string DlgItemText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

// --- Module and classes ----------------------------------------------------------------

HINSTANCE Instance() { return ::GetModuleHandleW(nullptr); }

namespace {

struct TBandTexts {
    std::wstring Title, Subtitle;
};

TBandTexts SplitBandText(HWND band) {
    const int n = ::GetWindowTextLengthW(band);
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(band, text.data(), n + 1)));
    const size_t cut = text.find(L'\n');
    if (cut == std::wstring::npos) return {text, {}};
    return {text.substr(0, cut), text.substr(cut + 1)};
}

LRESULT CALLBACK BandProc(HWND band, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_SETTEXT: {
            const LRESULT r = ::DefWindowProcW(band, msg, wp, lp);
            ::InvalidateRect(band, nullptr, TRUE);
            return r;
        }
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(band, &ps);
            RECT r;
            ::GetClientRect(band, &r);
            ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_WINDOWTEXT));
            const UINT dpi = DpiOf(band);
            const bool nearLabels = (::GetWindowLongW(band, GWL_STYLE) & cBandNear) != 0;
            const TBandTexts texts = SplitBandText(band);
            TFont bold(MakeDesignFont(L"Lucida Sans Unicode", 11, dpi, true));
            TFont plain(MakeDesignFont(L"Lucida Sans Unicode", 11, dpi, false));
            ::SetBkMode(dc, TRANSPARENT);
            ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOW));
            HGDIOBJ old = ::SelectObject(dc, bold.Get());
            ::TextOutW(dc, Scale(nearLabels ? 16 : 40, dpi), Scale(8, dpi), texts.Title.c_str(), int(texts.Title.size()));
            ::SelectObject(dc, plain.Get());
            ::TextOutW(dc, Scale(nearLabels ? 48 : 80, dpi), Scale(24, dpi), texts.Subtitle.c_str(),
                       int(texts.Subtitle.size()));
            ::SelectObject(dc, old);
            ::EndPaint(band, &ps);
            return 0;
        }
        default: return ::DefWindowProcW(band, msg, wp, lp);
    }
}

LRESULT CALLBACK HandlerProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* handler = reinterpret_cast<TWindowHandler*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!handler) return ::DefWindowProcW(window, msg, wp, lp);
    try {
        return handler->HandleMessage(window, msg, wp, lp);
    } catch (const std::exception& e) {
        ShowException(ErrorMessage(e));
    } catch (...) {
        ShowException("An unknown error ended the command");
    }
    return 0;
}

INT_PTR CALLBACK HandlerDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* handler = reinterpret_cast<TDialogHandler*>(lp);
        handler->Dialog = dialog;
        ::SetWindowLongPtrW(dialog, DWLP_USER, lp);
    }
    auto* handler = reinterpret_cast<TDialogHandler*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    if (!handler) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = handler->HandleDialog(dialog, msg, wp, lp);
    } catch (const std::exception& e) {
        ShowException(ErrorMessage(e));
    } catch (...) {
        ShowException("An unknown error ended the command");
    }
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, 0);
        handler->Dialog = nullptr;
    }
    return result;
}

void RegisterHandlerClass(const wchar_t* name, UINT style, HBRUSH background, HCURSOR cursor, HICON icon) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = HandlerProc;
    wc.hInstance = Instance();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    ::RegisterClassExW(&wc);
}

std::vector<HWND>& ModelessDialogs() {
    static std::vector<HWND> dialogs;
    return dialogs;
}

}  // namespace

HWND CreateHandlerWindow(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& title,
                         HWND parent, int id, TWindowHandler* handler) {
    HMENU menu = (style & WS_CHILD) ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
    return ::CreateWindowExW(exStyle, className, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, parent,
                             menu, Instance(), handler);
}

INT_PTR RunModalDialog(int templateId, HWND owner, TDialogHandler& handler) {
    return ::DialogBoxParamW(Instance(), MAKEINTRESOURCEW(templateId), owner, HandlerDialogProc,
                             reinterpret_cast<LPARAM>(&handler));
}

HWND CreateModelessDialog(int templateId, HWND owner, TDialogHandler& handler) {
    return ::CreateDialogParamW(Instance(), MAKEINTRESOURCEW(templateId), owner, HandlerDialogProc,
                                reinterpret_cast<LPARAM>(&handler));
}

void AddModeless(HWND dialog) { ModelessDialogs().push_back(dialog); }

void RemoveModeless(HWND dialog) {
    auto& all = ModelessDialogs();
    all.erase(std::remove(all.begin(), all.end(), dialog), all.end());
}

bool ModelessMessage(MSG& msg) {
    for (HWND dialog : ModelessDialogs())
        if (::IsWindow(dialog) && ::IsDialogMessageW(dialog, &msg)) return true;
    return false;
}

bool PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(int(msg.wParam));
            return false;
        }
        if (ModelessMessage(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return true;
}

std::wstring ElideRight(HFONT font, const std::wstring& text, int width) {
    if (TextWidth(font, text) <= width) return text;
    static const std::wstring dots = L"...";
    // The longest beginning that fits with the dots.
    size_t low = 0, high = text.size();
    while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (TextWidth(font, text.substr(0, mid) + dots) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return text.substr(0, low) + dots;
}

std::wstring ElideMiddle(HFONT font, const std::wstring& text, int width) {
    if (TextWidth(font, text) <= width) return text;
    static const std::wstring dots = L"...";
    // The most characters kept, split between both ends, that fit with the dots.
    const auto kept = [&](size_t n) { return text.substr(0, (n + 1) / 2) + dots + text.substr(text.size() - n / 2); };
    size_t low = 0, high = text.size();
    while (low < high) {
        const size_t mid = (low + high + 1) / 2;
        if (TextWidth(font, kept(mid)) <= width)
            low = mid;
        else
            high = mid - 1;
    }
    return kept(low);
}

void InitWindowClasses() {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES |
                                             ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES |
                                             ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BandProc;
    wc.hInstance = Instance();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = cBandClass;
    ::RegisterClassExW(&wc);
    HCURSOR arrow = ::LoadCursorW(nullptr, IDC_ARROW);
    HBRUSH face = ::GetSysColorBrush(COLOR_BTNFACE);
    RegisterHandlerClass(cPanelClass, 0, face, arrow, nullptr);
    RegisterHandlerClass(cFormClass, 0, face, arrow, nullptr);
    RegisterHandlerClass(cMainClass, 0, face, arrow, ::LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_TARNEL)));
    RegisterHandlerClass(cSplitterClass, 0, face, ::LoadCursorW(nullptr, IDC_SIZENS), nullptr);
}

// --- Scale -------------------------------------------------------------------------------

UINT DpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (window && getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi) return dpi;
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

// --- Fonts -------------------------------------------------------------------------------

namespace {
HFONT MakeFont(const std::wstring& family, int height, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(lf.lfFaceName, family.c_str(), LF_FACESIZE);
    return ::CreateFontIndirectW(&lf);
}
}  // namespace

HFONT MakeDesignFont(const std::wstring& family, int pixelHeight, UINT dpi, bool bold) {
    return MakeFont(family, -Scale(pixelHeight, dpi), bold);
}

HFONT MakePointFont(const std::wstring& family, int points, UINT dpi, bool bold) {
    return MakeFont(family, -MulDiv(points, int(dpi), 72), bold);
}

std::wstring DefaultFontFamily() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) &&
        metrics.lfMessageFont.lfFaceName[0])
        return metrics.lfMessageFont.lfFaceName;
    return L"MS Shell Dlg";
}

namespace {
int CALLBACK CollectFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM into) {
    // Vertical variants ("@Name") are no families a user picks.
    if (font->lfFaceName[0] != L'@')
        reinterpret_cast<std::set<std::wstring>*>(into)->insert(font->lfFaceName);
    return 1;
}
}  // namespace

std::vector<std::string> InstalledFontFamilies() {
    std::set<std::wstring> families;
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    HDC screen = ::GetDC(nullptr);
    ::EnumFontFamiliesExW(screen, &all, CollectFamily, reinterpret_cast<LPARAM>(&families), 0);
    ::ReleaseDC(nullptr, screen);
    std::vector<std::string> names;
    for (const std::wstring& family : families) names.push_back(FromW(family));
    return names;
}

std::wstring ProgramFontFamily(const std::string& programFont) {
    if (!NamesDefaultFont(programFont)) {
        static const std::vector<std::string> installed = InstalledFontFamilies();
        for (const std::string& family : installed)
            if (platform::EqualsNoCase(family, programFont)) return ToW(family);
    }
    return DefaultFontFamily();
}

int TextWidth(HFONT font, const std::wstring& text) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return size.cx;
}

int ControlTextWidth(HWND control) {
    const int n = ::GetWindowTextLengthW(control);
    std::wstring text(size_t(n) + 1, L'\0');
    text.resize(size_t(::GetWindowTextW(control, text.data(), n + 1)));
    std::wstring shown;
    for (size_t i = 0; i < text.size(); ++i) {
        // "&&" stands for one ampersand; a single one only underlines.
        if (text[i] == L'&' && ++i >= text.size()) break;
        shown += text[i];
    }
    return TextWidth(reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)), shown);
}

int LineHeight(HFONT font) {
    HDC dc = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(dc, font);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(nullptr, dc);
    return tm.tmHeight;
}

double FontGrowth(HFONT font, HFONT design) {
    // A few words of the program's own texts stand for the texts in general.
    static const std::wstring sample = L"Running On : Windows XP Professional mjpg lcmjpeg.dll 2.4.0.118";
    const int designWidth = TextWidth(design, sample);
    const int width = TextWidth(font, sample);
    return designWidth > 0 ? std::max(1.0, double(width) / designWidth) : 1.0;
}

// --- The header band ------------------------------------------------------------------------

HWND CreateBand(HWND parent, int id, const std::string& title, const std::string& subtitle, bool nearLabels) {
    const std::wstring text = ToW(title) + L"\n" + ToW(subtitle);
    return ::CreateWindowExW(0, cBandClass, text.c_str(), WS_CHILD | WS_VISIBLE | (nearLabels ? cBandNear : 0), 0, 0,
                             0, Scale(cBandHeight, DpiOf(parent)), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
}

void SetBandTexts(HWND band, const std::string& title, const std::string& subtitle) {
    ::SetWindowTextW(band, (ToW(title) + L"\n" + ToW(subtitle)).c_str());
}

std::string BandTitle(HWND band) { return FromW(SplitBandText(band).Title); }
std::string BandSubtitle(HWND band) { return FromW(SplitBandText(band).Subtitle); }

void FitDialogBand(HWND dialog) {
    HWND band = ::GetDlgItem(dialog, IDC_BAND);
    if (!band) return;
    RECT r;
    ::GetClientRect(dialog, &r);
    ::MoveWindow(band, 0, 0, r.right, Scale(cBandHeight, DpiOf(dialog)), TRUE);
}

// --- Placement ------------------------------------------------------------------------------------

void PlaceControls(HWND dialog, std::initializer_list<TDesignPlace> places) {
    const UINT dpi = DpiOf(dialog);
    for (const TDesignPlace& p : places)
        ::MoveWindow(::GetDlgItem(dialog, p.Id), Scale(p.Left, dpi), Scale(p.Top, dpi), Scale(p.Width, dpi),
                     Scale(p.Height, dpi), FALSE);
}

RECT RectInParent(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(nullptr, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void SetClientSize(HWND window, int width, int height) {
    RECT r{0, 0, width, height};
    const DWORD style = DWORD(::GetWindowLongW(window, GWL_STYLE));
    const DWORD exStyle = DWORD(::GetWindowLongW(window, GWL_EXSTYLE));
    ::AdjustWindowRectEx(&r, style, ::GetMenu(window) != nullptr && !(style & WS_CHILD), exStyle);
    ::SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

RECT FitToWorkArea(const RECT& frame) {
    HMONITOR monitor = ::MonitorFromRect(&frame, MONITOR_DEFAULTTONEAREST);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!::GetMonitorInfoW(monitor, &info)) return frame;
    const RECT& area = info.rcWork;
    const int width = std::min(frame.right - frame.left, area.right - area.left);
    const int height = std::min(frame.bottom - frame.top, area.bottom - area.top);
    const int left = std::clamp(int(frame.left), int(area.left), int(area.right) - width);
    const int top = std::clamp(int(frame.top), int(area.top), int(area.bottom) - height);
    return RECT{left, top, left + width, top + height};
}

void KeepOnScreen(HWND window) {
    RECT frame;
    ::GetWindowRect(window, &frame);
    const RECT fitted = FitToWorkArea(frame);
    if (::EqualRect(&frame, &fitted)) return;
    ::SetWindowPos(window, nullptr, fitted.left, fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreWindow(HWND window, HWND over) {
    RECT frame, area;
    ::GetWindowRect(window, &frame);
    if (over) {
        ::GetWindowRect(::GetAncestor(over, GA_ROOT), &area);
    } else {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
        area = info.rcWork;
    }
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int left = area.left + ((area.right - area.left) - width) / 2;
    const int top = area.top + ((area.bottom - area.top) - height) / 2;
    const RECT fitted = FitToWorkArea(RECT{left, top, left + width, top + height});
    ::SetWindowPos(window, nullptr, fitted.left, fitted.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Painting ------------------------------------------------------------------------------------

void PaintNow(HWND window) {
    if (window) ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// --- Files --------------------------------------------------------------------------------------------

std::wstring ProgramDir() {
    wchar_t self[MAX_PATH + 1];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::wstring path(self, n);
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? L"." : path.substr(0, cut);
}

std::wstring DataDir() { return ProgramDir(); }

namespace {
std::wstring& ArtDirOverride() {
    static std::wstring dir;
    return dir;
}
}  // namespace

void SetArtDir(const std::wstring& dir) { ArtDirOverride() = dir; }

std::wstring ArtFile(const std::string& name) {
    const std::wstring dir = ArtDirOverride().empty() ? DataDir() + L"\\art" : ArtDirOverride();
    return dir + L"\\" + ToW(name);
}

// --- Errors ----------------------------------------------------------------------------------------------

std::string ErrorMessage(const std::exception& error) { return platform::ErrorText(error); }

namespace {
std::function<void(const std::string&)>& ExceptionSink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}
}  // namespace

void SetExceptionSink(std::function<void(const std::string& message)> sink) { ExceptionSink() = std::move(sink); }

void ShowException(const std::string& message) {
    if (ExceptionSink()) {
        try {
            ExceptionSink()(message);
            return;
        } catch (...) {
            // Showing failed as well: the plain message box below.
        }
    }
    ::MessageBoxW(nullptr, ToW(message).c_str(), L"Tarnel", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace tarnel::win
