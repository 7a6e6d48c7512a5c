// What the wine backend's tests share with its conformance environment.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

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

}  // namespace tarnel::conformance
