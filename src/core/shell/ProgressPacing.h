// How a progress display keeps up with a loop that handles no window
// messages: painted at once, but not more than about 30 times a second (a
// load of thousands of entries, or a scan meeting marker bytes by the
// hundred thousand, would otherwise spend its time painting), and always
// with the position just reached at the end. Both window layers use these,
// so a bar moves the same way on either.
#pragma once

#include <cstdint>
#include <functional>

#include "core/scan/FourccScan.h"

namespace tarnel {

// Milliseconds on a clock that never goes back.
using TMillisecondClock = std::function<int64_t()>;
int64_t SteadyMilliseconds();

// Due() is true for the first call, after 33 ms have passed since the last
// true answer, and always when `final`.
class TRepaintThrottle {
public:
    explicit TRepaintThrottle(TMillisecondClock clock = SteadyMilliseconds) : clock_(std::move(clock)) {}
    bool Due(bool final = false);

private:
    TMillisecondClock clock_;
    int64_t last_ = -1;
};

// A scan's progress in a bar whose range is an int: a file beyond it is
// shown scaled (the percentage still exact). Positions the throttle holds
// back are painted at the end. A window only opens, moves and closes its
// bar.
class TScanProgressBar : public TScanProgress {
public:
    explicit TScanProgressBar(TMillisecondClock clock = SteadyMilliseconds) : clock_(std::move(clock)) {}

    void Start(uint64_t size) final;
    void Advance(uint64_t position, int percent) final;
    void End() final;

    // How far a count up to `size` is shifted right to fit the bar.
    static int BarShift(uint64_t size);

protected:
    virtual void OpenBar(int maximum) = 0;
    virtual void ShowBar(int value, int percent) = 0;
    virtual void CloseBar() = 0;

private:
    void Show();

    TMillisecondClock clock_;
    TRepaintThrottle throttle_;
    uint64_t size_ = 0, position_ = 0;
    int shift_ = 0, percent_ = 0;
    bool pending_ = false;  // a position not painted yet
};

}  // namespace tarnel
