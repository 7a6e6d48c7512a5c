// tarnelctl on machines Wine runs: each row's store in every output form,
// the shadowed entry of a FOURCC in both stores, the views of a 64-bit
// prefix, and which machine a command works on when none is named.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "app/CtlRun.h"
#include "platform/machine/AtomicFile.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;

namespace {

// The machine made a Wine prefix (Wine's dosdevices), with Wine's three
// codecs in SYSTEM.INI and a line for `twin`, a FOURCC the registry holds.
void MakeWinePrefix(const fs::path& root, const std::string& twin) {
    fs::create_directories(root / "dosdevices");
    const fs::path iniFile = root / "drive_c/windows/system.ini";
    std::string ini = platform::ReadWholeFile(iniFile);
    const size_t at = ini.find("[drivers32]");
    ASSERT_NE(at, std::string::npos);
    ini.insert(ini.find('\n', at) + 1, "vidc.mrle=msrle32.dll\nvidc.msvc=msvidc32.dll\nvidc.cvid=iccvid.dll\nvidc." +
                                           twin + "=twin.dll\n; vidc.IV50=ir50_32.dll\n");
    platform::WriteFileAtomically(iniFile, ini);
}

// The prefix as a 64-bit Wine leaves it.
void Make64Bit(const fs::path& root) {
    std::string reg = platform::ReadWholeFile(root / "system.reg");
    const size_t arch = reg.find("#arch=win32");
    ASSERT_NE(arch, std::string::npos);
    reg.replace(arch, 11, "#arch=win64");
    platform::WriteFileAtomically(root / "system.reg", reg);
    fs::create_directories(root / "drive_c/windows/syswow64");
}

std::vector<std::string> Stores(const std::vector<ListedRow>& rows) {
    std::vector<std::string> out;
    for (const ListedRow& r : rows) out.push_back(r.fourcc + " " + r.store);
    return out;
}

// The environment of a user without any of the variables set.
std::string AsUser(const fs::path& home, const std::string& more = "") {
    return "env -u TARNEL_MACHINE -u WINEPREFIX TARNEL_BACKEND=machine HOME=" + ShellQuote(home.string()) +
           " XDG_DATA_HOME=" + ShellQuote((home / "data").string()) + " " + more + " ";
}

}  // namespace

TEST(TarnelctlWinePrefix, EachRowSaysItsStoreAndAFourccInBothStoresShowsTheShadowedOne) {
    CtlMachine m;
    const Listed plain = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    ASSERT_TRUE(plain.ok);
    ASSERT_FALSE(plain.active.empty());
    for (const ListedRow& r : plain.active) EXPECT_EQ(r.store, "") << "a machine of Windows' rules has one store";
    const std::string plainCsv = CtlOn(m.Root(), {"list", "--csv"}).out;
    EXPECT_EQ(plainCsv.substr(0, plainCsv.find("\r\n")), "list,number,fourcc,driver,shortname,description,version,type");

    const std::string twin = plain.active.front().fourcc;
    ASSERT_NO_FATAL_FAILURE(MakeWinePrefix(m.Root(), twin));
    const CtlResult json = CtlOn(m.Root(), {"list", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const Listed listed = ParseList(json.out);
    ASSERT_TRUE(listed.ok);
    // The registry's entries as before, then SYSTEM.INI's in its order.
    std::vector<std::string> expected;
    for (const ListedRow& r : plain.active) expected.push_back(r.fourcc + " registry");
    for (const std::string& f : std::vector<std::string>{"mrle", "msvc", "cvid", twin}) expected.push_back(f + " system.ini");
    EXPECT_EQ(Stores(listed.active), expected);
    const std::string shadow = "\"shadowed_by\": \"the registry's vidc." + twin + "\"";
    EXPECT_NE(json.out.find(shadow), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("\"shadowed_by\""), json.out.rfind("\"shadowed_by\"")) << "only the twin is shadowed";
    for (const ListedRow& r : listed.inactive) EXPECT_EQ(r.store, "registry") << r.fourcc;

    const std::string csv = CtlOn(m.Root(), {"list", "--csv"}).out;
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "list,number,fourcc,driver,shortname,description,version,type,store,shadowed_by");
    EXPECT_NE(csv.find("," + twin + ",twin.dll,,,,32,system.ini,the registry's vidc." + twin + "\r\n"),
              std::string::npos)
        << csv;
    const std::string text = CtlOn(m.Root(), {"list"}).out;
    EXPECT_NE(text.find("twin.dll"), std::string::npos);
    EXPECT_NE(text.find("SYSTEM.INI (shadowed)"), std::string::npos) << text;

    // Taking the shadowed one out and back (swapping out the registry's)
    // keeps both, each in its store.
    auto everyCodec = [&] {
        const Listed l = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
        std::multiset<std::string> all;
        for (const auto* rows : {&l.active, &l.inactive})
            for (const ListedRow& r : *rows) all.insert(r.fourcc + "=" + r.driver + " " + r.store);
        return all;
    };
    const std::multiset<std::string> codecs = everyCodec();
    ASSERT_EQ(CtlOn(m.Root(), {"deactivate", twin, "--driver", "twin.dll"}).status, 0);
    EXPECT_EQ(everyCodec(), codecs);
    const Listed off = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    auto twinRow = [&](const ListedRow& r) { return r.fourcc == twin && r.driver == "twin.dll"; };
    const auto inactive = std::find_if(off.inactive.begin(), off.inactive.end(), twinRow);
    ASSERT_NE(inactive, off.inactive.end());
    EXPECT_EQ(inactive->store, "system.ini");
    ASSERT_EQ(CtlOn(m.Root(), {"activate", inactive->number, "--answer", "yes"}).status, 0);
    EXPECT_EQ(everyCodec(), codecs);
    const Listed on = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    EXPECT_TRUE(std::any_of(on.active.begin(), on.active.end(), twinRow));
}

TEST(TarnelctlWinePrefix, A64BitPrefixListsEitherViewAndA32BitOneRefusesThe64BitView) {
    CtlMachine m;
    const Listed plain = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    ASSERT_FALSE(plain.active.empty());
    const std::string twin = plain.active.front().fourcc;
    ASSERT_NO_FATAL_FAILURE(MakeWinePrefix(m.Root(), twin));
    const CtlResult refused = CtlOn(m.Root(), {"--view", "64", "list"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("has no 64-bit view"), std::string::npos) << refused.err;
    const CtlResult wrong = CtlOn(m.Root(), {"--view", "48", "list"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_NE(wrong.err.find("--view needs 32 or 64"), std::string::npos) << wrong.err;

    ASSERT_NO_FATAL_FAILURE(Make64Bit(m.Root()));
    // The machine's codecs were written to the native keys: 64-bit ones.
    const Listed view64 = ParseList(CtlOn(m.Root(), {"--view", "64", "list", "--json"}).out);
    const Listed view32 = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    ASSERT_TRUE(view64.ok);
    ASSERT_TRUE(view32.ok);
    EXPECT_EQ(view64.active.size(), plain.active.size() + 4) << "the registry's, then SYSTEM.INI's";
    EXPECT_EQ(Stores(view32.active), (std::vector<std::string>{"mrle system.ini", "msvc system.ini",
                                                                "cvid system.ini", twin + " system.ini"}))
        << "the 32-bit view's Drivers32 is Wow6432Node's; SYSTEM.INI is shared";
    EXPECT_TRUE(view32.inactive.empty()) << "so are its inactive codecs";
    EXPECT_NE(CtlOn(m.Root(), {"--view", "64", "list"}).out.find(", 64-bit view\n"), std::string::npos);
    EXPECT_NE(CtlOn(m.Root(), {"list"}).out.find(", 32-bit view\n"), std::string::npos) << "the default view";
}

TEST(TarnelctlWinePrefix, WithoutAMachineNamedTheVariablesThenTheUsersOwnPrefixThenTheDemoMachine) {
    TempDir home;
    const fs::path own = home.Path() / ".wine";
    ASSERT_EQ(Ctl({"init", own.string()}).status, 0);
    // The machine's folder, as the first line names it.
    auto machineLine = [](const CtlResult& r) {
        std::string line = r.out.substr(0, r.out.find('\n'));
        const size_t demo = line.find(" (demo machine)");
        return demo == std::string::npos ? line : line.erase(demo);
    };
    // Not a prefix until Wine has run on it: the default folder, which
    // tarnelctl does not make.
    CtlResult r = Ctl({"list"}, AsUser(home.Path()));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the default machine folder '" + (home.Path() / "data/tarnel/machine").string() + "'"),
              std::string::npos)
        << r.err;
    fs::create_directories(own / "dosdevices");
    r = Ctl({"list"}, AsUser(home.Path()));
    EXPECT_EQ(machineLine(r), "Machine : " + own.string()) << r.err;

    CtlMachine prefix, named;
    r = Ctl({"list"}, AsUser(home.Path(), "WINEPREFIX=" + ShellQuote(prefix.Root().string())));
    EXPECT_EQ(machineLine(r), "Machine : " + prefix.Root().string()) << r.err;
    r = Ctl({"list"}, AsUser(home.Path(), "WINEPREFIX=" + ShellQuote(prefix.Root().string()) +
                                              " TARNEL_MACHINE=" + ShellQuote(named.Root().string())));
    EXPECT_EQ(machineLine(r), "Machine : " + named.Root().string()) << r.err;
    r = Ctl({"--machine", own.string(), "list"},
            AsUser(home.Path(), "TARNEL_MACHINE=" + ShellQuote(named.Root().string())));
    EXPECT_EQ(machineLine(r), "Machine : " + own.string()) << r.err;
}
