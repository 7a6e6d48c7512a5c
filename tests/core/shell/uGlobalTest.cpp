#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

#include "platform/api/Registry.h"
#include "core/shell/uGlobal.h"
#include "platform/api/Backend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

constexpr const char* kNt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* k9x = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
constexpr const char* kOptions = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

void Set(const char* key, const char* name, const std::string& value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, value);
}

void SetDword(const char* key, const char* name, int32_t value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteInteger(name, value);
}

// ProductSuite is a multi-string, which only the hive file itself can hold.
void SetSuites(test::TempMachine& m, const std::u16string& names) {
    std::u16string multi = names + u'\0' + u'\0';
    std::string hex;
    for (char16_t c : multi) {
        char b[16];
        std::snprintf(b, sizeof b, "%s%02x,%02x", hex.empty() ? "" : ",", c & 0xFF, c >> 8);
        hex += b;
    }
    std::string hive = m.ReadFile("system.reg");
    size_t at = hive.find("\"ProductSuite\"=");
    ASSERT_NE(at, std::string::npos);
    hive.replace(at, hive.find('\n', at) - at, "\"ProductSuite\"=hex(7):" + hex);
    m.WriteFile("system.reg", hive);
}

std::string Describe() {
    TWinVersionInfo v;
    EXPECT_TRUE(GetWinVersionInfo(v));
    return v.Description;
}

}  // namespace

TEST(CalcPercentage, TruncatesAndNeverDividesByZero) {
    EXPECT_EQ(CalcPercentage(0, 0), 0);
    EXPECT_EQ(CalcPercentage(1, 3), 33);
    EXPECT_EQ(CalcPercentage(2, 3), 66);
    EXPECT_EQ(CalcPercentage(3, 3), 100);
    EXPECT_EQ(CalcPercentage(INT_MAX - 1, INT_MAX), 99) << "no overflow in done * 100";
}

TEST(WinVersion, NtNamesAndEditions) {
    test::TempMachine m;  // XP Professional SP3
    TWinVersionInfo v;
    ASSERT_TRUE(GetWinVersionInfo(v));
    EXPECT_EQ(v.Description, "Windows XP Professional");
    EXPECT_EQ(v.MajorVersion * 10 + v.MinorVersion, 51u);
    EXPECT_EQ(v.BuildNumber, 2600u);
    EXPECT_EQ(v.PlatformId, 2u);
    EXPECT_EQ(v.CSDVersion, "Service Pack 3");
    EXPECT_EQ(v.ServicePackMajor, 3u);
    EXPECT_EQ(v.ProductType, 1u);

    SetSuites(m, u"Personal");
    EXPECT_EQ(Describe(), "Windows XP Personal ");
    Set(kNt, "CurrentVersion", "5.0");
    Set(kOptions, "ProductType", "ServerNT");
    SetSuites(m, u"Enterprise");
    EXPECT_EQ(Describe(), "Windows 2000 Advanced Server ");
    SetSuites(m, std::u16string(u"Enterprise\0DataCenter", 21));
    EXPECT_EQ(Describe(), "Windows 2000 DataCenter Server ");
    Set(kOptions, "ProductType", "LanmanNT");  // domain controller
    EXPECT_EQ(Describe(), "Windows 2000 DataCenter Server ");
    // Later versions have no name but are still the NT family.
    Set(kNt, "CurrentVersion", "5.2");
    Set(kOptions, "ProductType", "WinNT");
    ASSERT_TRUE(GetWinVersionInfo(v));
    EXPECT_EQ(v.Description, "Professional");
    EXPECT_EQ(v.PlatformId, 2u);
}

TEST(WinVersion, Nt4EditionNeedsTheExtendedQuery) {
    test::TempMachine m;
    Set(kNt, "CurrentVersion", "4.0");
    Set(kNt, "CSDVersion", "Service Pack 5");
    SetDword("SYSTEM\\CurrentControlSet\\Control\\Windows", "CSDVersion", 0x500);
    TWinVersionInfo v;
    ASSERT_TRUE(GetWinVersionInfo(v));
    EXPECT_EQ(v.Description, "Windows NT ") << "basic query only: no edition";
    EXPECT_EQ(v.ProductType, 0u);

    SetDword("SYSTEM\\CurrentControlSet\\Control\\Windows", "CSDVersion", 0x600);
    EXPECT_EQ(Describe(), "Windows NT Workstation ") << "ProductOptions replaces Professional";
    Set(kOptions, "ProductType", "SERVERNT");
    EXPECT_EQ(Describe(), "Windows NT Server ");
    Set(kOptions, "ProductType", "Other");  // a workstation whose word matches nothing
    EXPECT_EQ(Describe(), "Windows NT Professional");
}

TEST(WinVersion, Family9xNamesAndEditions) {
    test::TempMachine m(TMachineFamily::Win9x);
    TWinVersionInfo v;
    ASSERT_TRUE(GetWinVersionInfo(v));
    EXPECT_EQ(v.Description, "Windows 98 SE ");
    EXPECT_EQ(v.PlatformId, 1u);

    struct Case { const char* version; const char* sub; const char* description; };
    for (const Case& c : {Case{"4.10.2222", "A", "Windows 98 "},  // "A" only as first character
                          Case{"4.00.950", " C", "Windows 95 OSR2 "},
                          Case{"4.00.950", "C", "Windows 95 "},
                          Case{"4.00.950", "", "Windows 95 "},
                          Case{"4.90.3000", " A ", "Windows Millennium "},
                          Case{"4.20.0", " A ", ""},
                          Case{"3.10.0", "", "Win32s "}}) {
        Set(k9x, "VersionNumber", c.version);
        Set(k9x, "SubVersionNumber", c.sub);
        EXPECT_EQ(Describe(), c.description) << c.version << " '" << c.sub << "'";
    }
    SetDword(k9x, "PlatformId", 3);
    ASSERT_TRUE(GetWinVersionInfo(v)) << "another platform still fills the record";
    EXPECT_EQ(v.PlatformId, 3u);
    EXPECT_EQ(v.Description, "");
}

TEST(WinVersion, NoSystemLeavesTheRecordUntouched) {
    test::TempMachine m;
    m.WriteFile("system.reg", "WINE REGISTRY Version 2\n");
    TWinVersionInfo v;
    v.Description = "untouched";
    v.PlatformId = 7;
    EXPECT_FALSE(GetWinVersionInfo(v));
    EXPECT_EQ(v.Description, "untouched");
    EXPECT_EQ(v.PlatformId, 7u);
}

TEST(SystemRoot, ReadsTheNtValueOnly) {
    {
        test::TempMachine m;
        EXPECT_EQ(ReadSystemRoot(), "C:\\WINDOWS");
        Set(kNt, "SystemRoot", "D:\\WINNT");
        EXPECT_EQ(ReadSystemRoot(), "D:\\WINNT");
    }
    test::TempMachine m(TMachineFamily::Win9x);
    EXPECT_EQ(ReadSystemRoot(), "") << "the 9x family has no NT CurrentVersion key";
}

// The family and CodecStoreMode of a machine come from its platform number
// by one mapping; a query that fails, and every other platform, is a system
// the program does not support.
TEST(MachineFacts, OneMappingFromThePlatformNumber) {
    test::TempMachine m;
    struct Case { int32_t platform; TMachineFamily family; int32_t mode; };
    for (const Case& c : {Case{2, TMachineFamily::NT, 3}, Case{1, TMachineFamily::Win9x, 1},
                          Case{0, TMachineFamily::Unsupported, 0}, Case{3, TMachineFamily::Unsupported, 0}}) {
        SetDword(kNt, "PlatformId", c.platform);
        const TMachineFacts facts = IdentifyMachine();
        EXPECT_EQ(facts.Os.PlatformId, uint32_t(c.platform));
        EXPECT_EQ(facts.Family, c.family) << c.platform;
        EXPECT_EQ(facts.CodecStoreMode, c.mode) << c.platform;
        EXPECT_EQ(facts.Supported(), c.mode != 0);
    }
    m.WriteFile("system.reg", "WINE REGISTRY Version 2\n");
    const TMachineFacts none = IdentifyMachine();
    EXPECT_EQ(none.Family, TMachineFamily::Unsupported) << "no answer at all";
    EXPECT_EQ(none.CodecStoreMode, 0);
}

TEST(WinVersion, LaterVersionsAreNamedAsTheirOwnDialogsNameThemWithTheRegistrysEdition) {
    test::TempMachine m;
    // A Wine prefix of Wine's default version holds no edition.
    Set(kNt, "CurrentVersion", "6.1");
    Set(kNt, "CurrentBuildNumber", "7601");
    EXPECT_EQ(Describe(), "Windows 7 Professional");
    SetSuites(m, u"Personal");
    EXPECT_EQ(Describe(), "Windows 7 Home");
    Set(kNt, "EditionID", "HomePremium");
    EXPECT_EQ(Describe(), "Windows 7 Home Premium");
    Set(kNt, "CurrentVersion", "6.0");
    Set(kNt, "EditionID", "Business");
    EXPECT_EQ(Describe(), "Windows Vista Business");
    Set(kNt, "CurrentVersion", "6.3");
    Set(kNt, "EditionID", "Professional");
    EXPECT_EQ(Describe(), "Windows 8.1 Pro");
    Set(kNt, "CurrentVersion", "6.2");
    EXPECT_EQ(Describe(), "Windows 8 Pro");

    // 10 and 11 share their numbers: the build tells them apart.
    SetDword(kNt, "CurrentMajorVersionNumber", 10);
    SetDword(kNt, "CurrentMinorVersionNumber", 0);
    Set(kNt, "CurrentBuildNumber", "21999");
    Set(kNt, "EditionID", "Core");
    EXPECT_EQ(Describe(), "Windows 10 Home");
    Set(kNt, "CurrentBuildNumber", "22000");
    EXPECT_EQ(Describe(), "Windows 11 Home");
    Set(kNt, "EditionID", "ProfessionalWorkstation");
    EXPECT_EQ(Describe(), "Windows 11 Pro for Workstations");

    // Their server siblings.
    Set(kOptions, "ProductType", "ServerNT");
    Set(kNt, "CurrentBuildNumber", "17763");
    Set(kNt, "EditionID", "ServerDatacenter");
    EXPECT_EQ(Describe(), "Windows Server 2019 Datacenter");
    Set(kNt, "CurrentBuildNumber", "14393");
    Set(kNt, "EditionID", "ServerStandardEval");
    EXPECT_EQ(Describe(), "Windows Server 2016 Standard Evaluation");
    Set(kNt, "CurrentBuildNumber", "20348");
    EXPECT_EQ(Describe(), "Windows Server 2022 Standard Evaluation");
    Set(kNt, "CurrentBuildNumber", "26100");
    EXPECT_EQ(Describe(), "Windows Server 2025 Standard Evaluation");
    Set(kNt, "EditionID", "");
    SetSuites(m, u"Enterprise");
    EXPECT_EQ(Describe(), "Windows Server 2025 Enterprise");
    Set(kOptions, "ProductType", "LanmanNT");
    SetSuites(m, u"DataCenter");
    EXPECT_EQ(Describe(), "Windows Server 2025 Datacenter");
}
