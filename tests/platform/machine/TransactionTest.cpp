// Transactions of the emulated machine: nesting, undo, the lock between
// processes, and a change of several files that is all or nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/machine/StoreFiles.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "Software\\Halvorin\\Test";

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string ReadValue(const char* name) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    if (!reg.OpenKeyReadOnly(kKey)) return "(no key)";
    return reg.ValueExists(name) ? reg.ReadString(name) : "(none)";
}

void WriteValue(const char* name, const char* value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kKey, true));
    reg.WriteString(name, value);
}

std::string ProfileValue(const char* key) {
    char buf[256];
    GetPrivateProfileStringA("drivers32", key, "(none)", buf, sizeof buf, "system.ini");
    return buf;
}

}  // namespace

TEST(Transaction, JoinedOnesUndoOnlyTheirOwnChanges) {
    test::TempMachine m;
    const FileStamp start = StampOf(SystemHivePath());
    {
        TTransaction outer;
        WriteValue("outer", "1");
        {
            TTransaction kept;
            WriteValue("kept", "1");
            kept.Commit();
        }
        {
            TTransaction dropped;  // ends without Commit: its change goes
            WriteValue("dropped", "1");
            EXPECT_EQ(ReadValue("dropped"), "1") << "a transaction sees its own writes";
        }
        EXPECT_EQ(ReadValue("dropped"), "(none)");
        EXPECT_EQ(ReadValue("kept"), "1");
        EXPECT_EQ(StampOf(SystemHivePath()), start) << "nothing reaches the disk before the outermost commit";
        outer.Commit();
    }
    ForgetLoadedHives();
    EXPECT_EQ(ReadValue("outer"), "1");
    EXPECT_EQ(ReadValue("kept"), "1");
    EXPECT_EQ(ReadValue("dropped"), "(none)");
    {
        TTransaction undone;
        WriteValue("outer", "2");
    }
    ForgetLoadedHives();
    EXPECT_EQ(ReadValue("outer"), "1") << "an outermost transaction without Commit changes nothing";
}

TEST(Transaction, AFailedCommitNamesTheFileAndLeavesTheStoreAsItWas) {
    test::TempMachine m;
    WriteValue("v", "old");
    const std::string before = Slurp(SystemHivePath());
    TTransaction t;
    WriteValue("v", "new");
    ::chmod(SystemHivePath().c_str(), 0444);
    try {
        t.Commit();
        ADD_FAILURE() << "the commit went through";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find(SystemHivePath().string()), std::string::npos) << e.what();
    }
    ::chmod(SystemHivePath().c_str(), 0644);
    EXPECT_EQ(Slurp(SystemHivePath()), before);
    EXPECT_EQ(ReadValue("v"), "old") << "memory follows the disk again";
}

TEST(Transaction, AWriteRemovesWhatEndedWritersLeftBesideEveryStoreFile) {
    test::TempMachine m;
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    ::waitpid(gone, nullptr, 0);
    // Temporaries of files this write does not change: a killed settings
    // save and a killed journal write.
    const std::string tag = "." + std::to_string(gone) + ".a1B2c3";
    const fs::path stale[] = {UserHivePath().parent_path() / (".user.reg" + tag),
                              m.Root() / ("." + std::string(machine::kJournalFileName) + tag)};
    for (const fs::path& f : stale) std::ofstream(f) << "partial";
    WriteValue("v", "new");
    for (const fs::path& f : stale) EXPECT_FALSE(fs::exists(f)) << f;
}

TEST(Transaction, TwoProcessesLoseNoWriteOfEachOther) {
    test::TempMachine m;
    WriteValue("n", "0");
    constexpr int kRounds = 200;
    pid_t children[2];
    for (pid_t& child : children) {
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A process of its own: its own view of the machine and its own lock.
            SelectMachine(m.Root());
            for (int i = 0; i < kRounds; ++i) {
                TTransaction t;
                int n = std::stoi(ReadValue("n"));
                WriteValue("n", std::to_string(n + 1).c_str());
                t.Commit();
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    ForgetLoadedHives();
    EXPECT_EQ(ReadValue("n"), std::to_string(2 * kRounds));
}

TEST(Transaction, AChangeOfTwoFilesIsCompletedAfterACrashHalfWay) {
    test::TempMachine m(TMachineFamily::Win9x);
    // Both files change in one transaction: the profile file and the hive.
    {
        TTransaction t;
        ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "abcd.dll", "system.ini"));
        WriteValue("paired", "1");
        t.Commit();
    }
    ForgetLoadedHives();
    EXPECT_EQ(ProfileValue("vidc.abcd"), "abcd.dll");
    EXPECT_EQ(ReadValue("paired"), "1");
    EXPECT_FALSE(fs::exists(m.Root() / machine::kJournalFileName));

    // A writer that died after its journal and the first file: the next
    // transaction finishes its work before anything is read.
    std::string ini = Slurp(SystemIniPath());
    ini.insert(ini.find("vidc.abcd"), "vidc.wxyz=wxyz.dll\r\n");
    std::string hive = Slurp(SystemHivePath());
    hive.replace(hive.find("\"paired\"=\"1\""), 12, "\"paired\"=\"2\"");
    WriteFileAtomically(m.Root() / machine::kJournalFileName,
                        machine::JournalText({{"drive_c/windows/system.ini", ini}, {"system.reg", hive}}));
    WriteFileAtomically(SystemIniPath(), ini);
    {
        TTransaction t(TTransaction::Read);
        EXPECT_EQ(ReadValue("paired"), "2");
        EXPECT_EQ(ProfileValue("vidc.wxyz"), "wxyz.dll");
        t.Commit();
    }
    EXPECT_FALSE(fs::exists(m.Root() / machine::kJournalFileName));

    // A journal that is not whole (no end mark) is no change at all; it is
    // kept, and writes wait until it is dealt with.
    WriteFileAtomically(m.Root() / machine::kJournalFileName, "TARNEL JOURNAL 1\n1\nsystem.reg\n5\nbro");
    const std::string intact = Slurp(SystemHivePath());
    { TTransaction t(TTransaction::Read); }
    EXPECT_EQ(Slurp(SystemHivePath()), intact);
    EXPECT_TRUE(fs::exists(m.Root() / machine::kJournalFileName));
    EXPECT_THROW(WriteValue("paired", "3"), ERegistryException);
    EXPECT_EQ(Slurp(SystemHivePath()), intact);
}

TEST(Transaction, NothingIsWrittenWhileWineRunsOnThePrefix) {
    test::TempMachine m;
    WriteValue("v", "before");
    struct stat st {};
    ASSERT_EQ(::stat(m.Root().c_str(), &st), 0);
    char dir[128];
    std::snprintf(dir, sizeof dir, "/tmp/.wine-%u/server-%llx-%llx", unsigned(::getuid()),
                  (unsigned long long)st.st_dev, (unsigned long long)st.st_ino);
    fs::create_directories(dir);
    const std::string lock = std::string(dir) + "/lock";
    std::ofstream(lock).put('\n');
    // The server is another process holding a write lock on its lock file.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t server = fork();
    ASSERT_GE(server, 0);
    if (server == 0) {
        int fd = ::open(lock.c_str(), O_RDWR);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        ::fcntl(fd, F_SETLK, &fl);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    const std::string before = Slurp(SystemHivePath());
    try {
        WriteValue("v", "after");
        ADD_FAILURE() << "the write went through while Wine runs";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("wineserver -k"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(m.Root().string()), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadValue("v"), "before") << "reading still works";
    EXPECT_EQ(Slurp(SystemHivePath()), before);
    ::kill(server, SIGKILL);
    ::waitpid(server, nullptr, 0);
    fs::remove_all(dir);
    WriteValue("v", "after");
    EXPECT_EQ(ReadValue("v"), "after") << "once Wine has ended, writing works again";
}

TEST(Transaction, AWriterThatWaitedForTheLockFinishesTheChangeOfOneThatDied) {
    test::TempMachine m(TMachineFamily::Win9x);
    WriteValue("paired", "1");
    ForgetLoadedHives();
    // This process plays the writer that holds the lock, then dies half-way.
    int lock = ::open((m.Root() / ".tarnel.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The next writer: it looks for a journal, finds none, and waits.
        ::close(lock);  // the lock belongs to the parent alone
        SelectMachine(m.Root());
        TTransaction t;
        const bool whole = ReadValue("paired") == "2" && ProfileValue("vidc.wxyz") == "wxyz.dll";
        WriteValue("after", "1");
        t.Commit();
        _exit(whole ? 0 : 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::string ini = Slurp(SystemIniPath());
    const std::string section = "[drivers32]\r\n";
    ini.insert(ini.find(section) + section.size(), "vidc.wxyz=wxyz.dll\r\n");
    std::string hive = Slurp(SystemHivePath());
    hive.replace(hive.find("\"paired\"=\"1\""), 12, "\"paired\"=\"2\"");
    WriteFileAtomically(m.Root() / machine::kJournalFileName,
                        machine::JournalText({{"drive_c/windows/system.ini", ini}, {"system.reg", hive}}));
    WriteFileAtomically(SystemIniPath(), ini);
    ::close(lock);  // the death: the lock goes with the process
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the waiting writer read the half-done state";
    ForgetLoadedHives();
    EXPECT_EQ(ReadValue("paired"), "2");
    EXPECT_EQ(ReadValue("after"), "1");
    EXPECT_EQ(ProfileValue("vidc.wxyz"), "wxyz.dll");
    EXPECT_FALSE(fs::exists(m.Root() / machine::kJournalFileName));
}
