#include "gui/shell/uMain.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QPainter>
#include <QTabBar>
#include <qdrawutil.h>
#include <QPointer>
#include <QVBoxLayout>
#include <cstdio>
#include <iostream>

#include "core/catalogue/uCodecs.h"
#include "platform/api/Backend.h"
#include "platform/api/OsVersion.h"
#include "gui/shell/GuiCommon.h"
#include "gui/shell/GuiHelp.h"
#include "gui/shell/splash.h"
#include "core/shell/uConst.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMessage.h"
#include "gui/shell/uPrefs.h"
#include "gui/shell/uQuestion.h"

namespace tarnel {

TfMain* fMain = nullptr;

namespace {
constexpr int kPanelWidths[5] = {240, 100, 100, 120, 50};

std::string FormatWithName(const char* format, const std::string& name) {
    std::string text = format;
    if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name);
    return text;
}
}  // namespace

TfMain::TfMain(TLog& log, QWidget* parent)
    : QMainWindow(parent), ProgramVersionInfo(Settings), log_(log) {
    fMain = this;
    // What the machine noticed but went on with goes to the log.
    platform::SetDiagnosticSink([this](const std::string& text) { WriteLog(text); });
    try {
        BuildComponents();
        FormCreate();
    } catch (...) {
        // A window that was never made must not be reachable as the main window.
        platform::SetDiagnosticSink({});
        fMain = nullptr;
        throw;
    }
}

TfMain::~TfMain() {
    platform::SetDiagnosticSink({});
    if (fMain == this) fMain = nullptr;
}

void TfMain::BuildComponents() {
    setObjectName("fMain");
    setFont(DesignFont("Lucida Sans Unicode", 11));
    setGeometry(256, 231, 619, 414);
    setMinimumSize(400, 200);

    CodecMenu = menuBar();
    CodecMenu->setObjectName("CodecMenu");
    File1 = CodecMenu->addMenu(ToQ(cMenuFile));
    File1->setObjectName("File1");
    Exit1 = File1->addAction(ToQ(cMenuExit), this, &TfMain::Exit1Click);
    Exit1->setObjectName("Exit1");
    Options = CodecMenu->addMenu(ToQ(cMenuOptions));
    Options->setObjectName("Options");
    Preferences = Options->addAction(ToQ(cMenuPreferences), this, &TfMain::PreferencesClick);
    Preferences->setObjectName("Preferences");
    Refresh = Options->addAction(ToQ(cMenuRefresh), this, &TfMain::RefreshClick);
    Refresh->setObjectName("Refresh");
    Refresh->setShortcut(QKeySequence(Qt::Key_F5));
    Help = CodecMenu->addMenu(ToQ(cMenuHelp));
    Help->setObjectName("Help");
    Contents1 = Help->addAction(ToQ(cMenuContents), this, &TfMain::Contents1Click);
    Contents1->setObjectName("Contents1");
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    N1 = Help->addSeparator();
    N1->setObjectName("N1");
    About = Help->addAction(ToQ(cMenuAbout), this, &TfMain::AboutClick);
    About->setObjectName("About");

    StatusBar = statusBar();
    StatusBar->setObjectName("StatusBar");
    StatusBar->setFixedHeight(24);
    StatusBar->setSizeGripEnabled(true);
    // The panels draw their own bevels; the bar must not frame them again.
    StatusBar->setStyleSheet("QStatusBar::item { border: none; }");
    StatusPanels = new TStatusPanels(StatusBar);
    StatusBar->addWidget(StatusPanels, 1);

    Panel2 = new QFrame(this);
    Panel2->setObjectName("Panel2");
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(Panel2);
    layout->setContentsMargins(1, 1, 1, 1);
    PageControl = new QTabWidget(Panel2);
    PageControl->setObjectName("PageControl");
    PageControl->setDocumentMode(true);
    // On the tab bar alone: a style sheet on the page control would reach
    // every panel in the tabs and keep their lists from following the
    // program font.
    PageControl->tabBar()->setStyleSheet("QTabBar::tab { min-width: 149px; }");
    layout->addWidget(PageControl);
    setCentralWidget(Panel2);

    auto sheet = [this](const char* name, const char* caption) {
        auto* page = new QWidget;
        page->setObjectName(name);
        auto* l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
        PageControl->addTab(page, ToQ(caption));
        return page;
    };
    VideoCodecsSheet = sheet("VideoCodecsSheet", cTabVideoCodecs);
    DirectShowSheet = sheet("DirectShowSheet", cTabDirectShow);
    LogSheet = sheet("LogSheet", cTabLog);
    PageControl->setCurrentIndex(0);
}

void TfMain::FormCreate() {
    WriteLog(cLogGettingOsVersion);
    // Which machine this is, before anything is read from it: a demo
    // machine's codecs must never pass for the user's own.
    WriteLog(cLogMachine + platform::CurrentBackend().Describe());
    // The success flag is not consulted: a failed query leaves platform 0.
    GetWinVersionInfo(WinVersionInfo);
    switch (WinVersionInfo.PlatformId) {
        case 1: Settings.CodecStoreMode = 1; break;
        case 2: Settings.CodecStoreMode = 3; break;
        default: Settings.CodecStoreMode = 0;
    }
    if (Settings.CodecStoreMode == 0) {
        ShowSystemMessage(cMsgOsNotSupported);
        terminate_ = true;
        // Ends the program as soon as its event loop starts.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }

    ProgramVersionInfo.SetExecutableFile(platform::ProgramFile());
    WriteLog(cLogGettingOwnVersion);
    TFileVersionNumbers v = ParseFileVersion(ProgramVersionInfo.FileVersion());
    char caption[128];
    std::snprintf(caption, sizeof caption, cCaptionFormat, v.Major, v.Minor, v.Release, v.Build);
    setWindowTitle(ToQ(caption));

    const int32_t storeMode = Settings.CodecStoreMode;
    try {
        Settings = LoadSettings();
    } catch (const std::exception& e) {
        // The defaults could not be written (a full disk, a read-only file):
        // the program works on with what is stored. A user's hive that cannot
        // be read gives the defaults, and the broken file is never written.
        ShowSystemMessage(e.what());
        try {
            Settings = ReadSettings();
        } catch (const std::exception&) {
            Settings = TPreferences{};
        }
    }
    Settings.CodecStoreMode = storeMode;
    WriteLog(cLogLoadedSettings);
    WriteLog(cLogConfiguringProgram);

    if (Settings.StayOnTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        repaint();
    }
    if (Settings.SavePositions && Settings.MainTop != 0 && Settings.MainLeft != 0 && Settings.MainHeight != 0 &&
        Settings.MainWidth != 0) {
        move(Settings.MainLeft, Settings.MainTop);
        resize(Settings.MainWidth, Settings.MainHeight);
        repaint();
    }

    WriteLog(cLogSettingFont);
    ApplyProgramFont();

    SetStatusText(0, cStatusRunningOn + WinVersionInfo.Description);
    WriteLog(cLogSettingStatusbar + StatusText(0));
    if (platform::CurrentBackend().ReadOnly()) ShowSystemMessage(platform::CurrentBackend().ReadOnlyReason());
}

void TfMain::WriteLog(const std::string& text) { log_.WriteLog(text); }

void TfMain::ShowSystemMessage(const std::string& text) {
    WriteLog(cLogDisplayingMessage + text);
    ShowMessageDialog(text, this);
}

void TfMain::ApplyProgramFont() {
    // The status bar takes the name only and keeps its designed 8 points.
    QFont status = StatusBar->font();
    status.setFamily(ToQ(Settings.ProgramFont));
    status.setPointSize(8);
    StatusBar->setFont(status);
    StatusPanels->setFont(status);

    QFont main = font();
    main.setFamily(ToQ(Settings.ProgramFont));
    main.setPointSize(Settings.FontSize > 0 ? Settings.FontSize : cDefaultFontSize);
    setFont(main);
    menuBar()->setFont(main);
    // The tab bar's style sheet (its minimum tab width) stops it following
    // the window's font, so it is handed the font itself.
    PageControl->tabBar()->setFont(main);
    if (CodecListsFont) CodecListsFont(main);
}

void TfMain::SetStatusText(int panel, const std::string& text) { StatusPanels->SetText(panel, ToQ(text)); }

std::string TfMain::StatusText(int panel) const {
    return panel >= 0 && panel < 5 ? FromQ(StatusPanels->Panels[panel].Text) : std::string();
}

TStatusPanels::TStatusPanels(QWidget* parent) : QWidget(parent) {
    setObjectName("StatusPanels");
    for (int i = 0; i < 5; ++i)
        Panels[i] = Panel{kPanelWidths[i], i != 4, i == 4 ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter, {}};
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TStatusPanels::SetText(int panel, const QString& text) {
    if (panel < 0 || panel >= 5) return;
    Panels[panel].Text = text;
    update();
}

QSize TStatusPanels::sizeHint() const { return QSize(610, fontMetrics().height() + 6); }

void TStatusPanels::paintEvent(QPaintEvent*) {
    QPainter p(this);
    int x = 0;
    for (const Panel& panel : Panels) {
        QRect r(x, 1, panel.Width - 2, height() - 2);
        if (panel.Bevel) qDrawShadePanel(&p, r, palette(), true, 1);
        p.save();
        p.setClipRect(r.adjusted(2, 1, -2, -1));
        p.drawText(r.adjusted(3, 0, -3, 0), int(panel.Alignment), panel.Text);
        p.restore();
        x += panel.Width;
    }
}

void TfMain::HostPanel(int page, QWidget* panel) {
    QWidget* sheet = PageControl->widget(page);
    if (!sheet || !panel) return;
    panel->setParent(sheet);
    sheet->layout()->addWidget(panel);
    panel->show();
}

void TfMain::Exit1Click() { close(); }

void TfMain::PreferencesClick() {
    // A new dialog for each use; it applies its own changes and frees itself.
    auto* preferences = new TfPreferences(*this);
    preferences->exec();
}

void TfMain::RefreshClick() {
    WriteLog(cLogRefreshingList);
    if (CodecRefresh) CodecRefresh();
}

void TfMain::Contents1Click() {
    WriteLog(cLogDisplayingHelp);
    const QString file = ProgramDir() + "/" + cHelpFile;
    if (!ShowHelpContents(this, file)) ShowSystemMessage(FormatWithName(cHelpNotFound, FromQ(file)));
}

void TfMain::AboutClick() {
    WriteLog(cLogDisplayingAbout);
    auto* about = new TSplashScreen(this, &log_);
    about->ConfigureAsAbout();
    about->exec();
}

bool TfMain::FormCloseQuery() {
    QPointer<TfQuestion> question = new TfQuestion(this, &log_);
    question->HelpLabel->setText(ToQ(cQuestionSubtitle));
    question->questionLabel->setText(ToQ(cQuitQuestion));
    question->Label2->setText(ToQ(cProgramTitle));
    const int answer = question->ShowModal();
    if (question) delete question.data();
    if (answer != QMessageBox::Yes) return false;
    TWindowBounds bounds{y(), x(), height(), width()};
    try {
        SaveSettings(Settings, bounds, ActiveCodecListHeight ? ActiveCodecListHeight() : Settings.ActiveCodecHeight);
    } catch (const std::exception& e) {
        // The user asked to quit: say what was not saved, then quit all the same.
        ShowSystemMessage(e.what());
    }
    return true;
}

void TfMain::closeEvent(QCloseEvent* event) {
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("An unknown error ended the command");
    }
    return false;
}

void TApplication::ShowException(const std::string& message) {
    if (fMain) {
        try {
            fMain->ShowSystemMessage(message);
            return;
        } catch (...) {
            // Showing failed as well: fall back to the console below.
        }
    }
    std::cerr << "Tarnel: " << message << std::endl;
}

}  // namespace tarnel
