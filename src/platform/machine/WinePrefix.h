// What a machine folder says of Wine: whether Wine has run on it (it is a
// Wine prefix) and whether it is a 64-bit one, which has two views (32-bit
// programs see the Wow6432Node keys and syswow64, 64-bit ones the native
// keys and system32). Both backends decide from these alone.
#pragma once

#include <filesystem>

namespace tarnel::platform::machine {

// True when Wine has run on the folder (it holds Wine's dosdevices and a
// system.reg).
bool IsWinePrefixFolder(const std::filesystem::path& folder);
// 64 for a 64-bit prefix (its system.reg says "#arch=win64", or, older than
// that note, its Windows folder has syswow64), else 32.
int WinePrefixBits(const std::filesystem::path& prefix);

}  // namespace tarnel::platform::machine
