// The main window and the start-up sequence, driven offscreen. Modal
// dialogs are answered by a timer that finds the active modal window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QMenu>
#include <QPainter>
#include <QStyleOption>
#include <QTabBar>
#include <QGuiApplication>
#include <QScreen>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/shell/GuiHelp.h"
#include "gui/shell/splash.h"
#include "core/shell/uConst.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uStartup.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/uMessage.h"
#include "gui/shell/uQuestion.h"
#include "gui/shell/GuiTestSupport.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
using tarnel::test::FixedLog;
using tarnel::test::SetSetting;
using tarnel::test::Setting;
namespace fs = std::filesystem;

namespace {

// Runs `act` on the next modal window as soon as one is up.
void OnNextModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, act, tries] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (++*tries > 300) {
            // Giving up quietly would let the test wait for ever on a dialog
            // that comes later, or pass without the dialog it expected.
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window came up within 3 seconds";
        }
    });
    timer->start(10);
}

void Click(QWidget* dialog, const char* button) {
    auto* b = dialog->findChild<QPushButton*>(button);
    ASSERT_NE(b, nullptr) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}


std::vector<std::string> Texts(const TLog& log) {
    std::vector<std::string> out;
    for (const auto& l : log.Lines()) out.push_back(l.substr(l.find(" : ") + 3));
    return out;
}

void SetPlatform(int32_t platformId) {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    ASSERT_TRUE(reg.OpenKey(cNTCurrentVersionKey, false));
    reg.WriteInteger("PlatformId", platformId);
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { SetProgramFile(test::PeFixture("version32.dll").string()); }
    test::ArtDirScope art;
    test::TempMachine machine;
    FixedLog log;
};

}  // namespace

TEST_F(MainWindow, StartUpWritesItsLinesInOrderAndHostsTheLog) {
    StartProgram(log);
    std::unique_ptr<TfMain> main(fMain);
    std::unique_ptr<TfNTCodecs> codecs(fNTCodecs);
    std::unique_ptr<TfDirectShow> directShow(fDirectShow);
    std::unique_ptr<TfLogging> logging(fLogging);
    EXPECT_EQ(Texts(log), (std::vector<std::string>{
                              "Getting OS Version (Needed for the correct Codec Info Location)",
                              "Machine : " + machine.Root().string(),
                              "Getting my own Version Information",
                              "Loaded Program Settings",
                              "Configuring Program",
                              "Setting Program to use configured font",
                              "Setting Statusbar Info - Running On : Windows XP Professional",
                              "Loading Codec Listview",
                              "Start Loading Codec List from Registry",
                              "End Loading Codec List from Registry",
                              "Start Loading Inactive Codec List from Registry",
                          }));
    EXPECT_EQ(log.Lines().front(), "T : Getting OS Version (Needed for the correct Codec Info Location)");
    EXPECT_EQ(main->windowTitle(), "Tarnel - Version 2.7 - Release 0 - Build 113");
    EXPECT_EQ(main->Settings.CodecStoreMode, 3);
    EXPECT_FALSE(main->TerminateRequested());
    EXPECT_EQ(main->StatusText(0), "Running On : Windows XP Professional");
    EXPECT_EQ(main->PageControl->count(), 3);
    EXPECT_EQ(main->PageControl->tabText(0), "VfW Codecs");
    EXPECT_EQ(main->PageControl->tabText(1), "DirectShow Filters");
    EXPECT_EQ(main->PageControl->tabText(2), "Log");
    EXPECT_EQ(main->PageControl->currentIndex(), 0);
    // The tabs behind the first are made when they first come to the front.
    EXPECT_EQ(fLogging->LogViewerPanel, nullptr);
    EXPECT_EQ(fDirectShow->DirectShowPanel, nullptr);
    main->PageControl->setCurrentIndex(2);
    main->PageControl->setCurrentIndex(1);
    EXPECT_TRUE(main->LogSheet->isAncestorOf(fLogging->LogViewerPanel));
    EXPECT_EQ(fLogging->LogMemo->toPlainText().split('\n').size(), 11) << "lines written before the log showed";
    EXPECT_TRUE(main->VideoCodecsSheet->isAncestorOf(fNTCodecs->WindowsNTCodecsPanel));
    EXPECT_TRUE(main->DirectShowSheet->isAncestorOf(fDirectShow->DirectShowPanel));
    main->WriteLog("after");
    EXPECT_TRUE(fLogging->LogMemo->toPlainText().endsWith("T : after"));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TSplashScreen*>(w), nullptr) << "the splash screen is disposed of";
}

namespace {
// Each component of a window with its name, what a screen reader calls it,
// its kind and its parent (sorted: a tab page brought to the front moves to
// the end of its siblings).
std::vector<std::string> Components(QWidget* window) {
    std::vector<std::string> out;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
            out.push_back(w->objectName().toStdString() + "|" + w->accessibleName().toStdString() + "|" +
                          w->metaObject()->className() + "|" +
                          (w->parentWidget() ? w->parentWidget()->objectName().toStdString() : ""));
    std::sort(out.begin(), out.end());
    return out;
}

// The order the focus goes through a window's own components.
std::string FocusOrder(QWidget* window) {
    std::string out;
    for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
        if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_"))
            out += w->objectName().toStdString() + " ";
    return out;
}
}  // namespace

// The DirectShow and log tabs are made when they first come to the front,
// in whichever order the user brings them: the main window then has every
// component that making them at once (as start-up used to) gives, named,
// placed and in focus order alike; the list was filled at start-up and the
// log shows every line from the first.
TEST_F(MainWindow, TabsMadeWhenFirstShownEqualTabsMadeAtOnce) {
    {
        TRegistry reg;
        reg.SetRootKey(kHkeyClassesRoot);
        ASSERT_TRUE(reg.OpenKey("\\CLSID\\{083863F1-70DE-11d0-BD40-00A0C911CE86}\\Instance\\{1}", true));
        reg.WriteString("FriendlyName", "A filter");
    }
    struct TSeen {
        std::vector<std::string> Components;
        std::string Focus;
        QString LogText;
        int Filters = 0;
    };
    auto run = [&](bool atOnce, std::vector<int> pages) {
        TSeen seen;
        StartProgram(log);
        std::unique_ptr<TfMain> main(fMain);
        std::unique_ptr<TfNTCodecs> codecs(fNTCodecs);
        std::unique_ptr<TfFourcc> fourcc(fFourcc);
        std::unique_ptr<TfDirectShow> directShow(fDirectShow);
        std::unique_ptr<TfLogging> logging(fLogging);
        EXPECT_GT(directShow->FilterListModel->rowCount(), 0) << "filled at start-up";
        if (atOnce) {
            main->MakePage(1);
            main->MakePage(2);
        } else {
            EXPECT_EQ(directShow->DirectShowPanel, nullptr);
            EXPECT_EQ(logging->LogViewerPanel, nullptr);
            main->WriteLog("before the log is made");
            main->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(main.get()));
        }
        for (int page : pages) {
            main->PageControl->setCurrentIndex(page);
            QApplication::processEvents();
        }
        main->PageControl->setCurrentIndex(0);
        main->MakePage(1);  // made once only
        main->MakePage(2);
        main->WriteLog("after");
        seen.Components = Components(main.get());
        seen.Focus = FocusOrder(main.get());
        seen.LogText = logging->LogMemo->toPlainText();
        seen.Filters = directShow->DirectShowFilterList->model()->rowCount();
        main->hide();
        return seen;
    };
    const TSeen atOnce = run(true, {});
    const TSeen logFirst = run(false, {2, 1});
    const TSeen filtersFirst = run(false, {1, 2});
    ASSERT_GT(atOnce.Components.size(), 40u);
    EXPECT_EQ(logFirst.Components, atOnce.Components);
    EXPECT_EQ(filtersFirst.Components, atOnce.Components);
    EXPECT_EQ(logFirst.Focus, atOnce.Focus);
    EXPECT_EQ(filtersFirst.Focus, atOnce.Focus);
    EXPECT_GT(logFirst.Filters, 0);
    EXPECT_EQ(logFirst.Filters, atOnce.Filters);
    for (const TSeen* lazy : {&logFirst, &filtersFirst}) {
        const QStringList lines = lazy->LogText.split('\n');
        ASSERT_GE(lines.size(), 13);
        EXPECT_EQ(lines.front(), "T : Getting OS Version (Needed for the correct Codec Info Location)");
        EXPECT_TRUE(lines.contains("T : before the log is made"));
        EXPECT_EQ(lines.back(), "T : after");
    }
    // Every line of all three starts, each shown once in the last log made.
    EXPECT_EQ(filtersFirst.LogText.split('\n').size(), int(log.Lines().size()));
}

TEST_F(MainWindow, CaptionOfAProgramWithoutVersionResource) {
    SetProgramFile(test::PeFixture("noversion32.dll").string());
    TfMain main(log);
    EXPECT_EQ(main.windowTitle(), "Tarnel - Version 0.0 - Release 0 - Build 0");
    EXPECT_EQ(main.ProgramVersionInfo.CompanyName(), "[Not Defined]");
}

TEST_F(MainWindow, MenusCarryTheirCaptionsAndShortcuts) {
    TfMain main(log);
    EXPECT_EQ(main.Exit1->text(), "&Exit");
    EXPECT_EQ(main.Preferences->text(), "&Preferences...");
    EXPECT_EQ(main.Refresh->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(main.Contents1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(main.N1->isSeparator());
    EXPECT_EQ(main.About->text(), "&About");
    // Without a codec window the refresh is logged and reaches nothing.
    main.Refresh->trigger();
    EXPECT_EQ(Texts(log).back(), "Refreshing List");
    // The codec window, reached as its form object, reloads its active list.
    {
        TfNTCodecs codecs(main, nullptr);
        ASSERT_EQ(fNTCodecs, &codecs);
        const size_t before = log.Count();
        main.Refresh->trigger();
        const std::vector<std::string> lines = Texts(log);
        ASSERT_EQ(lines.size(), before + 3);
        EXPECT_EQ(lines[before], "Refreshing List");
        EXPECT_EQ(lines[before + 1], "Start Loading Codec List from Registry");
    }
    EXPECT_EQ(fNTCodecs, nullptr) << "a window gone is reached no more";
    main.Refresh->trigger();
    EXPECT_EQ(Texts(log).back(), "Refreshing List");
}

namespace {
// Counts the quit questions that come up (answering each No, as a user who
// wants to see what happens next) and whether a window was ever shown.
class Watch : public QObject {
public:
    explicit Watch(QWidget* main) : main_(main) { qApp->installEventFilter(this); }
    ~Watch() override { qApp->removeEventFilter(this); }
    int Questions = 0;
    bool MainShown = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (watched == main_) MainShown = true;
            if (auto* question = qobject_cast<TfQuestion*>(watched)) {
                ++Questions;
                QTimer::singleShot(0, question, [question] { question->Button2->click(); });
            }
        }
        return false;
    }

private:
    QWidget* main_;
};
}  // namespace

TEST_F(MainWindow, AnUnsupportedSystemShowsTheMessageAndEndsWhenTheLoopStartsWithoutAsking) {
    for (int32_t platform : {0, 3}) {
        SetPlatform(platform);
        FixedLog l;
        std::string shown;
        OnNextModal([&](QWidget* w) {
            auto* m = qobject_cast<TfMessage*>(w);
            ASSERT_NE(m, nullptr);
            shown = FromQ(m->MessageLabel->text());
            Click(w, "OkButton");
        });
        // The program's own sequence, as the program runs it.
        TfMain* main = StartProgram(l);
        struct TEnd {
            ~TEnd() { EndProgram(); }
        } end;
        EXPECT_EQ(shown, "This OS is not supported. End of Game!") << platform;
        EXPECT_TRUE(main->TerminateRequested());
        EXPECT_EQ(main->Settings.CodecStoreMode, 0);
        EXPECT_EQ(Texts(l)[2], "Displaying Message : This OS is not supported. End of Game!") << platform;
        Watch watch(main);
        main->Settings.FontSize = 14;
        bool timedOut = false;
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [&] {
            timedOut = true;
            QCoreApplication::exit(7);
        });
        giveUp.start(3000);
        EXPECT_EQ(RunProgram(*main), 0) << platform;
        EXPECT_FALSE(timedOut) << platform << ": the program ends as soon as its event loop starts";
        EXPECT_EQ(watch.Questions, 0) << platform << ": no quit question";
        EXPECT_FALSE(watch.MainShown) << platform << ": no main window that cannot work";
        EXPECT_TRUE(main->close()) << platform << ": a close ends it too, without asking";
        EXPECT_EQ(watch.Questions, 0) << platform;
        EXPECT_EQ(Setting("FontSize"), 10) << platform << ": nothing saved";
    }
}

TEST_F(MainWindow, QuitQuestionSavesOnlyOnYes) {
    TfMain main(log);
    main.show();
    main.Settings.AutoSwap = false;
    main.Settings.FontSize = 14;
    for (const char* refuse : {"Button2", "Button3"}) {
        std::string question;
        OnNextModal([&](QWidget* w) {
            auto* q = qobject_cast<TfQuestion*>(w);
            ASSERT_NE(q, nullptr);
            question = FromQ(q->questionLabel->text());
            EXPECT_EQ(q->Label2->text(), "Tarnel");
            EXPECT_EQ(q->HelpLabel->text(), "Question");
            Click(w, refuse);
        });
        EXPECT_FALSE(main.close()) << refuse;
        EXPECT_EQ(question, "Quit, Leave, Exit, Shutdown Program?");
        EXPECT_TRUE(main.isVisible());
        EXPECT_EQ(Setting("AutoSwap"), 1) << "nothing saved on " << refuse;
        EXPECT_EQ(Setting("FontSize"), 10);
    }
    OnNextModal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_FALSE(main.close()) << "Escape is Cancel";

    main.move(33, 44);
    main.resize(500, 300);
    OnNextModal([](QWidget* w) { Click(w, "Button1"); });
    EXPECT_TRUE(main.close());
    EXPECT_EQ(Setting("AutoSwap"), 0);
    EXPECT_EQ(Setting("FontSize"), 14);
    EXPECT_EQ(Setting("SizeEqually"), 1);
    EXPECT_EQ(Setting("StayOnTop"), 1);
    EXPECT_EQ(Setting("SavePositions"), 1);
    EXPECT_EQ(Setting("DisableDoubleClick"), 0);
    EXPECT_EQ(Setting("MainLeft"), main.x());
    EXPECT_EQ(Setting("MainTop"), main.y());
    EXPECT_EQ(Setting("MainWidth"), 500);
    EXPECT_EQ(Setting("MainHeight"), 300);
    EXPECT_EQ(Setting("ActiveCodecHeight"), 0);
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(cPreferencesKey, false));
    EXPECT_EQ(reg.ReadString("ProgramFont"), "Arial");
}

TEST_F(MainWindow, SavedBoundsAreRestoredOnlyWhenAllFourAreSet) {
    {
        SetSetting("MainLeft", -10);
        SetSetting("MainTop", -5);
        SetSetting("MainWidth", 500);
        SetSetting("MainHeight", 300);
        TfMain main(log);
        // Negative positions are read, but the window's frame comes up whole
        // on the screen, moved no further than that takes.
        EXPECT_EQ(main.size(), QSize(500, 300));
        EXPECT_GE(main.x(), 0);
        EXPECT_LE(main.x(), 10);
        EXPECT_GE(main.y(), 0);
        EXPECT_LE(main.y(), 40);
    }
    {
        SetSetting("MainLeft", 0);
        TfMain main(log);
        EXPECT_EQ(main.geometry(), QRect(256, 231, 619, 414)) << "a zero leaves the design bounds";
    }
    {
        SetSetting("MainLeft", 70);
        SetSetting("SavePositions", 0);
        TfMain main(log);
        EXPECT_EQ(main.geometry(), QRect(256, 231, 619, 414));
    }
}

TEST_F(MainWindow, StayOnTopIsAppliedAtStartOnly) {
    {
        TfMain main(log);
        EXPECT_TRUE(main.windowFlags() & Qt::WindowStaysOnTopHint);
        main.Settings.StayOnTop = false;
        main.ApplyProgramFont();
        EXPECT_TRUE(main.windowFlags() & Qt::WindowStaysOnTopHint) << "a change waits for the next start";
    }
    SetSetting("StayOnTop", 0);
    TfMain main(log);
    EXPECT_FALSE(main.windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(MainWindow, SettingsThatCannotBeSeededAreShownAndTheStoredOnesKept) {
    // Only one value stored, so the start must write the others, into a
    // user.reg that may not be written.
    SetSetting("StayOnTop", 0);
    ASSERT_EQ(::chmod(UserHivePath().c_str(), 0444), 0);
    std::string shown;
    OnNextModal([&](QWidget* w) {
        shown = FromQ(static_cast<TfMessage*>(w)->MessageLabel->text());
        Click(w, "OkButton");
    });
    TfMain main(log);
    ::chmod(UserHivePath().c_str(), 0644);
    EXPECT_NE(shown.find(UserHivePath().string()), std::string::npos) << shown;
    EXPECT_FALSE(main.windowFlags() & Qt::WindowStaysOnTopHint) << "the stored settings are used";
    EXPECT_EQ(Setting("SizeEqually"), -12345) << "nothing was written";
}

TEST_F(MainWindow, ProgramFontReachesWindowButStatusBarKeepsItsSize) {
    TRegistry reg;
    reg.SetRootKey(kHkeyCurrentUser);
    ASSERT_TRUE(reg.OpenKey(cPreferencesKey, true));
    reg.WriteString("ProgramFont", "DejaVu Serif");
    reg.WriteInteger("FontSize", 13);
    TfMain main(log);
    EXPECT_EQ(main.font().family(), "DejaVu Serif");
    EXPECT_EQ(main.font().pointSize(), 13);
    EXPECT_EQ(main.StatusBar->font().family(), "DejaVu Serif");
    EXPECT_EQ(main.StatusBar->font().pointSize(), 8);
}

namespace {
// An object whose events fail, as a command that meets a registry error.
class Failing : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw ERegistryException("Failed to set data for 'x'");
        return QObject::event(e);
    }
};
}  // namespace

TEST_F(MainWindow, AnErrorEscapingACommandIsShownLoggedAndTheProgramGoesOn) {
    auto* app = dynamic_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    TfMain main(log);
    std::string shown;
    OnNextModal([&](QWidget* w) {
        shown = FromQ(static_cast<TfMessage*>(w)->MessageLabel->text());
        Click(w, "OkButton");
    });
    Failing failing;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&failing, &event));
    EXPECT_EQ(shown, "Failed to set data for 'x'");
    EXPECT_EQ(Texts(log).back(), "Displaying Message : Failed to set data for 'x'");
}

TEST_F(MainWindow, HelpOpensAtItsContentsAndDescribesEveryCommand) {
    TfMain main(log);
    const QString beside = ProgramDir() + "/Tarnel.hlp";
    QFile::remove(beside);
    std::string shown;
    OnNextModal([&](QWidget* w) {
        shown = FromQ(static_cast<TfMessage*>(w)->MessageLabel->text());
        Click(w, "OkButton");
    });
    main.Contents1->trigger();
    EXPECT_NE(shown.find("Tarnel.hlp"), std::string::npos) << "a missing help file is reported: " << shown;

    ASSERT_TRUE(QFile::copy(QString(TARNEL_TEST_DATA_DIR) + "/../../help/Tarnel.hlp", beside));
    main.Contents1->trigger();
    EXPECT_EQ(Texts(log).back(), "Displaying Help");
    THelpWindow* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<THelpWindow*>(w); h && h->isVisible()) help = h;
    ASSERT_NE(help, nullptr);
    const QString text = help->Browser->toPlainText();
    EXPECT_TRUE(text.startsWith("Tarnel Help"));
    for (const char* command : {"Exit", "Preferences...", "Refresh", "Contents", "About"})
        EXPECT_TRUE(text.contains(command)) << command;
    help->close();
    QFile::remove(beside);
}

namespace {
// Counts the paints of the splash screen and the load bar position each showed.
class SplashPaints : public QObject {
public:
    std::vector<int> Positions;  // -1: painted before the bar showed
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            if (auto* splash = qobject_cast<TSplashScreen*>(watched))
                Positions.push_back(splash->LoadBar->isVisibleTo(splash) ? splash->LoadBar->value() : -1);
        }
        return false;
    }
};
}  // namespace

TEST_F(MainWindow, SplashScreenIsPaintedWhileTheListLoads) {
    // Enough codecs that the load outlasts a few repaint periods.
    {
        platform::TTransaction write;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        ASSERT_TRUE(reg.OpenKey(cDrivers32Key, true));
        for (int i = 0; i < 3000; ++i) reg.WriteString("vidc.x" + std::to_string(i), "missing.dll");
        write.Commit();
    }
    SplashPaints paints;
    qApp->installEventFilter(&paints);
    StartProgram(log);
    qApp->removeEventFilter(&paints);
    std::unique_ptr<TfMain> main(fMain);
    std::unique_ptr<TfNTCodecs> codecs(fNTCodecs);
    std::unique_ptr<TfDirectShow> directShow(fDirectShow);
    std::unique_ptr<TfLogging> logging(fLogging);
    ASSERT_FALSE(paints.Positions.empty()) << "the splash screen was never painted";
    EXPECT_EQ(paints.Positions.front(), -1) << "first painted before the load begins";
    EXPECT_GE(std::count_if(paints.Positions.begin(), paints.Positions.end(), [](int p) { return p > 0; }), 1)
        << "the bar is seen moving";
    EXPECT_EQ(paints.Positions.back(), 2999) << "the last position is shown exactly";
    EXPECT_LT(paints.Positions.size(), 400u) << "painted at a sane rate, not once per entry";
}

// --- At any scale, in any font ------------------------------------------------------

TEST(Screens, AFrameLandsWholeOnTheAreaThatHoldsMostOfIt) {
    const QList<QRect> areas{{0, 0, 1400, 1000}, {1400, 0, 700, 500}};
    // The design bounds at 200 %: the second screen shows 700 x 500 of them.
    EXPECT_EQ(FitToArea({1656, 231, 619, 414}, areas), QRect(1481, 86, 619, 414));
    EXPECT_EQ(FitToArea({1300, 100, 500, 300}, areas), QRect(1400, 100, 500, 300)) << "most of it on the second";
    EXPECT_EQ(FitToArea({1100, 100, 500, 300}, areas), QRect(900, 100, 500, 300)) << "most of it on the first";
    EXPECT_EQ(FitToArea({1500, 50, 900, 700}, areas), QRect(1400, 0, 700, 500)) << "shrunk to the screen";
    EXPECT_EQ(FitToArea({5000, 4000, 300, 200}, areas), QRect(1800, 300, 300, 200)) << "off every screen";
    EXPECT_EQ(FitToArea({100, 100, 300, 200}, areas), QRect(100, 100, 300, 200)) << "whole already";
}

TEST_F(MainWindow, OnTheDoubleScaleScreenBoundsFitAndAreSavedAsQtRestoresThem) {
    const QScreen* doubled = QGuiApplication::screens().value(1);
    ASSERT_TRUE(doubled && doubled->devicePixelRatio() == 2.0) << "the tests' second screen is at 200 %";
    const QRect area = doubled->availableGeometry();
    // Bounds saved where the screen is larger than the 700 x 500 it has at 200 %.
    SetSetting(cMainLeft, area.left() + 100);
    SetSetting(cMainTop, 80);
    SetSetting(cMainWidth, 900);
    SetSetting(cMainHeight, 650);
    TfMain main(log);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QApplication::processEvents();
    EXPECT_EQ(main.screen(), doubled);
    EXPECT_TRUE(area.contains(main.frameGeometry())) << "whole on the screen it is seen on";

    main.move(area.left() + 20, 30);
    main.resize(600, 400);
    QApplication::processEvents();
    const QRect before = main.geometry();
    OnNextModal([](QWidget* w) { Click(w, "Button1"); });
    ASSERT_TRUE(main.close());
    EXPECT_EQ(Setting(cMainWidth), 600) << "not in device pixels";
    EXPECT_EQ(Setting(cMainHeight), 400);
    TfMain again(log);
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    QApplication::processEvents();
    EXPECT_EQ(again.geometry(), before) << "comes back where it was, no larger";

    // The help window opens on the same screen, no larger than it.
    const QString beside = ProgramDir() + "/Tarnel.hlp";
    QFile::remove(beside);
    ASSERT_TRUE(QFile::copy(QString(TARNEL_TEST_DATA_DIR) + "/../../help/Tarnel.hlp", beside));
    again.Contents1->trigger();
    THelpWindow* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<THelpWindow*>(w); h && h->isVisible()) help = h;
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(area.contains(help->frameGeometry()));
    help->close();
    QFile::remove(beside);
}

// Tabs are the design's 149 pixels wide, or as wide as their caption
// needs in a larger program font; the status bar frames none of its items
// (the panels draw their own bevels).
TEST_F(MainWindow, TabsKeepTheirLeastWidthAndTheStatusBarFramesNoItem) {
    TfMain main(log);
    QTabBar* tabs = main.PageControl->tabBar();
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    for (int i = 0; i < tabs->count(); ++i) EXPECT_EQ(tabs->tabRect(i).width(), 149) << i;
    main.Settings.FontSize = 24;
    main.ApplyProgramFont();
    QApplication::processEvents();
    const int needed = QFontMetrics(tabs->font()).horizontalAdvance(main.PageControl->tabText(1));
    EXPECT_GT(tabs->tabRect(1).width(), std::max(149, needed)) << "caption and margins";
    EXPECT_GE(tabs->tabRect(2).width(), 149);

    EXPECT_NE(main.StatusBar->style(), QApplication::style()) << "the bar alone has a style of its own";
    EXPECT_EQ(main.StatusPanels->style(), QApplication::style()) << "the panels keep the program's";
}

// Drawn on white, a status bar item's frame leaves every pixel white.
bool FramesNothing(QStyle* style, const QWidget* widget) {
    QStyleOption option;
    option.rect = QRect(0, 0, 20, 20);
    QImage image(20, 20, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    style->drawPrimitive(QStyle::PE_FrameStatusBarItem, &option, &painter, widget);
    painter.end();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != QColor(Qt::white).rgb()) return false;
    return true;
}

TEST_F(MainWindow, UnderAStyleThatFramesStatusItemsTheBarFramesNone) {
    const QString before = QApplication::style()->name();
    QApplication::setStyle("Windows");
    {
        TfMain main(log);
        EXPECT_FALSE(FramesNothing(QApplication::style(), main.StatusBar)) << "this style frames the items";
        EXPECT_TRUE(FramesNothing(main.StatusBar->style(), main.StatusBar));
    }
    QApplication::setStyle(before);
}

TEST_F(MainWindow, StatusPanelsGrowWithTheirFontAndReadAsTheirTexts) {
    TfMain main(log);
    TStatusPanels* panels = main.StatusPanels;
    EXPECT_EQ(panels->PanelWidth(0), 240) << "the design width at the design font";
    EXPECT_EQ(panels->PanelWidth(4), 50);
    QFont large = panels->font();
    large.setPointSize(20);
    panels->setFont(large);
    main.resize(1380, 300);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    const QString text = panels->Text(0);
    EXPECT_EQ(text, "Running On : Windows XP Professional");
    EXPECT_GE(panels->Panels[0]->contentsRect().width(), QFontMetrics(large).horizontalAdvance(text))
        << "the whole text shows";
    EXPECT_GT(panels->PanelWidth(1), 100);
    EXPECT_EQ(panels->Panels[0]->font().pointSize(), 20) << "the text itself is drawn in the font";

    main.SetStatusText(1, "Active : 12");
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(panels);
    ASSERT_NE(bar, nullptr);
    QStringList read;
    for (int i = 0; i < bar->childCount(); ++i) {
        EXPECT_EQ(bar->child(i)->role(), QAccessible::StaticText);
        read << bar->child(i)->text(QAccessible::Name);
    }
    // The last panel names the machine shown.
    EXPECT_EQ(read, (QStringList{text, "Active : 12", "", "", QString::fromStdString("Machine : " + machine.Root().string())}));
}

TEST_F(MainWindow, StatusPanelsStayInSightAfterAWiderFontOrInANarrowerWindow) {
    TfMain main(log);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    TStatusPanels* panels = main.StatusPanels;
    const QString texts[] = {panels->Text(0), "Active : 12", "Inactive : 4", "mjpg (1)"};
    for (int i = 1; i < 4; ++i) main.SetStatusText(i, FromQ(texts[i]));
    auto check = [&](const char* when) {
        QApplication::processEvents();
        const QRect bar = panels->rect();
        ASSERT_LE(panels->mapTo(&main, bar.topRight()).x(), main.width()) << when;
        for (int i = 0; i < 4; ++i) {
            const QLabel* panel = panels->Panels[i];
            EXPECT_TRUE(bar.contains(panel->geometry())) << when << ": panel " << i << " within the bar";
            EXPECT_GE(panel->width(), 40) << when << ": panel " << i << " in sight";
            EXPECT_EQ(panels->Text(i), texts[i]) << when;
            EXPECT_EQ(panel->accessibleName(), texts[i]) << when << ": read whole";
            if (panel->text() != texts[i]) {
                EXPECT_TRUE(panel->text().endsWith(QChar(0x2026))) << when << ": " << panel->text().toStdString();
                EXPECT_EQ(panel->toolTip(), texts[i]) << when << ": said whole in the tooltip";
            } else {
                EXPECT_TRUE(panel->toolTip().isEmpty()) << when;
            }
            EXPECT_LE(panel->fontMetrics().horizontalAdvance(panel->text()), panel->contentsRect().width())
                << when << ": panel " << i << " shows all it draws";
        }
    };
    check("design font, design width");
    QFont wider = panels->font();
    wider.setPointSize(13);
    panels->setFont(wider);
    check("a wider font");
    main.resize(main.minimumWidth(), main.height());
    check("a wider font, the narrowest window");
    panels->setFont(main.StatusBar->font());
    check("the design font, the narrowest window");
    main.resize(1380, main.height());
    QApplication::processEvents();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(panels->Panels[i]->text(), texts[i]) << i << ": whole again with room";
}

TEST_F(MainWindow, TheMenuBarKeepsTheSystemsMenuFontAtAnyProgramFont) {
    SetSetting(cFontSize, 200);
    TfMain main(log);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    EXPECT_EQ(main.font().pointSize(), 200) << "the window takes the stored size";
    const QFont menuFont = QApplication::font(main.CodecMenu);
    EXPECT_EQ(QFontInfo(main.CodecMenu->font()).family(), QFontInfo(menuFont).family());
    EXPECT_EQ(main.CodecMenu->font().pointSize(), menuFont.pointSize());
    EXPECT_LE(main.CodecMenu->height(), 2 * QFontMetrics(menuFont).height() + 10) << "not grown with the font";
    // Every menu stands in the bar itself, none in an overflow.
    const auto* overflow = main.CodecMenu->findChild<QWidget*>("qt_menubar_ext_button");
    EXPECT_TRUE(!overflow || !overflow->isVisible());
    for (QMenu* menu : {main.File1, main.Options, main.Help}) {
        const QRect at = main.CodecMenu->actionGeometry(menu->menuAction());
        EXPECT_FALSE(at.isEmpty()) << menu->title().toStdString();
        EXPECT_TRUE(main.CodecMenu->rect().contains(at)) << menu->title().toStdString();
    }
}

TEST_F(MainWindow, AboutBoxStatesTheVersionOfTheCaption) {
    TfMain main(log);
    std::string build;
    OnNextModal([&](QWidget* w) {
        auto* about = qobject_cast<TSplashScreen*>(w);
        ASSERT_NE(about, nullptr);
        build = FromQ(about->Build->text());
        about->close();
    });
    main.About->trigger();
    EXPECT_EQ(build.rfind("Version 2.7 - Release 0 - Build 113 ", 0), 0u) << build;
}

TEST_F(MainWindow, HelpIsAWindowOfItsOwnWithBackAndForward) {
    TfMain main(log);
    const QString beside = ProgramDir() + "/Tarnel.hlp";
    QFile::remove(beside);
    ASSERT_TRUE(QFile::copy(QString(TARNEL_TEST_DATA_DIR) + "/../../help/Tarnel.hlp", beside));
    main.Contents1->trigger();
    THelpWindow* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<THelpWindow*>(w); h && h->isVisible()) help = h;
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->windowType(), Qt::Window) << "not a dialog the window system keeps above its owner";
    ASSERT_TRUE(main.windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "the settings' default";
    EXPECT_TRUE(help->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "not hidden behind the main window";
    EXPECT_FALSE(help->BackButton->isEnabled());
    help->Browser->setSource(QUrl(help->Browser->source().toString() + "#help"));
    EXPECT_TRUE(help->BackButton->isEnabled());
    help->BackButton->click();
    EXPECT_FALSE(help->BackButton->isEnabled());
    EXPECT_TRUE(help->ForwardButton->isEnabled());
    help->ForwardButton->click();
    EXPECT_EQ(help->Browser->source().fragment(), "help");
    help->ContentsButton->click();
    EXPECT_TRUE(help->Browser->toPlainText().startsWith("Tarnel Help"));
    help->close();
    QFile::remove(beside);
}
