#include <gtest/gtest.h>

#include <regex>

#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

OSVERSIONINFOEXA Query(uint32_t size, bool* ok) {
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = size;
    *ok = GetVersionExA(&v);
    return v;
}

void SetNt(const char* name, const std::string& value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", true));
    reg.WriteString(name, value);
}

void SetDword(const char* key, const char* name, int32_t value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteInteger(name, value);
}

}  // namespace

TEST(OsFacts, XpMachineAnswersBothQueries) {
    test::TempMachine m;
    bool ok = false;
    auto ex = Query(kOsVersionInfoExSize, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ex.dwMajorVersion, 5u);
    EXPECT_EQ(ex.dwMinorVersion, 1u);
    EXPECT_EQ(ex.dwBuildNumber, 2600u);
    EXPECT_EQ(ex.dwPlatformId, kVerPlatformWin32Nt);
    EXPECT_STREQ(ex.szCSDVersion, "Service Pack 3");
    EXPECT_EQ(ex.wServicePackMajor, 3);
    EXPECT_EQ(ex.wServicePackMinor, 0);
    EXPECT_EQ(ex.wProductType, 1);
    EXPECT_EQ(ex.wSuiteMask, 0);

    auto basic = Query(kOsVersionInfoSize, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(basic.dwBuildNumber, 2600u);
    EXPECT_EQ(basic.wProductType, 0) << "the basic form fills nothing beyond its 148 bytes";
    EXPECT_EQ(GetSystemDirectoryA(), "C:\\WINDOWS\\system32");
}

TEST(OsFacts, Win98SeHasOnlyTheBasicQueryAndPacksItsBuildNumber) {
    test::TempMachine m(TMachineFamily::Win9x);
    bool ok = true;
    Query(kOsVersionInfoExSize, &ok);
    EXPECT_FALSE(ok);
    auto v = Query(kOsVersionInfoSize, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(v.dwPlatformId, kVerPlatformWin32Windows);
    EXPECT_EQ(v.dwMajorVersion, 4u);
    EXPECT_EQ(v.dwMinorVersion, 10u);
    EXPECT_EQ(v.dwBuildNumber, 0x040A08AEu);
    EXPECT_STREQ(v.szCSDVersion, " A ");
    EXPECT_EQ(GetSystemDirectoryA(), "C:\\WINDOWS\\SYSTEM");
}

TEST(OsFacts, ExtendedQueryArrivesWithNt4ServicePack6) {
    test::TempMachine m;
    SetNt("CurrentVersion", "4.0");
    SetNt("CurrentBuildNumber", "1381");
    SetDword("SYSTEM\\CurrentControlSet\\Control\\Windows", "CSDVersion", 0x500);
    bool ok = true;
    Query(kOsVersionInfoExSize, &ok);
    EXPECT_FALSE(ok) << "NT 4.0 SP5 knows only the basic form";
    Query(kOsVersionInfoSize, &ok);
    EXPECT_TRUE(ok);
    SetDword("SYSTEM\\CurrentControlSet\\Control\\Windows", "CSDVersion", 0x600);
    auto v = Query(kOsVersionInfoExSize, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(v.wServicePackMajor, 6);
}

TEST(OsFacts, ProductTypeAndLaterVersionNumbers) {
    test::TempMachine m;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("SYSTEM\\CurrentControlSet\\Control\\ProductOptions", false));
        reg.WriteString("ProductType", "ServerNT");
    }
    SetDword("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentMajorVersionNumber", 10);
    SetDword("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "CurrentMinorVersionNumber", 0);
    SetNt("CurrentBuildNumber", "19045");
    bool ok = false;
    auto v = Query(kOsVersionInfoExSize, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(v.dwMajorVersion, 10u);
    EXPECT_EQ(v.dwBuildNumber, 19045u);
    EXPECT_EQ(v.wProductType, 3);
}

TEST(OsFacts, SuiteMaskComesFromTheProductSuiteNames) {
    test::TempMachine m;
    // "Personal" then "DataCenter" as a multi-string, UTF-16 with its two closing zeros.
    std::u16string multi = u"Personal";
    multi += u'\0';
    multi += u"DataCenter";
    multi += u'\0';
    multi += u'\0';
    std::string hex;
    for (char16_t c : multi) {
        char b[16];
        std::snprintf(b, sizeof b, "%s%02x,%02x", hex.empty() ? "" : ",", c & 0xFF, c >> 8);
        hex += b;
    }
    std::string hive = m.ReadFile("system.reg");
    size_t at = hive.find("\"ProductSuite\"=str(7):\"\"");
    ASSERT_NE(at, std::string::npos);
    hive.replace(at, std::string("\"ProductSuite\"=str(7):\"\"").size(), "\"ProductSuite\"=hex(7):" + hex);
    m.WriteFile("system.reg", hive);
    bool ok = false;
    auto v = Query(kOsVersionInfoExSize, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(v.wSuiteMask, 0x200 | 0x80);
}

TEST(OsFacts, NoSystemOrOtherPlatforms) {
    {
        test::TempMachine m;
        m.WriteFile("system.reg", "WINE REGISTRY Version 2\n");
        bool ok = true;
        Query(kOsVersionInfoSize, &ok);
        EXPECT_FALSE(ok) << "a machine that names no system answers neither query";
    }
    {
        test::TempMachine m(TMachineFamily::Win9x);
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", false));
        reg.WriteString("VersionNumber", "3.10.0");
        bool ok = false;
        EXPECT_EQ(Query(kOsVersionInfoSize, &ok).dwPlatformId, kVerPlatformWin32s);
        reg.WriteInteger("PlatformId", 3);
        EXPECT_EQ(Query(kOsVersionInfoSize, &ok).dwPlatformId, 3u);
    }
}

TEST(OsFacts, DateAndTimeFollowTheUsersFormats) {
    test::TempMachine m;
    std::string text = FormatLocalDateTimeNow();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d\.\d\d\.\d{4}( \d\d:\d\d:\d\d)?)"))) << text;
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey("Control Panel\\International", false));
    reg.WriteString("sShortDate", "yyyy-MM-dd");
    reg.WriteString("sTimeFormat", "h:mm:ss tt");
    text = FormatLocalDateTimeNow();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\d( \d{1,2}:\d\d:\d\d (AM|PM))?)"))) << text;
    // An unreadable user hive: the formats of a machine without settings.
    m.WriteFile("user.reg", "NOT A REGISTRY\n");
    EXPECT_NO_THROW(text = FormatLocalDateTimeNow());
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d{1,2}/\d{1,2}/\d{4}( \d{1,2}:\d\d:\d\d (AM|PM))?)"))) << text;
}
