// Making machines: the bare layout every machine needs, with the OS facts
// of its family. What a demo machine holds besides is the demo's (demo/).
#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/api/Backend.h"

namespace tarnel::platform {

// The time stamp of every key of a newly made machine: the same content
// always gives the same bytes.
inline constexpr int64_t kMachineMadeTime = 1765152000;

// The folder layout with the given family's OS facts in system.reg
// (Windows XP Professional SP3, or Windows 98 SE), an empty user.reg and a
// SYSTEM.INI with an empty [drivers32] section. Creates missing folders;
// refuses (EFileError) to overwrite an existing system.reg, and a family
// the program does not support.
void CreateBareMachine(const std::filesystem::path& root, TMachineFamily family);

}  // namespace tarnel::platform
