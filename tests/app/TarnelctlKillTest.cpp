// Codec commands killed at random moments lose no codec and double none;
// killed machine makers leave no machine or a whole one.
// On demo machines of both families, deactivations and activations of
// random codecs are killed with SIGKILL over and over; after every kill the
// next command must succeed (it finishes a save that was cut off), and both
// lists together must hold exactly the codecs (FOURCC and driver) they held
// at the start. Some kills land while a second command waits for the lock:
// that one must finish, with its own change intact.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <map>
#include <chrono>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "app/CtlRun.h"
#include "platform/api/Ansi.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/StoreFiles.h"
#include "support/Seed.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kKillsPerFamily = 500;
// A loaded machine (the whole suite runs in parallel) may not reach the full
// count in this time; the kills it did reach still count, down to a floor
// below which the run proved too little.
constexpr auto kTimeLimitPerFamily = std::chrono::seconds(150);
constexpr int kLeastKillsPerFamily = 100;

std::multiset<std::string> Codecs(const Listed& l) {
    std::multiset<std::string> codecs;
    for (const auto* rows : {&l.active, &l.inactive})
        // On a Wine prefix each codec also stays in (or goes back to) its store.
        for (const ListedRow& r : *rows)
            codecs.insert(platform::AsciiLowerCase(r.fourcc) + "=" + r.driver + (r.store.empty() ? "" : " " + r.store));
    return codecs;
}

bool Active(const Listed& l, const std::string& fourcc) {
    return std::any_of(l.active.begin(), l.active.end(), [&](const ListedRow& r) { return r.fourcc == fourcc; });
}

// Files a writer leaves only when it dies: temporaries of replaced files
// (".system.reg.<pid>.XXXXXX").
int Temporaries(const fs::path& root) {
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string name = e.path().filename().string();
        for (const char* file : {"system.reg", "user.reg", "system.ini", platform::machine::kJournalFileName})
            n += name.rfind("." + std::string(file) + ".", 0) == 0;
    }
    return n;
}

struct KillFigures {
    int kills = 0;          // commands ended by SIGKILL
    int finished = 0;       // commands that ended before their kill (exit 0 required)
    int journals = 0;       // kills that left a save half-done for the next command
    int temporaries = 0;    // kills that left a temporary file behind
    int raced = 0;          // kills while a second command waited for the lock
    double seconds = 0;
};

class KillTest : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Tarnelctl, KillTest, ::testing::Values("nt", "9x"));

// The demo machine as a Wine prefix with three codecs of SYSTEM.INI.
void MakeWinePrefix(const CtlMachine& m) {
    fs::create_directories(m.Root() / "dosdevices");
    std::string ini = platform::ReadWholeFile(m.SystemIni());
    const size_t at = ini.find("[drivers32]");
    ASSERT_NE(at, std::string::npos);
    ini.insert(ini.find('\n', at) + 1, "msacm.l3acm=l3codeca.acm\nvidc.mrle=rawview.dll\nvidc.msvc=rawview.dll\n"
                                       "vidc.cvid=rawview.dll\n; vidc.IV50=ir50_32.dll\n");
    platform::WriteFileAtomically(m.SystemIni(), ini);
}

}  // namespace

namespace {
// `kind`: "nt", "9x", or "wine", a machine Wine runs, whose codecs live in
// the registry and in SYSTEM.INI: moving one of SYSTEM.INI's changes both
// files at once.
void KillCommands(const std::string& kind) {
    const bool wine = kind == "wine";
    CtlMachine m(wine ? "nt" : kind);
    if (wine) ASSERT_NO_FATAL_FAILURE(MakeWinePrefix(m));
    // The Wine prefix's run is shorter: only its two-file saves are new.
    const int kills = wine ? 100 : kKillsPerFamily;
    std::mt19937 rng(TestSeed());
    auto list = [&]() {
        CtlResult r = CtlOn(m.Root(), {"list", "--json"});
        Listed l = ParseList(r.out);
        EXPECT_EQ(r.status, 0) << "the command after a kill failed: " << r.err;
        EXPECT_TRUE(l.ok) << r.out;
        return l;
    };
    const Listed start = list();
    const std::multiset<std::string> codecs = Codecs(start);
    ASSERT_EQ(codecs.size(), wine ? 19u : 16u);

    // The next command: deactivate a random active codec, or activate a
    // random inactive one (swapping out its twin if it has one in service).
    auto pick = [&](const Listed& l, bool deactivate, std::string& fourcc) -> std::vector<std::string> {
        if (deactivate && l.active.empty()) deactivate = false;
        if (!deactivate && l.inactive.empty()) deactivate = true;
        const auto& rows = deactivate ? l.active : l.inactive;
        const ListedRow& row = rows[std::uniform_int_distribution<size_t>(0, rows.size() - 1)(rng)];
        fourcc = row.fourcc;
        if (deactivate) return {"deactivate", row.fourcc};
        return {"activate", row.number};
    };

    // How long a command takes here, so that kills fall anywhere in it.
    std::vector<double> took;
    for (int i = 0; i < 10; ++i) {
        std::string f;
        const auto args = pick(list(), i % 2 == 0, f);
        const auto t0 = Clock::now();
        ASSERT_EQ(WaitFor(SpawnOn(m.Root(), args)), 0);
        took.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(took.begin(), took.end());
    // Follows the machine's pace: a command that ended before its kill makes
    // the next wait shorter, a kill makes it a little longer.
    double span = took[took.size() / 2];

    KillFigures fig;
    const auto began = Clock::now();
    // A family whose saves span two files goes on past its count (up to the
    // full one) until some kill has cut a save off half-way: only a Wine
    // prefix's SYSTEM.INI codecs make such saves, and not every run of a
    // hundred kills meets one.
    auto enough = [&] { return fig.kills >= kills && (kind == "nt" || fig.journals > 0); };
    for (int round = 0; !enough() && fig.kills < kKillsPerFamily && Clock::now() - began < kTimeLimitPerFamily;
         ++round) {
        const Listed before = list();
        ASSERT_EQ(Codecs(before), codecs) << "after round " << round;

        std::string fourcc;
        const auto args = pick(before, round % 2 == 0, fourcc);
        // Every fourth round a second command races the one to be killed: a
        // deactivation of another FOURCC, which nothing the first does undoes.
        std::string other;
        if (round % 4 == 3) {
            std::vector<std::string> others;
            for (const ListedRow& r : before.active)
                if (r.fourcc != fourcc) others.push_back(r.fourcc);
            if (!others.empty()) other = others[std::uniform_int_distribution<size_t>(0, others.size() - 1)(rng)];
        }
        const pid_t victim = SpawnOn(m.Root(), args);
        const pid_t racer = other.empty() ? -1 : SpawnOn(m.Root(), {"deactivate", other});
        // Half the kills anywhere in the run, half near its end, where the
        // files are replaced.
        std::uniform_real_distribution<double> anywhere(0, 1.2 * span), late(0.6 * span, 1.05 * span);
        const double delay = (round % 2 ? anywhere : late)(rng);
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        ::kill(victim, SIGKILL);
        bool killed = false;
        const int status = WaitFor(victim, &killed);
        span *= killed ? 1.02 : 0.95;
        if (killed) {
            ++fig.kills;
        } else {
            ++fig.finished;
            ASSERT_EQ(status, 0) << "a command that ran to its end failed: " << args[0] << " " << args[1];
        }
        if (racer > 0) {
            ASSERT_EQ(WaitFor(racer), 0) << "the command that waited for the lock failed in round " << round;
            fig.raced += killed;
            const Listed after = list();
            EXPECT_FALSE(Active(after, other)) << "the waiting command's deactivation of " << other << " was lost";
            continue;
        }
        if (killed) {
            fig.journals += fs::exists(m.Root() / platform::machine::kJournalFileName);
            fig.temporaries += Temporaries(m.Root()) > 0;
        }
    }
    fig.seconds = std::chrono::duration<double>(Clock::now() - began).count();
    EXPECT_GE(fig.kills, std::min(kLeastKillsPerFamily, kills / 2)) << "in " << fig.seconds << " s";

    const Listed end = list();
    EXPECT_EQ(Codecs(end), codecs);
    ASSERT_EQ(CtlOn(m.Root(), {"save"}).status, 0);
    EXPECT_EQ(Codecs(list()), codecs);
    EXPECT_FALSE(fs::exists(m.Root() / platform::machine::kJournalFileName));
    EXPECT_EQ(Temporaries(m.Root()), 0) << "a save removes what killed writers left";
    // A change of the 95/98/ME family, or of a SYSTEM.INI codec of a Wine
    // prefix, spans two files: some kills must have
    // cut one off half-way, or the recovery was never put to the test.
    if (kind != "nt") {
        EXPECT_GT(fig.journals, 0);
    }

    std::cout << "[ kills    ] " << kind << ": " << fig.kills << " killed (" << fig.raced
              << " while another command waited), " << fig.finished << " finished before the kill, "
              << fig.journals << " left a half-done save, " << fig.temporaries << " left a temporary file; "
              << "kills fell up to " << int(span * 1000 * 1.2) << " ms into a command; " << fig.seconds << " s\n";
    ::testing::Test::RecordProperty("kills", fig.kills);
    ::testing::Test::RecordProperty("half_done_saves", fig.journals);
}
}  // namespace

TEST_P(KillTest, KilledCommandsLoseNoCodecAndDoubleNone) { KillCommands(GetParam()); }

TEST(TarnelctlWinePrefix, KilledCommandsLoseNoCodecAndDoubleNone) { KillCommands("wine"); }

// An ensure is one change: killed anywhere, it leaves both lists as they
// were before it or as a run to its end leaves them (found by the same
// command on a copy of the machine), never anything in between.
TEST_P(KillTest, KilledEnsuresLeaveTheListsAsBeforeOrAsAfter) {
    CtlMachine m(GetParam());
    TempDir scratch;
    const fs::path copy = scratch.Path() / "copy";
    std::mt19937 rng(TestSeed());
    auto list = [](const fs::path& root) {
        CtlResult r = CtlOn(root, {"list", "--json"});
        EXPECT_EQ(r.status, 0) << "the command after a kill failed: " << r.err;
        Listed l = ParseList(r.out);
        EXPECT_TRUE(l.ok) << r.out;
        return l;
    };
    auto same = [](const Listed& a, const Listed& b) { return a.active == b.active && a.inactive == b.inactive; };
    // A state for a FOURCC of the machine's: its active or absent state
    // names a driver of one of its entries half the time. Removals thin the
    // lists out, so they come only while there is much to remove.
    auto pick = [&](const Listed& l) {
        std::vector<const ListedRow*> rows;
        for (const auto* list : {&l.active, &l.inactive})
            for (const ListedRow& r : *list) rows.push_back(&r);
        const ListedRow& row = *rows[std::uniform_int_distribution<size_t>(0, rows.size() - 1)(rng)];
        const int kind = std::uniform_int_distribution<int>(0, rows.size() > 10 ? 5 : 3)(rng);
        const char* state = kind < 2 ? "active" : kind < 4 ? "inactive" : "absent";
        std::vector<std::string> args = {"ensure", row.fourcc, "--state", state};
        if (kind % 2 == 0) args.insert(args.end(), {"--driver", row.driver});
        return args;
    };

    auto t0 = Clock::now();
    ASSERT_EQ(WaitFor(SpawnOn(m.Root(), {"ensure", "mjpg", "--state", "active", "--driver", "kwmjpeg.dll"})), 0);
    double span = std::chrono::duration<double>(Clock::now() - t0).count();
    int kills = 0, finished = 0, refused = 0, before = 0, after = 0;
    const auto began = Clock::now();
    for (int round = 0; kills < 50; ++round) {
        ASSERT_LT(Clock::now() - began, kTimeLimitPerFamily) << kills << " kills so far";
        const Listed start = list(m.Root());
        const std::vector<std::string> args = pick(start);
        // What the command does when it runs to its end.
        fs::remove_all(copy);
        fs::copy(m.Root(), copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        const int expectedStatus = CtlOn(copy, args).status;
        ASSERT_TRUE(expectedStatus == 0 || expectedStatus == 1);
        refused += expectedStatus == 1;
        const Listed expected = list(copy);

        const pid_t victim = SpawnOn(m.Root(), args);
        std::this_thread::sleep_for(
            std::chrono::duration<double>(std::uniform_real_distribution<double>(0, 1.2 * span)(rng)));
        ::kill(victim, SIGKILL);
        bool killed = false;
        const int status = WaitFor(victim, &killed);
        span *= killed ? 1.02 : 0.95;
        const Listed now = list(m.Root());
        const std::string what = "round " + std::to_string(round) + ": " + args[1] + " " + args[3] +
                                 (args.size() > 4 ? " " + args[5] : "");
        if (!killed) {
            ++finished;
            ASSERT_EQ(status, expectedStatus) << what;
            ASSERT_TRUE(same(now, expected)) << what;
            continue;
        }
        ++kills;
        ASSERT_TRUE(same(now, start) || same(now, expected)) << what << ": a change half made";
        before += same(now, start);
        after += same(now, expected) && !same(now, start);
    }
    // A change of the 95/98/ME family spans two files, so some kills fall
    // between its change and the command's end; on the NT family that window
    // is one rename wide, and the runs that finished show the state after.
    if (GetParam() == "9x") EXPECT_GT(after, 0) << "no kill fell after the change was made";
    EXPECT_GT(finished + after, 0) << "no command ran to its end";
    std::cout << "[ kills    ] ensures on " << GetParam() << ": " << kills << " killed (" << before
              << " left the lists as before, " << after << " as after), " << finished
              << " finished before the kill, " << refused << " states refused\n";
}

namespace {
// The driver list as the system reads it: every entry of Drivers32 (or of
// SYSTEM.INI's [drivers32]), names without regard to case, in order.
std::vector<std::string> DriverList(const fs::path& root, bool nt) {
    std::vector<std::string> out;
    std::string text = platform::ReadWholeFile(root / (nt ? "system.reg" : "drive_c/windows/system.ini"));
    if (nt) {
        const std::string head = "[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Drivers32]";
        size_t at = text.find(head);
        if (at == std::string::npos) return out;
        size_t end = text.find("\n[", at + 1);
        text = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    } else {
        size_t at = text.find("[drivers32]");
        size_t end = text.find("\n[", at + 1);
        text = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line[0] != '[' && line[0] != '#' && line[0] != '\r')
            out.push_back(platform::AsciiLowerCase(line.substr(0, line.find('='))) + line.substr(line.find('=')));
    return out;
}
}  // namespace

TEST_P(KillTest, KilledScansLeaveTheDriverListAsItWas) {
    CtlMachine m(GetParam());
    const bool nt = GetParam() == "nt";
    // A first scan writes the lists back the way every save writes them.
    ASSERT_EQ(CtlOn(m.Root(), {"scan", "i420"}).status, 0);
    const std::vector<std::string> driverList = DriverList(m.Root(), nt);
    ASSERT_GE(driverList.size(), 10u);
    const auto t0 = Clock::now();
    ASSERT_EQ(WaitFor(SpawnOn(m.Root(), {"scan", "i420"})), 0);
    double span = std::chrono::duration<double>(Clock::now() - t0).count();
    std::mt19937 rng(TestSeed());
    int kills = 0;
    const auto began = Clock::now();
    while (kills < 100) {
        ASSERT_LT(Clock::now() - began, kTimeLimitPerFamily);
        const pid_t victim = SpawnOn(m.Root(), {"scan", "i420"});
        std::this_thread::sleep_for(std::chrono::duration<double>(
            std::uniform_real_distribution<double>(0, 1.1 * span)(rng)));
        ::kill(victim, SIGKILL);
        bool killed = false;
        const int status = WaitFor(victim, &killed);
        span *= killed ? 1.02 : 0.95;
        if (!killed) {
            ASSERT_EQ(status, 0);
            continue;
        }
        ++kills;
        // The next command finishes a save that was cut off; no probe's
        // entry ever reached the store.
        ASSERT_EQ(CtlOn(m.Root(), {"list", "--json"}).status, 0);
        ASSERT_EQ(DriverList(m.Root(), nt), driverList) << "after kill " << kills;
    }
    std::cout << "[ kills    ] scans on " << GetParam() << ": " << kills << " killed\n";
}

namespace {
// Every file and folder below `root` with what it holds.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        out[fs::relative(e.path(), root).string()] = e.is_regular_file() ? platform::ReadWholeFile(e.path()) : "<dir>";
    return out;
}

// Drafts of machines being made, hidden beside them.
int Drafts(const fs::path& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder))
        n += e.path().filename().string().find(".draft.") != std::string::npos;
    return n;
}
}  // namespace

TEST_P(KillTest, KilledMachineMakersLeaveNoMachineOrAWholeOne) {
    TempDir dir;
    const fs::path reference = dir.Path() / "reference", target = dir.Path() / "machine";
    ASSERT_EQ(Ctl({"init", reference.string(), "--family", GetParam()}).status, 0);
    const auto whole = Tree(reference);
    const std::vector<std::string> init = {"init", target.string(), "--family", GetParam()};
    double span = 0;
    for (int i = 0; i < 5; ++i) {
        const auto t0 = Clock::now();
        ASSERT_EQ(WaitFor(SpawnOn(target, init)), 0);
        span += std::chrono::duration<double>(Clock::now() - t0).count() / 5;
        fs::remove_all(target);
    }

    std::mt19937 rng(TestSeed());
    int kills = 0, drafts = 0, finished = 0;
    const auto began = Clock::now();
    for (int round = 0; kills < 100; ++round) {
        ASSERT_LT(Clock::now() - began, kTimeLimitPerFamily) << kills << " kills so far";
        // Every other round the folder is there already, empty, as a first
        // start leaves the default folder before it makes the machine in it.
        if (round % 2) fs::create_directories(target);
        const pid_t victim = SpawnOn(target, init);
        std::this_thread::sleep_for(
            std::chrono::duration<double>(std::uniform_real_distribution<double>(0, 1.2 * span)(rng)));
        ::kill(victim, SIGKILL);
        bool killed = false;
        const int status = WaitFor(victim, &killed);
        span *= killed ? 1.02 : 0.95;
        if (!killed) {
            ASSERT_EQ(status, 0) << "a maker that ran to its end failed";
        }
        kills += killed;
        finished += !killed;
        if (fs::exists(target / "system.reg")) {
            ASSERT_TRUE(Tree(target) == whole) << "round " << round << ": a machine that is not whole";
            ASSERT_EQ(CtlOn(target, {"list"}).status, 0);
        } else {
            ASSERT_TRUE(!fs::exists(target) || fs::is_empty(target)) << "round " << round << ": half a machine";
            EXPECT_EQ(CtlOn(target, {"list"}).status, 1) << "no machine there, and one that says so";
        }
        drafts += killed && Drafts(dir.Path()) > 0;
        fs::remove_all(target);
    }
    // The next maker removes what the killed ones left, and makes a whole machine.
    ASSERT_EQ(Ctl(init).status, 0);
    EXPECT_EQ(Drafts(dir.Path()), 0);
    EXPECT_TRUE(Tree(target) == whole);
    std::cout << "[ kills    ] machine makers, " << GetParam() << ": " << kills << " killed, " << finished
              << " finished before the kill, " << drafts << " left a draft\n";
}

TEST_P(KillTest, TwoMachineMakersAtOnceMakeOneWholeMachine) {
    TempDir dir;
    const fs::path reference = dir.Path() / "reference", target = dir.Path() / "machine";
    ASSERT_EQ(Ctl({"init", reference.string(), "--family", GetParam()}).status, 0);
    const auto whole = Tree(reference);
    const std::vector<std::string> init = {"init", target.string(), "--family", GetParam()};
    for (int round = 0; round < 50; ++round) {
        const pid_t a = SpawnOn(target, init), b = SpawnOn(target, init);
        const int first = WaitFor(a), second = WaitFor(b);
        ASSERT_EQ(first + second, 1) << "round " << round << ": one makes the machine, the other is refused";
        ASSERT_TRUE(Tree(target) == whole) << "round " << round;
        ASSERT_EQ(Drafts(dir.Path()), 0);
        fs::remove_all(target);
    }
}

namespace {
// The store files of a machine with their contents.
std::map<std::string, std::string> StoreFiles(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const char* name : {"system.reg", "user.reg", "drive_c/windows/system.ini"})
        files[name] = platform::ReadWholeFile(root / name);
    return files;
}

void PutBack(const fs::path& root, const std::map<std::string, std::string>& files) {
    for (const auto& [name, content] : files) platform::WriteFileAtomically(root / name, content);
}
}  // namespace

// A save cut off half-way is finished by whichever command comes next; that
// command killed while it finishes it leaves it to the one after, and the
// outcome is the same whole save.
TEST_P(KillTest, KilledCommandsFinishingACutOffSaveLeaveItWholeForTheNext) {
    CtlMachine m(GetParam());
    const auto before = StoreFiles(m.Root());
    ASSERT_EQ(CtlOn(m.Root(), {"deactivate", "mjpg", "yuy2"}).status, 0);
    const auto after = StoreFiles(m.Root());
    const Listed whole = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    std::vector<std::pair<std::string, std::string>> journal(after.begin(), after.end());
    const std::string journalText = platform::machine::JournalText(journal);
    const fs::path journalFile = m.Root() / platform::machine::kJournalFileName;
    // The state a writer leaves when it dies after its journal and its first file.
    auto cutOff = [&] {
        PutBack(m.Root(), before);
        platform::WriteFileAtomically(journalFile, journalText);
        platform::WriteFileAtomically(m.Root() / journal.front().first, journal.front().second);
    };
    cutOff();
    auto t0 = Clock::now();
    ASSERT_EQ(WaitFor(SpawnOn(m.Root(), {"list", "--json"})), 0);
    double span = std::chrono::duration<double>(Clock::now() - t0).count();
    ASSERT_TRUE(StoreFiles(m.Root()) == after);

    std::mt19937 rng(TestSeed());
    int kills = 0, finishedBeforeKill = 0, leftForTheNext = 0;
    const auto began = Clock::now();
    for (int round = 0; kills < 100; ++round) {
        ASSERT_LT(Clock::now() - began, kTimeLimitPerFamily) << kills << " kills so far";
        cutOff();
        const pid_t victim = SpawnOn(m.Root(), {round % 2 ? "list" : "check"});
        std::this_thread::sleep_for(
            std::chrono::duration<double>(std::uniform_real_distribution<double>(0, 1.2 * span)(rng)));
        ::kill(victim, SIGKILL);
        bool killed = false;
        WaitFor(victim, &killed);
        span *= killed ? 1.02 : 0.95;
        if (!killed) {
            ++finishedBeforeKill;
            continue;
        }
        ++kills;
        leftForTheNext += fs::exists(journalFile);
        CtlResult r = CtlOn(m.Root(), {"list", "--json"});
        ASSERT_EQ(r.status, 0) << "round " << round << ": " << r.err;
        ASSERT_TRUE(r.err.empty()) << "round " << round << ": a whole journal is finished without a word: " << r.err;
        ASSERT_FALSE(fs::exists(journalFile)) << "round " << round;
        ASSERT_TRUE(StoreFiles(m.Root()) == after) << "round " << round;
        ASSERT_TRUE(ParseList(r.out).active == whole.active && ParseList(r.out).inactive == whole.inactive);
    }
    EXPECT_EQ(Temporaries(m.Root()), 0);
    std::cout << "[ kills    ] finishing a cut-off save, " << GetParam() << ": " << kills << " killed ("
              << leftForTheNext << " before it was done), " << finishedBeforeKill << " finished before the kill\n";
}

// Discarding a journal that fails its check, killed at any moment: the
// journal is there or gone, and the store files are untouched either way.
TEST_P(KillTest, KilledDiscardsLeaveTheJournalOrNoneAndTheStoreAsItWas) {
    CtlMachine m(GetParam());
    const auto store = StoreFiles(m.Root());
    const fs::path journalFile = m.Root() / platform::machine::kJournalFileName;
    std::string damaged = platform::machine::JournalText({{"system.reg", store.at("system.reg") + "\n"}});
    damaged[damaged.size() / 2] ^= 1;
    platform::WriteFileAtomically(journalFile, damaged);
    auto t0 = Clock::now();
    ASSERT_EQ(WaitFor(SpawnOn(m.Root(), {"discard-journal"})), 0);
    double span = std::chrono::duration<double>(Clock::now() - t0).count();
    ASSERT_FALSE(fs::exists(journalFile));

    std::mt19937 rng(TestSeed());
    int kills = 0, kept = 0;
    const auto began = Clock::now();
    while (kills < 100) {
        ASSERT_LT(Clock::now() - began, kTimeLimitPerFamily);
        platform::WriteFileAtomically(journalFile, damaged);
        const pid_t victim = SpawnOn(m.Root(), {"discard-journal"});
        std::this_thread::sleep_for(
            std::chrono::duration<double>(std::uniform_real_distribution<double>(0, 1.2 * span)(rng)));
        ::kill(victim, SIGKILL);
        bool killed = false;
        const int status = WaitFor(victim, &killed);
        span *= killed ? 1.02 : 0.95;
        ASSERT_TRUE(killed || status == 0);
        kills += killed;
        const bool there = fs::exists(journalFile);
        kept += killed && there;
        if (there) ASSERT_EQ(platform::ReadWholeFile(journalFile), damaged);
        ASSERT_TRUE(StoreFiles(m.Root()) == store);
        // Writes wait for the journal while it is there.
        if (there) ASSERT_EQ(CtlOn(m.Root(), {"save"}).status, 1);
        ASSERT_TRUE(StoreFiles(m.Root()) == store);
    }
    std::cout << "[ kills    ] discards of a damaged journal, " << GetParam() << ": " << kills << " killed, " << kept
              << " of them before it was gone\n";
}
