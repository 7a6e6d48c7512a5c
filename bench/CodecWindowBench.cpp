// Loading a large codec catalogue: 500 active codecs, each a real open,
// query and version read of a driver file, and 2000 inactive entries.
// Measured once as the core loads alone and once as the codec window's
// creation with its views filled (offscreen), as start-up does it.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/DemoMachine.h"
#include "core/catalogue/CodecLists.h"
#include "core/catalogue/uCodecs.h"
#include "gui/catalogue/uNTCodecs.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"
#include "platform/api/Registry.h"
#include "gui/shell/splash.h"
#include "gui/shell/uMain.h"

namespace fs = std::filesystem;
using namespace tarnel;
using namespace tarnel::platform;

namespace {

constexpr int kActive = 500;
constexpr int kInactive = 2000;

// The demo machine's codec drivers (some answer only their own FOURCC, so
// their query comes back empty) and copies of a driver with a version
// resource that answers every FOURCC.
const char* const kDemoDrivers[] = {"lcmjpeg.dll", "pbyuv.dll", "tsplanar.dll", "vrnhd.dll", "kwdelta.dll",
                                    "dhwave.dll"};
constexpr int kPlainCopies = 6;

class BigMachine {
public:
    BigMachine() {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        tarnel::CreateDemoMachine(root_, TMachineFamily::NT);
        SelectMachine(root_);

        std::vector<std::string> drivers(std::begin(kDemoDrivers), std::end(kDemoDrivers));
        const std::string image = ReadWholeFile(fs::path(TARNEL_PE_FIXTURE_DIR) / "version32.dll");
        for (int i = 0; i < kPlainCopies; ++i) {
            drivers.push_back("plain" + std::to_string(i) + ".dll");
            WriteFileAtomically(root_ / "drive_c/windows/system32" / drivers.back(), image);
        }

        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        // The demo's own entries go: exactly kActive video entries remain.
        reg.DeleteKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
        reg.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true);
        char name[32];
        for (int i = 0; i < kActive; ++i) {
            std::snprintf(name, sizeof name, "vidc.c%03d", i);
            reg.WriteString(name, drivers[size_t(i) % drivers.size()]);
        }
        reg.CloseKey();
        reg.DeleteKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive");
        reg.OpenKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive", true);
        for (int i = 0; i < kInactive; ++i) {
            char fourcc[8];
            std::snprintf(name, sizeof name, "#%04d#", i + 1);
            std::snprintf(fourcc, sizeof fourcc, "i%03d", i % 1000);
            std::vector<std::string> texts{fourcc, drivers[size_t(i) % drivers.size()], "Inactive codec",
                                           "An inactive codec kept for later", "1.0.0." + std::to_string(i),
                                           "32"};
            WriteBinaryStrings(reg, name, texts);
        }
        reg.CloseKey();
        scope.Commit();
    }
    ~BigMachine() {
        ForgetLoadedHives();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void Select() const { SelectMachine(root_); }

private:
    fs::path root_;
};

const BigMachine& Machine() {
    static BigMachine machine;
    machine.Select();
    return machine;
}

QApplication& Application() {
    static int argc = 1;
    static char arg0[] = "tarnel_bench";
    static char* argv[] = {arg0, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

void BM_CoreLoadBothLists(benchmark::State& state) {
    Machine();
    TPreferences prefs;
    prefs.CodecStoreMode = 3;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    for (auto _ : state) {
        catalogue.LoadCodecListFromRegistry();
        catalogue.LoadInactiveCodecList();
        benchmark::DoNotOptimize(catalogue.CodecList.Count());
    }
    if (catalogue.CodecList.Count() != size_t(kActive) || catalogue.InactiveCodecList.Count() != size_t(kInactive))
        state.SkipWithError("the machine does not hold the expected entries");
    state.counters["rows"] = double(catalogue.CodecList.Count() + catalogue.InactiveCodecList.Count());
}
BENCHMARK(BM_CoreLoadBothLists)->Unit(benchmark::kMillisecond)->UseRealTime();

// Start-up's way: the main window, the splash screen showing the load, the
// codec window, then everything shown and laid out.
void BM_CodecWindowCreation(benchmark::State& state) {
    Machine();
    Application();
    size_t rows = 0;
    for (auto _ : state) {
        TLog log;
        auto main = std::make_unique<TfMain>(log);
        auto* splash = new TSplashScreen(nullptr, &log);
        splash->show();
        auto codecs = std::make_unique<TfNTCodecs>(*main, splash);
        main->show();
        QApplication::processEvents();
        rows = size_t(codecs->CodecListModel->rowCount() + codecs->InactiveCodecListModel->rowCount());
        state.PauseTiming();
        codecs.reset();
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    if (rows != size_t(kActive + kInactive)) state.SkipWithError("the views do not show every row");
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_CodecWindowCreation)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
