// The FOURCC scan's window side: its progress in a progress window of its
// own. The command itself is the codec window's
// ScanCodecsformoreFOURCCs1Click, defined in uScan.cpp beside this.
#pragma once

#include <QPointer>
#include <cstdint>

#include "core/scan/FourccScan.h"
#include "core/shell/ProgressPacing.h"
#include "gui/shell/GuiCommon.h"
#include "gui/shell/uProgress.h"

namespace tarnel {

// A progress window "Scanning Codec..." for one scan, its bar moved as the
// core's TScanProgressBar says. The window is closed at the end and, should
// the scan end by an error, when this object goes.
class TScanProgressWindow : public TScanProgressBar {
public:
    TScanProgressWindow() = default;
    TScanProgressWindow(const TScanProgressWindow&) = delete;
    TScanProgressWindow& operator=(const TScanProgressWindow&) = delete;
    ~TScanProgressWindow() override;

    // The window while the scan runs; null before and after.
    TfProgress* Window() const { return window_.data(); }

protected:
    void OpenBar(int maximum) override;
    void ShowBar(int value, int percent) override;
    void CloseBar() override;

private:
    QPointer<TfProgress> window_;
};

}  // namespace tarnel
