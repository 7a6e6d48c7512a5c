// The wine backend's start, without Wine: which bridge serves which prefix,
// and what a start that cannot work says. A stand-in `wine` (a script)
// shows whether Wine was started at all, and answers as Wine does when its
// program cannot start.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/api/Backend.h"
#include "platform/wine/WineBackend.h"
#include "support/TempMachine.h"

namespace tarnel::test {
namespace {

namespace fs = std::filesystem;
using namespace platform::wine;

void Write(const fs::path& file, const std::string& text, bool executable = false) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    if (executable) fs::permissions(file, fs::perms::owner_all, fs::perm_options::add);
}

// A folder in a Wine prefix's shape: dosdevices and a system.reg whose head
// carries `note` (as Wine writes "#arch=win64").
fs::path MakePrefix(const fs::path& at, const std::string& note) {
    fs::create_directories(at / "dosdevices");
    fs::create_directories(at / "drive_c/windows/system32");
    Write(at / "system.reg", "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n" + note + "\n");
    return at;
}

// The variable set for one test, and as it was afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* v = std::getenv(name)) saved_ = v;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (saved_) setenv(name_, saved_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

std::string StartError(const fs::path& prefix, const std::string& wine, const fs::path& bridge = {}) {
    try {
        TWineBackend backend(prefix, bridge, wine);
        return "(it started)";
    } catch (const platform::EPlatformError& e) {
        return e.what();
    }
}

TEST(WinePrefixBits, TheArchitectureNoteDecidesElseSyswow64) {
    TempDir tmp;
    EXPECT_EQ(PrefixBits(MakePrefix(tmp.Path() / "a", "#arch=win64")), 64);
    EXPECT_EQ(PrefixBits(MakePrefix(tmp.Path() / "b", "#arch=win32")), 32);
    const fs::path old = MakePrefix(tmp.Path() / "c", "");
    EXPECT_EQ(PrefixBits(old), 32);
    fs::create_directories(old / "drive_c/windows/syswow64");
    EXPECT_EQ(PrefixBits(old), 64) << "a prefix older than the note: its 32-bit folder";
    const fs::path noted32 = MakePrefix(tmp.Path() / "d", "#arch=win32");
    fs::create_directories(noted32 / "drive_c/windows/syswow64");
    EXPECT_EQ(PrefixBits(noted32), 32) << "the note wins";
    const fs::path crlf = tmp.Path() / "e";
    MakePrefix(crlf, "");
    Write(crlf / "system.reg", "WINE REGISTRY Version 2\r\n\r\n#arch=win64\r\n");
    EXPECT_EQ(PrefixBits(crlf), 64);
    // The file is the prefix's: only its head is read.
    const fs::path late = tmp.Path() / "f";
    MakePrefix(late, "");
    Write(late / "system.reg", "WINE REGISTRY Version 2\n" + std::string(8192, ';') + "\n#arch=win64\n");
    EXPECT_EQ(PrefixBits(late), 32);
}

TEST(WineProgramBits, ThePeHeaderNamesTheProcessor) {
    EXPECT_EQ(ProgramBits(PeFixture("version32.dll")), 32);
    EXPECT_EQ(ProgramBits(PeFixture("version64.dll")), 64);
    TempDir tmp;
    Write(tmp.Path() / "text.exe", "this is not a program");
    EXPECT_EQ(ProgramBits(tmp.Path() / "text.exe"), 0);
    EXPECT_EQ(ProgramBits(tmp.Path() / "missing.exe"), 0);
    // A header pointing past the file's end, and one of another processor.
    std::ifstream in(PeFixture("version32.dll"), std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), {});
    std::string cut = image.substr(0, 64);
    cut[60] = '\x7F';
    Write(tmp.Path() / "cut.exe", cut);
    EXPECT_EQ(ProgramBits(tmp.Path() / "cut.exe"), 0);
    const uint32_t at = uint8_t(image[60]) | uint8_t(image[61]) << 8;
    image[at + 4] = '\xC4';  // 0x01C4: ARM
    image[at + 5] = '\x01';
    Write(tmp.Path() / "arm.exe", image);
    EXPECT_EQ(ProgramBits(tmp.Path() / "arm.exe"), 0);
}

// A 64-bit prefix is served by the 64-bit bridge whether or not Wine has
// its 32-bit side; a 32-bit prefix only by the 32-bit bridge, and only
// where 32-bit programs run. Nothing switches silently to another view.
TEST(WineBridgeChoice, TheBridgeFitsThePrefix) {
    const fs::path prefix = "/p";
    const TBridgeFiles both{{}, 0, "/b/tarnel-bridge.exe", "/b/tarnel-bridge64.exe"};
    const TBridgeFiles only32{{}, 0, "/b/tarnel-bridge.exe", {}};
    const TBridgeFiles only64{{}, 0, {}, "/b/tarnel-bridge64.exe"};

    for (bool wine32 : {false, true}) {
        SCOPED_TRACE(wine32 ? "with 32-bit Wine" : "without 32-bit Wine");
        TBridgeChoice c = ChooseBridge(prefix, 64, both, wine32);
        EXPECT_EQ(c.Bridge, "/b/tarnel-bridge64.exe");
        EXPECT_EQ(c.Bits, 64);
        EXPECT_EQ(c.Refusal, "");
        c = ChooseBridge(prefix, 64, only32, wine32);
        EXPECT_EQ(c.Bridge, "");
        EXPECT_NE(c.Refusal.find("needs its 64-bit bridge tarnel-bridge64.exe for the 64-bit prefix '/p'"),
                  std::string::npos)
            << c.Refusal;
    }
    TBridgeChoice c = ChooseBridge(prefix, 32, both, true);
    EXPECT_EQ(c.Bridge, "/b/tarnel-bridge.exe");
    EXPECT_EQ(c.Bits, 32);
    c = ChooseBridge(prefix, 32, both, false);
    EXPECT_EQ(c.Bridge, "");
    EXPECT_EQ(c.Refusal.rfind(kNo32BitWine, 0), 0u) << c.Refusal;
    EXPECT_NE(c.Refusal.find("'/p' is a 32-bit one"), std::string::npos) << c.Refusal;
    c = ChooseBridge(prefix, 32, only64, true);
    EXPECT_NE(c.Refusal.find("needs its 32-bit bridge tarnel-bridge.exe for the 32-bit prefix '/p'"),
              std::string::npos)
        << c.Refusal;
}

TEST(WineBridgeChoice, ANamedBridgeIsUsedAsNamedUnlessItCannotRun) {
    const fs::path prefix = "/p";
    TBridgeFiles named32{"/n/bridge.exe", 32, {}, "/b/tarnel-bridge64.exe"};
    TBridgeChoice c = ChooseBridge(prefix, 64, named32, true);
    EXPECT_EQ(c.Bridge, "/n/bridge.exe") << "32-bit programs run: the 32-bit view, as asked";
    EXPECT_EQ(c.Bits, 32);
    c = ChooseBridge(prefix, 64, named32, false);
    EXPECT_EQ(c.Bridge, "/b/tarnel-bridge64.exe") << "a 64-bit bridge can serve the prefix";
    EXPECT_EQ(c.Bits, 64);
    named32.Bits64.clear();
    c = ChooseBridge(prefix, 64, named32, false);
    EXPECT_EQ(c.Refusal, std::string(kNo32BitWine) +
                             ", so the 32-bit bridge '/n/bridge.exe' ($TARNEL_BRIDGE) cannot start");
    c = ChooseBridge(prefix, 32, named32, false);
    EXPECT_EQ(c.Refusal.rfind(kNo32BitWine, 0), 0u) << c.Refusal;

    const TBridgeFiles named64{"/n/bridge64.exe", 64, "/b/tarnel-bridge.exe", {}};
    c = ChooseBridge(prefix, 64, named64, false);
    EXPECT_EQ(c.Bridge, "/n/bridge64.exe");
    c = ChooseBridge(prefix, 32, named64, true);
    EXPECT_EQ(c.Refusal, "The bridge '/n/bridge64.exe' ($TARNEL_BRIDGE) is a 64-bit program (the prefix '/p' is a "
                         "32-bit one, which only a 32-bit bridge serves)");

    const TBridgeFiles missing{"/nowhere/bridge.exe", 0, "/b/tarnel-bridge.exe", "/b/tarnel-bridge64.exe"};
    EXPECT_EQ(ChooseBridge(prefix, 64, missing, true).Refusal,
              "The bridge '/nowhere/bridge.exe' ($TARNEL_BRIDGE) does not exist");
    const TBridgeFiles text{"/etc/hostname", 0, {}, {}};
    EXPECT_EQ(ChooseBridge(prefix, 64, text, true).Refusal,
              "The bridge '/etc/hostname' ($TARNEL_BRIDGE) is not a Windows program");
}

// Debian's launcher runs its 32-bit loader when wine32:i386 put it there;
// a Wine built from source has its 32-bit side in i386-windows.
TEST(WineRuns32Bit, TheLoaderOrThe32BitLibrariesAreThere) {
    TempDir tmp;
    const fs::path debian = tmp.Path() / "debian";
    Write(debian / "bin/wine", "#!/bin/sh\n", true);
    Write(debian / "lib/wine/wine64", "", true);
    EXPECT_FALSE(WineRuns32Bit((debian / "bin/wine").string()));
    // The 32-bit Windows libraries alone do not start a 32-bit program there.
    Write(debian / "lib/i386-linux-gnu/wine/i386-windows/ntdll.dll", "");
    EXPECT_FALSE(WineRuns32Bit((debian / "bin/wine").string()));
    Write(debian / "lib/wine/wine", "", true);
    EXPECT_TRUE(WineRuns32Bit((debian / "bin/wine").string()));

    const fs::path built = tmp.Path() / "built";
    Write(built / "bin/wine", "", true);
    Write(built / "lib/wine/x86_64-windows/ntdll.dll", "");
    EXPECT_FALSE(WineRuns32Bit((built / "bin/wine").string()));
    Write(built / "lib/wine/i386-windows/ntdll.dll", "");
    EXPECT_TRUE(WineRuns32Bit((built / "bin/wine").string()));
    EXPECT_FALSE(WineRuns32Bit(""));
}

// A stand-in Debian Wine with its 64-bit side only. Started, it notes that
// it ran, then does what `script` says.
fs::path FakeWine(const fs::path& root, const std::string& script) {
    Write(root / "lib/wine/wine64", "", true);
    Write(root / "bin/wine", "#!/bin/sh\ntouch \"" + (root / "ran").string() + "\"\n" + script + "\n", true);
    return root / "bin/wine";
}

TEST(WineBackendStart, WhatCannotWorkIsNamedBeforeWineIsStarted) {
    TempDir tmp;
    ScopedEnv noBridge("TARNEL_BRIDGE", nullptr);
    const fs::path wine = FakeWine(tmp.Path() / "wine", "exit 0");
    const fs::path ran = tmp.Path() / "wine/ran";

    EXPECT_EQ(StartError(MakePrefix(tmp.Path() / "p64", "#arch=win64"), ""),
              "Wine is not installed: the wine backend needs it, and no 'wine' program is on the PATH");

    // Wine would make a prefix of its own in a folder that is none.
    const fs::path plain = tmp.Path() / "plain";
    fs::create_directories(plain);
    EXPECT_EQ(StartError(plain, wine),
              "The wine backend serves Wine prefixes, and Wine never ran on '" + plain.string() +
                  "' (it holds no dosdevices folder and system.reg); use --backend machine");
    EXPECT_TRUE(fs::is_empty(plain)) << "nothing was made in it";
    EXPECT_EQ(StartError(tmp.Path() / "nowhere", wine),
              "The Wine prefix '" + (tmp.Path() / "nowhere").string() + "' does not exist");

    const fs::path p32 = MakePrefix(tmp.Path() / "p32", "#arch=win32");
    const std::string no32 = StartError(p32, wine);
    EXPECT_EQ(no32.rfind(kNo32BitWine, 0), 0u) << no32;

    {
        ScopedEnv named("TARNEL_BRIDGE", (tmp.Path() / "missing.exe").c_str());
        EXPECT_EQ(StartError(MakePrefix(tmp.Path() / "p64b", "#arch=win64"), wine),
                  "The bridge '" + (tmp.Path() / "missing.exe").string() + "' ($TARNEL_BRIDGE) does not exist");
    }
    EXPECT_FALSE(fs::exists(ran)) << "Wine was started";

    // Wine refuses a prefix its user does not own: said before it is started.
    if (::getuid() == 0) {
        const fs::path theirs = MakePrefix(tmp.Path() / "theirs", "#arch=win64");
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_EQ(StartError(theirs, wine), "Wine refuses the prefix '" + theirs.string() +
                                                "': it is not owned by you (its owner is user 65534)");
        EXPECT_FALSE(fs::exists(ran));
    } else {
        GTEST_SKIP() << "a prefix of another user needs root to make";
    }
}

// When Wine was started and the bridge did not answer, Wine's own words say
// why; what the bridge printed instead of its protocol comes next.
TEST(WineBackendStart, ABridgeThatDoesNotStartIsExplainedInWinesWords) {
    TempDir tmp;
    ScopedEnv quiet("WINEDEBUG", nullptr);
    // Any 64-bit image stands for the bridge: Wine here is a stand-in.
    ScopedEnv named("TARNEL_BRIDGE", PeFixture("version64.dll").c_str());
    const fs::path prefix = MakePrefix(tmp.Path() / "p64", "#arch=win64");
    const std::string start = "The 64-bit bridge '" + PeFixture("version64.dll").string() + "' did not start on '" +
                              prefix.string() + "': ";

    const fs::path refused = FakeWine(tmp.Path() / "refused", "echo \"wine: '$WINEPREFIX' is not a valid prefix\" >&2\n"
                                                              "echo >&2\nexit 1");
    EXPECT_EQ(StartError(prefix, refused), start + "wine: '" + prefix.string() + "' is not a valid prefix");

    const fs::path text = FakeWine(tmp.Path() / "text", "echo 'Application could not be started, or no application "
                                                        "associated with the specified file.'; exit 1");
    EXPECT_EQ(StartError(prefix, text), start + "it answered with text: Application could not be started, or no "
                                                "application associated with the specified file.");

    const fs::path silent = FakeWine(tmp.Path() / "silent", "exit 3");
    EXPECT_EQ(StartError(prefix, silent), start + "The bridge to Wine on '" + prefix.string() +
                                              "' has ended (exit status 3)");
}

}  // namespace
}  // namespace tarnel::test
