// The DirectShow tab on a machine with 5000 filter registrations: what
// filling the tab adds to start-up. 4000 filters name one of 1000 server
// files with a version resource (shared, as real filter files host
// several filters), 1000 name files that are missing. Measured as the core
// reading alone and as the DirectShow window's creation with its list
// filled (offscreen), as start-up runs it; plus the first showing of the tab.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "core/directshow/FilterList.h"
#include "gui/directshow/uDirectShow.h"
#include "gui/shell/uMain.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"

namespace fs = std::filesystem;
using namespace tarnel;
using namespace tarnel::platform;

namespace {

constexpr int kFilters = 5000;
constexpr int kServerFiles = 1000;
constexpr int kMissingEvery = 5;  // every fifth filter's file is gone

class FilterMachine {
public:
    FilterMachine() {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        CreateBareMachine(root_, TMachineFamily::NT);
        SelectMachine(root_);
        const std::string image = ReadWholeFile(fs::path(TARNEL_PE_FIXTURE_DIR) / "version32.dll");
        for (int i = 0; i < kServerFiles; ++i)
            WriteFileAtomically(root_ / "drive_c/windows/system32" / FileName(i), image);

        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyClassesRoot);
        const std::string instance = std::string("\\CLSID\\") + kFilterCategoryClsid + "\\Instance\\";
        char clsid[48], name[64];
        for (int i = 0; i < kFilters; ++i) {
            std::snprintf(clsid, sizeof clsid, "{7A1B%04X-0000-4000-8000-00000000%04X}", i / 0x10000, i % 0x10000);
            std::snprintf(name, sizeof name, "Benchmark Filter %04d", (i * 7919) % kFilters);
            reg.OpenKey(instance + clsid, true);
            reg.WriteString("FriendlyName", name);
            reg.WriteString("CLSID", clsid);
            reg.CloseKey();
            reg.OpenKey(std::string("\\CLSID\\") + clsid + "\\InprocServer32", true);
            const std::string file = i % kMissingEvery == 0 ? "gone" + std::to_string(i) + ".ax"
                                                            : FileName(i % kServerFiles);
            reg.WriteString("", "C:\\WINDOWS\\system32\\" + file);
            reg.CloseKey();
        }
        scope.Commit();
    }
    ~FilterMachine() {
        ForgetLoadedHives();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    void Select() const { SelectMachine(root_); }

private:
    static std::string FileName(int i) { return "flt" + std::to_string(i) + ".ax"; }
    fs::path root_;
};

const FilterMachine& Machine() {
    static FilterMachine machine;
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

void BM_FilterListCore(benchmark::State& state) {
    Machine();
    TFileVersionInfo info(3);
    size_t rows = 0;
    for (auto _ : state) {
        std::vector<TFilterRow> list;
        FillFilterList(info, list);
        rows = list.size();
        benchmark::DoNotOptimize(list.data());
    }
    if (rows != size_t(kFilters)) state.SkipWithError("the machine does not hold the expected filters");
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_FilterListCore)->Unit(benchmark::kMillisecond)->UseRealTime();

// What start-up spends on the tab: the window's creation, which hosts the
// panel, applies the font and fills the list (the main window exists).
void BM_DirectShowTabCreation(benchmark::State& state) {
    Machine();
    Application();
    size_t rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        TLog log;
        auto main = std::make_unique<TfMain>(log);
        state.ResumeTiming();
        auto window = std::make_unique<TfDirectShow>(*main);
        rows = size_t(window->DirectShowFilterList->model()->rowCount());
        state.PauseTiming();
        window.reset();
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    if (rows != size_t(kFilters)) state.SkipWithError("the list does not show every filter");
    state.counters["rows"] = double(rows);
}
BENCHMARK(BM_DirectShowTabCreation)->Unit(benchmark::kMillisecond)->UseRealTime();

// After start-up: the first time the user brings the tab to the front
// (layout, column widths, the first paint of the visible rows).
void BM_DirectShowTabFirstShown(benchmark::State& state) {
    Machine();
    Application();
    for (auto _ : state) {
        state.PauseTiming();
        TLog log;
        auto main = std::make_unique<TfMain>(log);
        auto window = std::make_unique<TfDirectShow>(*main);
        main->show();
        QApplication::processEvents();
        state.ResumeTiming();
        main->PageControl->setCurrentIndex(1);
        window->DirectShowFilterList->repaint();
        QApplication::processEvents();
        state.PauseTiming();
        window.reset();
        main.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DirectShowTabFirstShown)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
