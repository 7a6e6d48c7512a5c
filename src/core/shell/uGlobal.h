// Services of the main window that every window uses: identifying the
// operating system, the NT system folder and the progress percentage.
#pragma once

#include <cstdint>
#include <string>

#include "platform/api/Backend.h"

namespace tarnel {

struct TWinVersionInfo {
    std::string Description;        // OS name followed directly by the edition
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t BuildNumber = 0;       // as reported, unmasked
    uint32_t PlatformId = 0;        // 0 Win32s, 1 the 95/98/ME family, 2 the NT family
    std::string CSDVersion;         // service-pack text up to its first zero
    uint32_t ServicePackMajor = 0;  // the last four only from the extended query
    uint32_t ServicePackMinor = 0;
    uint32_t SuiteMask = 0;
    uint32_t ProductType = 0;       // 1 workstation, 2 domain controller, 3 server
};

// Fills `info` and returns true when the system answered the extended or the
// basic version query; false (record untouched) when neither answered.
bool GetWinVersionInfo(TWinVersionInfo& info);

// What opening a machine decides of it, once: its system as the version
// query describes it, and from that the family and CodecStoreMode. Every
// reader asks these; nothing maps the platform number again.
struct TMachineFacts {
    TWinVersionInfo Os;  // PlatformId 0 when the query failed
    platform::TMachineFamily Family = platform::TMachineFamily::Unsupported;
    int32_t CodecStoreMode = 0;  // 1 for the 95/98/ME family, 3 for the NT family, 0 unsupported
    bool Supported() const { return Family != platform::TMachineFamily::Unsupported; }
};
TMachineFacts IdentifyMachine();

// CodecStoreMode of a family: 1 (profile file), 3 (registry) or 0.
int32_t CodecStoreModeOf(platform::TMachineFamily family);

// The NT family's system folder ("SystemRoot" of the NT CurrentVersion key),
// empty when the key or the value is missing.
std::string ReadSystemRoot();

// done * 100 / total, truncated toward zero; 0 for a total of 0.
int CalcPercentage(int done, int total);

}  // namespace tarnel
