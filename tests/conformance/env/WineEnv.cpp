// The conformance suite on the wine backend: the real API of a Wine prefix,
// reached through the bridge as the Linux program reaches it (the bridge of
// the prefix's bitness). The prefix is the test run's ($TARNEL_TEST_PREFIX);
// files reach it as the user's would, copied into its folders.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "conformance/Conformance.h"
#include "conformance/env/WineEnv.h"
#include "platform/api/Backend.h"
#include "platform/api/Ansi.h"
#include "platform/api/OsVersion.h"
#include "platform/api/Profile.h"
#include "platform/api/Registry.h"
#include "platform/api/WinPaths.h"
#include "platform/wine/WineBackend.h"
#include "support/TempMachine.h"

namespace fs = std::filesystem;

namespace tarnel::conformance {

fs::path TestPrefix() {
    const char* p = std::getenv("TARNEL_TEST_PREFIX");
    if (!p || !*p) throw std::runtime_error("TARNEL_TEST_PREFIX names no Wine prefix to test on");
    return p;
}

int TestBridgeBits() {
    // The backend's own choice for the prefix, without starting a bridge.
    static const int bits = [] {
        const platform::wine::TBridgeChoice c =
            platform::wine::ChooseBridge(TestPrefix(), platform::wine::PrefixBits(TestPrefix()),
                                         platform::wine::FindBridges(),
                                         platform::wine::WineRuns32Bit(platform::wine::FindWine()));
        if (!c.Refusal.empty()) throw std::runtime_error(c.Refusal);
        return c.Bits;
    }();
    return bits;
}

fs::path PrefixSystemFolder(const fs::path& prefix, int programBits) {
    if (programBits == 32 && platform::wine::PrefixBits(prefix) == 64) return prefix / "drive_c/windows/syswow64";
    return prefix / "drive_c/windows/system32";
}

fs::path DemoFile(const std::string& name, int bits) {
    return bits == 64 ? fs::path(TARNEL_WIN64_DIR) / "demo/files" / name : fs::path(TARNEL_DEMO_FILES_DIR) / name;
}

fs::path WindowsBuild(int bits) { return bits == 64 ? TARNEL_WIN64_DIR : TARNEL_WIN32_DIR; }

std::unique_ptr<platform::TPlatformBackend> StartBridge(const fs::path& prefix) {
    return std::make_unique<platform::wine::TWineBackend>(prefix);
}

namespace {

constexpr char kBackupKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32.Backup";

std::vector<fs::path> SystemFiles() {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(PrefixSystemFolder(TestPrefix(), TestBridgeBits()), ec))
        files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

namespace {
std::vector<std::string> SectionLines() {
    std::vector<char> buf(65536, 0);
    const uint32_t n = platform::GetPrivateProfileSectionA("drivers32", buf.data(), uint32_t(buf.size()), "system.ini");
    std::vector<std::string> lines;
    for (uint32_t at = 0; at < n && buf[at];) {
        lines.emplace_back(buf.data() + at);
        at += uint32_t(lines.back().size()) + 1;
    }
    return lines;
}
}  // namespace

std::vector<std::string> SystemIniCodecKeys() {
    std::vector<std::string> keys;
    for (const std::string& line : SectionLines())
        if (platform::StartsWithNoCase(line, "vidc.") && line.find('=') != std::string::npos)
            keys.push_back(line.substr(0, line.find('=')));
    return keys;
}

TPrefixSnapshot::TPrefixSnapshot() {
    auto previous = platform::UseBackend(StartBridge(TestPrefix()));
    platform::TRegistry reg;
    reg.SetRootKey(platform::kHkeyLocalMachine);
    std::vector<platform::TRegistry::TValue> values;
    if (reg.OpenKeyReadOnly(platform::kDrivers32KeyPath)) reg.GetValues(values);
    for (const auto& v : values) drivers_.push_back({v.Name, v.Type, v.Data});
    reg.CloseKey();
    for (const std::string& line : SectionLines())
        if (platform::StartsWithNoCase(line, "vidc.") && line.find('=') != std::string::npos)
            iniCodecs_.emplace_back(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
    hadBackup_ = reg.KeyExists(std::string("\\") + kBackupKey);
    hadMachineKey_ = reg.KeyExists("\\SOFTWARE\\Halvorin");
    reg.SetRootKey(platform::kHkeyCurrentUser);
    hadUserKey_ = reg.KeyExists("\\Software\\Halvorin");
    platform::UseBackend(std::move(previous));
    files_ = SystemFiles();
}

TPrefixSnapshot::~TPrefixSnapshot() {
    try {
        auto previous = platform::UseBackend(StartBridge(TestPrefix()));
        {
            platform::TTransaction transaction;
            platform::TRegistry reg;
            reg.SetRootKey(platform::kHkeyLocalMachine);
            if (!hadBackup_) reg.DeleteKey(std::string("\\") + kBackupKey);
            if (!hadMachineKey_) reg.DeleteKey("\\SOFTWARE\\Halvorin");
            if (reg.OpenKey(platform::kDrivers32KeyPath, true)) {
                std::vector<std::string> names;
                reg.GetValueNames(names);
                for (const std::string& n : names) reg.DeleteValue(n);
                for (const Value& v : drivers_)
                    platform::RegSetValueExA(reg.CurrentKey(), v.name.c_str(), v.type,
                                             reinterpret_cast<const uint8_t*>(v.data.data()), uint32_t(v.data.size()));
            }
            reg.CloseKey();
            for (const std::string& key : SystemIniCodecKeys())
                platform::WritePrivateProfileStringA("drivers32", key.c_str(), nullptr, "system.ini");
            for (const auto& [key, driver] : iniCodecs_)
                platform::WritePrivateProfileStringA("drivers32", key.c_str(), driver.c_str(), "system.ini");
            reg.SetRootKey(platform::kHkeyCurrentUser);
            if (!hadUserKey_) reg.DeleteKey("\\Software\\Halvorin");
            transaction.Commit();
        }
        platform::UseBackend(std::move(previous));
        std::error_code ec;
        for (const fs::path& f : SystemFiles())
            if (!std::binary_search(files_.begin(), files_.end(), f)) fs::remove(f, ec);
    } catch (const std::exception& e) {
        ADD_FAILURE() << "putting the prefix back: " << e.what();
    }
}

namespace {

class WineEnv final : public Env {
public:
    TAnswerer Answerer() const override { return TAnswerer::Wine; }
    int ProgramBits() const override { return TestBridgeBits(); }
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

    // The drivers are of the bridge's bitness, which is the only kind its
    // codec manager loads; the test PE files are read as data by either.
    void InstallSystemFile(const std::string& built, const std::string& as) override {
        fs::path from = DemoFile(built, TestBridgeBits());
        if (!fs::exists(from)) from = test::PeFixture(built);
        fs::copy_file(from, PrefixSystemFolder(TestPrefix(), TestBridgeBits()) / as,
                      fs::copy_options::overwrite_existing);
    }
    void RemoveSystemFile(const std::string& name) override {
        std::error_code ec;
        fs::remove(PrefixSystemFolder(TestPrefix(), TestBridgeBits()) / name, ec);
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
