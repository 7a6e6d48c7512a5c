// tarnelctl filters: the DirectShow tab's rows on the command line.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "support/TempMachine.h"

using namespace tarnel;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

Result Filters(const fs::path& machine, const std::string& options = {}) {
    test::TempDir tmp;
    const std::string errFile = (tmp.Path() / "err").string();
    const std::string cmd = std::string(TARNEL_TARNELCTL) + " --machine '" + machine.string() + "' filters " +
                            options + " 2>" + errFile;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = platform::ReadWholeFile(errFile);
    return r;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::map<std::string, platform::FileStamp> Stamps(const fs::path& root) {
    std::map<std::string, platform::FileStamp> s;
    for (const auto& e : fs::recursive_directory_iterator(root)) s[e.path().string()] = platform::StampOf(e.path());
    return s;
}

const std::string kInstance = "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\";

}  // namespace

TEST(TarnelctlFilters, JsonListsTheDemoMachinesFiltersInRegistryOrderAndWritesNothing) {
    test::TempMachine m(platform::MachineFamily::NT, true);
    const auto before = Stamps(m.Root());
    Result r = Filters(m.Root(), "--json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Stamps(m.Root()), before) << "filters must not write to the machine";

    const std::string first =
        "{\n"
        "  \"filters\": [\n"
        "    {\n"
        "      \"filter\": \"Lumacraft Stream Splitter\",\n"
        "      \"file\": \"C:\\\\WINDOWS\\\\system32\\\\lcsplit.ax\",\n"
        "      \"description\": \"Lumacraft Stream Splitter\",\n"
        "      \"version\": \"2.4.0.118\",\n"
        "      \"company\": \"Lumacraft Software\"\n"
        "    },\n";
    EXPECT_EQ(r.out.substr(0, first.size()), first);
    EXPECT_EQ(Count(r.out, "\"filter\": "), 23u) << "24 registrations, one without a name";
    EXPECT_EQ(Count(r.out, "\"filter\": \"Tessaly Video Decoder\""), 2u);
    const std::string expandable =
        "      \"filter\": \"Kestrelwood Sharpen\",\n"
        "      \"file\": \"%SystemRoot%\\\\system32\\\\kwfx.ax\",\n"
        "      \"description\": \"\",\n"
        "      \"version\": \"\",\n"
        "      \"company\": \"[Not Defined]\"\n";
    EXPECT_NE(r.out.find(expandable), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 6), "  ]\n}\n");
}

TEST(TarnelctlFilters, AnsiNamesLeaveAsUtf8AndTheTableHasAHeader) {
    test::TempMachine m;
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyClassesRoot);
        ASSERT_TRUE(reg.OpenKey(kInstance + "{1}", true));
        reg.WriteString("FriendlyName", "Caf\xE9 \"Mixer\"");
    }
    Result r = Filters(m.Root(), "--json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\n"
              "  \"filters\": [\n"
              "    {\n"
              "      \"filter\": \"Caf\xC3\xA9 \\\"Mixer\\\"\",\n"
              "      \"file\": \"\",\n"
              "      \"description\": \"\",\n"
              "      \"version\": \"\",\n"
              "      \"company\": \"[Not Defined]\"\n"
              "    }\n"
              "  ]\n"
              "}\n");
    r = Filters(m.Root());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Filter       | File | Description | Version | Company\n"
              "Caf\xC3\xA9 \"Mixer\" |      |             |         | [Not Defined]\n");
}

TEST(TarnelctlFilters, ANonTextValuePrintsTheRowsBeforeAndFails) {
    test::TempMachine m;
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyClassesRoot);
        ASSERT_TRUE(reg.OpenKey(kInstance + "{1}", true));
        reg.WriteString("FriendlyName", "Good");
        ASSERT_TRUE(reg.OpenKey(kInstance + "{2}", true));
        reg.WriteInteger("FriendlyName", 1);
    }
    for (const char* options : {"--json", ""}) {
        Result r = Filters(m.Root(), options);
        EXPECT_EQ(r.status, 1) << options;
        EXPECT_EQ(r.err, "tarnelctl: Invalid data type for 'FriendlyName'\n") << options;
        EXPECT_EQ(Count(r.out, "Good"), 1u) << options << r.out;
    }
    Result r = Filters(m.Root(), "--json");
    EXPECT_EQ(Count(r.out, "\"filter\": "), 1u);
    EXPECT_EQ(r.out.substr(r.out.size() - 6), "  ]\n}\n") << "still a whole JSON document";
}

TEST(TarnelctlFilters, AMachineWithoutDirectShowListsNothing) {
    test::TempMachine m;
    Result r = Filters(m.Root(), "--json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\n  \"filters\": []\n}\n");
}
