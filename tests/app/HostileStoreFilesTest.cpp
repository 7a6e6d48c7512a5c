// Machines whose files would bring a careless reader down, listed from the
// command line: every one ends at once with an error naming the file, or
// lists as it should, and never with a signal, a hang or gigabytes of memory.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>

#include "app/CtlRun.h"

using namespace tarnel;
using namespace tarnel::test;
namespace fs = std::filesystem;

namespace {

// `list` with a hard time limit: a hang is killed and reported as such.
CtlResult ListWithin(const fs::path& root, int seconds) {
    return CtlOn(root, {"list", "--json"}, "timeout -s KILL " + std::to_string(seconds) + " ");
}

}  // namespace

TEST(HostileStoreFiles, AKeyNestedFarTooDeepIsAnErrorNamingFileAndLine) {
    for (int levels : {150000, 1000000}) {
        SCOPED_TRACE(levels);
        CtlMachine m;
        std::string path;
        path.reserve(size_t(levels) * 3);
        for (int i = 0; i < levels; ++i) path += i ? "\\\\a" : "a";
        const std::string hive = platform::ReadWholeFile(m.SystemReg());
        const int line = int(std::count(hive.begin(), hive.end(), '\n')) + 2;
        std::ofstream(m.SystemReg(), std::ios::app) << "\n[" << path << "] 0\n\"v\"=\"1\"\n";
        CtlResult r = ListWithin(m.Root(), 60);
        EXPECT_EQ(r.status, 1) << "ended by a signal, or listed";
        EXPECT_NE(r.err.find("'" + m.SystemReg().string() + "' at line " + std::to_string(line) + ":"),
                  std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("512"), std::string::npos) << r.err;
    }
}

TEST(HostileStoreFiles, StoreFilesThatAreDevicesOrFifosAreRefusedAtOnce) {
    // The files each family reads to list its codecs.
    const std::pair<const char*, const char*> stores[] = {
        {"nt", "system.reg"}, {"nt", "user.reg"}, {"9x", "drive_c/windows/system.ini"}};
    for (const auto& [family, name] : stores) {
        CtlMachine m(family);
        const fs::path store = m.Root() / name;
        for (const std::string kind : {"device", "fifo"}) {
            SCOPED_TRACE(store.string() + " as a " + kind);
            fs::remove(store);
            // A device node of its own where one may be made, else a link
            // to one (which a profile file, read only inside the machine,
            // takes for no file at all).
            bool outsideLink = false;
            if (kind == "fifo")
                ASSERT_EQ(mkfifo(store.c_str(), 0644), 0);
            else if (mknod(store.c_str(), S_IFCHR | 0644, makedev(1, 5)) != 0)
                fs::create_symlink("/dev/zero", store), outsideLink = true;
            const auto t0 = std::chrono::steady_clock::now();
            CtlResult r = ListWithin(m.Root(), 60);
            EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
            if (outsideLink && std::string(family) == "9x") {
                EXPECT_EQ(r.status, 0) << r.err;
                continue;
            }
            // Listing needs the user's hive only for the log's date format,
            // which falls back to the default one when the hive is unreadable.
            if (std::string(name) == "user.reg" && r.status == 0) continue;
            EXPECT_EQ(r.status, 1) << "-1 is a hang or a crash: " << r.err;
            EXPECT_NE(r.err.find(store.string()), std::string::npos) << r.err;
        }
    }
}

TEST(HostileStoreFiles, ADriverOfFourGibibytesListsWithoutBeingReadWhole) {
    CtlMachine m;
    // The driver of mjpg, grown to 4 GiB with nothing on disk.
    const fs::path driver = m.Root() / "drive_c/windows/system32/lcmjpeg.dll";
    const Listed before = ParseList(ListWithin(m.Root(), 60).out);
    ASSERT_EQ(truncate(driver.c_str(), (4ll << 30) + 4096), 0);
    const auto t0 = std::chrono::steady_clock::now();
    CtlResult r = ListWithin(m.Root(), 120);
    const auto took = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(r.status, 0) << r.err;
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_LT(children.ru_maxrss, 1024 * 1024) << "KiB at most in any command run here";
    // The version and names still come from the file's resources.
    EXPECT_TRUE(ParseList(r.out).active == before.active);
}
