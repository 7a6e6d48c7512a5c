// The registry as the program uses it: the advapi32 calls and the registry
// object over them, on every backend.
#include <algorithm>
#include <cstring>
#include <functional>

#include "conformance/Conformance.h"
#include "platform/api/Registry.h"
#include "platform/api/WinError.h"

namespace tarnel::conformance {
namespace {

using namespace platform;

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "(no error)";
}

// The test key of `root`, open with full access (made when missing).
struct TestKey {
    explicit TestKey(RootKey root = kHkeyLocalMachine, const std::string& below = "") {
        reg.SetRootKey(root);
        EXPECT_TRUE(reg.OpenKey(std::string(kTestKey) + (below.empty() ? "" : "\\" + below), true));
    }
    TRegistry reg;
};

using RegistryConformance = ConformanceTest;

TEST_F(RegistryConformance, NamesIgnoreCaseAndKeepTheSpellingTheyWereMadeWith) {
    TestKey k;
    k.reg.WriteString("DriverName", "one");
    k.reg.WriteString("DRIVERNAME", "two");
    std::vector<std::string> names;
    k.reg.GetValueNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"DriverName"});
    EXPECT_EQ(k.reg.ReadString("dRiVeRnAmE"), "two");

    k.reg.CreateKey("MixedCase");
    ASSERT_TRUE(k.reg.OpenKey("\\SOFTWARE\\HALVORIN\\CONFORMANCE\\mixedcase", false));
    EXPECT_EQ(k.reg.CurrentPath(), std::string(kTestKey) + "\\MixedCase") << "the path as the store spells it";
    ASSERT_TRUE(k.reg.OpenKey(std::string("\\") + kTestKey, false));
    k.reg.GetKeyNames(names);
    EXPECT_EQ(names, std::vector<std::string>{"MixedCase"});
}

// Windows keeps a key's values in the order they were made (a replaced one
// keeps its place) and its subkeys sorted by their names in upper case.
// Wine's server keeps the values sorted too, and sorts names in lower case
// ('_' before the letters). The emulation holds to Windows: the program
// lists the driver entries in the store's own order, which on Windows is
// the order they were written, so the codec list looks as it does there.
TEST_F(RegistryConformance, ValuesEnumerateInTheOrderTheyWereMadeSubkeysSorted) {
    TestKey k;
    for (const char* n : {"zeta", "alpha", "Mid", "#002#", "#001#"}) k.reg.WriteString(n, n);
    k.reg.WriteString("alpha", "again");
    for (const char* n : {"Zed", "Able", "m", "_under"}) k.reg.CreateKey(n);

    std::vector<std::string> names;
    k.reg.GetValueNames(names);
    if (UnderWine())
        EXPECT_EQ(names, (std::vector<std::string>{"#001#", "#002#", "alpha", "Mid", "zeta"}));
    else
        EXPECT_EQ(names, (std::vector<std::string>{"zeta", "alpha", "Mid", "#002#", "#001#"}));
    std::vector<TRegistry::TValue> values;
    k.reg.GetValues(values);
    ASSERT_EQ(values.size(), names.size());
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(values[i].Name, names[i]);

    k.reg.GetKeyNames(names);
    if (UnderWine())
        EXPECT_EQ(names, (std::vector<std::string>{"_under", "Able", "m", "Zed"}));
    else
        EXPECT_EQ(names, (std::vector<std::string>{"Able", "m", "Zed", "_under"}));
}

TEST_F(RegistryConformance, TypesSizesAndTheCodePage) {
    TestKey k(kHkeyCurrentUser);
    k.reg.WriteString("s", "caf\xe9 \x80");  // Windows-1252: e-acute, euro sign
    k.reg.WriteExpandString("e", "%SystemRoot%\\x");
    k.reg.WriteInteger("i", -5);
    k.reg.WriteBool("t", true);
    const uint8_t bytes[] = {0x61, 0x00, 0x20, 0x00, 0xff};
    k.reg.WriteBinaryData("b", bytes, sizeof bytes);
    k.reg.WriteBinaryData("empty", nullptr, 0);
    k.reg.WriteString("cut", std::string("ab\0cd", 5));
    k.reg.WriteString("", "default value");

    EXPECT_EQ(k.reg.GetDataType("s"), TRegDataType::rdString);
    EXPECT_EQ(k.reg.GetDataType("e"), TRegDataType::rdExpandString);
    EXPECT_EQ(k.reg.GetDataType("i"), TRegDataType::rdInteger);
    EXPECT_EQ(k.reg.GetDataType("b"), TRegDataType::rdBinary);
    EXPECT_EQ(k.reg.GetDataType("missing"), TRegDataType::rdUnknown);
    EXPECT_EQ(k.reg.ReadString("s"), "caf\xe9 \x80");
    EXPECT_EQ(k.reg.GetDataSize("s"), 7) << "one byte a character through the ANSI calls, and the zero";
    EXPECT_EQ(k.reg.ReadString("e"), "%SystemRoot%\\x") << "unexpanded";
    EXPECT_EQ(k.reg.ReadString("cut"), "ab");
    EXPECT_EQ(k.reg.ReadString(""), "default value");
    EXPECT_EQ(k.reg.ReadInteger("i"), -5);
    EXPECT_TRUE(k.reg.ReadBool("t"));
    uint8_t buf[16] = {};
    EXPECT_EQ(k.reg.ReadBinaryData("b", buf, sizeof buf), 5);
    EXPECT_EQ(std::memcmp(buf, bytes, sizeof bytes), 0);
    EXPECT_EQ(k.reg.ReadBinaryData("empty", buf, sizeof buf), 0);
    EXPECT_EQ(k.reg.GetDataSize("empty"), 0);
    EXPECT_EQ(k.reg.GetDataSize("missing"), -1);

    // A multi-string and a QWORD come through as raw data.
    const char multi[] = "a\0b\0";
    ASSERT_EQ(RegSetValueExA(k.reg.CurrentKey(), "multi", kRegMultiSz, reinterpret_cast<const uint8_t*>(multi),
                             sizeof multi),
              0);
    EXPECT_EQ(k.reg.ReadBinaryData("multi", buf, sizeof buf), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), std::string("a\0b\0\0", 5));
    EXPECT_EQ(ErrorOf([&] { k.reg.ReadString("multi"); }), "Invalid data type for 'multi'");
    EXPECT_EQ(ErrorOf([&] { k.reg.ReadString("i"); }), "Invalid data type for 'i'");
    EXPECT_EQ(ErrorOf([&] { k.reg.ReadBinaryData("b", buf, 4); }), "Invalid data type for 'b'");
    EXPECT_EQ(ErrorOf([&] { k.reg.ReadInteger("absent"); }), "Failed to get data for 'absent'");
    EXPECT_EQ(ErrorOf([&] { k.reg.ReadInteger("s"); }), "Failed to get data for 's'") << "too big for four bytes";
}

TEST_F(RegistryConformance, TheRawCallsAnswerWithWindowsErrorCodes) {
    TestKey k;
    k.reg.WriteString("twelve chars", "0123456789");
    const RegKey key = k.reg.CurrentKey();

    RegKey none = 0;
    EXPECT_EQ(RegOpenKeyExA(RootHandle(kHkeyLocalMachine), "Software\\Halvorin\\Conformance\\Nowhere", 0, kKeyRead,
                            &none),
              long(kErrorFileNotFound));
    EXPECT_EQ(RegDeleteValueA(key, "missing"), long(kErrorFileNotFound));

    // Sizes first, then the data; a short buffer is refused with the size it needs.
    uint32_t type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "twelve chars", &type, nullptr, &size), 0);
    EXPECT_EQ(type, uint32_t(kRegSz));
    EXPECT_EQ(size, 11u);
    uint8_t small[4];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "twelve chars", &type, small, &size), long(kErrorMoreData));
    EXPECT_EQ(size, 11u);

    char name[8];
    uint32_t chars = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &chars, nullptr, nullptr, nullptr), long(kErrorMoreData))
        << "a name of 12 characters does not fit 8";
    chars = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &chars, nullptr, nullptr, nullptr), long(kErrorNoMoreItems));

    uint32_t subKeys = 9, maxSub = 9, values = 0, maxName = 0, maxData = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, &subKeys, &maxSub, &values, &maxName, &maxData), 0);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(maxName, 12u);
    EXPECT_GE(maxData, 11u) << "at least the ANSI size (Windows counts the stored UTF-16 bytes)";

    // A key deleted while open: its handle answers ERROR_KEY_DELETED.
    RegKey sub = 0;
    uint32_t disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(key, "Doomed", kKeyAllAccess, &sub, &disposition), 0);
    EXPECT_EQ(disposition, kRegCreatedNewKey);
    RegKey again = 0;
    ASSERT_EQ(RegCreateKeyExA(key, "doomed", kKeyAllAccess, &again, &disposition), 0);
    EXPECT_EQ(disposition, kRegOpenedExistingKey);
    RegCloseKey(again);
    EXPECT_EQ(RegDeleteKeyA(key, "Doomed"), 0);
    const uint8_t one = 1;
    EXPECT_EQ(RegSetValueExA(sub, "v", kRegBinary, &one, 1), long(kErrorKeyDeleted));
    EXPECT_EQ(RegCloseKey(sub), 0);
}

TEST_F(RegistryConformance, AKeyWithSubkeysIsDeletedOnlyBranchByBranch) {
    TestKey k;
    k.reg.CreateKey("Branch\\Leaf\\Deeper");
    ASSERT_TRUE(k.reg.OpenKey("Branch", false));
    k.reg.WriteString("v", "x");
    ASSERT_TRUE(k.reg.OpenKey(std::string("\\") + kTestKey, false));
    // The call itself refuses a key that has subkeys; the registry object
    // removes the branch from the leaves up.
    EXPECT_EQ(RegDeleteKeyA(k.reg.CurrentKey(), "Branch"), long(kErrorAccessDenied));
    EXPECT_TRUE(k.reg.DeleteKey("Branch"));
    EXPECT_FALSE(k.reg.KeyExists("Branch"));
    EXPECT_FALSE(k.reg.DeleteKey("Branch"));
}

TEST_F(RegistryConformance, ReadOnlyKeysAndOverlongNamesAreRefused) {
    TestKey k;
    k.reg.WriteString("v", "x");
    RegKey readOnly = 0;
    ASSERT_EQ(RegOpenKeyExA(RootHandle(kHkeyLocalMachine), kTestKey, 0, kKeyRead, &readOnly), 0);
    const uint8_t one = 1;
    EXPECT_EQ(RegSetValueExA(readOnly, "w", kRegBinary, &one, 1), long(kErrorAccessDenied));
    EXPECT_EQ(RegDeleteValueA(readOnly, "v"), long(kErrorAccessDenied));
    RegCloseKey(readOnly);

    const std::string longName(300, 'k');
    EXPECT_EQ(ErrorOf([&] { k.reg.CreateKey("Sub\\" + longName); }), "Failed to create key Sub\\" + longName);
    EXPECT_FALSE(k.reg.KeyExists("Sub\\" + longName));
    EXPECT_FALSE(k.reg.OpenKey(longName, true));
    EXPECT_EQ(k.reg.CurrentPath(), kTestKey) << "a failed open leaves the open key as it was";
}

TEST_F(RegistryConformance, ClassesRootIsTheLocalMachinesSoftwareClasses) {
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey("Software\\Classes\\CLSID\\{5D6C0E6A-1F2B-4C3D-9E8F-A0B1C2D3E4F5}", true));
        reg.WriteString("", "Conformance filter");
    }
    TRegistry classes;
    classes.SetRootKey(kHkeyClassesRoot);
    EXPECT_TRUE(classes.OpenKeyReadOnly("CLSID\\{5D6C0E6A-1F2B-4C3D-9E8F-A0B1C2D3E4F5}"));
    EXPECT_EQ(classes.ReadString(""), "Conformance filter");
    classes.CloseKey();
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    EXPECT_TRUE(reg.DeleteKey("Software\\Classes\\CLSID\\{5D6C0E6A-1F2B-4C3D-9E8F-A0B1C2D3E4F5}"));
    EXPECT_FALSE(classes.KeyExists("CLSID\\{5D6C0E6A-1F2B-4C3D-9E8F-A0B1C2D3E4F5}"));
}

}  // namespace
}  // namespace tarnel::conformance
