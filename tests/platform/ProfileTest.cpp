#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"
#include "platform/machine/Machine.h"
#include "support/Faults.h"
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

    // Root ignores folder permissions: the write is tried by another user.
    { TTransaction lockMade(TTransaction::Read); }
    test::HandToAnotherUser(m.Root());
    auto dir = m.Root() / "drive_c/windows";
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                          std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const test::ChildReport r = test::AsAnotherUser([&] {
        SelectMachine(m.Root());
        return WritePrivateProfileStringA("drivers32", "vidc.abcd", "b.dll", "SYSTEM.INI") ? "written" : "";
    });
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    EXPECT_TRUE(r.exited && r.text.empty()) << r.text;
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

namespace {

// The whole listing, as read into a buffer large enough for it.
std::string FullListing(const char* section) {
    std::vector<char> buf(4096, 'X');
    uint32_t n = GetPrivateProfileSectionA(section, buf.data(), static_cast<uint32_t>(buf.size()), "SYSTEM.INI");
    return std::string(buf.data(), n + 1);  // with the final zero
}

}  // namespace

TEST(ProfileRead, EverySmallBufferStaysInsideAndEndsAsWindowsEndsIt) {
    test::TempMachine m;
    m.WriteFile(kIni, "[drivers32]\nvidc.aaaa=a.dll\nb=2\nvidc.cccc=c.dll\nd\n");
    const std::string full = FullListing("drivers32");  // "vidc.aaaa=a.dll\0b=2\0vidc.cccc=c.dll\0d\0\0"
    const uint32_t total = static_cast<uint32_t>(full.size() - 1);
    constexpr size_t kCanary = 16;
    for (uint32_t size = 1; size <= total + 4; ++size) {
        SCOPED_TRACE(size);
        std::vector<char> buf(size + kCanary, 'X');
        const uint32_t n = GetPrivateProfileSectionA("drivers32", buf.data(), size, "SYSTEM.INI");
        for (size_t i = size; i < buf.size(); ++i) ASSERT_EQ(buf[i], 'X') << "written past the buffer at " << i;
        if (size < 2) {
            EXPECT_EQ(n, 0u);
            EXPECT_EQ(buf[0], '\0');
        } else if (size > total) {
            EXPECT_EQ(n, total);
            EXPECT_EQ(std::string(buf.data(), n + 1), full);
        } else {
            // Too small: what fits of the lines, the last one cut, then two zero bytes.
            EXPECT_EQ(n, size - 2);
            EXPECT_EQ(std::string(buf.data(), size - 2), full.substr(0, size - 2));
            EXPECT_EQ(buf[size - 2], '\0');
            EXPECT_EQ(buf[size - 1], '\0');
        }
    }
}

TEST(ProfileRead, EntriesFillingTheBufferUpToItsLastByteButOneAndMoreToCome) {
    test::TempMachine m;
    m.WriteFile(kIni, "[drivers32]\na=1\nb=2\nc=3\n");
    std::vector<char> buf(9 + 16, 'X');
    // "a=1\0b=2\0" takes 8 of 9 bytes; "c=3" has no room at all.
    EXPECT_EQ(GetPrivateProfileSectionA("drivers32", buf.data(), 9, "SYSTEM.INI"), 7u);
    EXPECT_EQ(std::string(buf.data(), 9), std::string("a=1\0b=2\0\0", 9));
    for (size_t i = 9; i < buf.size(); ++i) EXPECT_EQ(buf[i], 'X') << i;
}

TEST(ProfileRead, ValuesLoseOnePairOfMatchingQuotesAndBareLinesGiveTheDefault) {
    test::TempMachine m;
    m.WriteFile(kIni,
                "[drivers32]\n"
                "vidc.dq=\"drv.dll\"\n"
                "vidc.sq = 'single.dll' \n"
                "vidc.mx=\"mixed.dll'\n"
                "vidc.one=\"\n"
                "vidc.two=\"\"\n"
                "vidc.in=a\"b\"\n"
                "vidc.nest=\"'x'\"\n"
                "vidc.bare\n");
    auto get = [](const char* key, const char* def = "def", uint32_t size = 64) {
        std::vector<char> buf(size + 8, 'X');
        uint32_t n = GetPrivateProfileStringA("drivers32", key, def, buf.data(), size, "system.ini");
        EXPECT_EQ(buf[n], '\0');
        EXPECT_EQ(buf[size], 'X');
        return std::string(buf.data(), n);
    };
    EXPECT_EQ(get("vidc.dq"), "drv.dll");
    EXPECT_EQ(get("vidc.sq"), "single.dll");
    EXPECT_EQ(get("vidc.mx"), "\"mixed.dll'");
    EXPECT_EQ(get("vidc.one"), "\"");
    EXPECT_EQ(get("vidc.two"), "");
    EXPECT_EQ(get("vidc.in"), "a\"b\"");
    EXPECT_EQ(get("vidc.nest"), "'x'");
    EXPECT_EQ(get("vidc.bare"), "def") << "a line without '=' has no value";
    EXPECT_EQ(get("vidc.none", "\"quoted default\"  "), "quoted default");
    EXPECT_EQ(get("vidc.none", "  spaced  "), "  spaced");
    EXPECT_EQ(get("vidc.dq", "def", 4), "drv") << "cut to the buffer";
    EXPECT_EQ(get(""), "") << "an empty key gives nothing";
    // The section listing gives values as stored.
    EXPECT_EQ(Section("drivers32")[0], "vidc.dq=\"drv.dll\"");
    EXPECT_EQ(Section("drivers32")[7], "vidc.bare");
}

TEST(ProfileNul, AZeroByteEndsTheKeyOrValueInEveryCall) {
    test::TempMachine m;
    using namespace std::string_literals;
    const std::string before = "[drivers32]\r\n"
                               "vidc.yu\0y2=pbyuv.dll\r\n"
                               "\0vidc.abcd=x.dll\r\n"
                               "vidc.mjpg=m.d\0ll junk\r\n"
                               "vidc.xvid=x.dll\r\n"
                               "[dri\0vers32]\r\n"
                               "vidc.hide=h.dll\r\n"s;
    m.WriteFile(kIni, before);
    EXPECT_EQ(Section("drivers32"),
              (std::vector<std::string>{"vidc.yu=pbyuv.dll", "vidc.mjpg=m.d", "vidc.xvid=x.dll"}));
    EXPECT_EQ(Section("dri"), std::vector<std::string>{"vidc.hide=h.dll"});

    char buf[64];
    auto get = [&](const char* section, const char* key) {
        GetPrivateProfileStringA(section, key, "def", buf, sizeof buf, "system.ini");
        return std::string(buf);
    };
    EXPECT_EQ(get("drivers32", "vidc.yu"), "pbyuv.dll") << "listed entries can be looked up";
    EXPECT_EQ(get("drivers32", "vidc.yuy2"), "def");
    EXPECT_EQ(get("drivers32", "vidc.abcd"), "def");
    EXPECT_EQ(get("drivers32", "vidc.mjpg"), "m.d");
    EXPECT_EQ(get("dri", "vidc.hide"), "h.dll");

    // Writing elsewhere keeps every byte of those lines, zeros included.
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.xvid", "new.dll", "SYSTEM.INI"));
    std::string expected = before;
    expected.replace(expected.find("vidc.xvid=x.dll"), 15, "vidc.xvid=new.dll");
    EXPECT_EQ(m.ReadFile(kIni), expected);
    // Writing the entry a zero byte cut replaces its line by the key as read.
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "VIDC.YU", "other.dll", "SYSTEM.INI"));
    expected.replace(expected.find("vidc.yu\0y2=pbyuv.dll"s), 20, "vidc.yu=other.dll");
    EXPECT_EQ(m.ReadFile(kIni), expected);
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.abcd", nullptr, "SYSTEM.INI"));
    EXPECT_EQ(m.ReadFile(kIni), expected) << "a line without a key is no entry to delete";
}

TEST(ProfileFiles, NamesStayInsideTheMachineAndOnlyRegularFilesAreRead) {
    test::TempMachine m;
    m.WriteFile(kIni, "[drivers32]\nvidc.abcd=a.dll\n");
    test::TempDir outside;
    const auto host = outside.Path() / "system.ini";
    {
        std::ofstream(host) << "[drivers32]\nvidc.host=host.dll\n";
    }
    char buf[256];
    EXPECT_EQ(GetPrivateProfileSectionA("drivers32", buf, sizeof buf, host.c_str()), 0u);
    EXPECT_EQ(GetPrivateProfileSectionA("drivers32", buf, sizeof buf, "C:/WINDOWS/System.ini"), 16u);
    EXPECT_EQ(GetPrivateProfileSectionA("drivers32", buf, sizeof buf, "\\windows\\SYSTEM.INI"), 16u);
    EXPECT_EQ(GetPrivateProfileSectionA("drivers32", buf, sizeof buf, "D:\\WINDOWS\\SYSTEM.INI"), 0u);

    // A link to a file outside the machine reads as no file.
    std::filesystem::remove(m.Root() / kIni);
    std::filesystem::create_symlink(host, m.Root() / kIni);
    EXPECT_EQ(GetPrivateProfileSectionA("drivers32", buf, sizeof buf, "SYSTEM.INI"), 0u);

    // A FIFO or a device in its place is refused at once, naming the file.
    std::filesystem::remove(m.Root() / kIni);
    ASSERT_EQ(mkfifo((m.Root() / kIni).c_str(), 0644), 0);
    try {
        GetPrivateProfileSectionA("drivers32", buf, sizeof buf, "SYSTEM.INI");
        ADD_FAILURE() << "a FIFO was read";
    } catch (const EFileError& e) {
        EXPECT_EQ(e.File(), m.Root() / kIni);
        EXPECT_NE(std::string(e.what()).find("system.ini"), std::string::npos) << e.what();
    }
    EXPECT_THROW(GetPrivateProfileStringA("drivers32", "vidc.abcd", "", buf, sizeof buf, "SYSTEM.INI"), EFileError);
    EXPECT_FALSE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "b.dll", "SYSTEM.INI"));
    EXPECT_TRUE(std::filesystem::is_fifo(m.Root() / kIni)) << "never replaced";
}

TEST(ProfileWrite, ReadOnlyFileIsRefusedAndKept) {
    test::TempMachine m;
    const std::string before = "[drivers32]\r\nvidc.abcd=a.dll\r\n";
    m.WriteFile(kIni, before);
    std::filesystem::permissions(m.Root() / kIni, std::filesystem::perms::owner_read |
                                                      std::filesystem::perms::group_read |
                                                      std::filesystem::perms::others_read);
    SetLastError(0);
    EXPECT_FALSE(WritePrivateProfileStringA("drivers32", "vidc.abcd", "b.dll", "SYSTEM.INI"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_EQ(m.ReadFile(kIni), before);
}
