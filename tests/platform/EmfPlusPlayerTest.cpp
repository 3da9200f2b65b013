// The EMF+ player: pages built with the project's EMF+ writer, probed by pixels and by the trace of
// device calls; the GDI fallback of dual pages; unknown and hostile EMF+ records.

#include "RenderCompare.h"

#include "platform/emf/EmfPlusRecords.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"

#include <gtest/gtest.h>

#include "TestPaths.h"

#include <QBuffer>
#include <QColor>

#include <filesystem>
#include <fstream>
#include <iterator>

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

TEST(EmfPlus, GradientsKeepTheFallbackAndPagesWithoutOneStillDraw) {
    TEmfPlusData gradient;
    gradient.U32(EmfPlusGraphicsVersion).U32(EmfPlusBrushLinearGradient).U32(0).U32(0).Rect(0, 0, 10, 10).U32(Red).U32(Blue).U32(0).U32(0);
    {
        TPage page(true);
        page.P.Object(1, EmfPlusObjectBrush, gradient);
        page.P.Record(EmfPlusFillRects, 0, TEmfPlusData().U32(1).U32(1).Rect(0, 0, 50, 50));
        page.W.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(0x80000000u | BLACK_BRUSH)});
        page.W.Record(EMR_RECTANGLE, {60, 60, 100, 100});
        gdi::TPlayResult result;
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
        EXPECT_EQ(result.PlusUnknown, 1u);
        EXPECT_TRUE(IsWhite(image, 25, 25));
        EXPECT_LT(At(image, 80, 80).lightness(), 40);
    }
    {
        // No GDI records at all: the EMF+ drawing is all there is, so it is drawn (the gradient in
        // its mean colour, the unknown record skipped).
        TPage page(false);
        page.P.Object(1, EmfPlusObjectBrush, gradient);
        page.P.Record(0x4040, 0);
        page.P.Record(EmfPlusFillRects, 0, TEmfPlusData().U32(1).U32(1).Rect(0, 0, 50, 50));
        gdi::TPlayResult result;
        const QImage image = test::RenderEmf(page.Bytes(), 100, 100, &result);
        EXPECT_EQ(result.PlusUnknown, 2u);
        const QColor c = At(image, 25, 25);
        EXPECT_GT(c.red(), 100);
        EXPECT_GT(c.blue(), 100);
    }
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
