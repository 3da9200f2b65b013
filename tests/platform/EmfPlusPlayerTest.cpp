// The EMF+ player: pages built with the project's EMF+ writer, probed by pixels and by the trace of
// device calls; the GDI fallback of dual pages; unknown and hostile EMF+ records.

#include "PdfTestSupport.h"
#include "RenderCompare.h"

#include "platform/emf/EmfPlusLayouts.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include "TestPaths.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QColor>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

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
    template <class T> void Object(uint8_t id, uint8_t type, const T& object) {
        TEmfPlusData d;
        object.Write(d);
        P.Object(id, type, d);
    }
    void SolidBrush(uint8_t id, uint32_t argb) {
        TPlusBrush brush;
        brush.Color = argb;
        Object(id, EmfPlusObjectBrush, brush);
    }
    void Pen(uint8_t id, float width, uint32_t argb, uint32_t lineStyle = 0) {
        TPlusPen pen;
        pen.Flags = lineStyle ? EmfPlusPenLineStyle : 0;
        pen.Unit = EmfPlusUnitPixel, pen.Width = width, pen.LineStyle = lineStyle, pen.Brush.Color = argb;
        Object(id, EmfPlusObjectPen, pen);
    }
    void FillRect(uint32_t brush, TPlusRectF rect, uint16_t flags = 0) {
        P.Record(EmfPlusFillRects, flags, TPlusRects{brush, {rect}}.Data(true, flags));
    }
    void Line(uint8_t pen, std::vector<TPlusPointF> points) {
        P.Record(EmfPlusDrawLines, pen, TPlusPoints{0, 0, 0, 0, std::move(points)}.Data(TPlusPoints::psLines, 0));
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

bool IsBlue(const QImage& i, int x, int y) {
    const QColor c = At(i, x, y);
    return c.blue() > 200 && c.red() < 60 && c.green() < 60;
}
bool IsGreen(const QImage& i, int x, int y) {
    const QColor c = At(i, x, y);
    return c.green() > 200 && c.red() < 60 && c.blue() < 60;
}

// An image object: a bitmap of w x h 32-bit ARGB pixels (top row first).
TEmfPlusData ArgbBitmap(int w, int h, const std::vector<uint32_t>& pixels) {
    TEmfPlusData d;
    d.U32(EmfPlusGraphicsVersion).U32(1).I32(w).I32(h).I32(4 * w).U32(0x0026200A).U32(0);
    for (uint32_t p : pixels) d.U32(p);
    return d;
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
    // The dashed hairline reaches the device as dashes of its own one pixel wide, the 6-pixel pen as a pen of
    // 6 world units (in sixteenths) under a transform of 1/16.
    EXPECT_NE(trace.find("pen=7/0/#0000ff xform=0.0625"), std::string::npos) << trace;
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
    // 12 pixels at 96 dpi: 192 sixteenths of a device pixel.
    EXPECT_NE(trace.find("font=Arial/-192/700"), std::string::npos) << trace;
    EXPECT_NE(trace.find("OK"), std::string::npos) << trace;
    const QImage image = test::RenderEmf(bytes, 100, 100);
    int ink = 0;
    for (int y = 8; y < 30; ++y)
        for (int x = 8; x < 60; ++x) ink += At(image, x, y).lightness() < 128;
    EXPECT_GT(ink, 20);
}

TEST(EmfPlus, FontSizesInPixelsFollowThePageScalePointsDoNot) {
    for (uint32_t unit : {EmfPlusUnitPixel, EmfPlusUnitPoint}) {
        TPage page;
        page.P.Record(EmfPlusSetPageTransform, EmfPlusUnitPixel, TEmfPlusData().F32(0.5f));
        TEmfPlusData font;
        font.U32(EmfPlusGraphicsVersion).F32(24).U32(unit).U32(0).U32(0).U32(5).Text(u"Arial").Pad();
        page.P.Object(1, EmfPlusObjectFont, font);
        page.P.Record(EmfPlusDrawString, EmfPlusFlagSolidColor | 1,
                      TEmfPlusData().U32(0xFF000000).U32(0xFFFFFFFF).U32(1).Rect(20, 20, 0, 0).Text(u"A").Pad());
        const std::string trace = Trace(page.Bytes());
        // Pixels: 24 page units at half scale, 12 device pixels; points: 24 pt, 32 device pixels.
        EXPECT_NE(trace.find(unit == EmfPlusUnitPixel ? "font=Arial/-192/" : "font=Arial/-512/"), std::string::npos)
            << unit << trace;
    }
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

TEST(EmfPlus, PathPointTypesPlainOrRunLengthCoded) {
    // Flag 0x2000, which real files set, leaves the types one byte per point; 0x1000 codes them as
    // runs (count, type).
    TPage page;
    TEmfPlusData plain;
    plain.U32(EmfPlusGraphicsVersion).U32(4).U32(0x2000);
    for (float v : {10.f, 10.f, 40.f, 10.f, 40.f, 40.f, 10.f, 40.f}) plain.F32(v);
    plain.U8(0).U8(1).U8(1).U8(0x81);
    page.P.Object(1, EmfPlusObjectPath, plain);
    page.P.Record(EmfPlusFillPath, EmfPlusFlagSolidColor | 1, TEmfPlusData().U32(Red));
    TEmfPlusData rle;
    rle.U32(EmfPlusGraphicsVersion).U32(4).U32(EmfPlusPathRle | EmfPlusPathCompressed);
    for (int16_t v : {60, 60, 90, 60, 90, 90, 60, 90}) rle.I16(v);
    rle.U8(1).U8(0).U8(2).U8(1).U8(1).U8(0x81).Pad();
    page.P.Object(2, EmfPlusObjectPath, rle);
    page.P.Record(EmfPlusFillPath, EmfPlusFlagSolidColor | 2, TEmfPlusData().U32(Blue));
    gdi::TPlayResult result;
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
    EXPECT_EQ(result.Damaged, 0u);
    EXPECT_TRUE(IsRed(image, 25, 25));
    EXPECT_TRUE(IsBlue(image, 75, 75));
    EXPECT_TRUE(IsWhite(image, 50, 50));
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

TEST(EmfPlus, ImagesBitmapsCompressedAndMetafiles) {
    TPage page;
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(10, 10, 40, 40));
    // 4 x 4 blue pixels with a transparent 2 x 2 hole: the red rectangle shows through it.
    std::vector<uint32_t> pixels(16, Blue);
    for (int i : {5, 6, 9, 10}) pixels[i] = 0x000000FF;
    page.P.Object(1, EmfPlusObjectImage, ArgbBitmap(4, 4, pixels), 40); // continued records
    page.P.Record(EmfPlusDrawImage, 1,
                  TEmfPlusData().U32(0).U32(EmfPlusUnitPixel).Rect(0, 0, 4, 4).Rect(10, 10, 40, 40));
    // A PNG, drawn onto a parallelogram mirrored left to right.
    QImage green(2, 2, QImage::Format_RGB32);
    green.fill(QColor(0, 255, 0));
    green.setPixel(0, 0, qRgb(0, 0, 255)); // upper left pixel, drawn at the upper right
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    green.save(&buffer, "PNG");
    TEmfPlusData compressed;
    compressed.U32(EmfPlusGraphicsVersion).U32(1).I32(2).I32(2).I32(0).U32(0x0026200A).U32(1);
    compressed.Bytes(std::span(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size()))).Pad();
    page.P.Object(2, EmfPlusObjectImage, compressed);
    page.P.Record(EmfPlusDrawImagePoints, 2,
                  TEmfPlusData().U32(0).U32(EmfPlusUnitPixel).Rect(0, 0, 2, 2).U32(3).F32(90).F32(10).F32(60).F32(10).F32(90).F32(40));
    // An EMF inside: a black rectangle over its whole frame.
    TEmfWriter inner(50, 50);
    inner.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
    inner.Record(EMR_RECTANGLE, {0, 0, 50, 50});
    const auto innerBytes = inner.Finish();
    TEmfPlusData metafile;
    metafile.U32(EmfPlusGraphicsVersion).U32(2).U32(3).U32(static_cast<uint32_t>(innerBytes.size())).Bytes(innerBytes).Pad();
    page.P.Object(3, EmfPlusObjectImage, metafile);
    page.P.Record(EmfPlusDrawImage, 3,
                  TEmfPlusData().U32(0).U32(EmfPlusUnitPixel).Rect(0, 0, 50, 50).Rect(10, 60, 30, 30));
    const auto bytes = page.Bytes();
    gdi::TPlayResult result;
    const QImage image = test::RenderEmf(bytes, 100, 100, &result);
    EXPECT_EQ(result.PlusUnknown, 0u);
    EXPECT_EQ(result.Damaged, 0u);
    EXPECT_TRUE(IsBlue(image, 14, 14));
    EXPECT_TRUE(IsRed(image, 30, 30)); // the hole
    EXPECT_TRUE(IsBlue(image, 45, 45));
    EXPECT_TRUE(IsBlue(image, 85, 15)); // mirrored: the blue pixel at the upper right
    EXPECT_TRUE(IsGreen(image, 65, 15));
    EXPECT_TRUE(IsGreen(image, 85, 35));
    EXPECT_LT(At(image, 25, 75).lightness(), 40);
    EXPECT_TRUE(IsWhite(image, 45, 75));
    const std::string trace = Trace(bytes);
    EXPECT_NE(trace.find("dib dest=0,0,4096,4096 src=0,0,4,4"), std::string::npos) << trace;
    EXPECT_NE(trace.find("alpha=255"), std::string::npos) << trace;
}

TEST(EmfPlus, ImagesOfKindsNotDrawnKeepTheFallback) {
    // A WMF image and a 48-bit bitmap: the dual page plays its GDI records.
    for (uint32_t kind : {0u, 1u}) {
        TPage page(true);
        TEmfPlusData d;
        if (kind == 0) d.U32(EmfPlusGraphicsVersion).U32(2).U32(1).U32(4).U32(0);
        else d.U32(EmfPlusGraphicsVersion).U32(1).I32(1).I32(1).I32(8).U32(0x0010300C).U32(0).U32(0).U32(0);
        page.P.Object(1, EmfPlusObjectImage, d);
        page.W.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
        page.W.Record(EMR_RECTANGLE, {0, 0, 50, 50});
        gdi::TPlayResult result;
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
        EXPECT_EQ(result.PlusUnknown, 1u) << kind;
        EXPECT_LT(At(image, 25, 25).lightness(), 40) << kind;
    }
}

TEST(EmfPlus, ClearPiesPathsAndHatches) {
    TPage page;
    page.P.Record(EmfPlusClear, 0, TEmfPlusData().U32(0xFFFFFF00)); // yellow page
    page.Pen(2, 4, Blue);
    page.P.Record(EmfPlusDrawPie, 2, TEmfPlusData().F32(0).F32(90).Rect(10, 10, 40, 40));
    TEmfPlusData path;
    path.U32(EmfPlusGraphicsVersion).U32(2).U32(EmfPlusPathCompressed).I16(60).I16(20).I16(95).I16(20);
    path.U8(EmfPlusPathStart).U8(EmfPlusPathLine).Pad();
    page.P.Object(4, EmfPlusObjectPath, path);
    page.P.Record(EmfPlusDrawPath, 4, TEmfPlusData().U32(2));
    // A horizontal hatch, red lines on an opaque white back.
    page.P.Object(5, EmfPlusObjectBrush,
                  TEmfPlusData().U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushHatch).U32(gdi::HS_HORIZONTAL).U32(Red).U32(0xFFFFFFFF));
    page.P.Record(EmfPlusFillRects, 0, TEmfPlusData().U32(5).U32(1).Rect(10, 60, 80, 30));
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    const QColor yellow(255, 255, 0);
    EXPECT_EQ(At(image, 5, 5), yellow);
    EXPECT_TRUE(IsBlue(image, 30, 30) || IsBlue(image, 31, 31) || IsBlue(image, 30, 31)); // the pie's radius
    EXPECT_EQ(At(image, 45, 15), yellow);                   // outside the lower right quarter
    EXPECT_TRUE(IsBlue(image, 80, 20));
    int red = 0, white = 0;
    for (int y = 60; y < 90; ++y) red += IsRed(image, 50, y), white += IsWhite(image, 50, y);
    EXPECT_GT(red, 2);
    EXPECT_GT(white, 10);
}

TEST(EmfPlus, PenCapsJoinsAndUnitsReachTheDevice) {
    TPage page;
    TEmfPlusData pen;
    pen.U32(EmfPlusGraphicsVersion).U32(0).U32(EmfPlusPenStartCap | EmfPlusPenEndCap | EmfPlusPenJoin)
        .U32(EmfPlusUnitMillimeter).F32(2).U32(2).U32(2).U32(2);
    pen.U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushSolid).U32(Red);
    page.P.Object(1, EmfPlusObjectPen, pen);
    page.P.Record(EmfPlusDrawLines, 1, TEmfPlusData().U32(3).F32(20).F32(50).F32(50).F32(20).F32(80).F32(50));
    const auto bytes = page.Bytes();
    const std::string trace = Trace(bytes);
    // 2 mm at 96 dpi: 7.56 pixels, 121 sixteenths.
    EXPECT_NE(trace.find("pen=0/121/#ff0000"), std::string::npos) << trace;
    const QImage image = test::RenderEmf(bytes, 100, 100);
    EXPECT_TRUE(IsRed(image, 50, 23));
    // The round join reaches 3.8 pixels above the apex at (50, 20); a mitre would reach 5.3.
    EXPECT_TRUE(IsRed(image, 50, 17));
    EXPECT_FALSE(IsRed(image, 50, 15));
    // Round caps reach past the line's ends.
    EXPECT_TRUE(IsRed(image, 18, 50) || IsRed(image, 18, 51));
}

TEST(EmfPlus, TransformRecordsAndPageUnits) {
    TPage page;
    // Rotation by 90 degrees about the origin, then a translation after it: (10..20, 0..10) lands at
    // (70..80, 10..20).
    page.P.Record(EmfPlusRotateWorldTransform, 0, TEmfPlusData().F32(90));
    page.P.Record(EmfPlusTranslateWorldTransform, EmfPlusFlagAppend, TEmfPlusData().F32(80).F32(0));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(10, 0, 10, 10));
    page.P.Record(EmfPlusResetWorldTransform, 0);
    page.P.Record(EmfPlusMultiplyWorldTransform, 0, TEmfPlusData().F32(1).F32(0).F32(0).F32(1).F32(0).F32(40));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Blue).U32(1).Rect(0, 0, 10, 10));
    page.P.Record(EmfPlusResetWorldTransform, 0);
    // A container mapping (0, 0, 10, 10) onto (40, 40, 20, 20).
    page.P.Record(EmfPlusBeginContainer, EmfPlusUnitPixel << 8,
                  TEmfPlusData().Rect(40, 40, 20, 20).Rect(0, 0, 10, 10).U32(7));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Green).U32(1).Rect(0, 0, 10, 10));
    page.P.Record(EmfPlusEndContainer, 0, TEmfPlusData().U32(7));
    // Millimetres: 10 mm at 96 dpi is 37.8 pixels.
    page.P.Record(EmfPlusSetPageTransform, EmfPlusUnitMillimeter, TEmfPlusData().F32(1));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(0, 20, 10, 5));
    // The hint records change nothing drawn and keep the page on EMF+.
    for (uint16_t hint : {EmfPlusSetAntiAliasMode, EmfPlusSetTextRenderingHint, EmfPlusSetCompositingMode,
                          EmfPlusSetPixelOffsetMode, EmfPlusSetInterpolationMode})
        page.P.Record(hint, 1);
    gdi::TPlayResult result;
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
    EXPECT_EQ(result.PlusUnknown, 0u);
    EXPECT_TRUE(IsRed(image, 75, 15));
    EXPECT_TRUE(IsWhite(image, 15, 5));
    EXPECT_TRUE(IsBlue(image, 5, 45));
    EXPECT_TRUE(IsGreen(image, 58, 58));
    EXPECT_TRUE(IsWhite(image, 62, 62));
    EXPECT_TRUE(IsRed(image, 36, 80));
    EXPECT_TRUE(IsWhite(image, 40, 80));
}

TEST(EmfPlus, ClipPathsRegionsAndOffsets) {
    TPage page;
    TEmfPlusData path;
    path.U32(EmfPlusGraphicsVersion).U32(4).U32(0);
    for (float v : {0.f, 0.f, 50.f, 0.f, 50.f, 50.f, 0.f, 50.f}) path.F32(v);
    path.U8(0).U8(1).U8(1).U8(0x81);
    page.P.Object(1, EmfPlusObjectPath, path);
    TEmfPlusData region;
    region.U32(EmfPlusGraphicsVersion).U32(0).U32(EmfPlusRegionRect).Rect(25, 25, 50, 50);
    page.P.Object(2, EmfPlusObjectRegion, region);
    // The path's square, intersected (mode 1) with the region: (25..50, 25..50).
    page.P.Record(EmfPlusSetClipPath, 1);
    page.P.Record(EmfPlusSetClipRegion, 2 | (1 << 8));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(0, 0, 100, 100));
    // Moved by 40, 40: (65..90, 65..90).
    page.P.Record(EmfPlusOffsetClip, 0, TEmfPlusData().F32(40).F32(40));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Blue).U32(1).Rect(0, 0, 100, 100));
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    EXPECT_TRUE(IsRed(image, 40, 40));
    EXPECT_TRUE(IsWhite(image, 20, 20));
    EXPECT_TRUE(IsWhite(image, 60, 60));
    EXPECT_TRUE(IsBlue(image, 80, 80));
    EXPECT_TRUE(IsWhite(image, 95, 95));
}

TPlusBrush Linear(TPlusRectF rect, uint32_t from, uint32_t to, uint32_t wrap = 0) {
    TPlusBrush b;
    b.Type = EmfPlusBrushLinearGradient, b.Rect = rect, b.Color = from, b.Back = to, b.Wrap = wrap;
    return b;
}

TPlusBrush Radial(float focus) {
    TPlusBrush b;
    b.Type = EmfPlusBrushPathGradient, b.Color = Red, b.Center = {50, 50}, b.Surround = {Blue};
    b.BoundaryPoints = {{10, 10}, {90, 10}, {90, 90}, {10, 90}};
    if (focus > 0) b.Flags = EmfPlusBrushDataFocusScales, b.FocusX = b.FocusY = focus;
    return b;
}

// A texture of 4 x 4 pixels in 2 x 2 blocks: red, blue above green, white.
TPlusBrush Texture(uint32_t wrap, std::optional<TPlusMatrix> transform = {}) {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> v;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) {
                const uint32_t c = y < 2 ? (x < 2 ? Red : Blue) : (x < 2 ? Green : 0xFFFFFFFF);
                for (int shift : {0, 8, 16, 24}) v.push_back(static_cast<uint8_t>(c >> shift));
            }
        return v;
    }();
    TPlusImage image;
    image.Width = image.Height = 4, image.Stride = 16, image.PixelFormat = 0x0026200A, image.Data = pixels;
    TPlusBrush b;
    b.Type = EmfPlusBrushTexture, b.Wrap = wrap, b.Image = std::make_shared<const TPlusImage>(image);
    if (transform) b.Flags = EmfPlusBrushDataTransform, b.Transform = *transform;
    return b;
}

struct TProbe {
    int X, Y;
    uint32_t Rgb; // expected within 28 per channel
};

bool Near(const QColor& c, uint32_t rgb) {
    return std::abs(c.red() - static_cast<int>((rgb >> 16) & 0xFF)) <= 28 &&
           std::abs(c.green() - static_cast<int>((rgb >> 8) & 0xFF)) <= 28 &&
           std::abs(c.blue() - static_cast<int>(rgb & 0xFF)) <= 28;
}

TEST(EmfPlus, GradientAndTextureBrushesFillWithTheirColours) {
    // Each brush fills (10, 10, 80, 80) of its own page, drawn by the painter and by the PDF device.
    struct TCase {
        const char* Name;
        TPlusBrush Brush;
        std::vector<TProbe> Probes;
    };
    TPlusBrush preset = Linear({10, 0, 80, 10}, 0, 0);
    preset.Flags = EmfPlusBrushDataPresetColors, preset.BlendPositions = {0, 0.5f, 1}, preset.PresetColors = {Red, Green, Blue};
    TPlusBrush factors = Linear({10, 0, 80, 10}, Red, Blue);
    factors.Flags = EmfPlusBrushDataBlendFactorsH, factors.BlendPositions = {0, 0.5f, 1}, factors.BlendFactors = {0, 0, 1};
    TPlusBrush turned = Linear({10, 0, 80, 1}, Red, Blue);
    turned.Flags = EmfPlusBrushDataTransform, turned.Transform = {0, 1, -1, 0, 0, 0}; // along y
    TPlusBrush gamma = Linear({10, 0, 80, 10}, Red, Blue);
    gamma.Flags = 0x80;
    const std::vector<TCase> cases = {
        {"linear", Linear({10, 0, 80, 10}, Red, Blue), {{12, 50, 0xF70008}, {50, 50, 0x800080}, {88, 20, 0x0800F7}}},
        {"preset colours", preset, {{12, 50, 0xFF0000}, {50, 50, 0x00FF00}, {88, 50, 0x0000FF}}},
        {"blend factors", factors, {{40, 50, 0xFF0000}, {70, 50, 0x7F007F}}},
        {"transformed", turned, {{50, 12, 0xF70008}, {20, 50, 0x800080}, {80, 50, 0x800080}}},
        {"gamma corrected", gamma, {{50, 50, 0xBA00BA}}},
        {"tiled", Linear({10, 0, 20, 10}, Red, Blue, 0), {{11, 50, 0xFF0000}, {31, 50, 0xFF0000}, {29, 50, 0x0000FF}}},
        {"mirrored", Linear({10, 0, 20, 10}, Red, Blue, 1), {{11, 50, 0xFF0000}, {31, 50, 0x0000FF}, {49, 50, 0xFF0000}}},
        {"path gradient", Radial(0), {{50, 50, 0xFF0000}, {30, 50, 0x800080}, {11, 50, 0x0000FF}}},
        {"focus scales", Radial(0.5f), {{35, 50, 0xFF0000}, {50, 65, 0xFF0000}, {11, 50, 0x0000FF}}},
        {"texture", Texture(0), {{20, 20, 0xFF0000}, {22, 20, 0x0000FF}, {20, 22, 0x00FF00}, {22, 22, 0xFFFFFF}}},
        {"texture mirrored", Texture(1), {{20, 20, 0x0000FF}, {22, 20, 0xFF0000}, {24, 20, 0xFF0000}}},
        {"texture once", Texture(4, TPlusMatrix{5, 0, 0, 5, 40, 40}), {{45, 45, 0xFF0000}, {55, 45, 0x0000FF}, {80, 80, 0xFFFFFF}}},
    };
    const bool pdf = test::HaveTool("pdftoppm");
    QTemporaryDir dir;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPage page;
        page.Object(1, EmfPlusObjectBrush, c.Brush);
        page.FillRect(1, {10, 10, 80, 80});
        const auto bytes = page.Bytes();
        gdi::TPlayResult result;
        const QImage painted = test::RenderEmf(bytes, 100, 100, &result);
        EXPECT_EQ(result.PlusUnknown, 0u);
        EXPECT_EQ(result.Damaged, 0u);
        std::vector<std::pair<const char*, QImage>> drawn{{"painter", painted}};
        if (pdf) {
            const TEmfPicture picture(bytes);
            const std::string file = dir.filePath(QStringLiteral("brush.pdf")).toStdString();
            ASSERT_EQ(test::WritePdfPages({&picture}, file), 0);
            drawn.emplace_back("pdf", test::RasterisePdf(file, 1, 100, 100));
        }
        for (const auto& [device, image] : drawn)
            for (const TProbe& p : c.Probes)
                EXPECT_TRUE(Near(At(image, p.X, p.Y), p.Rgb))
                    << device << " at " << p.X << "," << p.Y << ": " << At(image, p.X, p.Y).name().toStdString();
    }
}

TEST(EmfPlus, EveryHatchStyleDrawsItsPattern) {
    // Black on white over the page: the device pixels repeat the style's 8 x 8 cell (GDI's own six
    // hatches are Qt's patterns, which match the cell's share of ink).
    for (uint32_t hatch = 0; hatch <= gdi::HatchStyleLast; ++hatch) {
        SCOPED_TRACE(hatch);
        TPage page;
        TPlusBrush brush;
        brush.Type = EmfPlusBrushHatch, brush.Hatch = hatch, brush.Color = 0xFF000000, brush.Back = 0xFFFFFFFF;
        page.Object(1, EmfPlusObjectBrush, brush);
        page.FillRect(1, {0, 0, 100, 100});
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
        const uint8_t* rows = gdi::HatchRows(hatch);
        int wrong = 0, ink = 0, expected = 0;
        for (int y = 16; y < 32; ++y)
            for (int x = 16; x < 32; ++x) {
                const bool set = rows[y % 8] & (0x80 >> (x % 8)), dark = At(image, x, y).lightness() < 128;
                wrong += set != dark, ink += dark, expected += set;
            }
        if (hatch > gdi::HS_DIAGCROSS)
            EXPECT_EQ(wrong, 0);
        else
            EXPECT_NEAR(ink, expected, 8);
    }
}

TEST(EmfPlus, DashArraysAndOffsetsPlaceTheDashes) {
    // A line 2 pixels wide from x = 20 along y = 50; each character is a pixel of the line from x = 20:
    // '#' ink, '.' none (pixels at a dash's edge are not looked at).
    struct TCase {
        const char* Name;
        uint32_t LineStyle;
        std::vector<float> Dashes;
        float Offset;
        const char* Expected;
    };
    const std::vector<TCase> cases = {
        {"custom array", 5, {2, 2}, 0, "####....####....####"},
        {"offset by a pen width", 5, {2, 2}, 1, "##....####....####.."},
        {"odd array repeats swapped", 5, {1, 2, 3}, 0, "##....######..####.."},
        {"stock dash", 1, {}, 0, "######..######..####"},
        {"stock dash dot", 3, {}, 0, "######..##..######.."},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPage page;
        TPlusPen pen;
        pen.Flags = EmfPlusPenLineStyle | EmfPlusPenDashedLineOffset;
        pen.Unit = EmfPlusUnitPixel, pen.Width = 2, pen.LineStyle = c.LineStyle, pen.DashArray = c.Dashes;
        pen.DashOffset = c.Offset, pen.Brush.Color = 0xFF000000;
        page.Object(1, EmfPlusObjectPen, pen);
        page.Line(1, {{20, 50}, {60, 50}});
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
        const std::string expected = c.Expected;
        for (size_t i = 1; i + 1 < expected.size(); ++i) {
            if (expected[i - 1] != expected[i] || expected[i + 1] != expected[i]) continue;
            const int x = 20 + static_cast<int>(i);
            EXPECT_EQ(At(image, x, 50).lightness() < 128, expected[i] == '#') << "x = " << x;
        }
    }
}

TEST(EmfPlus, LineCapsDrawArrowsAnchorsAndPaths) {
    // A line from (20, 50) to (70, 50); each case probes where its cap puts ink (or leaves none).
    struct TCase {
        const char* Name;
        float Width;
        int32_t Start, End;
        std::optional<TPlusCustomLineCap> Custom; // the end cap
        std::vector<std::pair<QPoint, bool>> Probes;
    };
    TPlusCustomLineCap arrow;
    arrow.Type = 1, arrow.Width = 4, arrow.Height = 4, arrow.FillState = 1;
    TPlusCustomLineCap open = arrow;
    open.FillState = 0, open.Width = open.Height = 8;
    TPlusCustomLineCap square;
    square.FillPath = TPlusPath{0, {{-1, 0}, {1, 0}, {1, 2}, {-1, 2}}, {0, 1, 1, 0x81}};
    const std::vector<TCase> cases = {
        {"flat", 6, 0, 0, {}, {{{17, 50}, false}, {{73, 50}, false}, {{40, 50}, true}}},
        {"arrow anchor", 6, 0, 0x14, {}, {{{61, 46}, true}, {{72, 50}, false}, {{61, 44}, false}}},
        {"adjustable arrow", 2, 0, 0xFF, arrow, {{{63, 47}, true}, {{63, 52}, true}, {{72, 50}, false}}},
        {"open arrow", 2, 0, 0xFF, open, {{{60, 45}, true}, {{60, 47}, false}, {{60, 53}, false}}},
        {"round anchor at the start", 4, 0x12, 0, {}, {{{17, 50}, true}, {{20, 47}, true}, {{73, 50}, false}}},
        {"square path cap", 3, 0, 0xFF, square, {{{74, 50}, true}, {{74, 45}, false}}},
        {"triangle", 6, 0, 3, {}, {{{72, 50}, true}, {{72, 47}, false}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPage page;
        TPlusPen pen;
        pen.Flags = EmfPlusPenStartCap | EmfPlusPenEndCap;
        pen.Unit = EmfPlusUnitPixel, pen.Width = c.Width, pen.StartCap = c.Start, pen.EndCap = c.End;
        pen.CustomEndCap = c.Custom, pen.Brush.Color = 0xFF000000;
        page.Object(1, EmfPlusObjectPen, pen);
        page.Line(1, {{20, 50}, {70, 50}});
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
        for (const auto& [at, ink] : c.Probes)
            EXPECT_EQ(At(image, at.x(), at.y()).lightness() < 128, ink) << at.x() << "," << at.y();
    }
}

TEST(EmfPlus, NestedContainersMapTheirRectanglesInTheirUnits) {
    TPage page;
    // The outer container puts its 100 x 100 units onto half an inch from a quarter inch (24..72 px).
    page.P.Record(EmfPlusBeginContainer, EmfPlusUnitInch << 8,
                  TPlusBeginContainer{{0.25f, 0.25f, 0.5f, 0.5f}, {0, 0, 100, 100}, 1}.Data());
    page.FillRect(0xFFFF0000, {0, 0, 100, 100}, EmfPlusFlagSolidColor);
    page.P.Record(EmfPlusSetClipRect, 0, TPlusSetClipRect{{0, 0, 50, 100}}.Data()); // x up to 48 px
    // The inner one puts 10 units onto an inch (25.4 mm) of the outer container's page units: 46 px.
    page.P.Record(EmfPlusBeginContainer, EmfPlusUnitMillimeter << 8,
                  TPlusBeginContainer{{0, 0, 25.4f, 25.4f}, {0, 0, 10, 10}, 2}.Data());
    page.P.Record(EmfPlusResetClip, 0); // back to the clip the container began with, not to none
    page.FillRect(Blue, {0, 0, 10, 10}, EmfPlusFlagSolidColor);
    page.P.Record(EmfPlusEndContainer, 0, TPlusValue{2}.Data());
    page.P.Record(EmfPlusEndContainer, 0, TPlusValue{1}.Data());
    page.FillRect(Green, {80, 80, 10, 10}, EmfPlusFlagSolidColor);
    const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
    EXPECT_TRUE(IsBlue(image, 30, 30));
    EXPECT_TRUE(IsBlue(image, 44, 44));
    EXPECT_TRUE(IsRed(image, 60, 30));
    EXPECT_TRUE(IsRed(image, 60, 65));
    EXPECT_TRUE(IsWhite(image, 76, 30));
    EXPECT_TRUE(IsWhite(image, 20, 20));
    EXPECT_TRUE(IsGreen(image, 85, 85));
}

TEST(EmfPlus, DrawingPassesThePageGuard) {
    // A figure far off the page is dropped; one reaching past the bound is cut; a polygon of more points
    // than the page's budget stops the page as over budget.
    TPage page;
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(5e8f, 5e8f, 10, 10));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(-1e8f, 40, 2e8f, 20));
    TEmfPlusData many;
    const uint32_t n = 20000;
    many.U32(Blue).U32(n);
    for (uint32_t i = 0; i < n; ++i) many.I16(static_cast<int16_t>(i % 100)).I16(static_cast<int16_t>(i % 7));
    page.P.Record(EmfPlusFillPolygon, EmfPlusFlagSolidColor | EmfPlusFlagCompressed, many);
    const auto bytes = page.Bytes();
    gdi::TTraceDevice trace;
    gdi::TPlayOptions options;
    options.Limits.Points = 10000;
    const auto result = gdi::TEmfPlayer::Play(bytes, trace, options);
    EXPECT_EQ(result.Work.Dropped, 1u);
    EXPECT_TRUE(result.OverBudget);
    EXPECT_FALSE(result.Complete);
    const QImage image = test::RenderEmf(bytes, 100, 100);
    EXPECT_TRUE(IsRed(image, 50, 50));
}

TEST(EmfPlus, TinyWorldUnitsStillDraw) {
    // Office writes charts in world units of some 1e-5 pixels: coordinates of tens of millions under
    // a tiny world scale. Outlines, fills and text are drawn where they belong.
    TPage page;
    const float u = 1e5f; // world units per pixel
    page.P.Record(EmfPlusSetWorldTransform, 0, TEmfPlusData().F32(1 / u).F32(0).F32(0).F32(1 / u).F32(0).F32(0));
    TEmfPlusData pen;
    pen.U32(EmfPlusGraphicsVersion).U32(0).U32(0).U32(EmfPlusUnitWorld).F32(2 * u);
    pen.U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushSolid).U32(Blue);
    page.P.Object(1, EmfPlusObjectPen, pen);
    page.P.Record(EmfPlusDrawRects, 1, TEmfPlusData().U32(1).Rect(10 * u, 10 * u, 80 * u, 80 * u));
    page.P.Record(EmfPlusFillRects, EmfPlusFlagSolidColor, TEmfPlusData().U32(Red).U32(1).Rect(30 * u, 30 * u, 20 * u, 20 * u));
    TEmfPlusData font;
    font.U32(EmfPlusGraphicsVersion).F32(14 * u).U32(EmfPlusUnitWorld).U32(0).U32(0).U32(5).Text(u"Arial").Pad();
    page.P.Object(2, EmfPlusObjectFont, font);
    page.P.Record(EmfPlusDrawString, EmfPlusFlagSolidColor | 2,
                  TEmfPlusData().U32(0xFF000000).U32(0xFFFFFFFF).U32(4).Rect(55 * u, 55 * u, 0, 0).Text(u"Text").Pad());
    const auto bytes = page.Bytes();
    const QImage image = test::RenderEmf(bytes, 100, 100);
    EXPECT_TRUE(IsBlue(image, 50, 10) || IsBlue(image, 50, 11));
    EXPECT_TRUE(IsBlue(image, 10, 50) || IsBlue(image, 11, 50));
    EXPECT_TRUE(IsWhite(image, 50, 20));
    EXPECT_TRUE(IsRed(image, 40, 40));
    int ink = 0;
    for (int y = 55; y < 75; ++y)
        for (int x = 55; x < 88; ++x) ink += At(image, x, y).lightness() < 128;
    EXPECT_GT(ink, 15);
    // Text reaches the device as a 14-pixel font, not one clamped to some limit.
    const std::string trace = Trace(bytes);
    EXPECT_NE(trace.find("font=Arial/-224/"), std::string::npos) << trace;
}

TEST(EmfPlus, LinesOneAndAHalfPixelsWideCoverAPixelAtEveryOffset) {
    // Flat-capped pens of 2 world units under a page scale of 0.75 (a page written at 96 dpi drawn at
    // 72): 1.5 device pixels, 24 sixteenths under the device's 1/16 transform. Vertical lines of no
    // width and horizontal ones of no height, stepped across a pixel in sixteenths, with and without
    // antialiasing: each puts at least a pixel's worth of ink across the line, at least half of a
    // pixel in one column or row, and none two pixels away.
    constexpr double Scale = 0.75;
    for (const bool smooth : {false, true}) {
        TPage page;
        page.P.Record(EmfPlusSetPageTransform, EmfPlusUnitPixel, TEmfPlusData().F32(static_cast<float>(Scale)));
        page.P.Record(EmfPlusSetAntiAliasMode, smooth ? 1 : 0);
        TEmfPlusData pen;
        pen.U32(EmfPlusGraphicsVersion).U32(0).U32(0).U32(EmfPlusUnitWorld).F32(2);
        pen.U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushSolid).U32(0xFF000000);
        page.P.Object(1, EmfPlusObjectPen, pen);
        std::vector<double> at; // device positions of the lines' centres
        for (int i = 0; i < 16; ++i) {
            const double d = 8 + 5 * i + i / 16.0;
            at.push_back(d);
            const float w = static_cast<float>(d / Scale);
            page.P.Record(EmfPlusDrawLines, 1, TEmfPlusData().U32(2).F32(w).F32(10 / Scale).F32(w).F32(40 / Scale));
            page.P.Record(EmfPlusDrawLines, 1, TEmfPlusData().U32(2).F32(10 / Scale).F32(w).F32(40 / Scale).F32(w));
        }
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100);
        auto ink = [&](int x, int y) { return (255 - At(image, x, y).lightness()) / 255.0; };
        for (const double d : at) {
            // Strokes land half a pixel on, on GDI's pixel centres.
            const int c = static_cast<int>(std::floor(d + 0.5));
            for (const bool vertical : {true, false}) {
                double total = 0, most = 0;
                for (int k = c - 1; k <= c + 1; ++k) {
                    const double v = vertical ? ink(k, 25) : ink(25, k);
                    total += v;
                    most = std::max(most, v);
                }
                const double beyond = vertical ? std::max(ink(c - 2, 25), ink(c + 2, 25))
                                               : std::max(ink(25, c - 2), ink(25, c + 2));
                const auto where = testing::Message() << (vertical ? "vertical" : "horizontal") << " at " << d
                                                      << (smooth ? " smooth" : " aliased");
                EXPECT_GE(total, 0.95) << where;
                EXPECT_LE(total, 2.05) << where;
                EXPECT_GE(most, 0.5) << where;
                EXPECT_LT(beyond, 0.05) << where;
            }
        }
    }
}

TEST(EmfPlus, APictureInsideSharesThePageBudget) {
    // An EMF image drawn 50 times, each drawing a rectangle: with a budget of fewer points than that
    // takes, the page ends over budget instead of granting every picture inside a budget of its own.
    TEmfWriter inner(10, 10);
    inner.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
    inner.Record(EMR_RECTANGLE, {0, 0, 10, 10});
    const auto innerBytes = inner.Finish();
    TPage page;
    TEmfPlusData metafile;
    metafile.U32(EmfPlusGraphicsVersion).U32(2).U32(3).U32(static_cast<uint32_t>(innerBytes.size())).Bytes(innerBytes).Pad();
    page.P.Object(1, EmfPlusObjectImage, metafile);
    for (int i = 0; i < 50; ++i)
        page.P.Record(EmfPlusDrawImage, 1, TEmfPlusData().U32(0).U32(EmfPlusUnitPixel).Rect(0, 0, 10, 10).Rect(i, i, 10, 10));
    gdi::TTraceDevice trace;
    gdi::TPlayOptions options;
    options.Limits.Points = 100;
    const auto result = gdi::TEmfPlayer::Play(page.Bytes(), trace, options);
    EXPECT_TRUE(result.OverBudget);
    EXPECT_FALSE(result.Complete);
    const std::string text = trace.Text();
    const auto drawn = std::count(text.begin(), text.end(), '\n');
    EXPECT_GT(drawn, 0);
    EXPECT_LT(drawn, 50);
}

std::vector<uint8_t> CorpusFile(const std::string& rel) {
    const auto dir = test::CorpusDir();
    if (dir.empty()) return {};
    std::ifstream in(dir / "emf" / rel, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}
QImage CorpusReference(const std::string& rel) {
    std::filesystem::path p = test::CorpusDir() / "reference" / rel;
    p.replace_extension(".png");
    return QImage(QString::fromStdString(p.string()));
}

TEST(EmfPlusCorpus, AnEmfPlusOnlyPageIsDrawnFromItsEmfPlusRecords) {
    // A test page of EMF+ records alone (no GDI records beside them): blank before this player.
    const std::string rel = "libuemf/test_libuemf_p_ref.emf";
    const auto bytes = CorpusFile(rel);
    if (bytes.empty()) GTEST_SKIP() << "corpus not present";
    const QImage reference = CorpusReference(rel);
    ASSERT_FALSE(reference.isNull());
    gdi::TPlayResult result;
    const QImage ours = test::RenderEmf(bytes, reference.width(), reference.height(), &result);
    EXPECT_GT(result.PlusRecords, 2000u);
    EXPECT_LE(result.Damaged, 2u);
    EXPECT_TRUE(result.Complete);
    const double score = test::InkAgreement(ours, reference);
    std::printf("%s: ink agreement %.3f, %u EMF+ records, %u unknown\n", rel.c_str(), score, result.PlusRecords,
                result.PlusUnknown);
    EXPECT_GT(score, 0.5);
}

TEST(EmfPlusCorpus, ADualPageIsDrawnFromEmfPlusNotItsFallback) {
    // A line drawn by EMF+ with its GDI fallback beside it: the EMF+ records are drawn, the fallback's
    // records skipped, and the picture agrees with the reference.
    const std::string rel = "libreoffice/LibreOffice_TestDrawLine.emf";
    const auto bytes = CorpusFile(rel);
    if (bytes.empty()) GTEST_SKIP() << "corpus not present";
    const QImage reference = CorpusReference(rel);
    ASSERT_FALSE(reference.isNull());
    gdi::TPlayResult result;
    const QImage ours = test::RenderEmf(bytes, reference.width(), reference.height(), &result);
    EXPECT_EQ(result.PlusUnknown, 0u);
    EXPECT_GE(result.PlusRecords, 10u);
    EXPECT_GT(test::InkAgreement(ours, reference), 0.9);
    gdi::TTraceDevice trace;
    gdi::TPlayOptions options;
    gdi::TEmfPlayer::Play(bytes, trace, options);
    // A diagram whose GDI fallback draws its outlines about twice as thick: from EMF+ they are as thin
    // as the reference's (agreement 0.79 from the fallback).
    {
        const std::string diagram = "libemf2svg-ea/EA-test-file-101.emf";
        const auto page = CorpusFile(diagram);
        const QImage ref = CorpusReference(diagram);
        ASSERT_FALSE(ref.isNull());
        gdi::TPlayResult played;
        const QImage drawn = test::RenderEmf(page, ref.width(), ref.height(), &played);
        EXPECT_EQ(played.PlusUnknown, 0u);
        EXPECT_GT(test::InkAgreement(drawn, ref), 0.95);
    }
    // Only EMF+ drawing reaches the device: one stroke of the DrawLines record.
    const std::string text = trace.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

} // namespace
