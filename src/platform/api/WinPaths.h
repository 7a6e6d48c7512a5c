// Where Windows keeps what the program reads and writes: registry key paths
// and profile names that belong to the system, not to the program. Both the
// program and the emulated machine take them from here.
#pragma once

namespace tarnel::platform {

inline constexpr char kNtCurrentVersionKeyPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
inline constexpr char k9xCurrentVersionKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kDrivers32KeyPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";
inline constexpr char kDriversKeyPath[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers";
inline constexpr char kProductOptionsKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
inline constexpr char kControlWindowsKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Windows";
inline constexpr char kInternationalKeyPath[] = "Control Panel\\International";
inline constexpr char kSystemIniName[] = "SYSTEM.INI";
inline constexpr char kDrivers32SectionName[] = "Drivers32";
// The DirectShow filter category, under the classes root.
inline constexpr char kFilterCategoryClsid[] = "{083863F1-70DE-11d0-BD40-00A0C911CE86}";

}  // namespace tarnel::platform
