// The active list's selection rule, the twin mark and the version tooltip,
// worked on lists filled by hand over the demo machine's codec drivers.
#include <gtest/gtest.h>

#include "core/catalogue/CodecSelection.h"
#include "support/TempMachine.h"

using namespace tarnel;
using Strings = std::vector<std::string>;

namespace {

std::string Blanks(size_t n) { return std::string(n, ' '); }

TCodecList ListOf(const Strings& captions) {
    TCodecList list;
    for (const std::string& c : captions) list.Add().Caption = c;
    return list;
}

std::vector<size_t> SelectedRows(const TCodecList& list) {
    std::vector<size_t> out;
    for (size_t i = 0; i < list.Count(); ++i)
        if (list.Row(i).Selected) out.push_back(i);
    return out;
}

// The demo machine's active entries: mjpg offers configure and about, yuy2
// about only, vrh2 configure only, i420 neither; xmv7's driver file is gone.
class SelectActive : public ::testing::Test {
protected:
    test::TempMachine machine{platform::MachineFamily::NT, /*demo=*/true};
    TCodecList active = ListOf({"mjpg", "yuy2", "vrh2", "i420", "xmv7", "zzzz"});
    TCodecList inactive;

    TActiveSelection Select(size_t row) {
        active.SelectAll(false);
        active.Row(row).Selected = true;
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
    inactive.Row(1).Selected = true;
    TActiveSelection s = SelectActiveCodec(active, inactive);
    EXPECT_FALSE(s.Handled);
    EXPECT_EQ(SelectedRows(inactive), (std::vector<size_t>{1}));
    EXPECT_EQ(s.StatusText, "");
}

TEST_F(SelectActive, TwinsAreSelectedAloneAndCounted) {
    inactive = ListOf({"mjpg", "ptx8", "mjpgx", "MJPG", "iyuv"});
    inactive.Row(1).Selected = true;
    inactive.Row(4).Selected = true;

    TActiveSelection s = Select(0);
    EXPECT_TRUE(s.Handled);
    EXPECT_EQ(s.Row, 0u);
    EXPECT_TRUE(s.TwinsChecked);
    EXPECT_EQ(s.TwinCount, 2u);
    EXPECT_EQ(SelectedRows(inactive), (std::vector<size_t>{0, 3})) << "exact FOURCC only, others deselected";
    EXPECT_EQ(s.ScrollTo, 3u) << "the later twin";
    EXPECT_EQ(s.StatusText, "mjpg (2)");

    // An active caption in upper case finds the same twins; the text is lower case.
    active.Row(0).Caption = "MJPG";
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
    inactive.Row(2).Selected = true;
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
    active.Row(3).Selected = true;
    active.Row(1).Selected = true;
    active.Row(4).Selected = true;
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
        EXPECT_EQ(s.CanConfigure, c.configure) << active.Row(c.row).Caption;
        EXPECT_EQ(s.CanAbout, c.about) << active.Row(c.row).Caption;
    }
}

TEST_F(SelectActive, DriverThatIsNotAnImageAnswersNothing) {
    machine.WriteFile("drive_c/windows/system32/lcmjpeg.dll", "not a driver");
    TActiveSelection s = Select(0);
    EXPECT_TRUE(s.Handled);
    EXPECT_FALSE(s.CanConfigure);
    EXPECT_FALSE(s.CanAbout);
}
