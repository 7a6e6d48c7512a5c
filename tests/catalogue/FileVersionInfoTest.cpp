#include <gtest/gtest.h>

#include "catalogue/FileVersionInfo.h"
#include "support/TempMachine.h"

using namespace tarnel;

namespace {

constexpr int32_t kProfileMode = 1;
constexpr int32_t kRegistryMode = 3;

std::string Fixture(const char* name) { return test::PeFixture(name).string(); }

std::vector<std::string> Strings(const TFileVersionInfo& v) {
    return {v.CompanyName(),      v.FileDescription(), v.FileVersion(),    v.InternalName(),
            v.LegalCopyright(),   v.LegalTradeMarks(), v.OriginalFilename(), v.ProductName(),
            v.ProductVersion(),   v.Comments()};
}

bool AllEmpty(const TFileVersionInfo& v) {
    for (const std::string& s : Strings(v))
        if (!s.empty()) return false;
    return true;
}

}  // namespace

TEST(FileVersion, UsualLayoutReadsAllTenStringsInBothModes) {
    test::TempMachine m;
    for (int32_t mode : {kRegistryMode, 4, kProfileMode, 2}) {
        for (const char* file : {"version32.dll", "version64.dll"}) {
            TFileVersionInfo v(mode);
            v.SetExecutableFile(Fixture(file));
            EXPECT_EQ(v.CountryCode(), "040904E4") << mode << file;
            EXPECT_EQ(Strings(v),
                      (std::vector<std::string>{"Brennic Labs", "Brennic Wavelet Codec",
                                                "2.7.0.113", "bwlt", "\xA9 2026 Brennic Labs",
                                                "Wavelet\xAE", "bwlt32.dll", "Brennic Wavelet",
                                                "2.7", ""}))
                << mode << file;
        }
    }
}

TEST(FileVersion, NoFileOrNoResourceIsNotDefined) {
    test::TempMachine m;
    TFileVersionInfo v(kRegistryMode);
    for (const std::string& file : {std::string("."), Fixture("noversion32.dll"),
                                    std::string("missing.dll")}) {
        v.SetExecutableFile(Fixture("version32.dll"));
        ASSERT_EQ(v.FileVersion(), "2.7.0.113");
        v.SetExecutableFile(file);
        EXPECT_EQ(v.ExecutableFile(), file);
        EXPECT_EQ(v.CompanyName(), "[Not Defined]") << file;
        EXPECT_EQ(v.CountryCode(), "") << file;
        std::vector<std::string> rest = Strings(v);
        rest.erase(rest.begin());
        EXPECT_EQ(rest, std::vector<std::string>(9)) << "nothing of the previous file survives";
    }
}

TEST(FileVersion, TableKeyRulesDifferBetweenTheFamilies) {
    test::TempMachine m;
    TFileVersionInfo nt(kRegistryMode), w9x(kProfileMode);

    // The first table is an empty one for another language.
    nt.SetExecutableFile(Fixture("secondtable32.dll"));
    EXPECT_EQ(nt.CountryCode(), "040704B0");
    EXPECT_TRUE(AllEmpty(nt));
    w9x.SetExecutableFile(Fixture("secondtable32.dll"));
    EXPECT_EQ(w9x.CountryCode(), "040904E4");
    EXPECT_EQ(w9x.CompanyName(), "Quellmark");

    // StringFileInfo is not where the fixed offsets look.
    nt.SetExecutableFile(Fixture("varfirst32.dll"));
    EXPECT_NE(nt.CountryCode(), "040904E4");
    EXPECT_TRUE(AllEmpty(nt));
    w9x.SetExecutableFile(Fixture("varfirst32.dll"));
    EXPECT_EQ(w9x.CompanyName(), "Ostrander Media");

    // The translation names a table the file does not have.
    w9x.SetExecutableFile(Fixture("badtranslation32.dll"));
    EXPECT_EQ(w9x.CountryCode(), "040704B0");
    EXPECT_TRUE(AllEmpty(w9x));
    nt.SetExecutableFile(Fixture("badtranslation32.dll"));
    EXPECT_EQ(nt.CompanyName(), "Feldwick");
    EXPECT_EQ(nt.FileVersion(), "4.0.2.0");
}

TEST(FileVersion, ModeComesFromTheSettingsAtEachReload) {
    test::TempMachine m;
    TPreferences prefs;  // CodecStoreMode 0 until the main window sets it
    TFileVersionInfo v(prefs);
    v.SetExecutableFile(Fixture("version32.dll"));
    EXPECT_EQ(v.CountryCode(), "");
    EXPECT_TRUE(AllEmpty(v)) << "no table key: every query fails, but the file has a resource";

    prefs.CodecStoreMode = 3;
    v.SetExecutableFile(v.ExecutableFile());  // the same name reads again
    EXPECT_EQ(v.CompanyName(), "Brennic Labs");

    TCodecVersionInfo r = v.ToCodecVersionInfo();
    EXPECT_EQ(r.CompanyName, "Brennic Labs");
    EXPECT_EQ(r.FileDescription, "Brennic Wavelet Codec");
    EXPECT_EQ(r.FileVersion, "2.7.0.113");
    EXPECT_EQ(r.InternalName, "bwlt");
    EXPECT_EQ(r.LegalCopyright, "\xA9 2026 Brennic Labs");
    EXPECT_EQ(r.LegalTradeMarks, "Wavelet\xAE");
    EXPECT_EQ(r.OriginalFilename, "bwlt32.dll");
    EXPECT_EQ(r.ProductName, "Brennic Wavelet");
    EXPECT_EQ(r.ProductVersion, "2.7");
    EXPECT_EQ(r.Comments, "");
    EXPECT_EQ(r.CountryCode, "040904E4");
}

TEST(FileVersion, DriverNamesResolveInTheSystemFolder) {
    test::TempMachine m;
    std::filesystem::copy_file(test::PeFixture("version32.dll"), m.System32() / "BWLT32.DLL");
    TFileVersionInfo v(kRegistryMode);
    v.SetExecutableFile("bwlt32.dll");
    EXPECT_EQ(v.FileVersion(), "2.7.0.113");
}
