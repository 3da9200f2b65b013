#include "engine/Page.h"
#include "engine/BandSize.h"

#include <gtest/gtest.h>

using namespace pagimo::engine;

namespace {

void ExpectNear(long double a, long double b, const char* what) {
    EXPECT_NEAR(static_cast<double>(a), static_cast<double>(b), 1e-9) << what;
}

TEST(Page, StoredValuesReadInMillimetres) {
    TQRPage p;
    p.SetUnits(TQRUnit::MM);
    p.SetStoredValues({127, 2970, 127, 2100, 127, 127, 0});
    ExpectNear(p.BottomMargin(), 12.7L, "bottom");
    ExpectNear(p.Length(), 297, "length");
    ExpectNear(p.TopMargin(), 12.7L, "top");
    ExpectNear(p.Width(), 210, "width");
    ExpectNear(p.LeftMargin(), 12.7L, "left");
    ExpectNear(p.RightMargin(), 12.7L, "right");
    ExpectNear(p.ColumnSpace(), 0, "column space");
    p.SetUnits(TQRUnit::Pixels);
    EXPECT_EQ(pagimo::Rnd(p.Width()), 794);
    EXPECT_EQ(pagimo::Rnd(p.Length()), 1123);
}

TEST(Page, WidthAndLengthOnlyChangeForCustomPaper) {
    TQRPage p;
    p.SetUnits(TQRUnit::MM);
    p.SetPaperSize(TQRPaperSize::A4);
    p.SetWidth(150);
    ExpectNear(p.Width(), 210, "A4 keeps its width");
    p.SetPaperSize(TQRPaperSize::Custom);
    p.SetWidth(150);
    ExpectNear(p.Width(), 150, "custom takes it");
}

struct TPaperRow {
    TQRPaperSize Size;
    TPrinterOrientation Orientation;
    long double Width, Length;
    const char* Why;
};

class PaperSize : public ::testing::TestWithParam<TPaperRow> {};

TEST_P(PaperSize, SetsWidthAndLength) {
    const auto& r = GetParam();
    TQRPage p;
    p.SetUnits(TQRUnit::MM);
    p.SetPaperSize(TQRPaperSize::Letter);
    p.SetOrientation(r.Orientation);
    p.SetPaperSize(r.Size);
    ExpectNear(p.Width(), r.Width, r.Why);
    ExpectNear(p.Length(), r.Length, r.Why);
    EXPECT_EQ(p.PaperSize(), r.Size);
}

INSTANTIATE_TEST_SUITE_P(
    Page, PaperSize,
    ::testing::Values(TPaperRow{TQRPaperSize::A5, poLandscape, 210, 148, "landscape swaps"},
                      TPaperRow{TQRPaperSize::A4, poPortrait, 210, 297, "portrait A4"},
                      TPaperRow{TQRPaperSize::Note, poPortrait, 215.9L, 279.0L, "Note is 279.0 long"},
                      TPaperRow{TQRPaperSize::Custom, poPortrait, 215.9L, 279.4L, "Custom keeps the current sheet"},
                      TPaperRow{TQRPaperSize::Default, poLandscape, 279.4L, 215.9L,
                                "Default only stores; the orientation change already swapped Letter"}));

TEST(Page, OrientationReappliesThePaper) {
    TQRPage p;
    p.SetUnits(TQRUnit::MM);
    p.SetPaperSize(TQRPaperSize::A4);
    p.SetOrientation(poLandscape);
    ExpectNear(p.Width(), 297, "width");
    p.SetOrientation(poPortrait);
    ExpectNear(p.Width(), 210, "back");
}

TEST(Page, ColumnsBelowOneAreIgnored) {
    TQRPage p;
    int arranged = 0;
    p.SetOnChange([&](TQRPage::TChange c) { arranged += c == TQRPage::pcArrangeBands; });
    p.SetColumns(0);
    p.SetColumns(1);
    EXPECT_EQ(p.Columns(), 1);
    EXPECT_EQ(arranged, 0);
    p.SetColumns(2);
    EXPECT_EQ(arranged, 1);
}

TEST(Page, MarginSetterRepaintsBottomMarginAlsoRearranges) {
    TQRPage p;
    std::vector<TQRPage::TChange> seen;
    p.SetOnChange([&](TQRPage::TChange c) { seen.push_back(c); });
    p.SetLeftMargin(5);
    EXPECT_EQ(seen, (std::vector<TQRPage::TChange>{TQRPage::pcRepaint}));
    seen.clear();
    p.SetBottomMargin(5);
    EXPECT_EQ(seen, (std::vector<TQRPage::TChange>{TQRPage::pcRepaint, TQRPage::pcResize, TQRPage::pcArrangeBands}));
}

TEST(BandSize, ResizesTheBandToRoundedPixels) {
    TQRBandSize s;
    int32_t h = 0, w = 0;
    s.SetOnResize([&](int32_t hh, int32_t ww) {
        h = hh;
        w = ww;
    });
    s.SetUnits(TQRUnit::Native);
    s.SetWidth(1846.79166666667L);
    s.SetHeight(1524);
    EXPECT_EQ(h, 576);
    EXPECT_EQ(w, 698);
}

} // namespace
