#include "controls/Frame.h"

#include <gtest/gtest.h>

using namespace pagimo::controls;

namespace {

struct TThicknessRow {
    long double Factor;
    int Width;
    int32_t Expected;
    const char* Why;
};

class EdgeThickness : public ::testing::TestWithParam<TThicknessRow> {};

TEST_P(EdgeThickness, PixelsFromPointsAndFactor) {
    const auto& r = GetParam();
    EXPECT_EQ(TQRFrame::EdgeThickness(r.Factor, r.Width), r.Expected) << r.Why;
}

INSTANTIATE_TEST_SUITE_P(Frame, EdgeThickness,
                         ::testing::Values(TThicknessRow{600 / 254.0L, 1, 8, "1 point at 600 dpi is rnd(8.33)"},
                                           TThicknessRow{96 / 254.0L, 1, 1, "1 point on screen rounds to 1"},
                                           TThicknessRow{0.01L, 1, 1, "a thickness below 1 becomes 1"},
                                           TThicknessRow{600 / 254.0L, 0, 0, "width 0 draws nothing"},
                                           TThicknessRow{600 / 254.0L, -1, 1, "width -1 is always one pixel"},
                                           TThicknessRow{600 / 254.0L, -5, 0, "other negative widths draw nothing"},
                                           TThicknessRow{300 / 254.0L, 3, 12,
                                                         "3 points at 300 dpi is rnd(12.5), halves to even"}));

TEST(Frame, StripsLieInsideTheRectangle) {
    TQRFrame f;
    f.SetDrawTop(true);
    f.SetDrawBottom(true);
    f.SetDrawLeft(true);
    f.SetDrawRight(true);
    f.SetWidth(1);
    const long double factor = 600 / 254.0L;
    auto strips = f.EdgeStrips({100, 200, 500, 400}, factor, factor);
    ASSERT_EQ(strips.size(), 4u);
    EXPECT_EQ(strips[0], (TRect{100, 200, 500, 208}));
    EXPECT_EQ(strips[1], (TRect{100, 392, 500, 400}));
    EXPECT_EQ(strips[2], (TRect{100, 200, 108, 400}));
    EXPECT_EQ(strips[3], (TRect{492, 200, 500, 400}));
}

TEST(Frame, NoEdgesNoStrips) {
    TQRFrame f;
    EXPECT_FALSE(f.HasAnyEdge());
    EXPECT_TRUE(f.EdgeStrips({0, 0, 10, 10}, 1, 1).empty());
}

TEST(Frame, ChangesAskTheOwnerToRepaint) {
    TQRFrame f;
    int repaints = 0;
    f.SetOnChange([&] { ++repaints; });
    f.SetDrawLeft(true);
    f.SetColor(clWhite);
    EXPECT_EQ(repaints, 2);
}

} // namespace
