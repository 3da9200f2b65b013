#include "platform/system/Rnd.h"

#include <gtest/gtest.h>

using pagimo::Rnd;

TEST(Rnd, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(Rnd(0.5L), 0);
    EXPECT_EQ(Rnd(1.5L), 2);
    EXPECT_EQ(Rnd(2.5L), 2);
    EXPECT_EQ(Rnd(-0.5L), 0);
    EXPECT_EQ(Rnd(-1.5L), -2);
    EXPECT_EQ(Rnd(2.4999L), 2);
    EXPECT_EQ(Rnd(2.5001L), 3);
}

TEST(Rnd, SaturatesOutsideTheIntegerRange) {
    EXPECT_EQ(Rnd(1e20L), INT32_MAX);
    EXPECT_EQ(Rnd(-1e20L), INT32_MIN);
    EXPECT_EQ(Rnd(std::numeric_limits<long double>::quiet_NaN()), 0);
}
