// Listing a 95/98/ME machine whose SYSTEM.INI is large (half a million
// lines, a thousand codecs in [drivers32]) against what no listing can
// beat: reading the file once and finding its lines.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace tarnel::platform;

namespace {

constexpr int kFillerLines = 500000;
constexpr int kCodecs = 1000;

// Runs tarnelctl with these arguments, output to /dev/null; its exit status.
int RunTarnelctl(std::vector<std::string> args) {
    args.insert(args.begin(), TARNEL_TARNELCTL);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LargeIniMachine {
public:
    LargeIniMachine() {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        root_ = dir_ / "machine";
        if (RunTarnelctl({"init", root_.string(), "--family", "9x"}) != 0)
            throw std::runtime_error("tarnelctl init failed");
        ini_ = root_ / "drive_c/windows/system.ini";
        std::string text = ReadWholeFile(ini_);
        // Settings of other programs before and after the driver list, as
        // long-lived machines gather them.
        std::string before, after;
        char line[128];
        for (int i = 0; i < kFillerLines; ++i) {
            if (i % 50 == 0) {
                std::snprintf(line, sizeof line, "[Program%05d]\r\n", i / 50);
                (i < kFillerLines / 2 ? before : after) += line;
            }
            std::snprintf(line, sizeof line, "Setting%d=value of setting %d\r\n", i % 50, i);
            (i < kFillerLines / 2 ? before : after) += line;
        }
        const char* drivers[] = {"lcmjpeg.dll", "pbyuv.dll", "tsplanar.dll", "vrnhd.dll"};
        std::string codecs;
        for (int i = 0; i < kCodecs; ++i) {
            std::snprintf(line, sizeof line, "vidc.x%03d=%s\r\n", i, drivers[i % 4]);
            codecs += line;
        }
        const size_t at = text.find("[drivers32]\r\n");
        if (at == std::string::npos) throw std::runtime_error("no [drivers32] section");
        text.insert(at + std::strlen("[drivers32]\r\n"), codecs);
        WriteFileAtomically(ini_, before + text + after);
    }
    ~LargeIniMachine() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const fs::path& Root() const { return root_; }
    const fs::path& Ini() const { return ini_; }

private:
    fs::path dir_, root_, ini_;
};

const LargeIniMachine& Machine() {
    static LargeIniMachine m;
    return m;
}

// The floor: the file read whole and its lines found.
void BM_ReadLargeSystemIni(benchmark::State& state) {
    const LargeIniMachine& m = Machine();
    for (auto _ : state) {
        const std::string text = ReadWholeFile(m.Ini());
        size_t lines = 0;
        for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, '\n', size_t(text.data() + text.size() - p))));
             ++p)
            ++lines;
        benchmark::DoNotOptimize(lines);
        state.counters["MB"] = double(text.size()) / 1e6;
    }
}
BENCHMARK(BM_ReadLargeSystemIni)->Unit(benchmark::kMillisecond)->UseRealTime();

// What listing asks of the store, in this process and cold: the driver
// section, then every codec's entry as the codec manager looks it up, in one
// transaction.
void BM_StoreSideOfListingLargeSystemIni(benchmark::State& state) {
    const LargeIniMachine& m = Machine();
    SelectMachine(m.Root());
    std::vector<char> section(1 << 20);
    size_t found = 0;
    for (auto _ : state) {
        ForgetLoadedHives();
        TTransaction read(TTransaction::Read);
        const uint32_t n = GetPrivateProfileSectionA("drivers32", section.data(), uint32_t(section.size()), "system.ini");
        found = 0;
        char value[260];
        for (const char* p = section.data(); p < section.data() + n; p += std::strlen(p) + 1) {
            const std::string line(p);
            const std::string key = line.substr(0, line.find('='));
            found += GetPrivateProfileStringA("drivers32", key.c_str(), "", value, sizeof value, "system.ini") > 0;
        }
        read.Commit();
    }
    if (found < size_t(kCodecs)) state.SkipWithError("the codecs were not all found");
    state.counters["entries"] = double(found);
}
BENCHMARK(BM_StoreSideOfListingLargeSystemIni)->Unit(benchmark::kMillisecond)->UseRealTime();

// `tarnelctl list --json` on it, as a user runs it.
void BM_TarnelctlListLargeSystemIni(benchmark::State& state) {
    const LargeIniMachine& m = Machine();
    for (auto _ : state) {
        if (RunTarnelctl({"--machine", m.Root().string(), "list", "--json"}) != 0) {
            state.SkipWithError("tarnelctl list failed");
            break;
        }
    }
    state.counters["codecs"] = kCodecs;
}
BENCHMARK(BM_TarnelctlListLargeSystemIni)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// A deactivation and its save: SYSTEM.INI and system.reg written back.
void BM_TarnelctlDeactivateOnLargeSystemIni(benchmark::State& state) {
    const LargeIniMachine& m = Machine();
    int i = 0;
    for (auto _ : state) {
        char fourcc[8];
        std::snprintf(fourcc, sizeof fourcc, "x%03d", i++ % kCodecs);
        if (RunTarnelctl({"--machine", m.Root().string(), "deactivate", fourcc}) != 0) {
            state.SkipWithError("tarnelctl deactivate failed");
            break;
        }
    }
}
BENCHMARK(BM_TarnelctlDeactivateOnLargeSystemIni)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
