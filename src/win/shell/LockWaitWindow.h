// While another program holds the machine, a small modal window says so,
// the windows painting and answering all the while; its button gives the
// wait up. The hook the platform's waits call.
#pragma once

#include "platform/api/LockWait.h"
#include "win/shell/WinCommon.h"

namespace tarnel::win {

class TfLockWait : public TDialogHandler {
public:
    // Made over `owner` (the active window), which takes no input meanwhile.
    explicit TfLockWait(HWND owner);
    ~TfLockWait() override;
    TfLockWait(const TfLockWait&) = delete;
    TfLockWait& operator=(const TfLockWait&) = delete;

    void SetWait(const platform::TLockWait& wait);
    bool GaveUp() const { return gaveUp_; }
    std::string Text() const;

    INT_PTR HandleDialog(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) override;

private:
    HWND owner_;
    bool ownerWasEnabled_ = false;
    bool gaveUp_ = false;
};

platform::TLockWaitHook LockWaitWindowHook();

}  // namespace tarnel::win
