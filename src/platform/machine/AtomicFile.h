// Every write of a machine file replaces it whole: temporary file in the same
// folder, flushed, then renamed over the old one. A reader never sees half a file.
// Reads take regular files only, and never more than a caller's bound.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarnel::platform {

// Largest store file (hive, SYSTEM.INI) read whole. Real ones are a few
// megabytes; anything near this is not a store file.
inline constexpr uint64_t kMaxStoreFileBytes = 1ull << 30;

// Throws EFileError naming the file when any step fails; the old file is then
// untouched. A file without any write permission is refused, as Windows
// refuses to write a read-only file, and so is a link (it is never replaced
// by a file). The new file keeps the owner, group and mode of the one it
// replaces; a new file belongs to the owner of its folder. The temporary file is named
// ".<name>.<pid>.XXXXXX"; temporaries of the same file left by processes that
// no longer run are removed first.
void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents);

// Removes the temporaries of `file` that processes no longer running left.
void RemoveStaleTemporariesOf(const std::filesystem::path& file);

// True for an entry named "<prefix><pid>.XXXXXX" whose process no longer runs:
// what a writer that died left behind. The current process counts as running.
bool LeftByEndedProcess(std::string_view entry, std::string_view prefix);

// Throws EFileError naming the file when it cannot be read, is not a regular
// file (a folder, FIFO or device is never read), or is larger than `limit`.
std::string ReadWholeFile(const std::filesystem::path& file, uint64_t limit = kMaxStoreFileBytes);
// The same without following a link in the file's own place (a link is an
// error naming it).
std::string ReadWholeFileNoFollow(const std::filesystem::path& file, uint64_t limit = kMaxStoreFileBytes);
// The same as ReadWholeFile, but nullopt when the file does not exist.
std::optional<std::string> ReadWholeFileIfExists(const std::filesystem::path& file,
                                                 uint64_t limit = kMaxStoreFileBytes);

// A regular file opened for reading at chosen offsets, so that a large file
// costs only what is read of it. Throws EFileError like ReadWholeFile.
class RegularFile {
public:
    explicit RegularFile(const std::filesystem::path& file);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    uint64_t Size() const { return size_; }
    const std::filesystem::path& Path() const { return path_; }
    // Exactly `len` bytes at `offset`; nullopt when the file holds fewer.
    // Throws EFileError when the system fails the read.
    std::optional<std::string> ReadAt(uint64_t offset, uint64_t len) const;

private:
    std::filesystem::path path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Identity of a file's current contents as seen by stat: changes whenever
// another process replaces or rewrites it. A file that does not exist has
// exists == false; any other failure (a link loop, a folder that cannot be
// searched) throws EFileError, since such a file is not simply missing.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const std::filesystem::path& file);

}  // namespace tarnel::platform
