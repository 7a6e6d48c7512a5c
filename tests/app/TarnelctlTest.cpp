#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "platform/machine/AtomicFile.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

Result RunCtl(const std::string& args) {
    test::TempDir tmp;
    std::string errFile = (tmp.Path() / "err").string();
    std::string cmd = std::string(TARNEL_TARNELCTL) + " " + args + " 2>" + errFile;
    Result r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = platform::ReadWholeFile(errFile);
    return r;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

std::map<std::string, platform::FileStamp> Stamps(const fs::path& root) {
    std::map<std::string, platform::FileStamp> s;
    for (const auto& e : fs::recursive_directory_iterator(root))
        s[e.path().string()] = platform::StampOf(e.path());
    return s;
}

}  // namespace

TEST(Tarnelctl, ListJsonShowsBothListsInOrderAndWritesNothing) {
    test::TempMachine m;
    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "bwlt32.dll");
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", false));
        reg.WriteString("VIDC.BWLT", "bwlt32.dll");
        reg.WriteString("msacm.abcd", "abcd.acm");
        reg.WriteString("vidc.\xE9t\xE9", "missing.dll");
        ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive", true));
        const char data[] = "xyz1\0xyz.dll\0 \0Sample \"quoted\"\0" "1.0\0" "32\0";
        reg.WriteBinaryData("#001#", data, sizeof data - 1);
    }
    auto before = Stamps(m.Root());
    Result r = RunCtl("--machine " + Quote(m.Root()) + " list --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Stamps(m.Root()), before) << "list must not write to the machine";

    const std::string expected =
        "{\n"
        "  \"store\": \"registry\",\n"
        "  \"os\": {\n"
        "    \"description\": \"Windows XP Professional\",\n"
        "    \"platform_id\": 2,\n"
        "    \"major\": 5,\n"
        "    \"minor\": 1,\n"
        "    \"build\": 2600,\n"
        "    \"csd\": \"Service Pack 3\"\n"
        "  },\n"
        "  \"active\": [\n"
        "    {\n"
        "      \"fourcc\": \"bwlt\",\n"
        "      \"driver\": \"bwlt32.dll\",\n"
        "      \"shortname\": \"bwlt\",\n"
        "      \"description\": \"Brennic Wavelet Codec\",\n"
        "      \"version\": \"2.7.0.113\",\n"
        "      \"type\": \"32\"\n"
        "    },\n"
        "    {\n"
        "      \"fourcc\": \"\xC3\xA9t\xC3\xA9\",\n"
        "      \"driver\": \"missing.dll\",\n"
        "      \"shortname\": \"\",\n"
        "      \"description\": \"\",\n"
        "      \"version\": \"\",\n"
        "      \"type\": \"32\"\n"
        "    }\n"
        "  ],\n"
        "  \"inactive\": [\n"
        "    {\n"
        "      \"number\": \"001\",\n"
        "      \"fourcc\": \"xyz1\",\n"
        "      \"driver\": \"xyz.dll\",\n"
        "      \"shortname\": \" \",\n"
        "      \"description\": \"Sample \\\"quoted\\\"\",\n"
        "      \"version\": \"1.0\",\n"
        "      \"type\": \"32\"\n"
        "    }\n"
        "  ]\n"
        "}\n";
    EXPECT_EQ(r.out, expected);
}

TEST(Tarnelctl, ProfileStoreOnTheNinetyEightFamily) {
    test::TempMachine m(platform::TMachineFamily::Win9x);
    m.WriteFile("drive_c/windows/system.ini", "[drivers32]\r\nVIDC.ABCD=abcd.dll\r\nvidc.xyz=a.dll\r\n");
    Result r = RunCtl("--machine " + Quote(m.Root()) + " list --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"store\": \"profile\""), std::string::npos);
    EXPECT_NE(r.out.find("\"description\": \"Windows 98 SE \""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"fourcc\": \"abcd\""), std::string::npos);
    EXPECT_NE(r.out.find("\"fourcc\": \"xyz=\""), std::string::npos);
    EXPECT_EQ(r.out.find("\"inactive\": [\n"), std::string::npos) << "no inactive entries: an empty array";
    EXPECT_NE(r.out.find("\"inactive\": []"), std::string::npos);
}

TEST(Tarnelctl, VersionOfAHostFile) {
    test::TempMachine m;
    Result r = RunCtl("--machine " + Quote(m.Root()) + " version " + Quote(test::PeFixture("version64.dll")) + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"CompanyName\": \"Brennic Labs\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"LegalCopyright\": \"\xC2\xA9 2026 Brennic Labs\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"CountryCode\": \"040904E4\""), std::string::npos);

    r = RunCtl("--machine " + Quote(m.Root()) + " version " + Quote(test::PeFixture("noversion32.dll")) + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"CompanyName\": \"[Not Defined]\""), std::string::npos);
    EXPECT_NE(r.out.find("\"FileVersion\": \"\""), std::string::npos);
}

TEST(Tarnelctl, ErrorsNameWhatIsWrongAndExitNonZero) {
    test::TempMachine m;
    Result r = RunCtl("--machine " + Quote(m.Root()) + " version /no/such/file.dll");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/no/such/file.dll"), std::string::npos) << r.err;

    r = RunCtl("--machine /no/such/machine list");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("/no/such/machine"), std::string::npos) << r.err;

    r = RunCtl("--machine " + Quote(m.Root()) + " frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("frobnicate"), std::string::npos);

    // A key nested deeper than Windows allows: a line no loader takes.
    std::string deep;
    for (int i = 0; i < 513; ++i) deep += "a\\\\";
    const std::string broken = "WINE REGISTRY Version 2\n\n[Software\\\\X] 0\n[" + deep + "] 0\n";
    m.WriteFile("system.reg", broken);
    r = RunCtl("--machine " + Quote(m.Root()) + " list --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("system.reg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("4"), std::string::npos) << "the line at fault: " << r.err;
    EXPECT_EQ(m.ReadFile("system.reg"), broken);
}

TEST(Tarnelctl, InitMakesADemoMachineAndRefusesToOverwriteOne) {
    test::TempDir dir;
    fs::path target = dir.Path() / "demo";
    Result r = RunCtl("init " + Quote(target) + " --family 9x");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(target / "system.reg"));
    r = RunCtl("--machine " + Quote(target) + " list --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"store\": \"profile\""), std::string::npos);
    r = RunCtl("init " + Quote(target));
    EXPECT_EQ(r.status, 1);
    r = RunCtl("init " + Quote(target) + " --family os2");
    EXPECT_EQ(r.status, 2);
}

TEST(Tarnelctl, FiltersJsonListsTheDemoMachinesFiltersInRegistryOrderAndWritesNothing) {
    test::TempMachine m(platform::TMachineFamily::NT, true);
    const auto before = Stamps(m.Root());
    Result r = RunCtl("--machine " + Quote(m.Root()) + " filters --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Stamps(m.Root()), before) << "filters must not write to the machine";
    const std::string first =
        "{\n  \"filters\": [\n    {\n"
        "      \"filter\": \"Lumacraft Stream Splitter\",\n"
        "      \"file\": \"C:\\\\WINDOWS\\\\system32\\\\lcsplit.ax\",\n"
        "      \"description\": \"Lumacraft Stream Splitter\",\n"
        "      \"version\": \"2.4.0.118\",\n"
        "      \"company\": \"Lumacraft Software\"\n    },\n";
    EXPECT_EQ(r.out.substr(0, first.size()), first);
    size_t rows = 0;
    for (size_t at = r.out.find("\"filter\": "); at != std::string::npos; at = r.out.find("\"filter\": ", at + 1))
        ++rows;
    EXPECT_EQ(rows, 23u) << "24 registrations, one without a name";
    EXPECT_NE(r.out.find("\"file\": \"%SystemRoot%\\\\system32\\\\kwfx.ax\",\n      \"description\": \"\",\n"
                         "      \"version\": \"\",\n      \"company\": \"[Not Defined]\""),
              std::string::npos);
}

TEST(Tarnelctl, FiltersPrintsTheRowsBeforeAValueThatIsNotTextThenFails) {
    test::TempMachine m;
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyClassesRoot);
        const std::string instance = "\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\";
        ASSERT_TRUE(reg.OpenKey(instance + "{1}", true));
        reg.WriteString("FriendlyName", "Caf\xE9");
        ASSERT_TRUE(reg.OpenKey(instance + "{2}", true));
        reg.WriteInteger("FriendlyName", 1);
    }
    Result r = RunCtl("--machine " + Quote(m.Root()) + " filters --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "tarnelctl: Invalid data type for 'FriendlyName'\n");
    EXPECT_EQ(r.out, "{\n  \"filters\": [\n    {\n      \"filter\": \"Caf\xC3\xA9\",\n      \"file\": \"\",\n"
                     "      \"description\": \"\",\n      \"version\": \"\",\n      \"company\": \"[Not Defined]\"\n"
                     "    }\n  ]\n}\n");
}

TEST(Tarnelctl, CheckNamesEveryDriverTheManagerCouldNotLoad) {
    test::TempMachine m;
    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "good.dll");
    m.WriteFile("drive_c/windows/system32/text.dll", "not a program");
    fs::copy_file(test::PeFixture("noexport32.dll"), m.System32() / "lib.dll");
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", false));
        reg.WriteString("vidc.good", "GOOD.DLL");
        reg.WriteString("vidc.gone", "gone.dll");
        reg.WriteString("vidc.text", "text.dll");
        reg.WriteString("vidc.libr", "C:\\WINDOWS\\system32\\lib.dll");
    }
    Result r = RunCtl("--machine " + Quote(m.Root()) + " check");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out,
              "vidc.gone  Driver file not found: C:\\WINDOWS\\system32\\gone.dll\n"
              "vidc.text  Driver file is not a Windows program file: C:\\WINDOWS\\system32\\text.dll\n"
              "vidc.libr  Driver file has no driver procedure (DriverProc): C:\\WINDOWS\\system32\\lib.dll\n"
              "4 active codecs checked, 3 cannot be loaded\n");
    r = RunCtl("--machine " + Quote(m.Root()) + " check --json");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"fourcc\": \"gone\",\n      \"driver\": \"gone.dll\",\n      \"problem\": \"not-found\""),
              std::string::npos)
        << r.out;

    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "gone.dll");
    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "lib.dll", fs::copy_options::overwrite_existing);
    fs::remove(m.System32() / "text.dll");
    r = RunCtl("--machine " + Quote(m.Root()) + " check --json");
    EXPECT_EQ(r.status, 1) << "text.dll is missing now";
    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "text.dll");
    r = RunCtl("--machine " + Quote(m.Root()) + " check");
    EXPECT_EQ(r.status, 0) << r.out;
}

TEST(Tarnelctl, ListCsvQuotesAsTheStandardSaysInUtf8) {
    test::TempMachine m;
    {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive", true));
        const char data[] = "xyz1\0x,y.dll\0 \0Say \"caf\xE9\"\0" "1.0\0" "32\0";
        reg.WriteBinaryData("#001#", data, sizeof data - 1);
    }
    Result r = RunCtl("--machine " + Quote(m.Root()) + " list --csv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "list,number,fourcc,driver,shortname,description,version,type\r\n"
              "inactive,001,xyz1,\"x,y.dll\", ,\"Say \"\"caf\xC3\xA9\"\"\",1.0,32\r\n");
    EXPECT_EQ(RunCtl("--machine " + Quote(m.Root()) + " list --csv --json").status, 2);
}

TEST(Tarnelctl, VersionFindsADriverNameAsTheMachineDoesAndSaysWhatAFolderIs) {
    test::TempMachine m;
    fs::copy_file(test::PeFixture("version32.dll"), m.System32() / "bwlt32.dll");
    Result r = RunCtl("--machine " + Quote(m.Root()) + " version BWLT32.DLL --json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"FileVersion\": \"2.7.0.113\""), std::string::npos) << r.out;

    r = RunCtl("--machine " + Quote(m.Root()) + " version nosuch.dll");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("C:\\WINDOWS\\system32\\nosuch.dll"), std::string::npos) << r.err;
    r = RunCtl("--machine " + Quote(m.Root()) + " version " + Quote(m.System32()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("it is a folder, not a file"), std::string::npos) << r.err;
    r = RunCtl("--machine " + Quote(m.Root() / "system.reg") + " list");
    EXPECT_NE(r.err.find("is a file, not a folder"), std::string::npos) << r.err;
    r = RunCtl("--version");
    EXPECT_EQ(r.out.rfind("tarnelctl ", 0), 0u);
}
