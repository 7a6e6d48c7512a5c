// The conformance suite on the emulated machine: each test gets a bare
// machine of the NT family in a temporary folder.
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "conformance/Conformance.h"
#include "platform/api/OsVersion.h"
#include "support/TempMachine.h"

namespace fs = std::filesystem;

namespace tarnel::conformance {

namespace {

class MachineEnv final : public Env {
public:
    TAnswerer Answerer() const override { return TAnswerer::Emulation; }
    // The program's own file is the test program, for as long as a test runs.
    void Begin() override {
        machine_.emplace();
        programFile_ = platform::ProgramFile();
        platform::SetProgramFile(fs::read_symlink("/proc/self/exe").string());
    }
    void End() override {
        platform::SetProgramFile(programFile_);
        machine_.reset();
    }

    void InstallSystemFile(const std::string& built, const std::string& as) override {
        fs::path from = fs::path(TARNEL_DEMO_FILES_DIR) / built;
        if (!fs::exists(from)) from = test::PeFixture(built);
        fs::copy_file(from, machine_->System32() / as, fs::copy_options::overwrite_existing);
    }
    void RemoveSystemFile(const std::string& name) override {
        std::error_code ec;
        fs::remove(machine_->System32() / name, ec);
    }
    void WriteWindowsFile(const std::string& name, const std::string& bytes) override {
        machine_->WriteFile(fs::path("drive_c/windows") / name, bytes);
    }
    std::string ReadWindowsFile(const std::string& name) override {
        return machine_->ReadFile(fs::path("drive_c/windows") / name);
    }
    void RemoveWindowsFile(const std::string& name) override {
        std::error_code ec;
        fs::remove(machine_->Root() / "drive_c/windows" / name, ec);
    }

private:
    std::optional<test::TempMachine> machine_;
    std::string programFile_;
};

}  // namespace

std::unique_ptr<Env> MakeEnv() { return std::make_unique<MachineEnv>(); }

}  // namespace tarnel::conformance
