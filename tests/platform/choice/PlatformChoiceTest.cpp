#include "demo/DemoMachine.h"
#include "platform/choice/PlatformChoice.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/api/Registry.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

// Sets the three variables for one test and puts the old values back.
class Environment {
public:
    Environment(const char* machine, const char* prefix, const char* xdg, const char* home = nullptr) {
        for (int i = 0; i < 4; ++i) {
            const char* v = std::getenv(kNames[i]);
            saved_[i] = v ? std::optional<std::string>(v) : std::nullopt;
        }
        Set("TARNEL_MACHINE", machine);
        Set("WINEPREFIX", prefix);
        Set("XDG_DATA_HOME", xdg);
        // The user's own ~/.wine is never looked at.
        Set("HOME", home ? home : "/nonexistent");
    }
    ~Environment() {
        for (int i = 0; i < 4; ++i) Set(kNames[i], saved_[i] ? saved_[i]->c_str() : nullptr);
    }

private:
    static void Set(const char* name, const char* value) {
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    static constexpr const char* kNames[4] = {"TARNEL_MACHINE", "WINEPREFIX", "XDG_DATA_HOME", "HOME"};
    std::optional<std::string> saved_[4];
};

std::string ErrorOf(const TPlatformChoice& choice) {
    try {
        ChoosePlatform(choice);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TPlatformChoice MakingDemo() {
    TPlatformChoice c;
    c.MakeDemo = [](const fs::path& folder) { tarnel::CreateDemoMachine(folder, TMachineFamily::NT); };
    return c;
}

}  // namespace

TEST(PlatformChoice, OnlyTheDefaultFolderIsEverMadeAsTheDemoMachine) {
    test::TempDir dir;
    const fs::path typo = dir.Path() / "typo";
    {
        // A mistyped machine name is an error naming it, not a fresh demo.
        Environment env(typo.c_str(), nullptr, dir.Path().c_str());
        std::string error = ErrorOf(MakingDemo());
        EXPECT_NE(error.find(typo.string()), std::string::npos) << error;
        EXPECT_NE(error.find("TARNEL_MACHINE"), std::string::npos) << error;
        EXPECT_FALSE(fs::exists(typo));
    }
    {
        // A Wine prefix is never made up either.
        Environment env(nullptr, typo.c_str(), dir.Path().c_str());
        EXPECT_NE(ErrorOf(MakingDemo()).find("WINEPREFIX"), std::string::npos);
        EXPECT_FALSE(fs::exists(typo / "system.reg"));
    }
    {
        // The default folder is made, and is then known as a demo machine.
        Environment env(nullptr, nullptr, dir.Path().c_str());
        TPlatformChosen chosen = ChoosePlatform(MakingDemo());
        EXPECT_TRUE(chosen.Made);
        EXPECT_EQ(chosen.Folder, dir.Path() / "tarnel/machine");
        EXPECT_NE(CurrentBackend().Describe().find("(demo machine)"), std::string::npos);
        // Without a maker (the command line), a missing default is an error.
        fs::remove_all(dir.Path() / "tarnel");
        EXPECT_NE(ErrorOf(TPlatformChoice{}).find("tarnelctl init"), std::string::npos);
    }
}

TEST(PlatformChoice, NamedFolderComesFirstThenTheVariablesInOrder) {
    test::TempMachine a, b;
    Environment env(a.Root().c_str(), b.Root().c_str(), nullptr);
    TPlatformChoice named;
    named.Machine = b.Root();
    EXPECT_EQ(ChoosePlatform(named).Source, "--machine");
    TPlatformChosen chosen = ChoosePlatform({});
    EXPECT_EQ(chosen.Source, "TARNEL_MACHINE");
    EXPECT_EQ(machine::CurrentMachine().Root(), a.Root());
    EXPECT_EQ(CurrentBackend().Describe(), a.Root().string());
}

TEST(PlatformChoice, AnUnwritableMachineIsUsedReadOnly) {
    test::TempMachine m;
    Environment env(m.Root().c_str(), nullptr, nullptr);
    ::chmod((m.Root() / "system.reg").c_str(), 0444);
    ChoosePlatform({});
    ASSERT_TRUE(CurrentBackend().ReadOnly());
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey("Software", false));
    try {
        reg.WriteString("x", "y");
        FAIL() << "the write went through";
    } catch (const ERegistryException& e) {
        EXPECT_NE(std::string(e.what()).find("system.reg' is read-only"), std::string::npos) << e.what();
    }
    ::chmod((m.Root() / "system.reg").c_str(), 0644);
}

namespace {
// Sets $TARNEL_BACKEND for one test and puts the old value back.
class BackendVariable {
public:
    explicit BackendVariable(const char* value) {
        const char* v = std::getenv("TARNEL_BACKEND");
        saved_ = v ? std::optional<std::string>(v) : std::nullopt;
        if (value) setenv("TARNEL_BACKEND", value, 1);
        else unsetenv("TARNEL_BACKEND");
    }
    ~BackendVariable() {
        if (saved_) setenv("TARNEL_BACKEND", saved_->c_str(), 1);
        else unsetenv("TARNEL_BACKEND");
    }

private:
    std::optional<std::string> saved_;
};
}  // namespace

// Which backend serves the chosen folder: the command line, then the
// variable, then the folder itself (only a prefix Wine ran on goes to Wine).
TEST(PlatformChoice, TheBackendIsNamedOrFollowsFromTheFolder) {
    test::TempMachine demo(TMachineFamily::NT, /*demo=*/true);
    Environment env(nullptr, demo.Root().c_str(), nullptr);
    {
        BackendVariable none(nullptr);
        TPlatformChosen chosen = ChoosePlatform({});
        EXPECT_EQ(chosen.Source, "WINEPREFIX");
        EXPECT_EQ(chosen.Backend, "machine") << "a demo machine is no prefix Wine ran on";

        TPlatformChoice named;
        named.Backend = "wine";
        EXPECT_EQ(ErrorOf(named), "The wine backend serves Wine prefixes, and Wine never ran on '" +
                                      demo.Root().string() +
                                      "' (it holds no dosdevices folder); use --backend machine");
        named.Backend = "wne";
        EXPECT_EQ(ErrorOf(named), "--backend names the backend 'wne'; it is machine or wine");
    }
    {
        BackendVariable bad("win32");
        EXPECT_EQ(ErrorOf({}), "$TARNEL_BACKEND names the backend 'win32'; it is machine or wine");
        TPlatformChoice named;
        named.Backend = "machine";
        EXPECT_EQ(ChoosePlatform(named).Backend, "machine") << "the command line comes first";
    }
}

TEST(PlatformChoice, TheUsersOwnWinePrefixComesAfterTheVariablesAndBeforeTheDemoMachine) {
    test::TempDir home, xdg;
    // A ~/.wine Wine never ran on is no prefix: the demo machine is made.
    fs::create_directories(home.Path() / ".wine");
    {
        Environment env(nullptr, nullptr, xdg.Path().c_str(), home.Path().c_str());
        TPlatformChoice c = MakingDemo();
        const TPlatformChosen chosen = ChoosePlatform(c);
        EXPECT_EQ(chosen.Source, "default");
        EXPECT_TRUE(chosen.Made);
    }
    fs::remove_all(home.Path() / ".wine");
    CreateBareMachine(home.Path() / ".wine", TMachineFamily::NT);
    fs::create_directories(home.Path() / ".wine" / "dosdevices");
    test::TempMachine named;
    {
        Environment env(nullptr, nullptr, xdg.Path().c_str(), home.Path().c_str());
        TPlatformChoice c = MakingDemo();
        c.Backend = "machine";
        const TPlatformChosen chosen = ChoosePlatform(c);
        EXPECT_EQ(chosen.Source, "~/.wine");
        EXPECT_EQ(chosen.Folder, home.Path() / ".wine");
        EXPECT_TRUE(CurrentBackend().WineMachine());
        EXPECT_EQ(CurrentBackend().View(), 0) << "a 32-bit prefix has one view";
        c.View = 64;
        EXPECT_NE(ErrorOf(c).find("has no 64-bit view"), std::string::npos) << ErrorOf(c);
    }
    {
        Environment env(nullptr, named.Root().c_str(), xdg.Path().c_str(), home.Path().c_str());
        TPlatformChoice c;
        c.Backend = "machine";
        EXPECT_EQ(ChoosePlatform(c).Source, "WINEPREFIX") << "a prefix named comes first";
    }
}

TEST(PlatformChoice, OnlyAWinePrefixOrAMadeMachineIsOpened) {
    test::TempDir dir;
    EXPECT_NE(WhyNotAMachine(dir.Path() / "none").find("does not exist"), std::string::npos);
    EXPECT_NE(WhyNotAMachine(dir.Path()).find("neither a Wine prefix nor a machine made by 'tarnelctl init'"),
              std::string::npos);
    std::ofstream(dir.Path() / "system.reg") << "[Software]\n";
    EXPECT_NE(WhyNotAMachine(dir.Path()).find("not a registry file"), std::string::npos);
    EXPECT_NE(WhyNotAMachine(dir.Path() / "system.reg").find("is a file"), std::string::npos);
    test::TempMachine made;
    EXPECT_EQ(WhyNotAMachine(made.Root()), "");
}
