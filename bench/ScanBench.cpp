// The FOURCC scan's walk over a driver file in the page cache, beside a plain
// memchr pass over the same bytes, and a driver file whose 1000 distinct
// candidates are all probed and found.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "core/catalogue/CodecLists.h"
#include "demo/DemoMachine.h"
#include "core/scan/FourccScan.h"
#include "core/shell/uConst.h"
#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"

namespace fs = std::filesystem;
using namespace tarnel;
using namespace tarnel::platform;

namespace {

constexpr size_t kMB = 1u << 20;

// A machine of its own, with the file `scanme.dll` registered as vidc.scan.
class ScanMachine {
public:
    explicit ScanMachine(const std::string& contents) {
        std::string pattern = (fs::temp_directory_path() / "tarnel-scan-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        tarnel::CreateDemoMachine(root_, TMachineFamily::NT);
        SelectMachine(root_);
        std::ofstream(root_ / "drive_c/windows/system32/scanme.dll", std::ios::binary) << contents;
        TRegistry reg;
        reg.SetRootKey(kHkeyLocalMachine);
        reg.OpenKey(cDrivers32Key, true);
        reg.WriteString("vidc.scan", "scanme.dll");
    }
    ~ScanMachine() {
        ForgetLoadedHives();
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& Root() const { return root_; }

private:
    fs::path root_;
};

// Counts what the scan shows; a display would repaint some of it.
struct Counting : TScanProgress {
    uint64_t steps = 0;
    void Start(uint64_t) override {}
    void Advance(uint64_t, int) override { ++steps; }
    void End() override {}
};

// `size` bytes of filler with a marker every `spacing` bytes, each followed
// by bytes that cannot start a FOURCC.
std::string MarkedFile(size_t size, size_t spacing) {
    std::string s(size, 'x');
    for (size_t at = spacing - 1; at + 5 < size; at += spacing) std::memcpy(&s[at], "=0000", 5);
    return s;
}

void Walk(benchmark::State& state, size_t spacing) {
    const std::string contents = MarkedFile(100 * kMB, spacing);
    ScanMachine m(contents);
    TPreferences prefs;
    prefs.CodecStoreMode = 3;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.LoadActiveList();
    const size_t row = catalogue.CodecList.FindCaption("scan").value_or(0);
    Counting progress;
    for (auto _ : state) {
        TScanOutcome o = ScanCodec(catalogue, row, &progress);
        if (o.Kind != TScanOutcome::NothingFound) state.SkipWithError("the walk found something");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(contents.size()));
    state.counters["markers"] = double(progress.steps) / double(state.iterations());
}

void BM_ScanWalkMarkerEvery64K(benchmark::State& state) { Walk(state, 64 * 1024); }
BENCHMARK(BM_ScanWalkMarkerEvery64K)->Unit(benchmark::kMillisecond);

void BM_ScanWalkMarkerEvery64Bytes(benchmark::State& state) { Walk(state, 64); }
BENCHMARK(BM_ScanWalkMarkerEvery64Bytes)->Unit(benchmark::kMillisecond);

// The floor: memchr over the same bytes, finding every marker.
void BM_PlainMemchrPass(benchmark::State& state) {
    const std::string contents = MarkedFile(100 * kMB, size_t(state.range(0)));
    for (auto _ : state) {
        size_t found = 0;
        for (const char* p = contents.data(), *end = p + contents.size();;) {
            p = static_cast<const char*>(std::memchr(p, '=', size_t(end - p)));
            if (!p) break;
            ++found;
            ++p;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(contents.size()));
}
BENCHMARK(BM_PlainMemchrPass)->Arg(64 * 1024)->Arg(64)->Unit(benchmark::kMillisecond);

// A driver that answers every FOURCC, with 1000 distinct candidates after
// its image: each one is probed and found.
void BM_ScanThousandValidCandidates(benchmark::State& state) {
    std::string contents = ReadWholeFile(fs::path(TARNEL_PE_FIXTURE_DIR) / "version32.dll");
    char candidate[8];
    for (int i = 0; i < 1000; ++i) {
        std::snprintf(candidate, sizeof candidate, "=q%03d", i);
        contents += candidate;
    }
    ScanMachine m(contents);
    TPreferences prefs;
    prefs.CodecStoreMode = 3;
    TLog log;
    TCodecCatalogue catalogue(prefs, log);
    catalogue.LoadActiveList();
    catalogue.LoadInactiveCodecList();
    const size_t row = catalogue.CodecList.FindCaption("scan").value_or(0);
    size_t found = 0;
    for (auto _ : state) found = ScanCodec(catalogue, row, nullptr).Found.size();
    if (found < 1000) state.SkipWithError("not every candidate was found");
    state.counters["found"] = double(found);
}
BENCHMARK(BM_ScanThousandValidCandidates)->Unit(benchmark::kMillisecond);

}  // namespace
