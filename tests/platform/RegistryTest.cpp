#include "platform/api/Registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/api/WinError.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "support/TempMachine.h"

using namespace tarnel::platform;
using tarnel::test::TempMachine;

namespace {

// The message of the ERegistryException `f` throws, or "(no error)".
std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "(no error)";
}

std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Another process rewrites the file in place (same inode, new contents).
void RewriteInPlace(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

const char* kTestKey = "Software\\Halvorin\\Test";

}  // namespace

TEST(Registry, NamesIgnoreCaseAndKeepTheirSpelling) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("Software\\Halvorin\\MixedCase", true));
    reg.WriteString("DriverName", "one");
    reg.WriteString("DRIVERNAME", "two");
    EXPECT_TRUE(reg.ValueExists("drivername"));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"DriverName"});
    EXPECT_EQ(reg.ReadString("dRiVeRnAmE"), "two");

    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\HALVORIN\\mixedcase", false));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Halvorin\\MixedCase");
    ASSERT_TRUE(reg.OpenKey("\\software\\halvorin", false));
    reg.GetKeyNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"MixedCase"});
}

TEST(Registry, EnumerationFollowsCreationOrderAcrossReloads) {
    TempMachine m;
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kTestKey, true));
        for (const char* n : {"zeta", "alpha", "Mid", "#002#", "#001#"}) reg.WriteString(n, n);
        for (const char* k : {"Zed", "Able", "m"}) reg.CreateKey(k);
        // Replacing a value keeps its place.
        reg.WriteString("alpha", "again");
    }
    ForgetLoadedHives();
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kTestKey, false));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"zeta", "alpha", "Mid", "#002#", "#001#"}));
    // Subkeys come sorted by name, as Windows lists them.
    reg.GetKeyNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Able", "m", "Zed"}));
    EXPECT_EQ(reg.ReadString("alpha"), "again");

    // No key open: lists are cleared and stay empty.
    reg.CloseKey();
    reg.GetValueNames(names);
    EXPECT_TRUE(names.empty());
}

// Values read a part at a time come in the order and with the data of one
// whole read, also after deletions left gaps among the stored records.
TEST(Registry, ValueRangesTogetherGiveTheWholeRead) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    EXPECT_EQ(reg.ValueCount(), 0u) << "no key open";
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    for (int i = 0; i < 23; ++i) reg.WriteString("v" + std::to_string(i), std::string(size_t(i) * 7, char('a' + i)));
    reg.WriteInteger("dword", 0x1234);
    for (const char* gone : {"v0", "v5", "v17"}) reg.DeleteValue(gone);
    reg.WriteString("v9", "replaced");
    std::vector<TRegistry::TValue> whole, part, joined;
    reg.GetValues(whole);
    ASSERT_EQ(reg.ValueCount(), whole.size());
    ASSERT_EQ(whole.size(), 21u);
    for (uint32_t first = 0; first < reg.ValueCount(); first += 4) {
        reg.GetValueRange(first, 4, part);
        EXPECT_LE(part.size(), 4u);
        joined.insert(joined.end(), part.begin(), part.end());
    }
    ASSERT_EQ(joined.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(joined[i].Name, whole[i].Name) << i;
        EXPECT_EQ(joined[i].Type, whole[i].Type) << i;
        EXPECT_EQ(joined[i].Data, whole[i].Data) << i;
    }
    reg.GetValueRange(19, 100, part);
    ASSERT_EQ(part.size(), 2u) << "a range past the end is cut there";
    EXPECT_EQ(part[1].Name, "dword");
    reg.GetValueRange(21, 5, part);
    EXPECT_TRUE(part.empty());
    reg.GetValueRange(0, 0, part);
    EXPECT_TRUE(part.empty());
}

TEST(Registry, TypesSizesAndConversions) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteString("s", "caf\xe9 \x80");  // Windows-1252: e-acute, euro sign
    reg.WriteExpandString("e", "%SystemRoot%\\x");
    reg.WriteInteger("i", -5);
    reg.WriteBool("t", true);
    reg.WriteBool("f", false);
    const uint8_t bytes[] = {0x61, 0x00, 0x20, 0x00, 0xff};
    reg.WriteBinaryData("b", bytes, sizeof bytes);
    reg.WriteBinaryData("empty", nullptr, 0);
    reg.WriteString("cut", std::string("ab\0cd", 5));

    EXPECT_EQ(reg.GetDataType("s"), TRegDataType::rdString);
    EXPECT_EQ(reg.GetDataType("e"), TRegDataType::rdExpandString);
    EXPECT_EQ(reg.GetDataType("i"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.GetDataType("b"), TRegDataType::rdBinary);
    EXPECT_EQ(reg.GetDataType("missing"), TRegDataType::rdUnknown);
    EXPECT_EQ(reg.GetRawType("e"), uint32_t(kRegExpandSz));
    EXPECT_EQ(reg.GetRawType("missing"), uint32_t(kRegNone));

    EXPECT_EQ(reg.ReadString("s"), "caf\xe9 \x80");
    EXPECT_EQ(reg.GetDataSize("s"), 7);  // one byte per character plus the zero
    EXPECT_EQ(reg.ReadString("e"), "%SystemRoot%\\x");
    EXPECT_EQ(reg.ReadString("cut"), "ab");
    EXPECT_EQ(reg.ReadString("missing"), "");
    EXPECT_EQ(reg.GetDataSize("missing"), -1);
    EXPECT_EQ(reg.ReadInteger("i"), -5);
    EXPECT_EQ(reg.GetDataSize("i"), 4);
    EXPECT_TRUE(reg.ReadBool("t"));
    EXPECT_FALSE(reg.ReadBool("f"));

    uint8_t buf[16] = {};
    EXPECT_EQ(reg.ReadBinaryData("b", buf, sizeof buf), 5);
    EXPECT_EQ(std::memcmp(buf, bytes, sizeof bytes), 0);
    EXPECT_EQ(reg.GetDataSize("b"), 5);
    EXPECT_EQ(reg.ReadBinaryData("empty", buf, sizeof buf), 0);
    EXPECT_EQ(reg.ReadBinaryData("missing", buf, sizeof buf), 0);

    // The stored form is what Windows keeps: UTF-16 text, so the hive file
    // holds the euro sign as its Unicode character.
    EXPECT_NE(Slurp(UserHivePath()).find("\"s\"=\"caf\\xe9 \\x20ac\""), std::string::npos);
}

TEST(Registry, TypeAndReadErrorsUseTheExactTexts) {
    TempMachine m;
    m.WriteFile("user.reg",
                "WINE REGISTRY Version 2\n\n[Software\\\\Halvorin\\\\Test] 0\n"
                "\"multi\"=str(7):\"a\\0b\\0\"\n\"qword\"=hex(b):01,00,00,00,00,00,00,00\n");
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kTestKey, false));
    reg.WriteInteger("n", 7);
    reg.WriteString("long", "hello");
    reg.WriteString("short", "1");
    uint8_t six[6] = {1, 2, 3, 4, 5, 6};
    reg.WriteBinaryData("six", six, 6);

    EXPECT_EQ(ErrorOf([&] { reg.ReadString("n"); }), "Invalid data type for 'n'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("six"); }), "Invalid data type for 'six'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadString("multi"); }), "Invalid data type for 'multi'");
    uint8_t buf[8];
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("long", buf, 8); }), "Invalid data type for 'long'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("six", buf, 5); }), "Invalid data type for 'six'");
    // Types without a typed call come through as raw data, multi-strings in the code page.
    EXPECT_EQ(reg.ReadBinaryData("qword", buf, 8), 8);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(ErrorOf([&] { reg.ReadBinaryData("qword", buf, 7); }), "Invalid data type for 'qword'");
    EXPECT_EQ(reg.ReadBinaryData("multi", buf, 8), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), std::string("a\0b\0\0", 5));
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("absent"); }), "Failed to get data for 'absent'");
    // Too big for an integer's 4 bytes fails as a read; small enough but of
    // another type fails as a type error.
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("long"); }), "Failed to get data for 'long'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadInteger("short"); }), "Invalid data type for 'short'");
    EXPECT_EQ(ErrorOf([&] { reg.ReadBool("six"); }), "Failed to get data for 'six'");
    EXPECT_EQ(reg.GetDataSize("multi"), 5);

    TRegistry closed;
    EXPECT_EQ(ErrorOf([&] { closed.WriteString("v", "x"); }), "Failed to set data for 'v'");
    EXPECT_FALSE(closed.DeleteValue("v"));
    std::string longName(300, 'k');
    EXPECT_EQ(ErrorOf([&] { reg.CreateKey("Sub\\" + longName); }), "Failed to create key Sub\\" + longName);
    EXPECT_FALSE(reg.KeyExists("Sub"));  // a failed create leaves nothing behind
    EXPECT_FALSE(reg.OpenKey(longName, true));
    EXPECT_EQ(reg.CurrentPath(), kTestKey);
}

TEST(Registry, ErrorsTellTheKeyTheirMessageDoesNotName) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteInteger("n", 7);
    auto textOf = [](const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return ErrorText(e);
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(textOf([&] { reg.ReadString("n"); }),
              "Invalid data type for 'n' (key HKEY_LOCAL_MACHINE\\Software\\Halvorin\\Test)");
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Halvorin"));
    EXPECT_EQ(textOf([&] { reg.WriteString("v", "x"); }),
              "Failed to set data for 'v' (key HKEY_LOCAL_MACHINE\\Software\\Halvorin)");
    // Without an open key there is no key to tell; other errors pass as they are.
    TRegistry closed;
    EXPECT_EQ(textOf([&] { closed.WriteString("v", "x"); }), "Failed to set data for 'v'");
    EXPECT_EQ(textOf([] { throw std::runtime_error("Cannot read 'system.reg'"); }), "Cannot read 'system.reg'");
    EXPECT_EQ(textOf([] { throw ERegistryException("Failed to create key K", "K"); }), "Failed to create key K");
}

TEST(Registry, RelativeAndAbsolutePaths) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    EXPECT_FALSE(reg.OpenKey("Software\\Nowhere", false));
    EXPECT_FALSE(reg.HasOpenKey());
    ASSERT_TRUE(reg.OpenKey("Software\\Halvorin", true));
    ASSERT_TRUE(reg.OpenKey("Child\\Grand", true));  // below the open key
    EXPECT_EQ(reg.CurrentPath(), "Software\\Halvorin\\Child\\Grand");
    EXPECT_TRUE(reg.KeyExists("\\Software\\Halvorin\\Child"));
    EXPECT_FALSE(reg.KeyExists("Child"));  // relative: Grand\Child
    EXPECT_FALSE(reg.OpenKey("Missing", false));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Halvorin\\Child\\Grand");  // unchanged on failure
    ASSERT_TRUE(reg.OpenKey("\\Software", false));
    EXPECT_EQ(reg.CurrentPath(), "Software");
    ASSERT_TRUE(reg.OpenKeyReadOnly("Halvorin\\Child"));
    EXPECT_EQ(reg.CurrentPath(), "Software\\Halvorin\\Child");
    reg.SetRootKey(kHkeyCurrentUser);  // closes the key
    EXPECT_FALSE(reg.HasOpenKey());
    EXPECT_FALSE(reg.KeyExists("Software\\Halvorin\\Child"));  // other root, other hive
}

TEST(Registry, DeleteKeyRemovesTheWholeBranch) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("Software\\Halvorin\\Tree\\A\\B", true));
    reg.WriteString("deep", "1");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Halvorin\\Tree", false));
    reg.WriteString("top", "1");
    reg.CreateKey("Sibling");
    reg.CloseKey();
    EXPECT_TRUE(reg.DeleteKey("Software\\Halvorin\\Tree\\A"));
    EXPECT_FALSE(reg.DeleteKey("Software\\Halvorin\\Tree\\A"));
    EXPECT_FALSE(reg.DeleteKey(""));

    ForgetLoadedHives();  // what reached the disk
    EXPECT_FALSE(reg.KeyExists("Software\\Halvorin\\Tree\\A\\B"));
    EXPECT_FALSE(reg.KeyExists("Software\\Halvorin\\Tree\\A"));
    ASSERT_TRUE(reg.OpenKey("Software\\Halvorin\\Tree", false));
    EXPECT_EQ(reg.ReadString("top"), "1");
    std::vector<std::string> names;
    reg.GetKeyNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"Sibling"});
}

TEST(Registry, ReadOnlyKeyRefusesWrites) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteString("keep", "1");
    FileStamp before = StampOf(SystemHivePath());

    ASSERT_TRUE(reg.OpenKeyReadOnly(std::string("\\") + kTestKey));
    EXPECT_EQ(reg.ReadString("keep"), "1");
    EXPECT_EQ(ErrorOf([&] { reg.WriteString("keep", "2"); }), "Failed to set data for 'keep'");
    EXPECT_EQ(ErrorOf([&] { reg.WriteInteger("n", 1); }), "Failed to set data for 'n'");
    EXPECT_FALSE(reg.DeleteValue("keep"));
    EXPECT_EQ(ErrorOf([&] { reg.CreateKey("NewSub"); }), "Failed to create key NewSub");
    EXPECT_FALSE(reg.OpenKey("NewSub", true));
    EXPECT_EQ(StampOf(SystemHivePath()), before);

    // Opening normally again gives write access back.
    ASSERT_TRUE(reg.OpenKey(std::string("\\") + kTestKey, false));
    reg.WriteString("keep", "2");
    EXPECT_EQ(reg.ReadString("keep"), "2");
}

TEST(Registry, ClassesRootIsTheMachinesSoftwareClasses) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyClassesRoot);
    EXPECT_TRUE(reg.OpenKey("", false));  // the root itself always opens
    ASSERT_TRUE(reg.OpenKey("CLSID\\{00000000-1111-2222-3333-444444444444}", true));
    reg.WriteString("FriendlyName", "Sample Filter");
    EXPECT_EQ(reg.CurrentPath(), "CLSID\\{00000000-1111-2222-3333-444444444444}");

    TRegistry lm;
    lm.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(lm.OpenKeyReadOnly("SOFTWARE\\Classes\\CLSID\\{00000000-1111-2222-3333-444444444444}"));
    EXPECT_EQ(lm.ReadString("FriendlyName"), "Sample Filter");
    TRegistry cu;
    EXPECT_FALSE(cu.KeyExists("Software\\Classes\\CLSID"));
}

TEST(Registry, ChangesByAnotherProcessAreSeen) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteString("mine", "1");
    EXPECT_EQ(reg.ReadString("theirs"), "");

    std::string text = Slurp(SystemHivePath());
    text += "\n[Software\\\\Halvorin\\\\Test] 0\n\"theirs\"=\"2\"\n";
    RewriteInPlace(SystemHivePath(), text);
    EXPECT_EQ(reg.ReadString("theirs"), "2");

    // Our next write starts from their file, so their value stays.
    reg.WriteString("mine", "3");
    ForgetLoadedHives();
    EXPECT_EQ(reg.ReadString("theirs"), "2");
    EXPECT_EQ(reg.ReadString("mine"), "3");

    // A file replaced by rename (new inode) is seen as well.
    WriteFileAtomically(SystemHivePath(), "WINE REGISTRY Version 2\n\n[Software\\\\Halvorin\\\\Test] 0\n\"x\"=\"y\"\n");
    EXPECT_EQ(reg.ReadString("mine"), "");
    EXPECT_EQ(reg.ReadString("x"), "y");
}

TEST(Registry, MissingHiveIsEmptyAndMadeOnFirstWrite) {
    TempMachine m;
    std::filesystem::remove(UserHivePath());
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists("Software"));
    EXPECT_FALSE(std::filesystem::exists(UserHivePath()));
    ASSERT_TRUE(reg.OpenKey("Software\\Halvorin\\Preferences", true));
    reg.WriteInteger("Top", 10);
    std::string text = Slurp(UserHivePath());
    EXPECT_EQ(text.rfind("WINE REGISTRY Version 2\n", 0), 0u);
    EXPECT_NE(text.find("[Software\\\\Halvorin\\\\Preferences] "), std::string::npos);
    EXPECT_NE(text.find("\"Top\"=dword:0000000a\n"), std::string::npos);
}

TEST(Registry, ScopeReplacesEachHiveOnceAtCommit) {
    TempMachine m;
    const auto file = SystemHivePath();
    FileStamp start = StampOf(file);
    {
        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kTestKey, true));
        for (int i = 1; i <= 50; ++i) reg.WriteString("v" + std::to_string(i), "data");
        EXPECT_TRUE(reg.DeleteValue("v50"));
        EXPECT_EQ(reg.ReadString("v7"), "data");  // the scope sees its own writes
        EXPECT_EQ(StampOf(file), start);           // nothing reached the disk yet
        EXPECT_EQ(Slurp(file).find("\"v1\""), std::string::npos);
        {
            // One opened inside joins it: its Commit brings nothing to disk.
            TTransaction inner;
            reg.WriteString("inner", "1");
            inner.Commit();
            EXPECT_EQ(StampOf(file), start);
        }
        scope.Commit();
        FileStamp after = StampOf(file);
        EXPECT_NE(after.inode, start.inode);  // one atomic replacement
        reg.WriteString("later", "x");      // after Commit writes go straight to disk again
        EXPECT_NE(StampOf(file).inode, after.inode);
    }
    std::string text = Slurp(file);
    EXPECT_NE(text.find("\"v49\"=\"data\""), std::string::npos);
    EXPECT_EQ(text.find("\"v50\""), std::string::npos);

    TTransaction next;  // the first one ended, a new one may open
}

TEST(Registry, ScopeWithoutCommitLeavesTheFilesAlone) {
    TempMachine m;
    std::string before = Slurp(SystemHivePath());
    {
        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(kTestKey, true));
        reg.WriteString("dropped", "1");
    }
    EXPECT_EQ(Slurp(SystemHivePath()), before);
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    EXPECT_FALSE(reg.KeyExists(kTestKey));
}

TEST(Registry, ScopeKeepsAnotherProcessesChangeMadeMeanwhile) {
    TempMachine m;
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kTestKey, true));
    reg.WriteString("old", "1");
    reg.WriteString("gone", "1");
    {
        TTransaction scope;
        reg.WriteString("ours", "1");
        reg.DeleteValue("gone");
        reg.CreateKey("NewChild");
        // Meanwhile another process adds a value and a key of its own.
        std::string text = Slurp(SystemHivePath());
        RewriteInPlace(SystemHivePath(), text + "\n[Software\\\\Other] 0\n\"theirs\"=\"2\"\n");
        scope.Commit();
    }
    ForgetLoadedHives();
    EXPECT_EQ(reg.ReadString("old"), "1");
    EXPECT_EQ(reg.ReadString("ours"), "1");
    EXPECT_FALSE(reg.ValueExists("gone"));
    EXPECT_TRUE(reg.KeyExists("NewChild"));
    TRegistry other;
    other.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(other.OpenKey("Software\\Other", false));
    EXPECT_EQ(other.ReadString("theirs"), "2");
}

TEST(Registry, UnreadableHiveIsReportedAndNeverOverwritten) {
    TempMachine m;
    // A key nested deeper than Windows allows makes the whole file unreadable.
    std::string deep;
    for (int i = 0; i < 513; ++i) deep += "a\\\\";
    const std::string broken =
        "WINE REGISTRY Version 2\n\n[Software\\\\Ok] 0\n\"a\"=\"1\"\n[" + deep + "] 0\n";
    m.WriteFile("system.reg", broken);
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    std::string error = ErrorOf([&] { reg.OpenKey("Software\\Ok", false); });
    EXPECT_NE(error.find(SystemHivePath().string()), std::string::npos) << error;
    EXPECT_NE(error.find("line 5"), std::string::npos) << error;
    EXPECT_EQ(ErrorOf([&] { reg.OpenKey("Software\\New", true); }), error);
    EXPECT_EQ(ErrorOf([&] { reg.CreateKey("Software\\New"); }), error);
    {
        TTransaction scope;
        EXPECT_EQ(ErrorOf([&] { reg.DeleteKey("Software\\Ok"); }), error);
        scope.Commit();
    }
    EXPECT_EQ(Slurp(SystemHivePath()), broken);

    // The user hive is a file of its own and still works.
    TRegistry user;
    ASSERT_TRUE(user.OpenKey("Software\\Fine", true));
    user.WriteString("v", "1");

    // Once repaired, the file is read again.
    m.WriteFile("system.reg", "WINE REGISTRY Version 2\n\n[Software\\\\Ok] 0\n\"a\"=\"1\"\n");
    ASSERT_TRUE(reg.OpenKey("Software\\Ok", false));
    EXPECT_EQ(reg.ReadString("a"), "1");
}

TEST(Registry, RealWinePrefixLinksAndUntouchedContent) {
    TempMachine m;
    std::string original = Slurp(tarnel::test::TestData("wine/system.reg"));
    WriteFileAtomically(SystemHivePath(), original);
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);

    // A symbolic link key leads to its target's subkeys.
    ASSERT_TRUE(reg.OpenKeyReadOnly("Software\\Classes\\Wow6432Node"));
    std::vector<std::string> direct, viaLink;
    reg.GetKeyNames(direct);
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Wow6432Node\\Classes"));
    reg.GetKeyNames(viaLink);
    EXPECT_FALSE(direct.empty());
    EXPECT_EQ(viaLink, direct);
    EXPECT_EQ(reg.CurrentPath(), "Software\\Wow6432Node\\Classes");

    // Reading writes nothing; one new value adds its line, renews its key's
    // time and leaves every other byte as it was.
    const std::string head = "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Drivers32] ";
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", false));
    std::vector<std::string> names;
    reg.GetValueNames(names);
    EXPECT_EQ(Slurp(SystemHivePath()), original);
    reg.WriteString("vidc.tst1", "tst1.dll");
    std::string written = Slurp(SystemHivePath());
    size_t at = original.find(head);
    ASSERT_NE(at, std::string::npos);
    size_t afterHead = original.find("\n#time=", at);
    afterHead = original.find('\n', afterHead + 1) + 1;  // past the "#time=" line
    EXPECT_TRUE(written.compare(0, at + head.size(), original, 0, at + head.size()) == 0);
    size_t newAfterHead = written.find('\n', written.find("\n#time=", at) + 1) + 1;
    const std::string added = "\"vidc.tst1\"=\"tst1.dll\"\n";
    EXPECT_EQ(written.substr(newAfterHead, added.size()), added);
    EXPECT_TRUE(written.compare(newAfterHead + added.size(), std::string::npos, original, afterHead) == 0);
}

TEST(Registry, FixedTimeStampsEveryChangedKeyWhileItLives) {
    TempMachine m;
    {
        TRegistryFixedTime fixed(1234567890);
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("Software\\Stamped", true));
        reg.WriteString("a", "b");
    }
    EXPECT_NE(Slurp(SystemHivePath()).find("[Software\\\\Stamped] 1234567890\n"), std::string::npos)
        << Slurp(SystemHivePath());
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("Software\\Later", true));
    reg.WriteString("a", "b");
    EXPECT_EQ(Slurp(SystemHivePath()).find("[Software\\\\Later] 1234567890"), std::string::npos)
        << "the fixed time ends with its scope";
}

TEST(Registry, WinesRealCurrentControlSetIsUsedAsItStands) {
    TempMachine m;
    WriteFileAtomically(SystemHivePath(), Slurp(tarnel::test::TestData("wine/system.reg")));
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("SYSTEM\\CurrentControlSet\\Control\\Tarnel", true));
    reg.WriteString("v", "1");
    const std::string text = Slurp(SystemHivePath());
    EXPECT_NE(text.find("[System\\\\CurrentControlSet\\\\Control\\\\Tarnel]"), std::string::npos);
    EXPECT_EQ(text.find("ControlSet001"), std::string::npos) << "no second control set beside the real one";
}

TEST(Registry, TheLocalMachineRootHoldsNoValues) {
    TempMachine m;
    const uint8_t data[] = {'x', 0};
    EXPECT_EQ(RegSetValueExA(RootHandle(kHkeyLocalMachine), "v", kRegSz, data, 2), long(kErrorAccessDenied));
    EXPECT_EQ(RegSetValueExA(RootHandle(kHkeyCurrentUser), "v", kRegSz, data, 2), long(kErrorSuccess));
}

TEST(Registry, AnOddLineIsKeptReportedOnceAndTheRestWorks) {
    TempMachine m;
    std::vector<std::string> reported;
    SetDiagnosticSink([&](const std::string& text) { reported.push_back(text); });
    const std::string odd = "WINE REGISTRY Version 2\n\n[Software\\\\Ok] 0\n\"a\"=\"1\" trailing words\n\"b\"=\"2\"\n";
    WriteFileAtomically(SystemHivePath(), odd);
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("Software\\Ok", false));
    EXPECT_EQ(reg.ReadString("b"), "2");
    ForgetLoadedHives();
    ASSERT_TRUE(reg.OpenKey("\\Software\\Ok", false));
    ASSERT_EQ(reported.size(), 1u) << "once, though the file was read again";
    EXPECT_NE(reported[0].find("line 4"), std::string::npos) << reported[0];
    reg.WriteString("c", "3");
    EXPECT_NE(Slurp(SystemHivePath()).find("\"a\"=\"1\" trailing words\n"), std::string::npos) << "kept as it stood";
    SetDiagnosticSink({});
}
