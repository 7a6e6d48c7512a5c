// While another program holds the machine, the program says so in a small
// modal window that keeps painting: the wait hook passes each short while of
// the wait in an event loop, so the interface thread never blocks in the
// lock, and the window's button gives the wait up.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "gui/shell/GuiCommon.h"
#include "platform/api/LockWait.h"

namespace tarnel {

class TfLockWait : public QDialog {
    Q_OBJECT
public:
    explicit TfLockWait(QWidget* parent = nullptr);
    void SetWait(const platform::TLockWait& wait);
    bool GaveUp() const { return gaveUp_; }

    THeaderBand* Panel5;
    QLabel* MessageLabel;
    QPushButton* CancelButton;

protected:
    // Closing the window gives the wait up, as the button does.
    void reject() override;

private:
    bool gaveUp_ = false;
};

// The hook the program installs with platform::SetLockWaitHook.
platform::TLockWaitHook LockWaitWindowHook();

}  // namespace tarnel
