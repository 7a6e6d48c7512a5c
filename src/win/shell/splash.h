// The splash screen, which doubles as the about box. At start-up it shows
// the picture while the active list loads (the loader shows the loading
// label and the load bar and drives the bar); as the about box it shows the
// build, machine and contact lines and is shown modally. A click on the
// picture closes it, unless the load bar shows.
#pragma once

#include <string>

#include "core/shell/ActivityLog.h"
#include "win/shell/WinCommon.h"
#include "win/shell/WinPicture.h"

namespace tarnel::win {

class TSplashScreen : public TDialogHandler {
public:
    // `log` receives a line for each picture that cannot be shown.
    explicit TSplashScreen(TLog* log) : log_(log) {}
    ~TSplashScreen() override;
    TSplashScreen(const TSplashScreen&) = delete;
    TSplashScreen& operator=(const TSplashScreen&) = delete;

    // Start-up: made, shown and painted at once, centred on the screen.
    void ShowSplash();
    // The about box, configured (`version` leads the build line) and shown
    // modally over `owner`; returns when it was closed.
    void ShowAbout(HWND owner, const std::string& version);

    // The loader's progress on the picture.
    void ShowLoadBar(int maximum);
    void SetLoadPosition(int position);
    bool LoadBarVisible() const;

    // Closes the window unless the load bar is showing.
    void Image1Click();
    void Close();
    HWND Window() const { return Dialog; }

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void ConfigureAsAbout();
    void PlaceRecycledImage();
    // A tip saying `text` whole over the control `id`, whose line is cut short.
    void AddTip(int id, const std::wstring& text);
    TLog* log_;
    bool about_ = false, modal_ = false;
    std::string version_;
    HWND owner_ = nullptr;
    HWND tips_ = nullptr;
    TPicture picture_, recycled_;
};

}  // namespace tarnel::win
