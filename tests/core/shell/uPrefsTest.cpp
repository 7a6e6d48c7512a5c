#include <gtest/gtest.h>

#include "platform/api/Registry.h"
#include "core/shell/uPrefs.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

// The settings key, opened from the current user's root.
struct PrefsKey {
    TRegistry reg;
    PrefsKey() {
        reg.SetRootKey(kHkeyCurrentUser);
        EXPECT_TRUE(reg.OpenKey("SOFTWARE\\Halvorin\\Preferences", true));
    }
};

}  // namespace

TEST(Settings, FirstStartSeedsAllTwelveValuesWithDefaults) {
    test::TempMachine m;
    TPreferences p = LoadSettings();
    EXPECT_TRUE(p.SizeEqually && p.StayOnTop && p.AutoSwap && p.SavePositions);
    EXPECT_FALSE(p.DisableDoubleClick);
    EXPECT_EQ(p.MainTop | p.MainLeft | p.MainHeight | p.MainWidth | p.ActiveCodecHeight, 0);
    EXPECT_EQ(p.ProgramFont, "Arial");
    EXPECT_EQ(p.FontSize, 10);

    PrefsKey k;
    std::vector<std::string> names;
    k.reg.GetValueNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"SizeEqually", "StayOnTop", "AutoSwap",
                                                "SavePositions", "DisableDoubleClick", "MainLeft",
                                                "MainTop", "MainHeight", "MainWidth",
                                                "ActiveCodecHeight", "ProgramFont", "FontSize"}));
    std::string stored;
    for (const std::string& n : names)
        stored += n == "ProgramFont" ? k.reg.ReadString(n) : std::to_string(k.reg.ReadInteger(n));
    EXPECT_EQ(stored, "1111000000Arial10");
    EXPECT_EQ(k.reg.GetRawType("SizeEqually"), kRegDword);
}

TEST(Settings, StoredValuesReachTheirFieldsAndFlagsAreWrittenAsOne) {
    test::TempMachine m;
    {
        PrefsKey k;
        const char* ints[] = {"MainLeft", "MainTop", "MainHeight", "MainWidth", "ActiveCodecHeight",
                              "FontSize"};
        for (int i = 0; i < 6; ++i) k.reg.WriteInteger(ints[i], 11 * (i + 1));
        k.reg.WriteInteger("SizeEqually", 0);
        k.reg.WriteInteger("AutoSwap", 5);
        k.reg.WriteInteger("DisableDoubleClick", 1);
        k.reg.WriteString("ProgramFont", "Not Installed Sans");
    }
    TPreferences p = LoadSettings();
    EXPECT_FALSE(p.SizeEqually);
    EXPECT_TRUE(p.AutoSwap);
    EXPECT_TRUE(p.DisableDoubleClick);
    EXPECT_EQ(p.MainLeft, 11);
    EXPECT_EQ(p.MainTop, 22);
    EXPECT_EQ(p.MainHeight, 33);
    EXPECT_EQ(p.MainWidth, 44);
    EXPECT_EQ(p.ActiveCodecHeight, 55);
    EXPECT_EQ(p.FontSize, 66);
    EXPECT_EQ(p.ProgramFont, "Not Installed Sans");

    SaveSettings(p, TWindowBounds{1, 2, 3, 4}, 5);
    EXPECT_EQ(PrefsKey().reg.ReadInteger("AutoSwap"), 1) << "a flag stored as 5 is written back as 1";
}

TEST(Settings, SaveTakesTheBoundsAndWritesOnlyExistingValues) {
    test::TempMachine m;
    TPreferences p = LoadSettings();
    p.SavePositions = false;
    p.ProgramFont = "Tahoma";
    PrefsKey().reg.DeleteValue("MainWidth");  // deleted while the program runs
    SaveSettings(p, TWindowBounds{10, 20, 300, 400}, 157);
    EXPECT_EQ(p.MainWidth, 400);
    EXPECT_EQ(p.ActiveCodecHeight, 157);
    {
        PrefsKey k;
        EXPECT_EQ(k.reg.ReadInteger("MainTop"), 10) << "saved although SavePositions is off";
        EXPECT_EQ(k.reg.ReadInteger("MainLeft"), 20);
        EXPECT_EQ(k.reg.ReadInteger("MainHeight"), 300);
        EXPECT_EQ(k.reg.ReadInteger("ActiveCodecHeight"), 157);
        EXPECT_EQ(k.reg.ReadInteger("SavePositions"), 0);
        EXPECT_EQ(k.reg.ReadString("ProgramFont"), "Tahoma");
        EXPECT_FALSE(k.reg.ValueExists("MainWidth"));
    }
    TPreferences again = LoadSettings();
    EXPECT_EQ(again.MainWidth, 0) << "the next start recreates it with its default";
    EXPECT_EQ(again.MainHeight, 300);
}

TEST(Settings, ValueOfAnotherTypeIsReplacedByItsDefault) {
    test::TempMachine m;
    {
        PrefsKey k;
        k.reg.WriteString("SizeEqually", "0");
        k.reg.WriteInteger("ProgramFont", 7);
        uint8_t bytes[4] = {1, 0, 0, 0};
        k.reg.WriteBinaryData("FontSize", bytes, 4);
        k.reg.WriteInteger("MainLeft", 77);
    }
    TPreferences p = LoadSettings();
    EXPECT_TRUE(p.SizeEqually);
    EXPECT_EQ(p.ProgramFont, "Arial");
    EXPECT_EQ(p.FontSize, 10);
    EXPECT_EQ(p.MainLeft, 77) << "well-typed neighbours are still read";
    PrefsKey k;
    EXPECT_EQ(k.reg.GetRawType("SizeEqually"), kRegDword);
    EXPECT_EQ(k.reg.ReadInteger("SizeEqually"), 1);
    EXPECT_EQ(k.reg.GetRawType("ProgramFont"), kRegSz);
    EXPECT_EQ(k.reg.GetRawType("FontSize"), kRegDword);
}

TEST(Settings, ReadingAloneGivesWhatLoadingGivesAndWritesNothing) {
    test::TempMachine m;
    const std::string before = m.ReadFile("user.reg");
    TPreferences fresh = ReadSettings();
    EXPECT_TRUE(fresh.AutoSwap) << "no settings key: the defaults";
    EXPECT_EQ(fresh.ProgramFont, "Arial");
    EXPECT_EQ(m.ReadFile("user.reg"), before) << "reading must not seed the key";
    {
        PrefsKey k;
        k.reg.WriteInteger("AutoSwap", 0);
        k.reg.WriteString("StayOnTop", "0");  // another type: the default
        k.reg.WriteInteger("FontSize", 14);
    }
    const std::string stored = m.ReadFile("user.reg");
    TPreferences read = ReadSettings();
    EXPECT_EQ(m.ReadFile("user.reg"), stored);
    TPreferences loaded = LoadSettings();
    EXPECT_FALSE(read.AutoSwap);
    EXPECT_EQ(read.AutoSwap, loaded.AutoSwap);
    EXPECT_EQ(read.StayOnTop, loaded.StayOnTop);
    EXPECT_TRUE(read.StayOnTop);
    EXPECT_EQ(read.FontSize, 14);
    EXPECT_EQ(read.FontSize, loaded.FontSize);
}
