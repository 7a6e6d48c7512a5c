#include "platform/machine/HostMapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>


namespace tarnel::platform::machine {

namespace {
class MappedHostFile final : public TMappedFile {
public:
    MappedHostFile(void* data, uint64_t size) : data_(data), size_(size) {}
    ~MappedHostFile() override {
        if (data_) ::munmap(data_, size_);
    }
    const unsigned char* Data() const override { return static_cast<const unsigned char*>(data_); }
    uint64_t Size() const override { return size_; }

private:
    void* data_;
    uint64_t size_;
};
}  // namespace

std::unique_ptr<TMappedFile> MapHostFile(const std::string& hostPath, const std::string& shown) {
    // Non-blocking, so that a FIFO in a file's place cannot hang the open.
    int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw EPlatformError("Cannot open file " + shown + ". " + std::strerror(errno) + ".");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EPlatformError("Cannot open file " + shown + ". Access is denied.");
    }
    void* data = nullptr;
    const uint64_t size = uint64_t(st.st_size);
    if (size > 0) {
        data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) {
            int err = errno;
            ::close(fd);
            throw EPlatformError("Cannot read file " + shown + ". " + std::strerror(err) + ".");
        }
    }
    ::close(fd);
    return std::make_unique<MappedHostFile>(data, size);
}

}  // namespace tarnel::platform::machine
