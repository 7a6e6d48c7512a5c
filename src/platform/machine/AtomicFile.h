// Every write of a machine file replaces it whole: temporary file in the same
// folder, flushed, then renamed over the old one. A reader never sees half a file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarnel::platform {

// Throws EFileError naming the file when any step fails; the old file is then untouched.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

// Throws EFileError naming the file when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& file);

// Identity of a file's current contents as seen by stat: changes whenever
// another process replaces or rewrites it.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::filesystem::path& file);

}  // namespace tarnel::platform
