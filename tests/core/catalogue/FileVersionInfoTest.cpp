#include <gtest/gtest.h>

#include "core/catalogue/FileVersionInfo.h"
#include "platform/api/VersionApi.h"
#include "platform/machine/AtomicFile.h"
#include "support/TempMachine.h"

#include <filesystem>

using namespace tarnel;
using Strings = std::vector<std::string>;

namespace {

constexpr int32_t kProfileMode = 1;
constexpr int32_t kRegistryMode = 3;

// A fixture read by its host path, as the program reads its own file.
std::string Fixture(const char* name) {
    platform::AdmitHostFile(test::PeFixture(name));
    return test::PeFixture(name).string();
}

Strings Texts(const TFileVersionInfo& v) {
    return {v.CompanyName(),    v.FileDescription(), v.FileVersion(),      v.InternalName(),
            v.LegalCopyright(), v.LegalTradeMarks(), v.OriginalFilename(), v.ProductName(),
            v.ProductVersion(), v.Comments()};
}

const Strings kBrennic{"Brennic Labs",   "Brennic Wavelet Codec", "2.7.0.113", "bwlt",
                       "\xA9 2026 Brennic Labs", "Wavelet\xAE",   "bwlt32.dll", "Brennic Wavelet",
                       "2.7",            ""};

}  // namespace

TEST(FileVersion, UsualLayoutReadsAllTenStringsInEveryStoreMode) {
    test::TempMachine m;
    for (int32_t mode : {1, 2, 3, 4}) {
        for (const char* file : {"version32.dll", "version64.dll"}) {
            TFileVersionInfo v(mode);
            v.SetExecutableFile(Fixture(file));
            EXPECT_EQ(v.CountryCode(), "040904E4") << mode << file;
            EXPECT_EQ(Texts(v), kBrennic) << mode << file;
        }
    }
}

TEST(FileVersion, NoFileOrNoResourceIsNotDefinedAndNothingSurvives) {
    test::TempMachine m;
    TFileVersionInfo v(kRegistryMode);
    for (const std::string& file : {std::string("."), Fixture("noversion32.dll")}) {
        v.SetExecutableFile(Fixture("version32.dll"));
        v.SetExecutableFile(file);
        EXPECT_EQ(v.ExecutableFile(), file);
        Strings expected(10);
        expected[0] = "[Not Defined]";
        EXPECT_EQ(Texts(v), expected) << file;
        EXPECT_EQ(v.CountryCode(), "") << file;
    }
}

TEST(FileVersion, TableKeyRulesDifferBetweenTheFamilies) {
    test::TempMachine m;
    TFileVersionInfo nt(kRegistryMode), w9x(kProfileMode);
    auto company = [](TFileVersionInfo& v, const char* file) {
        v.SetExecutableFile(Fixture(file));
        return v.CompanyName();
    };
    // The first table is an empty one for another language.
    EXPECT_EQ(company(nt, "secondtable32.dll"), "");
    EXPECT_EQ(nt.CountryCode(), "040704B0");
    EXPECT_EQ(company(w9x, "secondtable32.dll"), "Quellmark");
    // The string table is not where the usual layout puts it: the block is
    // walked, not read at fixed offsets.
    EXPECT_EQ(company(nt, "varfirst32.dll"), "Ostrander Media");
    EXPECT_EQ(nt.CountryCode(), "040904E4");
    EXPECT_EQ(nt.FileVersion(), "3.1.0.0");
    EXPECT_EQ(company(w9x, "varfirst32.dll"), "Ostrander Media");
    // The translation names a table the file does not have.
    EXPECT_EQ(company(w9x, "badtranslation32.dll"), "");
    EXPECT_EQ(w9x.CountryCode(), "040704B0");
    EXPECT_EQ(company(nt, "badtranslation32.dll"), "Feldwick");
}

TEST(FileVersion, ModeComesFromTheSettingsAtEachReload) {
    test::TempMachine m;
    TPreferences prefs;  // CodecStoreMode 0 until the main window sets it
    TFileVersionInfo v(prefs);
    v.SetExecutableFile(Fixture("version32.dll"));
    EXPECT_EQ(v.CountryCode(), "");
    EXPECT_EQ(Texts(v), Strings(10)) << "no table key: every query fails";

    prefs.CodecStoreMode = 3;
    v.SetExecutableFile(v.ExecutableFile());  // the same name reads again
    TCodecVersionInfo r = v.ToCodecVersionInfo();
    EXPECT_EQ((Strings{r.CompanyName, r.FileDescription, r.FileVersion, r.InternalName,
                       r.LegalCopyright, r.LegalTradeMarks, r.OriginalFilename, r.ProductName,
                       r.ProductVersion, r.Comments}),
              kBrennic);
    EXPECT_EQ(r.CountryCode, "040904E4");
}

TEST(FileVersion, DriversAreReadByTheirMachineNames) {
    test::TempMachine m;
    m.WriteFile("drive_c/windows/system32/VarFirst32.dll", platform::ReadWholeFile(test::PeFixture("varfirst32.dll")));
    TFileVersionInfo v(kRegistryMode);
    for (const char* name : {"varfirst32.dll", "C:\\Windows\\System32\\VARFIRST32.DLL", "/windows/system32/varfirst32.dll"}) {
        v.SetExecutableFile(name);
        EXPECT_EQ(v.CountryCode(), "040904E4") << name;
        EXPECT_EQ(v.CompanyName(), "Ostrander Media") << name;
    }
    // A driver entry naming a file outside the machine reads as none.
    test::TempDir outside;
    std::filesystem::copy_file(test::PeFixture("version32.dll"), outside.Path() / "host.dll");
    v.SetExecutableFile((outside.Path() / "host.dll").string());
    EXPECT_EQ(v.CompanyName(), "[Not Defined]");
}
