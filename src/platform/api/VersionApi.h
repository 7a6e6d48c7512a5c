// The version-resource calls, over real PE32/PE32+ files and over the
// program's own ELF executables (which carry the same block in a section).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnel::platform {

// Size of the buffer GetFileVersionInfoA needs for `file` (resolved as
// ResolveMachineFile does); 0 when the file is missing, unreadable, malformed
// or has no version resource. `handle` (may be null) is set to 0.
uint32_t GetFileVersionInfoSizeA(const std::string& file, uint32_t* handle);

// Fills `data` with the raw VS_VERSIONINFO block, byte for byte as stored in
// the file, followed by the room VerQueryValueA uses for ANSI copies of the
// strings. False when the file has no block or `len` is too small for it.
bool GetFileVersionInfoA(const std::string& file, uint32_t handle, uint32_t len, void* data);

// "\" gives the VS_FIXEDFILEINFO, "\VarFileInfo\Translation" the translation
// array, "\StringFileInfo\<key>\<name>" a string, converted to the ANSI code
// page inside `block`'s spare room (so the block is written to). Path parts
// match without regard to case. False when not found.
bool VerQueryValueA(void* block, const std::string& subBlock, void** buffer, uint32_t* len);

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

}  // namespace tarnel::platform
