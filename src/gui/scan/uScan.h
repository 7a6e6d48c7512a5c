// The FOURCC scan's window side: its progress in a progress window of its
// own. The command itself is the codec window's
// ScanCodecsformoreFOURCCs1Click, defined in uScan.cpp beside this.
#pragma once

#include <QPointer>
#include <cstdint>

#include "core/scan/FourccScan.h"
#include "gui/shell/GuiCommon.h"
#include "gui/shell/uProgress.h"

namespace tarnel {

// A progress window "Scanning Codec..." for one scan. Its bar counts bytes;
// a file beyond the bar's int range is shown scaled, the percentage still
// exact. The window is closed at the end and, should the scan end by an
// error, when this object goes.
class TScanProgressWindow : public TScanProgress {
public:
    TScanProgressWindow() = default;
    TScanProgressWindow(const TScanProgressWindow&) = delete;
    TScanProgressWindow& operator=(const TScanProgressWindow&) = delete;
    ~TScanProgressWindow() override;

    void Start(uint64_t size) override;
    void Advance(uint64_t position, int percent) override;
    void End() override;

    // The window while the scan runs; null before and after.
    TfProgress* Window() const { return window_.data(); }

    // How far a count up to `size` is shifted right to fit the bar.
    static int BarShift(uint64_t size);

private:
    void Show();

    QPointer<TfProgress> window_;
    uint64_t size_ = 0;
    int shift_ = 0;
    uint64_t position_ = 0;
    int percent_ = 0;
    bool pending_ = false;  // a position not painted yet
    TRepaintThrottle throttle_;
};

}  // namespace tarnel
