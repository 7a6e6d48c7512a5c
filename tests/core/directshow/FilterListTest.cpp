// Reading the DirectShow filter registrations of machines the tests write.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/directshow/FilterList.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using Rows = std::vector<std::vector<std::string>>;

namespace {

const std::string kInstance = "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\";

// The instance key `key`; "name" and "clsid" written as text when not
// empty. `server` < 0 gives the class no InprocServer32 key, 0 a key
// without default value, 1 the default value `file`.
void Register(const std::string& key, const std::string& name, const std::string& clsid, int server = 1,
              const std::string& file = {}) {
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKey(kInstance + key, true));
    if (!name.empty()) reg.WriteString("FriendlyName", name);
    if (!clsid.empty()) reg.WriteString("CLSID", clsid);
    if (clsid.empty() || server < 0) return;
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\" + clsid + "\\InprocServer32", true));
    if (server > 0) reg.WriteString("", file);
}

// The rows read, and the error that ended the reading ("" when none).
std::pair<Rows, std::string> Fill() {
    TFileVersionInfo info(3);
    std::vector<TFilterRow> rows;
    std::string error;
    try {
        FillFilterList(info, rows);
    } catch (const ERegistryException& e) {
        error = e.what();
    }
    Rows out;
    for (const TFilterRow& r : rows) out.push_back({r.Filter, r.File, r.Description, r.Version, r.Company});
    return {out, error};
}

const std::vector<std::string> kBrennic{"Brennic Wavelet Codec", "2.7.0.113", "Brennic Labs"};

std::vector<std::string> Row(const std::string& name, const std::string& file, bool versioned) {
    if (versioned) return {name, file, kBrennic[0], kBrennic[1], kBrennic[2]};
    return {name, file, "", "", "[Not Defined]"};
}

class FilterList : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::copy_file(test::PeFixture("version32.dll"), machine.System32() / "bwlt.ax");
    }
    test::TempMachine machine;
};

}  // namespace

TEST_F(FilterList, RowsInRegistryOrderWithTheDocumentedColumnsForMissingLinks) {
    EXPECT_EQ(Fill(), std::make_pair(Rows{}, std::string())) << "no filter category: no rows, no error";
    // Key names made out of order: the registry's order decides, which is
    // by name, as Windows lists subkeys.
    Register("{9}", "Zeta Splitter", "{C9}", 1, "C:\\WINDOWS\\system32\\bwlt.ax");
    Register("{1}", "Zeta Splitter", "{C1}", 1, "bwlt.ax");
    Register("{5}", "", "{C5}", 1, "bwlt.ax");  // no FriendlyName: no row
    Register("{2}", "No Class", "");
    Register("{3}", "No Server Key", "{C3}", -1);
    Register("{4}", "No Server Path", "{C4}", 0);
    Register("{6}", "Gone", "{C6}", 1, "gone.ax");
    Register("{7}", "Shared", "{C7}", 1, "BWLT.AX");
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyClassesRoot);
        Register("{8}", "Expandable", "{C8}", 0);
        ASSERT_TRUE(reg.OpenKey("\\CLSID\\{C8}\\InprocServer32", false));
        reg.WriteExpandString("", "%SystemRoot%\\system32\\bwlt.ax");
    }
    EXPECT_EQ(Fill(), std::make_pair(Rows{Row("Zeta Splitter", "bwlt.ax", true),
                                          Row("No Class", "", false),
                                          Row("No Server Key", "", false),
                                          Row("No Server Path", "", false),
                                          Row("Gone", "gone.ax", false),
                                          Row("Shared", "BWLT.AX", true),
                                          Row("Expandable", "%SystemRoot%\\system32\\bwlt.ax", false),
                                          Row("Zeta Splitter", "C:\\WINDOWS\\system32\\bwlt.ax", true)},
                                     std::string()));
}

TEST_F(FilterList, AValueThatIsNotTextEndsTheFillingKeepingTheRowsBefore) {
    Register("{1}", "First", "{C1}", 1, "bwlt.ax");
    Register("{2}", "", "");
    Register("{3}", "Never Read", "{C3}", 1, "bwlt.ax");
    const auto first = Row("First", "bwlt.ax", true);
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    ASSERT_TRUE(reg.OpenKey(kInstance + "{2}", false));
    reg.WriteInteger("FriendlyName", 7);
    EXPECT_EQ(Fill(), std::make_pair(Rows{first}, std::string("Invalid data type for 'FriendlyName'")));
    // A class id or server path that is not text: the row was appended
    // before the failing read and keeps its name only.
    reg.WriteString("FriendlyName", "Odd");
    const char bytes[] = {1, 2, 3};
    reg.WriteBinaryData("CLSID", bytes, 3);
    EXPECT_EQ(Fill(), std::make_pair(Rows{first, {"Odd", "", "", "", ""}}, std::string("Invalid data type for 'CLSID'")));
    reg.WriteString("CLSID", "{C2}");
    ASSERT_TRUE(reg.OpenKey("\\CLSID\\{C2}\\InprocServer32", true));
    reg.WriteInteger("", 1);
    EXPECT_EQ(Fill(), std::make_pair(Rows{first, {"Odd", "", "", "", ""}}, std::string("Invalid data type for ''")));
}

TEST(FilterColumnWidths, TheFourAfterFilterShareTheRestAndKeepTheirLeast) {
    using W = std::array<int, fcCount>;
    EXPECT_EQ(FilterColumnWidths(100, 503, 30), (W{100, 100, 100, 100, 103})) << "the last takes the remainder";
    EXPECT_EQ(FilterColumnWidths(100, 200, 30), (W{100, 30, 30, 30, 30})) << "never under the least";
    EXPECT_EQ(FilterColumnWidths(600, 400, 30), (W{600, 30, 30, 30, 30})) << "a filter wider than the list";
}
