#include "gui/shell/uMain.h"

#include <QActionGroup>
#include <QFileDialog>
#include <QTimer>
#include <filesystem>

#include "gui/shell/uStartup.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QTimer>
#include <QKeySequence>
#include <QTabBar>
#include <QPointer>
#include <QVBoxLayout>
#include <array>
#include <cstdio>
#include <iostream>

#include "core/catalogue/uCodecs.h"
#include "core/shell/ShellView.h"
#include "platform/api/Backend.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/shell/GuiAccessible.h"
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
// The panels' widths at the design font, the program font at 8 points
// (as this machine shows the default program font).
const QFont& StatusDesignFont() {
    static const QFont font(ProgramFontFamily(cDefaultFont), 8);
    return font;
}
constexpr int kStatusBarHeight = 24;

std::string FormatWithName(const char* format, const std::string& name) {
    std::string text = format;
    if (size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, name);
    return text;
}
}  // namespace

TUnframedItemsStyle::TUnframedItemsStyle(QObject* owner) : QProxyStyle(QApplication::style()->name()) {
    setParent(owner);
}

void TUnframedItemsStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                        const QWidget* widget) const {
    if (element == PE_FrameStatusBarItem) return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

namespace {
// Tabs at least as wide as the design's, wider where their text needs it.
constexpr int kLeastTabWidth = 149;
class TPageTabBar : public QTabBar {
public:
    explicit TPageTabBar(QWidget* parent) : QTabBar(parent) {}

protected:
    QSize tabSizeHint(int index) const override { return AtLeastDesignWidth(QTabBar::tabSizeHint(index)); }
    QSize minimumTabSizeHint(int index) const override {
        return AtLeastDesignWidth(QTabBar::minimumTabSizeHint(index));
    }

private:
    static QSize AtLeastDesignWidth(QSize size) { return {std::max(size.width(), kLeastTabWidth), size.height()}; }
};
}  // namespace

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) { setTabBar(new TPageTabBar(this)); }

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
    // The tabs go after this object: their going must not make a page.
    disconnect(pageShown_);
    for (auto& make : pending_) make = {};
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
    // The menu bar keeps the system's menu font, whatever the program font:
    // set as its own, it no longer follows the window's.
    const QFont menuFont = QApplication::font(CodecMenu);
    QFont own(menuFont.family());
    if (menuFont.pointSizeF() > 0)
        own.setPointSizeF(menuFont.pointSizeF());
    else
        own.setPixelSize(menuFont.pixelSize());
    own.setWeight(menuFont.weight());
    own.setItalic(menuFont.italic());
    CodecMenu->setFont(own);
    File1 = CodecMenu->addMenu(ToQ(cMenuFile));
    File1->setObjectName("File1");
    OpenMachine1 = File1->addAction(ToQ(cMenuOpenMachine), this, &TfMain::OpenMachine1Click);
    OpenMachine1->setObjectName("OpenMachine1");
    OpenMachine1->setShortcut(QKeySequence::Open);
    N2 = File1->addSeparator();
    N2->setObjectName("N2");
    Exit1 = File1->addAction(ToQ(cMenuExit), this, &TfMain::Exit1Click);
    Exit1->setObjectName("Exit1");
    Options = CodecMenu->addMenu(ToQ(cMenuOptions));
    Options->setObjectName("Options");
    Preferences = Options->addAction(ToQ(cMenuPreferences), this, &TfMain::PreferencesClick);
    Preferences->setObjectName("Preferences");
    Refresh = Options->addAction(ToQ(cMenuRefresh), this, &TfMain::RefreshClick);
    Refresh->setObjectName("Refresh");
    Refresh->setShortcut(QKeySequence(Qt::Key_F5));
    View1 = Options->addMenu(ToQ(cMenuView));
    View1->setObjectName("View1");
    View32 = View1->addAction(ToQ(cMenuView32), this, [this] { ViewClick(32); });
    View32->setObjectName("View32");
    View64 = View1->addAction(ToQ(cMenuView64), this, [this] { ViewClick(64); });
    View64->setObjectName("View64");
    auto* views = new QActionGroup(this);
    for (QAction* a : {View32, View64}) {
        a->setCheckable(true);
        views->addAction(a);
    }
    View1->setWindowTitle(QString(View1->title()).remove('&'));
    Help = CodecMenu->addMenu(ToQ(cMenuHelp));
    Help->setObjectName("Help");
    Contents1 = Help->addAction(ToQ(cMenuContents), this, &TfMain::Contents1Click);
    Contents1->setObjectName("Contents1");
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    N1 = Help->addSeparator();
    N1->setObjectName("N1");
    About = Help->addAction(ToQ(cMenuAbout), this, &TfMain::AboutClick);
    About->setObjectName("About");
    // A screen reader names a menu by its title, without the key's ampersand.
    CodecMenu->setAccessibleName(QStringLiteral("Menu bar"));
    for (QMenu* menu : {File1, Options, Help}) menu->setWindowTitle(QString(menu->title()).remove('&'));

    StatusBar = statusBar();
    StatusBar->setObjectName("StatusBar");
    StatusBar->setFixedHeight(kStatusBarHeight);
    StatusBar->setAccessibleName(QStringLiteral("Status bar"));
    StatusBar->setSizeGripEnabled(true);
    // The panels draw their own bevels; the bar must not frame them again.
    StatusBar->setStyle(new TUnframedItemsStyle(StatusBar));
    StatusPanels = new TStatusPanels(StatusBar);
    StatusPanels->setAccessibleName(QStringLiteral("Status"));
    StatusBar->addWidget(StatusPanels, 1);

    Panel2 = new QFrame(this);
    Panel2->setObjectName("Panel2");
    Panel2->setFrameShape(QFrame::Panel);
    Panel2->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(Panel2);
    layout->setContentsMargins(1, 1, 1, 1);
    PageControl = new TPageControl(Panel2);
    PageControl->setObjectName("PageControl");
    PageControl->setDocumentMode(true);
    layout->addWidget(PageControl);
    setCentralWidget(Panel2);

    auto sheet = [this](const char* name, const char* caption) {
        auto* page = new QWidget;
        page->setObjectName(name);
        auto* l = new QVBoxLayout(page);
        l->setContentsMargins(0, 0, 0, 0);
        PageControl->addTab(page, ToQ(caption));
        page->setAccessibleName(ToQ(caption));
        return page;
    };
    VideoCodecsSheet = sheet("VideoCodecsSheet", cTabVideoCodecs);
    DirectShowSheet = sheet("DirectShowSheet", cTabDirectShow);
    LogSheet = sheet("LogSheet", cTabLog);
    PageControl->setCurrentIndex(0);
    pageShown_ = connect(PageControl, &QTabWidget::currentChanged, this, [this](int page) { MakePage(page); });
}

void TfMain::FormCreate() {
    WriteLog(cLogGettingOsVersion);
    // Which machine this is, before anything is read from it: a demo
    // machine's codecs must never pass for the user's own.
    WriteLog(cLogMachine + platform::CurrentBackend().Describe());
    // The machine's family, and so CodecStoreMode, is decided here once. The
    // success flag is not consulted: a failed query leaves platform 0.
    const TMachineFacts facts = IdentifyMachine();
    WinVersionInfo = facts.Os;
    Settings.CodecStoreMode = facts.CodecStoreMode;
    if (!facts.Supported()) {
        ShowSystemMessage(cMsgOsNotSupported, TMessageKind::Error);
        // The program ends as soon as its event loop starts (RunProgram); a
        // quit posted now would end the first dialog's loop instead.
        terminate_ = true;
    }

    ProgramVersionInfo.SetExecutableFile(platform::ProgramFile());
    WriteLog(cLogGettingOwnVersion);
    setWindowTitle(ToQ(MainCaption(ProgramVersionInfo.FileVersion())));

    const int32_t storeMode = Settings.CodecStoreMode;
    try {
        Settings = LoadSettings();
    } catch (const std::exception& e) {
        // The defaults could not be written (a full disk, a read-only file):
        // the program works on with what is stored. A user's hive that cannot
        // be read gives the defaults, and the broken file is never written.
        ShowSystemMessage(platform::ErrorText(e), TMessageKind::Error);
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
    if (RestoresSavedBounds(Settings)) {
        move(Settings.MainLeft, Settings.MainTop);
        resize(Settings.MainWidth, Settings.MainHeight);
        repaint();
    }
    // Saved or designed, the bounds may lie off every screen there is now
    // (another screen, another scale): the window comes up where it is seen.
    KeepOnScreen(this);

    WriteLog(cLogSettingFont);
    ApplyProgramFont();

    SetStatusText(0, cStatusRunningOn + WinVersionInfo.Description);
    WriteLog(cLogSettingStatusbar + StatusText(0));
    ShowMachine();
    if (platform::CurrentBackend().ReadOnly())
        ShowSystemMessage(platform::CurrentBackend().ReadOnlyReason(), TMessageKind::Warning);
}

void TfMain::WriteLog(const std::string& text) { log_.WriteLog(text); }

void TfMain::ShowSystemMessage(const std::string& text, TMessageKind kind) {
    WriteLog(cLogDisplayingMessage + text);
    ShowMessageDialog(text, this, kind);
}

void TfMain::ApplyProgramFont() {
    // An empty name, "Default" and a font the machine lacks all give the
    // platform's default font, so that OK in the preferences (which stores
    // an empty name for a font it does not list) leaves the look as it was.
    const QString family = ProgramFontFamily(Settings.ProgramFont);
    // The status bar takes the name only and keeps its designed 8 points.
    QFont status = StatusBar->font();
    status.setFamily(family);
    status.setPointSize(8);
    StatusBar->setFont(status);
    StatusPanels->setFont(status);
    // A font taller than the design's gets a bar tall enough to show it.
    StatusBar->setFixedHeight(std::max(kStatusBarHeight, QFontMetrics(status).height() + 10));

    QFont main = font();
    main.setFamily(family);
    main.setPointSize(Settings.FontSize > 0 ? Settings.FontSize : cDefaultFontSize);
    setFont(main);
    // The tab bar is handed the font as its own, as the status bar is.
    PageControl->tabBar()->setFont(main);
    if (fNTCodecs) fNTCodecs->SetListsFont(main);
}

void TfMain::SetStatusText(int panel, const std::string& text) { StatusPanels->SetText(panel, ToQ(text)); }

std::string TfMain::StatusText(int panel) const { return FromQ(StatusPanels->Text(panel)); }

TStatusPanels::TStatusPanels(QWidget* parent) : QWidget(parent) {
    setObjectName("StatusPanels");
    for (int i = 0; i < Count; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        // The last panel is never written and has no bevel.
        panel->setFrameStyle(i == Count - 1 ? QFrame::NoFrame : (QFrame::Panel | QFrame::Sunken));
        panel->setAlignment(i == Count - 1 ? (Qt::AlignLeft | Qt::AlignVCenter) : Qt::AlignCenter);
        panel->setIndent(2);
        Panels[i] = panel;
    }
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void TStatusPanels::SetText(int panel, const QString& text) {
    if (panel < 0 || panel >= Count) return;
    texts_[panel] = text;
    ShowText(panel);
}

QString TStatusPanels::Text(int panel) const { return panel >= 0 && panel < Count ? texts_[panel] : QString(); }

void TStatusPanels::ShowText(int panel) {
    QLabel* label = Panels[panel];
    const QString& text = texts_[panel];
    const int room = label->contentsRect().width() - 2 * std::max(0, label->indent());
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, std::max(0, room));
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
    label->setAccessibleName(text);
}

int TStatusPanels::PanelWidth(int panel) const {
    return Grown(cStatusPanelWidths[panel], FontGrowth(font(), this, StatusDesignFont()));
}

QSize TStatusPanels::sizeHint() const {
    int width = 0;
    for (int i = 0; i < Count; ++i) width += PanelWidth(i);
    return QSize(width, fontMetrics().height() + 6);
}

void TStatusPanels::resizeEvent(QResizeEvent*) { Arrange(); }

void TStatusPanels::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        // Handed on by hand: each label holds the panels' font as its own.
        for (QLabel* panel : Panels) panel->setFont(font());
        Arrange();
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

void TStatusPanels::Arrange() {
    std::array<int, cStatusPanelCount> wanted{};
    for (int i = 0; i < Count; ++i) wanted[i] = PanelWidth(i);
    const std::array<int, cStatusPanelCount> widths = StatusPanelWidths(wanted, width());
    int x = 0;
    for (int i = 0; i < Count; ++i) {
        Panels[i]->setGeometry(x, 1, std::max(0, widths[i] - 2), height() - 2);
        x += widths[i];
        ShowText(i);
    }
}

void TfMain::HostPanel(int page, QWidget* panel) {
    QWidget* sheet = PageControl->widget(page);
    if (!sheet || !panel) return;
    panel->setParent(sheet);
    sheet->layout()->addWidget(panel);
    panel->show();
    if (page < 0 || page >= int(std::size(hosted_))) return;
    hosted_[page] = panel;
    // A panel joins the focus order at its end: the panels of later pages
    // made before it (a tab brought to the front earlier) go behind it
    // again, so the focus runs through the pages in their order.
    for (int later = page + 1; later < int(std::size(hosted_)); ++later) {
        QPointer<QWidget> behind = hosted_[later];
        if (!behind || behind->parentWidget() != PageControl->widget(later)) continue;
        behind->setParent(nullptr);
        HostPanel(later, behind);
    }
}

void TfMain::HostPanelOnFirstShow(int page, std::function<QWidget*()> make) {
    if (page < 0 || page >= int(std::size(pending_))) return;
    pending_[page] = std::move(make);
    if (PageControl->currentIndex() == page) MakePage(page);
}

void TfMain::MakePage(int page) {
    if (page < 0 || page >= int(std::size(pending_)) || !pending_[page]) return;
    const std::function<QWidget*()> make = std::move(pending_[page]);
    pending_[page] = {};
    HostPanel(page, make());
}

void TfMain::Exit1Click() { close(); }

namespace {
TMachineSwitcher& SwitcherSlot() {
    static TMachineSwitcher switcher;
    return switcher;
}
}  // namespace

void SetMachineSwitcher(TMachineSwitcher switcher) { SwitcherSlot() = std::move(switcher); }
const TMachineSwitcher& MachineSwitcher() { return SwitcherSlot(); }

// The machine shown, and its view, in the spare status panel; the machines
// opened last in the File menu; the views in the Options menu.
void TfMain::ShowMachine() {
    platform::TPlatformBackend& b = platform::CurrentBackend();
    const std::string view = platform::ViewText(b.View());
    SetStatusText(4, cStatusMachine + b.Describe() + (view.empty() ? "" : ", " + view));
    View1->setEnabled(b.View() != 0);
    View32->setChecked(b.View() == 32);
    View64->setChecked(b.View() == 64);
    ShowRecentMachines();
}

void TfMain::ShowRecentMachines() {
    for (QAction* a : RecentMachine) delete a;
    RecentMachine.clear();
    std::vector<std::string> recent;
    try {
        recent = ReadRecentMachines();
    } catch (const std::exception&) {
        // An unreadable settings key lists none.
    }
    const bool canSwitch = bool(MachineSwitcher().Use);
    OpenMachine1->setEnabled(canSwitch);
    for (size_t i = 0; i < recent.size(); ++i) {
        const std::string folder = recent[i];
        QAction* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QString::fromStdString(folder)), File1);
        a->setObjectName(QStringLiteral("RecentMachine%1").arg(i + 1));
        a->setEnabled(canSwitch);
        connect(a, &QAction::triggered, this, [this, folder] { OpenMachine(folder); });
        File1->insertAction(N2, a);
        RecentMachine.push_back(a);
    }
}

void TfMain::OpenMachine1Click() {
    const std::filesystem::path now = platform::CurrentBackend().Folder();
    const QString folder = QFileDialog::getExistingDirectory(
        this, ToQ(cOpenMachineTitle), QString::fromStdString(now.empty() ? std::string() : now.parent_path().string()),
        QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) return;
    OpenMachine(folder.toStdString());
}

void TfMain::ViewClick(int view) {
    if (view == platform::CurrentBackend().View()) return;
    OpenMachine(platform::CurrentBackend().Folder().string(), view);
}

void TfMain::OpenMachine(const std::string& folder, int view) {
    const TMachineSwitcher& switcher = MachineSwitcher();
    if (!switcher.Use) return;
    if (switcher.WhyNot) {
        if (const std::string why = switcher.WhyNot(folder); !why.empty()) {
            ShowSystemMessage(why, TMessageKind::Error);
            return;
        }
    }
    WriteLog(cLogOpeningMachine + folder);
    // The windows go and come anew, as at start-up: after this command has
    // returned to the event loop.
    TLog* log = &log_;
    QTimer::singleShot(0, qApp, [log, folder, view] { SwitchMachine(*log, folder, view); });
}

void TfMain::PreferencesClick() {
    // A new dialog for each use; it applies its own changes and frees itself.
    auto* preferences = new TfPreferences(*this);
    preferences->exec();
}

void TfMain::RefreshClick() {
    WriteLog(cLogRefreshingList);
    if (fNTCodecs) fNTCodecs->RefreshClick();
}

void TfMain::Contents1Click() {
    WriteLog(cLogDisplayingHelp);
    const QString file = DataDir() + "/" + cHelpFile;
    if (!ShowHelpContents(this, file)) ShowSystemMessage(FormatWithName(cHelpNotFound, FromQ(file)), TMessageKind::Error);
}

void TfMain::AboutClick() {
    WriteLog(cLogDisplayingAbout);
    auto* about = new TSplashScreen(this, &log_);
    about->ConfigureAsAbout(VersionText());
    about->exec();
}

std::string TfMain::VersionText() const { return tarnel::VersionText(ProgramVersionInfo.FileVersion()); }

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
        SaveSettings(Settings, bounds, fNTCodecs ? fNTCodecs->ActiveListHeight() : Settings.ActiveCodecHeight);
    } catch (const std::exception& e) {
        // The user asked to quit: say what was not saved, then quit all the same.
        ShowSystemMessage(platform::ErrorText(e), TMessageKind::Error);
    }
    return true;
}

void TfMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // Once the window system has put its frame around the window, the
    // frame is known and must be on the screen as well.
    KeepOnScreenOnceFramed(this);
}

void TfMain::closeEvent(QCloseEvent* event) {
    // On a system the program refused there is nothing to ask about or save.
    if (terminate_ || FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) { InstallAccessibility(); }

namespace {
// Shift+F10 asks the focused control for its popup menu, as the Menu key
// does: a keyboard context-menu event at the control's text cursor (for a
// list, its current row).
bool OpensPopupMenu(QObject* receiver, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !receiver->isWidgetType()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_F10 || key->modifiers() != Qt::ShiftModifier) return false;
    auto* widget = static_cast<QWidget*>(receiver);
    const QPoint at = widget->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, widget->mapToGlobal(at), key->modifiers());
    QApplication::sendEvent(widget, &menu);
    return true;
}
}  // namespace

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        if (OpensPopupMenu(receiver, event)) return true;
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException("An unknown error ended the command");
    }
    return false;
}

void TApplication::ShowException(const std::exception& error) { ShowException(platform::ErrorText(error)); }

void TApplication::ShowException(const std::string& message) {
    if (fMain) {
        try {
            fMain->ShowSystemMessage(message, TMessageKind::Error);
            return;
        } catch (...) {
            // Showing failed as well: fall back to the console below.
        }
    }
    std::cerr << "Tarnel: " << message << std::endl;
}

}  // namespace tarnel
