#include "conformance/Conformance.h"

#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"

namespace tarnel::conformance {

using namespace platform;

Env& CurrentEnv() {
    static std::unique_ptr<Env> env = MakeEnv();
    return *env;
}

void ConformanceTest::SetUp() {
    CurrentEnv().Begin();
    // What an earlier run left (a test that crashed) must not count here.
    for (RootKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
        TRegistry reg;
        reg.SetRootKey(root);
        reg.DeleteKey(std::string("\\") + kTestKey);
    }
}

void ConformanceTest::TearDown() {
    try {
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        if (reg.OpenKey(kDrivers32KeyPath, false))
            for (const std::string& entry : entries_) reg.DeleteValue(entry);
        reg.CloseKey();
        for (RootKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
            reg.SetRootKey(root);
            reg.DeleteKey(std::string("\\") + kTestKey);
        }
        for (const std::string& file : files_) CurrentEnv().RemoveSystemFile(file);
        for (const std::string& file : profiles_) CurrentEnv().RemoveWindowsFile(file);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "cleaning up: " << e.what();
    }
    CurrentEnv().End();
}

void ConformanceTest::RegisterDriver(const std::string& entry, const std::string& driver) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kDrivers32KeyPath, true));
    reg.WriteString(entry, driver);
    entries_.push_back(entry);
}

void ConformanceTest::UnregisterDriver(const std::string& entry) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(kDrivers32KeyPath, false));
    EXPECT_TRUE(reg.DeleteValue(entry));
}

void ConformanceTest::Install(const std::string& built, const std::string& as) {
    CurrentEnv().InstallSystemFile(built, as);
    files_.push_back(as);
}

void ConformanceTest::WriteWindowsFile(const std::string& name, const std::string& text) {
    CurrentEnv().WriteWindowsFile(name, text);
    profiles_.push_back(name);
}

}  // namespace tarnel::conformance
