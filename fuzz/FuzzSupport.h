// Shared by the fuzz targets: a machine of their own on a memory-backed
// folder, made once per process and removed when it ends, plain writes of
// its files, and a reader of the fuzzer's bytes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "demo/DemoMachine.h"
#include "platform/choice/PlatformChoice.h"
#include "platform/machine/Machine.h"

namespace tarnel::fuzz {

namespace detail {
inline std::filesystem::path& Folder() {
    static std::filesystem::path folder;
    return folder;
}
inline void RemoveFolder() {
    std::error_code ec;
    if (!Folder().empty()) std::filesystem::remove_all(Folder(), ec);
}
}  // namespace detail

// A bare machine made once, selected for every call; with `driverFiles`,
// the demo drivers lie in its system folder (its registry stays small, so
// that reading it again costs little).
inline const std::filesystem::path& Machine(bool driverFiles = false) {
    static const std::filesystem::path root = [driverFiles] {
        const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/tarnel-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        detail::Folder() = pattern;
        std::atexit(detail::RemoveFolder);
        std::filesystem::path p(pattern);
        platform::CreateMachineFolder(p / "m", platform::TMachineFamily::NT);
        if (driverFiles) demo::WriteDemoDriverFiles(p / "m", platform::TMachineFamily::NT);
        return p / "m";
    }();
    if (!platform::MachineSelected() || platform::MachineRoot() != root) platform::SelectMachine(root);
    return root;
}

// Puts the bytes into the file in place: no temporary, no flush. The store
// cannot tell two such writes apart by their time stamps, so callers drop
// what the machine holds in memory afterwards (ForgetLoadedHives).
inline void PutFile(const std::filesystem::path& file, std::string_view bytes) {
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n <= 0) std::abort();
        bytes.remove_prefix(size_t(n));
    }
    ::close(fd);
}

// Takes the fuzzer's bytes piece by piece.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t Number(uint32_t max) {
        uint32_t v = uint32_t(Byte()) | uint32_t(Byte()) << 8 | uint32_t(Byte()) << 16;
        return max ? v % (max + 1) : 0;
    }
    // A text up to `max` bytes, ended at a zero byte of the input.
    std::string Text(size_t max) {
        std::string s;
        while (at_ < size_ && s.size() < max) {
            char c = char(data_[at_++]);
            if (c == 0) break;
            s += c;
        }
        return s;
    }
    std::string_view Rest() {
        std::string_view r(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return r;
    }
    bool Empty() const { return at_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace tarnel::fuzz
