#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/api/Profile.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

const char* kIni = "drive_c/windows/system.ini";

std::vector<std::string> Section(const char* name, uint32_t size = 32767, uint32_t* result = nullptr) {
    std::vector<char> buf(size + 8, 'X');
    uint32_t n = GetPrivateProfileSectionA(name, buf.data(), size, "SYSTEM.INI");
    if (result) *result = n;
    std::vector<std::string> lines;
    std::string cur;
    for (uint32_t i = 0; i < n; ++i) {
        if (buf[i] == '\0') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += buf[i];
        }
    }
    EXPECT_EQ(buf[n], '\0') << "the section is closed by a final zero byte";
    return lines;
}

}  // namespace

TEST(ProfileRead, SectionLinesTrimmedWithoutCommentsOrBlanksAndCountWithoutFinalZero) {
    test::TempMachine m;
    m.WriteFile(kIni,
                "[Drivers32]\r\n"
                "; a comment\r\n"
                "  vidc.MJPG = mjpeg.dll  \r\n"
                "\r\n"
                "msacm.abcd=abcd.acm\r\n"
                "lonely line\r\n"
                "[other]\r\nvidc.zzzz=z.dll\r\n");
    uint32_t n = 0;
    auto lines = Section("drivers32", 32767, &n);
    EXPECT_EQ(lines, (std::vector<std::string>{"vidc.MJPG=mjpeg.dll", "msacm.abcd=abcd.acm", "lonely line"}));
    EXPECT_EQ(n, std::string("vidc.MJPG=mjpeg.dll").size() + 1 + std::string("msacm.abcd=abcd.acm").size() + 1 +
                     std::string("lonely line").size() + 1);
}

TEST(ProfileRead, MissingSectionOrFileGivesZero) {
    test::TempMachine m;
    uint32_t n = 7;
    EXPECT_TRUE(Section("nosuch", 100, &n).empty());
    EXPECT_EQ(n, 0u);
    std::filesystem::remove(m.Root() / kIni);
    EXPECT_TRUE(Section("drivers32", 100, &n).empty());
    EXPECT_EQ(n, 0u);
}

TEST(ProfileRead, TooSmallBufferCutsLastLineAndReturnsSizeMinusTwo) {
    test::TempMachine m;
    m.WriteFile(kIni, "[drivers32]\nvidc.aaaa=a.dll\nvidc.bbbb=b.dll\n");
    std::vector<char> buf(20, 'X');
    uint32_t n = GetPrivateProfileSectionA("drivers32", buf.data(), 20, "SYSTEM.INI");
    EXPECT_EQ(n, 18u);
    EXPECT_EQ(std::string(buf.data()), "vidc.aaaa=a.dll");
    EXPECT_EQ(std::string(buf.data() + 16), "vi");
    EXPECT_EQ(buf[18], '\0');
    EXPECT_EQ(buf[19], '\0');
}

TEST(ProfileWrite, ReplacesInPlaceMatchingKeyWithoutCaseAndKeepsEverythingElse) {
    test::TempMachine m;
    const std::string before =
        "; header comment\r\n[drivers]\r\nwave=mmdrv.dll\r\n\r\n[Drivers32]\r\nVIDC.MJPG=old.dll\r\n"
        "vidc.xvid=x.dll\r\n\r\n[mail]\r\nMAPI=1\r\n";
    m.WriteFile(kIni, before);
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.mjpg", "new.dll", "SYSTEM.INI"));
    std::string expected = before;
    expected.replace(expected.find("VIDC.MJPG=old.dll"), 17, "VIDC.MJPG=new.dll");
    EXPECT_EQ(m.ReadFile(kIni), expected);
}

TEST(ProfileWrite, NewKeyGoesAfterLastEntryOfItsSection) {
    test::TempMachine m;
    m.WriteFile(kIni, "[drivers32]\r\nvidc.aaaa=a.dll\r\n\r\n[mail]\r\nMAPI=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.bbbb", "b.dll", "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), "[drivers32]\r\nvidc.aaaa=a.dll\r\nvidc.bbbb=b.dll\r\n\r\n[mail]\r\nMAPI=1\r\n");
}

TEST(ProfileWrite, MissingSectionIsCreatedAtTheEnd) {
    test::TempMachine m;
    m.WriteFile(kIni, "[mci]\nx=1");  // no newline at the very end
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "abcd.dll", "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), "[mci]\nx=1\n[drivers32]\nvidc.abcd=abcd.dll\n");
    uint32_t n = 0;
    EXPECT_EQ(Section("drivers32", 100, &n), std::vector<std::string>{"vidc.abcd=abcd.dll"});
}

TEST(ProfileWrite, NullValueDeletesOnlyThatLineAndNullKeyTheSection) {
    test::TempMachine m;
    m.WriteFile(kIni, "[drivers32]\nvidc.aaaa=a.dll\nvidc.bbbb=b.dll\n[mail]\nMAPI=1\n");
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "VIDC.AAAA", nullptr, "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), "[drivers32]\nvidc.bbbb=b.dll\n[mail]\nMAPI=1\n");
    // Deleting what is not there changes nothing.
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.none", nullptr, "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), "[drivers32]\nvidc.bbbb=b.dll\n[mail]\nMAPI=1\n");
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", nullptr, nullptr, "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), "[mail]\nMAPI=1\n");
}

TEST(ProfileWrite, MissingFileIsCreatedAndWriteToUnwritableFolderFailsLeavingFileIntact) {
    test::TempMachine m;
    std::filesystem::remove(m.Root() / kIni);
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "a.dll", "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), "[drivers32]\r\nvidc.abcd=a.dll\r\n");

    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    auto dir = m.Root() / "drive_c/windows";
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_FALSE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "b.dll", "SYSTEM.INI"));
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    EXPECT_EQ(m.ReadFile(kIni), "[drivers32]\r\nvidc.abcd=a.dll\r\n");
}

TEST(ProfileRead, OneKeyValue) {
    test::TempMachine m;
    m.WriteFile(kIni, "[Drivers32]\nvidc.abcd =  abcd.dll \n");
    char buf[64];
    EXPECT_EQ(GetPrivateProfileStringA("drivers32", "VIDC.ABCD", "def", buf, sizeof buf, "system.ini"), 8u);
    EXPECT_STREQ(buf, "abcd.dll");
    GetPrivateProfileStringA("drivers32", "vidc.none", "def", buf, sizeof buf, "system.ini");
    EXPECT_STREQ(buf, "def");
}
