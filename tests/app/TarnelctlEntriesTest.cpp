// tarnelctl on entries the demo machines do not hold: Numbers the lists
// show for several codecs, an inactive entry too short to read, driver texts
// of expandable-string type, 16-bit entries, SYSTEM.INI keys of more than
// four characters and two lines of one key; and command lines that name
// nothing, too much, or an answer that counts.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/CtlRun.h"
#include "core/catalogue/uCodecs.h"
#include "core/shell/uConst.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;

namespace {

Listed ListOf(const fs::path& root) {
    CtlResult r = CtlOn(root, {"list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    Listed l = ParseList(r.out);
    EXPECT_TRUE(l.ok) << r.out;
    return l;
}

const ListedRow* FindPair(const std::vector<ListedRow>& rows, const std::string& pair) {
    auto it = std::find_if(rows.begin(), rows.end(), [&](const ListedRow& r) { return r.Pair() == pair; });
    return it == rows.end() ? nullptr : &*it;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Writes to the machine from this process, then lets go of it again.
class InProcess {
public:
    explicit InProcess(const fs::path& root) { platform::SelectMachine(root); }
    ~InProcess() { platform::ForgetLoadedHives(); }
    void SetAutoSwap(bool on) {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyCurrentUser);
        ASSERT_TRUE(reg.OpenKey(cPreferencesKey, true));
        reg.WriteBool(cAutoSwap, on);
    }
    void PutInactive(const std::string& name, std::vector<std::string> texts) {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        WriteBinaryStrings(reg, name, texts);
    }
    // Inactive entries #first# .. #last#, each of its own driver dNNNN.dll.
    void PutNumbered(int first, int last) {
        platform::TTransaction scope;
        for (int i = first; i <= last; ++i) {
            char name[16], driver[16];
            std::snprintf(name, sizeof name, "#%.3d#", i);
            std::snprintf(driver, sizeof driver, "d%04d.dll", i);
            PutInactive(name, {"n" + std::to_string(i % 1000), driver, "N", "Numbered", "1.0", "32"});
        }
        scope.Commit();
    }
    void PutExpandable(const std::string& name, const std::string& driver) {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, false));
        reg.WriteExpandString(name, driver);
    }
    // The type and text of a value; type 0 when it is missing.
    std::pair<uint32_t, std::string> Value(const char* key, const std::string& name) {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        if (!reg.OpenKeyReadOnly(key) || !reg.ValueExists(name)) return {0, ""};
        const uint32_t type = reg.GetRawType(name);
        if (type == platform::kRegBinary) {
            std::vector<std::string> pieces;
            ReadBinaryStrings(reg, name, pieces);
            std::string joined;
            for (const std::string& p : pieces) joined += p + "|";
            return {type, joined};
        }
        return {type, reg.ReadString(name)};
    }
};

void AddIniLine(const CtlMachine& m, const std::string& after, const std::string& line) {
    std::string ini = platform::ReadWholeFile(m.SystemIni());
    const size_t at = ini.find(after);
    ASSERT_NE(at, std::string::npos) << after;
    ini.insert(at + after.size(), line + "\r\n");
    platform::WriteFileAtomically(m.SystemIni(), ini);
}

}  // namespace

// The lists show three characters of a Number, so "100" is #100# and also
// #1000# to #1009#: a command refuses it and names the whole numbers; the
// machine-readable lists carry the whole number, which every command takes.
TEST(TarnelctlNumbers, ANumberShownForSeveralCodecsIsRefusedAndTheWholeNumberNamesOne) {
    CtlMachine m;
    InProcess(m.Root()).PutNumbered(5, 1002);
    const Listed l = ListOf(m.Root());
    ASSERT_EQ(l.inactive.size(), 4u + 998u);
    EXPECT_EQ(l.inactive[4 + 95].number, "100");
    EXPECT_EQ(l.inactive[4 + 995].number, "1000") << "the whole Number, not the 100 the window shows";
    EXPECT_EQ(l.inactive.back().number, "1002");
    const std::string csv = CtlOn(m.Root(), {"list", "--csv"}).out;
    EXPECT_TRUE(Has(csv, "inactive,1001,n1,d1001.dll,")) << csv.substr(csv.size() - 200);
    const std::string text = CtlOn(m.Root(), {"list"}).out;
    EXPECT_TRUE(Has(text, "\n1001  n1 ")) << "the text list shows what the commands take";

    const auto stamps = Stamps(m.Root());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"remove", "100", "--yes"}, {"activate", "100"}, {"remove", "0100", "--yes"}}) {
        CtlResult r = CtlOn(m.Root(), args);
        EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
        EXPECT_TRUE(Has(r.err, "fits 4 inactive codecs")) << r.err;
        EXPECT_TRUE(Has(r.err, "'#100#', 1000, 1001, 1002")) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(Stamps(m.Root()), stamps) << "nothing written";

    CtlResult r = CtlOn(m.Root(), {"activate", "1001"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "activated  n1  d1001.dll  #1001");
    r = CtlOn(m.Root(), {"remove", "#100#", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "removed  n100  d0100.dll  #100");
    EXPECT_EQ(CtlOn(m.Root(), {"remove", "#2000#", "--yes"}).status, 1);
    const Listed after = ListOf(m.Root());
    EXPECT_EQ(FindPair(after.inactive, "n100=d0100.dll"), nullptr);
    EXPECT_NE(FindPair(after.active, "n1=d1001.dll"), nullptr);
    EXPECT_NE(FindPair(after.inactive, "n0=d1000.dll"), nullptr);
    EXPECT_NE(FindPair(after.inactive, "n2=d1002.dll"), nullptr);
}

// With AutoSwap on nothing is asked, yet an answer given is obeyed.
TEST(TarnelctlAnswers, AnExplicitAnswerCountsWithAutoSwapOnToo) {
    CtlMachine m;
    const Listed before = ListOf(m.Root());
    // #001 is kwmjpeg.dll's mjpg, whose FOURCC lcmjpeg.dll holds.
    CtlResult r = CtlOn(m.Root(), {"activate", "1", "2", "--answer", "cancel"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Active : 12  Inactive : 4\n") << "cancel ends the run: ptx8 stays too";
    const Listed cancelled = ListOf(m.Root());
    EXPECT_EQ(cancelled.active, before.active);
    EXPECT_EQ(cancelled.inactive, before.inactive);

    r = CtlOn(m.Root(), {"activate", "1", "2", "--answer", "no"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "activated  ptx8  pbtex.dll  #002\nActive : 13  Inactive : 3\n");
    r = CtlOn(m.Root(), {"activate", "1", "--answer", "yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "activated  mjpg  kwmjpeg.dll  #001")) << r.out;
    // Without an answer AutoSwap still swaps unasked.
    r = CtlOn(m.Root(), {"activate", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "activated  mjpg  lcmjpeg.dll")) << r.out;
}

// --add names what to add: an empty list is a wrong command line, not all.
TEST(TarnelctlScan, AnEmptyAddListIsAUsageErrorAndAddingSaysWhatItAdded) {
    CtlMachine m;
    const auto stamps = Stamps(m.Root());
    for (const char* empty : {"", ",", ",,"}) {
        CtlResult r = CtlOn(m.Root(), {"scan", "yuy2", "--add", empty});
        EXPECT_EQ(r.status, 2) << "'" << empty << "': " << r.err;
        EXPECT_TRUE(Has(r.err, "--add needs all or FOURCCs")) << r.err;
    }
    // A FOURCC in use (the scanned codec's own, or one inactive already)
    // cannot be added: an error, and nothing written.
    for (const char* used : {"yuy2", "uyvy,YUY2"}) {
        CtlResult r = CtlOn(m.Root(), {"scan", "yuy2", "--add", used});
        EXPECT_EQ(r.status, 1) << used;
        EXPECT_TRUE(Has(r.err, "'yuy2' is in use (Used (Active))")) << r.err;
    }
    EXPECT_EQ(Stamps(m.Root()), stamps);

    CtlResult r = CtlOn(m.Root(), {"scan", "yuy2", "--add", "UYVY"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\n\nadded  uyvy  pbyuv.dll  #005\nActive : 12  Inactive : 5\n")) << r.out;
    r = CtlOn(m.Root(), {"scan", "yuy2", "--add", "uyvy"});
    EXPECT_EQ(r.status, 1) << "added already: in use now";
    EXPECT_TRUE(Has(r.err, "Used (Inactive)")) << r.err;

    r = CtlOn(m.Root(), {"scan", "yuy2", "--add", "all", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "  ],\n  \"changes\": [\n    {\n      \"change\": \"added\",\n      \"fourcc\": \"yvyu\",\n"
                           "      \"driver\": \"pbyuv.dll\",\n      \"number\": \"006\"\n    }\n  ],\n"
                           "  \"active\": 12,\n  \"inactive\": 6,\n  \"log\": [\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "Found possible FOURCC : yvyu <- Valid\"")) << r.out;
    EXPECT_TRUE(Has(r.out, "End Scanning Codec for other FOURCCs\"")) << r.out;
    // Without --add the found rows alone, as before.
    r = CtlOn(m.Root(), {"scan", "yuy2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Has(r.out, "Active :")) << r.out;
}

// An argument of any length is named in a message, never echoed whole.
TEST(TarnelctlMessages, LongArgumentsAreCutAndAnUnknownBackendIsAUsageError) {
    CtlMachine m;
    const std::string huge(100000, 'a');
    const std::vector<std::vector<std::string>> commands = {
        {"deactivate", huge},          {"deactivate", "mjpg", "--driver", huge}, {"activate", huge},
        {"remove", huge, "--yes"},     {"info", huge},                          {"scan", huge},
        {"scan", "yuy2", "--add", huge}, {"activate", "1", "--answer", huge},    {"list", "--" + huge},
        {huge},                        {"version", huge},                       {"--backend", huge, "list"},
    };
    for (const auto& args : commands) {
        CtlResult r = CtlOn(m.Root(), args);
        EXPECT_NE(r.status, 0) << args[0];
        const std::string said = r.err.substr(0, r.err.find("\n\nUsage:"));
        EXPECT_LT(said.size(), 1000u) << args[0] << ": " << said.substr(0, 300);
        EXPECT_TRUE(Has(said, " characters, cut here)")) << args[0] << ": " << said.substr(0, 300);
    }
    CtlResult r = CtlOn(m.Root(), {"--backend", "bogus", "list"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "--backend is machine or wine, not 'bogus'")) << r.err;
}

// A Type "16" entry goes to the 16-bit Drivers key, which no list shows:
// the command and the log say so.
TEST(TarnelctlDrivers16, ActivatingA16BitEntrySaysWhereItWent) {
    CtlMachine m;
    InProcess(m.Root()).PutInactive("#005#", {"old1", "old16.drv", "Old", "Old 16-bit codec", "1.0", "16"});
    CtlResult r = CtlOn(m.Root(), {"activate", "5", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\"number\": \"005\",\n      \"note\": \"went to the 16-bit Drivers key, which the lists "
                           "do not show\"\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, " : Written to the 16-bit Drivers key, which the codec lists do not show : old1 Old\""))
        << r.out;
    const Listed l = ListOf(m.Root());
    EXPECT_EQ(FindPair(l.active, "old1=old16.drv"), nullptr);
    EXPECT_EQ(FindPair(l.inactive, "old1=old16.drv"), nullptr);
    EXPECT_EQ(InProcess(m.Root()).Value(cDriversKey, "vidc.old1").second, "old16.drv");

    // The text form says it on the change's line.
    InProcess(m.Root()).PutInactive("#005#", {"old2", "old26.drv", "Old", "Old 16-bit codec", "1.0", "16"});
    r = CtlOn(m.Root(), {"activate", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "activated  old2  old26.drv  #005  (went to the 16-bit Drivers key, which the lists do not show)");
}

TEST(TarnelctlDrivers16, On95The16BitEntryStaysInTheSectionWithoutANote) {
    CtlMachine m("9x");
    InProcess(m.Root()).PutInactive("#005#", {"old1", "old16.drv", "Old", "Old 16-bit codec", "1.0", "16"});
    CtlResult r = CtlOn(m.Root(), {"activate", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "activated  old1  old16.drv  #005");
    EXPECT_NE(FindPair(ListOf(m.Root()).active, "old1=old16.drv"), nullptr);
}

// One inactive entry too short to read no longer locks the machine: the
// lists show every entry, the bad one named; every change but its removal
// is refused; after the removal everything works again.
TEST(TarnelctlMalformed, AShortInactiveEntryIsListedNamedAndCanBeRemoved) {
    CtlMachine m;
    InProcess(m.Root()).PutInactive("#002#", {"ptx8", "pbtex.dll", "PB Texture"});
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"list", "--json"}, {"list"}, {"list", "--csv"}}) {
        CtlResult r = CtlOn(m.Root(), args);
        EXPECT_EQ(r.status, 1) << args.back();
        EXPECT_TRUE(Has(r.err, "tarnelctl: Inactive codec entry '#002#' in HKEY_LOCAL_MACHINE\\"))
            << r.err;
        EXPECT_TRUE(Has(r.err, "\\Drivers.Inactive holds 3 texts; 6 are needed")) << r.err;
        EXPECT_TRUE(Has(r.out, "vrh1")) << "the entries after the bad one are listed";
        EXPECT_TRUE(Has(r.out, "tsl1")) << "and the active list";
    }
    const Listed l = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    ASSERT_EQ(l.inactive.size(), 4u);
    EXPECT_EQ(l.inactive[1].Pair(), "ptx8=pbtex.dll");
    EXPECT_EQ(l.inactive[1].shortname, "PB Texture");
    EXPECT_EQ(l.inactive[1].type, "");
    EXPECT_TRUE(Has(CtlOn(m.Root(), {"list", "--json"}).out, "\"problem\": \"Inactive codec entry '#002#'")) << "named in the row";
    EXPECT_TRUE(Has(CtlOn(m.Root(), {"list"}).out, "002  ptx8     | pbtex.dll | PB Texture |  |  |   <- cannot be read whole"));

    const auto contents = Contents(m.Root());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"deactivate", "mjpg"}, {"activate", "3"}, {"activate", "2"}, {"save"},
          {"scan", "yuy2", "--add", "all"}}) {
        CtlResult r = CtlOn(m.Root(), args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_TRUE(Has(r.err, "tarnelctl remove 002 --yes")) << r.err;
        EXPECT_TRUE(r.out.empty()) << args[0] << ": " << r.out;
    }
    EXPECT_EQ(CtlOn(m.Root(), {"remove", "3", "--yes"}).status, 1) << "removing another leaves the bad one";
    EXPECT_EQ(Contents(m.Root()), contents);

    CtlResult r = CtlOn(m.Root(), {"remove", "2", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "removed  ptx8  pbtex.dll  #002\nActive : 12  Inactive : 3\n");
    const Listed after = ListOf(m.Root());
    EXPECT_EQ(Pairs(after.inactive),
              (std::vector<std::string>{"mjpg=kwmjpeg.dll", "iyuv=tsplanar.dll", "vrh1=vrnold.dll"}));
    EXPECT_EQ(CtlOn(m.Root(), {"deactivate", "mjpg"}).status, 0) << "everything works again";
}

// A vidc value of expandable-string type keeps its type wherever it goes:
// into the backup, into the inactive store and back, through a save and a
// restore of the backup; never doubled, never lost.
TEST(TarnelctlExpandable, AnExpandableDriverTextKeepsItsTypeOnEveryPath) {
    CtlMachine m;
    const std::string path = "%SystemRoot%\\System32\\pbyuv.dll";
    InProcess(m.Root()).PutExpandable("VIDC.EXP1", path);
    auto value = [&](const char* key, const std::string& name) { return InProcess(m.Root()).Value(key, name); };

    ASSERT_EQ(CtlOn(m.Root(), {"save"}).status, 0);
    EXPECT_EQ(value(cDrivers32Key, "vidc.exp1"), std::make_pair(uint32_t(platform::kRegExpandSz), path)) << "save";
    EXPECT_EQ(value(cDrivers32BackupKey, "VIDC.EXP1"), std::make_pair(uint32_t(platform::kRegExpandSz), path)) << "backup";

    CtlResult r = CtlOn(m.Root(), {"deactivate", "exp1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(value(cDrivers32Key, "vidc.exp1").first, 0u) << "out of service";
    EXPECT_EQ(value(cInactiveKey, "#005#").second, "exp1|" + path + "| | | |32|REG_EXPAND_SZ|")
        << "the inactive entry remembers the type after its six texts";
    EXPECT_EQ(value(cDrivers32BackupKey, "vidc.exp1").first, uint32_t(platform::kRegExpandSz));
    Listed l = ListOf(m.Root());
    ASSERT_EQ(l.inactive.size(), 5u);
    EXPECT_EQ(l.inactive[4].Pair(), "exp1=" + path);

    r = CtlOn(m.Root(), {"activate", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(value(cDrivers32Key, "vidc.exp1"), std::make_pair(uint32_t(platform::kRegExpandSz), path)) << "activation";
    EXPECT_EQ(value(cInactiveKey, "#005#").first, 0u);
    l = ListOf(m.Root());
    EXPECT_EQ(std::count_if(l.active.begin(), l.active.end(), [](const ListedRow& x) { return x.fourcc == "exp1"; }), 1)
        << "not doubled";
    EXPECT_EQ(FindPair(l.inactive, "exp1=" + path), nullptr);

    // The backup holds it as an expandable string; restored, it stays one.
    ASSERT_EQ(CtlOn(m.Root(), {"deactivate", "exp1"}).status, 0);
    r = CtlOn(m.Root(), {"restore-backup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "restored  exp1")) << r.out;
    EXPECT_EQ(value(cDrivers32Key, "vidc.exp1"), std::make_pair(uint32_t(platform::kRegExpandSz), path)) << "restore";
}

// 95/98/ME: SYSTEM.INI knows a codec by "vidc." and four characters, so an
// inactive "abcde" takes the place of an active "abcd" as a codec of one
// FOURCC would, instead of standing beside it; and a line of a longer key
// keeps its key through every save that does not move it.
TEST(Tarnelctl95, AnEntryOfALongerFourccSwapsWithTheOneOfItsKey) {
    CtlMachine m("9x");
    AddIniLine(m, "vidc.yuy2=pbyuv.dll\r\n", "vidc.abcd=tsplanar.dll");
    InProcess(m.Root()).PutInactive("#005#", {"abcde", "pbtex.dll", "PB Texture", "Long", "1.0", "32"});
    InProcess(m.Root()).SetAutoSwap(false);
    const auto stamps = Stamps(m.Root());
    CtlResult r = CtlOn(m.Root(), {"activate", "5"});
    EXPECT_EQ(r.status, 3) << "a swap, asked about: " << r.err;
    EXPECT_EQ(Stamps(m.Root()), stamps);

    r = CtlOn(m.Root(), {"activate", "5", "--answer", "yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "deactivated  abcd  tsplanar.dll  #005\nactivated  abcde  pbtex.dll  #005\n"
                     "Active : 13  Inactive : 5\n");
    std::string ini = platform::ReadWholeFile(m.SystemIni());
    EXPECT_FALSE(Has(ini, "vidc.abcd=")) << ini;
    EXPECT_TRUE(Has(ini, "vidc.abcde=pbtex.dll")) << ini;
    // Later saves neither refuse nor rename it.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"save"}, {"deactivate", "mjpg"}}) {
        r = CtlOn(m.Root(), args);
        ASSERT_EQ(r.status, 0) << args[0] << ": " << r.err;
        ini = platform::ReadWholeFile(m.SystemIni());
        EXPECT_TRUE(Has(ini, "vidc.abcde=pbtex.dll")) << ini;
        EXPECT_FALSE(Has(ini, "vidc.abcd=")) << ini;
    }
    // The answer No leaves it inactive; with AutoSwap on it swaps unasked.
    r = CtlOn(m.Root(), {"activate", "5", "--answer", "no"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Active : 12  Inactive : 6\n");
    InProcess(m.Root()).SetAutoSwap(true);
    r = CtlOn(m.Root(), {"activate", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    ini = platform::ReadWholeFile(m.SystemIni());
    EXPECT_TRUE(Has(ini, "vidc.abcd=tsplanar.dll")) << ini;
    EXPECT_FALSE(Has(ini, "vidc.abcde=")) << ini;
}

// Two SYSTEM.INI lines of one FOURCC: each row's names come from its own
// driver, and the one taken out of service keeps them.
TEST(Tarnelctl95, EachOfTwoLinesOfOneFourccShowsItsOwnDriversNames) {
    CtlMachine m("9x");
    AddIniLine(m, "vidc.yuy2=pbyuv.dll\r\n", "vidc.mjpg=kwmjpeg.dll");
    AddIniLine(m, "vidc.yuy2=pbyuv.dll\r\n", "vidc.ptx8x=pbtex.dll");
    Listed l = ListOf(m.Root());
    const ListedRow* lc = FindPair(l.active, "mjpg=lcmjpeg.dll");
    const ListedRow* kw = FindPair(l.active, "mjpg=kwmjpeg.dll");
    const ListedRow* ptx = FindPair(l.active, "ptx8=pbtex.dll");
    ASSERT_TRUE(lc && kw && ptx);
    EXPECT_EQ(lc->shortname, "LC Motion JPEG");
    EXPECT_EQ(kw->shortname, "KW MJPEG");
    EXPECT_EQ(kw->description, "Kestrelwood Motion JPEG Decoder");
    EXPECT_EQ(ptx->shortname, "PB Texture") << "a key longer than its FOURCC: its own driver too";
    // Asking never writes the machine.
    const auto stamps = Stamps(m.Root());
    ASSERT_EQ(CtlOn(m.Root(), {"list"}).status, 0);
    EXPECT_EQ(Stamps(m.Root()), stamps);

    CtlResult r = CtlOn(m.Root(), {"deactivate", "mjpg", "--driver", "kwmjpeg.dll"});
    ASSERT_EQ(r.status, 0) << r.err;
    l = ListOf(m.Root());
    ASSERT_EQ(l.inactive.size(), 5u);
    EXPECT_EQ(l.inactive[4].Pair(), "mjpg=kwmjpeg.dll");
    EXPECT_EQ(l.inactive[4].shortname, "KW MJPEG");
    EXPECT_EQ(l.inactive[4].description, "Kestrelwood Motion JPEG Decoder");
    EXPECT_EQ(FindPair(l.active, "mjpg=lcmjpeg.dll")->shortname, "LC Motion JPEG");
}
