#include "gui/shell/uStartup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QImageReader>
#include <QPointer>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/shell/uPrefs.h"
#include "platform/api/Backend.h"
#include "platform/api/Registry.h"

#include "core/shell/uConst.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/GuiCommon.h"
#include "gui/shell/splash.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uMessage.h"

namespace tarnel {

namespace {
// With TARNEL_START_MARKS set, start-up says on standard error how long
// each of its steps took, for finding what makes it slow.
class TStartMarks {
public:
    TStartMarks() : on_(std::getenv("TARNEL_START_MARKS") != nullptr) { clock_.start(); }
    void operator()(const char* step) {
        if (!on_) return;
        const qint64 now = clock_.nsecsElapsed();
        std::fprintf(stderr, "start: %-24s %7.2f ms\n", step, double(now - last_) / 1e6);
        last_ = now;
    }

private:
    bool on_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
};

// Work the windows would otherwise wait for on this thread, done on
// another core meanwhile: reading the system's font list (the splash
// screen's first text needs it) and loading the picture-format plugins
// (the menu bar's own icons are read through them). Qt shares both
// between threads, so this thread takes whatever is ready and waits
// for or does the rest itself. Joined before start-up ends.
class TWarmUp {
public:
    TWarmUp() {
        try {
            thread_ = std::jthread([] {
                QFontDatabase::families();
                QImageReader::supportedImageFormats();
            });
        } catch (const std::system_error&) {
            // No thread to spare: this thread does it all when it gets there.
        }
    }

private:
    std::jthread thread_;
};
}  // namespace

TfMain* StartProgram(TLog& log) {
    TStartMarks mark;
    TWarmUp warmUp;
    QPointer<TSplashScreen> splash = new TSplashScreen(nullptr, &log);
    // The log keeps its lines itself: the log window's panel is made when
    // its tab first comes to the front and then shows them all.
    new TfLogging(log, TfLogging::OnFirstShow);
    mark("splash made");
    // The main window is the first to read the store: it is read while the
    // splash screen is shown.
    platform::CurrentBackend().PrefetchStore();
    splash->show();
    mark("splash shown");
    PaintNow(splash);
    mark("splash painted");
    QCoreApplication::setApplicationName(ToQ(cApplicationTitle));
    try {
        new TfMain(log);
        mark("main window");
        new TfNTCodecs(*fMain, splash);
        mark("codec window and lists");
        // Hidden until the codec window calls it up, which may never happen:
        // its contents wait until then.
        new TfFourcc(fMain, TfFourcc::OnFirstShow);
        // Filled now, its list shown when its tab first comes to the front.
        new TfDirectShow(*fMain, TfDirectShow::OnFirstShow);
        QPointer<TfLogging> logging(fLogging);
        fMain->HostPanelOnFirstShow(2, [logging]() -> QWidget* { return logging ? logging->BuildComponents() : nullptr; });
        mark("other windows");
    } catch (...) {
        if (splash) delete splash.data();
        throw;
    }
    if (splash) delete splash.data();
    mark("splash gone");
    return fMain;
}

void EndProgram() {
    delete fFourcc;
    delete fDirectShow;
    delete fNTCodecs;
    delete fMain;
    delete fLogging;
}

void OpenWithRememberedView(const std::function<void(int view)>& open, int view) {
    open(view);
    if (view != 0 || platform::CurrentBackend().View() == 0) return;
    int remembered = 0;
    try {
        remembered = ReadRememberedView();
    } catch (const std::exception&) {
        // Unreadable settings remember nothing.
    }
    if (remembered != 0 && remembered != platform::CurrentBackend().View()) open(remembered);
}

void SwitchMachine(TLog& log, const std::string& folder, int view) {
    const TMachineSwitcher& switcher = MachineSwitcher();
    if (!switcher.Use) return;
    platform::TPlatformBackend& before = platform::CurrentBackend();
    const std::string previous = before.Folder().string();
    const int previousView = before.View();
    std::vector<std::string> recent;
    try {
        recent = ReadRecentMachines();
    } catch (const std::exception&) {
    }
    // The windows are made anew: none of them may end the program meanwhile.
    const bool quitOnClose = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    EndProgram();
    // The machine named, or (when it cannot be opened or its windows cannot
    // be made) the one shown before, which is said.
    std::string failed;
    TfMain* main = nullptr;
    bool unsupported = false;
    try {
        switcher.Use(folder, view);
        main = StartProgram(log);
        // A system the program does not support was said as at start-up;
        // here the machine shown before comes back instead of the end.
        unsupported = main->TerminateRequested();
        if (unsupported) throw std::runtime_error(cMsgOsNotSupported);
    } catch (const std::exception& e) {
        failed = platform::ErrorText(e);
        EndProgram();
        try {
            switcher.Use(previous, previousView);
            main = StartProgram(log);
        } catch (const std::exception& again) {
            // Neither opens (the one shown went away meanwhile): nothing is
            // left to show.
            EndProgram();
            const std::string text = failed + "\n" + platform::ErrorText(again);
            log.WriteLog(cLogDisplayingMessage + text);
            ShowMessageDialog(text, nullptr, TMessageKind::Error);
            QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
            QTimer::singleShot(0, [] { QCoreApplication::exit(1); });
            return;
        }
    }
    if (failed.empty()) {
        // Beside the settings of the machine now shown; a machine that
        // cannot be written keeps them unwritten.
        try {
            recent = RememberMachine(recent, platform::CurrentBackend().Folder().string());
            if (view != 0) RememberView(view);
        } catch (const std::exception&) {
        }
        main->ShowRecentMachines();
    }
    QGuiApplication::setQuitOnLastWindowClosed(quitOnClose);
    if (main->TerminateRequested()) {
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        return;
    }
    main->show();
    if (!failed.empty() && !unsupported) main->ShowSystemMessage(failed, TMessageKind::Error);
}

int RunProgram(TfMain& main) {
    if (main.TerminateRequested()) {
        // The user has read why the program cannot work here: it ends as
        // soon as its loop runs, without showing a window that cannot work
        // and without the quit question.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    } else {
        main.show();
    }
    return QCoreApplication::exec();
}

}  // namespace tarnel
