// The program's start to a filled window on the demo machine, against a bare
// Qt window's start (empty, or showing a table): each run is a fresh process (tarnel_startprobe), on the
// offscreen platform unless a display is named.
//
// The Interleaved benchmarks take turns between a program and its reference
// within one run, so that a busy machine slows both alike, and report the
// minimum and median of each with their ratios; the peak memory of each
// process is the most it held resident, as the process itself reports it.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/catalogue/uCodecs.h"
#include "demo/DemoMachine.h"
#include "platform/api/Registry.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"

extern char** environ;
namespace fs = std::filesystem;
using namespace tarnel::platform;

namespace {

fs::path NewMachine(const char* name) {
    std::string pattern = (fs::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    tarnel::CreateDemoMachine(pattern, TMachineFamily::NT);
    return fs::path(pattern);
}

const fs::path& DemoMachine() {
    static const fs::path root = NewMachine("tarnel-start");
    return root;
}

// 5000 active codecs sharing the demo machine's drivers, as the codecs of
// one driver do, and 20000 inactive entries.
const fs::path& BigMachine() {
    static const fs::path root = [] {
        constexpr int kActive = 5000, kInactive = 20000;
        const fs::path root = NewMachine("tarnel-start-big");
        SelectMachine(root);
        const char* drivers[] = {"lcmjpeg.dll", "pbyuv.dll", "tsplanar.dll", "vrnhd.dll"};
        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.DeleteKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
        reg.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true);
        char name[32];
        for (int i = 0; i < kActive; ++i) {
            std::snprintf(name, sizeof name, "vidc.%04d", i);
            reg.WriteString(name, drivers[size_t(i) % std::size(drivers)]);
        }
        reg.CloseKey();
        reg.DeleteKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive");
        reg.OpenKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive", true);
        for (int i = 0; i < kInactive; ++i) {
            char fourcc[8];
            std::snprintf(name, sizeof name, "#%05d#", i + 1);
            std::snprintf(fourcc, sizeof fourcc, "i%03d", i % 1000);
            std::vector<std::string> texts{fourcc, drivers[size_t(i) % std::size(drivers)], "Inactive codec",
                                           "An inactive codec kept for later", "1.0.0." + std::to_string(i), "32"};
            tarnel::WriteBinaryStrings(reg, name, texts);
        }
        reg.CloseKey();
        scope.Commit();
        ForgetLoadedHives();
        return root;
    }();
    return root;
}

struct TRun {
    double Millis = 0;  // from the spawn to the first painted frame
    double PeakKib = 0;
};

// One start of the probe; false when it could not start or failed.
bool RunOnce(const char* mode, const fs::path& machine, TRun& run) {
    setenv("TARNEL_MACHINE", machine.c_str(), 1);
    if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string exe = TARNEL_STARTPROBE;
    std::vector<char*> argv{exe.data(), const_cast<char*>(mode), const_cast<char*>("peak"), nullptr};
    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[64];
    for (ssize_t n; started && (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    close(out[0]);
    if (!started) return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    // Up to the frame the probe reports painted: the probe's steady clock
    // is this one (the system's monotonic clock).
    long long frameNs = 0;
    if (std::sscanf(text.c_str(), "%lld %lf", &frameNs, &run.PeakKib) != 2) return false;
    run.Millis = double(frameNs - std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count()) / 1e6;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && run.PeakKib > 0 && run.Millis > 0;
}

void RunProbe(benchmark::State& state, const char* mode) {
    TRun run;
    for (auto _ : state) {
        if (!RunOnce(mode, DemoMachine(), run)) {
            state.SkipWithError("the probe failed");
            break;
        }
    }
}

void BM_StartBareQtWindow(benchmark::State& state) { RunProbe(state, "bare"); }
BENCHMARK(BM_StartBareQtWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_StartProgramOnDemoMachine(benchmark::State& state) { RunProbe(state, "program"); }
BENCHMARK(BM_StartProgramOnDemoMachine)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Min(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

struct TSide {
    const char* Name;
    const char* Mode;
    const fs::path& (*Machine)();
    std::vector<double> Millis, PeakKib;
};

// Runs `reference` and `measured` by turns, the one first that went second
// the time before, and reports both with the ratios measured/reference.
void Interleaved(benchmark::State& state, TSide reference, TSide measured) {
    reference.Machine();
    measured.Machine();
    bool referenceFirst = true;
    for (auto _ : state) {
        TSide* order[2] = {&reference, &measured};
        if (!referenceFirst) std::swap(order[0], order[1]);
        referenceFirst = !referenceFirst;
        for (TSide* side : order) {
            TRun run;
            if (!RunOnce(side->Mode, side->Machine(), run)) {
                state.SkipWithError("the probe failed");
                return;
            }
            side->Millis.push_back(run.Millis);
            side->PeakKib.push_back(run.PeakKib);
        }
    }
    for (const TSide* side : {&reference, &measured}) {
        state.counters[std::string(side->Name) + "_min_ms"] = Min(side->Millis);
        state.counters[std::string(side->Name) + "_median_ms"] = Median(side->Millis);
        state.counters[std::string(side->Name) + "_peak_MiB"] = Min(side->PeakKib) / 1024;
    }
    state.counters["ratio_min"] = Min(measured.Millis) / Min(reference.Millis);
    state.counters["ratio_median"] = Median(measured.Millis) / Median(reference.Millis);
    state.counters["peak_ratio"] = Min(measured.PeakKib) / Min(reference.PeakKib);
}

void BM_StartInterleaved(benchmark::State& state) {
    Interleaved(state, {"bare", "bare", DemoMachine, {}, {}}, {"program", "program", DemoMachine, {}, {}});
}
BENCHMARK(BM_StartInterleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

// The same against a bare window that shows a table of text, which pays
// for the fonts as any program showing a list does.
void BM_StartAgainstTableInterleaved(benchmark::State& state) {
    Interleaved(state, {"table", "table", DemoMachine, {}, {}}, {"program", "program", DemoMachine, {}, {}});
}
BENCHMARK(BM_StartAgainstTableInterleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(40);

// The window's first frame on the big machine against the demo machine's.
void BM_BigMachineWindowInterleaved(benchmark::State& state) {
    Interleaved(state, {"demo", "program", DemoMachine, {}, {}}, {"big", "program", BigMachine, {}, {}});
}
BENCHMARK(BM_BigMachineWindowInterleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// The big machine's window's peak memory against the bare Qt window's.
void BM_BigMachineMemoryInterleaved(benchmark::State& state) {
    Interleaved(state, {"bare", "bare", DemoMachine, {}, {}}, {"big", "program", BigMachine, {}, {}});
}
BENCHMARK(BM_BigMachineMemoryInterleaved)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

}  // namespace
