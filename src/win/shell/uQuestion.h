// The question dialog: a question with a picture, answered Yes, No or
// Cancel (also Escape, and a close by any other means). The caller sets the
// question and, where it wants others than the designed ones, the title and
// subtitle, shows it modally and reads the answer.
#pragma once

#include <optional>
#include <string>

#include "core/shell/ActivityLog.h"
#include "win/shell/WinCommon.h"
#include "win/shell/WinPicture.h"

namespace tarnel::win {

class TfQuestion : public TDialogHandler {
public:
    // `log` receives a line when the picture cannot be shown.
    explicit TfQuestion(TLog* log) : log_(log) {}

    // What the dialog shows; the title and subtitle stay as designed unless set.
    std::string Question;
    std::optional<std::string> Title, Subtitle;

    // IDYES, IDNO or IDCANCEL: the button's answer, whatever closed the dialog.
    int ShowModal(HWND owner);

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void Answer(int answer);
    void PlaceQuestion();
    TLog* log_;
    HWND owner_ = nullptr;
    int answer_ = IDCANCEL;
    TPicture picture_;
    TFont questionFont_;
};

}  // namespace tarnel::win
