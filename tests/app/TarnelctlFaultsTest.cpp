// The commands that write a machine, under faults made for real: a full
// disk and a read-only file system (a small tmpfs), a store file and a
// machine folder that another user may not write. Each command is refused
// with the file and the system's reason, every file stays as it was, the
// machine can still be read, and the command works once the fault is gone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "app/CtlRun.h"
#include "support/Faults.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;

namespace {

// The writers: a driver-list save (through a deactivation), and the scan,
// whose probes and adding write the lists back.
const std::vector<std::vector<std::string>> kWriters = {{"deactivate", "mjpg"}, {"scan", "i420", "--add", "all"}};

class WritersUnderFaults : public ::testing::TestWithParam<std::string> {
protected:
    bool Nt() const { return GetParam() == "nt"; }
    std::string StoreName() const { return Nt() ? "system.reg" : "system.ini"; }
    fs::path StoreOf(const fs::path& root) const {
        return Nt() ? root / "system.reg" : root / "drive_c/windows/system.ini";
    }

    // Every writer fails with `reason` and a text naming `named`; nothing
    // changes and the machine still reads.
    void AllRefused(const fs::path& root, const std::string& named, const std::string& reason,
                    const std::string& prefix = "") {
        const auto contents = Contents(root);
        for (const auto& args : kWriters) {
            SCOPED_TRACE(args[0]);
            CtlResult r = CtlOn(root, args, prefix);
            EXPECT_EQ(r.status, 1) << r.err;
            EXPECT_NE(r.err.find(named), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
            EXPECT_EQ(Contents(root), contents);
            EXPECT_EQ(CtlOn(root, {"list"}, prefix).status, 0) << "the machine can no longer be read";
        }
    }

    void AllWork(const fs::path& root, const std::string& prefix = "") {
        for (const auto& args : kWriters) EXPECT_EQ(CtlOn(root, args, prefix).status, 0) << args[0];
    }
};

INSTANTIATE_TEST_SUITE_P(Tarnelctl, WritersUnderFaults, ::testing::Values("nt", "9x"));

// Hidden drafts of the machine maker left in a folder.
int Drafts(const fs::path& folder) {
    int n = 0;
    for (const auto& e : fs::directory_iterator(folder)) n += e.path().filename().string().find(".draft.") != std::string::npos;
    return n;
}

}  // namespace

TEST_P(WritersUnderFaults, AFullDiskOrAReadOnlyFileSystemLeavesEveryFileAsItWas) {
    SmallDisk disk(2 << 20);
    if (!disk.Ready()) GTEST_SKIP() << "no small disk: " << disk.Why();
    const fs::path root = disk.Path() / "machine";
    ASSERT_EQ(Ctl({"init", root.string(), "--family", GetParam()}).status, 0);

    disk.Fill();
    AllRefused(root, StoreName(), std::strerror(ENOSPC));
    // The machine maker: no machine, and no draft of one, is left.
    CtlResult r = Ctl({"init", (disk.Path() / "new").string(), "--family", GetParam()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find((disk.Path() / "new").string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::strerror(ENOSPC)), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(disk.Path() / "new"));
    EXPECT_EQ(Drafts(disk.Path()), 0);
    disk.Unfill();

    disk.Remount("ro");
    AllRefused(root, root.string(), std::strerror(EROFS));
    r = Ctl({"init", (disk.Path() / "new").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(std::strerror(EROFS)), std::string::npos) << r.err;
    disk.Remount("rw");

    AllWork(root);
    EXPECT_EQ(Ctl({"init", (disk.Path() / "new").string()}).status, 0);
}

TEST_P(WritersUnderFaults, AReadOnlyStoreFileOrFolderIsRefusedToAnotherUser) {
    CtlMachine m(GetParam());
    HandToAnotherUser(m.Root());
    const std::string as = AnotherUserPrefix();

    ASSERT_EQ(chmod(StoreOf(m.Root()).c_str(), 0444), 0);
    AllRefused(m.Root(), StoreName(), std::strerror(EACCES), as);
    ASSERT_EQ(chmod(StoreOf(m.Root()).c_str(), 0644), 0);

    ASSERT_EQ(chmod(m.Root().c_str(), 0555), 0);
    AllRefused(m.Root(), m.Root().string(), std::strerror(EACCES), as);
    // Nor can a machine be made in a folder that user may not write.
    const fs::path target = m.Root() / "new";
    CtlResult r = Ctl({"init", target.string()}, as);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(m.Root().string()), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::strerror(EACCES)), std::string::npos) << r.err;
    EXPECT_EQ(Drafts(m.Root()), 0);
    ASSERT_EQ(chmod(m.Root().c_str(), 0755), 0);

    AllWork(m.Root(), as);
}
