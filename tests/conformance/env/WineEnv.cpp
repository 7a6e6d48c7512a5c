// The conformance suite on the wine backend: the real API of a Wine prefix,
// reached through the bridge as the Linux program reaches it. The prefix is
// the test run's ($TARNEL_TEST_PREFIX); files reach it as the user's would,
// copied into its folders.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "conformance/Conformance.h"
#include "conformance/env/WineEnv.h"
#include "platform/api/Backend.h"
#include "platform/api/OsVersion.h"
#include "platform/wine/WineBackend.h"
#include "support/TempMachine.h"

namespace fs = std::filesystem;

namespace tarnel::conformance {

fs::path TestPrefix() {
    const char* p = std::getenv("TARNEL_TEST_PREFIX");
    if (!p || !*p) throw std::runtime_error("TARNEL_TEST_PREFIX names no Wine prefix to test on");
    return p;
}

// The folder a 32-bit program's system folder is: a 64-bit prefix keeps
// the 32-bit drivers in syswow64.
fs::path PrefixSystemFolder(const fs::path& prefix) {
    std::ifstream in(prefix / "system.reg");
    std::string line;
    for (int i = 0; i < 8 && std::getline(in, line); ++i)
        if (line.rfind("#arch=win64", 0) == 0) return prefix / "drive_c/windows/syswow64";
    return prefix / "drive_c/windows/system32";
}

std::unique_ptr<platform::TPlatformBackend> StartBridge(const fs::path& prefix) {
    return std::make_unique<platform::wine::TWineBackend>(prefix, TARNEL_WIN32_BRIDGE, platform::wine::FindWine());
}

namespace {

class WineEnv final : public Env {
public:
    TAnswerer Answerer() const override { return TAnswerer::Wine; }
    // One bridge serves the whole run: it is the backend in use during each
    // test and set aside between them.
    void Begin() override {
        if (!bridge_) bridge_ = StartBridge(TestPrefix());
        bridge_ = platform::UseBackend(std::move(bridge_));
        programFile_ = platform::ProgramFile();
        platform::SetProgramFile(fs::read_symlink("/proc/self/exe").string());
    }
    void End() override {
        platform::SetProgramFile(programFile_);
        bridge_ = platform::UseBackend(std::move(bridge_));
    }

    void InstallSystemFile(const std::string& built, const std::string& as) override {
        fs::path from = fs::path(TARNEL_DEMO_FILES_DIR) / built;
        if (!fs::exists(from)) from = test::PeFixture(built);
        fs::copy_file(from, PrefixSystemFolder(TestPrefix()) / as, fs::copy_options::overwrite_existing);
    }
    void RemoveSystemFile(const std::string& name) override {
        std::error_code ec;
        fs::remove(PrefixSystemFolder(TestPrefix()) / name, ec);
    }
    void WriteWindowsFile(const std::string& name, const std::string& bytes) override {
        std::ofstream out(TestPrefix() / "drive_c/windows" / name, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string ReadWindowsFile(const std::string& name) override {
        std::ifstream in(TestPrefix() / "drive_c/windows" / name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    void RemoveWindowsFile(const std::string& name) override {
        std::error_code ec;
        fs::remove(TestPrefix() / "drive_c/windows" / name, ec);
    }

private:
    std::unique_ptr<platform::TPlatformBackend> bridge_;
    std::string programFile_;
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::make_unique<WineEnv>(); }

}  // namespace tarnel::conformance
