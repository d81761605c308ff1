// The paint helper: every item done exactly once per run, run after run,
// items shared with the helper thread, and a failing item reported to the
// caller after the others are done.

#include "view/paint_helper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

TEST(PaintHelper, DoesEveryItemOnceRunAfterRun) {
    PaintHelper helper;
    bool helped = false;
    for (uint32_t count = 0; count < 200; ++count) {
        std::vector<std::atomic<int>> done(count);
        std::vector<std::thread::id> by(count);
        helper.run(count, [&](uint32_t i) {
            done[i].fetch_add(1);
            by[i] = std::this_thread::get_id();
            // Slow enough items that the helper wakes while some are left.
            std::this_thread::sleep_for(std::chrono::microseconds(count % 7 == 0 ? 200 : 0));
        });
        for (uint32_t i = 0; i < count; ++i) ASSERT_EQ(done[i].load(), 1) << count << " " << i;
        for (uint32_t i = 0; i < count; ++i) helped = helped || by[i] != std::this_thread::get_id();
    }
    EXPECT_TRUE(helped) << "the helper thread never took an item";
}

TEST(PaintHelper, AFailingItemReachesTheCallerAfterTheOthers) {
    PaintHelper helper;
    for (uint32_t failing = 0; failing < 8; ++failing) {
        std::vector<std::atomic<int>> done(8);
        EXPECT_THROW(helper.run(8,
                                [&](uint32_t i) {
                                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                                    if (i == failing) throw std::runtime_error("item");
                                    done[i].fetch_add(1);
                                }),
                     std::runtime_error);
        for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(done[i].load(), i == failing ? 0 : 1);
    }
    // And the helper goes on serving.
    std::atomic<int> sum{0};
    helper.run(10, [&](uint32_t i) { sum += static_cast<int>(i); });
    EXPECT_EQ(sum.load(), 45);
}
