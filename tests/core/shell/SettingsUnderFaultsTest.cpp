// The settings writer (the seeding at start, the save at quit) under faults:
// killed at random moments, on a full disk and a read-only file system, with
// a read-only user.reg or machine folder, and beside another process saving
// at the same time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <random>
#include <thread>

#include "core/shell/uPrefs.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "support/Faults.h"
#include "support/TempMachine.h"
#include "support/Seed.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kNames[] = {cSizeEqually, cStayOnTop,  cAutoSwap,  cSavePositions,     cDisableDoubleClick,
                              cMainLeft,    cMainTop,    cMainHeight, cMainWidth, cActiveCodecHeight,
                              cProgramFont, cFontSize};

// The settings as user.reg holds them now, value by value.
std::string Stored() {
    ForgetLoadedHives();
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    if (!reg.OpenKeyReadOnly(cPreferencesKey)) return "(no key)";
    std::string out;
    for (const char* name : kNames) {
        if (!reg.ValueExists(name)) continue;
        out += std::string(name) + "=" +
               (name == cProgramFont ? reg.ReadString(name) : std::to_string(reg.ReadInteger(name))) + " ";
    }
    return out;
}

std::string Described(const TPreferences& p) {
    const int32_t values[] = {p.SizeEqually, p.StayOnTop,  p.AutoSwap,   p.SavePositions, p.DisableDoubleClick,
                              p.MainLeft,    p.MainTop,    p.MainHeight, p.MainWidth,     p.ActiveCodecHeight};
    std::string out;
    for (size_t i = 0; i < std::size(values); ++i) out += std::string(kNames[i]) + "=" + std::to_string(values[i]) + " ";
    return out + cProgramFont + "=" + p.ProgramFont + " " + cFontSize + "=" + std::to_string(p.FontSize) + " ";
}

// The settings of save number n: every value differs from those of n - 1.
struct Numbered {
    TPreferences prefs;
    TWindowBounds bounds;
    int32_t height;
    explicit Numbered(int n) {
        prefs.SizeEqually = n % 2;
        prefs.StayOnTop = n % 2 == 0;
        prefs.AutoSwap = n % 2;
        prefs.SavePositions = n % 2 == 0;
        prefs.DisableDoubleClick = n % 2;
        prefs.ProgramFont = "Font " + std::to_string(n);
        prefs.FontSize = 8 + n;
        bounds = {n, n + 1, n + 2, n + 3};
        height = n + 4;
    }
    void Save() { SaveSettings(prefs, bounds, height); }
    std::string Expected() const {
        TPreferences p = prefs;
        p.MainTop = bounds.Top;
        p.MainLeft = bounds.Left;
        p.MainHeight = bounds.Height;
        p.MainWidth = bounds.Width;
        p.ActiveCodecHeight = height;
        return Described(p);
    }
};

int Temporaries(const fs::path& root) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(root)) n += e.path().filename().string().rfind(".user.reg.", 0) == 0;
    return n;
}

// Runs `work` in a child process of its own (its own view of the machine,
// its own lock) and returns its pid.
pid_t Child(const fs::path& root, const std::function<void()>& work) {
    const pid_t pid = fork();
    if (pid == 0) {
        SelectMachine(root);
        try {
            work();
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    return pid;
}

bool Ends(pid_t pid, bool* killed = nullptr) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (killed) *killed = WIFSIGNALED(status);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(SettingsUnderFaults, KilledSeedingsAndSavesLeaveTheSettingsAsBeforeOrAsAfter) {
    test::TempMachine m;
    const std::string bare = ReadWholeFile(UserHivePath());
    const std::string seeded = Described(TPreferences{});
    auto seed = [] { LoadSettings(); };
    // How long one seeding and one save take here, so that kills fall anywhere in them.
    double span[2] = {0, 0};
    for (int i = 0; i < 10; ++i) {
        WriteFileAtomically(UserHivePath(), bare);
        auto t0 = Clock::now();
        ASSERT_TRUE(Ends(Child(m.Root(), seed)));
        span[0] += std::chrono::duration<double>(Clock::now() - t0).count() / 10;
        t0 = Clock::now();
        ASSERT_TRUE(Ends(Child(m.Root(), [i] { Numbered(i).Save(); })));
        span[1] += std::chrono::duration<double>(Clock::now() - t0).count() / 10;
    }

    std::mt19937 rng(test::TestSeed());
    int kills[2] = {0, 0}, finished = 0, leftTemporaries = 0;
    const auto began = Clock::now();
    for (int round = 0; kills[0] + kills[1] < 200; ++round) {
        ASSERT_LT(Clock::now() - began, std::chrono::seconds(120)) << kills[0] << " + " << kills[1] << " kills";
        const int kind = round % 2;  // 0: the seeding of a first start, 1: a save at quit
        std::string before, after;
        if (kind == 0) {
            WriteFileAtomically(UserHivePath(), bare);
            before = "(no key)";
            after = seeded;
        } else {
            LoadSettings();  // a save writes only the values a start has seeded
            before = Stored();
            after = Numbered(round).Expected();
        }
        const pid_t victim = kind == 0 ? Child(m.Root(), seed) : Child(m.Root(), [round] { Numbered(round).Save(); });
        std::this_thread::sleep_for(
            std::chrono::duration<double>(std::uniform_real_distribution<double>(0, 1.2 * span[kind])(rng)));
        kill(victim, SIGKILL);
        bool killed = false;
        const bool ok = Ends(victim, &killed);
        if (!killed) {
            ASSERT_TRUE(ok) << "a writer that ran to its end failed";
            ++finished;
        }
        kills[kind] += killed;
        span[kind] *= killed ? 1.02 : 0.95;
        // The file reads, and holds one of the two states, never a mixture.
        std::string now;
        ASSERT_NO_THROW(now = Stored()) << "after round " << round;
        ASSERT_TRUE(now == before || now == after) << "round " << round << ": " << now;
        leftTemporaries += killed && Temporaries(m.Root()) > 0;
    }
    LoadSettings();
    Numbered(1000).Save();
    EXPECT_EQ(Temporaries(m.Root()), 0) << "the next save removes what killed writers left";
    EXPECT_EQ(Stored(), Numbered(1000).Expected());
    std::cout << "[ kills    ] settings: " << kills[0] << " seedings and " << kills[1] << " saves killed, "
              << finished << " finished before the kill, " << leftTemporaries << " left a temporary file\n";
}

TEST(SettingsUnderFaults, TwoProcessesSavingAtOnceLoseNoChangeOfEachOther) {
    test::TempMachine m;
    LoadSettings();
    constexpr int kRounds = 200;
    // Each round reads the settings, moves the window one pixel and saves,
    // in one transaction: under the machine's lock no move of the other
    // process may be lost.
    auto mover = [] {
        for (int i = 0; i < kRounds; ++i) {
            TTransaction t;
            TPreferences p = LoadSettings();
            SaveSettings(p, {p.MainTop, p.MainLeft + 1, p.MainHeight, p.MainWidth}, p.ActiveCodecHeight);
            t.Commit();
        }
    };
    const pid_t a = Child(m.Root(), mover), b = Child(m.Root(), mover);
    EXPECT_TRUE(Ends(a));
    EXPECT_TRUE(Ends(b));
    ForgetLoadedHives();
    EXPECT_EQ(ReadSettings().MainLeft, 2 * kRounds);
}

TEST(SettingsUnderFaults, AFullDiskOrReadOnlyFileSystemKeepsTheSettingsAndSaysWhy) {
    test::SmallDisk disk(1 << 20);
    if (!disk.Ready()) GTEST_SKIP() << "no small disk: " << disk.Why();
    const fs::path root = disk.Path() / "machine";
    CreateBareMachine(root, TMachineFamily::NT);
    SelectMachine(root);
    { TTransaction lockMade(TTransaction::Read); }
    auto failure = [](const std::function<void()>& write) -> std::string {
        try {
            write();
        } catch (const ERegistryException& e) {
            return e.what();
        }
        return "(no error)";
    };
    const std::string bare = ReadWholeFile(UserHivePath());

    disk.Fill();
    std::string why = failure([] { LoadSettings(); });
    EXPECT_NE(why.find(UserHivePath().string()), std::string::npos) << why;
    EXPECT_NE(why.find(std::strerror(ENOSPC)), std::string::npos) << why;
    EXPECT_EQ(ReadWholeFile(UserHivePath()), bare);
    // The program goes on with what is stored (here nothing: the defaults).
    EXPECT_EQ(Described(ReadSettings()), Described(TPreferences{}));
    disk.Unfill();
    LoadSettings();
    Numbered(1).Save();

    disk.Fill();
    why = failure([] { Numbered(2).Save(); });
    EXPECT_NE(why.find(std::strerror(ENOSPC)), std::string::npos) << why;
    EXPECT_EQ(Stored(), Numbered(1).Expected());
    disk.Unfill();

    SelectMachine(root);  // the lock file is no longer open for writing
    disk.Remount("ro");
    why = failure([] { Numbered(2).Save(); });
    EXPECT_NE(why.find(UserHivePath().string()), std::string::npos) << why;
    EXPECT_NE(why.find(std::strerror(EROFS)), std::string::npos) << why;
    EXPECT_EQ(Stored(), Numbered(1).Expected());
    disk.Remount("rw");
    Numbered(2).Save();
    EXPECT_EQ(Stored(), Numbered(2).Expected());
    EXPECT_EQ(Temporaries(root), 0);
}

TEST(SettingsUnderFaults, AReadOnlyUserHiveOrFolderIsNeverWrittenAndTheReasonIsGiven) {
    test::TempDir dir;
    const fs::path root = dir.Path() / "machine";
    CreateBareMachine(root, TMachineFamily::NT);
    SelectMachine(root);
    LoadSettings();
    Numbered(1).Save();
    const std::string stored = ReadWholeFile(UserHivePath());
    test::HandToAnotherUser(root);

    // user.reg without write permission, in a folder that may be written.
    ASSERT_EQ(chmod(UserHivePath().c_str(), 0444), 0);
    test::ChildReport r = test::AsAnotherUser([&] {
        SelectMachine(root);
        try {
            Numbered(2).Save();
            return std::string("a read-only user.reg was written");
        } catch (const ERegistryException& e) {
            const std::string why = e.what();
            if (why.find(UserHivePath().string()) == std::string::npos) return "the file is not named: " + why;
            if (why.find(std::strerror(EACCES)) == std::string::npos) return "no reason given: " + why;
        }
        return Stored() == Numbered(1).Expected() ? std::string() : "the program cannot go on reading";
    });
    EXPECT_TRUE(r.exited && r.text.empty()) << r.text;
    EXPECT_EQ(ReadWholeFile(UserHivePath()), stored);

    // A folder that may not be written, with a user.reg that may.
    ASSERT_EQ(chmod(UserHivePath().c_str(), 0644), 0);
    ASSERT_EQ(chmod(root.c_str(), 0555), 0);
    r = test::AsAnotherUser([&] {
        SelectMachine(root);
        try {
            Numbered(2).Save();
            return std::string("a user.reg in a read-only folder was replaced");
        } catch (const ERegistryException& e) {
            const std::string why = e.what();
            if (why.find(UserHivePath().string()) == std::string::npos) return "the file is not named: " + why;
            if (why.find(std::strerror(EACCES)) == std::string::npos) return "no reason given: " + why;
        }
        return Stored() == Numbered(1).Expected() ? std::string() : "the program cannot go on reading";
    });
    chmod(root.c_str(), 0755);
    EXPECT_TRUE(r.exited && r.text.empty()) << r.text;
    EXPECT_EQ(ReadWholeFile(UserHivePath()), stored);
    EXPECT_EQ(Temporaries(root), 0);
}
