// Two processes saving the codec lists of one machine at the same time, as
// two commands do: each loads both lists, changes its own codec and saves,
// in one writing transaction. Under the machine's lock neither may ever find
// its own last change undone by the other's save.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>

#include "core/operations/CodecOperations.h"
#include "core/shell/ActivityLog.h"
#include "platform/api/Registry.h"
#include "platform/machine/Machine.h"
#include "support/TempMachine.h"

using namespace tarnel;
using namespace tarnel::platform;

namespace {

struct Yes : TOperationQuestions {
    TAnswer AskSwap(const TCodecEntry&, const TCodecEntry&) override { return TAnswer::Yes; }
    TAnswer AskRemove() override { return TAnswer::Yes; }
};

std::optional<size_t> Find(const TCodecList& list, const std::string& fourcc) {
    for (size_t i = 0; i < list.Count(); ++i)
        if (list.Entry(i).Fourcc == fourcc) return i;
    return std::nullopt;
}

// Takes the codec out of service when it is in, puts it back when it is not.
// False when the store no longer holds it as this process left it.
bool Toggle(int32_t storeMode, const std::string& fourcc, bool& active) {
    TTransaction t;
    TPreferences prefs;
    prefs.CodecStoreMode = storeMode;
    TLog log;
    TCodecCatalogue c(prefs, log);
    c.LoadActiveList();
    c.LoadInactiveCodecList();
    std::optional<size_t> row = Find(active ? c.CodecList : c.InactiveCodecList, fourcc);
    if (!row) return false;
    Yes yes;
    TCodecOperations ops(c, yes);
    if (!(active ? ops.Deactivate({*row}) : ops.Activate({*row})).Saved) return false;
    t.Commit();
    active = !active;
    return true;
}

class ConcurrentSaves : public ::testing::TestWithParam<TMachineFamily> {};

INSTANTIATE_TEST_SUITE_P(BothFamilies, ConcurrentSaves, ::testing::Values(TMachineFamily::NT, TMachineFamily::Win9x));

}  // namespace

TEST_P(ConcurrentSaves, TwoProcessesTogglingTheirOwnCodecsLoseNoChangeOfEachOther) {
    test::TempMachine m(GetParam(), /*demo=*/true);
    const int32_t mode = GetParam() == TMachineFamily::NT ? 3 : 1;
    constexpr int kRounds = 200;
    pid_t children[2];
    const char* fourccs[2] = {"yuy2", "i420"};
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            SelectMachine(m.Root());
            bool active = true;
            for (int round = 0; round < kRounds; ++round)
                if (!Toggle(mode, fourccs[i], active)) _exit(10 + round % 100);
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "a process found its own change undone (exit " << WEXITSTATUS(status) << ")";
    }
    ForgetLoadedHives();
    TPreferences prefs;
    prefs.CodecStoreMode = mode;
    TLog log;
    TCodecCatalogue c(prefs, log);
    c.LoadActiveList();
    c.LoadInactiveCodecList();
    for (const char* f : fourccs) EXPECT_TRUE(Find(c.CodecList, f).has_value()) << f << " back in service";
    EXPECT_EQ(c.CodecList.Count() + c.InactiveCodecList.Count(), 16u);
}
