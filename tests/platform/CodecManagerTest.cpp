#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/api/Ansi.h"
#include "platform/api/CodecManager.h"
#include "platform/machine/MachineBackend.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t Code(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

const char* kDrivers32 = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

void Register(const std::string& name, const std::string& driver) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kDrivers32, true));
    reg.WriteString(name, driver);
}

void Unregister(const std::string& name) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kDrivers32, false));
    reg.DeleteValue(name);
}

void Install(const test::TempMachine& m, const std::string& fixture, const std::string& as) {
    fs::copy_file(test::PeFixture(fixture), m.System32() / as, fs::copy_options::overwrite_existing);
}

std::string Narrow(const char16_t* w) { return Utf16ToAnsi(std::u16string(w)); }

ICINFO InfoOf(HIC h) {
    ICINFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    ICGetInfo(h, &info, sizeof info);
    return info;
}

}  // namespace

TEST(CodecManager, PlainDriverAnswersWithItsVersionNamesAndOffersNoDialogs) {
    test::TempMachine m;
    Install(m, "version32.dll", "Bwlt32.DLL");
    Register("vidc.bwlt", "bwlt32.dll");
    HIC h = ICOpen(Code("VIDC"), Code("BWLT"), kIcModeQuery);
    ASSERT_NE(h, 0u);
    ICINFO info = InfoOf(h);
    EXPECT_EQ(info.dwSize, 568u);
    EXPECT_EQ(info.fccType, Code("vidc"));
    EXPECT_EQ(Narrow(info.szName), "bwlt");
    EXPECT_EQ(Narrow(info.szDescription), "Brennic Wavelet Codec");
    EXPECT_EQ(Narrow(info.szDriver), "bwlt32.dll");
    EXPECT_EQ(ICSendMessage(h, kIcmConfigure, -1, 0), kIcErrUnsupported);
    EXPECT_EQ(ICSendMessage(h, kIcmAbout, -1, 0), kIcErrUnsupported);
    EXPECT_EQ(ICClose(h), kIcErrOk);
    EXPECT_EQ(InfoOf(h).fccType, 0u) << "a closed handle answers nothing";

    // The same file answers any FOURCC routed to it.
    Register("VIDC.ZZZZ", "C:\\Windows\\System32\\bwlt32.dll");
    h = ICOpen(Code("vidc"), Code("zzzz"), kIcModeFastCompress);
    EXPECT_NE(h, 0u);
    ICClose(h);
}

TEST(CodecManager, LookupFollowsTheLiveStoreAtEachOpen) {
    test::TempMachine m;
    Install(m, "version32.dll", "probe.dll");
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("PRB1"), kIcModeQuery), 0u) << "not registered yet";
    Register("vidc.prb1", "probe.dll");
    HIC h = ICOpen(Code("VIDC"), Code("PRB1"), kIcModeQuery);
    EXPECT_NE(h, 0u) << "an entry made a moment before the open is found";
    ICClose(h);
    Unregister("vidc.prb1");
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("PRB1"), kIcModeQuery), 0u) << "and a removed one is gone";
}

TEST(CodecManager, MissingNonPeAndMisroutedDriversCannotBeOpened) {
    test::TempMachine m;
    Register("vidc.miss", "missing.dll");
    m.WriteFile("drive_c/windows/system32/text.dll", "this is not an image");
    Register("vidc.text", "text.dll");
    Install(m, "noversion32.dll", "nover.dll");
    Register("msacm.nove", "nover.dll");
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("MISS"), kIcModeQuery), 0u);
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("TEXT"), kIcModeQuery), 0u);
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("NOVE"), kIcModeQuery), 0u) << "only vidc entries are codecs";
    EXPECT_EQ(ICOpen(Code("AUDC"), Code("NOVE"), kIcModeQuery), 0u);
}

TEST(CodecManager, DriverWithoutVersionResourceHasEmptyNames) {
    test::TempMachine m;
    Install(m, "noversion32.dll", "nover.dll");
    Register("vidc.nove", "nover.dll");
    HIC h = ICOpen(Code("VIDC"), Code("NOVE"), kIcModeQuery);
    ASSERT_NE(h, 0u);
    ICINFO info = InfoOf(h);
    EXPECT_EQ(Narrow(info.szName), "");
    EXPECT_EQ(Narrow(info.szDescription), "");
    ICClose(h);
}

TEST(CodecManager, NullHandlesAreHarmless) {
    test::TempMachine m;
    ICINFO info;
    std::memset(&info, 0, sizeof info);
    info.dwSize = sizeof info;
    EXPECT_EQ(ICGetInfo(0, &info, sizeof info), kIcErrBadHandle);
    EXPECT_EQ(info.fccType, 0u);
    EXPECT_EQ(info.szName[0], 0);
    bool shown = false;
    machine::CurrentMachine().SetCodecDialogHandler([&](machine::CodecDialogKind, const std::string&, const std::string&) { shown = true; });
    EXPECT_EQ(ICSendMessage(0, kIcmConfigure, 0, 0), kIcErrBadHandle);
    EXPECT_EQ(ICSendMessage(0, kIcmAbout, 0, 0), kIcErrBadHandle);
    EXPECT_FALSE(shown);
    EXPECT_EQ(ICClose(0), kIcErrBadHandle);
    machine::CurrentMachine().SetCodecDialogHandler({});
}

TEST(CodecManager, NinetyEightFamilyRoutesThroughSystemIni) {
    test::TempMachine m(TMachineFamily::Win9x);
    fs::copy_file(test::PeFixture("version32.dll"), m.Root() / "drive_c/windows/system/bwlt.dll");
    Register("vidc.bwlt", "bwlt.dll");
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("BWLT"), kIcModeQuery), 0u) << "this family does not read Drivers32";
    ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "VIDC.BWLT", "bwlt.dll", "system.ini"));
    HIC h = ICOpen(Code("VIDC"), Code("BWLT"), kIcModeQuery);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Narrow(InfoOf(h).szDescription), "Brennic Wavelet Codec");
    ICClose(h);
}

TEST(CodecManager, GetInfoAnswersLikeTheSystemManager) {
    test::TempMachine m;
    Install(m, "version32.dll", "bwlt.dll");
    Register("vidc.bwlt", "bwlt.dll");
    HIC h = ICOpen(Code("VIDC"), Code("BWLT"), kIcModeQuery);
    ASSERT_NE(h, 0u);
    unsigned char buf[600];
    std::memset(buf, 0xAB, sizeof buf);
    // A record too small for the whole of it gets nothing at all.
    EXPECT_EQ(ICGetInfo(h, reinterpret_cast<ICINFO*>(buf), 8), 0);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(ICGetInfo(h, nullptr, 0), kMmsysErrInvalParam) << "the manager refuses a missing record";
    EXPECT_EQ(ICSendMessage(h, kIcmGetInfo, 0, 0), intptr_t(sizeof(ICINFO))) << "the driver tells its size";
    EXPECT_EQ(ICGetInfo(h, reinterpret_cast<ICINFO*>(buf), sizeof(ICINFO)), intptr_t(sizeof(ICINFO)));
    EXPECT_EQ(buf[sizeof(ICINFO)], 0xAB);
    // The driver's file name, without its folder.
    Register("vidc.bwl2", "C:\\WINDOWS\\system32\\bwlt.dll");
    EXPECT_EQ(ICClose(h), kIcErrOk);
    EXPECT_EQ(ICClose(h), kIcErrBadHandle);
    h = ICOpen(Code("VIDC"), Code("BWL2"), kIcModeQuery);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(Narrow(InfoOf(h).szDriver), "bwlt.dll");
    ICClose(h);
}

TEST(CodecManager, OnlyALibraryWithADriverProcedureOpens) {
    test::TempMachine m(TMachineFamily::NT, /*demo=*/true);
    // A DirectShow filter's server is a library, but no codec driver.
    Register("vidc.filt", "lcsplit.ax");
    EXPECT_EQ(ICOpen(Code("VIDC"), Code("FILT"), kIcModeQuery), 0u);
    Install(m, "version32.dll", "plain.dll");
    Register("vidc.plai", "plain.dll");
    HIC h = ICOpen(Code("VIDC"), Code("PLAI"), kIcModeQuery);
    EXPECT_NE(h, 0u);
    ICClose(h);
}
