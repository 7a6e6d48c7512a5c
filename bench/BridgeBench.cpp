// The wine backend: the start of the bridge up to its first answer (with
// Wine's server already running, and with none), one call after that, and
// the version resources of 1000 driver files read by Wine's own version.dll,
// through the bridge and in a Windows program of its own, beside the
// emulation reading the same files (BM_FileVersionOfDrivers).
//
// Runs on the prefix $TARNEL_TEST_PREFIX, or on a throwaway 64-bit prefix
// made for the run (which takes some seconds more at the start).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/api/Backend.h"
#include "platform/api/Registry.h"
#include "platform/api/VersionApi.h"
#include "platform/api/WinPaths.h"
#include "platform/machine/AtomicFile.h"
#include "platform/wine/WineBackend.h"

namespace fs = std::filesystem;
using namespace tarnel::platform;

namespace {

constexpr int kDrivers = 1000;

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Run(const std::string& command) { return std::system(command.c_str()); }

// The prefix of the run; made when none is named, removed at the end.
class BenchPrefix {
public:
    BenchPrefix() {
        if (const char* named = std::getenv("TARNEL_TEST_PREFIX"); named && *named) {
            path_ = named;
        } else {
            path_ = fs::temp_directory_path() / "tarnel-bench-prefix";
            made_ = true;
            if (Run("bash " + Quote(TARNEL_SOURCE_DIR "/scripts/wineprefix.sh") + " make " + Quote(path_.string()) +
                    " win64 >/dev/null 2>&1") != 0)
                throw std::runtime_error("cannot make a Wine prefix in " + path_.string());
        }
        // The same 1000 files as the emulation's benchmark reads.
        const fs::path system = System();
        const std::string image = ReadWholeFile(fs::path(TARNEL_PE_FIXTURE_DIR) / "version32.dll");
        for (int i = 0; i < kDrivers; ++i) WriteFileAtomically(system / ("drv" + std::to_string(i) + ".dll"), image);
    }
    ~BenchPrefix() {
        std::error_code ec;
        for (int i = 0; i < kDrivers; ++i) fs::remove(System() / ("drv" + std::to_string(i) + ".dll"), ec);
        if (made_) Run("bash " + Quote(TARNEL_SOURCE_DIR "/scripts/wineprefix.sh") + " remove " + Quote(path_.string()) + " win64");
    }
    const fs::path& Path() const { return path_; }
    std::string Env() const { return "WINEPREFIX=" + Quote(path_.string()) + " WINEDEBUG=-all "; }
    void StopServer() const { Run(Env() + "wineserver -k >/dev/null 2>&1; " + Env() + "wineserver -w"); }
    void KeepServer() const { Run(Env() + "wineserver -p"); }

private:
    fs::path System() const { return path_ / "drive_c/windows/system32"; }
    fs::path path_;
    bool made_ = false;
};

BenchPrefix& Prefix() {
    static BenchPrefix prefix;
    return prefix;
}

std::unique_ptr<TPlatformBackend> Bridge() {
    return std::make_unique<wine::TWineBackend>(Prefix().Path());
}

// From starting Wine on the bridge to the answer of its first real call.
void BM_BridgeStartToFirstCall(benchmark::State& state) {
    const bool serverRunning = state.range(0) != 0;
    Prefix().KeepServer();
    for (auto _ : state) {
        if (!serverRunning) {
            state.PauseTiming();
            Prefix().StopServer();
            state.ResumeTiming();
        }
        auto backend = Bridge();
        OSVERSIONINFOEXA info{};
        info.dwOSVersionInfoSize = kOsVersionInfoExSize;
        if (!backend->GetVersionExA(&info)) state.SkipWithError("the first call failed");
        state.PauseTiming();
        backend.reset();
        state.ResumeTiming();
    }
    Prefix().KeepServer();
}
BENCHMARK(BM_BridgeStartToFirstCall)->ArgName("server_running")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(10);

// One round trip: a value read from an open key of Wine's registry.
void BM_BridgeCall(benchmark::State& state) {
    auto backend = Bridge();
    RegKey key = 0;
    if (backend->RegOpenKeyExA(RootHandle(kHkeyLocalMachine), kNtCurrentVersionKeyPath, 0, kKeyRead, &key) != 0) {
        state.SkipWithError("no CurrentVersion key");
        return;
    }
    char data[64];
    for (auto _ : state) {
        uint32_t type = 0, size = sizeof data;
        benchmark::DoNotOptimize(backend->RegQueryValueExA(key, "CurrentVersion", &type,
                                                           reinterpret_cast<uint8_t*>(data), &size));
    }
    backend->RegCloseKey(key);
}
BENCHMARK(BM_BridgeCall)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The 1000 files as BM_FileVersionOfDrivers reads them, by Wine's
// version.dll through the bridge: size, block, one string query each.
void BM_FileVersionOfDriversThroughTheBridge(benchmark::State& state) {
    auto backend = Bridge();
    size_t found = 0;
    for (auto _ : state) {
        for (int i = 0; i < kDrivers; ++i) {
            const std::string name = "drv" + std::to_string(i) + ".dll";
            uint32_t handle = 0;
            const uint32_t size = backend->GetFileVersionInfoSizeA(name, &handle);
            if (size == 0) continue;
            std::vector<char> block(size);
            if (!backend->GetFileVersionInfoA(name, handle, size, block.data())) continue;
            void* text = nullptr;
            uint32_t len = 0;
            if (backend->VerQueryValueA(block.data(), size, "\\StringFileInfo\\040904E4\\FileVersion", &text, &len))
                ++found;
        }
    }
    if (found != static_cast<size_t>(state.iterations()) * kDrivers) state.SkipWithError("some driver files gave no FileVersion");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kDrivers);
}
BENCHMARK(BM_FileVersionOfDriversThroughTheBridge)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same reading inside a Windows program (tarnel_versionspeed.exe, run
// by Wine), without the bridge: Wine's version.dll alone. The program times
// its own loop; Wine's start is not counted.
void BM_FileVersionOfDriversInAWindowsProgram(benchmark::State& state) {
    const std::string program = TARNEL_WIN64_DIR "/bench/win32/tarnel_versionspeed.exe";
    for (auto _ : state) {
        FILE* p = popen((Prefix().Env() + "wine " + Quote(program) + " " + std::to_string(kDrivers)).c_str(), "r");
        double seconds = -1;
        if (!p || std::fscanf(p, "%lf", &seconds) != 1 || seconds < 0) {
            if (p) pclose(p);
            state.SkipWithError("the Windows program gave no time");
            return;
        }
        pclose(p);
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kDrivers);
}
BENCHMARK(BM_FileVersionOfDriversInAWindowsProgram)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
