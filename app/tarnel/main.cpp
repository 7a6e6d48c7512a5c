// tarnel: the program. It runs on the machine TARNEL_MACHINE, WINEPREFIX or
// the user's own default names (only the default is made, as the demo
// machine, on first start); it takes --help, --version and one option,
// --backend machine|wine, which names what serves that machine.
#include <QMessageBox>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "demo/DemoMachine.h"
#include "platform/api/Ansi.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Registry.h"
#include "gui/shell/GuiCommon.h"
#include "gui/shell/LockWaitWindow.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/scan/uFourcc.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uStartup.h"
#include "gui/shell/uMessage.h"
#include "core/shell/uConst.h"

using namespace tarnel;

namespace {

const char* kUsage =
    "Usage: tarnel [--backend machine|wine] | --help | --version\n"
    "\n"
    "Shows and changes the video codecs of a Windows machine: the folder named\n"
    "by $TARNEL_MACHINE, else $WINEPREFIX, else $XDG_DATA_HOME/tarnel/machine\n"
    "(made as a demo machine on first start). tarnelctl does the same from the\n"
    "command line.\n"
    "\n"
    "  --backend machine|wine  what serves the machine: machine reads and writes\n"
    "                          its files itself; wine serves a live Wine prefix\n"
    "                          through Wine. Else $TARNEL_BACKEND, else wine for\n"
    "                          a $WINEPREFIX Wine has run on, else machine.\n"
    "  --help                  this text\n"
    "  --version               the program's version\n";

// Qt's own words when no display can be opened send the user to reinstall;
// say what is really missing instead.
bool DisplayMissing() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string chosen = platform ? platform : "";
    if (!chosen.empty() && chosen.rfind("xcb", 0) != 0 && chosen.rfind("wayland", 0) != 0) return false;
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    return !set("DISPLAY") && !set("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::cout << kUsage;
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::cout << "tarnel " << TARNEL_VERSION << "\n";
            return 0;
        }
    }
    if (DisplayMissing()) {
        std::cerr << "tarnel: no display to show the window on ($DISPLAY and $WAYLAND_DISPLAY are not set).\n"
                     "Run it in a desktop session, or without a screen under a virtual one:\n"
                     "  xvfb-run -a tarnel\n"
                     "tarnelctl lists and changes the codecs without a display.\n";
        return 1;
    }
    TApplication app(argc, argv);
    platform::SetProgramFile(QCoreApplication::applicationFilePath().toStdString());
    // Waiting for another program's hold on the machine is shown, never blocking the interface.
    platform::SetLockWaitHook(LockWaitWindowHook());
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
            tarnel::CreateDemoMachine(folder, platform::TMachineFamily::NT);
        };
        platform::ChoosePlatform(choice);
    } catch (const std::exception& e) {
        std::cerr << "tarnel: " << e.what() << std::endl;
        ShowMessageDialog(e.what(), nullptr, TMessageKind::Error);
        return 1;
    }

    TLog log;
    try {
        StartProgram(log);
    } catch (const std::exception& e) {
        // A failed start-up step ends the program after the user has read
        // why (and after the splash screen went).
        if (fMain) {
            TApplication::ShowException(e);
        } else {
            const std::string text = platform::ErrorText(e);
            log.WriteLog(cLogDisplayingMessage + text);
            std::cerr << "tarnel: " << text << std::endl;
            ShowMessageDialog(text, nullptr, TMessageKind::Error);
        }
        return 1;
    }
    const int result = RunProgram(*fMain);
    EndProgram();
    return result;
}
