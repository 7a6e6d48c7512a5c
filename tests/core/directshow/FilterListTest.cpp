// Reading the DirectShow filter registrations of machines the tests write.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/directshow/FilterList.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

const std::string kInstance = "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\";
constexpr int32_t kRegistryMode = 3;

// One registration: the instance key `key` with what the test gives it.
// `setInstance` and `setServer` write the values; a null `setServer`
// leaves the class without an InprocServer32 key.
void Register(const std::string& key, const std::function<void(TRegistry&)>& setInstance,
              const std::string& clsid = {}, const std::function<void(TRegistry&)>& setServer = {}) {
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKey(kInstance + key, true));
    setInstance(reg);
    reg.CloseKey();
    if (clsid.empty() || !setServer) return;
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\" + clsid + "\\InprocServer32", true));
    setServer(reg);
}

// The usual registration: name, class id and server path, all text.
void Filter(const std::string& key, const std::string& name, const std::string& file) {
    const std::string clsid = "{C1A55" + key + "}";
    Register(
        key,
        [&](TRegistry& r) {
            r.WriteString("FriendlyName", name);
            r.WriteString("CLSID", clsid);
        },
        clsid, [&](TRegistry& r) { r.WriteString("", file); });
}

Strings Row(const TFilterRow& r) { return {r.Filter, r.File, r.Description, r.Version, r.Company}; }

std::vector<Strings> Fill(std::vector<TFilterRow>* keep = nullptr) {
    TFileVersionInfo info(kRegistryMode);
    std::vector<TFilterRow> rows;
    FillFilterList(info, rows);
    std::vector<Strings> out;
    for (const TFilterRow& r : rows) out.push_back(Row(r));
    if (keep) *keep = rows;
    return out;
}

// Fills, expecting the registry's type error; returns the rows kept.
std::vector<Strings> FillFailing(const std::string& message) {
    TFileVersionInfo info(kRegistryMode);
    std::vector<TFilterRow> rows;
    try {
        FillFilterList(info, rows);
        ADD_FAILURE() << "the filling did not fail";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
    std::vector<Strings> out;
    for (const TFilterRow& r : rows) out.push_back(Row(r));
    return out;
}

const Strings kNoFile{"", "", "", "[Not Defined]"};

Strings With(const std::string& name, Strings rest) {
    rest.insert(rest.begin(), name);
    return rest;
}

class FilterList : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(test::PeFixture("version32.dll"), machine.System32() / "bwlt.ax");
        fs::copy_file(test::PeFixture("noversion32.dll"), machine.System32() / "plain.ax");
    }
    test::TempMachine machine;
};

}  // namespace

TEST_F(FilterList, NoCategoryKeyGivesNoRowsAndNoError) { EXPECT_TRUE(Fill().empty()); }

TEST_F(FilterList, RowsFollowTheRegistryOrderWithTheServerFilesVersion) {
    // Key names out of alphabetical order: the registry's order decides.
    Filter("{C}", "Zeta Splitter", "C:\\WINDOWS\\system32\\bwlt.ax");
    Filter("{A}", "Alpha Source", "bwlt.ax");
    Filter("{B}", "Mid Renderer", "plain.ax");
    EXPECT_EQ(Fill(), (std::vector<Strings>{
                          {"Zeta Splitter", "C:\\WINDOWS\\system32\\bwlt.ax", "Brennic Wavelet Codec", "2.7.0.113",
                           "Brennic Labs"},
                          {"Alpha Source", "bwlt.ax", "Brennic Wavelet Codec", "2.7.0.113", "Brennic Labs"},
                          {"Mid Renderer", "plain.ax", "", "", "[Not Defined]"},
                      }));
}

TEST_F(FilterList, TwoFiltersOfOneNameGiveTwoRows) {
    Filter("{1}", "Same Decoder", "bwlt.ax");
    Filter("{2}", "Same Decoder", "gone.ax");
    EXPECT_EQ(Fill(), (std::vector<Strings>{
                          {"Same Decoder", "bwlt.ax", "Brennic Wavelet Codec", "2.7.0.113", "Brennic Labs"},
                          With("Same Decoder", {"gone.ax", "", "", "[Not Defined]"}),
                      }));
}

TEST_F(FilterList, RegistrationsWithoutFriendlyNameGiveNoRow) {
    Register(
        "{1}", [](TRegistry& r) { r.WriteString("CLSID", "{C1A551}"); }, "{C1A551}",
        [](TRegistry& r) { r.WriteString("", "bwlt.ax"); });
    Filter("{2}", "Named", "bwlt.ax");
    Register("{3}", [](TRegistry& r) { r.WriteString("Other", "x"); });
    const auto rows = Fill();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], "Named");
}

TEST_F(FilterList, MissingLinksLeaveTheFileEmptyAndTheCompanyNotDefined) {
    // No CLSID value.
    Register("{1}", [](TRegistry& r) { r.WriteString("FriendlyName", "No Class"); });
    // A CLSID whose class has no InprocServer32 key.
    Register("{2}", [](TRegistry& r) {
        r.WriteString("FriendlyName", "No Server Key");
        r.WriteString("CLSID", "{C1A552}");
    });
    // An InprocServer32 key without a default value.
    Register(
        "{3}",
        [](TRegistry& r) {
            r.WriteString("FriendlyName", "No Server Path");
            r.WriteString("CLSID", "{C1A553}");
        },
        "{C1A553}", [](TRegistry& r) { r.WriteString("ThreadingModel", "Both"); });
    // A server file that is not on the machine.
    Filter("{4}", "Gone", "C:\\WINDOWS\\system32\\gone.ax");
    EXPECT_EQ(Fill(), (std::vector<Strings>{
                          With("No Class", kNoFile),
                          With("No Server Key", kNoFile),
                          With("No Server Path", kNoFile),
                          With("Gone", {"C:\\WINDOWS\\system32\\gone.ax", "", "", "[Not Defined]"}),
                      }));
}

TEST_F(FilterList, AnExpandablePathStaysUnexpandedAndIsNotFound) {
    Register(
        "{1}",
        [](TRegistry& r) {
            r.WriteString("FriendlyName", "Expanded");
            r.WriteString("CLSID", "{C1A551}");
        },
        "{C1A551}", [](TRegistry& r) { r.WriteExpandString("", "%SystemRoot%\\system32\\bwlt.ax"); });
    EXPECT_EQ(Fill(), (std::vector<Strings>{
                          With("Expanded", {"%SystemRoot%\\system32\\bwlt.ax", "", "", "[Not Defined]"})}));
}

TEST_F(FilterList, ANameThatIsNotTextEndsTheFillingKeepingTheRowsBefore) {
    Filter("{1}", "First", "bwlt.ax");
    Register("{2}", [](TRegistry& r) { r.WriteInteger("FriendlyName", 7); });
    Filter("{3}", "Never Read", "bwlt.ax");
    EXPECT_EQ(FillFailing("Invalid data type for 'FriendlyName'"),
              (std::vector<Strings>{{"First", "bwlt.ax", "Brennic Wavelet Codec", "2.7.0.113", "Brennic Labs"}}));
}

TEST_F(FilterList, AClassOrServerThatIsNotTextKeepsTheNamedRowItFailedIn) {
    {
        Filter("{1}", "First", "plain.ax");
        Register("{2}", [](TRegistry& r) {
            r.WriteString("FriendlyName", "Binary Class");
            const char bytes[] = {1, 2, 3};
            r.WriteBinaryData("CLSID", bytes, 3);
        });
        Filter("{3}", "Never Read", "bwlt.ax");
        EXPECT_EQ(FillFailing("Invalid data type for 'CLSID'"),
                  (std::vector<Strings>{{"First", "plain.ax", "", "", "[Not Defined]"},
                                        {"Binary Class", "", "", "", ""}}));
    }
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.DeleteKey("\\CLSID"));
    Register(
        "{1}",
        [](TRegistry& r) {
            r.WriteString("FriendlyName", "Number Server");
            r.WriteString("CLSID", "{C1A551}");
        },
        "{C1A551}", [](TRegistry& r) { r.WriteInteger("", 1); });
    // The default value's name is empty.
    EXPECT_EQ(FillFailing("Invalid data type for ''"), (std::vector<Strings>{{"Number Server", "", "", "", ""}}));
}

TEST_F(FilterList, RowsAreAppendedAndFiltersOfOneFileShareItsTexts) {
    Filter("{1}", "One", "plain.ax");
    Filter("{2}", "Two", "bwlt.ax");
    Filter("{3}", "Three", "plain.ax");
    Filter("{4}", "Four", "BWLT.AX");
    TFileVersionInfo info(kRegistryMode);
    std::vector<TFilterRow> rows(1);
    rows[0].Filter = "kept";
    FillFilterList(info, rows);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].Filter, "kept");
    EXPECT_EQ(Row(rows[3]), (Strings{"Three", "plain.ax", "", "", "[Not Defined]"}));
    EXPECT_EQ(Row(rows[4]), (Strings{"Four", "BWLT.AX", "Brennic Wavelet Codec", "2.7.0.113", "Brennic Labs"}))
        << "another spelling of a file is found wherever the system looks";
    EXPECT_EQ(info.ExecutableFile(), "BWLT.AX") << "the reader was set to the rows' files";
    EXPECT_EQ(rows[2].Text(fcCompany), "Brennic Labs");
    EXPECT_EQ(rows[2].Text(fcFilter), "Two");
    EXPECT_EQ(rows[2].Text(fcCount), "") << "beyond the last column";
}

TEST(FilterListDemo, TheDemoMachineShowsEveryCase) {
    test::TempMachine demo(MachineFamily::NT, true);
    std::vector<TFilterRow> rows;
    const auto texts = Fill(&rows);
    ASSERT_EQ(texts.size(), 23u) << "24 registrations, one without a name";
    int versioned = 0, missing = 0, unexpanded = 0, noFile = 0, decoders = 0;
    for (const TFilterRow& r : rows) {
        if (!r.Version.empty()) ++versioned;
        if (r.Company == "[Not Defined]") ++missing;
        if (r.File.find('%') != std::string::npos) ++unexpanded;
        if (r.File.empty()) ++noFile;
        if (r.Filter == "Tessaly Video Decoder") ++decoders;
    }
    EXPECT_GE(versioned, 10);
    EXPECT_GE(missing, 4);
    EXPECT_EQ(unexpanded, 1);
    EXPECT_EQ(noFile, 1);
    EXPECT_EQ(decoders, 2);
}
