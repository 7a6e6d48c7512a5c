#include "support/Faults.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tarnel::test {

namespace {

constexpr uid_t kNobody = 65534;
// Taken before any user namespace makes this process root in its own eyes.
const bool kStartedAsRoot = ::geteuid() == 0;

bool WriteText(const char* file, const std::string& text) {
    std::ofstream out(file);
    out << text;
    return bool(out.flush());
}

// A mount namespace of this process, entered once: mounts made in it vanish
// with the process and are never seen outside.
std::string EnterMountNamespace() {
    static std::string why = [] {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (!kStartedAsRoot) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                return std::string("no user namespace for a user other than root: ") + std::strerror(errno);
            if (!WriteText("/proc/self/setgroups", "deny") ||
                !WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
                !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
                return std::string("cannot map this user into its namespace");
        } else if (::unshare(CLONE_NEWNS) != 0) {
            return std::string("no mount namespace: ") + std::strerror(errno);
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("cannot make the mounts private: ") + std::strerror(errno);
        return std::string();
    }();
    return why;
}

}  // namespace

SmallDisk::SmallDisk(uint64_t bytes) {
    why_ = EnterMountNamespace();
    if (!why_.empty()) return;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tarnel-test", dir_.Path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
        why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
        return;
    }
    ready_ = true;
}

SmallDisk::~SmallDisk() {
    if (ready_) ::umount2(dir_.Path().c_str(), MNT_DETACH);
}

void SmallDisk::Fill() {
    int fd = ::open((Path() / ".filler").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) throw std::runtime_error("cannot fill the disk: " + std::string(std::strerror(errno)));
    static const std::string block(65536, 'f');
    // Large pieces first, then smaller ones, down to the last byte.
    for (size_t piece = block.size(); piece > 0; piece /= 16)
        while (::write(fd, block.data(), piece) > 0) {
        }
    ::close(fd);
}

void SmallDisk::Unfill() { ::unlink((Path() / ".filler").c_str()); }

void SmallDisk::Remount(const std::string& options) {
    if (::mount(nullptr, Path().c_str(), nullptr, MS_REMOUNT | (options == "ro" ? MS_RDONLY : 0),
                options == "ro" || options == "rw" ? nullptr : options.c_str()) != 0)
        throw std::runtime_error("cannot remount the disk " + options + ": " + std::strerror(errno));
}

ChildReport AsAnotherUser(const std::function<std::string()>& work) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string report;
        if (kStartedAsRoot &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            report = std::string("cannot become nobody: ") + std::strerror(errno);
        if (report.empty()) {
            try {
                report = work();
            } catch (const std::exception& e) {
                report = std::string("unexpected exception: ") + e.what();
            }
        }
        (void)!::write(pipeFds[1], report.data(), report.size());
        ::_exit(report.empty() ? 0 : 1);
    }
    ::close(pipeFds[1]);
    ChildReport r;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0) r.text.append(buf, size_t(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    r.exited = WIFEXITED(status);
    if (!r.exited) r.text += " (ended by signal " + std::to_string(WTERMSIG(status)) + ")";
    return r;
}

void HandToAnotherUser(const fs::path& folder) {
    if (!kStartedAsRoot) return;
    // The parent only gains the right to pass through it (a private
    // temporary folder has none for others; /tmp keeps its own mode).
    struct stat st {};
    if (::stat(folder.parent_path().c_str(), &st) == 0)
        ::chmod(folder.parent_path().c_str(), (st.st_mode & 07777) | S_IXGRP | S_IXOTH);
    ::lchown(folder.c_str(), kNobody, kNobody);
    for (const auto& e : fs::recursive_directory_iterator(folder))
        ::lchown(e.path().c_str(), kNobody, kNobody);
}

std::string AnotherUserPrefix() {
    return kStartedAsRoot ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
}

}  // namespace tarnel::test
