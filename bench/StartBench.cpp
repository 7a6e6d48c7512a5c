// The program's start to a filled window on the demo machine, against a bare
// Qt window's start: each run is a fresh process (tarnel_startprobe), on the
// offscreen platform unless a display is named.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/DemoMachine.h"
#include "platform/machine/BareMachine.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

const fs::path& DemoMachine() {
    static const fs::path root = [] {
        std::string pattern = (fs::temp_directory_path() / "tarnel-start-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        tarnel::CreateDemoMachine(pattern, tarnel::platform::TMachineFamily::NT);
        return fs::path(pattern);
    }();
    return root;
}

void RunProbe(benchmark::State& state, const char* mode) {
    setenv("TARNEL_MACHINE", DemoMachine().c_str(), 1);
    if (!std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string exe = TARNEL_STARTPROBE;
    std::vector<char*> argv{exe.data(), const_cast<char*>(mode), nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start the probe");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the probe failed");
            break;
        }
    }
}

void BM_StartBareQtWindow(benchmark::State& state) { RunProbe(state, "bare"); }
BENCHMARK(BM_StartBareQtWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_StartProgramOnDemoMachine(benchmark::State& state) { RunProbe(state, "program"); }
BENCHMARK(BM_StartProgramOnDemoMachine)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace
