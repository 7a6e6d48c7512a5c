// Making machines: the bare layout every machine needs, and the demo machine
// a new user starts on.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tarnel::platform {

enum class MachineFamily { NT, Win9x };

// The time stamp of every key of a newly made machine: the same content
// always gives the same bytes.
inline constexpr int64_t kMachineMadeTime = 1765152000;

// The folder layout with the given family's OS facts in system.reg
// (Windows XP Professional SP3, or Windows 98 SE), an empty user.reg and a
// SYSTEM.INI with an empty [drivers32] section. Creates missing folders;
// refuses (EFileError) to overwrite an existing system.reg.
void CreateBareMachine(const std::filesystem::path& root, MachineFamily family);

// A bare machine filled with the demo codecs, their driver files, inactive
// entries and DirectShow filter registrations. Refuses an existing machine.
void CreateDemoMachine(const std::filesystem::path& root, MachineFamily family);

}  // namespace tarnel::platform
