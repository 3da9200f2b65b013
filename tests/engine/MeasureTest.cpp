// Text measurement of the report, which text controls lay out with.

#include "engine/Report.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::engine;

namespace {

TEST(Measure, WidthIsTheCanvasExtentPlusOneAndHeightIsThatOfA) {
    TQRReport report;
    controls::TFont font;
    font.SetName("Arial");
    font.SetHeight(-13);
    gdi::TBoundsDevice device;
    gdi::TCanvas canvas(device);
    canvas.Font = ToGdiFont(font);
    const int width = report.MeasureTextWidth(font, "Pagimo je program");
    EXPECT_EQ(width, canvas.TextExtent(std::string_view("Pagimo je program")).width() + 1);
    EXPECT_GT(width, 60);
    EXPECT_EQ(report.MeasureTextWidth(font, ""), 1);
    EXPECT_EQ(report.TextHeight(font, "anything"), canvas.TextExtent(std::string_view("A")).height());
    font.SetStyle(controls::fsBold);
    EXPECT_GT(report.MeasureTextWidth(font, "Pagimo je program"), width) << "bold text is wider";
}

} // namespace
