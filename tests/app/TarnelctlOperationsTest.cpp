// The codec operations of tarnelctl on demo machines of both families: what
// each command changes, what it refuses (and then leaves every file alone),
// and two commands racing each other.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    // Inactive entries #first# .. #last#, each of its own driver dNNNN.dll.
    void PutInactive(int first, int last) {
        platform::TTransaction scope;
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cInactiveKey, true));
        for (int i = first; i <= last; ++i) {
            char name[16], driver[16];
            std::snprintf(name, sizeof name, "#%.3d#", i);
            std::snprintf(driver, sizeof driver, "d%04d.dll", i);
            std::vector<std::string> texts{"n" + std::to_string(i % 1000), driver, "N", "Numbered", "1.0", "32"};
            WriteBinaryStrings(reg, name, texts);
        }
        scope.Commit();
    }
    void PutActive(const std::string& name, const std::string& driver) {
        platform::TRegistry reg;
        reg.SetRootKey(platform::kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, false));
        reg.WriteString(name, driver);
    }
};

class Families : public ::testing::TestWithParam<std::string> {
protected:
    bool Nt() const { return GetParam() == "nt"; }
};

INSTANTIATE_TEST_SUITE_P(Tarnelctl, Families, ::testing::Values("nt", "9x"));

}  // namespace

TEST_P(Families, DeactivateTakesEveryNamedCodecOutOfService) {
    CtlMachine m(GetParam());
    const Listed before = ListOf(m.Root());
    ASSERT_EQ(before.active.size(), 12u);
    ASSERT_EQ(before.inactive.size(), 4u);

    // FOURCCs are matched whatever their letter case.
    CtlResult r = CtlOn(m.Root(), {"deactivate", "MJPG", "Tsl1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "deactivated  mjpg  lcmjpeg.dll  #005\n"
                     "deactivated  tsl1  tslscr.dll  #006\n"
                     "Active : 10  Inactive : 6\n");
    const Listed after = ListOf(m.Root());
    EXPECT_EQ(after.active.size(), 10u);
    EXPECT_EQ(FindPair(after.active, "mjpg=lcmjpeg.dll"), nullptr);
    ASSERT_EQ(after.inactive.size(), 6u);
    // The row keeps what the active list showed of it.
    ListedRow moved = *FindPair(before.active, "mjpg=lcmjpeg.dll");
    moved.number = "005";
    EXPECT_EQ(after.inactive[4], moved);
    EXPECT_EQ(after.inactive[5].Pair(), "tsl1=tslscr.dll");
    if (!Nt()) {
        const std::string ini = platform::ReadWholeFile(m.SystemIni());
        EXPECT_EQ(ini.find("vidc.mjpg"), std::string::npos) << ini;
        EXPECT_NE(ini.find("vidc.yuy2=pbyuv.dll"), std::string::npos) << ini;
    }

    // A FOURCC whose codec is inactive only is not an active codec.
    r = CtlOn(m.Root(), {"deactivate", "mjpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("'mjpg'"), std::string::npos) << r.err;

    r = CtlOn(m.Root(), {"deactivate", "brm5", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"changes\": [\n    {\n      \"change\": \"deactivated\",\n      \"fourcc\": \"brm5\",\n"
                         "      \"driver\": \"brmvid.dll\",\n      \"number\": \"007\"\n    }\n  ],\n"
                         "  \"active\": 9,\n  \"inactive\": 7,\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Swapping -> brm5 BRM Screen to Inactive Codec List"), std::string::npos) << r.out;
}

TEST_P(Families, UnknownFourccsAndNumbersExitOneAndChangeNoFile) {
    CtlMachine m(GetParam());
    const auto stamps = Stamps(m.Root());
    const std::vector<std::vector<std::string>> refused = {
        {"deactivate", "zzzz"}, {"deactivate", "mjpg", "zzzz"}, {"deactivate", "mjp"},
        {"activate", "9"},      {"activate", "1", "99"},         {"activate", "x1"},
        {"remove", "99", "--yes"}, {"remove", "2", "0", "--yes"}, {"info", "zzzz"},
    };
    for (const auto& args : refused) {
        CtlResult r = CtlOn(m.Root(), args);
        EXPECT_EQ(r.status, 1) << args[0] << " " << args[1] << ": " << r.out << r.err;
        EXPECT_NE(r.err.find("tarnelctl: No "), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_EQ(Stamps(m.Root()), stamps);
}

TEST_P(Families, ActivationAsksOnlyWithoutAutoSwapAndTakesItsAnswerFromTheCommandLine) {
    CtlMachine m(GetParam());
    InProcess(m.Root()).SetAutoSwap(false);
    const auto stamps = Stamps(m.Root());

    // #001 is kwmjpeg.dll's mjpg, whose FOURCC lcmjpeg.dll holds: a question.
    CtlResult r = CtlOn(m.Root(), {"activate", "1", "2"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(cSwapQuestion), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("mjpg (kwmjpeg.dll)"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Stamps(m.Root()), stamps) << "nothing is written before the question";

    // Cancel ends the run: ptx8 (#002) stays inactive as well.
    r = CtlOn(m.Root(), {"activate", "1", "2", "--answer", "cancel"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Active : 12  Inactive : 4\n");
    // No skips the codec asked about and goes on with the next.
    r = CtlOn(m.Root(), {"activate", "001", "2", "--answer", "no"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "activated  ptx8  pbtex.dll  #002\nActive : 13  Inactive : 3\n");
    // A codec without a twin in service needs no answer.
    r = CtlOn(m.Root(), {"activate", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "activated  vrh1  vrnold.dll  #003\nActive : 14  Inactive : 2\n");

    r = CtlOn(m.Root(), {"activate", "1", "--answer", "yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "deactivated  mjpg  lcmjpeg.dll  #002\n"
                     "activated  mjpg  kwmjpeg.dll  #001\n"
                     "Active : 14  Inactive : 2\n");
    Listed l = ListOf(m.Root());
    EXPECT_EQ(Pairs(l.inactive), (std::vector<std::string>{"iyuv=tsplanar.dll", "mjpg=lcmjpeg.dll"}));
    EXPECT_EQ(l.active.back().Pair(), "mjpg=kwmjpeg.dll");

    // AutoSwap on: swapped back without a question.
    InProcess(m.Root()).SetAutoSwap(true);
    r = CtlOn(m.Root(), {"activate", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "deactivated  mjpg  kwmjpeg.dll  #002\n"
                     "activated  mjpg  lcmjpeg.dll  #002\n"
                     "Active : 14  Inactive : 2\n");
}

TEST_P(Families, RemovalNeedsYesAndRenumbers) {
    CtlMachine m(GetParam());
    const auto stamps = Stamps(m.Root());
    CtlResult r = CtlOn(m.Root(), {"remove", "2", "3"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(cRemoveQuestion), std::string::npos) << r.err;
    EXPECT_EQ(Stamps(m.Root()), stamps);

    r = CtlOn(m.Root(), {"remove", "2", "3", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "removed  ptx8  pbtex.dll  #002\nremoved  iyuv  tsplanar.dll  #003\nActive : 12  Inactive : 2\n");
    Listed l = ListOf(m.Root());
    ASSERT_EQ(l.inactive.size(), 2u);
    EXPECT_EQ(l.inactive[0].number + " " + l.inactive[0].Pair(), "001 mjpg=kwmjpeg.dll");
    EXPECT_EQ(l.inactive[1].number + " " + l.inactive[1].Pair(), "002 vrh1=vrnold.dll");
    EXPECT_EQ(l.active.size(), 12u);
}

TEST_P(Families, RestoreBackupBringsBackWhatTheLastSaveReplaced) {
    CtlMachine m(GetParam());
    const Listed original = ListOf(m.Root());
    // A machine never saved has no backup: restoring it would empty the list.
    const auto stamps = Stamps(m.Root());
    CtlResult r = CtlOn(m.Root(), {"restore-backup"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("backup"), std::string::npos) << r.err;
    EXPECT_EQ(Stamps(m.Root()), stamps);

    ASSERT_EQ(CtlOn(m.Root(), {"deactivate", "mjpg", "tsl1"}).status, 0);
    const Listed deactivated = ListOf(m.Root());
    r = CtlOn(m.Root(), {"restore-backup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "restored  mjpg  lcmjpeg.dll\nrestored  tsl1  tslscr.dll\nActive : 12  Inactive : 6\n");
    Listed restored = ListOf(m.Root());
    // Rows as the loader builds them: names from the codecs, versions from the files.
    EXPECT_EQ(restored.active, original.active);
    EXPECT_EQ(restored.inactive, deactivated.inactive) << "the inactive list stays as it was";

    // The restore was a save: the backup now holds the entries it replaced.
    r = CtlOn(m.Root(), {"restore-backup", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"change\": \"replaced\",\n      \"fourcc\": \"mjpg\""), std::string::npos) << r.out;
    EXPECT_EQ(ListOf(m.Root()).active, deactivated.active);
}

TEST_P(Families, SaveWritesTheListsBackUnchanged) {
    CtlMachine m(GetParam());
    const Listed before = ListOf(m.Root());
    const auto regBefore = platform::StampOf(m.SystemReg());
    CtlResult r = CtlOn(m.Root(), {"save"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Active : 12  Inactive : 4\n");
    EXPECT_NE(platform::StampOf(m.SystemReg()), regBefore) << "the backup key was written";
    const Listed after = ListOf(m.Root());
    EXPECT_EQ(after.active, before.active);
    EXPECT_EQ(after.inactive, before.inactive);
    // The backup holds the very entries that are active.
    r = CtlOn(m.Root(), {"restore-backup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Active : 12  Inactive : 4\n");
    EXPECT_EQ(ListOf(m.Root()).active, before.active);
}

TEST_P(Families, InfoTellsWhatTheCodecManagerAnswers) {
    CtlMachine m(GetParam());
    const auto stamps = Stamps(m.Root());
    CtlResult r = CtlOn(m.Root(), {"info", "MJPG", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\n"
              "  \"fourcc\": \"mjpg\",\n"
              "  \"driver\": \"lcmjpeg.dll\",\n"
              "  \"opened\": true,\n"
              "  \"fccType\": {\n    \"text\": \"vidc\",\n    \"number\": 1667524982\n  },\n"
              "  \"fccHandler\": {\n    \"text\": \"MJPG\",\n    \"number\": 1196444237\n  },\n"
              "  \"dwFlags\": 3,\n"
              "  \"dwVersion\": 131076,\n"
              "  \"dwVersionICM\": 260,\n"
              "  \"szName\": \"LC Motion JPEG\",\n"
              "  \"szDescription\": \"Lumacraft Motion JPEG Codec\",\n"
              "  \"szDriver\": \"lcmjpeg.dll\",\n"
              "  \"configure\": true,\n"
              "  \"about\": true\n"
              "}\n");
    // The two dialogs are offered independently.
    r = CtlOn(m.Root(), {"info", "vrh2", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"dwFlags\": 7,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"configure\": true,\n  \"about\": false\n"), std::string::npos) << r.out;
    r = CtlOn(m.Root(), {"info", "dnh4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Configure      not offered\nAbout          offered\n"), std::string::npos) << r.out;
    // An entry whose driver file is missing: the manager cannot open it.
    r = CtlOn(m.Root(), {"info", "xmv7", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"opened\": false,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"szName\": \"\","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"configure\": false,\n  \"about\": false\n"), std::string::npos) << r.out;
    EXPECT_EQ(Stamps(m.Root()), stamps) << "info only reads";
}

TEST_P(Families, ASaveTheStoreRefusesExitsOneAndLeavesTheStoreAsItWas) {
    CtlMachine m(GetParam());
    // A read-only store file.
    const fs::path store = Nt() ? m.SystemReg() : m.SystemIni();
    const std::string name = store.filename().string();
    // A change of two files that fails at the second puts the first back:
    // what they hold is what must not change.
    auto contents = Contents(m.Root());
    ::chmod(store.c_str(), 0444);
    CtlResult r = CtlOn(m.Root(), {"deactivate", "mjpg"});
    ::chmod(store.c_str(), 0644);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_EQ(Contents(m.Root()), contents);

    // A full disk: no file may grow past 4 KB, and the store files are bigger.
    r = CtlOn(m.Root(), {"deactivate", "mjpg"}, "trap '' XFSZ; ulimit -f 8; ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_EQ(Contents(m.Root()), contents);

    // A row the inactive store cannot hold (more than 2047 bytes).
    const std::string longDriver = std::string(2100, 'd') + ".dll";
    if (Nt()) {
        InProcess(m.Root()).PutActive("vidc.long", longDriver);
    } else {
        std::string ini = platform::ReadWholeFile(m.SystemIni());
        ini.insert(ini.find("[drivers32]\r\n") + 13, "vidc.long=" + longDriver + "\r\n");
        platform::WriteFileAtomically(m.SystemIni(), ini);
    }
    const auto stamps = Stamps(m.Root());
    r = CtlOn(m.Root(), {"deactivate", "long", "mjpg"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("2047"), std::string::npos) << r.err;
    EXPECT_EQ(Stamps(m.Root()), stamps);
    EXPECT_NE(FindPair(ListOf(m.Root()).active, "mjpg=lcmjpeg.dll"), nullptr);
}

// From the thousandth entry on, a number has four digits; the loader reads
// only three of them (#1000# as 100), yet a command names the entry it means
// (100 itself fits #100# and #1001# alike: the stored name tells them apart).
TEST(Tarnelctl, NumbersFromTheThousandthOnNameTheirOwnEntry) {
    CtlMachine m;
    InProcess(m.Root()).PutInactive(5, 1001);
    CtlResult r = CtlOn(m.Root(), {"activate", "1000"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "activated  n0  d1000.dll  #1000");
    r = CtlOn(m.Root(), {"remove", "#100#", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "removed  n100  d0100.dll  #100");
    const Listed l = ListOf(m.Root());
    EXPECT_NE(FindPair(l.active, "n0=d1000.dll"), nullptr);
    EXPECT_EQ(FindPair(l.inactive, "n0=d1000.dll"), nullptr);
    EXPECT_EQ(FindPair(l.inactive, "n100=d0100.dll"), nullptr);
    EXPECT_NE(FindPair(l.inactive, "n1=d1001.dll"), nullptr);
    EXPECT_EQ(l.inactive.size(), 4u + 997u - 2u);
}

TEST(Tarnelctl, WrongOperationCommandLinesExitTwo) {
    CtlMachine m;
    const auto stamps = Stamps(m.Root());
    const std::vector<std::vector<std::string>> wrong = {
        {"activate"},          {"activate", "1", "--answer", "maybe"}, {"activate", "1", "--answer"},
        {"remove", "1", "--answer", "yes"}, {"deactivate"},           {"deactivate", "mjpg", "--yes"},
        {"info"},              {"info", "mjpg", "yuy2"},              {"save", "now"},
        {"restore-backup", "1"},
    };
    for (const auto& args : wrong) {
        CtlResult r = CtlOn(m.Root(), args);
        EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find("restore-backup"), std::string::npos) << "the usage text follows";
    }
    EXPECT_EQ(Stamps(m.Root()), stamps);
    CtlResult help = Ctl({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"deactivate FOURCC", "activate NUMBER", "remove NUMBER", "save", "info FOURCC"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

// The machine's lock covers load, change and save of a command: two run at
// once, and neither's change is lost or refused.
TEST_P(Families, TwoCommandsRunAtOnceBothTakeEffect) {
    CtlMachine m(GetParam());
    const std::vector<std::string> fourccs = {"mjpg", "yuy2", "i420", "vrh2", "kwd3", "dnh4", "brm5", "ovt6"};
    for (size_t round = 0; round < 12; ++round) {
        const std::string a = fourccs[round % fourccs.size()];
        const std::string b = fourccs[(round + 3) % fourccs.size()];
        pid_t first = SpawnOn(m.Root(), {"deactivate", a});
        pid_t second = SpawnOn(m.Root(), {"deactivate", b});
        ASSERT_EQ(WaitFor(first), 0) << "round " << round;
        ASSERT_EQ(WaitFor(second), 0) << "round " << round;
        Listed l = ListOf(m.Root());
        auto inactiveNumber = [&](const std::string& fourcc) {
            for (const ListedRow& r : l.inactive)
                if (r.fourcc == fourcc && r.number > "004") return r.number;
            return std::string();
        };
        for (const std::string& f : {a, b}) {
            EXPECT_TRUE(std::none_of(l.active.begin(), l.active.end(), [&](const ListedRow& r) { return r.fourcc == f; }))
                << f << " still active in round " << round;
        }
        const std::string na = inactiveNumber(a), nb = inactiveNumber(b);
        ASSERT_FALSE(na.empty() || nb.empty()) << "round " << round;
        // Then one puts a codec back while the other takes a third one out:
        // a deactivation only appends, so the number stays valid either way.
        const std::string c = fourccs[(round + 5) % fourccs.size()];
        first = SpawnOn(m.Root(), {"activate", na});
        second = SpawnOn(m.Root(), {"deactivate", c});
        ASSERT_EQ(WaitFor(first), 0) << "round " << round;
        ASSERT_EQ(WaitFor(second), 0) << "round " << round;
        l = ListOf(m.Root());
        EXPECT_NE(std::find_if(l.active.begin(), l.active.end(), [&](const ListedRow& r) { return r.fourcc == a; }),
                  l.active.end());
        EXPECT_TRUE(std::none_of(l.active.begin(), l.active.end(), [&](const ListedRow& r) { return r.fourcc == c; }));
        // Back to the demo's lists for the next round.
        std::vector<std::string> back = {"activate"};
        for (const ListedRow& r : l.inactive)
            if (r.number > "004") back.push_back(r.number);
        ASSERT_EQ(CtlOn(m.Root(), back).status, 0);
        ASSERT_EQ(ListOf(m.Root()).inactive.size(), 4u);
    }
}

TEST_P(Families, ScanListsTheFoundFourccsAndAddsTheNamedFreeOnes) {
    CtlMachine m(GetParam());
    CtlResult r = CtlOn(m.Root(), {"scan", "YUY2", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"fourcc\": \"uyvy\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"status\": \"Not Used\""), std::string::npos) << r.out;
    const auto contents = Contents(m.Root());
    // A FOURCC the scan did not find, or an active codec that is not there:
    // exit 1 and no file changes.
    EXPECT_EQ(CtlOn(m.Root(), {"scan", "yuy2", "--add", "zzzz"}).status, 1);
    EXPECT_EQ(CtlOn(m.Root(), {"scan", "nope"}).status, 1);
    EXPECT_EQ(Contents(m.Root()), contents);

    r = CtlOn(m.Root(), {"scan", "yuy2", "--add", "UYVY"});
    ASSERT_EQ(r.status, 0) << r.err;
    Listed l = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    const auto inactive = Pairs(l.inactive);
    EXPECT_NE(std::find(inactive.begin(), inactive.end(), "uyvy=pbyuv.dll"), inactive.end());
    EXPECT_EQ(std::find(inactive.begin(), inactive.end(), "yvyu=pbyuv.dll"), inactive.end()) << "only the named one";
    r = CtlOn(m.Root(), {"scan", "yuy2", "--add", "all", "--json"});
    EXPECT_EQ(r.out.find("\"status\": \"Not Used\""), std::string::npos) << "all free ones are used now";
    l = ParseList(CtlOn(m.Root(), {"list", "--json"}).out);
    EXPECT_EQ(std::count_if(l.inactive.begin(), l.inactive.end(), [](const ListedRow& x) { return x.driver == "pbyuv.dll"; }), 2);
}

// Two SYSTEM.INI lines of one FOURCC: every save is refused and says how to
// mend it; --driver (letter case ignored) takes out the one row meant, after
// which the lists save again. Without --driver both rows go.
TEST(TarnelctlDriver, DeactivateNamesOneOfTwoRowsOfOneFourccByItsDriver) {
    CtlMachine m("9x");
    std::string ini = platform::ReadWholeFile(m.SystemIni());
    const std::string line = "vidc.yuy2=pbyuv.dll\r\n";
    ASSERT_NE(ini.find(line), std::string::npos);
    ini.insert(ini.find(line) + line.size(), "vidc.mjpg=kwmjpeg.dll\r\n");
    platform::WriteFileAtomically(m.SystemIni(), ini);

    CtlResult refused = CtlOn(m.Root(), {"save"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("tarnelctl deactivate mjpg --driver kwmjpeg.dll"), std::string::npos) << refused.err;
    EXPECT_EQ(platform::ReadWholeFile(m.SystemIni()), ini) << "a refused save writes nothing";

    CtlResult wrong = CtlOn(m.Root(), {"deactivate", "mjpg", "--driver", "nosuch.dll"});
    EXPECT_EQ(wrong.status, 1);
    EXPECT_NE(wrong.err.find("with the driver 'nosuch.dll'"), std::string::npos) << wrong.err;
    EXPECT_EQ(platform::ReadWholeFile(m.SystemIni()), ini);

    CtlResult one = CtlOn(m.Root(), {"deactivate", "MJPG", "--driver", "KWMJPEG.DLL", "--json"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("\"driver\": \"kwmjpeg.dll\""), std::string::npos) << one.out;
    const Listed after = ListOf(m.Root());
    EXPECT_NE(FindPair(after.active, "mjpg=lcmjpeg.dll"), nullptr) << "the other row stays in service";
    EXPECT_EQ(FindPair(after.active, "mjpg=kwmjpeg.dll"), nullptr);
    EXPECT_EQ(std::count_if(after.inactive.begin(), after.inactive.end(),
                            [](const ListedRow& r) { return r.Pair() == "mjpg=kwmjpeg.dll"; }),
              2) << "the one taken out joins the older inactive entry of that driver";
    EXPECT_EQ(CtlOn(m.Root(), {"save"}).status, 0) << "the lists save again";

    CtlResult usage = CtlOn(m.Root(), {"activate", "1", "--driver", "x.dll"});
    EXPECT_EQ(usage.status, 2) << "--driver belongs to deactivate";
}
