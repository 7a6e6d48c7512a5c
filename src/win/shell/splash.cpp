#include "win/shell/splash.h"

#include <algorithm>
#include <initializer_list>

#include "core/shell/ShellView.h"
#include "core/shell/uConst.h"
#include "platform/api/Backend.h"
#include "win/resource.h"

namespace tarnel::win {

namespace {
// Where the designs put each text on the picture (pixels at 96 dots per inch).
struct TPlace {
    int id, x, y, width, height;
};
constexpr TPlace kPlaces[] = {
    {IDC_COPYRIGHT, 368, 200, 124, 14}, {IDC_AUTHOR, 368, 216, 124, 14},  {IDC_LOADING, 24, 208, 48, 14},
    {IDC_LOADBAR, 72, 210, 281, 12},    {IDC_BUILD, 24, 112, 460, 14},    {IDC_TESTEDON, 24, 126, 321, 43},
    {IDC_FREEWARE, 24, 168, 460, 14},   {IDC_MACHINE, 24, 168, 460, 14}, {IDC_MAIL, 24, 182, 460, 14},
    {IDC_RECYCLED, 248, 200, 32, 32},
};
constexpr int kWhiteTexts[] = {IDC_LOADING, IDC_BUILD, IDC_TESTEDON, IDC_FREEWARE, IDC_MACHINE, IDC_MAIL};
}  // namespace

TSplashScreen::~TSplashScreen() { Close(); }

void TSplashScreen::ShowSplash() {
    CreateModelessDialog(IDD_SPLASH, nullptr, *this);
    ::ShowWindow(Dialog, SW_SHOWNORMAL);
    PaintNow(Dialog);
}

void TSplashScreen::ShowAbout(HWND owner, const std::string& version) {
    about_ = true;
    modal_ = true;
    owner_ = owner;
    version_ = version;
    RunModalDialog(IDD_SPLASH, owner, *this);
    modal_ = false;
}

void TSplashScreen::ShowLoadBar(int maximum) {
    if (!Dialog) return;
    ::ShowWindow(::GetDlgItem(Dialog, IDC_LOADING), SW_SHOWNA);
    HWND bar = ::GetDlgItem(Dialog, IDC_LOADBAR);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
    ::ShowWindow(bar, SW_SHOWNA);
}

void TSplashScreen::SetLoadPosition(int position) {
    if (Dialog) ::SendDlgItemMessageW(Dialog, IDC_LOADBAR, PBM_SETPOS, WPARAM(position), 0);
}

bool TSplashScreen::LoadBarVisible() const {
    return Dialog && (::GetWindowLongW(::GetDlgItem(Dialog, IDC_LOADBAR), GWL_STYLE) & WS_VISIBLE);
}

void TSplashScreen::Image1Click() {
    if (LoadBarVisible()) return;
    Close();
}

void TSplashScreen::Close() {
    if (!Dialog) return;
    if (modal_)
        ::EndDialog(Dialog, IDOK);
    else
        ::DestroyWindow(Dialog);
}

void TSplashScreen::ConfigureAsAbout() {
    HWND d = Dialog;
    SetWindowTextAnsi(::GetDlgItem(d, IDC_BUILD), AboutBuildText(version_, cAboutBuildWindows));
    SetWindowTextAnsi(::GetDlgItem(d, IDC_TESTEDON), cAboutTestedOn);
    SetWindowTextAnsi(::GetDlgItem(d, IDC_FREEWARE), "");
    SetWindowTextAnsi(::GetDlgItem(d, IDC_LOADING), cAboutRecycledBits);
    SetWindowTextAnsi(::GetDlgItem(d, IDC_MAIL), cAboutMail);
    // Which machine is shown, so that a machine is never taken for another.
    HWND machineLine = ::GetDlgItem(d, IDC_MACHINE);
    const std::wstring machine = ToW(cLogMachine + platform::CurrentBackend().Describe());
    const std::wstring machineShown = ElideMiddle(reinterpret_cast<HFONT>(::SendMessageW(machineLine, WM_GETFONT, 0, 0)),
                                                  machine, Scale(460, DpiOf(d)));
    ::SetWindowTextW(machineLine, machineShown.c_str());
    AddTip(IDC_MACHINE, machine);
    for (int id : {IDC_BUILD, IDC_MACHINE, IDC_TESTEDON, IDC_FREEWARE, IDC_LOADING, IDC_MAIL, IDC_RECYCLED})
        ::ShowWindow(::GetDlgItem(d, id), SW_SHOWNA);
    ::ShowWindow(::GetDlgItem(d, IDC_LOADBAR), SW_HIDE);
    PlaceRecycledImage();
}

void TSplashScreen::PlaceRecycledImage() {
    // The icon follows the recycled-bits line with a gap, however wide the
    // font sets the line, and stops short of the copyright line; a line
    // that would reach further is cut short.
    const UINT dpi = DpiOf(Dialog);
    const int gap = Scale(6, dpi), icon = Scale(32, dpi);
    HWND line = ::GetDlgItem(Dialog, IDC_LOADING);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(line, WM_GETFONT, 0, 0));
    const int left = Scale(24, dpi);
    const int room = Scale(368, dpi) - gap - icon - gap - left;
    const std::wstring text = ToW(cAboutRecycledBits);
    const std::wstring shown = ElideRight(font, text, room);
    ::SetWindowTextW(line, shown.c_str());
    const int width = TextWidth(font, shown) + 2;
    ::MoveWindow(line, left, Scale(208, dpi), width, Scale(14, dpi), TRUE);
    if (shown != text) AddTip(IDC_LOADING, text);
    const int iconLeft = std::max(Scale(248, dpi), left + width + gap);
    ::MoveWindow(::GetDlgItem(Dialog, IDC_RECYCLED), iconLeft, Scale(200, dpi), icon, icon, TRUE);
}

void TSplashScreen::AddTip(int id, const std::wstring& text) {
    // The window owns its tips' window, which goes with it.
    if (!tips_ || !::IsWindow(tips_))
        tips_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0,
                                  0, 0, 0, Dialog, nullptr, Instance(), nullptr);
    // The lines take no mouse messages of their own: the tip watches their
    // place on the window.
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = Dialog;
    tool.uId = UINT_PTR(id);
    HWND control = ::GetDlgItem(Dialog, id);
    ::GetWindowRect(control, &tool.rect);
    ::MapWindowPoints(nullptr, Dialog, reinterpret_cast<POINT*>(&tool.rect), 2);
    std::wstring copy = text;  // the control keeps its own copy
    tool.lpszText = copy.data();
    ::SendMessageW(tips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

INT_PTR TSplashScreen::HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_INITDIALOG: {
            const UINT dpi = DpiOf(dialog);
            SetClientSize(dialog, Scale(499, dpi), Scale(250, dpi));
            for (const TPlace& p : kPlaces)
                ::MoveWindow(::GetDlgItem(dialog, p.id), Scale(p.x, dpi), Scale(p.y, dpi), Scale(p.width, dpi),
                             Scale(p.height, dpi), FALSE);
            ::SendDlgItemMessageW(dialog, IDC_LOADBAR, PBM_SETRANGE32, 0, 100);
            picture_ = LoadArtPicture(cArtSplash, log_);
            recycled_ = LoadArtPicture(cArtRecycled, log_);
            recycled_.KeyOutCornerColour();
            if (about_) ConfigureAsAbout();
            CentreWindow(dialog, owner_);
            return TRUE;
        }
        case WM_ERASEBKGND: {
            // The picture fills the window inside its lowered bevel.
            HDC dc = reinterpret_cast<HDC>(wp);
            RECT r;
            ::GetClientRect(dialog, &r);
            ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
            RECT inside = r;
            ::InflateRect(&inside, -2, -2);
            picture_.Draw(dc, inside, false);
            ::DrawEdge(dc, &r, BDR_SUNKENINNER, BF_RECT);
            ::SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 1);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            // Texts drawn straight onto the picture.
            HDC dc = reinterpret_cast<HDC>(wp);
            ::SetBkMode(dc, TRANSPARENT);
            const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
            const bool white = std::find(std::begin(kWhiteTexts), std::end(kWhiteTexts), id) != std::end(kWhiteTexts);
            ::SetTextColor(dc, white ? RGB(255, 255, 255) : ::GetSysColor(COLOR_GRAYTEXT));
            return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
        }
        case WM_DRAWITEM: {
            auto* draw = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
            if (draw->CtlID != IDC_RECYCLED) return FALSE;
            recycled_.Draw(draw->hDC, draw->rcItem, false);
            return TRUE;
        }
        case WM_LBUTTONUP:
            // A click on the picture (the texts let it through).
            Image1Click();
            return TRUE;
        case WM_COMMAND:
            // Escape closes the about box as a click would.
            if (LOWORD(wp) == IDCANCEL && about_) {
                Image1Click();
                return TRUE;
            }
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace tarnel::win
