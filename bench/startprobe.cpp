// Three ways to start, for the start-up benchmark: "bare" shows an empty
// main window; "table" a main window holding a table with column headers
// and rows of text, the least a program showing a list draws; "program"
// starts as the program does on the machine named by TARNEL_MACHINE
// (splash screen, main window, both lists loaded). Each ends as soon as its
// main window has been shown and painted, and writes to its standard output
// the steady clock's time (ns) at that frame, so that what it does after
// (tearing its windows down) is not counted. Given a second argument
// "peak", it then writes its peak resident memory (KiB) too.
#include <QApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "core/shell/ActivityLog.h"
#include "gui/catalogue/uNTCodecs.h"
#include "gui/shell/uLogging.h"
#include "gui/shell/uMain.h"
#include "gui/shell/uStartup.h"
#include "platform/api/OsVersion.h"
#include "platform/choice/PlatformChoice.h"

namespace {
long long g_frameNs = 0;

// Runs the event loop until `window` has been exposed and painted once.
int ShowAndEnd(QApplication& app, QWidget& window) {
    window.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.windowHandle() && window.windowHandle()->isExposed()) {
            window.repaint();
            timespec now{};
            clock_gettime(CLOCK_MONOTONIC, &now);
            g_frameNs = (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
            // exit, not quit: quit closes the windows first, and the main
            // window asks before it closes.
            app.exit(0);
        }
    });
    poll.start(0);
    return app.exec();
}

// The high-water mark of this process's own memory: a parent's spawn
// (which shares its memory until the program is loaded) counts in the
// system's resource usage of a child, but not here.
void ReportPeak(int argc, char** argv) {
    std::printf("%lld\n", g_frameNs);
    if (argc < 3 || std::strcmp(argv[2], "peak") != 0) return;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) std::printf("%ld\n", std::strtol(line.c_str() + 6, nullptr, 10));
}
}  // namespace

int main(int argc, char** argv) {
    const bool program = argc > 1 && std::strcmp(argv[1], "program") == 0;
    if (!program) {
        QApplication app(argc, argv);
        QMainWindow window;
        window.resize(619, 414);
        if (argc > 1 && std::strcmp(argv[1], "table") == 0) {
            // As many columns as the program's list, and rows of the
            // length its codecs' texts have.
            auto* table = new QTableWidget(12, 6, &window);
            table->setHorizontalHeaderLabels({"Fourcc", "Driver", "Shortname", "Description", "Version", "Type"});
            for (int row = 0; row < table->rowCount(); ++row) {
                const QString n = QString::number(row);
                for (const auto& [column, text] : {std::pair{0, "c" + n.rightJustified(3, '0')}, {1, "codec" + n + ".dll"},
                                                   {2, "Codec " + n}, {3, "A video codec, number " + n},
                                                   {4, "1.0.0." + n}, {5, QString("vidc")}})
                    table->setItem(row, column, new QTableWidgetItem(text));
            }
            window.setCentralWidget(table);
        }
        const int result = ShowAndEnd(app, window);
        ReportPeak(argc, argv);
        return result;
    }
    tarnel::TApplication app(argc, argv);
    tarnel::platform::SetProgramFile(QCoreApplication::applicationFilePath().toStdString());
    tarnel::platform::ChoosePlatform({});
    tarnel::TLog log;
    const int result = ShowAndEnd(app, *tarnel::StartProgram(log));
    ReportPeak(argc, argv);
    tarnel::EndProgram();
    return result;
}
