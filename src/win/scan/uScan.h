// The FOURCC scan's window side: its progress in a progress window of its
// own. The command itself is the codec window's
// ScanCodecsformoreFOURCCs1Click, defined in uScan.cpp beside this.
#pragma once

#include <cstdint>
#include <memory>

#include "core/scan/FourccScan.h"
#include "win/shell/uProgress.h"

namespace tarnel::win {

// A progress window "Scanning Codec..." for one scan. Its bar counts bytes;
// a file beyond the bar's range is shown scaled, the percentage still
// exact. The window is closed at the end and, should the scan end by an
// error, when this object goes.
class TScanProgressWindow : public TScanProgress {
public:
    void Start(uint64_t size) override;
    void Advance(uint64_t position, int percent) override;
    void End() override;

    // The window while the scan runs; null before and after.
    TfProgress* Window() const { return window_.get(); }
    // How far a count up to `size` is shifted right to fit the bar.
    static int BarShift(uint64_t size);

private:
    void Show();
    std::unique_ptr<TfProgress> window_;
    uint64_t size_ = 0, position_ = 0;
    int shift_ = 0, percent_ = 0;
    bool pending_ = false;
    TRepaintThrottle throttle_;
};

}  // namespace tarnel::win
