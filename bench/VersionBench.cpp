// Reading the FileVersion of many driver files, as loading a long codec list
// does: size, block, one string query per file, files in the page cache.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/machine/AtomicFile.h"
#include "platform/machine/Machine.h"
#include "platform/api/VersionApi.h"

namespace fs = std::filesystem;
using namespace tarnel::platform;

namespace {

constexpr int kDrivers = 1000;

// A machine folder whose system32 holds kDrivers copies of a fixture driver.
class DriverFolder {
public:
    DriverFolder() {
        std::string pattern = (fs::temp_directory_path() / "tarnel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        const fs::path system32 = root_ / "drive_c/windows/system32";
        fs::create_directories(system32);
        const std::string image = ReadWholeFile(fs::path(TARNEL_PE_FIXTURE_DIR) / "version32.dll");
        for (int i = 0; i < kDrivers; ++i) {
            names_.push_back("drv" + std::to_string(i) + ".dll");
            WriteFileAtomically(system32 / names_.back(), image);
        }
        SelectMachine(root_);
    }
    ~DriverFolder() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const std::vector<std::string>& Names() const { return names_; }

private:
    fs::path root_;
    std::vector<std::string> names_;
};

void BM_FileVersionOfDrivers(benchmark::State& state) {
    DriverFolder folder;
    size_t found = 0;
    for (auto _ : state) {
        for (const std::string& name : folder.Names()) {
            uint32_t handle = 0;
            const uint32_t size = GetFileVersionInfoSizeA(name, &handle);
            if (size == 0) continue;
            std::vector<char> block(size);
            if (!GetFileVersionInfoA(name, handle, size, block.data())) continue;
            void* text = nullptr;
            uint32_t len = 0;
            if (VerQueryValueA(block.data(), "\\StringFileInfo\\040904E4\\FileVersion", &text, &len)) ++found;
            benchmark::DoNotOptimize(text);
        }
    }
    if (found != state.iterations() * folder.Names().size())
        state.SkipWithError("some driver files gave no FileVersion");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kDrivers);
}
BENCHMARK(BM_FileVersionOfDrivers)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
