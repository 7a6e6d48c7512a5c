// Making machines: the bare layout every machine needs, and the driver
// files of the demo machine a new user starts on.
#pragma once

#include <cstdint>
#include <filesystem>

#include "platform/choice/PlatformChoice.h"

namespace tarnel::platform {

// The time stamp of every key of a newly made machine: the same content
// always gives the same bytes.
inline constexpr int64_t kMachineMadeTime = 1765152000;

// The folder layout with the given family's OS facts in system.reg
// (Windows XP Professional SP3, or Windows 98 SE), an empty user.reg and a
// SYSTEM.INI with an empty [drivers32] section. Creates missing folders;
// refuses (EFileError) to overwrite an existing system.reg.
void CreateBareMachine(const std::filesystem::path& root, MachineFamily family);

// The demo codecs' and filters' driver files, into the family's system folder.
void WriteDemoDriverFiles(const std::filesystem::path& root, MachineFamily family);

}  // namespace tarnel::platform
