// Plain reading of a file of the machine, named as Windows names it.
#pragma once

#include <memory>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel::platform {

// The file mapped for reading; see TPlatformBackend::MapFileA.
std::unique_ptr<TMappedFile> MapFileA(const std::string& path);

// See TPlatformBackend::CheckDriverFile.
TDriverFileCheck CheckDriverFile(const std::string& driver);

}  // namespace tarnel::platform
