// Faults a writer must survive, made for real rather than pretended: a full
// disk and a read-only file system (a small tmpfs mounted in a mount
// namespace of the test's own), and permissions that count (a child process
// that is not root).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "support/TempMachine.h"

namespace tarnel::test {

// A tmpfs of `bytes` over a temporary folder, seen by this process and its
// children only. Root mounts it in a mount namespace of its own; another
// user in a user namespace, where the system allows one.
class SmallDisk {
public:
    explicit SmallDisk(uint64_t bytes);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Ready() const { return ready_; }
    const std::string& Why() const { return why_; }  // why it is not ready
    const std::filesystem::path& Path() const { return dir_.Path(); }

    // Takes every free byte; Unfill gives them back.
    void Fill();
    void Unfill();
    // Mounts it again with these options ("ro", "rw", "size=...").
    void Remount(const std::string& options);

private:
    TempDir dir_;
    bool ready_ = false;
    std::string why_;
};

// What a child process reported: an empty text when all went as it should.
struct ChildReport {
    bool exited = false;  // false when a signal ended it
    std::string text;
};

// Runs `work` in a forked child, as the user nobody when this process is
// root (so that permissions count), else as this user. `work` returns what
// went wrong, or an empty text.
ChildReport AsAnotherUser(const std::function<std::string()>& work);

// Makes `folder` and everything below belong to the user AsAnotherUser runs
// as, and lets that user pass through its parent folder.
void HandToAnotherUser(const std::filesystem::path& folder);

// The same as the shell prefix for a command run through the shell.
std::string AnotherUserPrefix();

}  // namespace tarnel::test
