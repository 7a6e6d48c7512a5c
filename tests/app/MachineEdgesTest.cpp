// A machine folder is input: its journal, its links and its lock may have
// been crafted, and a command must not be steered by them into writing
// elsewhere, nor trust a journal that fails its check. Also who owns the
// files after root changed a user's machine, and what a command says while
// another program holds the machine.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "app/CtlRun.h"
#include "platform/machine/StoreFiles.h"
#include "support/Faults.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

fs::path JournalOf(const CtlMachine& m) { return m.Root() / platform::machine::kJournalFileName; }

// A journal whose body is taken as it is, sealed with the check sum a
// writer gives it: what a crafted journal looks like.
std::string Sealed(const std::string& body) {
    uint64_t h = 1469598103934665603ULL;
    for (unsigned char c : body) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char sum[17];
    std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(h));
    return "TARNEL JOURNAL 1\n" + body + "END " + sum + "\n";
}

// Every file of the machine but its lock, with its content: what a refused
// command must leave as it was.
std::map<std::string, std::string> Store(const fs::path& root) {
    std::map<std::string, std::string> c = Contents(root);
    c.erase((root / platform::machine::kLockFileName).string());
    return c;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

// The Number of the last inactive row of the FOURCC.
std::string InactiveNumber(const fs::path& root, const std::string& fourcc) {
    Listed l = ParseList(CtlOn(root, {"list", "--json"}).out);
    std::string number;
    for (const ListedRow& r : l.inactive)
        if (r.fourcc == fourcc) number = r.number;
    return number;
}

// A journal that fails its check: every command names it, reads show the
// store as it is, writes are refused naming the command that discards it,
// and after the discard writing works again.
void ExpectKeptAndRefused(const CtlMachine& m, const std::string& why) {
    SCOPED_TRACE(why);
    const auto store = Store(m.Root());
    CtlResult r = CtlOn(m.Root(), {"list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ParseList(r.out).ok) << r.out;
    EXPECT_TRUE(Has(r.err, JournalOf(m).string())) << r.err;
    r = CtlOn(m.Root(), {"deactivate", "mjpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, JournalOf(m).string()) && Has(r.err, "tarnelctl discard-journal")) << r.err;
    EXPECT_TRUE(Store(m.Root()) == store) << "a refused journal changed the machine";
    EXPECT_TRUE(fs::exists(fs::symlink_status(JournalOf(m)))) << "the journal was dropped";

    r = CtlOn(m.Root(), {"discard-journal"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "Discarded the journal '" + JournalOf(m).string() + "'")) << r.out;
    EXPECT_FALSE(fs::exists(fs::symlink_status(JournalOf(m))));
    EXPECT_EQ(CtlOn(m.Root(), {"deactivate", "mjpg"}).status, 0);
    EXPECT_EQ(CtlOn(m.Root(), {"activate", InactiveNumber(m.Root(), "mjpg")}).status, 0);
}

}  // namespace

TEST(MachineEdges, AJournalNamingFilesOutsideTheMachineWritesNothingThere) {
    CtlMachine m;
    TempDir outside;
    const fs::path victim = outside.Path() / "victim.txt", made = outside.Path() / "made.txt";
    std::ofstream(victim) << "original\n";
    // Wine's own link to the root of the computer.
    fs::create_directories(m.Root() / "dosdevices");
    fs::create_symlink("/", m.Root() / "dosdevices/z:");
    const std::string hive = platform::ReadWholeFile(m.SystemReg());
    platform::WriteFileAtomically(JournalOf(m), platform::machine::JournalText({
                                                    {"dosdevices/z:" + victim.string(), "overwritten\n"},
                                                    {"dosdevices/z:" + made.string(), "made\n"},
                                                    {"system.reg", hive + "\n"},
                                                }));
    ExpectKeptAndRefused(m, "names reached through dosdevices/z:");
    EXPECT_EQ(platform::ReadWholeFile(victim), "original\n");
    EXPECT_FALSE(fs::exists(made));
}

TEST(MachineEdges, AJournalMayNameOnlyTheStoreFilesASaveWrites) {
    CtlMachine m("9x");
    const std::string ini = platform::ReadWholeFile(m.SystemIni());
    fs::create_directories(m.Root() / "hives");
    fs::create_symlink("../system.reg", m.Root() / "hives/linked.reg");
    const std::vector<std::string> names = {
        "drive_c/windows/system/pbyuv.dll",  // a driver, which no save writes
        "drive_c",                           // a folder
        "drive_c/windows",                   // a folder, named like a store file's
        "hives/linked.reg",                  // a link
        "../outside.ini",
        "/tmp/absolute.ini",
        "drive_c/windows/./system.ini",
        "system.reg\nuser.reg",
    };
    for (const std::string& name : names) {
        platform::WriteFileAtomically(JournalOf(m), platform::machine::JournalText(
                                                        {{"drive_c/windows/system.ini", ini + "[more]\r\n"},
                                                         {name, "written\n"}}));
        ExpectKeptAndRefused(m, name);
    }
    // A store file that is a folder now cannot be finished either.
    fs::rename(m.SystemIni(), m.Root() / "saved.ini");
    fs::create_directory(m.SystemIni());
    platform::WriteFileAtomically(JournalOf(m),
                                  platform::machine::JournalText({{"drive_c/windows/system.ini", ini},
                                                                  {"system.reg", platform::ReadWholeFile(m.SystemReg())}}));
    CtlResult r = CtlOn(m.Root(), {"deactivate", "mjpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, JournalOf(m).string())) << r.err;
    fs::remove(m.SystemIni());
    fs::rename(m.Root() / "saved.ini", m.SystemIni());
}

TEST(MachineEdges, AJournalEntryWhoseSizeWouldWrapAroundIsRefused) {
    CtlMachine m;
    const std::string hive = platform::ReadWholeFile(m.SystemReg());
    const std::string user = platform::ReadWholeFile(m.Root() / "user.reg");
    for (const std::string& size : {"18446744073709551615", "18446744073709551616", "-1", "12abc", ""}) {
        const std::string body = "2\nsystem.reg\n" + std::to_string(hive.size()) + "\n" + hive + "\nuser.reg\n" +
                                 size + "\nWINE REGISTRY Version 2\n";
        platform::WriteFileAtomically(JournalOf(m), Sealed(body));
        ExpectKeptAndRefused(m, "size " + size);
        EXPECT_EQ(platform::ReadWholeFile(m.Root() / "user.reg"), user) << "size " << size;
    }
}

TEST(MachineEdges, ADamagedJournalIsKeptAndTheListsShowTheStoreAsItIs) {
    CtlMachine m("9x");
    // A save cut off after its first file: SYSTEM.INI has the new codec, the
    // journal that would finish it is damaged.
    std::string ini = platform::ReadWholeFile(m.SystemIni());
    const std::string section = "[drivers32]\r\n";
    ini.insert(ini.find(section) + section.size(), "vidc.wxyz=pbyuv.dll\r\n");
    std::string journal = platform::machine::JournalText(
        {{"drive_c/windows/system.ini", ini}, {"system.reg", platform::ReadWholeFile(m.SystemReg()) + "\n"}});
    journal[journal.size() / 2] ^= 0x20;
    platform::WriteFileAtomically(JournalOf(m), journal);
    platform::WriteFileAtomically(m.SystemIni(), ini);

    CtlResult r = CtlOn(m.Root(), {"list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "check sum")) << r.err;
    const Listed l = ParseList(r.out);
    EXPECT_TRUE(std::any_of(l.active.begin(), l.active.end(), [](const ListedRow& row) { return row.fourcc == "wxyz"; }))
        << "the lists show what the store holds";
    ExpectKeptAndRefused(m, "a damaged check sum");
}

TEST(MachineEdges, AReaderWhoCannotWriteIsToldOfAPendingSaveAndSeesItsOutcome) {
    CtlMachine m("9x");
    std::string ini = platform::ReadWholeFile(m.SystemIni());
    const std::string section = "[drivers32]\r\n";
    ini.insert(ini.find(section) + section.size(), "vidc.wxyz=pbyuv.dll\r\n");
    platform::WriteFileAtomically(JournalOf(m), platform::machine::JournalText({{"drive_c/windows/system.ini", ini},
                                                                              {"system.reg", platform::ReadWholeFile(m.SystemReg())}}));
    const auto store = Store(m.Root());
    HandToAnotherUser(m.Root());
    ASSERT_EQ(chmod(m.Root().c_str(), 0555), 0);
    CtlResult r = CtlOn(m.Root(), {"list", "--json"}, AnotherUserPrefix());
    ASSERT_EQ(chmod(m.Root().c_str(), 0755), 0);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "pending") && Has(r.err, JournalOf(m).string())) << r.err;
    const Listed l = ParseList(r.out);
    EXPECT_TRUE(std::any_of(l.active.begin(), l.active.end(), [](const ListedRow& row) { return row.fourcc == "wxyz"; }))
        << "the lists as they will be once the save is finished";
    EXPECT_TRUE(Store(m.Root()) == store);
    // Whoever may write finishes it.
    EXPECT_EQ(CtlOn(m.Root(), {"list"}).status, 0);
    EXPECT_FALSE(fs::exists(JournalOf(m)));
    EXPECT_EQ(platform::ReadWholeFile(m.SystemIni()), ini);
}

TEST(MachineEdges, AWindowsFolderLinkedOutsideIsNeverWritten) {
    CtlMachine m("9x");
    TempDir outside;
    fs::rename(m.Root() / "drive_c/windows", outside.Path() / "windows");
    fs::create_symlink(outside.Path() / "windows", m.Root() / "drive_c/windows");
    const fs::path outsideIni = outside.Path() / "windows/system.ini";
    std::string text;
    for (int i = 0; i < 30; ++i) text += "setting" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
    platform::WriteFileAtomically(outsideIni, "[other program]\r\n" + text);
    const Listed before = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    ASSERT_FALSE(before.inactive.empty());
    for (int round = 0; round < 2; ++round) {
        CtlResult r = CtlOn(m.Root(), {"activate", before.inactive.front().number});
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Has(r.err, (m.Root() / "drive_c/windows/system.ini").string()) && Has(r.err, "outside")) << r.err;
    }
    EXPECT_EQ(platform::ReadWholeFile(outsideIni), "[other program]\r\n" + text);
    const Listed after = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    EXPECT_TRUE(after.inactive == before.inactive && after.active == before.active) << "a codec was lost";
}

TEST(MachineEdges, ASystemHiveLinkedOutsideIsNeitherReadNorReplaced) {
    CtlMachine m;
    TempDir outside;
    const fs::path real = outside.Path() / "system.reg";
    fs::rename(m.SystemReg(), real);
    fs::create_symlink(real, m.SystemReg());
    const std::string hive = platform::ReadWholeFile(real);
    for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"deactivate", "mjpg"}}) {
        CtlResult r = CtlOn(m.Root(), command);
        EXPECT_EQ(r.status, 1) << command[0];
        EXPECT_TRUE(Has(r.err, m.SystemReg().string()) && Has(r.err, "outside")) << r.err;
    }
    EXPECT_TRUE(fs::is_symlink(m.SystemReg()));
    EXPECT_EQ(platform::ReadWholeFile(real), hive);
}

TEST(MachineEdges, AStoreFileLinkedInsideTheMachineIsWrittenWhereItLeads) {
    CtlMachine m;
    fs::create_directories(m.Root() / "hives");
    fs::rename(m.SystemReg(), m.Root() / "hives/system.reg");
    fs::create_symlink("hives/system.reg", m.SystemReg());
    ASSERT_EQ(CtlOn(m.Root(), {"deactivate", "mjpg"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(m.SystemReg())) << "the link was replaced by a file";
    const Listed l = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    EXPECT_TRUE(std::none_of(l.active.begin(), l.active.end(), [](const ListedRow& r) { return r.fourcc == "mjpg"; }));
}

TEST(MachineEdges, ALockThatIsALinkIsRefusedAndNothingIsMadeWhereItLeads) {
    CtlMachine m;
    TempDir outside;
    const fs::path target = outside.Path() / "made-by-the-lock";
    fs::remove(m.Root() / platform::machine::kLockFileName);
    fs::create_symlink(target, m.Root() / platform::machine::kLockFileName);
    for (const std::vector<std::string>& command : {std::vector<std::string>{"list"}, {"deactivate", "mjpg"}}) {
        CtlResult r = CtlOn(m.Root(), command);
        EXPECT_EQ(r.status, 1) << command[0];
        EXPECT_TRUE(Has(r.err, (m.Root() / platform::machine::kLockFileName).string())) << r.err;
    }
    EXPECT_FALSE(fs::exists(target));
}

// Root changing a user's machine: the files stay the user's, and the user
// goes on changing it afterwards.
TEST(MachineEdges, AReplacedStoreFileKeepsItsOwnerGroupAndMode) {
    if (geteuid() != 0) GTEST_SKIP() << "only root can change the machine of another user";
    for (const std::string family : {"nt", "9x"}) {
        SCOPED_TRACE(family);
        CtlMachine m(family);
        HandToAnotherUser(m.Root());
        const fs::path files[] = {m.SystemReg(), m.SystemIni()};
        ASSERT_EQ(chmod(m.SystemReg().c_str(), 0664), 0);
        struct stat before[2] {};
        for (int i = 0; i < 2; ++i) ASSERT_EQ(stat(files[i].c_str(), &before[i]), 0);
        ASSERT_NE(before[0].st_uid, 0u);
        ASSERT_EQ(CtlOn(m.Root(), {"deactivate", "mjpg"}).status, 0);
        for (int i = 0; i < 2; ++i) {
            struct stat after {};
            ASSERT_EQ(stat(files[i].c_str(), &after), 0);
            EXPECT_EQ(after.st_uid, before[i].st_uid) << files[i];
            EXPECT_EQ(after.st_gid, before[i].st_gid) << files[i];
            EXPECT_EQ(after.st_mode, before[i].st_mode) << files[i];
        }
        CtlResult r = CtlOn(m.Root(), {"activate", InactiveNumber(m.Root(), "mjpg")}, AnotherUserPrefix());
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

TEST(MachineEdges, ACommandThatWaitsForTheMachineSaysSoAndGivesUpAtItsLimit) {
    CtlMachine m;
    const fs::path lockFile = m.Root() / platform::machine::kLockFileName;
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const auto store = Store(m.Root());
    const std::string waiting = "waiting for another program to finish with the machine...";
    // A hang is killed: the old wait had no end.
    const std::string limit = "timeout -s KILL 30 ";
    auto t0 = Clock::now();
    CtlResult r = CtlOn(m.Root(), {"--wait", "1", "deactivate", "mjpg"}, limit);
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(20));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Count(r.err, waiting), 1u) << r.err;
    EXPECT_TRUE(Has(r.err, "process " + std::to_string(::getpid()))) << "who holds it: " << r.err;
    EXPECT_TRUE(Has(r.err, "Gave up after 1 s")) << r.err;
    EXPECT_TRUE(Store(m.Root()) == store);

    // Let go of it while the command waits: it goes on and does its work.
    std::thread release([lock] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        ::flock(lock, LOCK_UN);
    });
    r = CtlOn(m.Root(), {"deactivate", "mjpg"}, limit);
    release.join();
    ::close(lock);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.err, waiting), 1u) << r.err;
    EXPECT_EQ(CtlOn(m.Root(), {"--wait", "x", "list"}).status, 2);
}

TEST(MachineEdges, InitSaysWhatIsWrongWithTheFolderItIsGiven) {
    TempDir dir;
    const fs::path file = dir.Path() / "file";
    std::ofstream(file) << "x";
    CtlResult r = Ctl({"init", file.string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "is a file")) << r.err;
    EXPECT_FALSE(Has(r.err, "not empty")) << r.err;

    r = Ctl({"init", ""});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(Has(r.err, "a folder name is needed")) << r.err;
    EXPECT_FALSE(Has(r.err, "parent")) << r.err;

    // A link to an empty folder is followed: the machine is made where it leads.
    fs::create_directory(dir.Path() / "empty");
    fs::create_directory_symlink("empty", dir.Path() / "link");
    r = Ctl({"init", (dir.Path() / "link").string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "link"));
    EXPECT_TRUE(fs::exists(dir.Path() / "empty/system.reg"));
    EXPECT_EQ(CtlOn(dir.Path() / "link", {"list"}).status, 0);
    // A link to a file or to nothing says so.
    fs::create_symlink("file", dir.Path() / "filelink");
    r = Ctl({"init", (dir.Path() / "filelink").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "is a file")) << r.err;
}

namespace {
// Runs tarnelctl to its end; its exit status and the most memory it held (KiB).
std::pair<int, long> Measured(const std::vector<std::string>& args) {
    std::vector<std::string> all = {TARNEL_TARNELCTL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return {-1, 0};
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

// A 95/98/ME machine with the file `scanme.dll` (a driver without a
// self-description, which answers every FOURCC) registered as vidc.scan.
struct ScanMachine {
    CtlMachine m{"9x"};
    fs::path driver = m.Root() / "drive_c/windows/system/scanme.dll";
    explicit ScanMachine(const std::string& contents) {
        platform::WriteFileAtomically(driver, contents);
        std::string ini = platform::ReadWholeFile(m.SystemIni());
        const std::string section = "[drivers32]\r\n";
        ini.insert(ini.find(section) + section.size(), "vidc.scan=scanme.dll\r\n");
        platform::WriteFileAtomically(m.SystemIni(), ini);
    }
    std::vector<std::string> Found() const {
        CtlResult r = CtlOn(m.Root(), {"scan", "scan", "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::string> found;
        for (size_t at = r.out.find("\"fourcc\": \""); at != std::string::npos; at = r.out.find("\"fourcc\": \"", at + 1))
            found.push_back(r.out.substr(at + 11, 4));
        return found;
    }
};
}  // namespace

TEST(MachineEdges, AScanWalksAHugeDriverInWindowsThatKeepMemorySmall) {
    ScanMachine s(platform::ReadWholeFile(PeFixture("version32.dll")) + "=abcd");
    const std::vector<std::string> before = s.Found();
    ASSERT_FALSE(before.empty());
    // The same driver grown to 1 GiB with nothing on disk, and one more
    // FOURCC at its very end.
    ASSERT_EQ(truncate(s.driver.c_str(), 1ll << 30), 0);
    std::ofstream(s.driver, std::ios::app | std::ios::binary) << "=zyxw";
    const auto [status, kib] = Measured({"--machine", s.m.Root().string(), "scan", "scan", "--json"});
    EXPECT_EQ(status, 0);
    EXPECT_LT(kib, 256 * 1024) << "KiB held while scanning a 1 GiB driver";
    std::vector<std::string> after = before;
    after.push_back("zyxw");
    EXPECT_EQ(s.Found(), after);
}

TEST(MachineEdges, FourccsAcrossTheEdgesOfTheScansWindowsAreFound) {
    // A marker one to five bytes before every mebibyte boundary up to
    // 64 MiB, whatever size the windows have: the FOURCC after it lies
    // across the edge or right at it. A marker in the file's last four bytes
    // gives nothing.
    std::string contents = platform::ReadWholeFile(PeFixture("version32.dll"));
    contents.resize(64u << 20, '\0');
    std::vector<std::string> expected;
    for (size_t k = 1; k < 64; ++k) {
        char fourcc[5];
        std::snprintf(fourcc, sizeof fourcc, "e%03zu", k);
        const size_t at = (k << 20) - 1 - k % 5;
        contents[at] = '=';
        std::memcpy(&contents[at + 1], fourcc, 4);
        expected.push_back(fourcc);
    }
    contents.replace(contents.size() - 3, 3, "=ab");
    ScanMachine s(contents);
    const std::vector<std::string> found = s.Found();
    for (const std::string& f : expected)
        EXPECT_NE(std::find(found.begin(), found.end(), f), found.end()) << f << " was not found";
}
