#include <gtest/gtest.h>

#include <filesystem>

#include "core/catalogue/CodecLists.h"
#include "core/catalogue/CodecView.h"
#include "platform/api/Registry.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using Strings = std::vector<std::string>;

namespace {

constexpr const char* kDrivers32 = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
constexpr const char* kInactive = "SOFTWARE\\Halvorin\\Drivers.Inactive";

// Records every call in order, as "start 3", "advance 0", "height 200", "end".
struct RecordingProgress : TLoadProgress {
    Strings calls;
    void Start(int max) override { calls.push_back("start " + std::to_string(max)); }
    void Advance(int i) override { calls.push_back("advance " + std::to_string(i)); }
    void End() override { calls.push_back("end"); }
    void SetActiveListHeight(int h) override { calls.push_back("height " + std::to_string(h)); }
};

// A catalogue over a temporary machine with one codec driver file and a fixed log clock.
struct Fixture {
    test::TempMachine machine;
    TPreferences prefs;
    TLog log;
    TCodecCatalogue cat{prefs, log};
    RecordingProgress progress;

    explicit Fixture(TMachineFamily family = TMachineFamily::NT) : machine(family) {
        prefs.CodecStoreMode = family == TMachineFamily::NT ? 3 : 1;
        log.SetClock([] { return std::string("T"); });
        cat.SetProgress(&progress);
        std::filesystem::copy_file(test::PeFixture("version32.dll"), machine.System32() / "bwlt32.dll");
    }

    TRegistry& Key(const char* path) {
        reg.SetRootKey(kHkeyLocalMachine);
        EXPECT_TRUE(reg.OpenKey(path, true));
        return reg;
    }
    void SetInactive(const std::string& name, Strings texts) {
        WriteBinaryStrings(Key(kInactive), name, texts);
    }
    void SetSystemIniSection(const std::string& lines) {
        machine.WriteFile("drive_c/windows/system.ini", "[drivers32]\r\n" + lines + "\r\n[mci]\r\n");
    }
    static Strings Captions(const TCodecList& list) {
        Strings out;
        for (const TCodecEntry& e : list.Entries()) out.push_back(e.Fourcc);
        return out;
    }
    // The texts a list shows after the FOURCC.
    static Strings SubItems(const TCodecEntry& e, TListKind kind) {
        Strings out;
        for (int c = 1; c < int(ColumnsOf(kind).size()); ++c) out.push_back(CellText(e, kind, c));
        return out;
    }

    TRegistry reg;
};

const Strings kBwltRow{"bwlt32.dll", "bwlt", "Brennic Wavelet Codec", "2.7.0.113", "32"};

}  // namespace

TEST(ActiveLoad, RegistryRowsFollowTheStoreOrder) {
    Fixture f;
    f.Key(kDrivers32).WriteString("VIDC.BWLT", "bwlt32.dll");
    f.reg.WriteString("msacm.imaadpcm", "imaadp32.acm");
    f.reg.WriteInteger("vidc.bad1", 1);
    f.reg.WriteString("vidc.gone", "missing.dll");
    f.reg.CloseKey();
    f.cat.LoadCodecListFromRegistry();

    ASSERT_EQ(f.Captions(f.cat.CodecList), (Strings{"bwlt", "gone"}));
    EXPECT_EQ(f.SubItems(f.cat.CodecList.Entry(0), TListKind::Active), kBwltRow);
    EXPECT_EQ(f.cat.CodecList.Entry(0).VersionInfo->ProductName, "Brennic Wavelet");
    // The entry knows where it lives and under which name.
    EXPECT_EQ(f.cat.CodecList.Entry(0).StoredName, "VIDC.BWLT");
    EXPECT_EQ(f.cat.CodecList.Entry(0).Store, TCodecStore::Drivers32);
    EXPECT_EQ(f.cat.CodecList.Entry(0).ValueType, kRegSz);
    const TCodecEntry& gone = f.cat.CodecList.Entry(1);
    EXPECT_EQ(f.SubItems(gone, TListKind::Active), (Strings{"missing.dll", "", "", "", "32"}))
        << "kept without codec or version";
    EXPECT_EQ(gone.Problem.State, TDriverFileState::NotFound);
    EXPECT_EQ(gone.VersionInfo->CompanyName, "[Not Defined]");

    // Every name advances the display, the skipped ones included.
    EXPECT_EQ(f.progress.calls,
              (Strings{"start 4", "advance 0", "advance 1", "advance 2", "advance 3", "end"}));
    EXPECT_EQ(f.log.Lines(), (Strings{"T : Start Loading Codec List from Registry",
                                      "T : Skipping driver entry 'vidc.bad1': its data is not text",
                                      "T : End Loading Codec List from Registry"}));
    EXPECT_FALSE(f.cat.CodecList.Updating());
}

TEST(ActiveLoad, ReloadReplacesRowsAndHeightFollowsTheSettings) {
    Fixture f;
    f.Key(kDrivers32).WriteString("vidc.bwlt", "bwlt32.dll");
    int repaints = 0;
    f.cat.CodecList.SetChangeListener([&] { ++repaints; });
    struct Case { bool sizeEqually; int height; const char* first; };
    for (const Case& c : {Case{true, 200, "start 1"}, Case{false, 0, "start 1"},
                          Case{false, 200, "height 200"}}) {
        f.prefs.SizeEqually = c.sizeEqually;
        f.prefs.ActiveCodecHeight = c.height;
        f.progress.calls.clear();
        f.cat.LoadCodecListFromRegistry();
        EXPECT_EQ(f.progress.calls.front(), c.first) << c.sizeEqually << " " << c.height;
        f.cat.CodecList.Select(0);
    }
    EXPECT_EQ(f.cat.CodecList.Count(), 1u) << "rows replaced, not appended";
    EXPECT_EQ(repaints, 3) << "one repaint per load";

    f.reg.DeleteKey(std::string("\\") + kDrivers32);
    f.cat.LoadCodecListFromRegistry();
    EXPECT_TRUE(f.cat.CodecList.Empty());
    EXPECT_EQ(f.progress.calls.back(), "end");
    EXPECT_EQ(f.progress.calls.end()[-2], "start 0") << "a missing key still starts and ends";
}

TEST(ActiveLoad, SystemIniLinesKeepOrderAndDuplicates) {
    Fixture f(TMachineFamily::Win9x);
    f.SetSystemIniSection(
        "msacm.imaadpcm=imaadp32.acm\r\n"
        "VIDC.BWLT=bwlt32.dll\r\n"
        "vidc.bwlt=bwlt32.dll\r\n"
        "vidc.xyz=other.dll\r\n"
        "vidc.none\r\n");
    f.cat.LoadCodecListFromSystemIni();
    ASSERT_EQ(f.Captions(f.cat.CodecList), (Strings{"bwlt", "bwlt", "xyz=", "none"}));
    EXPECT_EQ(f.SubItems(f.cat.CodecList.Entry(1), TListKind::Active), kBwltRow);
    EXPECT_EQ(f.cat.CodecList.Entry(1).StoredName, "vidc.bwlt");
    EXPECT_EQ(f.cat.CodecList.Entry(1).Store, TCodecStore::SystemIni);
    EXPECT_EQ(f.cat.CodecList.Entry(2).Driver, "other.dll");
    EXPECT_EQ(f.cat.CodecList.Entry(3).Driver, "") << "a line without '=' has no driver";
    EXPECT_EQ(f.progress.calls.front(), "start 5");
    EXPECT_EQ(f.progress.calls.size(), 7u);
    EXPECT_EQ(f.log.Lines(), (Strings{"T : Start Loading Codec List from System.ini",
                                      "T : End Loading Codec List from System.ini"}));
}

TEST(Refresh, FollowsTheStoreModeAndTouchesOnlyTheActiveList) {
    Fixture f;
    f.Key(kDrivers32).WriteString("vidc.bwlt", "bwlt32.dll");
    f.SetSystemIniSection("vidc.ini1=a.dll\r\nvidc.ini2=b.dll\r\n");
    f.cat.InactiveCodecList.Add().Fourcc = "keep";

    f.prefs.CodecStoreMode = 0;
    f.cat.LoadActiveList();
    EXPECT_TRUE(f.cat.CodecList.Empty());
    EXPECT_TRUE(f.log.Lines().empty());
    for (int32_t mode : {3, 4, 1, 2}) {
        f.prefs.CodecStoreMode = mode;
        f.cat.LoadActiveList();
        Strings expected = mode >= 3 ? Strings{"bwlt"} : Strings{"ini1", "ini2"};
        EXPECT_EQ(f.Captions(f.cat.CodecList), expected) << mode;
    }
    EXPECT_EQ(f.Captions(f.cat.InactiveCodecList), Strings{"keep"});
    EXPECT_EQ(ActiveCountText(f.cat.CodecList) + "|" + InactiveCountText(f.cat.InactiveCodecList),
              "Active : 2|Inactive : 1");
}

TEST(InactiveLoad, NumberedBinaryValuesBecomeRows) {
    Fixture f;
    f.SetInactive("#002#", {"abcd", "abcd32.dll", "", "Sample", "1.0.0.1", "16"});
    f.SetInactive("#001#", {"xvid", "xvid.dll", "X", "Video", "1.1", "32"});
    f.SetInactive("#", {"a", "b", "c", "d", "e", "f"});
    f.SetInactive("plain", {"a", "b", "c", "d", "e", "f"});
    f.reg.WriteString("#003#", "not binary");
    f.reg.CloseKey();
    f.cat.LoadInactiveCodecList();

    ASSERT_EQ(f.Captions(f.cat.InactiveCodecList), (Strings{"abcd", "xvid"})) << "store order";
    EXPECT_EQ(f.SubItems(f.cat.InactiveCodecList.Entry(0), TListKind::Inactive),
              (Strings{"abcd32.dll", " ", "Sample", "1.0.0.1", "002", "16"}));
    EXPECT_EQ(NumberText(f.cat.InactiveCodecList.Entry(1)), "001");
    EXPECT_EQ(f.cat.InactiveCodecList.Entry(1).StoredName, "#001#");
    EXPECT_FALSE(f.cat.InactiveCodecList.Entry(0).VersionInfo);
    EXPECT_EQ(f.log.Lines(), (Strings{"T : Start Loading Inactive Codec List from Registry",
                                      "T : Skipping inactive entry '#003#': its data is not binary",
                                      "T : End Loading Inactive Codec List from Registry"}));
    EXPECT_TRUE(f.progress.calls.empty()) << "no progress display for this list";
}

TEST(InactiveLoad, MissingStoreLogsOnlyTheStart) {
    Fixture f;
    f.cat.InactiveCodecList.Add().Fourcc = "old";
    f.cat.LoadInactiveCodecList();
    EXPECT_TRUE(f.cat.InactiveCodecList.Empty());
    EXPECT_EQ(f.log.Lines(), Strings{"T : Start Loading Inactive Codec List from Registry"});
}

// An entry too short to read is no reason to hide the others: every entry
// becomes a row, the short one with the texts it has and what is wrong.
TEST(InactiveLoad, AShortEntryIsAMarkedRowAmongAllTheOthers) {
    Fixture f;
    f.SetInactive("#001#", {"aaaa", "a.dll", "A", "D", "1", "32"});
    f.SetInactive("#002#", {"bbbb", "b.dll", "B"});
    f.SetInactive("#003#", {"cccc", "c.dll", "C", "D", "1", "32"});
    f.reg.CloseKey();
    f.cat.LoadInactiveCodecList();
    EXPECT_TRUE(f.cat.InactiveListComplete());
    EXPECT_EQ(f.Captions(f.cat.InactiveCodecList), (Strings{"aaaa", "bbbb", "cccc"}));
    const TCodecEntry& bad = f.cat.InactiveCodecList.Entry(1);
    EXPECT_EQ(f.SubItems(bad, TListKind::Inactive), (Strings{"b.dll", "B", "", "", "002", ""}));
    EXPECT_NE(bad.Malformed.find("'#002#'"), std::string::npos) << bad.Malformed;
    EXPECT_NE(bad.Malformed.find("holds 3 texts; 6 are needed"), std::string::npos) << bad.Malformed;
    EXPECT_EQ(InactiveRowRemark(bad).rfind(bad.Malformed, 0), 0u) << "the mark says it in words";
    EXPECT_EQ(InactiveRowRemark(f.cat.InactiveCodecList.Entry(0)), "");
    EXPECT_EQ(f.cat.FirstMalformedInactive(), std::optional<size_t>(1));
    EXPECT_EQ(f.cat.Loaded.Inactive.size(), 3u) << "the save knows the store held it";
    ASSERT_EQ(f.log.Count(), 3u);
    EXPECT_EQ(f.log.Lines()[1], "T : " + bad.Malformed);

    f.SetInactive("#002#", {"bbbb", "b.dll", "B", "D", "1", "32"});
    f.reg.CloseKey();
    f.cat.LoadInactiveCodecList();
    EXPECT_FALSE(f.cat.FirstMalformedInactive().has_value());
    EXPECT_TRUE(f.cat.InactiveCodecList.Entry(1).Malformed.empty());
}

TEST(CodecListRows, CaptionSearchIgnoresCaseAndDoesNotWrap) {
    TCodecList list;
    for (const char* c : {"mjpg", "xvid", "MJPG"}) list.Add().Fourcc = c;
    EXPECT_EQ(list.FindCaption("MJ"), 0u);
    EXPECT_EQ(list.FindCaption("mjpg", 1), 2u);
    EXPECT_FALSE(list.FindCaption("xvid", 2).has_value());
    EXPECT_FALSE(list.FindCaption("mjpgx").has_value());
}

// The whole Number of an entry stays with it; the list shows three of its
// digits after a load and the number assigned after a renumbering.
TEST(InactiveLoad, FourDigitNumbersKeepTheirWholeNumber) {
    Fixture f;
    f.SetInactive("#1000#", {"abcd", "a.dll", "A", "D", "1", "32"});
    f.SetInactive("#12", {"efgh", "e.dll", "E", "D", "1", "32"});
    f.reg.CloseKey();
    f.cat.LoadInactiveCodecList();
    ASSERT_EQ(f.cat.InactiveCodecList.Count(), 2u);
    const TCodecEntry& big = f.cat.InactiveCodecList.Entry(0);
    EXPECT_EQ(big.Number, "1000");
    EXPECT_EQ(NumberText(big), "100");
    EXPECT_EQ(f.cat.InactiveCodecList.Entry(1).Number, "12") << "no closing mark";
    EXPECT_EQ(NumberText(f.cat.InactiveCodecList.Entry(1)), "12");
    TCodecEntry renumbered = big;
    renumbered.Number = "1000";
    renumbered.NumberAssigned = true;
    EXPECT_EQ(NumberText(renumbered), "1000");
}

TEST(CodecListRows, SelectionFollowsItsEntries) {
    TCodecList list;
    for (const char* c : {"aaaa", "bbbb", "cccc", "dddd"}) list.Add().Fourcc = c;
    list.SelectOnly({1, 3});
    list.Delete(std::vector<size_t>{0, 2});
    EXPECT_EQ(Fixture::Captions(list), (Strings{"bbbb", "dddd"}));
    EXPECT_EQ(list.SelectedRows(), (std::vector<size_t>{0, 1}));
    list.Add().Fourcc = "aaaa";
    list.Select(0, false);
    list.Sort([](const TCodecEntry& a, const TCodecEntry& b) { return a.Fourcc < b.Fourcc; });
    EXPECT_EQ(Fixture::Captions(list), (Strings{"aaaa", "bbbb", "dddd"}));
    EXPECT_EQ(list.SelectedRows(), (std::vector<size_t>{2})) << "dddd stays selected where it went";
}
