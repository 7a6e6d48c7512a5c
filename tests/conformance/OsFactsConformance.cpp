// The OS facts: the version query in both forms, the folders, and the local
// date and time in the user's formats.
#include <cstring>
#include <regex>

#include "conformance/Conformance.h"
#include "platform/api/Ansi.h"
#include "platform/api/Backend.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"

namespace tarnel::conformance {
namespace {

using namespace platform;

using OsFactsConformance = ConformanceTest;

OSVERSIONINFOEXA Query(uint32_t size, bool& ok) {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0xCC, sizeof info);
    info.dwOSVersionInfoSize = size;
    ok = GetVersionExA(&info);
    return info;
}

// Windows answers the version query from the kernel and keeps the same
// facts in the registry, where the emulation reads them: both must agree.
TEST_F(OsFactsConformance, TheVersionQueryAgreesWithTheRegistry) {
    bool basicOk = false, extendedOk = false;
    OSVERSIONINFOEXA basic = Query(kOsVersionInfoSize, basicOk);
    OSVERSIONINFOEXA extended = Query(kOsVersionInfoExSize, extendedOk);
    ASSERT_TRUE(basicOk);
    ASSERT_TRUE(extendedOk) << "an NT family system from 4.0 SP6 on";
    EXPECT_EQ(basic.dwPlatformId, kVerPlatformWin32Nt);
    EXPECT_EQ(CurrentBackend().Family(), TMachineFamily::NT);
    EXPECT_EQ(basic.dwMajorVersion, extended.dwMajorVersion);
    EXPECT_EQ(basic.dwBuildNumber, extended.dwBuildNumber);
    EXPECT_STREQ(basic.szCSDVersion, extended.szCSDVersion);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&basic)[kOsVersionInfoSize], 0xCC)
        << "the basic form writes nothing past its 148 bytes";

    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kNtCurrentVersionKeyPath));
    EXPECT_EQ(reg.ReadString("CurrentVersion"),
              std::to_string(extended.dwMajorVersion) + "." + std::to_string(extended.dwMinorVersion));
    EXPECT_EQ(reg.ReadString("CurrentBuildNumber"), std::to_string(extended.dwBuildNumber));
    EXPECT_EQ(reg.ReadString("CSDVersion"), extended.szCSDVersion);
    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string("\\") + kControlWindowsKeyPath));
    EXPECT_EQ(uint32_t(reg.ReadInteger("CSDVersion")),
              uint32_t(extended.wServicePackMajor) << 8 | extended.wServicePackMinor);
    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string("\\") + kProductOptionsKeyPath));
    const std::string type = reg.ReadString("ProductType");
    EXPECT_EQ(extended.wProductType, EqualsNoCase(type, "WinNT") ? 1 : EqualsNoCase(type, "LanmanNT") ? 2 : 3);
}

TEST_F(OsFactsConformance, OtherRecordSizesAreRefused) {
    for (uint32_t size : {0u, 100u, 152u, 160u}) {
        bool ok = true;
        Query(size, ok);
        EXPECT_FALSE(ok) << size;
    }
}

TEST_F(OsFactsConformance, TheSystemFolderLiesInTheWindowsFolderTheRegistryNames) {
    const std::string windows = GetWindowsDirectoryA();
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kNtCurrentVersionKeyPath));
    EXPECT_TRUE(EqualsNoCase(reg.ReadString("SystemRoot"), windows)) << windows;
    EXPECT_TRUE(EqualsNoCase(GetSystemDirectoryA(), windows + "\\system32")) << GetSystemDirectoryA();
}

// The log's time stamps: the user's short date and long time formats.
TEST_F(OsFactsConformance, TheDateAndTimeFollowTheUsersFormats) {
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(kInternationalKeyPath, true));
    const std::string oldDate = reg.ReadString("sShortDate"), oldTime = reg.ReadString("sTimeFormat");
    reg.WriteString("sShortDate", "yyyy'-'MM'-'dd");
    reg.WriteString("sTimeFormat", "HH'h'mm'm'ss");
    const std::string now = FormatLocalDateTimeNow();
    auto restore = [&](const char* name, const std::string& old) {
        if (old.empty()) reg.DeleteValue(name);
        else reg.WriteString(name, old);
    };
    restore("sShortDate", oldDate);
    restore("sTimeFormat", oldTime);
    EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\d( \d\dh\d\dm\d\d)?)"))) << now;
}

}  // namespace
}  // namespace tarnel::conformance
