// Hive loading speed and the cost of one scoped save of both codec lists on
// top of a big machine hive.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/api/Registry.h"
#include "platform/machine/WineHive.h"

using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

constexpr size_t kTargetValues = 60000;

// A real Wine prefix's system.reg, grown with keys of the same make-up until
// it holds about 60 000 values (about 3 MB).
const std::string& BigHiveText() {
    static const std::string text = [] {
        std::ifstream in(fs::path(TARNEL_TEST_DATA_DIR) / "wine/system.reg", std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string s = ss.str();
        size_t values = 0;
        std::istringstream lines(s);
        std::string line;
        while (std::getline(lines, line))
            if (!line.empty() && (line[0] == '"' || line[0] == '@')) ++values;
        char buf[256];
        // Many small keys of a few short values each, spread over groups the
        // way real classes and settings keys are.
        for (int k = 0; values < kTargetValues; ++k) {
            std::snprintf(buf, sizeof buf,
                          "\n[Software\\\\Halvorin\\\\Sample\\\\Group%03d\\\\Item%04d] 1796739096\n"
                          "#time=1dd871e097d33f8\n",
                          k / 100, k);
            s += buf;
            for (int v = 0; v < 8; ++v) {
                if (v % 3 == 2)
                    std::snprintf(buf, sizeof buf, "\"Flag%d\"=dword:%08x\n", v, k * v);
                else
                    std::snprintf(buf, sizeof buf, "\"Name%d\"=\"v%d.%d\"\n", v, k, v);
                s += buf;
            }
            values += 8;
        }
        return s;
    }();
    return text;
}

void BM_ParseBigHive(benchmark::State& state) {
    const std::string& text = BigHiveText();
    for (auto _ : state) {
        auto hive = wine::Hive::Parse(text, "system.reg", "REGISTRY\\Machine");
        benchmark::DoNotOptimize(hive.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["file_MB"] = double(text.size()) / 1e6;
}
BENCHMARK(BM_ParseBigHive)->Unit(benchmark::kMillisecond);

void BM_SerializeBigHive(benchmark::State& state) {
    const std::string& text = BigHiveText();
    auto hive = wine::Hive::Parse(text, "system.reg", "REGISTRY\\Machine");
    for (auto _ : state) {
        std::string out = hive->Serialize();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SerializeBigHive)->Unit(benchmark::kMillisecond);

struct BenchMachine {
    fs::path root;
    BenchMachine() {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root = pattern;
        SelectMachine(root);
        WriteFileAtomically(SystemHivePath(), BigHiveText());
        ForgetLoadedHives();
    }
    ~BenchMachine() {
        ForgetLoadedHives();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

// Loading through the registry object: file read, parse, first lookup.
void BM_OpenKeyOnColdHive(benchmark::State& state) {
    BenchMachine m;
    for (auto _ : state) {
        ForgetLoadedHives();
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        benchmark::DoNotOptimize(reg.OpenKeyReadOnly("Software\\Microsoft\\Windows NT\\CurrentVersion"));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(BigHiveText().size()));
}
BENCHMARK(BM_OpenKeyOnColdHive)->Unit(benchmark::kMillisecond);

// The codec lists' save: old entries out, 200 active string values and 1000
// inactive binary values in, all inside one scope: one file replacement.
void BM_ScopedSaveOfCodecLists(benchmark::State& state) {
    BenchMachine m;
    const char* active = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
    const char* inactive = "SOFTWARE\\Halvorin\\Drivers.Inactive";
    int64_t replacements = 0;
    for (auto _ : state) {
        FileStamp before = StampOf(SystemHivePath());
        TTransaction scope;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.OpenKey(active, true);
        std::vector<std::string> names;
        reg.GetValueNames(names);
        for (const auto& n : names)
            if (n.rfind("vidc.", 0) == 0) reg.DeleteValue(n);
        char name[32], driver[32];
        for (int i = 0; i < 200; ++i) {
            std::snprintf(name, sizeof name, "vidc.c%03d", i);
            std::snprintf(driver, sizeof driver, "codec%03d.dll", i);
            reg.WriteString(name, driver);
        }
        reg.OpenKey(std::string("\\") + inactive, true);
        reg.GetValueNames(names);
        for (const auto& n : names)
            if (!n.empty() && n[0] == '#') reg.DeleteValue(n);
        for (int i = 1; i <= 1000; ++i) {
            std::snprintf(name, sizeof name, "#%.3d#", i);
            std::string data = "i" + std::to_string(1000 + i).substr(1) + '\0' + "inactive" + std::to_string(i) +
                               ".dll" + '\0' + " " + '\0' + "An inactive codec" + '\0' + "1.0.0." +
                               std::to_string(i) + '\0' + "32" + '\0';
            reg.WriteBinaryData(name, data.data(), int(data.size()));
        }
        scope.Commit();
        if (StampOf(SystemHivePath()).inode != before.inode) ++replacements;
    }
    state.counters["replacements_per_save"] =
        benchmark::Counter(double(replacements), benchmark::Counter::kAvgIterations);
    state.counters["hive_MB"] = double(StampOf(SystemHivePath()).size) / 1e6;
}
BENCHMARK(BM_ScopedSaveOfCodecLists)->Unit(benchmark::kMillisecond);

}  // namespace
