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

TEST(MessageLayout, DesignSizeUntilTheTextWantsMoreThenAsFarAsTheWorkArea) {
    const auto one = [](int px) { return px; };
    EXPECT_EQ(MessagePanelWidth(100, 1024, one), 409);
    EXPECT_EQ(MessagePanelWidth(600, 1024, one), 600);
    EXPECT_EQ(MessagePanelWidth(5000, 1024, one), 1024 - 48 - 104 - 12) << "24 free at each edge";
    EXPECT_EQ(MessagePanelWidth(5000, 300, one), 409) << "never under the design, even on a small screen";

    TMessageLayout l = MessageLayout(409, 20, 768, one);
    EXPECT_EQ(std::vector<int>({l.PanelLeft, l.PanelTop, l.PanelWidth, l.PanelHeight}), std::vector<int>({104, 64, 409, 33}));
    EXPECT_EQ(std::vector<int>({l.ButtonLeft, l.ButtonTop, l.ClientWidth, l.ClientHeight}),
              std::vector<int>({264, 104, 525, 146})) << "the design's Ok button and size";
    l = MessageLayout(600, 5000, 768, one);
    EXPECT_EQ(l.PanelHeight, 768 - 48 - 40 - (64 + 7 + 25 + 17)) << "beyond the work area the text scrolls";
    EXPECT_EQ(l.ClientHeight, l.ButtonTop + 25 + 17);
    EXPECT_EQ(l.ClientWidth, 104 + 600 + 12);

    l = MessageLayout(818, 20, 1536, [](int px) { return 2 * px; });
    EXPECT_EQ(std::vector<int>({l.PanelTop, l.PanelHeight, l.ClientWidth, l.ClientHeight}),
              std::vector<int>({128, 66, 1050, 292})) << "scaled alike";
}

TEST(MainCaption, TheFourNumbersOfTheFileVersionInOrderZerosWithoutOne) {
    EXPECT_EQ(MainCaption("2.0.1.7"), "Tarnel - Version 2.0 - Release 1 - Build 7");
    EXPECT_EQ(MainCaption(""), "Tarnel - Version 0.0 - Release 0 - Build 0");
    EXPECT_EQ(VersionText("1.0.0.1"), "Version 1.0 - Release 0 - Build 1");
}

}  // namespace
}  // namespace tarnel
