// The main window: menus, status bar and the three tabs whose contents
// belong to other windows; it owns the settings and offers the services
// every window calls (WriteLog, ShowSystemMessage, ApplyProgramFont, ...).
#pragma once

#include <array>
#include <functional>
#include <string>

#include "core/catalogue/FileVersionInfo.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/ShellView.h"
#include "core/shell/uGlobal.h"
#include "core/shell/uPrefs.h"
#include "win/shell/WinCommon.h"
#include "win/shell/uMessage.h"

namespace tarnel::win {

class TfMain : public TWindowHandler {
public:
    // Makes the window (not shown yet) and runs its creation steps (FormCreate).
    explicit TfMain(TLog& log);
    ~TfMain() override;
    TfMain(const TfMain&) = delete;
    TfMain& operator=(const TfMain&) = delete;

    // Services of the main window.
    void WriteLog(const std::string& text) { log_.WriteLog(text); }
    TLog& Log() { return log_; }
    void ShowSystemMessage(const std::string& text, TMessageKind kind = TMessageKind::Information);
    void ApplyProgramFont();
    int CalcPercentage(int done, int total) const { return tarnel::CalcPercentage(done, total); }
    std::string ReadSystemRoot() const { return tarnel::ReadSystemRoot(); }

    // The settings record; CodecStoreMode is set from the OS family.
    TPreferences Settings;
    TWinVersionInfo WinVersionInfo;
    TFileVersionInfo ProgramVersionInfo;
    // True when the system is not supported: the program ends as soon as
    // its message loop would start, and closes without asking.
    bool TerminateRequested() const { return terminate_; }

    // Components.
    HWND Handle = nullptr;
    HWND StatusBar = nullptr;
    HWND Panel2 = nullptr;       // the sunken panel that holds the page control and the pages
    HWND PageControl = nullptr;  // the tabs "VfW Codecs", "DirectShow Filters", "Log"
    HMENU CodecMenu = nullptr;
    HACCEL Accelerators = nullptr;

    void SetStatusText(int panel, const std::string& text);
    std::string StatusText(int panel) const;
    // What the bar shows of a panel: its text, cut short with "..." where it
    // does not fit, the whole text then in the panel's tooltip.
    std::string StatusShown(int panel) const;
    RECT StatusPanelRect(int panel) const;

    // Puts a window's panel into a tab page (0 codecs, 1 DirectShow, 2 log).
    void HostPanel(int page, HWND panel);
    HWND HostedPanel(int page) const { return page >= 0 && page < 3 ? pages_[size_t(page)] : nullptr; }
    int ActivePage() const;
    void SelectPage(int page);

    // The program font as the main window, its tabs and the codec lists use it.
    HFONT ProgramFont() const { return font_.Get(); }
    HFONT StatusFont() const { return statusFont_.Get(); }

    // Handlers.
    void FormCreate();
    void Exit1Click();
    void PreferencesClick();
    void RefreshClick();
    void Contents1Click();
    void AboutClick();
    // The quit question; true when the window may close.
    bool FormCloseQuery();
    // "Version 2.7 - Release 0 - Build 113", as the caption shows it.
    std::string VersionText() const;

    // The window's bounds as the settings keep them: its frame in pixels
    // at 96 dots per inch, so that a screen's scale does not change them.
    TWindowBounds Bounds() const;
    void SetBounds(const TWindowBounds& bounds);

    // Runs a codec's own dialog: a driver's window has no owner, so the main
    // window leaves the top layer while it is up (it would hide beneath) and
    // takes no input, as a modal dialog's owner would; both come back
    // however the call ends.
    void WithDriverDialog(const std::function<void()>& call);

    LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void BuildComponents();
    void Layout();
    void LayoutPages();
    void ArrangeStatusPanels();
    void Command(int id);
    TLog& log_;
    bool terminate_ = false;
    std::array<std::string, cStatusPanelCount> statusTexts_{};
    std::array<std::wstring, cStatusPanelCount> statusShown_{};
    std::array<HWND, 3> pages_{};
    HWND statusTip_ = nullptr;
    TFont font_, statusFont_;
};

extern TfMain* fMain;

}  // namespace tarnel::win
