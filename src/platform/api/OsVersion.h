// What the machine says about its operating system, read from its registry
// the way Windows keeps it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tarnel::platform {

inline constexpr uint32_t kVerPlatformWin32s = 0;
inline constexpr uint32_t kVerPlatformWin32Windows = 1;
inline constexpr uint32_t kVerPlatformWin32Nt = 2;

struct OSVERSIONINFOEXA {
    uint32_t dwOSVersionInfoSize;  // 148 (basic) or 156 (extended)
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
    uint16_t wServicePackMajor;
    uint16_t wServicePackMinor;
    uint16_t wSuiteMask;
    uint8_t wProductType;
    uint8_t wReserved;
};
static_assert(sizeof(OSVERSIONINFOEXA) == 156);
inline constexpr uint32_t kOsVersionInfoSize = 148;
inline constexpr uint32_t kOsVersionInfoExSize = 156;

// Fills the record by its dwOSVersionInfoSize. The extended form fails on
// the 95/98/ME family and on NT before 4.0 SP6, as on Windows. False also
// when the machine's registry names no system at all.
bool GetVersionExA(OSVERSIONINFOEXA* info);

// "C:\WINDOWS\system32" (NT family) or "C:\WINDOWS\SYSTEM" (95/98/ME family).
std::string GetSystemDirectoryA();
std::string GetWindowsDirectoryA();  // "C:\WINDOWS"

// The machine's local date and time in its short date and long time
// formats (user's Control Panel\International), time left out at 00:00:00.
std::string FormatLocalDateTimeNow();

// The running program's own file (for its version resource).
void SetProgramFile(const std::string& path);
const std::string& ProgramFile();

}  // namespace tarnel::platform
