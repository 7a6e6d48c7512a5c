// The version-resource calls, over real PE32/PE32+ files and over the
// program's own ELF executables (which carry the same block in a section).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tarnel::platform {

// Files are named as the machine's loader finds them (LookUpMachineFile: a
// bare name in the system folders, a Windows path on drive C:). A host file
// outside the machine is read only when it is the program's own file
// (ProgramFile()) or was admitted with AdmitHostFile; a host path into the
// machine's own folder names that file. Each call sets the last error:
// 0 on success, else the file's own error (kErrorFileNotFound,
// kErrorPathNotFound, kErrorAccessDenied for a folder or a device,
// kErrorCantResolveFilename for a link loop), kErrorBadPathname for an empty
// name, kErrorResourceDataNotFound for a file without a version resource of
// id 1 (or not an image at all).

// Lets the version calls read this host file by its host path (the files a
// user names on the command line, for instance).
void AdmitHostFile(const std::filesystem::path& file);

// Size of the buffer GetFileVersionInfoA needs for `file`; 0 when the file
// is missing, unreadable, malformed or has no version resource. `handle`
// (may be null) is set to 0.
uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle);

// Fills `data` with the raw VS_VERSIONINFO block, byte for byte as stored in
// the file, followed (when `len` leaves room) by the marker and the room
// VerQueryValueA uses for ANSI copies of the strings. False when the file has
// no block or `len` is too small for it.
bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data);

// "\" gives the VS_FIXEDFILEINFO, "\VarFileInfo\Translation" the translation
// array, "\StringFileInfo\<key>\<name>" a string, converted to the ANSI code
// page inside `block`'s spare room (so the block is written to). Path parts
// match without regard to case. False when not found. Nothing outside the
// buffer GetFileVersionInfoA filled is read or written: it knows the size of
// each buffer it filled; any other buffer is taken to hold the block alone.
// Where there is no room for an ANSI copy the string comes back as stored,
// in UTF-16, with its length in characters.
bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len);
// The same for a buffer of `size` bytes whose size the caller knows.
bool VerQueryValueA(void* block, uint32_t size, const std::string& subBlock, void** buffer, uint32_t* len);

// The fields of a VERSIONINFO resource, for building one.
struct VersionResourceSpec {
    uint16_t fileVersion[4] = {0, 0, 0, 0};
    uint16_t productVersion[4] = {0, 0, 0, 0};
    // One string table per entry: key (8 hex digits, e.g. "040904E4") and
    // its (name, value) pairs in order.
    struct Table {
        std::string key;
        std::vector<std::pair<std::string, std::string>> strings;
    };
    std::vector<Table> tables;
    // Translation entries (language, code page); empty means none.
    std::vector<std::pair<uint16_t, uint16_t>> translations;
};

// Builds a 32-bit (UTF-16) VS_VERSIONINFO block exactly as the resource
// compiler lays it out. Used for the program's own version and by tests.
std::string BuildVersionResource(const VersionResourceSpec& layout);

// The fields of the program's own version resource for version a.b.c.d: the
// Linux programs carry the block built from them, and cmake/version.rc.in
// says the same to the Windows resource compiler.
VersionResourceSpec ProgramVersionSpec(const uint16_t version[4]);

}  // namespace tarnel::platform
