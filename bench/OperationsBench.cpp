// The codec operations on a big machine: a system.reg of about 3 MB, 500
// active and 2000 inactive codecs. One deactivation with its save, and one
// save with unchanged lists, on both families (the 95/98/ME family's save
// changes SYSTEM.INI and system.reg together); the whole `tarnelctl
// deactivate` as a user runs it; and, to compare with, serializing the hive
// once and flushing it to disk. Counters: bytes written per operation (all
// write calls of the process, temporaries and journal included) and how
// often each store file was replaced.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "demo/DemoMachine.h"
#include "core/catalogue/CodecLists.h"
#include "core/catalogue/uCodecs.h"
#include "core/operations/CodecOperations.h"
#include "core/shell/uConst.h"
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

constexpr int kActive = 500;
constexpr int kInactive = 2000;
constexpr size_t kHiveBytes = 3'000'000;

// Bytes this process has handed to write() so far.
long long BytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "wchar:") return value;
    return 0;
}

// A real Wine prefix's keys, moved below one key of their own so that they
// do not meet the machine's own, then keys of the same make-up until the
// hive holds `bytes`.
std::string Filler(size_t bytes) {
    std::ifstream in(fs::path(TARNEL_TEST_DATA_DIR) / "wine/system.reg", std::ios::binary);
    std::string s = "\n";
    std::string line;
    bool body = false;
    while (std::getline(in, line)) {
        if (!body && line.rfind("[", 0) != 0) continue;
        body = true;
        if (line.rfind("[", 0) == 0) line = "[Software\\\\Halvorin\\\\WineCopy\\\\" + line.substr(1);
        s += line;
        s += '\n';
    }
    char buf[256];
    if (s.size() > bytes) {
        s.resize(bytes);
        s.resize(s.rfind("\n[") + 1);  // whole keys only
    }
    for (int k = 0; s.size() < bytes; ++k) {
        std::snprintf(buf, sizeof buf,
                      "\n[Software\\\\Halvorin\\\\Sample\\\\Group%03d\\\\Item%04d] 1796739096\n#time=1dd871e097d33f8\n",
                      k / 100, k);
        s += buf;
        for (int v = 0; v < 8; ++v) {
            if (v % 3 == 2) std::snprintf(buf, sizeof buf, "\"Flag%d\"=dword:%08x\n", v, k * v);
            else std::snprintf(buf, sizeof buf, "\"Name%d\"=\"v%d.%d\"\n", v, k, v);
            s += buf;
        }
    }
    return s;
}

class BigMachine {
public:
    explicit BigMachine(TMachineFamily family) : family_(family) {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        tarnel::CreateDemoMachine(root_, family);
        const bool nt = family == TMachineFamily::NT;
        // Every codec's driver is the demo's plain driver, which answers any FOURCC.
        std::string ini = "[386Enh]\r\nwoafont=dosapp.fon\r\n\r\n[drivers32]\r\nmsacm.lcadpcm=lcadpcm.acm\r\n";
        char name[32];
        if (!nt) {
            for (int i = 0; i < kActive; ++i) {
                std::snprintf(name, sizeof name, "vidc.c%03d", i);
                ini += std::string(name) + "=rawview.dll\r\n";
            }
        }
        ini += "\r\n[mail]\r\n";
        WriteFileAtomically(root_ / "drive_c/windows/system.ini", ini);

        SelectMachine(root_);
        ForgetLoadedHives();
        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.DeleteKey(std::string("\\") + cDrivers32Key);
        reg.OpenKey(std::string("\\") + cDrivers32Key, true);
        reg.WriteString("msacm.lcadpcm", "lcadpcm.acm");
        if (nt) {
            for (int i = 0; i < kActive; ++i) {
                std::snprintf(name, sizeof name, "vidc.c%03d", i);
                reg.WriteString(name, "rawview.dll");
            }
        }
        reg.DeleteKey(std::string("\\") + cInactiveKey);
        reg.OpenKey(std::string("\\") + cInactiveKey, true);
        for (int i = 0; i < kInactive; ++i) {
            char fourcc[8], file[32];
            std::snprintf(name, sizeof name, "#%.3d#", i + 1);
            std::snprintf(fourcc, sizeof fourcc, "i%03d", i % 1000);
            std::snprintf(file, sizeof file, "inactive%04d.dll", i);
            std::vector<std::string> texts{fourcc, file, "Inactive codec", "An inactive codec kept for later",
                                           "1.0.0." + std::to_string(i), "32"};
            WriteBinaryStrings(reg, name, texts);
        }
        reg.CloseKey();
        scope.Commit();
        ForgetLoadedHives();
        // The rest of a big machine's hive, after the codecs' keys.
        const std::string own = ReadWholeFile(root_ / "system.reg");
        if (own.size() < kHiveBytes) WriteFileAtomically(root_ / "system.reg", own + Filler(kHiveBytes - own.size()));
    }
    ~BigMachine() {
        ForgetLoadedHives();
        // TARNEL_BENCH_KEEP keeps the machine for a one-off look (strace, a profiler).
        if (std::getenv("TARNEL_BENCH_KEEP")) {
            std::fprintf(stderr, "kept %s\n", root_.c_str());
            return;
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& Root() const { return root_; }
    int32_t StoreMode() const { return family_ == TMachineFamily::NT ? 3 : 1; }

private:
    TMachineFamily family_;
    fs::path root_;
};

BigMachine& Machine(TMachineFamily family) {
    static BigMachine nt(TMachineFamily::NT);
    static BigMachine win9x(TMachineFamily::Win9x);
    BigMachine& m = family == TMachineFamily::NT ? nt : win9x;
    SelectMachine(m.Root());
    ForgetLoadedHives();
    return m;
}

// Both lists loaded as the codec window loads them.
struct Window {
    struct NoQuestions : TOperationQuestions {
        TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
        TAnswer AskRemove() override { return TAnswer::Yes; }
    };
    TPreferences prefs;
    TLog log;
    NoQuestions questions;
    TCodecCatalogue catalogue{prefs, log};
    TCodecOperations ops{catalogue, questions};
    explicit Window(const BigMachine& m) {
        prefs.CodecStoreMode = m.StoreMode();
        catalogue.LoadActiveList();
        catalogue.LoadInactiveCodecList();
    }
    bool Sized() const {
        return catalogue.CodecList.Count() == size_t(kActive) && catalogue.InactiveCodecList.Count() == size_t(kInactive);
    }
};

// Counts what one operation writes and which store files it replaces.
struct WriteWatch {
    long long bytes = 0;
    int hiveReplacements = 0, iniReplacements = 0, operations = 0;
    long long startBytes = 0;
    FileStamp hive, ini;
    void Before() {
        hive = StampOf(SystemHivePath());
        ini = StampOf(SystemIniPath());
        startBytes = BytesWritten();
    }
    void After() {
        bytes += BytesWritten() - startBytes;
        hiveReplacements += StampOf(SystemHivePath()).inode != hive.inode;
        iniReplacements += StampOf(SystemIniPath()).inode != ini.inode;
        ++operations;
    }
    void Report(benchmark::State& state) const {
        if (!operations) return;
        state.counters["written_MB"] = double(bytes) / operations / 1e6;
        state.counters["system_reg_replaced"] = double(hiveReplacements) / operations;
        state.counters["system_ini_replaced"] = double(iniReplacements) / operations;
        state.counters["hive_MB"] = double(StampOf(SystemHivePath()).size) / 1e6;
    }
};

void BM_DeactivationWithItsSave(benchmark::State& state, TMachineFamily family) {
    BigMachine& m = Machine(family);
    Window w(m);
    if (!w.Sized()) {
        state.SkipWithError("the machine does not hold the expected codecs");
        return;
    }
    WriteWatch watch;
    for (auto _ : state) {
        watch.Before();
        TOperationResult r = w.ops.Deactivate({0});
        watch.After();
        state.PauseTiming();
        // Back into service: the row just deactivated is the last one.
        TOperationResult back = w.ops.Activate({w.catalogue.InactiveCodecList.Count() - 1});
        state.ResumeTiming();
        if (!r.Saved || !back.Saved) {
            state.SkipWithError((r.Error + back.Error).c_str());
            break;
        }
    }
    watch.Report(state);
}
BENCHMARK_CAPTURE(BM_DeactivationWithItsSave, registry, TMachineFamily::NT)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(BM_DeactivationWithItsSave, profile_file, TMachineFamily::Win9x)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

void BM_SaveOfUnchangedLists(benchmark::State& state, TMachineFamily family) {
    BigMachine& m = Machine(family);
    Window w(m);
    if (!w.Sized()) {
        state.SkipWithError("the machine does not hold the expected codecs");
        return;
    }
    WriteWatch watch;
    for (auto _ : state) {
        watch.Before();
        w.ops.RenumberInactiveCodecs();
        TOperationResult r = w.ops.SaveCodecLists();
        watch.After();
        if (!r.Saved) {
            state.SkipWithError(r.Error.c_str());
            break;
        }
    }
    watch.Report(state);
}
BENCHMARK_CAPTURE(BM_SaveOfUnchangedLists, registry, TMachineFamily::NT)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK_CAPTURE(BM_SaveOfUnchangedLists, profile_file, TMachineFamily::Win9x)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

// What a save cannot go below: the hive written out once and flushed.
void BM_SerializeAndFlushHiveOnce(benchmark::State& state) {
    BigMachine& m = Machine(TMachineFamily::NT);
    auto hive = wine::Hive::Parse(ReadWholeFile(m.Root() / "system.reg"), "system.reg", "REGISTRY\\Machine");
    const fs::path scratch = m.Root() / "scratch.reg";
    long long bytes = 0;
    for (auto _ : state) {
        const long long start = BytesWritten();
        WriteFileAtomically(scratch, hive->Serialize());
        bytes += BytesWritten() - start;
    }
    fs::remove(scratch);
    state.counters["written_MB"] = double(bytes) / double(state.iterations()) / 1e6;
}
BENCHMARK(BM_SerializeAndFlushHiveOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int RunCtl(const BigMachine& m, std::vector<std::string> args) {
    args.insert(args.begin(), {TARNEL_TARNELCTL, "--machine", m.Root().string()});
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

// The whole command: start, load 2500 codecs from the 3 MB hive, deactivate,
// save, end.
void BM_TarnelctlDeactivate(benchmark::State& state, TMachineFamily family) {
    const BigMachine& m = Machine(family);
    for (auto _ : state) {
        if (RunCtl(m, {"deactivate", "c000"}) != 0) {
            state.SkipWithError("tarnelctl deactivate failed");
            break;
        }
        state.PauseTiming();
        const int back = RunCtl(m, {"activate", std::to_string(kInactive + 1)});
        state.ResumeTiming();
        if (back != 0) {
            state.SkipWithError("tarnelctl activate failed");
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_TarnelctlDeactivate, registry, TMachineFamily::NT)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK_CAPTURE(BM_TarnelctlDeactivate, profile_file, TMachineFamily::Win9x)
    ->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace
