#include "core/shell/ActivityLog.h"

#include "platform/api/OsVersion.h"
#include "core/shell/uConst.h"

namespace tarnel {

TLog::TLog() : clock_(&platform::FormatLocalDateTimeNow) {}

void TLog::SetClock(Clock clock) {
    clock_ = clock ? std::move(clock) : Clock(&platform::FormatLocalDateTimeNow);
}

void TLog::WriteLog(const std::string& text) {
    std::string line = clock_();
    line += cLogSeparator;
    line += text;
    lines_.push_back(line);
    if (listener_) listener_(lines_.back());
}

}  // namespace tarnel
