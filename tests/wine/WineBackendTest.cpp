// The wine backend on a live prefix: the choice of it, the same codec lists
// on every route to a prefix, changes that outlive Wine's server, and a
// bridge ended at any moment, in the middle of a save too.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "app/CtlRun.h"
#include "conformance/env/WineEnv.h"
#include "demo/DemoMachine.h"
#include "platform/api/Ansi.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/machine/Machine.h"
#include "platform/win32/Win32Backend.h"
#include "platform/wine/WineBackend.h"
#include "support/TempMachine.h"
#include "support/Seed.h"

namespace tarnel::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using Clock = std::chrono::steady_clock;

std::string Prefix() { return conformance::TestPrefix().string(); }

// What the shell needs to run Wine, or tarnelctl on Wine, on the prefix.
std::string OnPrefix() {
    return "WINEPREFIX=" + ShellQuote(Prefix()) + " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
}

CtlResult Shell(const std::string& command) {
    TempDir tmp;
    const std::string errFile = (tmp.Path() / "err").string();
    CtlResult r;
    FILE* p = popen((command + " 2>" + ShellQuote(errFile) + " </dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = ReadWholeFile(errFile);
    return r;
}

// The view the test bridge serves (a 64-bit prefix's native one), named on
// every command on the prefix: a command's own default is the 32-bit view.
std::string TestView() { return std::to_string(conformance::TestBridgeBits()); }

CtlResult OnWine(std::vector<std::string> args) {
    args.insert(args.begin(), {"--backend", "wine", "--view", TestView()});
    return Ctl(args, OnPrefix());
}

// Wine's server ends and writes its registry to the prefix's files.
void StopWine() { Shell(OnPrefix() + "wineserver -k; " + OnPrefix() + "wineserver -w"); }

struct Value {
    std::string name;
    uint32_t type;
    std::string data;
};

std::vector<Value> ValuesOf(RootKey root, const std::string& path) {
    TRegistry reg;
    reg.SetRootKey(root);
    std::vector<TRegistry::TValue> values;
    if (reg.OpenKeyReadOnly(path)) reg.GetValues(values);
    std::vector<Value> out;
    for (const auto& v : values) out.push_back({v.Name, v.Type, v.Data});
    return out;
}

// The prefix holds the demo machine's codecs: its driver files in the
// system folder, its driver list and its inactive store, nothing else of
// the program's.
class WinePrefixTest : public ::testing::Test {
protected:
    void SetUp() override {
        snapshot_.emplace();
        TempDir demo;
        const fs::path root = demo.Path() / "machine";
        CreateDemoMachine(root, TMachineFamily::NT);
        demo_ = ParseList(Ctl({"--machine", root.string(), "list", "--json"}).out);
        std::vector<Value> drivers, inactive;
        WithMachine(root, [&] {
            drivers = ValuesOf(kHkeyLocalMachine, kDrivers32KeyPath);
            inactive = ValuesOf(kHkeyLocalMachine, "SOFTWARE\\Halvorin\\Drivers.Inactive");
        });
        // The same drivers, built for the bridge's processor: the only kind
        // its codec manager loads.
        const int bits = conformance::TestBridgeBits();
        for (const auto& e : fs::directory_iterator(root / "drive_c/windows/system32")) {
            fs::path file = conformance::DemoFile(e.path().filename().string(), bits);
            if (!fs::exists(file)) file = e.path();
            fs::copy_file(file, conformance::PrefixSystemFolder(Prefix(), bits) / e.path().filename(),
                          fs::copy_options::overwrite_existing);
        }
        ASSERT_FALSE(drivers.empty());

        previous_ = UseBackend(conformance::StartBridge(Prefix()));
        TTransaction transaction;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.DeleteKey("\\SOFTWARE\\Halvorin");
        reg.SetRootKey(kHkeyCurrentUser);
        reg.DeleteKey("\\Software\\Halvorin");
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kDrivers32KeyPath, true));
        std::vector<std::string> names;
        reg.GetValueNames(names);
        for (const std::string& n : names) reg.DeleteValue(n);
        auto put = [&](const std::vector<Value>& values) {
            for (const Value& v : values)
                ASSERT_EQ(RegSetValueExA(reg.CurrentKey(), v.name.c_str(), v.type,
                                         reinterpret_cast<const uint8_t*>(v.data.data()), uint32_t(v.data.size())),
                          0);
        };
        put(drivers);
        ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive", true));
        put(inactive);
        reg.CloseKey();
        // Wine's own codecs of SYSTEM.INI, which the lists of a prefix show
        // after the registry's: out of the way (the snapshot puts them back).
        for (const std::string& key : conformance::SystemIniCodecKeys())
            WritePrivateProfileStringA("drivers32", key.c_str(), nullptr, "system.ini");
        transaction.Commit();
        UseBackend(std::move(previous_));
    }

    std::optional<conformance::TPrefixSnapshot> snapshot_;  // the prefix as it was, put back at the end
    std::unique_ptr<TPlatformBackend> previous_;
    Listed demo_;  // the demo machine's lists, as the emulation loads them
};

// Rows without regard to their order: Wine enumerates values sorted.
std::multiset<std::string> Rows(const std::vector<ListedRow>& rows) {
    std::multiset<std::string> out;
    for (const ListedRow& r : rows)
        out.insert(r.number + "|" + r.fourcc + "|" + r.driver + "|" + r.shortname + "|" + r.description + "|" +
                   r.version + "|" + r.type);
    return out;
}

std::multiset<std::string> Codecs(const Listed& l) {
    std::multiset<std::string> codecs;
    for (const auto* rows : {&l.active, &l.inactive})
        for (const ListedRow& r : *rows) codecs.insert(AsciiLowerCase(r.fourcc) + "=" + r.driver);
    return codecs;
}

TEST_F(WinePrefixTest, TheListsAreTheSameJsonOnEveryRoute) {
    // The Windows program (of the bridge's bitness, so it sees the prefix as
    // the bridge does) on Wine, the Linux program through the bridge, and
    // (once Wine has written its registry) the emulation of the files.
    const fs::path program = conformance::WindowsBuild(conformance::TestBridgeBits()) / "app/tarnelctl.exe";
    const CtlResult exe = Shell(OnPrefix() + "wine " + ShellQuote(program.string()) + " list --json");
    ASSERT_EQ(exe.status, 0) << exe.err;
    const CtlResult bridge = OnWine({"list", "--json"});
    ASSERT_EQ(bridge.status, 0) << bridge.err;
    EXPECT_EQ(bridge.out, exe.out);
    const Listed listed = ParseList(bridge.out);
    ASSERT_TRUE(listed.ok);
    ASSERT_TRUE(demo_.ok);
    EXPECT_EQ(Rows(listed.active), Rows(demo_.active)) << "the real drivers and version.dll answer as the emulation";
    EXPECT_EQ(Rows(listed.inactive), Rows(demo_.inactive));
    const auto lcmjpeg = std::find_if(listed.active.begin(), listed.active.end(),
                                      [](const ListedRow& r) { return r.fourcc == "mjpg"; });
    ASSERT_NE(lcmjpeg, listed.active.end());
    EXPECT_EQ(lcmjpeg->shortname, "LC Motion JPEG") << "asked of the real driver";
    EXPECT_EQ(lcmjpeg->version, "2.4.0.118") << "read by Wine's version.dll";

    StopWine();
    const CtlResult files = Ctl({"--backend", "machine", "--view", TestView(), "--machine", Prefix(), "list", "--json"});
    ASSERT_EQ(files.status, 0) << files.err;
    EXPECT_EQ(files.out, bridge.out);
}

TEST_F(WinePrefixTest, AChangeMadeWhileWineRunsOutlivesItsServer) {
    {
        // While Wine's server runs (it serves this bridge) the emulation
        // refuses to write the files, which the server would overwrite;
        // through the bridge the change goes to the server itself.
        auto bridge = conformance::StartBridge(Prefix());
        const CtlResult refused = Ctl({"--backend", "machine", "--view", TestView(), "--machine", Prefix(), "deactivate", "mjpg"});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("Wine is running on the prefix"), std::string::npos) << refused.err;
        const CtlResult done = OnWine({"deactivate", "mjpg"});
        ASSERT_EQ(done.status, 0) << done.err;
    }
    StopWine();
    const Listed after = ParseList(Ctl({"--backend", "machine", "--view", TestView(), "--machine", Prefix(), "list", "--json"}).out);
    ASSERT_TRUE(after.ok);
    auto lcmjpeg = [](const ListedRow& r) { return r.fourcc == "mjpg" && r.driver == "lcmjpeg.dll"; };
    EXPECT_TRUE(std::none_of(after.active.begin(), after.active.end(), lcmjpeg));
    EXPECT_TRUE(std::any_of(after.inactive.begin(), after.inactive.end(), lcmjpeg));
}

TEST_F(WinePrefixTest, AnEndedBridgeIsNamedAndItsCutOffChangeUndoneByTheNext) {
    auto bridge = conformance::StartBridge(Prefix());
    const pid_t pid = dynamic_cast<wine::TWineBackend&>(*bridge).BridgeProcess();
    auto previous = UseBackend(std::move(bridge));
    {
        TTransaction transaction;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kDrivers32KeyPath, false));
        reg.DeleteValue("vidc.mjpg");
        reg.WriteString("vidc.cut1", "cut.dll");
        ::kill(pid, SIGKILL);
        try {
            reg.WriteString("vidc.cut2", "cut.dll");
            ADD_FAILURE() << "a call to an ended bridge must fail";
        } catch (const EPlatformError& e) {
            EXPECT_NE(std::string(e.what()).find("The bridge to Wine on"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find("signal 9"), std::string::npos) << e.what();
        }
    }
    UseBackend(conformance::StartBridge(Prefix()));
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kDrivers32KeyPath));
    EXPECT_EQ(reg.ReadString("vidc.mjpg"), "lcmjpeg.dll") << "the deleted entry is back";
    EXPECT_FALSE(reg.ValueExists("vidc.cut1"));
    reg.CloseKey();
    UseBackend(std::move(previous));
}

// A 32-bit prefix needs Wine's 32-bit side. Without it tarnelctl says so,
// before Wine is started (Wine could not run the bridge, and would change
// the prefix on the way); with it, the 32-bit bridge serves the prefix. The
// test run's 64-bit prefix is served either way.
TEST(WineStart, A32BitPrefixIsServedOrTheMissing32BitWineIsNamed) {
    TempDir tmp;
    const fs::path prefix = tmp.Path() / "p32";
    if (!wine::WineRuns32Bit(wine::FindWine())) {
        // As a prefix made while 32-bit Wine was there looks.
        fs::create_directories(prefix / "dosdevices");
        fs::create_directories(prefix / "drive_c/windows/system32");
        const std::string reg = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n";
        std::ofstream(prefix / "system.reg", std::ios::binary) << reg;
        const CtlResult r = Ctl({"--backend", "wine", "--machine", prefix.string(), "list"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(wine::kNo32BitWine), std::string::npos) << r.err;
        EXPECT_EQ(ReadWholeFile(prefix / "system.reg"), reg);
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(prefix)) ++entries;
        EXPECT_EQ(entries, 5u) << "Wine added to the prefix";
    } else {
        ASSERT_EQ(Shell("bash " + ShellQuote(TARNEL_WINE_SCRIPT) + " make " + ShellQuote(prefix.string()) + " win32")
                      .status,
                  0);
        const CtlResult r = Ctl({"--backend", "wine", "--machine", prefix.string(), "list", "--json"});
        Shell("bash " + ShellQuote(TARNEL_WINE_SCRIPT) + " remove " + ShellQuote(prefix.string()) + " win32");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(ParseList(r.out).ok) << r.out;
    }
    if (wine::PrefixBits(Prefix()) == 64) {
        const CtlResult r = OnWine({"list", "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(ParseList(r.out).ok) << r.out;
    }
}

// tarnelctl on the prefix, started without waiting; its output goes nowhere.
pid_t SpawnOnWine(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TARNEL_TARNELCTL, "--backend", "wine", "--view", TestView()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"WINEPREFIX=" + Prefix(), "WINEDEBUG=-all"};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("WINEPREFIX=", 0) != 0 && std::string(*e).rfind("WINEDEBUG=", 0) != 0)
            env.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start tarnelctl");
    return pid;
}

// The bridge a command started: its one child, as soon as it has one.
pid_t BridgeOf(pid_t command) {
    const std::string children =
        "/proc/" + std::to_string(command) + "/task/" + std::to_string(command) + "/children";
    for (const auto until = Clock::now() + std::chrono::seconds(20); Clock::now() < until;) {
        std::ifstream in(children);
        pid_t child = 0;
        if (in >> child && child > 0) return child;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1;
}

// What a writer that died left for the next one, seen by Wine's own tool
// (a bridge would undo it as it starts).
bool JournalLeft() {
    return Shell(OnPrefix() + "wine reg query " + ShellQuote(std::string("HKCU\\") + win32::kJournalKeyPath)).status == 0;
}

// A bridge killed at a random moment of a real command (tarnelctl's
// deactivations and activations): both lists together keep every codec,
// once the next bridge has undone what the killed one left. (KillInSaveTest
// ends a bridge before each change of a save in turn.)
TEST_F(WinePrefixTest, BridgesKilledInTheMiddleOfASaveLeaveTheRegistryWhole) {
    constexpr int kKills = 12;
    const Listed start = ParseList(OnWine({"list", "--json"}).out);
    ASSERT_TRUE(start.ok);
    const std::multiset<std::string> codecs = Codecs(start);
    std::mt19937 rng(test::TestSeed());

    auto pick = [&](const Listed& l, bool deactivate) -> std::vector<std::string> {
        if (deactivate && l.active.empty()) deactivate = false;
        if (!deactivate && l.inactive.empty()) deactivate = true;
        const auto& rows = deactivate ? l.active : l.inactive;
        const ListedRow& row = rows[std::uniform_int_distribution<size_t>(0, rows.size() - 1)(rng)];
        if (deactivate) return {"deactivate", row.fourcc};
        return {"activate", row.number, "--answer", "yes"};
    };

    // How long a command runs after its bridge started, so that the kills
    // fall anywhere in it, and most near its end, in the save.
    std::vector<double> took;
    for (int i = 0; i < 3; ++i) {
        const pid_t ctl = SpawnOnWine(pick(ParseList(OnWine({"list", "--json"}).out), i % 2 == 0));
        ASSERT_GT(BridgeOf(ctl), 0);
        const auto t0 = Clock::now();
        ASSERT_EQ(WaitFor(ctl), 0);
        took.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::sort(took.begin(), took.end());
    double span = took[1];

    int kills = 0, halfDone = 0, finished = 0;
    for (int round = 0; kills < kKills; ++round) {
        ASSERT_LT(round, 4 * kKills) << "the commands keep ending before their kills";
        const Listed before = ParseList(OnWine({"list", "--json"}).out);
        ASSERT_TRUE(before.ok) << "round " << round;
        ASSERT_EQ(Codecs(before), codecs) << "a codec was lost or doubled before round " << round;
        const pid_t ctl = SpawnOnWine(pick(before, round % 2 == 0));
        const pid_t bridge = BridgeOf(ctl);
        ASSERT_GT(bridge, 0);
        // A third anywhere, the rest in the last quarter, where the save is.
        std::uniform_real_distribution<double> anywhere(0, span), late(0.75 * span, 1.0 * span);
        std::this_thread::sleep_for(std::chrono::duration<double>((round % 3 ? late : anywhere)(rng)));
        ::kill(bridge, SIGKILL);
        const int status = WaitFor(ctl);
        if (status == 0) {
            ++finished;
            span *= 0.9;
            continue;
        }
        ++kills;
        span *= 1.02;
        halfDone += JournalLeft();
    }
    const Listed end = ParseList(OnWine({"list", "--json"}).out);
    EXPECT_EQ(Codecs(end), codecs) << "after the last kill";
    EXPECT_FALSE(JournalLeft()) << "the bridge that listed them undid what the last kill left";

    // Wine's registry files, once its server wrote them, hold the same.
    StopWine();
    const CtlResult files = Ctl({"--backend", "machine", "--view", TestView(), "--machine", Prefix(), "list", "--json"});
    ASSERT_EQ(files.status, 0) << files.err;
    EXPECT_EQ(Codecs(ParseList(files.out)), codecs);
    std::cout << "[ kills    ] " << kills << " bridges killed (" << halfDone << " in a save), " << finished
              << " commands finished first; kills fell up to " << int(span * 1000) << " ms into a command\n";
}

}  // namespace
}  // namespace tarnel::test
