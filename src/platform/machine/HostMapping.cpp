#include "platform/machine/HostMapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarnel::platform::machine {

namespace {
// The file stays open; one window of it is mapped at a time, so that memory
// follows the window, not the file.
class MappedHostFile final : public TMappedFile {
public:
    MappedHostFile(int fd, uint64_t size, std::string shown) : fd_(fd), size_(size), shown_(std::move(shown)) {}
    ~MappedHostFile() override {
        Unmap();
        ::close(fd_);
    }
    uint64_t Size() const override { return size_; }
    const unsigned char* View(uint64_t offset, size_t length) override {
        if (length == 0) return nullptr;
        if (offset > size_ || length > size_ - offset)
            throw EPlatformError("Cannot read file " + shown_ + ". The range asked for lies beyond its end.");
        // A view that holds the range already serves again.
        if (view_ && offset >= viewOffset_ && offset - viewOffset_ + length <= viewLength_)
            return static_cast<const unsigned char*>(view_) + (offset - viewOffset_);
        Unmap();
        static const uint64_t page = uint64_t(::sysconf(_SC_PAGESIZE));
        const uint64_t start = offset - offset % page;
        const size_t span = size_t(offset - start) + length;
        // Mapped in one go: a view is read through at once, and faulting its
        // pages in one by one costs as much again as reading them.
        void* view = ::mmap(nullptr, span, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd_, off_t(start));
        if (view == MAP_FAILED)
            throw EPlatformError("Cannot read file " + shown_ + ". " + std::strerror(errno) + ".");
        view_ = view;
        viewOffset_ = start;
        viewLength_ = span;
        return static_cast<const unsigned char*>(view_) + (offset - start);
    }

private:
    void Unmap() {
        if (view_) ::munmap(view_, viewLength_);
        view_ = nullptr;
    }

    int fd_;
    uint64_t size_;
    std::string shown_;
    void* view_ = nullptr;
    uint64_t viewOffset_ = 0;
    size_t viewLength_ = 0;
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
    return std::make_unique<MappedHostFile>(fd, uint64_t(st.st_size), shown);
}

}  // namespace tarnel::platform::machine
