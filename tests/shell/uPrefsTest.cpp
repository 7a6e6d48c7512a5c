#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "shell/uPrefs.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

const char* const kNames[] = {"SizeEqually", "StayOnTop",  "AutoSwap",   "SavePositions",
                              "DisableDoubleClick", "MainLeft", "MainTop", "MainHeight",
                              "MainWidth", "ActiveCodecHeight", "ProgramFont", "FontSize"};

// The settings key, opened from the current user's root.
struct PrefsKey {
    TRegistry reg;
    PrefsKey() {
        reg.SetRootKey(HKEY_CURRENT_USER);
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
    EXPECT_EQ(p.CodecStoreMode, 0);

    PrefsKey k;
    std::vector<std::string> names;
    k.reg.GetValueNames(names);
    EXPECT_EQ(names, std::vector<std::string>(std::begin(kNames), std::end(kNames)))
        << "created in the order they are visited";
    for (const char* n : kNames) {
        if (std::string(n) == "ProgramFont") continue;
        EXPECT_EQ(k.reg.GetRawType(n), REG_DWORD) << n;
    }
    EXPECT_EQ(k.reg.ReadInteger("SizeEqually"), 1);
    EXPECT_EQ(k.reg.ReadInteger("DisableDoubleClick"), 0);
    EXPECT_EQ(k.reg.GetRawType("ProgramFont"), REG_SZ);
    EXPECT_EQ(k.reg.ReadString("ProgramFont"), "Arial");
    EXPECT_EQ(k.reg.ReadInteger("FontSize"), 10);
}

TEST(Settings, StoredValuesReachTheirOwnFields) {
    test::TempMachine m;
    {
        PrefsKey k;
        k.reg.WriteInteger("SizeEqually", 0);
        k.reg.WriteInteger("StayOnTop", 0);
        k.reg.WriteInteger("AutoSwap", 5);  // any non-zero number is true
        k.reg.WriteInteger("SavePositions", 0);
        k.reg.WriteInteger("DisableDoubleClick", 1);
        k.reg.WriteInteger("MainLeft", 11);
        k.reg.WriteInteger("MainTop", 22);
        k.reg.WriteInteger("MainHeight", 33);
        k.reg.WriteInteger("MainWidth", 44);
        k.reg.WriteInteger("ActiveCodecHeight", -55);
        k.reg.WriteString("ProgramFont", "Not Installed Sans");
        k.reg.WriteInteger("FontSize", 14);
    }
    TPreferences p = LoadSettings();
    EXPECT_FALSE(p.SizeEqually);
    EXPECT_FALSE(p.StayOnTop);
    EXPECT_TRUE(p.AutoSwap);
    EXPECT_FALSE(p.SavePositions);
    EXPECT_TRUE(p.DisableDoubleClick);
    EXPECT_EQ(p.MainLeft, 11);
    EXPECT_EQ(p.MainTop, 22);
    EXPECT_EQ(p.MainHeight, 33);
    EXPECT_EQ(p.MainWidth, 44);
    EXPECT_EQ(p.ActiveCodecHeight, -55);
    EXPECT_EQ(p.ProgramFont, "Not Installed Sans") << "applied unchanged";
    EXPECT_EQ(p.FontSize, 14);

    SaveSettings(p, TWindowBounds{1, 2, 3, 4}, 5);
    PrefsKey k;
    EXPECT_EQ(k.reg.ReadInteger("AutoSwap"), 1) << "a flag stored as 5 is written back as 1";
    EXPECT_EQ(k.reg.ReadInteger("StayOnTop"), 0);
}

TEST(Settings, SaveTakesTheBoundsAndWritesOnlyExistingValues) {
    test::TempMachine m;
    TPreferences p = LoadSettings();
    p.SavePositions = false;
    p.DisableDoubleClick = true;
    p.ProgramFont = "Tahoma";
    p.FontSize = 12;
    {
        PrefsKey k;  // deleted while the program runs
        k.reg.DeleteValue("MainWidth");
        k.reg.DeleteValue("StayOnTop");
    }
    SaveSettings(p, TWindowBounds{10, 20, 300, 400}, 157);
    EXPECT_EQ(p.MainTop, 10);
    EXPECT_EQ(p.MainLeft, 20);
    EXPECT_EQ(p.MainHeight, 300);
    EXPECT_EQ(p.MainWidth, 400);
    EXPECT_EQ(p.ActiveCodecHeight, 157);
    {
        PrefsKey k;
        EXPECT_EQ(k.reg.ReadInteger("MainTop"), 10) << "saved although SavePositions is off";
        EXPECT_EQ(k.reg.ReadInteger("MainLeft"), 20);
        EXPECT_EQ(k.reg.ReadInteger("MainHeight"), 300);
        EXPECT_EQ(k.reg.ReadInteger("ActiveCodecHeight"), 157);
        EXPECT_EQ(k.reg.ReadInteger("SavePositions"), 0);
        EXPECT_EQ(k.reg.ReadInteger("DisableDoubleClick"), 1);
        EXPECT_EQ(k.reg.ReadString("ProgramFont"), "Tahoma");
        EXPECT_EQ(k.reg.ReadInteger("FontSize"), 12);
        EXPECT_FALSE(k.reg.ValueExists("MainWidth"));
        EXPECT_FALSE(k.reg.ValueExists("StayOnTop"));
    }
    TPreferences again = LoadSettings();
    EXPECT_EQ(again.MainWidth, 0) << "the next start recreates a missing value with its default";
    EXPECT_TRUE(again.StayOnTop);
    EXPECT_EQ(again.MainHeight, 300);
    PrefsKey k;
    EXPECT_TRUE(k.reg.ValueExists("MainWidth"));
}

TEST(Settings, SaveAfterTheKeyVanishedWritesNothing) {
    test::TempMachine m;
    TPreferences p = LoadSettings();
    {
        TRegistry reg;
        reg.SetRootKey(HKEY_CURRENT_USER);
        ASSERT_TRUE(reg.DeleteKey("SOFTWARE\\Halvorin"));
    }
    SaveSettings(p, TWindowBounds{1, 1, 1, 1}, 1);
    PrefsKey k;
    std::vector<std::string> names;
    k.reg.GetValueNames(names);
    EXPECT_TRUE(names.empty());
}

TEST(Settings, ValueOfAnotherTypeIsReplacedByItsDefault) {
    test::TempMachine m;
    {
        PrefsKey k;
        k.reg.WriteString("SizeEqually", "0");
        k.reg.WriteInteger("ProgramFont", 7);
        k.reg.WriteString("FontSize", "12");
        uint8_t bytes[4] = {1, 0, 0, 0};
        k.reg.WriteBinaryData("MainTop", bytes, 4);
        k.reg.WriteInteger("MainLeft", 77);
    }
    TPreferences p = LoadSettings();
    EXPECT_TRUE(p.SizeEqually);
    EXPECT_EQ(p.ProgramFont, "Arial");
    EXPECT_EQ(p.FontSize, 10);
    EXPECT_EQ(p.MainTop, 0);
    EXPECT_EQ(p.MainLeft, 77) << "well-typed neighbours are still read";
    PrefsKey k;
    EXPECT_EQ(k.reg.GetRawType("SizeEqually"), REG_DWORD);
    EXPECT_EQ(k.reg.ReadInteger("SizeEqually"), 1);
    EXPECT_EQ(k.reg.GetRawType("ProgramFont"), REG_SZ);
    EXPECT_EQ(k.reg.ReadString("ProgramFont"), "Arial");
    EXPECT_EQ(k.reg.GetRawType("FontSize"), REG_DWORD);
    EXPECT_EQ(k.reg.GetRawType("MainTop"), REG_DWORD);
}
