// What the wine backend's tests share with its conformance environment.
#pragma once

#include <filesystem>
#include <memory>

#include "platform/api/Backend.h"

namespace tarnel::conformance {

// The test run's Wine prefix ($TARNEL_TEST_PREFIX).
std::filesystem::path TestPrefix();
// Where the prefix keeps the files of a 32-bit program's system folder.
std::filesystem::path PrefixSystemFolder(const std::filesystem::path& prefix);
// A wine backend on the prefix, with the build's bridge.
std::unique_ptr<platform::TPlatformBackend> StartBridge(const std::filesystem::path& prefix);

}  // namespace tarnel::conformance
