#include "platform/api/LockWait.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace tarnel::platform {

namespace {
TLockWaitHook& HookSlot() {
    static TLockWaitHook hook;
    return hook;
}
double& LimitSlot() {
    static double limit = kDefaultLockWaitLimit;
    return limit;
}
}  // namespace

void SetLockWaitHook(TLockWaitHook hook) { HookSlot() = std::move(hook); }

bool PassLockWait(const TLockWait& wait) {
    if (HookSlot()) return HookSlot()(wait);
    if (wait.Phase != TLockWait::Ends) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}

void SetLockWaitLimit(double seconds) { LimitSlot() = seconds < 0 ? 0 : seconds; }
double LockWaitLimit() { return LimitSlot(); }

std::string LockWaitText(const TLockWait& wait) {
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", wait.Limit);
    std::string text = "waiting for another program to finish with the machine... (";
    if (!wait.Holder.empty()) text += wait.Holder + ", holds '" + wait.Machine + "'; ";
    else text += "'" + wait.Machine + "'; ";
    return text + "giving up after " + limit + " s)";
}

}  // namespace tarnel::platform
