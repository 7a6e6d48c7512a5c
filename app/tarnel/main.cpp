// tarnel: the program. It runs on the machine TARNEL_MACHINE, WINEPREFIX or
// the user's own default names (only the default is made, as the demo
// machine, on first start); its one option, --backend machine|wine, names
// what serves that machine.
#include <QMessageBox>
#include <iostream>

#include "core/catalogue/DemoCatalogue.h"
#include "platform/api/Ansi.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/machine/DemoMachine.h"
#include "platform/api/OsVersion.h"
#include "gui/shell/GuiCommon.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uStartup.h"
#include "gui/shell/uMessage.h"
#include "core/shell/uConst.h"

using namespace tarnel;

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    platform::SetProgramFile(QCoreApplication::applicationFilePath().toStdString());
    try {
        platform::TPlatformChoice choice;
        // The one option: which backend serves the machine (--backend wine).
        const QStringList args = QCoreApplication::arguments();
        for (qsizetype i = 1; i < args.size(); ++i) {
            if (args[i] == "--backend" && i + 1 < args.size()) choice.Backend = args[++i].toStdString();
            else if (args[i].startsWith("--backend=")) choice.Backend = args[i].mid(10).toStdString();
        }
        // Only the user's own default folder is made, as the demo machine.
        choice.MakeDemo = [](const std::filesystem::path& folder) {
            tarnel::CreateDemoMachine(folder, platform::MachineFamily::NT);
        };
        platform::ChoosePlatform(choice);
    } catch (const std::exception& e) {
        std::cerr << "tarnel: " << e.what() << std::endl;
        ShowMessageDialog(e.what(), nullptr);
        return 1;
    }

    TLog log;
    TStartup started;
    try {
        started = StartProgram(log);
    } catch (const std::exception& e) {
        // A failed start-up step ends the program after the user has read
        // why (and after the splash screen went).
        if (fMain) {
            TApplication::ShowException(e.what());
        } else {
            log.WriteLog(std::string(cLogDisplayingMessage) + e.what());
            std::cerr << "tarnel: " << e.what() << std::endl;
            ShowMessageDialog(e.what(), nullptr);
        }
        return 1;
    }
    started.Main->show();
    const int result = app.exec();
    delete started.Fourcc;
    delete started.DirectShow;
    delete started.Codecs;
    delete started.Main;
    delete started.Logging;
    return result;
}
