// The store files under the faults a user meets: a full disk, a read-only
// file system, a folder or a file the user may not write. Writes are
// refused; the registry keeps its own text and adds the file and the
// system's reason; a read-only file is never replaced by a rename.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/api/Registry.h"
#include "platform/machine/AtomicFile.h"
#include "platform/machine/BareMachine.h"
#include "platform/machine/Machine.h"
#include "support/Faults.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDrivers32 = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32";

// What writing one driver entry outside any transaction says.
std::string EntryWriteError() {
    TRegistry reg;
    reg.SetRootKey(kHkeyLocalMachine);
    if (!reg.OpenKey(kDrivers32, false)) return "(no key)";
    try {
        reg.WriteString("vidc.q000", "q000.dll");
    } catch (const ERegistryException& e) {
        return e.what();
    }
    return "(written)";
}

}  // namespace

TEST(StoreFaults, AFullDiskOrReadOnlyFileSystemIsToldWithTheFileAndTheReason) {
    test::SmallDisk disk(1 << 20);
    if (!disk.Ready()) GTEST_SKIP() << "no small disk: " << disk.Why();
    const fs::path root = disk.Path() / "machine";
    CreateBareMachine(root, TMachineFamily::NT);
    SelectMachine(root);
    const std::string before = ReadWholeFile(SystemHivePath());

    disk.Fill();
    EXPECT_EQ(EntryWriteError(), "Failed to set data for 'vidc.q000': system.reg: " + std::string(std::strerror(ENOSPC)));
    disk.Unfill();
    SelectMachine(root);  // the lock file is no longer open for writing
    disk.Remount("ro");
    EXPECT_EQ(EntryWriteError(), "Failed to set data for 'vidc.q000': system.reg: " + std::string(std::strerror(EROFS)));
    disk.Remount("rw");
    EXPECT_EQ(ReadWholeFile(SystemHivePath()), before);
    EXPECT_EQ(EntryWriteError(), "(written)");
}

TEST(StoreFaults, AnUnwritableFolderIsToldWithTheFileAndTheReason) {
    test::TempDir dir;
    const fs::path root = dir.Path() / "machine";
    CreateBareMachine(root, TMachineFamily::NT);
    SelectMachine(root);
    { TTransaction lockMade(TTransaction::Read); }
    test::HandToAnotherUser(root);
    ASSERT_EQ(chmod(root.c_str(), 0555), 0);
    const test::ChildReport r = test::AsAnotherUser([&] {
        SelectMachine(root);
        const std::string want =
            "Failed to set data for 'vidc.q000': system.reg: " + std::string(std::strerror(EACCES));
        const std::string got = EntryWriteError();
        return got == want ? std::string() : got;
    });
    chmod(root.c_str(), 0755);
    EXPECT_TRUE(r.exited && r.text.empty()) << r.text;
}

TEST(StoreFaults, AStoreFileTheUserMayNotWriteIsNeverReplacedInAFolderTheyMay) {
    test::TempDir dir;
    const fs::path root = dir.Path() / "machine";
    CreateBareMachine(root, TMachineFamily::Win9x);
    test::HandToAnotherUser(root);
    const fs::path files[] = {root / "system.reg", root / "drive_c/windows/system.ini"};
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.string());
        // Read-only for everyone; then writable, but for its owner alone,
        // who is not the user writing.
        for (const bool foreignOwner : {false, true}) {
            if (foreignOwner && geteuid() != 0) continue;  // only root can give a file away
            if (foreignOwner) {
                ASSERT_EQ(chown(f.c_str(), 0, 0), 0);
            }
            ASSERT_EQ(chmod(f.c_str(), foreignOwner ? 0644 : 0444), 0);
            const FileStamp before = StampOf(f);
            const test::ChildReport r = test::AsAnotherUser([&] {
                try {
                    WriteFileAtomically(f, "replaced");
                    return std::string("replaced");
                } catch (const EFileError& e) {
                    if (e.File() != f || e.ErrorNumber() != EACCES) return std::string("told wrongly: ") + e.what();
                }
                return std::string();
            });
            EXPECT_TRUE(r.exited && r.text.empty()) << r.text;
            EXPECT_EQ(StampOf(f), before);
        }
    }
}
