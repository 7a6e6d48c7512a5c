#include "platform/machine/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/machine/Machine.h"

namespace tarnel::platform {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int err) {
    throw EFileError(file, what, err);
}

std::string Mib(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

// Opens without blocking (a FIFO must not hang the caller) and keeps only
// regular files. Returns -1 with errno ENOENT or ENOTDIR when `missingIsOk`
// and the file is not there.
int OpenRegular(const std::filesystem::path& file, struct stat& st, bool missingIsOk, bool noFollow = false) {
    int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
    if (fd < 0) {
        int err = errno;
        if (missingIsOk && (err == ENOENT || err == ENOTDIR)) return -1;
        if (noFollow && err == ELOOP) throw EFileError(file, "Cannot read", "it is a link, which is not followed", err);
        Fail("Cannot open", file, err);
    }
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        ::close(fd);
        Fail("Cannot read", file, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EFileError(file, "Cannot read", S_ISDIR(st.st_mode) ? "it is a folder" : "not a regular file",
                         S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    return fd;
}

std::string ReadOpened(int fd, const std::filesystem::path& file, const struct stat& st, uint64_t limit) {
    auto tooLarge = [&] {
        ::close(fd);
        throw EFileError(file, "Cannot read",
                         std::strerror(EFBIG) + std::string(" (more than ") + Mib(limit) + ")", EFBIG);
    };
    if (static_cast<uint64_t>(st.st_size) > limit) tooLarge();
    std::string out;
    out.reserve(static_cast<size_t>(st.st_size));
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
        // The file may grow while it is read.
        if (out.size() + static_cast<size_t>(n) > limit) tooLarge();
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

// ".<name>.<pid>.XXXXXX": the pid of the writer, or nullopt for other names.
std::optional<pid_t> TemporaryOwner(std::string_view entry, std::string_view prefix) {
    if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    std::string_view rest = entry.substr(prefix.size());
    size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string_view::npos || rest.size() - dot - 1 != 6) return std::nullopt;
    long long pid = 0;
    for (char c : rest.substr(0, dot)) {
        if (c < '0' || c > '9' || pid > 1000000000) return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    if (pid <= 0) return std::nullopt;
    return static_cast<pid_t>(pid);
}

// A writer killed half-way leaves its temporary file behind; the next write
// of the same file removes those whose process is gone. A live process's
// temporary (a concurrent writer, or one whose pid answers) is never touched.
void RemoveStaleTemporaries(const std::filesystem::path& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    const std::string prefix = "." + name + ".";
    while (const dirent* e = ::readdir(d)) {
        if (!LeftByEndedProcess(e->d_name, prefix)) continue;
        struct stat st {};
        const std::filesystem::path stale = dir / e->d_name;
        if (::lstat(stale.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(stale.c_str());
    }
    ::closedir(d);
}

}  // namespace

void RemoveStaleTemporariesOf(const std::filesystem::path& file) {
    RemoveStaleTemporaries(file.parent_path().empty() ? "." : file.parent_path(), file.filename().string());
}

bool LeftByEndedProcess(std::string_view entry, std::string_view prefix) {
    auto owner = TemporaryOwner(entry, prefix);
    if (!owner || *owner == ::getpid()) return false;
    return ::kill(*owner, 0) != 0 && errno == ESRCH;
}

void WriteFileAtomically(const std::filesystem::path& file, std::string_view contents) {
    std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    // The file being replaced decides, as it would for a write in place. A
    // link is never replaced by a file: callers write where it leads.
    struct stat st {};
    bool replacing = false;
    if (::lstat(file.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode))
            throw EFileError(file, "Cannot write", "it is a link, which is not replaced", ELOOP);
        if (!S_ISREG(st.st_mode))
            throw EFileError(file, "Cannot write",
                             S_ISDIR(st.st_mode) ? "it is a folder" : "not a regular file",
                             S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        // The rename would succeed over a read-only file (and root may write
        // anything): refuse as Windows refuses to open it for writing.
        if ((st.st_mode & 0222) == 0)
            throw EFileError(file, "Cannot write", std::string(std::strerror(EACCES)) + " (the file is read-only)",
                             EACCES);
        if (::geteuid() != 0 && ::access(file.c_str(), W_OK) != 0) Fail("Cannot write", file, errno);
        replacing = true;
    } else if (errno != ENOENT) {
        Fail("Cannot write", file, errno);
    }

    RemoveStaleTemporaries(dir, file.filename().string());
    std::string tmpl =
        (dir / ("." + file.filename().string() + "." + std::to_string(::getpid()) + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) Fail("Cannot write", file, errno);
    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        Fail("Cannot write", file, err);
    };
    // The new file belongs to whoever owned the one it replaces (root
    // changing a user's machine leaves it theirs); a new file to the owner of
    // its folder. Only root may give a file away; others keep what they make.
    struct stat owner = st;
    if (!replacing && ::stat(dir.c_str(), &owner) != 0) owner = st;
    if (::geteuid() == 0 && (replacing || owner.st_uid != 0 || owner.st_gid != 0) &&
        ::fchown(fd, owner.st_uid, owner.st_gid) != 0)
        abandon(errno);
    // Keep the permissions of the file being replaced (after the owner: a
    // change of owner drops set-id bits).
    if (::fchmod(fd, replacing ? (st.st_mode & 07777) : 0644) != 0) abandon(errno);
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
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

std::string ReadWholeFile(const std::filesystem::path& file, uint64_t limit) {
    struct stat st {};
    int fd = OpenRegular(file, st, false);
    return ReadOpened(fd, file, st, limit);
}

std::string ReadWholeFileNoFollow(const std::filesystem::path& file, uint64_t limit) {
    struct stat st {};
    int fd = OpenRegular(file, st, false, true);
    return ReadOpened(fd, file, st, limit);
}

std::optional<std::string> ReadWholeFileIfExists(const std::filesystem::path& file, uint64_t limit) {
    struct stat st {};
    int fd = OpenRegular(file, st, true);
    if (fd < 0) return std::nullopt;
    return ReadOpened(fd, file, st, limit);
}

RegularFile::RegularFile(const std::filesystem::path& file) : path_(file) {
    struct stat st {};
    fd_ = OpenRegular(file, st, false);
    size_ = static_cast<uint64_t>(st.st_size);
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::string> RegularFile::ReadAt(uint64_t offset, uint64_t len) const {
    if (offset > size_ || len > size_ - offset) return std::nullopt;
    std::string out(static_cast<size_t>(len), '\0');
    size_t done = 0;
    while (done < len) {
        ssize_t n = ::pread(fd_, out.data() + done, static_cast<size_t>(len) - done,
                            static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Cannot read", path_, errno);
        }
        if (n == 0) return std::nullopt;  // shrunk since it was opened
        done += static_cast<size_t>(n);
    }
    return out;
}

FileStamp StampOf(const std::filesystem::path& file) {
    struct stat st {};
    FileStamp s;
    if (::stat(file.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return s;
        Fail("Cannot read", file, errno);
    }
    s.exists = true;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.size = static_cast<unsigned long long>(st.st_size);
    s.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

}  // namespace tarnel::platform
