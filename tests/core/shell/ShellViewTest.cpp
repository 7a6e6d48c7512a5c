// The main window's rules that both window layers call: the status panels'
// widths, the restore of saved bounds, the font box and the about box's line.
#include <gtest/gtest.h>

#include <cctype>

#include "core/shell/ShellView.h"

namespace tarnel {
namespace {

int CaseBlind(const std::string& a, const std::string& b) {
    std::string x = a, y = b;
    for (char& c : x) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (char& c : y) c = char(std::tolower(static_cast<unsigned char>(c)));
    return x.compare(y);
}

TEST(StatusPanelWidths, ShrinkAlikeWhenTheBarIsNarrowAndTheLastTakesTheRest) {
    const std::array<int, 5> design = {240, 100, 100, 120, 50};
    EXPECT_EQ(StatusPanelWidths(design, 619), (std::array<int, 5>{240, 100, 100, 120, 59}));
    EXPECT_EQ(StatusPanelWidths(design, 560), (std::array<int, 5>{240, 100, 100, 120, 0}));
    // 281 of 560 wanted: each halved (rounded down), the remainder to the first.
    const std::array<int, 5> narrow = StatusPanelWidths(design, 281);
    EXPECT_EQ(narrow, (std::array<int, 5>{121, 50, 50, 60, 0}));
    EXPECT_EQ(narrow[0] + narrow[1] + narrow[2] + narrow[3], 281) << "every pixel of the bar given";
    EXPECT_EQ(StatusPanelWidths(design, -5), (std::array<int, 5>{0, 0, 0, 0, 0})) << "a bar of no width";
    EXPECT_EQ(StatusPanelWidths({-3, 10, 10, 10, 0}, 100)[0], 0) << "no negative width";
}

TEST(RestoresSavedBounds, OnlyWithThePositionsSavedAndAllFourSet) {
    TPreferences p;
    p.SavePositions = true;
    p.MainTop = 10, p.MainLeft = 20, p.MainHeight = 300, p.MainWidth = 400;
    EXPECT_TRUE(RestoresSavedBounds(p));
    for (int32_t TPreferences::*field :
         {&TPreferences::MainTop, &TPreferences::MainLeft, &TPreferences::MainHeight, &TPreferences::MainWidth}) {
        TPreferences q = p;
        q.*field = 0;
        EXPECT_FALSE(RestoresSavedBounds(q));
    }
    p.SavePositions = false;
    EXPECT_FALSE(RestoresSavedBounds(p));
}

TEST(FontBox, EachFamilyOnceWithDefaultInItsPlaceAndSelectedWithoutCase) {
    const std::vector<std::string> entries =
        FontBoxEntries({"Tahoma", "arial", "Verdana", "Arial", "Tahoma", "Courier"}, CaseBlind);
    EXPECT_EQ(entries, (std::vector<std::string>{"Arial", "arial", "Courier", "Default", "Tahoma", "Verdana"}));
    EXPECT_EQ(FontBoxEntries({"Verdana", "Arial"}, CaseBlind), FontBoxEntries({"Arial", "Verdana"}, CaseBlind))
        << "the order does not depend on the input's";
    EXPECT_EQ(FontBoxEntries({"DEFAULT", "Arial"}, CaseBlind), (std::vector<std::string>{"Arial", "DEFAULT"}))
        << "an installed family of that name is the entry";
    EXPECT_EQ(FontBoxEntries({}, CaseBlind), (std::vector<std::string>{"Default"}));

    EXPECT_EQ(FontBoxSelection(entries, "TAHOMA"), 4);
    EXPECT_EQ(FontBoxSelection(entries, "default"), 3);
    EXPECT_EQ(FontBoxSelection(entries, ""), -1);
    EXPECT_EQ(FontBoxSelection(entries, "Wingdings"), -1);
    EXPECT_TRUE(NamesDefaultFont(""));
    EXPECT_TRUE(NamesDefaultFont("DeFaUlT"));
    EXPECT_FALSE(NamesDefaultFont("Tahoma"));
    EXPECT_EQ(ClampFontSize(2), 6);
    EXPECT_EQ(ClampFontSize(12), 12);
    EXPECT_EQ(ClampFontSize(1000), 100);
}

TEST(AboutBuildText, TheNoteFollowsTheVersionOrStandsAloneWithoutItsBlank) {
    EXPECT_EQ(AboutBuildText("Version 1.0 - Release 0 - Build 1", " for Windows"),
              "Version 1.0 - Release 0 - Build 1 for Windows");
    EXPECT_EQ(AboutBuildText("", " for Windows"), "for Windows");
    EXPECT_EQ(AboutBuildText("", "x"), "x");
    EXPECT_EQ(AboutBuildText("", ""), "");
}

TEST(MainCaption, TheFourNumbersOfTheFileVersionInOrderZerosWithoutOne) {
    EXPECT_EQ(MainCaption("2.0.1.7"), "Tarnel - Version 2.0 - Release 1 - Build 7");
    EXPECT_EQ(MainCaption(""), "Tarnel - Version 0.0 - Release 0 - Build 0");
    EXPECT_EQ(VersionText("1.0.0.1"), "Version 1.0 - Release 0 - Build 1");
}

}  // namespace
}  // namespace tarnel
