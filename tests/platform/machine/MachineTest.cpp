#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/api/Ansi.h"
#include "platform/api/Backend.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

TEST(MachineFiles, BareNamesResolveCaseInsensitivelyInSearchOrder) {
    test::TempMachine m;
    m.WriteFile("drive_c/windows/system32/Codec.DLL", "32");
    m.WriteFile("drive_c/windows/system/other.dll", "16");
    m.WriteFile("drive_c/windows/system/codec.dll", "shadowed");
    m.WriteFile("drive_c/windows/win.dll", "win");

    auto found = ResolveMachineFile("CODEC.dll");
    ASSERT_TRUE(found);
    EXPECT_EQ(m.ReadFile(fs::relative(*found, m.Root())), "32");
    ASSERT_TRUE(ResolveMachineFile("OTHER.DLL"));
    ASSERT_TRUE(ResolveMachineFile("win.dll"));
    EXPECT_FALSE(ResolveMachineFile("missing.dll"));
    EXPECT_FALSE(ResolveMachineFile("."));
    EXPECT_FALSE(ResolveMachineFile(""));
    EXPECT_FALSE(ResolveMachineFile("system32")) << "a folder is not a file";
}

TEST(MachineFiles, WindowsPathsMapIntoDriveCAndOtherDrivesDoNot) {
    test::TempMachine m;
    m.WriteFile("drive_c/windows/system32/abc.dll", "x");
    auto p = ResolveMachineFile("C:\\WINDOWS\\SYSTEM32\\ABC.DLL");
    ASSERT_TRUE(p);
    EXPECT_EQ(*p, m.Root() / "drive_c/windows/system32/abc.dll");
    EXPECT_FALSE(ResolveMachineFile("D:\\abc.dll"));
    EXPECT_FALSE(ResolveMachineFile("c:\\windows\\..\\..\\..\\etc\\passwd")) << "no escape from drive C";
    EXPECT_FALSE(ResolveMachineFile("subdir\\abc.dll")) << "relative Windows paths name nothing";
}

TEST(MachineFiles, HostPathsAreNotFilesOfTheMachine) {
    test::TempMachine m;
    m.WriteFile("elsewhere/file.bin", "data");
    EXPECT_FALSE(ResolveMachineFile((m.Root() / "elsewhere/file.bin").string()));
    test::TempDir outside;
    std::ofstream(outside.Path() / "evil.dll") << "MZ";
    EXPECT_FALSE(ResolveMachineFile((outside.Path() / "evil.dll").string()));
}

TEST(MachineFiles, ForwardSlashesSeparateInsideTheMachineAndRootedNamesAreOnDriveC) {
    test::TempMachine m;
    m.WriteFile("drive_c/windows/system32/abc.dll", "x");
    const fs::path file = m.Root() / "drive_c/windows/system32/abc.dll";
    for (const char* name : {"C:/WINDOWS/SYSTEM32/ABC.DLL", "c:\\windows/system32\\abc.dll",
                             "\\WINDOWS\\system32\\abc.dll", "/windows/system32/abc.dll",
                             "C:\\windows\\.\\temp\\..\\system32\\abc.dll", "\\..\\..\\windows\\system32\\abc.dll"}) {
        auto p = ResolveMachineFile(name);
        ASSERT_TRUE(p) << name;
        EXPECT_EQ(*p, file) << name;
    }
    // A relative name with a separator is not looked up in the working folder.
    test::TempDir cwd;
    std::filesystem::create_directories(cwd.Path() / "drv");
    std::ofstream(cwd.Path() / "drv/evil.dll") << "MZ";
    const fs::path saved = fs::current_path();
    fs::current_path(cwd.Path());
    EXPECT_FALSE(ResolveMachineFile("drv/evil.dll"));
    EXPECT_FALSE(ResolveMachineFile("./drv/evil.dll"));
    EXPECT_FALSE(ResolveMachineFile("system32/abc.dll"));
    fs::current_path(saved);
    EXPECT_FALSE(ResolveMachineFile("\\\\server\\share\\abc.dll"));
    EXPECT_FALSE(ResolveMachineFile("C:abc.dll"));
}

TEST(MachineFiles, LinksLeadingOutsideTheMachineAreNotFound) {
    test::TempMachine m;
    test::TempDir outside;
    std::ofstream(outside.Path() / "host.dll") << "MZ";
    std::filesystem::create_directories(outside.Path() / "folder");
    std::ofstream(outside.Path() / "folder/inner.dll") << "MZ";
    m.WriteFile("drive_c/windows/win.dll", "win");
    const fs::path sys = m.System32();
    fs::create_symlink(outside.Path() / "host.dll", sys / "out.dll");
    fs::create_symlink(outside.Path() / "folder", sys / "outdir");
    fs::create_symlink("../win.dll", sys / "alias.dll");
    EXPECT_FALSE(ResolveMachineFile("out.dll"));
    EXPECT_FALSE(ResolveMachineFile("C:\\windows\\system32\\out.dll"));
    EXPECT_FALSE(ResolveMachineFile("C:\\windows\\system32\\outdir\\inner.dll"));
    auto alias = ResolveMachineFile("ALIAS.DLL");
    ASSERT_TRUE(alias) << "a link that stays inside is followed";
    EXPECT_EQ(m.ReadFile(fs::relative(*alias, m.Root())), "win");
}

TEST(MachineFiles, LookupsTellWhyNothingWasFound) {
    test::TempMachine m;
    m.WriteFile("drive_c/windows/system32/abc.dll", "x");
    fs::create_symlink("loop.dll", m.System32() / "loop.dll");
    auto error = [](const std::string& name) {
        MachineFileLookup r = LookUpMachineFile(name);
        EXPECT_FALSE(r.file) << name;
        return r.error;
    };
    EXPECT_EQ(LookUpMachineFile("abc.dll").error, kErrorSuccess);
    EXPECT_EQ(error("missing.dll"), kErrorFileNotFound);
    EXPECT_EQ(error("C:\\windows\\missing.dll"), kErrorFileNotFound);
    EXPECT_EQ(error("C:\\nofolder\\abc.dll"), kErrorPathNotFound);
    EXPECT_EQ(error("D:\\abc.dll"), kErrorPathNotFound);
    EXPECT_EQ(error("C:\\windows\\system32"), kErrorAccessDenied) << "a folder is no file";
    EXPECT_EQ(error("loop.dll"), kErrorCantResolveFilename) << "a loop is not a missing file";
    EXPECT_EQ(error("C:\\windows\\system32\\loop.dll"), kErrorCantResolveFilename);
}

TEST(MachineSelection, AMissingFolderIsRefused) {
    EXPECT_THROW(SelectMachine("/nonexistent/tarnel/machine"), EFileError);
}

TEST(AnsiText, Windows1252RoundTripsAndUnmappableBecomesQuestionMark) {
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC") << "0x80 is the euro sign";
    EXPECT_EQ(Utf16ToAnsi(u"\u20AC\u00E9\u4E2D"), "\x80\xE9?");
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u) << "astral characters become surrogate pairs";
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
}

TEST(AnsiText, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_EQ(AsciiLowerCase("VIDC.MJPG\xC9"), "vidc.mjpg\xC9");
    EXPECT_EQ(AsciiUpperCase("vidc\xE9"), "VIDC\xE9");
    EXPECT_TRUE(EqualsNoCase("Drivers32", "DRIVERS32"));
    EXPECT_FALSE(EqualsNoCase("\xE9", "\xC9"));
    EXPECT_TRUE(StartsWithNoCase("MJPG", "mj"));
    EXPECT_FALSE(StartsWithNoCase("mj", "mjpg"));
}

TEST(AtomicWrite, ReplacesWholeFileAndKeepsOldOneWhenTheWriteFails) {
    test::TempDir dir;
    fs::path f = dir.Path() / "file.txt";
    WriteFileAtomically(f, "first");
    auto before = StampOf(f);
    WriteFileAtomically(f, "second, longer");
    EXPECT_EQ(ReadWholeFile(f), "second, longer");
    EXPECT_NE(StampOf(f), before);
    EXPECT_THROW(WriteFileAtomically(dir.Path() / "no/such/folder/x", "y"), EFileError);
    for (const auto& e : fs::directory_iterator(dir.Path()))
        EXPECT_EQ(e.path().filename(), "file.txt") << "no temporary file is left behind";
    EXPECT_THROW(ReadWholeFile(dir.Path() / "missing"), EFileError);
}

namespace {

// The pid of a process that has ended (and was reaped).
pid_t DeadPid() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

void MakeReadOnly(const fs::path& f) {
    fs::permissions(f, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

}  // namespace

TEST(AtomicWrite, ReadOnlyFileIsRefusedEvenWhereTheFolderIsWritable) {
    test::TempDir dir;
    const fs::path f = dir.Path() / "system.reg";
    WriteFileAtomically(f, "old");
    MakeReadOnly(f);
    const FileStamp before = StampOf(f);
    try {
        WriteFileAtomically(f, "new");
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.File(), f);
        EXPECT_EQ(e.ErrorNumber(), EACCES);
        EXPECT_NE(std::string(e.what()).find("system.reg"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadWholeFile(f), "old");
    EXPECT_EQ(StampOf(f), before);
}

TEST(AtomicWrite, StaleTemporariesOfEndedWritersGoAndLiveOnesStay) {
    test::TempDir dir;
    const fs::path f = dir.Path() / "system.reg";
    WriteFileAtomically(f, "first");
    const std::string dead = ".system.reg." + std::to_string(DeadPid()) + ".a1B2c3";
    const std::string live = ".system.reg." + std::to_string(getppid()) + ".d4E5f6";
    const std::string own = ".system.reg." + std::to_string(getpid()) + ".g7H8i9";
    const std::string other = ".user.reg." + std::to_string(DeadPid()) + ".j1K2l3";
    const std::string unlike = ".system.reg.notapid.m4N5o6";
    for (const auto& name : {dead, live, own, other, unlike}) std::ofstream(dir.Path() / name) << "partial";
    WriteFileAtomically(f, "second");
    EXPECT_FALSE(fs::exists(dir.Path() / dead)) << "left by a writer that is gone";
    for (const auto& name : {live, own, other, unlike}) EXPECT_TRUE(fs::exists(dir.Path() / name)) << name;
    EXPECT_EQ(ReadWholeFile(f), "second");
}

TEST(AtomicWrite, FailuresCarryTheFileAndTheSystemsReason) {
    test::TempDir dir;
    const fs::path missing = dir.Path() / "no/such/folder/system.reg";
    try {
        WriteFileAtomically(missing, "x");
        ADD_FAILURE();
    } catch (const EFileError& e) {
        EXPECT_EQ(e.File(), missing);
        EXPECT_EQ(e.Reason(), std::strerror(ENOENT));
        EXPECT_EQ(e.ErrorNumber(), ENOENT);
    }
    // A write cut short by the system (here a file size limit, as a full disk
    // would) reports the system's words, in a child so the limit stays there.
    const fs::path f = dir.Path() / "system.reg";
    pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &lim);
        try {
            WriteFileAtomically(f, std::string(65536, 'x'));
        } catch (const EFileError& e) {
            _exit(e.File() == f && e.Reason() == std::strerror(EFBIG) ? 0 : 2);
        }
        _exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const auto& e : fs::directory_iterator(dir.Path())) ADD_FAILURE() << "left behind: " << e.path();
}

TEST(StoreFiles, LinkLoopsAreErrorsNotMissingFiles) {
    test::TempDir dir;
    const fs::path f = dir.Path() / "system.reg";
    fs::create_symlink("system.reg", f);
    try {
        StampOf(f);
        ADD_FAILURE() << "a loop reads as a missing file";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.ErrorNumber(), ELOOP);
        EXPECT_EQ(e.File(), f);
    }
    EXPECT_THROW(ReadWholeFileIfExists(f), EFileError);
    EXPECT_THROW(WriteFileAtomically(f, "x"), EFileError);
    EXPECT_TRUE(fs::is_symlink(f)) << "never replaced";
    EXPECT_FALSE(StampOf(dir.Path() / "missing.reg").exists);
    EXPECT_FALSE(ReadWholeFileIfExists(dir.Path() / "missing.reg"));
}

TEST(StoreFiles, AHiveReadAheadIsTakenOnlyWhileTheFileIsAsItWasRead) {
    test::TempMachine m;
    constexpr const char* kKey = "Software\\Halvorin\\Test";
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteString("a", "first");
    }
    const auto read = [&] {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        return reg.OpenKeyReadOnly(kKey) ? reg.ReadString("a") : std::string("(no key)");
    };
    ForgetLoadedHives();
    CurrentBackend().PrefetchStore();
    EXPECT_EQ(read(), "first");

    // Another program rewrites the file after it was read ahead: its
    // version is what the machine shows.
    ForgetLoadedHives();
    CurrentBackend().PrefetchStore();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::string text = m.ReadFile("system.reg");
    const size_t at = text.find("\"first\"");
    ASSERT_NE(at, std::string::npos);
    m.WriteFile("system.reg", text.replace(at, 7, "\"other\""));
    EXPECT_EQ(read(), "other");
}

TEST(StoreFiles, OnlyRegularFilesOfSaneSizeAreRead) {
    // A device never ends; it is refused before any byte is read.
    EXPECT_THROW(ReadWholeFile("/dev/zero"), EFileError);
    test::TempDir dir;
    EXPECT_THROW(ReadWholeFile(dir.Path()), EFileError);

    // A FIFO without a writer would block a plain open for ever.
    const fs::path fifo = dir.Path() / "system.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto done = std::make_shared<std::atomic<int>>(0);
    std::thread reader([fifo, done] {
        try {
            ReadWholeFile(fifo);
            *done = 1;
        } catch (const EFileError& e) {
            *done = e.File() == fifo ? 2 : 3;
        }
    });
    for (int i = 0; i < 500 && *done == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (*done == 0) {
        // Release the blocked reader so that the test can end.
        int w = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (w >= 0) close(w);
    }
    reader.join();
    EXPECT_EQ(*done, 2) << "the FIFO was not refused at once";

    // Past the limit: refused without reading it; a 200 MB store still loads.
    const fs::path big = dir.Path() / "user.reg";
    std::ofstream(big).close();
    ASSERT_EQ(truncate(big.c_str(), (1ll << 30) + 1), 0);
    try {
        ReadWholeFile(big);
        ADD_FAILURE();
    } catch (const EFileError& e) {
        EXPECT_EQ(e.File(), big);
        EXPECT_EQ(e.ErrorNumber(), EFBIG);
    }
    ASSERT_EQ(truncate(big.c_str(), 200ll << 20), 0);
    EXPECT_EQ(ReadWholeFile(big).size(), size_t(200) << 20);
    EXPECT_THROW(ReadWholeFile(big, 1000), EFileError);
}
