#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/api/Ansi.h"
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

TEST(MachineFiles, HostPathsAreTakenAsTheyAre) {
    test::TempMachine m;
    m.WriteFile("elsewhere/file.bin", "data");
    EXPECT_TRUE(ResolveMachineFile((m.Root() / "elsewhere/file.bin").string()));
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
