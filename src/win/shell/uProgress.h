// The progress window of long loops (a refresh of the active list, a scan):
// no title, on top, centred on the screen. The loop sets the task text and
// the maximum, shows it without waiting, sets the position (the percentage
// follows) and closes it; each change is painted at once, the loop handling
// no messages.
#pragma once

#include <string>

#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfProgress : public TDialogHandler {
public:
    TfProgress();
    ~TfProgress() override;
    TfProgress(const TfProgress&) = delete;
    TfProgress& operator=(const TfProgress&) = delete;

    void SetTask(const std::string& text);  // Label2, the band's title
    void SetMaximum(int maximum);
    int Maximum() const { return maximum_; }
    // The bar's position and the percentage of the maximum ("66%").
    void SetProgress(int position);
    void SetProgress(int position, int percent);
    int Position() const;
    std::string PercentText() const;
    void Show();
    void Close();
    HWND Window() const { return Dialog; }

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    int maximum_ = 100;
};

}  // namespace tarnel::win
