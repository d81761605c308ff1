#include "model/trace_model.h"

#include <gtest/gtest.h>

TEST(TCommTranslation, PredefinedCommunicators) {
    TComm world{kWorldComm, 0, {}, 0, kNeverFreed};
    TComm self{kSelfComm, 0, {}, 0, kNeverFreed};
    EXPECT_EQ(world.toLocal(12345), 12345);
    EXPECT_EQ(world.toGlobal(-7), -7);
    EXPECT_EQ(self.toLocal(99), 0);
    EXPECT_EQ(self.toGlobal(3), 0);
}
