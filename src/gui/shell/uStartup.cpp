#include "gui/shell/uStartup.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include "core/shell/uConst.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/GuiCommon.h"
#include "gui/shell/splash.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"

namespace tarnel {

TfMain* StartProgram(TLog& log) {
    QPointer<TSplashScreen> splash = new TSplashScreen(nullptr, &log);
    new TfLogging(log);
    splash->show();
    PaintNow(splash);
    QCoreApplication::setApplicationName(ToQ(cApplicationTitle));
    try {
        new TfMain(log);
        new TfNTCodecs(*fMain, splash);
        new TfFourcc(fMain);
        new TfDirectShow(*fMain);
        fMain->HostPanel(2, fLogging->LogViewerPanel);
    } catch (...) {
        if (splash) delete splash.data();
        throw;
    }
    if (splash) delete splash.data();
    return fMain;
}

void EndProgram() {
    delete fFourcc;
    delete fDirectShow;
    delete fNTCodecs;
    delete fMain;
    delete fLogging;
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
