// A regular file of this computer mapped for reading, one window at a time,
// for the Linux backends' MapFileA. Errors are worded as the system's file
// calls word them, naming `shown` (the name the caller used) rather than the
// host path.
#pragma once

#include <memory>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel::platform::machine {

std::unique_ptr<TMappedFile> MapHostFile(const std::string& hostPath, const std::string& shown);

}  // namespace tarnel::platform::machine
