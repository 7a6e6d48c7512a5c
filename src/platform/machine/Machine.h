// The emulated Windows machine: a folder in Wine's prefix layout.
// Every other platform module asks this one where the machine's files are.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/api/FileError.h"

namespace tarnel::platform {

// The system error code Windows reports for what an errno value describes
// (ENOENT -> 2, EACCES -> 5, ENOSPC -> 112, ELOOP -> 1921, ...).
uint32_t WinErrorFromErrno(int error);

// Makes the machine in `root` the backend every platform call acts on. The
// folder must exist.
void SelectMachine(const std::filesystem::path& root);

// Drops every store file the machine in use holds in memory, so the next
// access reads the files again.
void ForgetLoadedHives();

// While it lives, every key changed gets this time stamp instead of the
// current time, so that machines made from the same content come out
// byte-identical.
class TRegistryFixedTime {
public:
    explicit TRegistryFixedTime(int64_t unixSeconds);
    ~TRegistryFixedTime();
    TRegistryFixedTime(const TRegistryFixedTime&) = delete;
    TRegistryFixedTime& operator=(const TRegistryFixedTime&) = delete;

private:
    int64_t previous_;
};

// The selected machine's folder; throws EFileError when none was selected.
const std::filesystem::path& MachineRoot();
bool MachineSelected();


std::filesystem::path SystemHivePath();   // system.reg
std::filesystem::path UserHivePath();     // user.reg
std::filesystem::path SystemIniPath();    // drive_c/windows/system.ini
std::filesystem::path WindowsDirPath();   // drive_c/windows

// Maps a Windows path ("C:\WINDOWS\system32\x.dll", or drive-rooted
// "\WINDOWS\system32\x.dll", which is on drive C:) to the host file below the
// machine's drive_c, matching each component without regard to ASCII case.
// '/' separates components as '\' does; "." is skipped and ".." never climbs
// above the drive's root, as Windows normalizes paths. Returns the host path
// even if the file does not exist (components not found keep their
// spelling). nullopt for drives other than C:, for drive-relative ("C:x"),
// UNC and relative names.
std::optional<std::filesystem::path> MapWindowsPath(const std::string& windowsPath);

// Where a name leads in the machine: the host file, or the system error code
// Windows reports for the name: kErrorFileNotFound, kErrorPathNotFound (a
// folder on the way is missing, another drive, a relative path),
// kErrorAccessDenied (a folder or another non-file), kErrorCantResolveFilename
// (a symbolic link that loops).
struct MachineFileLookup {
    std::optional<std::filesystem::path> file;
    uint32_t error = 0;
};

// Finds a file the way the loader of the machine finds a driver or a
// version resource: a bare name is looked up, case-insensitively, in
// system32, system and the Windows folder; a Windows path (with '\' or '/')
// is mapped by MapWindowsPath. Nothing leads outside the machine folder: a
// file reached through a symbolic link whose target lies outside is not
// found, nor is a host path.
MachineFileLookup LookUpMachineFile(const std::string& name);
// The file LookUpMachineFile finds; nullopt when no regular file answers.
std::optional<std::filesystem::path> ResolveMachineFile(const std::string& name);

// True when `hostPath` exists and, all links followed, lies outside the
// selected machine's folder.
bool LeadsOutsideMachine(const std::filesystem::path& hostPath);

// Case-insensitive (ASCII) lookup of `name` inside `dir`. A link is found by
// its own name, whether or not its target exists.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& dir,
                                                    const std::string& name);

}  // namespace tarnel::platform
