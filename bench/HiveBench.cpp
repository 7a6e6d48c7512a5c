// Hive loading speed, memory and lookups, and the cost of one scoped save of
// both codec lists on top of a big machine hive.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <optional>
#include <cstdlib>
#include <cstring>
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

std::string RealSystemHive() {
    std::ifstream in(fs::path(TARNEL_TEST_DATA_DIR) / "wine/system.reg", std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A real Wine prefix's system.reg, grown with keys of the same make-up
// (many small keys of a few short values each, spread over groups the way
// real classes and settings keys are) until `enough` says so.
template <class Enough>
std::string GrownHive(Enough enough) {
    std::string s = RealSystemHive();
    size_t values = 0;
    for (size_t at = 0; at < s.size();) {
        size_t nl = s.find('\n', at);
        if (s[at] == '"' || s[at] == '@') ++values;
        at = nl == std::string::npos ? s.size() : nl + 1;
    }
    char buf[256];
    for (int k = 0; !enough(values, s.size()); ++k) {
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
}

// About 60 000 values (about 3 MB).
const std::string& BigHiveText() {
    static const std::string text = GrownHive([](size_t values, size_t) { return values >= kTargetValues; });
    return text;
}

// Bytes the heap holds now (glibc's main arena and its mapped blocks).
size_t HeapInUse() {
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// What the whole load cannot beat: a copy of the text and a memchr line split.
void BM_ReadAndSplitLines(benchmark::State& state) {
    const std::string& text = BigHiveText();
    for (auto _ : state) {
        std::string copy = text;
        size_t lines = 0;
        for (const char* p = copy.data(), *end = p + copy.size(); p < end; ++lines) {
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            p = nl ? nl + 1 : end;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_ReadAndSplitLines)->Unit(benchmark::kMillisecond);

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

// The usual save: a few values of one key changed in a big hive.
void BM_SerializeBigHiveAfterAChange(benchmark::State& state) {
    const std::string& text = BigHiveText();
    auto hive = wine::Hive::Parse(text, "system.reg", "REGISTRY\\Machine");
    wine::HiveKey& key = hive->Create({"Software", "Halvorin", "Sample", "Group020", "Item2000"});
    key.SetValue("Name0", kRegDword, {1, 0, 0, 0});
    key.DeleteValue("Name1");
    key.SetValue("Added", kRegDword, {2, 0, 0, 0});
    for (auto _ : state) {
        std::string out = hive->Serialize();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(BM_SerializeBigHiveAfterAChange)->Unit(benchmark::kMillisecond);

// Every value's data decoded once: the work loading no longer does.
void BM_DecodeEveryValue(benchmark::State& state) {
    auto hive = wine::Hive::Parse(BigHiveText(), "system.reg", "REGISTRY\\Machine");
    size_t values = 0;
    for (auto _ : state) {
        values = 0;
        std::vector<wine::HiveKey*> stack{&hive->Root()};
        while (!stack.empty()) {
            wine::HiveKey* k = stack.back();
            stack.pop_back();
            for (size_t i = 0; i < k->ValueCount(); ++i) benchmark::DoNotOptimize(k->ValueAt(i)->Data().size());
            values += k->ValueCount();
            for (size_t i = 0; i < k->ChildCount(); ++i) stack.push_back(k->ChildAt(i));
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(values));
}
BENCHMARK(BM_DecodeEveryValue)->Unit(benchmark::kMillisecond);

// What a big hive costs in memory, the text it keeps included. The size is
// TARNEL_HIVE_BENCH_MB megabytes (32 unless set).
void BM_HiveMemory(benchmark::State& state) {
    const char* env = std::getenv("TARNEL_HIVE_BENCH_MB");
    size_t target = size_t(env ? std::atol(env) : 32) * 1000000;
    static std::string text;
    if (text.size() < target || text.size() > target + 1000)
        text = GrownHive([target](size_t, size_t bytes) { return bytes >= target; });
    size_t held = 0;
    for (auto _ : state) {
        std::string copy = text;
        size_t before = HeapInUse();
        auto hive = wine::Hive::Parse(std::move(copy), "system.reg", "REGISTRY\\Machine");
        held = HeapInUse() - before + text.size();
        benchmark::DoNotOptimize(hive.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
    state.counters["file_MB"] = double(text.size()) / 1e6;
    state.counters["held_MB"] = double(held) / 1e6;
    state.counters["held_per_file_byte"] = double(held) / double(text.size());
}
BENCHMARK(BM_HiveMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// Lookups and enumeration in a key of 20 000 values.
const std::string& WideKeyText() {
    static const std::string text = [] {
        std::string s = "WINE REGISTRY Version 2\n\n[Wide] 0\n";
        for (int i = 0; i < 20000; ++i) s += "\"Value" + std::to_string(i) + "\"=dword:00000001\n";
        return s;
    }();
    return text;
}

void BM_FindValueInWideKey(benchmark::State& state) {
    auto hive = wine::Hive::Parse(WideKeyText(), "system.reg", "REGISTRY\\Machine");
    wine::HiveKey* key = hive->Find({"Wide"});
    std::vector<std::string> names;
    for (int i = 0; i < 20000; i += 7) names.push_back("VALUE" + std::to_string(i));
    size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(key->FindValue(names[at]));
        at = at + 1 == names.size() ? 0 : at + 1;
    }
}
BENCHMARK(BM_FindValueInWideKey);

void BM_EnumerateWideKeyByPosition(benchmark::State& state) {
    auto hive = wine::Hive::Parse(WideKeyText(), "system.reg", "REGISTRY\\Machine");
    wine::HiveKey* key = hive->Find({"Wide"});
    for (int i = 0; i < 20000; i += 5) key->DeleteValue("Value" + std::to_string(i));
    for (auto _ : state)
        for (size_t i = 0; i < key->ValueCount(); ++i) benchmark::DoNotOptimize(key->ValueAt(i));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(key->ValueCount()));
}
BENCHMARK(BM_EnumerateWideKeyByPosition);

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

// 200 value writes on the 3 MB hive: each its own change of the file
// (replacement, flush, lock), or all inside one transaction (one of each).
void Write200(benchmark::State& state, bool oneTransaction) {
    BenchMachine m;
    int round = 0;
    for (auto _ : state) {
        std::optional<TTransaction> scope;
        if (oneTransaction) scope.emplace();
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.OpenKey("SOFTWARE\\Halvorin\\Writes", true);
        for (int i = 0; i < 200; ++i) reg.WriteString("v" + std::to_string(i), std::to_string(round));
        if (scope) scope->Commit();
        ++round;
    }
    state.counters["per_write_ms"] = benchmark::Counter(double(state.iterations()) * 200.0,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
void BM_200WritesOutsideATransaction(benchmark::State& state) { Write200(state, false); }
BENCHMARK(BM_200WritesOutsideATransaction)->Unit(benchmark::kMillisecond)->Iterations(3);
void BM_200WritesInOneTransaction(benchmark::State& state) { Write200(state, true); }
BENCHMARK(BM_200WritesInOneTransaction)->Unit(benchmark::kMillisecond);

}  // namespace
