#include "preview/ZoomRules.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

using namespace pagimo;
using namespace pagimo::preview;

namespace pagimo::preview {
void PrintTo(const TSheetGeometry& g, std::ostream* os) {
    *os << "(" << g.Left << ", " << g.Top << ") " << g.Width << " x " << g.Height;
}
} // namespace pagimo::preview

namespace {

// A report printer recording for the screen: 96 pixels per inch, pixels per tenth of a millimetre.
TPaperMetrics Screen96(Extended width, Extended length) {
    const Extended scale = 96.0L / 254;
    return {width, length, [scale](Extended w) { return Rnd(w * scale); },
            [scale](Extended h) { return Rnd(h * scale); }};
}

const TPaperMetrics A4 = Screen96(2100, 2970);

struct TSheetCase {
    const char* Why;
    bool WithPrinter;
    int32_t Zoom, ControlWidth, ControlHeight;
    TSheetGeometry Expected;
};

class SheetAtTable : public ::testing::TestWithParam<TSheetCase> {};

TEST_P(SheetAtTable, GivesSizeAndPlacement) {
    const auto& c = GetParam();
    EXPECT_EQ(SheetAt(c.WithPrinter ? &A4 : nullptr, c.Zoom, c.ControlWidth, c.ControlHeight), c.Expected) << c.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Zoom, SheetAtTable,
    ::testing::Values(
        TSheetCase{
            "A4 at 100 % is the page's true size plus border and shadow", true, 100, 250, 250, {0, 0, 798, 1127}},
        TSheetCase{
            "whole-page zoom of a 644 x 501 preview is centred on both axes", true, 42, 644, 501, {153, 13, 337, 475}},
        TSheetCase{"page-width zoom is centred across and starts at the top", true, 73, 644, 501, {30, 0, 583, 823}},
        TSheetCase{"without a printer Letter's millimetres count as pixels", false, 100, 250, 250, {15, 0, 220, 283}},
        TSheetCase{"a sheet as wide as the control is not centred", true, 100, 798, 2000, {0, 436, 798, 1127}},
        TSheetCase{"an odd leftover truncates towards the left", true, 100, 801, 1127, {1, 0, 798, 1127}},
        TSheetCase{"smallest zoom keeps a visible sheet", true, 2, 100, 100, {40, 37, 20, 26}}));

TEST(FitZoom, WholePageTakesTheSmallerRatio) {
    // a = R(644 / 794 x 95) = 77, b = R(501 / 1123 x 95) = 42
    EXPECT_EQ(FitWholePageZoom(&A4, 644, 501), 42);
    EXPECT_EQ(FitWholePageZoom(&A4, 300, 5000), 36); // width-bound: R(300 / 794 x 95) = 35.89
}

TEST(FitZoom, PageWidthUsesFactor90WithAPrinterAnd95Without) {
    EXPECT_EQ(FitPageWidthZoom(&A4, 644), 73);           // R(644 / 794 x 90) = 72.997
    EXPECT_EQ(FitPageWidthZoom(nullptr, 644), 283);      // R(644 / 215.9 x 95) = 283.37
    EXPECT_EQ(FitWholePageZoom(nullptr, 644, 501), 170); // min(283, R(501 / 279.4 x 95) = 170.35)
}

TEST(FitZoom, LandscapePaperSwapsTheRatios) {
    const TPaperMetrics landscape = Screen96(2970, 2100);
    EXPECT_EQ(FitWholePageZoom(&landscape, 644, 501), 54); // a = R(644 / 1123 x 95) = 54.48, b = 60
}

TEST(FitZoom, PaperWithoutSizeGivesAZoomNoOneAccepts) {
    const TPaperMetrics none = Screen96(0, 0);
    EXPECT_FALSE(ZoomAccepted(FitWholePageZoom(&none, 644, 501)));
    EXPECT_FALSE(ZoomAccepted(FitPageWidthZoom(&none, 644)));
    EXPECT_FALSE(ZoomAccepted(FitWholePageZoom(&A4, 0, 0))); // a collapsed control
}

TEST(Zoom, LimitsAreTwoAndTwoThousand) {
    EXPECT_FALSE(ZoomAccepted(1));
    EXPECT_TRUE(ZoomAccepted(2));
    EXPECT_TRUE(ZoomAccepted(2000));
    EXPECT_FALSE(ZoomAccepted(2001));
    EXPECT_FALSE(ZoomAccepted(-100));
}

TEST(Zoom, HostilePaperSizeIsClampedToWhatAWidgetCanBe) {
    const TPaperMetrics huge = Screen96(std::numeric_limits<float>::max(), 1e30L);
    const TSheetGeometry g = SheetAt(&huge, 2000, 644, 501);
    EXPECT_EQ(g.Width, MaxSheetExtent + SheetMargin);
    EXPECT_EQ(g.Height, MaxSheetExtent + SheetMargin);
    const TPaperMetrics negative = Screen96(-2100, -2970);
    EXPECT_EQ(SheetAt(&negative, 100, 644, 501), (TSheetGeometry{320, 248, 4, 4}));
}

} // namespace

namespace {

struct TStepCase {
    const char* Why;
    int32_t From;
    int Direction;
    int32_t Expected;
};

class ZoomStepTable : public ::testing::TestWithParam<TStepCase> {};

TEST_P(ZoomStepTable, WalksTheStepsWithinTheirLimits) {
    const auto& c = GetParam();
    EXPECT_EQ(NextZoomStep(c.From, c.Direction), c.Expected) << c.Why;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ZoomStepTable,
    ::testing::Values(TStepCase{"a step up from 100", 100, +1, 110}, TStepCase{"a step down from 100", 100, -1, 90},
                      TStepCase{"a fitted zoom goes to the next step above", 73, +1, 75},
                      TStepCase{"and to the next step below", 73, -1, 67},
                      TStepCase{"the top step stays", 800, +1, 800}, TStepCase{"the bottom step stays", 10, -1, 10},
                      TStepCase{"a zoom above the steps comes down to the top step", 1500, -1, 800},
                      TStepCase{"a zoom above the steps is not raised", 1500, +1, 1500},
                      TStepCase{"a zoom below the steps goes up to the bottom step", 5, +1, 10},
                      TStepCase{"a zoom below the steps is not lowered", 5, -1, 5}));

} // namespace
