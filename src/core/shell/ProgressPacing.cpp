#include "core/shell/ProgressPacing.h"

#include <chrono>
#include <climits>

namespace tarnel {

int64_t SteadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool TRepaintThrottle::Due(bool final) {
    const int64_t now = clock_();
    if (final || last_ < 0 || now - last_ >= 33) {
        last_ = now;
        return true;
    }
    return false;
}

int TScanProgressBar::BarShift(uint64_t size) {
    int shift = 0;
    while ((size >> shift) > uint64_t(INT_MAX)) ++shift;
    return shift;
}

void TScanProgressBar::Start(uint64_t size) {
    size_ = size;
    position_ = 0;
    percent_ = 0;
    shift_ = BarShift(size);
    pending_ = false;
    throttle_ = TRepaintThrottle(clock_);
    OpenBar(int(size >> shift_));
}

void TScanProgressBar::Advance(uint64_t position, int percent) {
    position_ = position;
    percent_ = percent;
    pending_ = true;
    if (throttle_.Due(position >= size_)) Show();
}

void TScanProgressBar::End() {
    if (pending_) Show();
    CloseBar();
}

void TScanProgressBar::Show() {
    pending_ = false;
    ShowBar(int(position_ >> shift_), percent_);
}

}  // namespace tarnel
