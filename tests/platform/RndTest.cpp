#include "platform/system/Rnd.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

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

// Quarters, values next to halves and both ends of the range agree with nearbyint and saturation.
TEST(Rnd, AgreesWithNearbyintEverywhere) {
    const auto reference = [](long double v) {
        const long double r = std::nearbyint(v);
        return r >= 2147483647.0L ? INT32_MAX : r <= -2147483648.0L ? INT32_MIN : static_cast<int32_t>(r);
    };
    std::vector<long double> values = {2147483646.5L, 2147483646.49L, 2147483647.5L, -2147483647.5L,
                                       -2147483648.5L, -2147483646.5L, 1e-30L,        -1e-30L,
                                       0.49999999999999999L, std::numeric_limits<long double>::infinity(),
                                       -std::numeric_limits<long double>::infinity()};
    for (int i = -4000; i <= 4000; ++i)
        values.insert(values.end(), {i / 4.0L, std::nextafter(i / 4.0L, 0.0L), i * 0.1L, i * 1234.5678L});
    for (const long double v : values)
        EXPECT_EQ(Rnd(v), reference(v)) << static_cast<double>(v);
}
