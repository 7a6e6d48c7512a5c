// A machine Wine runs, as Wine's codec manager sees it: the registry's
// entries, then SYSTEM.INI's, Wine's name rules, the shadowed entry of a
// FOURCC in both, and every operation keeping each entry in its own store.
// The machines are written by the tests: a bare machine made a Wine prefix
// (dosdevices), 64-bit where the views matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"
#include "core/catalogue/uCodecs.h"
#include "core/operations/CodecOperations.h"
#include "core/shell/uConst.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A bare machine that Wine has run on; 64-bit when asked, with its view.
void MakeWinePrefix(const test::TempMachine& m, bool bits64 = false, int view = 0) {
    fs::create_directories(m.Root() / "dosdevices");
    if (bits64) {
        std::string reg = Slurp(m.Root() / "system.reg");
        const size_t at = reg.find("#arch=win32");
        ASSERT_NE(at, std::string::npos);
        reg.replace(at, 11, "#arch=win64");
        m.WriteFile("system.reg", reg);
        fs::create_directories(m.Root() / "drive_c/windows/syswow64");
    }
    SelectMachine(m.Root());
    machine::CurrentMachine().SetView(view);
}

void Put(const char* key, const std::string& name, const std::string& value) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(name, value);
}

void Ini(const test::TempMachine& m, const std::string& drivers32) {
    m.WriteFile("drive_c/windows/system.ini", "[mci]\ncdaudio=mcicda.dll\n[drivers32]\n" + drivers32);
}

struct AutoYes : TOperationQuestions {
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
    TAnswer AskRemove() override { return TAnswer::Yes; }
};

class WineStore : public ::testing::Test {
protected:
    void Load() {
        prefs.CodecStoreMode = 3;
        prefs.AutoSwap = true;
        catalogue = std::make_unique<TCodecCatalogue>(prefs, log);
        catalogue->LoadActiveList();
        catalogue->LoadInactiveCodecList();
        ops = std::make_unique<TCodecOperations>(*catalogue, answers);
    }
    // "fourcc=driver store" of each row, "(shadowed)" where it is.
    std::vector<std::string> Active() const {
        std::vector<std::string> out;
        for (const TCodecEntry& e : catalogue->CodecList.Entries())
            out.push_back(e.Fourcc + "=" + e.Driver + " " + StoreCellText(e, TListKind::Active));
        return out;
    }
    std::vector<std::string> Inactive() const {
        std::vector<std::string> out;
        for (const TCodecEntry& e : catalogue->InactiveCodecList.Entries())
            out.push_back(e.Fourcc + "=" + e.Driver + " " + StoreKey(e, TListKind::Inactive));
        return out;
    }
    size_t Row(const std::string& fourcc, const std::string& driver = {}) const {
        return ActiveRowsOf(catalogue->CodecList, fourcc, driver).front();
    }
    std::string Section() const {
        std::vector<char> buf(32767, 0);
        uint32_t n = GetPrivateProfileSectionA(cDrivers32Section, buf.data(), uint32_t(buf.size()), cSystemIni);
        std::vector<std::string> lines;
        SplitSectionBuffer(buf.data(), n, lines);
        std::string out;
        for (const std::string& l : lines) out += l + "\n";
        return out;
    }

    TPreferences prefs;
    TLog log;
    AutoYes answers;
    std::unique_ptr<TCodecCatalogue> catalogue;
    std::unique_ptr<TCodecOperations> ops;
};

}  // namespace

TEST_F(WineStore, TheRegistrysEntriesComeFirstThenSystemIniLinesByWinesNameRules) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.IV50", "ir50_32.dll");
    Put(cDrivers32Key, "vidc.abcde", "five.dll");  // not "vidc." and four: Wine passes over it
    Put(cDrivers32Key, "msacm.imaadpcm", "imaadp32.acm");
    Ini(m, "msacm.l3acm=l3codeca.acm\nvidc.mrle=msrle32.dll\nvidc.xyz=a.dll\n; vidc.IV31=ir32_32.dll\n"
           "VIDC.CVID=iccvid.dll\n");
    // Before Wine has run on it, the folder is a machine of Windows' rules:
    // SYSTEM.INI's lines are not codecs of the NT family.
    Load();
    EXPECT_EQ(Active(), (std::vector<std::string>{"iv50=ir50_32.dll Registry", "abcde=five.dll Registry"}));

    MakeWinePrefix(m);
    Load();
    EXPECT_EQ(Active(), (std::vector<std::string>{"iv50=ir50_32.dll Registry", "mrle=msrle32.dll SYSTEM.INI",
                                                  "cvid=iccvid.dll SYSTEM.INI"}));
    EXPECT_EQ(std::string(StoreKey(catalogue->CodecList.Entry(1), TListKind::Active)), "system.ini");
    // The codec manager finds a SYSTEM.INI codec too, as Wine's does.
    fs::copy_file(fs::path(TARNEL_DEMO_FILES_DIR) / "rawview.dll", m.System32() / "msrle32.dll");
    EXPECT_NE(ICOpen(FourccToCode("VIDC"), FourccToCode("MRLE"), kIcModeQuery), 0u);
}

TEST_F(WineStore, ASystemIniCodecLeavesItsLineAndComesBackToItsKeyLeavingTheOtherLinesAsTheyStand) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.iv50", "ir50_32.dll");
    Ini(m, "msacm.l3acm=l3codeca.acm\nvidc.mrle=msrle32.dll\nvidc.MSVC=msvidc32.dll\nvidc.cvid=iccvid.dll\n"
           "; vidc.IV31=ir32_32.dll\n");
    MakeWinePrefix(m);
    const std::string before = m.ReadFile("drive_c/windows/system.ini");
    Load();
    ASSERT_TRUE(ops->Deactivate({Row("msvc")}).Saved);
    EXPECT_EQ(Section(), "msacm.l3acm=l3codeca.acm\nvidc.mrle=msrle32.dll\nvidc.cvid=iccvid.dll\n");
    EXPECT_EQ(Inactive(), (std::vector<std::string>{"msvc=msvidc32.dll system.ini"}));

    // The inactive entry keeps the six texts every reader of the store
    // knows; where it goes back to is kept beside it.
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKeyReadOnly(cInactiveKey));
        std::vector<std::string> texts;
        ReadBinaryStrings(reg, "#001#", texts);
        EXPECT_EQ(texts.size(), 6u);
        ASSERT_TRUE(reg.OpenKeyReadOnly(std::string("\\") + cInactiveHomeKey));
        EXPECT_EQ(reg.ReadString("#001#"), "system.ini|vidc.MSVC|msvidc32.dll");
    }
    // The backup holds both stores' entries, SYSTEM.INI's by FOURCC.
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKeyReadOnly(cDrivers32BackupKey));
        EXPECT_EQ(reg.ReadString("vidc.iv50"), "ir50_32.dll");
        EXPECT_EQ(reg.ReadString("msvc"), "msvidc32.dll");
        EXPECT_EQ(reg.ReadString("mrle"), "msrle32.dll");
    }

    Load();  // from the store, as a later start reads it
    ASSERT_TRUE(ops->Activate({0}).Saved);
    EXPECT_EQ(Active(), (std::vector<std::string>{"iv50=ir50_32.dll Registry", "mrle=msrle32.dll SYSTEM.INI",
                                                  "cvid=iccvid.dll SYSTEM.INI", "msvc=msvidc32.dll SYSTEM.INI"}));
    const std::string after = m.ReadFile("drive_c/windows/system.ini");
    EXPECT_NE(after.find("vidc.MSVC=msvidc32.dll"), std::string::npos) << after;
    EXPECT_EQ(after.substr(0, before.find("vidc.MSVC")), before.substr(0, before.find("vidc.MSVC")));
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        EXPECT_FALSE(reg.OpenKeyReadOnly(cInactiveHomeKey)) << "nothing is out of service any more";
    }
}

TEST_F(WineStore, AFourccInBothStoresShowsTheShadowedOneAndNoOperationLosesEither) {
    test::TempMachine m;
    Put(cDrivers32Key, "vidc.cvid", "newcvid.dll");
    Ini(m, "vidc.cvid=iccvid.dll\nvidc.mrle=msrle32.dll\n");
    MakeWinePrefix(m);
    Load();
    EXPECT_EQ(Active(), (std::vector<std::string>{"cvid=newcvid.dll Registry", "cvid=iccvid.dll SYSTEM.INI (shadowed)",
                                                  "mrle=msrle32.dll SYSTEM.INI"}));
    EXPECT_EQ(catalogue->CodecList.Entry(1).ShadowedBy, "the registry's vidc.cvid");
    EXPECT_NE(ActiveRowRemark(catalogue->InactiveCodecList, catalogue->CodecList.Entry(1))
                  .find("shadowed by the registry's vidc.cvid"),
              std::string::npos);
    auto all = [&] {
        std::vector<std::string> both = Active();
        for (const std::string& s : Inactive()) both.push_back(s);
        for (std::string& s : both) s = s.substr(0, s.find(' '));
        std::sort(both.begin(), both.end());
        return both;
    };
    const std::vector<std::string> codecs = all();

    // Out of service and back: the shadowed line returns to SYSTEM.INI.
    ASSERT_TRUE(ops->Deactivate({Row("cvid", "iccvid.dll")}).Saved);
    EXPECT_EQ(all(), codecs);
    Load();
    ASSERT_TRUE(ops->Activate({0}).Saved);  // swaps with the registry's cvid
    EXPECT_EQ(all(), codecs);
    EXPECT_EQ(Inactive(), (std::vector<std::string>{"cvid=newcvid.dll registry"}));
    EXPECT_NE(Section().find("vidc.cvid=iccvid.dll"), std::string::npos);
    Load();
    ASSERT_TRUE(ops->Activate({0}).Saved);  // and back again
    EXPECT_EQ(all(), codecs);
    EXPECT_EQ(Inactive(), (std::vector<std::string>{"cvid=iccvid.dll system.ini"}));
    EXPECT_EQ(Section(), "vidc.mrle=msrle32.dll\n");

    // A save of the lists and a restore of the backup keep both, each in its store.
    ASSERT_TRUE(ops->SaveLists().Saved);
    ASSERT_TRUE(ops->RestoreBackup().Saved);
    Load();
    EXPECT_EQ(all(), codecs);
    EXPECT_EQ(Active(), (std::vector<std::string>{"cvid=newcvid.dll Registry", "mrle=msrle32.dll SYSTEM.INI"}));
}

TEST_F(WineStore, AHomeThatNoLongerFitsItsEntrySendsItToTheRegistry) {
    test::TempMachine m;
    Ini(m, "vidc.mrle=msrle32.dll\n");
    MakeWinePrefix(m);
    Load();
    ASSERT_TRUE(ops->Deactivate({0}).Saved);
    // Another program put another codec under the number.
    Put(cInactiveHomeKey, "#001#", "system.ini|vidc.mrle|other.dll");
    Load();
    EXPECT_EQ(Inactive(), (std::vector<std::string>{"mrle=msrle32.dll registry"}));
    ASSERT_TRUE(ops->Activate({0}).Saved);
    Load();
    EXPECT_EQ(Active(), (std::vector<std::string>{"mrle=msrle32.dll Registry"}));
}

TEST(WineViews, A64BitPrefixHasTwoViewsOfTheRegistryAndTheSystemFolderAndOneSystemIni) {
    test::TempMachine m;
    fs::create_directories(m.Root() / "dosdevices");
    std::string reg = m.ReadFile("system.reg");
    reg.replace(reg.find("#arch=win32"), 11, "#arch=win64");
    m.WriteFile("system.reg", reg);
    SelectMachine(m.Root());
    machine::TMachineBackend& machine = machine::CurrentMachine();
    EXPECT_EQ(machine.View(), 32) << "the program's own view by default";
    EXPECT_EQ(GetSystemDirectoryA(), "C:\\WINDOWS\\syswow64");
    Put(cDrivers32Key, "vidc.ab32", "ab32.dll");
    Put("SOFTWARE\\Classes\\CLSID\\{1}", "x", "shared");  // a class key no view redirects here
    machine.SetView(64);
    EXPECT_EQ(GetSystemDirectoryA(), "C:\\WINDOWS\\system32");
    Put(cDrivers32Key, "vidc.ab64", "ab64.dll");
    {
        TRegistry r;
        r.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(r.OpenKeyReadOnly(cDrivers32Key));
        EXPECT_FALSE(r.ValueExists("vidc.ab32"));
        ASSERT_TRUE(r.OpenKeyReadOnly("\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32"));
        EXPECT_TRUE(r.ValueExists("vidc.ab32")) << "the 32-bit view's key, as Windows redirects it";
        r.SetRootKey(kHkeyClassesRoot);
        EXPECT_TRUE(r.OpenKeyReadOnly("CLSID\\{1}"));
    }
    machine.SetView(32);
    {
        TRegistry r;
        r.SetRootKey(kHkeyClassesRoot);
        EXPECT_TRUE(r.OpenKeyReadOnly("CLSID\\{1}")) << "shared where the 32-bit side has no key of its own";
        r.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(r.OpenKeyReadOnly(cDrivers32Key));
        EXPECT_FALSE(r.ValueExists("vidc.ab64"));
    }
    // The OS facts are the same in both views.
    OSVERSIONINFOEXA os{};
    os.dwOSVersionInfoSize = kOsVersionInfoExSize;
    EXPECT_TRUE(GetVersionExA(&os));
    EXPECT_EQ(os.dwPlatformId, 2u);

    // A 32-bit machine has one view, and no 64-bit one.
    test::TempMachine one;
    EXPECT_EQ(machine::CurrentMachine().View(), 0);
    EXPECT_THROW(machine::CurrentMachine().SetView(64), EPlatformError);
}
