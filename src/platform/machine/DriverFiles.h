// What the machine learns of its files while one transaction runs: names
// looked up, folder listings, and each driver file's facts (is it a driver,
// its self-description, its version block). A load of thousands of codecs
// then finds and reads each driver file once, not once per call that needs
// it. Outside a transaction nothing is remembered: every call sees the disk
// as it is then.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/machine/Machine.h"
#include "platform/machine/PeImage.h"

namespace tarnel::platform::machine {

struct DriverFile {
    VersionBlockRead version;                // the version block, or why there is none
    bool image = false;                      // a PE image that could be read
    bool driverProc = false;                 // it exports the driver procedure
    std::optional<std::string> codecInfo;    // its CODECINFO text, when it has one
};

struct TransactionCache {
    uint64_t serial = 0;
    std::unordered_map<std::string, MachineFileLookup> lookups;     // by the name asked for
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> folders;  // lower-case name -> name
    std::unordered_map<std::string, DriverFile> drivers;           // by host path
    std::unordered_map<std::string, bool> folderInside;           // host folder -> inside the machine
    std::unordered_map<std::string, bool> leadsOutside;           // host path -> a link leads out of the machine
    std::optional<std::filesystem::path> realRoot;
};

// The cache of the transaction that runs now; null outside one (or when no
// machine is in use).
TransactionCache* ActiveCache();

// The facts of a file found by LookUpMachineFile (or the program's own).
DriverFile ReadDriverFile(const std::filesystem::path& path);
const DriverFile& DriverFileFacts(const std::filesystem::path& path, DriverFile& scratch);

}  // namespace tarnel::platform::machine
