// Machines and views in the window: a 64-bit Wine prefix shown in either
// view with the Store column, the view chosen and remembered, "Open
// Machine..." refusing a folder that is no machine, switching to another
// machine as at start-up and listing the machines opened last.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "core/shell/uConst.h"
#include "core/shell/uPrefs.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "gui/shell/uStartup.h"
#include "platform/api/Backend.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/machine/Machine.h"
#include "platform/machine/MachineBackend.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using tarnel::test::FixedLog;
namespace fs = std::filesystem;

namespace {

// The bare machine as Wine leaves a 64-bit prefix: two views, Wine's three
// codecs in SYSTEM.INI and one registry codec in the 64-bit view alone.
void MakeWinePrefix64(const test::TempMachine& m) {
    fs::create_directories(m.Root() / "dosdevices");
    fs::create_directories(m.Root() / "drive_c/windows/syswow64");
    std::string reg = m.ReadFile("system.reg");
    const size_t at = reg.find("#arch=win32");
    ASSERT_NE(at, std::string::npos);
    reg.replace(at, 11, "#arch=win64");
    m.WriteFile("system.reg", reg);
    m.WriteFile("drive_c/windows/system.ini",
                "[drivers32]\r\nvidc.mrle=msrle32.dll\r\nvidc.msvc=msvidc32.dll\r\nvidc.cvid=iccvid.dll\r\n");
    SelectMachine(m.Root());
    machine::CurrentMachine().SetView(64);
    TRegistry r;
    r.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(r.OpenKey(cDrivers32Key, true));
    r.WriteString("vidc.x264", "x264vfw64.dll");
    r.CloseKey();
    machine::CurrentMachine().SetView(0);
}

// Opens machines as the program does, on the emulation of their files.
TMachineSwitcher FileSwitcher() {
    return {[](const std::string& folder) { return WhyNotAMachine(folder); },
            [](const std::string& folder, int view) {
                OpenWithRememberedView(
                    [&folder](int v) {
                        TPlatformChoice c;
                        c.Machine = folder;
                        c.Backend = "machine";
                        c.View = v;
                        ChoosePlatform(c);
                    },
                    view);
            }};
}

// Runs the event loop until the windows were made anew (or 5 s passed).
TfMain* AfterSwitch(TfMain* was) {
    QPointer<TfMain> before(was);
    for (int i = 0; i < 500 && (before || !fMain || !fMain->isVisible()); ++i) QTest::qWait(10);
    return before ? nullptr : fMain;
}

std::vector<std::string> Column(const QAbstractItemModel& model, int column) {
    std::vector<std::string> out;
    for (int row = 0; row < model.rowCount(); ++row)
        out.push_back(model.data(model.index(row, 0)).toString().toStdString() + " " +
                      model.data(model.index(row, column)).toString().toStdString());
    return out;
}

class OpenMachine : public ::testing::Test {
protected:
    void SetUp() override {
        SetProgramFile(test::PeFixture("version32.dll").string());
        SetMachineSwitcher(FileSwitcher());
    }
    void TearDown() override {
        EndProgram();
        SetMachineSwitcher({});
    }
    test::ArtDirScope art;
    test::TempMachine machine;
    FixedLog log;
};

}  // namespace

TEST_F(OpenMachine, APrefixShowsEachViewWithItsStoreAndTheViewChosenIsRemembered) {
    ASSERT_NO_FATAL_FAILURE(MakeWinePrefix64(machine));
    OpenWithRememberedView([&](int v) { SelectMachine(machine.Root()), machine::CurrentMachine().SetView(v); }, 0);
    TfMain* main = StartProgram(log);
    main->show();
    EXPECT_EQ(main->StatusText(4), "Machine : " + machine.Root().string() + ", 32-bit view");
    EXPECT_TRUE(main->View1->isEnabled());
    EXPECT_TRUE(main->View32->isChecked());
    EXPECT_FALSE(main->View64->isChecked());
    const TCodecListModel& active = *fNTCodecs->CodecListModel;
    ASSERT_EQ(active.columnCount(), 7);
    EXPECT_EQ(active.headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), "Store");
    EXPECT_EQ(Column(active, 6),
              (std::vector<std::string>{"mrle SYSTEM.INI", "msvc SYSTEM.INI", "cvid SYSTEM.INI"}))
        << "the 64-bit view's registry codec is not the 32-bit view's";
    EXPECT_EQ(fNTCodecs->InactiveCodecListModel->columnCount(), 8);

    main->View64->trigger();
    main = AfterSwitch(main);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->StatusText(4), "Machine : " + machine.Root().string() + ", 64-bit view");
    EXPECT_TRUE(main->View64->isChecked());
    EXPECT_EQ(Column(*fNTCodecs->CodecListModel, 6),
              (std::vector<std::string>{"x264 Registry", "mrle SYSTEM.INI", "msvc SYSTEM.INI", "cvid SYSTEM.INI"}));
    EXPECT_EQ(ReadRememberedView(), 64);
    EndProgram();

    // The next start without a view named shows the one chosen last.
    OpenWithRememberedView([&](int v) { SelectMachine(machine.Root()), machine::CurrentMachine().SetView(v); }, 0);
    EXPECT_EQ(CurrentBackend().View(), 64);
    // A view named on the command line wins.
    OpenWithRememberedView([&](int v) { SelectMachine(machine.Root()), machine::CurrentMachine().SetView(v); }, 32);
    EXPECT_EQ(CurrentBackend().View(), 32);
}

TEST_F(OpenMachine, AFolderThatIsNoMachineIsRefusedWithTheReasonAndAMachineOpensAsAtStartUp) {
    TfMain* main = StartProgram(log);
    main->show();
    EXPECT_EQ(main->StatusText(4), "Machine : " + machine.Root().string());
    EXPECT_FALSE(main->View1->isEnabled()) << "a machine of one view";
    EXPECT_EQ(fNTCodecs->CodecListModel->columnCount(), 6) << "no Store column on a machine of Windows' rules";

    test::TempDir empty;
    std::string shown;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        shown = m->MessageLabel->text().toStdString();
        m->OkButton->click();
    });
    main->OpenMachine(empty.Path().string());
    EXPECT_NE(shown.find("is neither a Wine prefix nor a machine made by 'tarnelctl init'"), std::string::npos)
        << shown;
    QTest::qWait(50);
    EXPECT_EQ(fMain, main) << "nothing was reloaded";
    EXPECT_EQ(CurrentBackend().Folder(), machine.Root());

    test::TempMachine other;
    SelectMachine(machine.Root());
    main->OpenMachine(other.Root().string());
    main = AfterSwitch(main);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(CurrentBackend().Folder(), other.Root());
    EXPECT_EQ(main->StatusText(4), "Machine : " + other.Root().string());
    EXPECT_EQ(main->StatusText(0), "Running On : Windows XP Professional") << "made anew, as at start-up";
    ASSERT_EQ(main->RecentMachine.size(), 1u);
    EXPECT_EQ(main->RecentMachine[0]->text().toStdString(), "&1 " + other.Root().string());

    // And back, from the list of machines opened last on that one.
    main->OpenMachine(machine.Root().string());
    main = AfterSwitch(main);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(CurrentBackend().Folder(), machine.Root());
    ASSERT_EQ(main->RecentMachine.size(), 2u);
    EXPECT_EQ(main->RecentMachine[0]->text().toStdString(), "&1 " + machine.Root().string());
    EXPECT_EQ(main->RecentMachine[1]->text().toStdString(), "&2 " + other.Root().string());
}

TEST_F(OpenMachine, AMachineThatCannotBeShownLeavesTheOneShownBefore) {
    TfMain* main = StartProgram(log);
    main->show();
    test::TempDir bare;
    // A registry file without any of the system's version facts.
    std::ofstream(bare.Path() / "system.reg") << "WINE REGISTRY Version 2\n";
    std::string shown;
    test::WhenModal<TfMessage>([&](TfMessage* m) {
        shown = m->MessageLabel->text().toStdString();
        m->OkButton->click();
    });
    main->OpenMachine(bare.Path().string());
    main = AfterSwitch(main);
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(shown, "This OS is not supported. End of Game!");
    EXPECT_FALSE(main->TerminateRequested()) << "the program goes on with the machine it showed";
    EXPECT_EQ(CurrentBackend().Folder(), machine.Root());
    EXPECT_EQ(main->StatusText(4), "Machine : " + machine.Root().string());
    EXPECT_TRUE(main->RecentMachine.empty()) << "a machine that did not open is not listed";
}
