// Every control of every window has a name a screen reader can say, and the
// status panels read as their texts.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPointer>

#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/scan/uFound.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/GuiHelp.h"
#include "gui/shell/GuiTestSupport.h"
#include "gui/shell/splash.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"
#include "gui/shell/uPrefs.h"
#include "gui/shell/uProgress.h"
#include "gui/shell/uQuestion.h"
#include "gui/shell/uStartup.h"
#include "platform/api/Backend.h"
#include "support/TempMachine.h"

using namespace tarnel;

namespace {

// Roles a user operates or reads as one thing; the others are containers,
// texts that read themselves, and table cells, which are their texts.
bool IsControl(QAccessible::Role role) {
    switch (role) {
        case QAccessible::PushButton: case QAccessible::CheckBox: case QAccessible::RadioButton:
        case QAccessible::ComboBox: case QAccessible::SpinBox: case QAccessible::EditableText:
        case QAccessible::Table: case QAccessible::Tree: case QAccessible::List: case QAccessible::PageTab:
        case QAccessible::PageTabList: case QAccessible::MenuItem: case QAccessible::MenuBar:
        case QAccessible::PopupMenu: case QAccessible::Splitter: case QAccessible::Slider:
        case QAccessible::ProgressBar: case QAccessible::ScrollBar: case QAccessible::ToolBar:
        case QAccessible::StatusBar: case QAccessible::Dialog: case QAccessible::Window:
        case QAccessible::Graphic: case QAccessible::ColumnHeader: case QAccessible::ButtonMenu:
            return true;
        default:
            return false;
    }
}

void CollectUnnamed(QAccessibleInterface* iface, const QString& path, QStringList& unnamed) {
    if (!iface || iface->role() == QAccessible::Cell) return;
    const QString here = path + "/" + (iface->object() ? iface->object()->objectName() : QString()) + "#" +
                         QString::number(iface->role(), 16);
    if (IsControl(iface->role()) && iface->text(QAccessible::Name).trimmed().isEmpty()) unnamed << here;
    for (int i = 0; i < iface->childCount(); ++i) CollectUnnamed(iface->child(i), here, unnamed);
}

// The paths (object names and roles) of the unnamed controls, one a line.
std::string Unnamed(QWidget* window) {
    QStringList unnamed;
    CollectUnnamed(QAccessible::queryAccessibleInterface(window), QString(), unnamed);
    return unnamed.join('\n').toStdString();
}

}  // namespace

TEST(Accessibility, EveryControlOfEveryWindowHasAName) {
    platform::SetProgramFile(test::PeFixture("version32.dll").string());
    test::ArtDirScope art;
    test::TempMachine machine{platform::TMachineFamily::NT, /*demo=*/true};
    test::FixedLog log;
    StartProgram(log);
    std::unique_ptr<TfMain> main(fMain);
    std::unique_ptr<TfNTCodecs> codecs(fNTCodecs);
    std::unique_ptr<TfDirectShow> directShow(fDirectShow);
    std::unique_ptr<TfLogging> logging(fLogging);
    std::unique_ptr<TfFourcc> fourcc(fFourcc);
    main->MakePage(1);
    main->MakePage(2);
    EXPECT_EQ(Unnamed(main.get()), "") << "the main window with its three tabs";
    // Its contents are made when it is first shown: check them, not an empty window.
    fourcc->show();
    fourcc->hide();
    ASSERT_NE(fourcc->dfsExtListView1, nullptr);
    EXPECT_EQ(Unnamed(fourcc.get()), "");

    TfMessage message(main.get());
    message.SetMessage("Failed to set data for 'x'", TMessageKind::Error);
    EXPECT_EQ(Unnamed(&message), "");
    QPointer<TfQuestion> question = new TfQuestion(main.get(), &log);
    EXPECT_EQ(Unnamed(question), "");
    delete question.data();
    QPointer<TfPreferences> preferences = new TfPreferences(*main);
    EXPECT_EQ(Unnamed(preferences), "");
    delete preferences.data();
    TfProgress progress(main.get());
    EXPECT_EQ(Unnamed(&progress), "");
    QPointer<TfFound> found = new TfFound(*main, codecs->Catalogue().InactiveCodecList);
    found->SetRows({TFoundRow{"uyvy", "Packed", "Not Used", "pbyuv.dll", "PB", "1.0", "32"}});
    EXPECT_EQ(Unnamed(found), "");
    delete found.data();
    QPointer<TSplashScreen> about = new TSplashScreen(main.get(), &log);
    about->ConfigureAsAbout(main->VersionText());
    EXPECT_EQ(Unnamed(about), "");
    delete about.data();
    THelpWindow help;
    EXPECT_EQ(Unnamed(&help), "");
}
