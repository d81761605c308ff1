// Bar chart geometry: slots side by side, heights in proportion to the
// largest value, small values still visible, nothing for nothing.

#include "view/bar_chart.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(BarChart, HeightsFollowTheLargestValue) {
    const std::vector<uint64_t> v{0, 10, 5, 1};
    const std::vector<BarSlot> b = barSlots(v, 100, 50);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0], (BarSlot{0, 24, 0}));
    EXPECT_EQ(b[1], (BarSlot{25, 24, 50}));
    EXPECT_EQ(b[2], (BarSlot{50, 24, 25}));
    EXPECT_EQ(b[3], (BarSlot{75, 24, 5}));
    // 1 of 1000 at 50 pixels rounds to 0 yet shows.
    EXPECT_EQ(barSlots(std::vector<uint64_t>{1000, 1}, 10, 50)[1].height, 1);
}

TEST(BarChart, ExtremesAndEmptyInput) {
    EXPECT_TRUE(barSlots({}, 100, 50).empty());
    EXPECT_TRUE(barSlots(std::vector<uint64_t>{1}, 0, 50).empty());
    EXPECT_TRUE(barSlots(std::vector<uint64_t>{1}, 10, 0).empty());
    for (const BarSlot& s : barSlots(std::vector<uint64_t>{0, 0}, 10, 10)) EXPECT_EQ(s.height, 0);
    // Narrower than the bars: one pixel each, no gap.
    const std::vector<uint64_t> many(8, 3);
    for (const BarSlot& s : barSlots(many, 4, 10)) EXPECT_EQ(s.width, 1);
    // Counts near 2^64 keep their order and stay inside the height.
    const std::vector<BarSlot> big =
        barSlots(std::vector<uint64_t>{UINT64_MAX, UINT64_MAX / 2}, 20, 1000);
    EXPECT_EQ(big[0].height, 1000);
    EXPECT_EQ(big[1].height, 500);
}

TEST(StackedBar, PartsTileTheBarInProportion) {
    const std::vector<int64_t> parts{30, 0, 10, 60};
    EXPECT_EQ(stackedEdges(parts, 100, 200), (std::vector<int>{60, 60, 80, 200}));
    // Half the scale fills half the width; each edge is rounded, not each part.
    EXPECT_EQ(stackedEdges(std::vector<int64_t>{1, 1, 1}, 6, 10), (std::vector<int>{2, 3, 5}));
    // Negative parts add nothing; a sum above the scale stops at the width.
    EXPECT_EQ(stackedEdges(std::vector<int64_t>{-5, 7, 7}, 10, 10), (std::vector<int>{0, 7, 10}));
    EXPECT_EQ(stackedEdges(std::vector<int64_t>{5}, 0, 10), (std::vector<int>{0}));
    // Times near 2^63 keep their proportions.
    const std::vector<int64_t> huge{INT64_MAX / 2, INT64_MAX / 2};
    EXPECT_EQ(stackedEdges(huge, INT64_MAX, 100), (std::vector<int>{50, 100}));
}
