// Helpers of the window tests: the pictures' folder and answering a modal
// dialog from inside its own event loop.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "gui/shell/GuiCommon.h"

#include "platform/api/Registry.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uConst.h"

namespace tarnel::test {

// Points the windows at a pictures folder for the life of the object.
class ArtDirScope {
public:
    explicit ArtDirScope(const QString& dir = TARNEL_ART_DIR) { SetArtDir(dir); }
    ~ArtDirScope() { SetArtDir(QString()); }
};

// Once the next modal dialog runs, hands it to `act` as a T. A dialog of
// another type fails the test and is closed, so that the test never hangs.
// Events processed before the dialog opens (a progress window painting)
// may run the check early: it waits up to five seconds for a dialog.
template <class T>
void WhenModal(std::function<void(T*)> act, int triesLeft = 500) {
    QTimer::singleShot(triesLeft == 500 ? 0 : 10, [act, triesLeft] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal && triesLeft > 0) {
            WhenModal<T>(act, triesLeft - 1);
            return;
        }
        T* dialog = qobject_cast<T*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "expected modal dialog not shown";
            if (auto* other = qobject_cast<QDialog*>(modal)) other->done(0);
            return;
        }
        QPointer<T> guard(dialog);
        act(dialog);
        // A dialog that `act` failed to close would hang the test run.
        QTimer::singleShot(5000, [guard] {
            if (guard && guard->isVisible()) {
                ADD_FAILURE() << "dialog left open";
                guard->done(0);
            }
        });
    });
}

// A log whose time stamp is fixed, so whole lines can be compared.
struct FixedLog : TLog {
    FixedLog() { SetClock([] { return std::string("T"); }); }
};

// One settings value of the current user, written or read as a test sets it up.
inline void SetSetting(const char* name, int32_t value) {
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(cPreferencesKey, true));
    reg.WriteInteger(name, value);
}

// -12345 when the value is missing.
inline int32_t Setting(const char* name) {
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyCurrentUser);
    if (!reg.OpenKey(cPreferencesKey, false) || !reg.ValueExists(name)) return -12345;
    return reg.ReadInteger(name);
}

}  // namespace tarnel::test
