// The EMF+ player: pages built with the project's EMF+ writer, probed by pixels and by the trace of
// device calls; the GDI fallback of dual pages; unknown and hostile EMF+ records.

#include "RenderCompare.h"

#include "platform/emf/EmfPlusRecords.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include <QColor>

using namespace pagimo;
using namespace pagimo::emf;

namespace {

constexpr uint32_t Red = 0xFFFF0000, Blue = 0xFF0000FF, Green = 0xFF00FF00;

struct TPage {
    TEmfWriter W{100, 100};
    TEmfPlusWriter P{W};
    explicit TPage(bool dual = false) {
        P.Header(dual);
        // Pixel units, as GDI+ writes for screen pictures.
        P.Record(EmfPlusSetPageTransform, EmfPlusUnitPixel, TEmfPlusData().F32(1));
    }
    void SolidBrush(uint8_t id, uint32_t argb) {
        P.Object(id, EmfPlusObjectBrush, TEmfPlusData().U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushSolid).U32(argb));
    }
    void Pen(uint8_t id, float width, uint32_t argb, uint32_t lineStyle = 0) {
        TEmfPlusData d;
        d.U32(EmfPlusGraphicsVersion).U32(0).U32(lineStyle ? EmfPlusPenLineStyle : 0).U32(EmfPlusUnitPixel).F32(width);
        if (lineStyle) d.U32(lineStyle);
        d.U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushSolid).U32(argb);
        P.Object(id, EmfPlusObjectPen, d);
    }
    std::vector<uint8_t> Bytes() {
        P.EndOfFile();
        return W.Finish();
    }
};

QColor At(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}
bool IsRed(const QImage& i, int x, int y) {
    const QColor c = At(i, x, y);
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}
bool IsWhite(const QImage& i, int x, int y) {
    const QColor c = At(i, x, y);
    return c.red() > 240 && c.green() > 240 && c.blue() > 240;
}

std::string Trace(const std::vector<uint8_t>& bytes, gdi::TPlayResult* result = nullptr) {
    gdi::TTraceDevice trace;
    const auto r = gdi::TEmfPlayer::Play(bytes, trace, gdi::TPlayOptions{});
    if (result) *result = r;
    return trace.Text();
}

TEST(EmfPlus, FillsAreDrawnWhereTheRecordsSay) {
    TPage page;
    page.SolidBrush(1, Blue);
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(10, 10, 30, 20));
    page.P.Record(EmfPlusFillEllipse, 0, TEmfPlusData().U32(1).Rect(50, 50, 40, 40));
    page.P.Record(EmfPlusFillPolygon, EmfPlusFlagSolidColor | EmfPlusFlagCompressed,
                  TEmfPlusData().U32(Green).U32(3).I16(10).I16(60).I16(40).I16(60).I16(10).I16(90));
    page.P.Record(EmfPlusFillPie, EmfPlusFlagSolidColor,
                  TEmfPlusData().U32(Red).F32(0).F32(90).Rect(50, 0, 40, 40)); // lower right quarter
    gdi::TPlayResult result;
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
    EXPECT_EQ(result.PlusUnknown, 0u);
    EXPECT_GE(result.PlusRecords, 6u);
    EXPECT_TRUE(IsRed(image, 25, 20));
    EXPECT_TRUE(IsWhite(image, 45, 20));
    EXPECT_EQ(At(image, 70, 70), QColor(0, 0, 255));
    EXPECT_TRUE(IsWhite(image, 52, 52)); // outside the ellipse's corner
    EXPECT_EQ(At(image, 15, 65).green(), 255);
    EXPECT_TRUE(IsWhite(image, 35, 85));
    EXPECT_TRUE(IsRed(image, 78, 28));  // inside the pie's quarter (clockwise from 3 o'clock)
    EXPECT_TRUE(IsWhite(image, 62, 12)); // the upper left quarter stays empty
}

TEST(EmfPlus, PensCarryWidthAndDashes) {
    TPage page;
    page.Pen(2, 6, Red);
    page.Pen(3, 1, Blue, 1);
    page.P.Record(EmfPlusDrawLines, 2, TEmfPlusData().U32(2).F32(10).F32(20).F32(90).F32(20));
    page.P.Record(EmfPlusDrawRects, 3, TEmfPlusData().U32(1).Rect(10, 50, 80, 40));
    page.P.Record(EmfPlusDrawEllipse, 2, TEmfPlusData().Rect(30, 60, 20, 20));
    page.P.Record(EmfPlusDrawArc, 2, TEmfPlusData().F32(0).F32(180).Rect(60, 60, 20, 20));
    const auto bytes = page.Bytes();
    const QImage image = test::RenderEmf(bytes, 100, 100);
    for (int y : {18, 20, 22}) EXPECT_TRUE(IsRed(image, 50, y)) << y;
    EXPECT_TRUE(IsWhite(image, 50, 25));
    const std::string trace = Trace(bytes);
    // The dashed hairline reaches the device as PS_DASH one pixel wide, the 6-pixel pen as a pen of
    // 6 world units (in sixteenths) under a transform of 1/16.
    EXPECT_NE(trace.find("pen=1/0/#0000ff xform=0.0625"), std::string::npos) << trace;
    EXPECT_NE(trace.find("pen=0/96/#ff0000 xform=0.0625"), std::string::npos) << trace;
}

TEST(EmfPlus, PathsRegionsAndClips) {
    TPage page;
    // A triangle path: three float points, types start, line, line|close.
    TEmfPlusData path;
    path.U32(EmfPlusGraphicsVersion).U32(3).U32(0).F32(10).F32(10).F32(50).F32(10).F32(10).F32(50);
    path.U8(EmfPlusPathStart).U8(EmfPlusPathLine).U8(EmfPlusPathLine | EmfPlusPathClose).Pad();
    page.P.Object(4, EmfPlusObjectPath, path);
    page.P.Record(EmfPlusFillPath, EmfPlusFlagSolidColor | 4, TEmfPlusData().U32(Red));
    // A region: the union of two rectangles.
    TEmfPlusData region;
    region.U32(EmfPlusGraphicsVersion).U32(2).U32(EmfPlusRegionUnion);
    region.U32(EmfPlusRegionRect).Rect(60, 10, 10, 10).U32(EmfPlusRegionRect).Rect(80, 10, 10, 10);
    page.P.Object(5, EmfPlusObjectRegion, region);
    page.P.Record(EmfPlusFillRegion, EmfPlusFlagSolidColor | 5, TEmfPlusData().U32(Blue));
    // Clipped to the left half: a fill over the whole width stops at x = 50.
    page.P.Record(EmfPlusSetClipRect, 0, TEmfPlusData().Rect(0, 60, 50, 40));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(0, 70, 100, 20));
    page.P.Record(EmfPlusResetClip, 0);
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    EXPECT_TRUE(IsRed(image, 15, 15));
    EXPECT_TRUE(IsWhite(image, 45, 45));
    EXPECT_EQ(At(image, 65, 15), QColor(0, 0, 255));
    EXPECT_TRUE(IsWhite(image, 75, 15));
    EXPECT_EQ(At(image, 85, 15), QColor(0, 0, 255));
    EXPECT_TRUE(IsRed(image, 40, 80));
    EXPECT_TRUE(IsWhite(image, 60, 80));
}

TEST(EmfPlus, WorldTransformsSaveAndContainers) {
    TPage page;
    page.P.Record(EmfPlusSave, 0, TEmfPlusData().U32(1));
    page.P.Record(EmfPlusTranslateWorldTransform, 0, TEmfPlusData().F32(50).F32(50));
    page.P.Record(EmfPlusScaleWorldTransform, 0, TEmfPlusData().F32(2).F32(2));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(0, 0, 10, 10));
    page.P.Record(EmfPlusRestore, 0, TEmfPlusData().U32(1));
    // After the restore the transform is the identity again.
    page.P.Record(EmfPlusBeginContainerNoParams, 0, TEmfPlusData().U32(2));
    page.P.Record(EmfPlusSetWorldTransform, 0, TEmfPlusData().F32(1).F32(0).F32(0).F32(1).F32(5).F32(5));
    page.P.Record(EmfPlusEndContainer, 0, TEmfPlusData().U32(2));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Blue).U32(1).Rect(0, 0, 10, 10));
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    EXPECT_TRUE(IsRed(image, 65, 65));
    EXPECT_TRUE(IsWhite(image, 75, 75));
    EXPECT_EQ(At(image, 2, 2), QColor(0, 0, 255));
    EXPECT_TRUE(IsWhite(image, 12, 12));
}

TEST(EmfPlus, StringsReachTheDeviceAsTextRuns) {
    TPage page;
    TEmfPlusData font;
    font.U32(EmfPlusGraphicsVersion).F32(12).U32(EmfPlusUnitPixel).U32(1).U32(0).U32(5).Text(u"Arial").Pad();
    page.P.Object(6, EmfPlusObjectFont, font);
    page.P.Record(EmfPlusDrawString, EmfPlusFlagSolidColor | 6,
                  TEmfPlusData().U32(0xFF000000).U32(0xFFFFFFFF).U32(5).Rect(10, 10, 0, 0).Text(u"Hello").Pad());
    page.P.Record(EmfPlusDrawDriverString, EmfPlusFlagSolidColor | 6,
                  TEmfPlusData().U32(0xFF000000).U32(1).U32(0).U32(2).U16('O').U16('K').F32(10).F32(60).F32(20).F32(60));
    const auto bytes = page.Bytes();
    const std::string trace = Trace(bytes);
    EXPECT_NE(trace.find("Hello"), std::string::npos) << trace;
    EXPECT_NE(trace.find("OK"), std::string::npos) << trace;
    const QImage image = test::RenderEmf(bytes, 100, 100);
    int ink = 0;
    for (int y = 8; y < 30; ++y)
        for (int x = 8; x < 60; ++x) ink += At(image, x, y).lightness() < 128;
    EXPECT_GT(ink, 20);
}

TEST(EmfPlus, DualPagesDrawEmfPlusAndSkipTheFallbackOutsideGetDC) {
    TPage page(true);
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(0, 0, 50, 50));
    // The GDI fallback of the fill: a blue rectangle, not to be drawn.
    page.W.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
    page.W.Record(EMR_RECTANGLE, {60, 0, 100, 40});
    // After GetDC the GDI records are the page's own drawing.
    page.P.Record(EmfPlusGetDC, 0);
    page.W.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
    page.W.Record(EMR_RECTANGLE, {0, 60, 40, 100});
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    EXPECT_TRUE(IsRed(image, 25, 25));
    EXPECT_TRUE(IsWhite(image, 80, 20));
    EXPECT_LT(At(image, 20, 80).lightness(), 40);
}

TEST(EmfPlus, AnUnknownRecordFallsBackToGdi) {
    TPage page(true);
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(0, 0, 50, 50));
    page.P.Record(0x4040, 0); // not a record kind the player knows
    page.W.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
    page.W.Record(EMR_RECTANGLE, {60, 0, 100, 40});
    gdi::TPlayResult result;
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
    EXPECT_EQ(result.PlusUnknown, 1u);
    EXPECT_TRUE(IsWhite(image, 25, 25));
    EXPECT_LT(At(image, 80, 20).lightness(), 40);
}

TEST(EmfPlus, HostileRecordsAreRefusedOneByOne) {
    TPage page;
    // Object ids past 63, counts past the record, continued objects bigger than the picture, deep
    // regions and unbalanced restores: each is refused, the good fill after them is drawn.
    page.P.Record(EmfPlusObject, static_cast<uint16_t>(200 | (EmfPlusObjectBrush << 8)),
                  TEmfPlusData().U32(EmfPlusGraphicsVersion).U32(0).U32(Blue));
    page.P.Record(EmfPlusFillRects, 0, TEmfPlusData().U32(70).U32(1).Rect(0, 0, 100, 100));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Blue).U32(0x7FFFFFFF).Rect(0, 0, 9, 9));
    page.P.Record(EmfPlusFillPolygon, EmfPlusFlagSolidColor, TEmfPlusData().U32(Blue).U32(0xFFFFFFFF));
    page.P.Record(EmfPlusObject, static_cast<uint16_t>(1 | (EmfPlusObjectPath << 8) | EmfPlusFlagContinued),
                  TEmfPlusData().U32(0xFFFFFFF0).U32(0));
    TEmfPlusData deep;
    deep.U32(EmfPlusGraphicsVersion).U32(100);
    for (int i = 0; i < 100; ++i) deep.U32(EmfPlusRegionAnd);
    page.P.Object(2, EmfPlusObjectRegion, deep);
    page.P.Record(EmfPlusRestore, 0, TEmfPlusData().U32(99));
    page.P.Record(EmfPlusSetPageTransform, EmfPlusUnitPixel, TEmfPlusData().F32(0));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(40, 40, 20, 20));
    gdi::TPlayResult result;
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
    EXPECT_GE(result.Damaged, 6u);
    EXPECT_TRUE(IsRed(image, 50, 50));
    EXPECT_TRUE(IsWhite(image, 5, 5));
}

TEST(EmfPlus, BigObjectsArriveInContinuedRecords) {
    TPage page;
    TEmfPlusData path;
    path.U32(EmfPlusGraphicsVersion).U32(4).U32(0);
    for (float v : {20.f, 20.f, 80.f, 20.f, 80.f, 80.f, 20.f, 80.f}) path.F32(v);
    path.U8(0).U8(1).U8(1).U8(0x81);
    page.P.Object(7, EmfPlusObjectPath, path, 12);
    page.P.Record(EmfPlusFillPath, EmfPlusFlagSolidColor | 7, TEmfPlusData().U32(Red));
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    EXPECT_TRUE(IsRed(image, 50, 50));
    EXPECT_TRUE(IsWhite(image, 10, 10));
}

} // namespace
