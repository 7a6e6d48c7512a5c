#include "platform/machine/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/machine/Machine.h"

namespace tarnel::platform {

namespace {
[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int err) {
    throw EFileError(what + " '" + file.string() + "': " + std::strerror(err));
}
}  // namespace

void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents) {
    std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    std::string tmpl = (dir / ("." + file.filename().string() + ".XXXXXX")).string();
    int fd = mkstemp(tmpl.data());
    if (fd < 0) Fail("Cannot write", file, errno);
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        Fail("Cannot write", file, err);
    };
    // Keep the permissions of the file being replaced.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    else ::fchmod(fd, 0644);
    const char* p = contents.data();
    size_t left = contents.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            abandon(errno);
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) abandon(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        Fail("Cannot write", file, err);
    }
    if (::rename(tmpl.c_str(), file.c_str()) != 0) {
        int err = errno;
        ::unlink(tmpl.c_str());
        Fail("Cannot replace", file, err);
    }
    // Make the rename itself durable.
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY);
    if (fd < 0) Fail("Cannot open", file, errno);
    std::string out;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            Fail("Cannot read", file, err);
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

FileStamp StampOf(const std::filesystem::path& file) {
    struct stat st {};
    FileStamp s;
    if (::stat(file.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<unsigned long long>(st.st_size);
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

}  // namespace tarnel::platform
