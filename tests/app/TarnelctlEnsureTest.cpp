// tarnelctl ensure and the fleet's table: a run that finds the machine in
// the state writes nothing at all (files, their times, the folder), a check
// neither; a read-only machine in the state is fine and one that is not
// says why; views a machine does not have are refused; the CSVs of several
// machines make one table.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>

#include "app/CtlRun.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;

namespace {

class EnsureRuns : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Tarnelctl, EnsureRuns, ::testing::Values("nt", "9x"));

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The fields of one CSV line (RFC 4180 quoting).
std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::vector<std::string> CrlfLines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

}  // namespace

TEST_P(EnsureRuns, ASecondRunAndEveryCheckWriteNothingNotEvenABackup) {
    CtlMachine m(GetParam());
    const std::string store = GetParam() == "nt" ? "registry" : "profile";
    const std::vector<std::string> swap = {"ensure", "MJPG", "--state", "active", "--driver", "kwmjpeg.dll", "--json",
                                           "--diff"};
    const auto initial = Stamps(m.Root());
    // A check of a change writes nothing and says what the change would do.
    CtlResult r = CtlOn(m.Root(), {"ensure", "mjpg", "--state", "absent", "--check", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"changed\": true") && Has(r.out, "\"check\": true") && Has(r.out, "\"after\": []"))
        << r.out;
    EXPECT_TRUE(Stamps(m.Root()) == initial);

    r = CtlOn(m.Root(), swap);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"changed\": true")) << r.out;
    EXPECT_TRUE(Has(r.out, "\"before\": [\n    {\n      \"list\": \"active\",\n      \"store\": \"" + store +
                               "\",\n      \"fourcc\": \"mjpg\",\n      \"driver\": \"lcmjpeg.dll\",\n      "
                               "\"number\": \"\"\n    },\n    {\n      \"list\": \"inactive\",\n      \"store\": "
                               "\"inactive\",\n      \"fourcc\": \"mjpg\",\n      \"driver\": \"kwmjpeg.dll\",\n      "
                               "\"number\": \"001\""))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\"after\": \"active    " + store + "  mjpg  kwmjpeg.dll\\ninactive  inactive  mjpg  "
                                                                 "lcmjpeg.dll  #004\\n\""))
        << r.out;
    EXPECT_TRUE(Has(r.out, "\"change\": \"activated\"")) << r.out;
    const Listed swapped = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);

    const auto reached = Stamps(m.Root());
    const auto bytes = Contents(m.Root());
    // Any write would give a file a later time; let the clock move on.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (const std::vector<std::string>& again :
         {swap, {"ensure", "mjpg", "--state", "active"}, {"ensure", "xvid", "--state", "inactive"},
          {"ensure", "xvid", "--state", "absent", "--check"}, {"ensure", "mjpg", "--state", "inactive", "--check"}}) {
        r = CtlOn(m.Root(), again);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Stamps(m.Root()) == reached) << again[1] << " " << again[3];
        EXPECT_TRUE(Contents(m.Root()) == bytes);
    }
    r = CtlOn(m.Root(), swap);
    EXPECT_TRUE(Has(r.out, "\"changed\": false") && Has(r.out, "\"changes\": []")) << r.out;
    EXPECT_EQ(ParseList(CtlOn(m.Root(), {"list", "--json"}).out).active, swapped.active);
}

TEST_P(EnsureRuns, AReadOnlyMachineInTheStateIsFineAndOneThatIsNotSaysWhy) {
    CtlMachine m(GetParam());
    ::chmod(m.SystemReg().c_str(), 0444);
    CtlResult r = CtlOn(m.Root(), {"ensure", "mjpg", "--state", "active", "--driver", "lcmjpeg.dll"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "mjpg active (lcmjpeg.dll): nothing to change\nActive : 12  Inactive : 4\n");
    // A check of a change needs no writing either.
    EXPECT_EQ(CtlOn(m.Root(), {"ensure", "mjpg", "--state", "inactive", "--check"}).status, 0);
    const auto before = Contents(m.Root());
    r = CtlOn(m.Root(), {"ensure", "mjpg", "--state", "inactive"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnelctl: The store file '" + m.SystemReg().string() +
                         "' is read-only (Permission denied); changes are not possible\n");
    EXPECT_TRUE(Contents(m.Root()) == before);
}

TEST(EnsureCommandLine, WrongArgumentsAndViewsTheMachineLacks) {
    CtlMachine m;
    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{"ensure", "mjpg"}, {"ensure", "mjpg", "--state", "on"},
          {"ensure", "mjpg", "--state", "active", "--view", "48"}, {"ensure", "--state", "active"},
          {"ensure", "mjpg", "yuy2", "--state", "active"}, {"list", "--machine-name", "a"},
          {"list", "--csv", "--machine-name"}, {"--view", "48", "list"},
          {"--view", "64", "ensure", "mjpg", "--state", "active", "--view", "32"}}) {
        CtlResult r = CtlOn(m.Root(), wrong);
        EXPECT_EQ(r.status, 2) << wrong.back() << ": " << r.err;
    }
    CtlResult r = CtlOn(m.Root(), {"ensure", "mjpg", "--state", "active", "--view", "64"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "The machine '" + m.Root().string() +
                               "' has no 64-bit view: it is a 32-bit machine, whose one view is the 32-bit one"))
        << r.err;
    EXPECT_EQ(CtlOn(m.Root(), {"ensure", "mjpg", "--state", "active", "--view", "32"}).status, 0);
    // The view before the command is the same choice, for every command.
    r = CtlOn(m.Root(), {"--view", "64", "list", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "The machine '" + m.Root().string() + "' has no 64-bit view")) << r.err;
    EXPECT_EQ(CtlOn(m.Root(), {"--view", "32", "ensure", "mjpg", "--state", "active", "--view", "32"}).status, 0);
}

// Each machine's table leads every row with its name; all but the first
// without their header line make one table.
TEST(FleetTable, TheCsvsOfSeveralMachinesMakeOneTable) {
    CtlMachine nt("nt"), w9("9x");
    const std::string odd = "lab \"A\", desk 3";
    CtlResult a = CtlOn(nt.Root(), {"list", "--csv", "--machine-name", "pc1"});
    CtlResult b = CtlOn(w9.Root(), {"list", "--csv", "--machine-name", odd});
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    const std::vector<std::string> first = CrlfLines(a.out), second = CrlfLines(b.out);
    ASSERT_EQ(first.front(), second.front());
    EXPECT_EQ(first.front(), "machine,list,number,fourcc,driver,shortname,description,version,type,store,shadowed_by")
        << "the same columns on every machine";
    std::vector<std::string> table = first;
    table.insert(table.end(), second.begin() + 1, second.end());
    ASSERT_EQ(table.size(), 1 + 16 + 16u);
    for (size_t i = 1; i < table.size(); ++i) {
        const std::vector<std::string> row = CsvFields(table[i]);
        ASSERT_EQ(row.size(), 11u) << table[i];
        EXPECT_EQ(row[9], i <= 16 ? "registry" : "system.ini")
            << table[i];
        EXPECT_EQ(row[0], i <= 16 ? "pc1" : odd);
        EXPECT_EQ(row[1], i % 16 && i % 16 <= 12 ? "active" : "inactive") << table[i];
    }
    // The rows are those of the table without the machine and store columns.
    const std::vector<std::string> plain = CrlfLines(CtlOn(nt.Root(), {"list", "--csv"}).out);
    ASSERT_EQ(plain.size(), first.size());
    for (size_t i = 1; i < plain.size(); ++i) EXPECT_EQ(first[i].rfind("pc1," + plain[i] + ",", 0), 0u) << first[i];
    EXPECT_TRUE(Has(CtlOn(nt.Root(), {"list", "--json", "--machine-name", "pc1"}).out, "{\n  \"machine\": \"pc1\",\n"));
}
