// What the wine backend's tests share with its conformance environment.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/api/Backend.h"

namespace tarnel::conformance {

// The test run's Wine prefix ($TARNEL_TEST_PREFIX).
std::filesystem::path TestPrefix();
// 32 or 64: the bridge that serves the test run's prefix, and so the
// bitness of the drivers it loads and of the Windows build that sees the
// prefix as it does.
int TestBridgeBits();
// Where the prefix keeps the system folder of a program of that bitness (a
// 32-bit program on a 64-bit prefix: syswow64).
std::filesystem::path PrefixSystemFolder(const std::filesystem::path& prefix, int programBits);
// A demo driver file the build made, of that bitness.
std::filesystem::path DemoFile(const std::string& name, int bits);
// The Windows build of that bitness (build-win32/, build-win64/).
std::filesystem::path WindowsBuild(int bits);
// A wine backend on the prefix, with the bridge that fits it.
std::unique_ptr<platform::TPlatformBackend> StartBridge(const std::filesystem::path& prefix);

// The keys of SYSTEM.INI's [drivers32] codec lines ("vidc.mrle", ...) of
// the backend in use.
std::vector<std::string> SystemIniCodecKeys();

// What a test of the wine backend changes in the run's prefix, which later
// tests share (the driver list, SYSTEM.INI's codec lines, the backup, the
// program's own keys, files of the system folder): taken when made, put back when it ends, so that no
// test finds another's codecs before its own.
class TPrefixSnapshot {
public:
    TPrefixSnapshot();
    ~TPrefixSnapshot();
    TPrefixSnapshot(const TPrefixSnapshot&) = delete;
    TPrefixSnapshot& operator=(const TPrefixSnapshot&) = delete;

private:
    struct Value {
        std::string name;
        uint32_t type;
        std::string data;
    };
    std::vector<Value> drivers_;
    std::vector<std::pair<std::string, std::string>> iniCodecs_;  // SYSTEM.INI's codec lines
    bool hadBackup_ = false, hadMachineKey_ = false, hadUserKey_ = false;
    std::vector<std::filesystem::path> files_;
};

}  // namespace tarnel::conformance
