// A write that must wait for another program's hold on the machine: the
// window says so in a small modal window, the interface thread keeps
// handling events all the while, and the window's button gives up.
#include "gui/shell/LockWaitWindow.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>

#include "platform/api/LockWait.h"
#include "platform/api/Registry.h"
#include "platform/machine/StoreFiles.h"
#include "support/TempMachine.h"

namespace tarnel {
namespace {

constexpr const char* kKey = "Software\\Halvorin\\Test";

TfLockWait* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* wait = qobject_cast<TfLockWait*>(w); wait && wait->isVisible()) return wait;
    return nullptr;
}

void Write(const char* value) {
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    reg.OpenKey(kKey, true);
    reg.WriteString("v", value);
}

std::string Read() {
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    return reg.OpenKeyReadOnly(kKey) && reg.ValueExists("v") ? reg.ReadString("v") : "(none)";
}

// Holds the machine's lock as another program would.
struct OtherProgram {
    int fd;
    explicit OtherProgram(const std::filesystem::path& root)
        : fd(::open((root / platform::machine::kLockFileName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        ::flock(fd, LOCK_EX);
    }
    void Release() { ::flock(fd, LOCK_UN); }
    ~OtherProgram() { ::close(fd); }
};

struct HookScope {
    HookScope() { platform::SetLockWaitHook(LockWaitWindowHook()); }
    ~HookScope() { platform::SetLockWaitHook(nullptr); }
};

TEST(LockWaitWindow, AWaitShowsTheWindowWhileTheInterfaceGoesOnAndEndsWhenTheMachineIsFree) {
    test::TempMachine m;
    Write("before");
    HookScope hook;
    OtherProgram other(m.Root());
    int ticks = 0;
    QString shownText;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QTimer::singleShot(400, [&] {
        if (TfLockWait* w = Shown()) shownText = w->MessageLabel->text();
        other.Release();
    });
    Write("after");
    EXPECT_GT(ticks, 10) << "the interface thread stopped while it waited";
    EXPECT_TRUE(shownText.contains("waiting for another program to finish with the machine...")) << shownText.toStdString();
    EXPECT_TRUE(shownText.contains(QString("process %1").arg(::getpid()))) << shownText.toStdString();
    EXPECT_EQ(Read(), "after");
    QApplication::processEvents();
    EXPECT_EQ(Shown(), nullptr) << "the window stays after the wait";
}

TEST(LockWaitWindow, ItsButtonGivesTheWaitUpAndNothingIsWritten) {
    test::TempMachine m;
    Write("before");
    HookScope hook;
    OtherProgram other(m.Root());
    QTimer::singleShot(300, [] {
        if (TfLockWait* w = Shown()) w->CancelButton->click();
    });
    try {
        Write("after");
        ADD_FAILURE() << "written while another program held the machine";
    } catch (const platform::ERegistryException& e) {
        EXPECT_TRUE(std::string(e.what()).find("Stopped waiting") != std::string::npos) << e.what();
    }
    other.Release();
    EXPECT_EQ(Read(), "before");
    QApplication::processEvents();
    EXPECT_EQ(Shown(), nullptr);
}

}  // namespace
}  // namespace tarnel
