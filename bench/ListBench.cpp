// Listing a machine of 5000 active codecs (each with a driver file of its
// own) and 20000 inactive entries: the whole `tarnelctl list --json` as a
// user runs it, and the core load alone on a cold store.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/DemoMachine.h"
#include "core/catalogue/CodecLists.h"
#include "core/catalogue/uCodecs.h"
#include "core/operations/CodecOperations.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"
#include "platform/machine/WineHive.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace tarnel;
using namespace tarnel::platform;

namespace {

constexpr int kActive = 5000;
constexpr int kInactive = 20000;

class HugeMachine {
public:
    // `ownFiles`: every codec has a driver file of its own; otherwise they
    // share the demo machine's drivers, as codecs of one driver do.
    explicit HugeMachine(bool ownFiles) {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        tarnel::CreateDemoMachine(root_, TMachineFamily::NT);
        SelectMachine(root_);
        // Every codec has a driver file of its own: copies of demo drivers.
        const char* sources[] = {"lcmjpeg.dll", "pbyuv.dll", "tsplanar.dll", "vrnhd.dll"};
        std::vector<std::string> images;
        for (const char* s : sources) images.push_back(ReadWholeFile(root_ / "drive_c/windows/system32" / s));
        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.DeleteKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32");
        reg.OpenKey("\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", true);
        char name[32], file[32];
        for (int i = 0; i < kActive; ++i) {
            std::snprintf(name, sizeof name, "vidc.%04d", i);
            if (ownFiles) {
                std::snprintf(file, sizeof file, "c%04d.dll", i);
                WriteFileAtomically(root_ / "drive_c/windows/system32" / file, images[size_t(i) % images.size()]);
                reg.WriteString(name, file);
            } else {
                reg.WriteString(name, sources[size_t(i) % std::size(sources)]);
            }
        }
        reg.CloseKey();
        reg.DeleteKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive");
        reg.OpenKey("\\SOFTWARE\\Halvorin\\Drivers.Inactive", true);
        for (int i = 0; i < kInactive; ++i) {
            char fourcc[8];
            std::snprintf(name, sizeof name, "#%05d#", i + 1);
            std::snprintf(fourcc, sizeof fourcc, "i%03d", i % 1000);
            std::snprintf(file, sizeof file, "c%04d.dll", i % kActive);
            std::vector<std::string> texts{fourcc, file, "Inactive codec", "An inactive codec kept for later",
                                           "1.0.0." + std::to_string(i), "32"};
            WriteBinaryStrings(reg, name, texts);
        }
        reg.CloseKey();
        scope.Commit();
    }
    ~HugeMachine() {
        ForgetLoadedHives();
        // TARNEL_BENCH_KEEP keeps the machine for a profiler's run.
        if (std::getenv("TARNEL_BENCH_KEEP")) {
            std::fprintf(stderr, "kept %s\n", root_.c_str());
            return;
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& Root() const { return root_; }

private:
    fs::path root_;
};

const HugeMachine& Machine(bool ownFiles = true) {
    static HugeMachine own(true), shared(false);
    const HugeMachine& m = ownFiles ? own : shared;
    SelectMachine(m.Root());
    return m;
}

void TarnelctlList(benchmark::State& state, bool ownFiles) {
    const HugeMachine& m = Machine(ownFiles);
    std::string exe = TARNEL_TARNELCTL, machineArg = m.Root().string();
    std::vector<char*> argv{exe.data(), const_cast<char*>("--machine"), machineArg.data(),
                            const_cast<char*>("list"), const_cast<char*>("--json"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start tarnelctl");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("tarnelctl list failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    state.counters["codecs"] = kActive + kInactive;
}

// 5000 driver files, one per codec: each is found and read once.
void BM_TarnelctlListHugeMachine(benchmark::State& state) { TarnelctlList(state, true); }
BENCHMARK(BM_TarnelctlListHugeMachine)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same codecs on four driver files.
void BM_TarnelctlListHugeMachineSharedDrivers(benchmark::State& state) { TarnelctlList(state, false); }
BENCHMARK(BM_TarnelctlListHugeMachineSharedDrivers)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// What listing the machine cannot go below: `cat` of the files the listing
// opens (both hives and every codec's driver file), started as a process too.
void BM_CatFilesTheListReads(benchmark::State& state) {
    const HugeMachine& m = Machine();
    std::vector<std::string> args{"/bin/cat", (m.Root() / "system.reg").string(), (m.Root() / "user.reg").string()};
    char file[32];
    for (int i = 0; i < kActive; ++i) {
        std::snprintf(file, sizeof file, "c%04d.dll", i);
        args.push_back((m.Root() / "drive_c/windows/system32" / file).string());
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 || waitpid(pid, &status, 0) < 0 ||
            !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("cat failed");
            break;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}
BENCHMARK(BM_CatFilesTheListReads)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_CoreLoadHugeMachineCold(benchmark::State& state) {
    Machine();
    TPreferences prefs;
    prefs.CodecStoreMode = 3;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    for (auto _ : state) {
        ForgetLoadedHives();
        catalogue.LoadCodecListFromRegistry();
        catalogue.LoadInactiveCodecList();
        benchmark::DoNotOptimize(catalogue.CodecList.Count());
    }
    if (catalogue.CodecList.Count() != size_t(kActive) || catalogue.InactiveCodecList.Count() != size_t(kInactive))
        state.SkipWithError("the machine does not hold the expected entries");
}
BENCHMARK(BM_CoreLoadHugeMachineCold)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// One deactivation with its save on the same machine, both lists loaded as
// the codec window loads them: to compare with listing it end to end.
void BM_DeactivationWithItsSaveHugeMachine(benchmark::State& state) {
    struct NoQuestions : TOperationQuestions {
        TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
        TAnswer AskRemove() override { return TAnswer::Yes; }
    } questions;
    Machine();
    ForgetLoadedHives();
    TPreferences prefs;
    prefs.CodecStoreMode = 3;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.LoadActiveList();
    catalogue.LoadInactiveCodecList();
    if (catalogue.CodecList.Count() != size_t(kActive) || catalogue.InactiveCodecList.Count() != size_t(kInactive)) {
        state.SkipWithError("the machine does not hold the expected entries");
        return;
    }
    TCodecOperations ops(catalogue, questions);
    for (auto _ : state) {
        TOperationResult r = ops.Deactivate({0});
        state.PauseTiming();
        // Back into service: the row just deactivated is the last one.
        TOperationResult back = ops.Activate({catalogue.InactiveCodecList.Count() - 1});
        state.ResumeTiming();
        if (!r.Saved || !back.Saved) {
            state.SkipWithError((r.Error + back.Error).c_str());
            break;
        }
    }
    ForgetLoadedHives();
}
BENCHMARK(BM_DeactivationWithItsSaveHugeMachine)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// What a save of that machine cannot go below: its hive written out once and
// flushed.
void BM_SerializeAndFlushHugeHiveOnce(benchmark::State& state) {
    const HugeMachine& m = Machine();
    auto hive = wine::Hive::Parse(ReadWholeFile(m.Root() / "system.reg"), "system.reg", "REGISTRY\\Machine");
    const fs::path scratch = m.Root() / "scratch.reg";
    for (auto _ : state) WriteFileAtomically(scratch, hive->Serialize());
    fs::remove(scratch);
}
BENCHMARK(BM_SerializeAndFlushHugeHiveOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
