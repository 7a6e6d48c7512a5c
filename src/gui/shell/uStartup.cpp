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

TStartup StartProgram(TLog& log) {
    TStartup s;
    QPointer<TSplashScreen> splash = new TSplashScreen(nullptr, &log);
    s.Logging = new TfLogging(log);
    splash->show();
    PaintNow(splash);
    QCoreApplication::setApplicationName(ToQ(cApplicationTitle));
    try {
        s.Main = new TfMain(log);
        s.Codecs = new TfNTCodecs(*s.Main, splash);
        s.Fourcc = new TfFourcc(s.Main);
        s.DirectShow = new TfDirectShow(*s.Main);
        s.Main->HostPanel(2, s.Logging->LogViewerPanel);
    } catch (...) {
        if (splash) delete splash.data();
        throw;
    }
    if (splash) delete splash.data();
    return s;
}

int RunProgram(const TStartup& started) {
    if (started.Main->TerminateRequested()) {
        // The user has read why the program cannot work here: it ends as
        // soon as its loop runs, without showing a window that cannot work
        // and without the quit question.
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    } else {
        started.Main->show();
    }
    return QCoreApplication::exec();
}

}  // namespace tarnel
