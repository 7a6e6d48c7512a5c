// The profile calls on a file of the Windows folder, as the program uses
// them on SYSTEM.INI of the 95/98/ME family.
#include <cstring>
#include <vector>

#include "conformance/Conformance.h"
#include "platform/api/Profile.h"

namespace tarnel::conformance {
namespace {

using namespace platform;

using ProfileConformance = ConformanceTest;

constexpr char kIni[] = "tcprof.ini";

// The section's lines as the call returns them, and its result.
std::vector<std::string> Section(const char* name, uint32_t size, uint32_t& result) {
    std::vector<char> buf(size + 8, 'X');
    result = GetPrivateProfileSectionA(name, buf.data(), size, kIni);
    std::vector<std::string> lines;
    for (uint32_t at = 0; at < result;) {
        std::string line(buf.data() + at);
        lines.push_back(line);
        at += uint32_t(line.size()) + 1;
    }
    EXPECT_EQ(buf[result], '\0') << "closed by a zero byte";
    return lines;
}

std::string Value(const char* section, const char* key, const char* def = "(default)") {
    char buf[256];
    std::memset(buf, 'X', sizeof buf);
    uint32_t n = GetPrivateProfileStringA(section, key, def, buf, sizeof buf, kIni);
    EXPECT_EQ(buf[n], '\0');
    return std::string(buf, n);
}

TEST_F(ProfileConformance, SectionLinesComeTrimmedWithoutCommentsOrBlankLines) {
    WriteWindowsFile(kIni,
                 "[Drivers32]\r\n"
                 "; a comment\r\n"
                 "  vidc.MJPG = mjpeg.dll  \r\n"
                 "\r\n"
                 "msacm.abcd=abcd.acm\r\n"
                 "[other]\r\nvidc.zzzz=z.dll\r\n");
    uint32_t n = 0;
    EXPECT_EQ(Section("drivers32", 32767, n), (std::vector<std::string>{"vidc.MJPG=mjpeg.dll", "msacm.abcd=abcd.acm"}));
    EXPECT_EQ(n, 20u + 20u) << "the bytes stored, the final zero not counted";
    EXPECT_TRUE(Section("nosuch", 100, n).empty());
    EXPECT_EQ(n, 0u);
    CurrentEnv().RemoveWindowsFile(kIni);
    EXPECT_TRUE(Section("drivers32", 100, n).empty()) << "no file, no section";
    EXPECT_EQ(n, 0u);
}

TEST_F(ProfileConformance, ATooSmallBufferCutsTheLastLineAndAnswersSizeMinusTwo) {
    WriteWindowsFile(kIni, "[drivers32]\nvidc.aaaa=a.dll\nvidc.bbbb=b.dll\n");
    std::vector<char> buf(20, 'X');
    uint32_t n = GetPrivateProfileSectionA("drivers32", buf.data(), 20, kIni);
    EXPECT_EQ(n, 18u);
    EXPECT_EQ(std::string(buf.data()), "vidc.aaaa=a.dll");
    EXPECT_EQ(std::string(buf.data() + 16), "vi");
    EXPECT_EQ(buf[18], '\0');
    EXPECT_EQ(buf[19], '\0');
}

TEST_F(ProfileConformance, OneValueLosesItsBlanksAndOnePairOfQuotes) {
    WriteWindowsFile(kIni,
                 "[s]\r\n"
                 "plain =  value with inner  blanks  \r\n"
                 "dq=\"quoted\"\r\n"
                 "sq='single'\r\n"
                 "mixed=\"not closed'\r\n"
                 "empty=\r\n"
                 "KEY=upper\r\n");
    EXPECT_EQ(Value("s", "plain"), "value with inner  blanks");
    EXPECT_EQ(Value("s", "dq"), "quoted");
    EXPECT_EQ(Value("s", "sq"), "single");
    EXPECT_EQ(Value("s", "mixed"), "\"not closed'");
    EXPECT_EQ(Value("s", "empty"), "");
    EXPECT_EQ(Value("S", "key"), "upper") << "sections and keys ignore case";
    EXPECT_EQ(Value("s", "missing"), "(default)");
    EXPECT_EQ(Value("s", "missing", "trailing   "), "trailing") << "the default loses its trailing blanks";
    EXPECT_EQ(Value("nosuch", "plain"), "(default)");

    char small[6];
    EXPECT_EQ(GetPrivateProfileStringA("s", "plain", "", small, sizeof small, kIni), 5u) << "cut to size - 1";
    EXPECT_STREQ(small, "value");
}

TEST_F(ProfileConformance, WritesReplaceAddAndDeleteEntries) {
    WriteWindowsFile(kIni, "[drivers]\r\nwave=mmdrv.dll\r\n\r\n[Drivers32]\r\nVIDC.MJPG=old.dll\r\nvidc.xvid=x.dll\r\n"
                       "\r\n[mail]\r\nMAPI=1\r\n");
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.mjpg", "new.dll", kIni));
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.bbbb", "b.dll", kIni));
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.xvid", nullptr, kIni));
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.none", nullptr, kIni)) << "deleting nothing is fine";
    ASSERT_TRUE(WritePrivateProfileStringA("fresh", "k", "v", kIni));
    uint32_t n = 0;
    EXPECT_EQ(Section("drivers32", 32767, n), (std::vector<std::string>{"VIDC.MJPG=new.dll", "vidc.bbbb=b.dll"}))
        << "a replaced key keeps its place and spelling, a new one comes last";
    EXPECT_EQ(Value("fresh", "k"), "v");
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", nullptr, nullptr, kIni));
    EXPECT_TRUE(Section("drivers32", 100, n).empty());
    EXPECT_EQ(Value("mail", "MAPI"), "1");

    // Windows edits the file where the entry stands and keeps every other
    // byte; Wine writes the whole file anew from what it parsed, dropping
    // the blank lines between sections. The emulation holds to Windows, so
    // that a user's SYSTEM.INI keeps its look.
    const std::string text = CurrentEnv().ReadWindowsFile(kIni);
    if (UnderWine())
        EXPECT_EQ(text, "[drivers]\r\nwave=mmdrv.dll\r\n[mail]\r\nMAPI=1\r\n[fresh]\r\nk=v\r\n");
    else
        EXPECT_EQ(text, "[drivers]\r\nwave=mmdrv.dll\r\n\r\n[mail]\r\nMAPI=1\r\n[fresh]\r\nk=v\r\n");
}

TEST_F(ProfileConformance, AMissingFileIsMadeByTheFirstWrite) {
    CurrentEnv().RemoveWindowsFile(kIni);
    WriteWindowsFile(kIni, "");
    CurrentEnv().RemoveWindowsFile(kIni);
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "a.dll", kIni));
    EXPECT_EQ(CurrentEnv().ReadWindowsFile(kIni), "[drivers32]\r\nvidc.abcd=a.dll\r\n");
}

}  // namespace
}  // namespace tarnel::conformance
