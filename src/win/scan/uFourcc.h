// The FOURCC list dialog: a table of known FOURCCs, shown without waiting
// from the codec window's (never visible) "&FOURCC List" entry. Its fields
// and buttons have no function.
#pragma once

#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfFourcc : public TDialogHandler {
public:
    // Made hidden at start-up; `over` is the window it is first centred on.
    explicit TfFourcc(HWND over);
    ~TfFourcc() override;
    TfFourcc(const TfFourcc&) = delete;
    TfFourcc& operator=(const TfFourcc&) = delete;

    // Centred on the main window the first time; afterwards where the user left it.
    void ShowNonModal();
    HWND Window() const { return Dialog; }

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Layout();
    HWND over_;
    bool placed_ = false;
};

extern TfFourcc* fFourcc;

}  // namespace tarnel::win
