// The progress window of the program's long loops. The loop sets Label2's
// text and the bar's maximum, shows the window (not modally), calls
// SetProgress after each step and closes it at the end; the window frees
// itself when closed, so create it with new.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>

#include "gui/shell/GuiCommon.h"

namespace tarnel {

class TfProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfProgress(QWidget* parent = nullptr);

    // Moves the bar to `position`, shows the percentage of the bar's
    // maximum in PercentLabel and repaints at once: the loops that call
    // this process no window events.
    void SetProgress(int position);
    // The same for a count the bar shows scaled down to its int range: the
    // label shows `percent`, worked out from the exact count by the caller.
    void SetProgress(int position, int percent);

    THeaderBand* Panel5;
    QLabel* Label2;     // the task
    QLabel* HelpLabel;  // left empty
    QFrame* Panel1;
    QProgressBar* ProgressBar;
    QLabel* PercentLabel;
};

}  // namespace tarnel
