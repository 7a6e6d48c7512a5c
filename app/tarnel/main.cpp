// tarnel: the program. It runs on the machine --machine, TARNEL_MACHINE,
// WINEPREFIX, ~/.wine or the user's own default names (only the default is
// made, as the demo machine, on first start); besides --help and --version
// it takes --machine DIR, --backend machine|wine (what serves the machine)
// and --view 32|64 (which view of a 64-bit Wine prefix is shown).
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
#include "core/shell/uPrefs.h"

using namespace tarnel;

namespace {

const char* kUsage =
    "Usage: tarnel [--machine DIR] [--backend machine|wine] [--view 32|64] | --help | --version\n"
    "\n"
    "Shows and changes the video codecs of a Windows machine: the folder DIR,\n"
    "else the one named by $TARNEL_MACHINE, else $WINEPREFIX, else ~/.wine when\n"
    "Wine has run on it, else $XDG_DATA_HOME/tarnel/machine (made as a demo\n"
    "machine on first start). File > Open Machine... opens another one.\n"
    "tarnelctl does the same from the command line.\n"
    "\n"
    "  --machine DIR           the machine: a Wine prefix, or a machine made by\n"
    "                          tarnelctl init\n"
    "  --view 32|64            of a 64-bit Wine prefix, what 32-bit programs see\n"
    "                          (Wow6432Node, syswow64; the default) or what 64-bit\n"
    "                          programs see (the native keys, system32)\n"
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
        const QStringList args = QCoreApplication::arguments();
        for (qsizetype i = 1; i < args.size(); ++i) {
            if (args[i] == "--backend" && i + 1 < args.size()) choice.Backend = args[++i].toStdString();
            else if (args[i].startsWith("--backend=")) choice.Backend = args[i].mid(10).toStdString();
            else if (args[i] == "--machine" && i + 1 < args.size()) choice.Machine = args[++i].toStdString();
            else if (args[i] == "--view" && i + 1 < args.size()) {
                const QString v = args[++i];
                if (v != "32" && v != "64") throw platform::EPlatformError("--view needs 32 or 64, not '" + v.toStdString() + "'");
                choice.View = v.toInt();
            }
        }
        // Only the user's own default folder is made, as the demo machine.
        choice.MakeDemo = [](const std::filesystem::path& folder) {
            tarnel::CreateDemoMachine(folder, platform::TMachineFamily::NT);
        };
        choice.WineForNamedPrefixes = true;
        OpenWithRememberedView(
            [&choice](int view) {
                platform::TPlatformChoice c = choice;
                c.View = view;
                platform::ChoosePlatform(c);
            },
            choice.View);
        // File > Open Machine... chooses by the same rules, the backend
        // named at start included.
        SetMachineSwitcher({[](const std::string& folder) { return platform::WhyNotAMachine(folder); },
                            [choice](const std::string& folder, int view) {
                                platform::TPlatformChoice next = choice;
                                next.Machine = folder;
                                next.MakeDemo = {};
                                OpenWithRememberedView(
                                    [&next](int v) {
                                        next.View = v;
                                        platform::ChoosePlatform(next);
                                    },
                                    view);
                            }});
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
