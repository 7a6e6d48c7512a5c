#include "gui/shell/uStartup.h"

#include <QCoreApplication>
#include <QPointer>

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

}  // namespace tarnel
