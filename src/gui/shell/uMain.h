// The main window: menus, status bar and the three tabs whose contents
// belong to other windows; it owns the settings and offers the services
// every window calls (WriteLog, ShowSystemMessage, ApplyProgramFont, ...).
#pragma once

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProxyStyle>
#include <QStatusBar>
#include <QTabWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/catalogue/FileVersionInfo.h"
#include "core/shell/ActivityLog.h"
#include "core/shell/uGlobal.h"
#include "core/shell/uPrefs.h"
#include "gui/shell/uMessage.h"

namespace tarnel {

class TfLogging;
class TSplashScreen;

// How the program opens another machine: the program's own rules, as at
// start-up (the windows cannot choose a backend themselves).
struct TMachineSwitcher {
    // Why the folder is no machine to open; empty when it is one.
    std::function<std::string(const std::string& folder)> WhyNot;
    // Makes the folder, in the view (0: its default), the machine in use;
    // throws when it cannot.
    std::function<void(const std::string& folder, int view)> Use;
};
void SetMachineSwitcher(TMachineSwitcher switcher);
const TMachineSwitcher& MachineSwitcher();

// The status bar's five panels, each a label at its design width (grown
// with the font where the font sets text wider than the design font).
// Where the bar is narrower than the first four together they all shrink
// alike, each cutting its text short with "..." and saying it whole in its
// tooltip, so that every panel stays in sight; the last, never written,
// takes what is left. Being labels, screen readers read them as their
// (whole) texts.
class TStatusPanels : public QWidget {
    Q_OBJECT
public:
    explicit TStatusPanels(QWidget* parent = nullptr);
    static constexpr int Count = 5;
    QLabel* Panels[Count];
    void SetText(int panel, const QString& text);
    QString Text(int panel) const;
    // The width panel i takes in the current font.
    int PanelWidth(int panel) const;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Arrange();
    void ShowText(int panel);
    QString texts_[Count];
};

// A style that leaves the status bar's items unframed (the panels draw
// their own bevels); owned by `owner`.
class TUnframedItemsStyle : public QProxyStyle {
    Q_OBJECT
public:
    explicit TUnframedItemsStyle(QObject* owner);
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

// The main window's page control: its tabs at least the design's width.
class TPageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit TPageControl(QWidget* parent = nullptr);
};

class TfMain : public QMainWindow {
    Q_OBJECT
public:
    // Runs the creation steps (FormCreate) at once.
    explicit TfMain(TLog& log, QWidget* parent = nullptr);
    ~TfMain() override;

    // Services of the main window.
    void WriteLog(const std::string& text);
    TLog& Log() { return log_; }
    void ShowSystemMessage(const std::string& text, TMessageKind kind = TMessageKind::Information);
    void ApplyProgramFont();
    int CalcPercentage(int done, int total) const { return tarnel::CalcPercentage(done, total); }
    std::string ReadSystemRoot() const { return tarnel::ReadSystemRoot(); }

    // The settings record; CodecStoreMode is set from the OS family.
    TPreferences Settings;
    TWinVersionInfo WinVersionInfo;
    TFileVersionInfo ProgramVersionInfo;
    // True when the system is not supported: the program ends as soon as
    // its event loop starts (RunProgram), and closes without asking.
    bool TerminateRequested() const { return terminate_; }

    // Components.
    QStatusBar* StatusBar;
    TStatusPanels* StatusPanels;
    QFrame* Panel2;
    QTabWidget* PageControl;
    QWidget* VideoCodecsSheet;
    QWidget* DirectShowSheet;
    QWidget* LogSheet;
    QMenuBar* CodecMenu;
    QMenu* File1;
    QAction* OpenMachine1;
    QAction* N2;  // after the machines opened last
    std::vector<QAction*> RecentMachine;
    QAction* Exit1;
    QMenu* Options;
    QAction* Preferences;
    QAction* Refresh;
    // The views of a machine with two (a 64-bit Wine prefix).
    QMenu* View1;
    QAction* View32;
    QAction* View64;
    QMenu* Help;
    QAction* Contents1;
    QAction* N1;
    QAction* About;

    void SetStatusText(int panel, const std::string& text);
    std::string StatusText(int panel) const;

    // Puts a window's panel into a tab page (0 codecs, 1 DirectShow, 2 log).
    void HostPanel(int page, QWidget* panel);
    // Puts the panel that `make` makes into a tab page when the page first
    // comes to the front, or earlier when MakePage asks for it.
    void HostPanelOnFirstShow(int page, std::function<QWidget*()> make);
    // Hosts the page's panel now if it still waits to be made.
    void MakePage(int page);

    // Handlers.
    void FormCreate();
    void Exit1Click();
    // A folder chooser; a folder that is no machine is refused, saying why.
    void OpenMachine1Click();
    // Reloads everything as at start-up on that machine (view 0: its default).
    void OpenMachine(const std::string& folder, int view = 0);
    void ViewClick(int view);
    // The File menu's machines opened last, as the settings hold them now.
    void ShowRecentMachines();
    void PreferencesClick();
    void RefreshClick();
    void Contents1Click();
    void AboutClick();
    // The quit question; true when the window may close.
    bool FormCloseQuery();
    // "Version 2.7 - Release 0 - Build 113", as the caption shows it.
    std::string VersionText() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildComponents();
    void ShowMachine();
    TLog& log_;
    bool terminate_ = false;
    std::function<QWidget*()> pending_[3];
    QPointer<QWidget> hosted_[3];
    QMetaObject::Connection pageShown_;
};

extern TfMain* fMain;

// The application: an error escaping any command is shown and logged, and
// the program goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
    // Shows an error that ended a command: through the main window's
    // message when it exists, else on standard error.
    static void ShowException(const std::string& message);
    static void ShowException(const std::exception& error);
};

}  // namespace tarnel
