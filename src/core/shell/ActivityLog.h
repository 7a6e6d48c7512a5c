// The activity log: time-stamped lines in memory, oldest first, never
// cleared or trimmed. The log tab of the main window shows it through the
// listener; everything else only writes to it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tarnel {

class TLog {
public:
    using Listener = std::function<void(const std::string& line)>;
    using Clock = std::function<std::string()>;

    TLog();

    // Appends "<date time> : <text>".
    void WriteLog(const std::string& text);

    const std::vector<std::string>& Lines() const { return lines_; }
    size_t Count() const { return lines_.size(); }

    // Called with every new line after it was stored; an empty function
    // removes the listener. Lines written before stay in Lines().
    void SetListener(Listener listener) { listener_ = std::move(listener); }

    // The source of the time stamp; the machine's local date and time
    // unless replaced (tests fix it to know the exact line).
    void SetClock(Clock clock);

private:
    std::vector<std::string> lines_;
    Listener listener_;
    Clock clock_;
};

}  // namespace tarnel
