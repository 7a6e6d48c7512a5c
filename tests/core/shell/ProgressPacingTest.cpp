#include "core/shell/ProgressPacing.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

namespace tarnel {
namespace {

struct TFakeBar : TScanProgressBar {
    explicit TFakeBar(int64_t* now) : TScanProgressBar([now] { return *now; }) {}
    void OpenBar(int maximum) override { opened.push_back(maximum); }
    void ShowBar(int value, int percent) override { shown.emplace_back(value, percent); }
    void CloseBar() override { ++closed; }
    std::vector<int> opened;
    std::vector<std::pair<int, int>> shown;
    int closed = 0;
};

TEST(RepaintThrottle, FirstAndFinalAlwaysDueOtherwiseEvery33Ms) {
    int64_t now = 1000;
    TRepaintThrottle t([&] { return now; });
    EXPECT_TRUE(t.Due());
    now += 32;
    EXPECT_FALSE(t.Due());
    EXPECT_TRUE(t.Due(true));
    now += 32;
    EXPECT_FALSE(t.Due()) << "the final answer restarts the wait";
    now += 1;
    EXPECT_TRUE(t.Due());
}

TEST(ScanProgressBar, ScalesPastTheBarsRangeAndShowsWhatTheThrottleHeldBack) {
    EXPECT_EQ(TScanProgressBar::BarShift(0), 0);
    EXPECT_EQ(TScanProgressBar::BarShift(uint64_t(INT_MAX)), 0);
    EXPECT_EQ(TScanProgressBar::BarShift(uint64_t(INT_MAX) + 1), 1);
    EXPECT_EQ(TScanProgressBar::BarShift(UINT64_MAX), 33);

    int64_t now = 0;
    TFakeBar bar(&now);
    const uint64_t size = 5'000'000'000ull;
    bar.Start(size);
    ASSERT_EQ(bar.opened.size(), 1u);
    EXPECT_EQ(bar.opened[0], int(size >> 2)) << "as fine as the bar allows";
    bar.Advance(4'000'000'001ull, 80);
    bar.Advance(size - 1, 99);  // at the same moment: held back
    ASSERT_EQ(bar.shown.size(), 1u);
    EXPECT_EQ(bar.shown[0], std::make_pair(int(4'000'000'001ull >> 2), 80));
    bar.End();
    ASSERT_EQ(bar.shown.size(), 2u) << "the last position is shown at the end";
    EXPECT_EQ(bar.shown[1], std::make_pair(int((size - 1) >> 2), 99));
    EXPECT_EQ(bar.closed, 1);

    // A second scan on the same object starts afresh: the end of the file
    // is shown however soon it comes, and nothing is shown twice.
    bar.Start(10);
    bar.Advance(3, 30);
    bar.Advance(10, 100);
    bar.End();
    EXPECT_EQ(bar.opened.back(), 10);
    ASSERT_EQ(bar.shown.size(), 4u);
    EXPECT_EQ(bar.shown[3], std::make_pair(10, 100));
    EXPECT_EQ(bar.closed, 2);
}

}  // namespace
}  // namespace tarnel
