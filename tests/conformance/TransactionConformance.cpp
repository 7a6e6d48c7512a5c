// Transactions as the program relies on them: a rollback, or a savepoint's,
// puts back every change it covers; a scratch transaction's changes are seen
// by this process's calls and always undone. The emulation batches the
// changes and writes them at Commit; the real API makes each change at once
// and undoes it from its journal. Both look the same to the calls.
#include <algorithm>

#include "conformance/Conformance.h"
#include "platform/api/CodecManager.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"

namespace tarnel::conformance {
namespace {

using namespace platform;

using TransactionConformance = ConformanceTest;

std::vector<std::string> ValueNames(RootKey root, const std::string& path) {
    TRegistry reg;
    reg.SetRootKey(root);
    std::vector<std::string> names;
    if (reg.OpenKeyReadOnly(path)) reg.GetValueNames(names);
    return names;
}

std::string Text(const std::string& path, const std::string& name) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    return reg.OpenKeyReadOnly(path) ? reg.ReadString(name) : "(no key)";
}

TEST_F(TransactionConformance, RollbackPutsBackValuesAndKeysAsTheyWere) {
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(std::string(kTestKey) + "\\Kept", true));
        reg.WriteString("replaced", "old");
        reg.WriteString("deleted", "still here");
        reg.WriteInteger("number", 7);
    }
    {
        TTransaction transaction;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(std::string(kTestKey) + "\\Kept", false));
        reg.WriteString("replaced", "new");
        reg.DeleteValue("deleted");
        reg.WriteString("added", "new");
        reg.CreateKey(std::string("\\") + kTestKey + "\\Made\\Deeper\\Deepest");
        EXPECT_TRUE(reg.DeleteKey(std::string("\\") + kTestKey + "\\Kept"));
        EXPECT_FALSE(reg.KeyExists(std::string("\\") + kTestKey + "\\Kept")) << "seen inside the transaction";
        // Leaving without Commit.
    }
    const std::string kept = std::string(kTestKey) + "\\Kept";
    EXPECT_EQ(Text(kept, "replaced"), "old");
    EXPECT_EQ(Text(kept, "deleted"), "still here");
    std::vector<std::string> names = ValueNames(kHkeyLocalMachine, kept);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"deleted", "number", "replaced"})) << "none added, none lost";
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    EXPECT_FALSE(reg.KeyExists(std::string("\\") + kTestKey + "\\Made")) << "made keys go with their parents";
}

TEST_F(TransactionConformance, ASavepointUndoesOnlyWhatFollowedIt) {
    {
        TTransaction transaction;
        TRegistry reg;
        reg.SetRootKey(kHkeyCurrentUser);
        ASSERT_TRUE(reg.OpenKey(kTestKey, true));
        reg.WriteString("before", "1");
        {
            TSavepoint probe;
            reg.WriteString("probe", "2");
            reg.WriteString("before", "changed");
            reg.CreateKey("ProbeKey");
            EXPECT_TRUE(reg.ValueExists("probe"));
        }
        reg.WriteString("after", "3");
        {
            TTransaction nested;
            reg.WriteString("nested", "4");
            nested.Rollback();
        }
        transaction.Commit();
    }
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kTestKey));
    EXPECT_EQ(reg.ReadString("before"), "1");
    EXPECT_FALSE(reg.ValueExists("probe"));
    EXPECT_FALSE(reg.ValueExists("nested"));
    EXPECT_EQ(reg.ReadString("after"), "3");
    EXPECT_FALSE(reg.KeyExists("ProbeKey"));
}

TEST_F(TransactionConformance, AScratchTransactionIsSeenByTheCodecManagerAndAlwaysUndone) {
    Install("lcmjpeg.dll", "tcscr.dll");
    {
        TTransaction scratch(TTransaction::Scratch);
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kDrivers32KeyPath, true));
        reg.WriteString("vidc.mjpg", "tcscr.dll");
        HIC h = ICOpen(Fourcc("VIDC"), Fourcc("MJPG"), kIcModeQuery);
        EXPECT_NE(h, 0u) << "the probe's entry is live for the codec manager";
        ICClose(h);
        scratch.Commit();  // a scratch transaction's Commit undoes it too
    }
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKeyReadOnly(kDrivers32KeyPath));
    EXPECT_FALSE(reg.ValueExists("vidc.mjpg"));
    EXPECT_EQ(ICOpen(Fourcc("VIDC"), Fourcc("MJPG"), kIcModeQuery), 0u);
}

TEST_F(TransactionConformance, ProfileWritesAreUndoneWithTheRest) {
    WriteWindowsFile("tcundo.ini", "[drivers32]\r\nvidc.aaaa=a.dll\r\nvidc.bbbb=b.dll\r\n[other]\r\nx=1\r\n");
    char buf[256];
    {
        TTransaction transaction;
        ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.aaaa", "changed.dll", "tcundo.ini"));
        ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.bbbb", nullptr, "tcundo.ini"));
        ASSERT_TRUE(WritePrivateProfileStringA("drivers32", "vidc.cccc", "c.dll", "tcundo.ini"));
        ASSERT_TRUE(WritePrivateProfileStringA("other", nullptr, nullptr, "tcundo.ini"));
        EXPECT_EQ(GetPrivateProfileStringA("other", "x", "gone", buf, sizeof buf, "tcundo.ini"), 4u);
    }
    EXPECT_EQ(GetPrivateProfileStringA("drivers32", "vidc.aaaa", "", buf, sizeof buf, "tcundo.ini"), 5u);
    EXPECT_STREQ(buf, "a.dll");
    GetPrivateProfileStringA("drivers32", "vidc.bbbb", "", buf, sizeof buf, "tcundo.ini");
    EXPECT_STREQ(buf, "b.dll");
    GetPrivateProfileStringA("drivers32", "vidc.cccc", "none", buf, sizeof buf, "tcundo.ini");
    EXPECT_STREQ(buf, "none");
    GetPrivateProfileStringA("other", "x", "", buf, sizeof buf, "tcundo.ini");
    EXPECT_STREQ(buf, "1");
}

}  // namespace
}  // namespace tarnel::conformance
