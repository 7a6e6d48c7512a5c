// The emulated Windows machine: a folder in Wine's prefix layout.
// Every other platform module asks this one where the machine's files are.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace tarnel::platform {

// A file of the machine could not be read or written; the message names it.
class EFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

// Maps a Windows path ("C:\WINDOWS\system32\x.dll") to the host file below
// the machine's dosdevices, matching each component without regard to
// ASCII case. Returns the host path even if the file does not exist
// (components not found keep their spelling). nullopt for drives other
// than C: and for relative names.
std::optional<std::filesystem::path> MapWindowsPath(const std::string& windowsPath);

// Finds a file the way the loader of the machine finds a driver or a
// version resource: a Windows path is mapped into the machine; a bare
// name is looked up, case-insensitively, in system32, system and the
// Windows folder; anything else (it holds a '/') is a host path.
// nullopt when no existing regular file answers.
std::optional<std::filesystem::path> ResolveMachineFile(const std::string& name);

// Case-insensitive (ASCII) lookup of `name` inside `dir`.
std::optional<std::filesystem::path> FindFileNoCase(const std::filesystem::path& dir,
                                                    const std::string& name);

}  // namespace tarnel::platform
