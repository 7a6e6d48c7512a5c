// The lists of a Wine prefix held to Wine's own codec manager: a Windows
// program of each view's bitness asks ICInfo/ICGetInfo for the codecs, and
// tarnelctl through the bridge and (once Wine's server has written the
// registry) through the emulation of the files must list the same FOURCCs,
// drivers and order, with the names Wine's drivers give. The prefix is the
// run's own, as wineboot made it: its codecs are Wine's, in SYSTEM.INI.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "app/CtlRun.h"
#include "conformance/env/WineEnv.h"
#include "platform/api/Ansi.h"
#include "platform/wine/WineBackend.h"
#include "support/TempMachine.h"

namespace tarnel::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;

constexpr char kNo32BitWineSkip[] = "32-bit Wine (wine32:i386) is not installed";

std::string Prefix() { return conformance::TestPrefix().string(); }

std::string OnPrefix() {
    return "WINEPREFIX=" + ShellQuote(Prefix()) + " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
}

CtlResult Run(const std::string& command) {
    TempDir tmp;
    const std::string errFile = (tmp.Path() / "err").string();
    CtlResult r;
    FILE* p = popen((command + " 2>" + ShellQuote(errFile) + " </dev/null").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = ReadWholeFile(errFile);
    return r;
}

void StopWine() { Run(OnPrefix() + "wineserver -k; " + OnPrefix() + "wineserver -w"); }

bool Runs32Bit() { return wine::WineRuns32Bit(wine::FindWine()); }

// One codec as Wine's manager gives it to a program of the view's bitness.
struct Found {
    std::string fourcc, driver, name, description;
    bool operator==(const Found&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Found& f) {
    return o << f.fourcc << "=" << f.driver << " '" << f.name << "' '" << f.description << "'";
}

std::vector<Found> AskWine(int view) {
    const fs::path program = conformance::WindowsBuild(view) / "tests/tarnel_icinfo.exe";
    const CtlResult r = Run(OnPrefix() + "wine " + ShellQuote(program.string()));
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<Found> found;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> f;
        for (size_t at = 0;;) {
            const size_t tab = line.find('\t', at);
            f.push_back(line.substr(at, tab - at));
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        if (f.size() == 4) found.push_back({f[0], AsciiLowerCase(f[1]), f[2], f[3]});
    }
    return found;
}

// The active list in the form the program prints it (names only where the
// route asks the drivers).
std::vector<Found> Rows(const std::vector<ListedRow>& rows, bool names) {
    std::vector<Found> out;
    for (const ListedRow& r : rows)
        out.push_back({AsciiLowerCase(r.fourcc), AsciiLowerCase(r.driver), names ? r.shortname : "",
                       names ? r.description : ""});
    return out;
}
std::vector<Found> WithoutNames(std::vector<Found> found) {
    for (Found& f : found) f.name.clear(), f.description.clear();
    return found;
}

CtlResult OnWine(int view, std::vector<std::string> args) {
    args.insert(args.begin(), {"--backend", "wine", "--view", std::to_string(view)});
    return Ctl(args, OnPrefix());
}
CtlResult OnFiles(int view, std::vector<std::string> args) {
    args.insert(args.begin(), {"--backend", "machine", "--view", std::to_string(view), "--machine", Prefix()});
    return Ctl(args, "");
}

// The text without the line that starts so (and its line break).
std::string WithoutLine(std::string text, const std::string& start) {
    const size_t at = text.find(start);
    if (at == std::string::npos) return text;
    const size_t end = text.find('\n', at);
    return text.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
}

std::string SystemIni() { return ReadWholeFile(conformance::TestPrefix() / "drive_c/windows/system.ini"); }

}  // namespace

namespace {

// One view: Wine's manager, the bridge's list and (once the server has
// written the registry) the files' list. False when the view's drivers
// cannot be asked here (no 32-bit Wine), after checking that the lists
// still load and that the calls needing a driver say why.
bool ListsMatchWinesManager(int view) {
    conformance::TPrefixSnapshot snapshot;
    const CtlResult bridge = OnWine(view, {"list", "--json"});
    EXPECT_EQ(bridge.status, 0) << bridge.err;
    const Listed listed = ParseList(bridge.out);
    EXPECT_TRUE(listed.ok) << bridge.out;
    // A fresh prefix keeps Wine's three codecs in SYSTEM.INI.
    for (const char* fourcc : {"mrle", "msvc", "cvid"}) {
        auto row = std::find_if(listed.active.begin(), listed.active.end(),
                                [&](const ListedRow& r) { return r.fourcc == fourcc; });
        EXPECT_NE(row, listed.active.end()) << fourcc << "\n" << bridge.out;
        if (row != listed.active.end()) EXPECT_EQ(row->store, "system.ini") << fourcc;
    }
    const bool asked = view == 64 || Runs32Bit();
    if (asked) {
        const std::vector<Found> wine = AskWine(view);
        EXPECT_FALSE(wine.empty());
        EXPECT_EQ(Rows(listed.active, true), wine) << "names and descriptions from Wine's drivers";
    } else {
        const CtlResult info = OnWine(32, {"info", "cvid"});
        EXPECT_NE(info.status, 0);
        EXPECT_NE(info.err.find(wine::kNo32BitWine), std::string::npos) << info.err;
    }
    StopWine();
    const CtlResult files = OnFiles(view, {"list", "--json"});
    EXPECT_EQ(files.status, 0) << files.err;
    EXPECT_EQ(Rows(ParseList(files.out).active, false), Rows(listed.active, false));
    return asked;
}

}  // namespace

TEST(WineCodecManager, The32BitViewListsWhatWinesManagerFinds) {
    if (!ListsMatchWinesManager(32)) GTEST_SKIP() << "its drivers' names: " << kNo32BitWineSkip;
}

TEST(WineCodecManager, The64BitViewListsWhatWinesManagerFinds) {
    if (wine::PrefixBits(Prefix()) != 64) GTEST_SKIP() << "a 32-bit prefix has no 64-bit view";
    EXPECT_TRUE(ListsMatchWinesManager(64));
}

TEST(WineCodecManager, ASystemIniCodecDeactivatedAndActivatedRoundTripsThroughWine) {
    conformance::TPrefixSnapshot snapshot;
    const int view = wine::PrefixBits(Prefix()) == 64 ? 64 : 32;
    if (view == 32 && !Runs32Bit()) GTEST_SKIP() << kNo32BitWineSkip;
    const int other = view == 64 ? 32 : 0;
    auto list = [](int v) {
        const CtlResult r = OnWine(v, {"list", "--json"});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    const std::string ini = SystemIni();
    const std::string otherBefore = other ? list(other) : "";
    const std::vector<Found> before = AskWine(view);
    auto has = [](const std::vector<Found>& found, const char* fourcc) {
        return std::any_of(found.begin(), found.end(), [&](const Found& f) { return f.fourcc == fourcc; });
    };
    ASSERT_TRUE(has(before, "cvid"));

    const CtlResult off = OnWine(view, {"deactivate", "cvid", "--json"});
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_FALSE(has(AskWine(view), "cvid")) << "Wine's manager no longer finds it";
    const Listed between = ParseList(list(view));
    const auto inactive = std::find_if(between.inactive.begin(), between.inactive.end(),
                                       [](const ListedRow& r) { return r.fourcc == "cvid"; });
    ASSERT_NE(inactive, between.inactive.end());
    EXPECT_EQ(inactive->store, "system.ini") << "it goes back where it came from";
    EXPECT_EQ(SystemIni().find("vidc.cvid="), std::string::npos);

    const CtlResult on = OnWine(view, {"activate", inactive->number, "--json"});
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_EQ(AskWine(view), before) << "found again, where it was";
    // Wine's profile writer adds a key at its section's end (after the
    // commented lines here): every other line stays, byte for byte.
    EXPECT_EQ(WithoutLine(SystemIni(), "vidc.cvid=iccvid.dll"), WithoutLine(ini, "vidc.cvid=iccvid.dll"));
    EXPECT_NE(SystemIni().find("vidc.cvid=iccvid.dll"), std::string::npos);
    if (other) EXPECT_EQ(list(other), otherBefore) << "the other view is as before";
}

}  // namespace tarnel::test
