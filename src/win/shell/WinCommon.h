// What every native window shares: text conversion at the window boundary
// (the program's texts are byte strings in the machine's ANSI code page),
// the scale of the screen, fonts, the header band that tops each dialog and
// tab panel, placement on the screen, and where the program's own files
// (pictures, help) are.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/shell/ProgressPacing.h"

namespace tarnel::win {

// --- Text ----------------------------------------------------------------------
std::wstring ToW(const std::string& ansi);
std::string FromW(const std::wstring& wide);
std::string WindowText(HWND window);
void SetWindowTextAnsi(HWND window, const std::string& text);
std::string DlgItemText(HWND dialog, int id);

// --- The program's module and its window classes -------------------------------
HINSTANCE Instance();
// Registers the common controls and the program's own classes (the header
// band, the panels); every program and test calls it once before making
// a window.
void InitWindowClasses();

// --- Scale --------------------------------------------------------------------------
// The dots per inch a window is shown at (its monitor's, the program being
// aware of each monitor's), 96 without a window.
UINT DpiOf(HWND window);
// A length of the designs (pixels at 96 dots per inch) at `dpi`.
inline int Scale(int designPixels, UINT dpi) { return MulDiv(designPixels, int(dpi), 96); }

// --- Fonts ------------------------------------------------------------------------------
// An owned font handle.
class TFont {
public:
    TFont() = default;
    explicit TFont(HFONT font) : font_(font) {}
    ~TFont() { Reset(); }
    TFont(const TFont&) = delete;
    TFont& operator=(const TFont&) = delete;
    TFont(TFont&& other) noexcept : font_(other.font_) { other.font_ = nullptr; }
    TFont& operator=(TFont&& other) noexcept {
        if (this != &other) {
            Reset();
            font_ = other.font_;
            other.font_ = nullptr;
        }
        return *this;
    }
    HFONT Get() const { return font_; }
    operator HFONT() const { return font_; }
    void Reset(HFONT font = nullptr) {
        if (font_) ::DeleteObject(font_);
        font_ = font;
    }

private:
    HFONT font_ = nullptr;
};

// The fonts the designs name, at a pixel height of 96 dots per inch, and
// the program font at a size in points; the platform substitutes a font
// the machine lacks.
HFONT MakeDesignFont(const std::wstring& family, int pixelHeight, UINT dpi, bool bold = false);
HFONT MakePointFont(const std::wstring& family, int points, UINT dpi, bool bold = false);
// The platform's default font for windows' texts (the message font).
std::wstring DefaultFontFamily();
// The installed font families, each once (vertical variants left out).
std::vector<std::string> InstalledFontFamilies();
// The family the program font setting names: an installed family as it is
// listed; the platform's default for an empty name, "Default" and a family
// the machine lacks, so that every choice the font box can leave looks alike.
std::wstring ProgramFontFamily(const std::string& programFont);
// How much wider than `design` the font `font` sets the program's texts,
// both at the same scale; never below 1, so that a design width only grows.
double FontGrowth(HFONT font, HFONT design);
inline int Grown(int pixels, double growth) { return int(pixels * growth + 0.5); }
// The height of a line of text in `font`.
int LineHeight(HFONT font);
int TextWidth(HFONT font, const std::wstring& text);
// The width a control's own text takes in the control's font, its mnemonic
// marks not counted.
int ControlTextWidth(HWND control);

// --- The header band --------------------------------------------------------------
// 49 design pixels high, no bevel, filled in the window-text colour, a bold
// title and a plain subtitle in "Lucida Sans Unicode" in the window colour.
// Its window text is "title\nsubtitle"; style bit cBandNear puts the labels
// at 16,8 and 48,24 instead of 40,8 and 80,24.
inline constexpr wchar_t cBandClass[] = L"TarnelBand";
inline constexpr DWORD cBandNear = 0x0001;
inline constexpr int cBandHeight = 49;
HWND CreateBand(HWND parent, int id, const std::string& title, const std::string& subtitle, bool nearLabels = false);
void SetBandTexts(HWND band, const std::string& title, const std::string& subtitle);
std::string BandTitle(HWND band);
std::string BandSubtitle(HWND band);
// Makes a dialog's band as wide as the dialog and as high as the design
// says, whatever the template's dialog units came to.
void FitDialogBand(HWND dialog);

// --- Placement ---------------------------------------------------------------------------
// A control placed as the designs place it: pixels at 96 dots per inch.
struct TDesignPlace {
    int Id, Left, Top, Width, Height;
};
// Puts a dialog's controls where the designs say, at the dialog's scale
// (the template's dialog units give them only roughly, by the font the
// system has for the dialog's).
void PlaceControls(HWND dialog, std::initializer_list<TDesignPlace> places);
// A control's rectangle in its parent's client coordinates.
RECT RectInParent(HWND control);

// The client size of a window that holds `width` x `height` of client area.
void SetClientSize(HWND window, int width, int height);
// Centres `window` on `over` (the work area of its monitor when null),
// whole on that monitor's work area.
void CentreWindow(HWND window, HWND over);
// Where a window's frame is seen whole: moved (and shrunk where it is
// larger) into the work area of the monitor nearest to it.
RECT FitToWorkArea(const RECT& frame);
void KeepOnScreen(HWND window);

// --- Painting in loops that handle no messages ---------------------------------------
void PaintNow(HWND window);

// --- The program's files ------------------------------------------------------------------
std::wstring ProgramDir();
// Where the help file and the pictures are: beside the program.
std::wstring DataDir();
// The pictures' folder: "<data dir>\art" unless set (tests point it
// elsewhere); an empty name returns to the default.
void SetArtDir(const std::wstring& dir);
std::wstring ArtFile(const std::string& name);

// --- Errors ----------------------------------------------------------------------------------
// What an error that escaped a command says (the platform's words where it
// came from the platform).
std::string ErrorMessage(const std::exception& error);
// Runs a window's handler: an error escaping it must not cross the window
// system, so it is shown (through the main window's message) and the
// program goes on.
void ShowException(const std::string& message);
template <typename Handler>
void Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowException(ErrorMessage(e));
    } catch (...) {
        ShowException("An unknown error ended the command");
    }
}
// Where ShowException shows its message; the main window installs itself.
void SetExceptionSink(std::function<void(const std::string& message)> sink);

// --- Windows and dialogs of the program's own ------------------------------------------
// A window of one of the program's classes hands its messages to the object
// it was made for; what escapes the object is shown and the window goes on.
class TWindowHandler {
public:
    virtual ~TWindowHandler() = default;
    // DefWindowProc for what the object leaves (DefaultMessage).
    virtual LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) = 0;
    static LRESULT DefaultMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
        return ::DefWindowProcW(window, msg, wp, lp);
    }
};
// The classes: a child panel (button-face background), a top-level window
// that holds panels until they move into the main window's tabs (never
// shown), and the main window (the program's icon).
inline constexpr wchar_t cPanelClass[] = L"TarnelPanel";
inline constexpr wchar_t cFormClass[] = L"TarnelForm";
inline constexpr wchar_t cMainClass[] = L"TarnelMain";
inline constexpr wchar_t cSplitterClass[] = L"TarnelSplitter";
HWND CreateHandlerWindow(const wchar_t* className, DWORD exStyle, DWORD style, const std::wstring& title,
                         HWND parent, int id, TWindowHandler* handler);

// A dialog made from a template hands its messages to its object the same
// way; FALSE from the object lets the dialog manager handle a message.
class TDialogHandler {
public:
    virtual ~TDialogHandler() = default;
    virtual INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) = 0;
    HWND Dialog = nullptr;
};
// Shows the template's dialog modally over `owner` and returns how it ended
// (EndDialog's result).
INT_PTR RunModalDialog(int templateId, HWND owner, TDialogHandler& handler);
HWND CreateModelessDialog(int templateId, HWND owner, TDialogHandler& handler);
// Modeless dialogs get their keys (Tab, Escape, Return) through the
// program's message loop.
void AddModeless(HWND dialog);
void RemoveModeless(HWND dialog);
bool ModelessMessage(MSG& msg);
// Handles the messages waiting, without waiting for more; false once the
// program is asked to quit (the quit message is posted again).
bool PumpMessages();

// A text cut at its end with "..." to fit `width` pixels in `font`.
std::wstring ElideRight(HFONT font, const std::wstring& text, int width);
// The same, keeping the beginning and the end (a path's drive and its last folder).
std::wstring ElideMiddle(HFONT font, const std::wstring& text, int width);

}  // namespace tarnel::win
