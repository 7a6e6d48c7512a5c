#include "support/TempMachine.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "demo/DemoMachine.h"
#include "platform/machine/Machine.h"
#include "platform/api/Registry.h"

namespace fs = std::filesystem;

namespace tarnel::test {

namespace {
fs::path MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "tarnel-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}
}  // namespace

TempMachine::TempMachine(platform::TMachineFamily family, bool demo) : root_(MakeTempDir()) {
    if (demo)
        tarnel::CreateDemoMachine(root_, family);
    else
        platform::CreateBareMachine(root_, family);
    platform::SelectMachine(root_);
}

TempMachine::~TempMachine() {
    platform::ForgetLoadedHives();
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path TempMachine::System32() const { return root_ / "drive_c/windows/system32"; }

void TempMachine::WriteFile(const fs::path& relative, const std::string& contents) const {
    fs::path p = root_ / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << contents;
}

std::string TempMachine::ReadFile(const fs::path& relative) const {
    std::ifstream in(root_ / relative, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TempDir::TempDir() : path_(MakeTempDir()) {}
TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path PeFixture(const std::string& name) { return fs::path(TARNEL_PE_FIXTURE_DIR) / name; }
fs::path TestData(const std::string& name) { return fs::path(TARNEL_TEST_DATA_DIR) / name; }

}  // namespace tarnel::test
