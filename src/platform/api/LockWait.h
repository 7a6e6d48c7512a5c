// Waiting for a machine another program is working on. A writer (or a
// reader while a writer works) waits for the machine's lock; the front end
// says so its own way through a hook, and the wait ends after a limit with
// an error rather than hanging. The hook runs on the waiting thread and
// passes a little time there: a sleep in a command, an event loop that keeps
// a window painting.
#pragma once

#include <functional>
#include <string>

namespace tarnel::platform {

struct TLockWait {
    enum TPhase { Begins, Goes, Ends };
    TPhase Phase = Begins;
    std::string Machine;  // the machine's folder
    std::string Holder;   // "tarnelctl, process 1234", empty when not known
    double Waited = 0;    // seconds so far
    double Limit = 0;     // seconds after which the wait gives up
};

// Called at Begins and then again and again (Goes) while the lock stays
// taken, each time passing a short while (about a twentieth of a second);
// false gives up now. Called once with Ends when the wait is over, however
// it ended (its result is not looked at then).
using TLockWaitHook = std::function<bool(const TLockWait& wait)>;
void SetLockWaitHook(TLockWaitHook hook);
// Runs the hook, or without one passes the short while asleep.
bool PassLockWait(const TLockWait& wait);

// Seconds a wait may last before it gives up (60 unless set; 0 gives up at
// once).
inline constexpr double kDefaultLockWaitLimit = 60;
void SetLockWaitLimit(double seconds);
double LockWaitLimit();

// "waiting for another program to finish with the machine... (...)": what
// every front end says while it waits.
std::string LockWaitText(const TLockWait& wait);

}  // namespace tarnel::platform
