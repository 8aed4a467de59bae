#include "tests/support/ManualClock.h"

#include <gtest/gtest.h>

// The re-exported clock is the platform one: moved only by the test.
TEST(ManualClock, MovesOnlyWhenAdvanced)
{
    testsupport::ManualClock clock(1'000);
    EXPECT_EQ(clock.now(), 1'000);
    clock.advance(500);
    EXPECT_EQ(clock.now(), 1'500);
}
