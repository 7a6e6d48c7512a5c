// What the windows show of the lists: the cells, the selection rule, the
// twin mark, the drops and the version tooltip, worked on lists filled by
// hand over the demo machine's codec drivers.
#include <gtest/gtest.h>

#include "core/catalogue/CodecView.h"
#include "support/TempMachine.h"

using namespace tarnel;
using Strings = std::vector<std::string>;

namespace {

std::string Blanks(size_t n) { return std::string(n, ' '); }

TCodecList ListOf(const Strings& captions) {
    TCodecList list;
    for (const std::string& c : captions) list.Add().Fourcc = c;
    return list;
}

std::vector<size_t> SelectedRows(const TCodecList& list) {
    return list.SelectedRows();
}

// The demo machine's active entries: mjpg offers configure and about, yuy2
// about only, vrh2 configure only, i420 neither; xmv7's driver file is gone.
class SelectActive : public ::testing::Test {
protected:
    test::TempMachine machine{platform::TMachineFamily::NT, /*demo=*/true};
    TCodecList active = ListOf({"mjpg", "yuy2", "vrh2", "i420", "xmv7", "zzzz"});
    TCodecList inactive;

    TActiveSelection Select(size_t row) {
        active.SelectOnly({row});
        return SelectActiveCodec(active, inactive);
    }
};

}  // namespace

TEST(PadRight, FillsUpToTheWidthAndNeverCuts) {
    EXPECT_EQ(PadRight("abc", 6), "abc   ");
    EXPECT_EQ(PadRight("", 3), "   ");
    EXPECT_EQ(PadRight("abcdef", 6), "abcdef");
    EXPECT_EQ(PadRight("abcdefgh", 6), "abcdefgh");
    EXPECT_EQ(PadRight("x", 0), "x");
}

TEST(VersionTooltip, EmptyRecordSaysSo) {
    EXPECT_EQ(VersionTooltipText(TCodecVersionInfo{}), "No Version Information Available");
}

TEST(VersionTooltip, OnlyTheLastFieldGoesWithoutLineEnd) {
    TCodecVersionInfo v;
    v.CompanyName = "Quillfen Video";
    v.CountryCode = "0409";
    EXPECT_EQ(VersionTooltipText(v), "Company" + Blanks(13) + ": Quillfen Video\n\r" + "CountryCode" +
                                         Blanks(7) + ": 0409");

    // Without the country code, the last line shown still ends its line.
    v.CountryCode.clear();
    EXPECT_EQ(VersionTooltipText(v), "Company" + Blanks(13) + ": Quillfen Video\n\r");

    TCodecVersionInfo onlyCountry;
    onlyCountry.CountryCode = "0407";
    EXPECT_EQ(VersionTooltipText(onlyCountry), "CountryCode" + Blanks(7) + ": 0407");
}

TEST(VersionTooltip, FullRecordInFieldOrder) {
    TCodecVersionInfo v{"Co", "Desc", "1.2.3.4", "intern", "(c) 2004", "TM", "orig.dll",
                        "Prod", "1.2", "note", "0409"};
    const std::string expected =
        "Company" + Blanks(13) + ": Co\n\r" +
        "FileDescription" + Blanks(5) + ": Desc\n\r" +
        "FileVersion" + Blanks(11) + ": 1.2.3.4\n\r" +
        "InternalName" + Blanks(6) + ": intern\n\r" +
        "LegalCopyright" + Blanks(4) + ": (c) 2004\n\r" +
        "LegalTrademarks" + Blanks(1) + ": TM\n\r" +
        "OriginalFilename" + Blanks(2) + ": orig.dll\n\r" +
        "ProductName" + Blanks(7) + ": Prod\n\r" +
        "ProductVersion" + Blanks(4) + ": 1.2\n\r" +
        "Comments" + Blanks(11) + ": note\n\r" +
        "CountryCode" + Blanks(7) + ": 0409";
    EXPECT_EQ(VersionTooltipText(v), expected);
}

TEST(InactiveTwin, CaptionSearchIgnoresCaseAndComparesTheBeginning) {
    EXPECT_TRUE(HasInactiveTwin(ListOf({"ptx8", "MJPG"}), "mjpg"));
    EXPECT_TRUE(HasInactiveTwin(ListOf({"mjpg"}), "mjpg"));
    EXPECT_TRUE(HasInactiveTwin(ListOf({"abcd"}), "abc")) << "abc is the beginning of abcd";
    EXPECT_FALSE(HasInactiveTwin(ListOf({"abc"}), "abcd"));
    EXPECT_FALSE(HasInactiveTwin(ListOf({}), "mjpg"));

    TCodecList list = ListOf({"iyuv", "mjpg"});
    list.Delete(1);
    EXPECT_FALSE(HasInactiveTwin(list, "mjpg")) << "the twin is gone";
}

TEST_F(SelectActive, NothingSelectedChangesNothing) {
    inactive = ListOf({"mjpg", "ptx8"});
    inactive.Select(1);
    TActiveSelection s = SelectActiveCodec(active, inactive);
    EXPECT_FALSE(s.Handled);
    EXPECT_EQ(SelectedRows(inactive), (std::vector<size_t>{1}));
    EXPECT_EQ(s.StatusText, "");
}

TEST_F(SelectActive, TwinsAreSelectedAloneAndCounted) {
    inactive = ListOf({"mjpg", "ptx8", "mjpgx", "MJPG", "iyuv"});
    inactive.Select(1);
    inactive.Select(4);

    TActiveSelection s = Select(0);
    EXPECT_TRUE(s.Handled);
    EXPECT_EQ(s.Row, 0u);
    EXPECT_TRUE(s.TwinsChecked);
    EXPECT_EQ(s.TwinCount, 2u);
    EXPECT_EQ(SelectedRows(inactive), (std::vector<size_t>{0, 3})) << "exact FOURCC only, others deselected";
    EXPECT_EQ(s.ScrollTo, 3u) << "the later twin";
    EXPECT_EQ(s.StatusText, "mjpg (2)");

    // An active caption in upper case finds the same twins; the text is lower case.
    active.Entry(0).Fourcc = "MJPG";
    s = Select(0);
    EXPECT_EQ(s.StatusText, "mjpg (2)");
    EXPECT_EQ(s.TwinCount, 2u);

    inactive = ListOf({"ptx8", "iyuv", "vrh2", "mjpg"});
    s = Select(2);
    EXPECT_EQ(s.TwinCount, 1u);
    EXPECT_EQ(s.ScrollTo, 2u);
    EXPECT_EQ(s.StatusText, "vrh2 (1)");
}

TEST_F(SelectActive, WithoutTwinTheFirstRowIsShown) {
    inactive = ListOf({"ptx8", "iyuv", "mjpg"});
    inactive.Select(2);
    TActiveSelection s = Select(1);
    EXPECT_TRUE(s.TwinsChecked);
    EXPECT_EQ(s.TwinCount, 0u);
    EXPECT_EQ(s.ScrollTo, 0u);
    EXPECT_TRUE(SelectedRows(inactive).empty());
    EXPECT_EQ(s.StatusText, "yuy2 (0)");
}

TEST_F(SelectActive, EmptyInactiveListLeavesTheStatusAlone) {
    TActiveSelection s = Select(0);
    EXPECT_TRUE(s.Handled);
    EXPECT_FALSE(s.TwinsChecked);
    EXPECT_EQ(s.StatusText, "");
    EXPECT_TRUE(s.CanConfigure) << "the codec is asked all the same";
    EXPECT_TRUE(s.CanAbout);
}

TEST_F(SelectActive, LowestSelectedRowDecides) {
    inactive = ListOf({"i420", "yuy2"});
    active.Select(3);
    active.Select(1);
    active.Select(4);
    TActiveSelection s = SelectActiveCodec(active, inactive);
    EXPECT_EQ(s.Row, 1u);
    EXPECT_EQ(s.StatusText, "yuy2 (1)");
    EXPECT_EQ(SelectedRows(inactive), (std::vector<size_t>{1}));
    EXPECT_FALSE(s.CanConfigure);
    EXPECT_TRUE(s.CanAbout);
    EXPECT_EQ(SelectedRows(active), (std::vector<size_t>{1, 3, 4})) << "the active selection stays";
}

TEST_F(SelectActive, ConfigureAndAboutFollowEachCodecsAnswers) {
    struct Case {
        size_t row;
        bool configure, about;
    };
    for (const Case& c : {Case{0, true, true}, Case{1, false, true}, Case{2, true, false},
                          Case{3, false, false}, Case{4, false, false}, Case{5, false, false}}) {
        TActiveSelection s = Select(c.row);
        EXPECT_EQ(s.CanConfigure, c.configure) << active.Entry(c.row).Fourcc;
        EXPECT_EQ(s.CanAbout, c.about) << active.Entry(c.row).Fourcc;
    }
}

TEST_F(SelectActive, DriverThatIsNotAnImageAnswersNothing) {
    machine.WriteFile("drive_c/windows/system32/lcmjpeg.dll", "not a driver");
    TActiveSelection s = Select(0);
    EXPECT_TRUE(s.Handled);
    EXPECT_FALSE(s.CanConfigure);
    EXPECT_FALSE(s.CanAbout);
}

TEST(Cells, EachColumnOfBothLists) {
    TCodecEntry e;
    e.Fourcc = "mjpg";
    e.Driver = "lcmjpeg.dll";
    e.Shortname = "LC";
    e.Description = "Motion JPEG";
    e.Version = "2.4";
    e.Type = "16";
    e.StoredName = "#007#";
    e.Number = "007";
    std::vector<std::string> active, inactive;
    for (int c = 0; c < int(ColumnsOf(TListKind::Active).size()); ++c) active.push_back(CellText(e, TListKind::Active, c));
    for (int c = 0; c < int(ColumnsOf(TListKind::Inactive).size()); ++c)
        inactive.push_back(CellText(e, TListKind::Inactive, c));
    EXPECT_EQ(active, (std::vector<std::string>{"mjpg", "lcmjpeg.dll", "LC", "Motion JPEG", "2.4", "16"}));
    EXPECT_EQ(inactive, (std::vector<std::string>{"mjpg", "lcmjpeg.dll", "LC", "Motion JPEG", "2.4", "007", "16"}));
    EXPECT_EQ(CellText(e, TListKind::Active, 6), "") << "past the last column";
    // The design's widths, hidden columns at 0.
    EXPECT_EQ(ColumnsOf(TListKind::Active)[acDescription].Width, 270);
    EXPECT_EQ(ColumnsOf(TListKind::Inactive)[icNumber].Width, 0);
    EXPECT_EQ(ColumnsOf(TListKind::Inactive)[icType].Width, 0);
    EXPECT_EQ(NumberText(TCodecEntry{}), "") << "not numbered yet";
}

TEST(Counters, CountTheRowsOfEachList) {
    EXPECT_EQ(ActiveCountText(ListOf({"a", "b", "c"})), "Active : 3");
    EXPECT_EQ(InactiveCountText(ListOf({})), "Inactive : 0");
}

TEST(Remarks, TwinAndBrokenDriverInWords) {
    TCodecEntry e;
    e.Fourcc = "mjpg";
    EXPECT_EQ(ActiveRowRemark(ListOf({"ptx8"}), e), "");
    EXPECT_EQ(ActiveRowRemark(ListOf({"MJPG"}), e), "has an inactive twin");
    e.Problem.Text = "Driver file not found: C:\\x.dll";
    EXPECT_EQ(ActiveRowRemark(ListOf({"mjpg"}), e), "has an inactive twin; Driver file not found: C:\\x.dll");
    EXPECT_EQ(ActiveRowRemark(ListOf({}), e), "Driver file not found: C:\\x.dll");
}

TEST(Drops, EachListTakesTheOtherOnly) {
    using enum TListKind;
    EXPECT_TRUE(AcceptsDrag(Inactive, Active));
    EXPECT_TRUE(AcceptsDrag(Active, Inactive));
    EXPECT_FALSE(AcceptsDrag(Active, Active));
    EXPECT_FALSE(AcceptsDrag(Inactive, Inactive));
    EXPECT_FALSE(AcceptsDrag(Active, std::nullopt));
    EXPECT_EQ(DropMeaning(Inactive, Active), TDropMeaning::Deactivate);
    EXPECT_EQ(DropMeaning(Active, Inactive), TDropMeaning::Activate);
    EXPECT_EQ(DropMeaning(Active, std::nullopt), TDropMeaning::SaveOnly) << "moves nothing, still saves";
    EXPECT_EQ(DropMeaning(Inactive, Inactive), TDropMeaning::SaveOnly);
}

TEST(SizeEqually, HalfThePanelLessTheBandAnd14) {
    EXPECT_EQ(SizeEquallyHeight(440, 49), 157);
    EXPECT_EQ(SizeEquallyHeight(441, 49), 157) << "integer division";
    EXPECT_EQ(SizeEquallyHeight(100, 49), 0) << "never below nothing";
}

TEST(Splitter, NeitherListBelowFiftyPixels) {
    EXPECT_EQ(SplitterHeight(120, 400), 120);
    EXPECT_EQ(SplitterHeight(10, 400), 50);
    EXPECT_EQ(SplitterHeight(390, 400), 350) << "the list below keeps 50";
    EXPECT_EQ(SplitterHeight(70, 80), 50) << "without room for both, the one above keeps 50";
}

TEST(PopupEnabling, CodecCommandsNeedASelectedRow) {
    TCodecList active = ListOf({"mjpg", "yuy2"});
    TDriverConfigEnabling e = DriverConfigPopup(active, true, false);
    EXPECT_FALSE(e.Configure || e.About || e.Scan || e.FourccList) << "nothing selected";
    active.Select(1);
    e = DriverConfigPopup(active, true, false);
    EXPECT_TRUE(e.Configure && e.Scan && e.FourccList);
    EXPECT_FALSE(e.About) << "never turned on here";
    EXPECT_FALSE(DriverConfigPopup(ListOf({}), true, true).Scan);
}

TEST(SortByColumn, StableAndCarriesTheSelection) {
    TCodecList list = ListOf({"b", "a", "c", "a"});
    list.Entry(1).Driver = "first";
    list.Entry(3).Driver = "second";
    list.Select(3);
    SortByColumn(list, TListKind::Inactive, icFourcc,
                 [](const std::string& x, const std::string& y) { return x.compare(y); });
    EXPECT_EQ(list.Entry(0).Driver, "first");
    EXPECT_EQ(list.Entry(1).Driver, "second");
    EXPECT_EQ(SelectedRows(list), (std::vector<size_t>{1}));
}

TEST(ActiveRowTip, AProblemIsAlwaysSaidTheVersionOnlyWhenSwitchedOn) {
    TCodecEntry broken;
    broken.Problem.Text = "Driver file not found: C:\\WINDOWS\\system32\\x.dll";
    EXPECT_EQ(ActiveRowTip(broken, false).Problem, broken.Problem.Text);
    EXPECT_EQ(ActiveRowTip(broken, false).Version, "");
    // An entry without a version record says so rather than showing nothing.
    EXPECT_EQ(ActiveRowTip(broken, true).Version, "No Version Information Available");

    TCodecEntry sound;
    sound.VersionInfo = std::make_shared<const TCodecVersionInfo>(TCodecVersionInfo{"Co", "Desc", "1.2.3.4"});
    const TActiveRowTip tip = ActiveRowTip(sound, true);
    EXPECT_EQ(tip.Problem, "");
    EXPECT_EQ(tip.Version, VersionTooltipText(*sound.VersionInfo));
    EXPECT_EQ(ActiveRowTip(sound, false).Version, "") << "no tooltip at all";
}
