// The EMF+ record and object layouts: each is read back from the bytes its writer made and written
// again to the same bytes, and is refused when it is cut short.

#include "platform/emf/EmfPlusLayouts.h"

#include <gtest/gtest.h>

#include <functional>

using namespace pagimo::emf;

namespace {

using TBytes = std::vector<uint8_t>;

struct TRow {
    const char* Name;
    TBytes Bytes;
    std::function<TBytes(const TRecordReader&)> Again; // read, then written again
    size_t Fixed;                                      // the fixed part: one byte less is refused
    size_t Needed;                                     // the bytes that count (0: all)
};

template <class T> TRow Object(const char* name, const T& value, size_t needed = 0) {
    TEmfPlusData d;
    value.Write(d);
    return {name, d.Get(),
            [](const TRecordReader& r) {
                TEmfPlusData e;
                T::Read(r, 0).Write(e);
                return e.Get();
            },
            T::Size, needed};
}

// A record of type and flags whose data data() gives; read() reads it back as its layout and gives
// the layout's data again.
TRow Record(const char* name, uint16_t type, uint16_t flags, const TEmfPlusData& data, size_t fixed,
            std::function<TEmfPlusData(const TRecordReader&)> read, size_t needed = 0) {
    return {name, PlusRecordBytes(type, flags, data.Get()),
            [=](const TRecordReader& r) { return PlusRecordBytes(type, flags, read(r).Get()); }, fixed, needed};
}

TPlusPath Triangle(bool compressed) {
    TPlusPath p;
    p.Flags = compressed ? EmfPlusPathCompressed : 0;
    p.Points = {{1, 2}, {30, 2}, {1, 40}};
    p.Types = {EmfPlusPathStart, EmfPlusPathLine, EmfPlusPathLine | EmfPlusPathClose};
    return p;
}

} // namespace

TEST(EmfPlusLayouts, RoundTripThroughTheWriterAndRefuseShortBytes) {
    static const uint8_t Pixels[16] = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255};
    TPlusImage bitmap;
    bitmap.Width = 2, bitmap.Height = 2, bitmap.Stride = 8, bitmap.PixelFormat = 0x0026200A, bitmap.Data = Pixels;
    TPlusImage metafile;
    metafile.Type = 2, metafile.MetafileType = 3, metafile.Data = Pixels;
    TPlusCustomLineCap pathCap;
    pathCap.FillPath = Triangle(false), pathCap.BaseInset = 1.5f, pathCap.WidthScale = 2;
    TPlusCustomLineCap arrow;
    arrow.Type = 1, arrow.Width = 3, arrow.Height = 4, arrow.MiddleInset = 1, arrow.FillState = 1;
    TPlusBrush hatch;
    hatch.Type = EmfPlusBrushHatch, hatch.Hatch = 40, hatch.Color = 0xFF102030, hatch.Back = 0x80FFFFFF;
    TPlusBrush linear;
    linear.Type = EmfPlusBrushLinearGradient, linear.Wrap = 1, linear.Rect = {0, 0, 50, 10};
    linear.Flags = EmfPlusBrushDataTransform | EmfPlusBrushDataBlendFactorsH | 0x80;
    linear.Transform = {0, 1, -1, 0, 5, 6}, linear.BlendPositions = {0, 0.5f, 1}, linear.BlendFactors = {0, 0.2f, 1};
    TPlusBrush preset = linear;
    preset.Flags = EmfPlusBrushDataPresetColors, preset.BlendFactors.clear(), preset.PresetColors = {1, 2, 3};
    TPlusBrush radial;
    radial.Type = EmfPlusBrushPathGradient, radial.Center = {10, 12}, radial.Surround = {0xFF0000FF, 0xFF00FF00};
    radial.Flags = EmfPlusBrushDataPath | EmfPlusBrushDataFocusScales | EmfPlusBrushDataBlendFactorsH;
    radial.BoundaryPath = Triangle(true), radial.FocusX = 0.5f, radial.FocusY = 0.25f;
    radial.BlendPositions = {0, 1}, radial.BlendFactors = {0, 1};
    TPlusBrush polygon;
    polygon.Type = EmfPlusBrushPathGradient, polygon.Surround = {0xFF0000FF},
    polygon.BoundaryPoints = {{0, 0}, {9, 0}, {0, 9}};
    polygon.Flags = EmfPlusBrushDataTransform;
    TPlusBrush texture;
    texture.Type = EmfPlusBrushTexture, texture.Wrap = 4, texture.Flags = EmfPlusBrushDataTransform;
    texture.Image = std::make_shared<const TPlusImage>(bitmap);
    TPlusPen pen;
    pen.Flags = EmfPlusPenTransform | EmfPlusPenStartCap | EmfPlusPenEndCap | EmfPlusPenJoin | EmfPlusPenMiterLimit |
                EmfPlusPenLineStyle | EmfPlusPenDashedLineCap | EmfPlusPenDashedLineOffset | EmfPlusPenAlignment;
    pen.Unit = EmfPlusUnitMillimeter, pen.Width = 0.5f, pen.StartCap = 0xFF, pen.EndCap = 0x14, pen.Join = 2;
    pen.LineStyle = 5, pen.DashedLineCap = 2, pen.DashOffset = 1, pen.DashArray = {3, 1, 1, 1}, pen.Compound = {0, 1};
    pen.CustomStartCap = arrow, pen.CustomEndCap = pathCap, pen.Brush = linear;
    TPlusRegion region;
    region.Nodes = {
        {EmfPlusRegionXor, {}, {}}, {EmfPlusRegionRect, {1, 2, 3, 4}, {}}, {EmfPlusRegionPath, {}, Triangle(false)}};
    TPlusFont font;
    font.Family = u"Liberation Sans", font.Style = 3, font.EmSize = 9.5f;
    TPlusStringFormat format;
    format.Align = 1, format.LineAlign = 2, format.Ranges = 0;
    const std::vector<TPlusPointF> points{{1, 2}, {3, 4}, {5, 6}};
    TPlusDrawDriverString driver;
    driver.Glyphs = {40, 41, 42}, driver.Positions = points, driver.Matrix = TPlusMatrix{2, 0, 0, 2, 1, 1};
    TPlusDrawImage image;
    image.Source = {0, 0, 4, 4}, image.Destination = {1, 2, 30, 40}, image.Points = points;
    const TPlusPoints curve{0, 0.5f, 1, 1, points};
    const uint16_t C = EmfPlusFlagCompressed;
    using P = TPlusPoints;

    const std::vector<TRow> rows = {
        Object("path", Triangle(false), 12 + 24 + 3),
        Object("compressed path", Triangle(true), 12 + 12 + 3),
        Object("bitmap image", bitmap),
        Object("metafile image", metafile),
        Object("path cap", pathCap),
        Object("arrow cap", arrow),
        Object("solid brush", TPlusBrush{}),
        Object("hatch brush", hatch),
        Object("linear gradient with factors", linear),
        Object("linear gradient with preset colours", preset),
        Object("path gradient with a boundary path", radial),
        Object("path gradient with boundary points", polygon),
        Object("texture brush", texture),
        Object("pen with every field", pen),
        Object("region", region),
        Object("font", font, 24 + 30),
        Object("string format", format),
        Record("header", EmfPlusHeader, 1, TPlusHeaderRecord{}.Data(), TPlusHeaderRecord::Size,
               [](auto& r) { return TPlusHeaderRecord::Read(r).Data(); }),
        Record("clear", EmfPlusClear, 0, TPlusValue{0xFF00FF00}.Data(), TPlusValue::Size,
               [](auto& r) { return TPlusValue::Read(r).Data(); }),
        Record("rotate", EmfPlusRotateWorldTransform, 0, TPlusFloat{30}.Data(), TPlusFloat::Size,
               [](auto& r) { return TPlusFloat::Read(r).Data(); }),
        Record("translate", EmfPlusTranslateWorldTransform, 0, TPlusPair{3, 4}.Data(), TPlusPair::Size,
               [](auto& r) { return TPlusPair::Read(r).Data(); }),
        Record("world transform", EmfPlusSetWorldTransform, 0, TPlusMatrixRecord{{1, 2, 3, 4, 5, 6}}.Data(),
               TPlusMatrixRecord::Size, [](auto& r) { return TPlusMatrixRecord::Read(r).Data(); }),
        Record("fill rects", EmfPlusFillRects, 0, TPlusRects{3, {{1, 2, 3, 4}, {5, 6, 7, 8}}}.Data(true, 0),
               TPlusRects::FillSize, [](auto& r) { return TPlusRects::Read(r, true).Data(true, 0); }),
        Record("fill rects compressed", EmfPlusFillRects, C, TPlusRects{3, {{1, 2, 3, 4}}}.Data(true, C),
               TPlusRects::FillSize,
               [](auto& r) { return TPlusRects::Read(r, true).Data(true, EmfPlusFlagCompressed); }),
        Record("draw rects", EmfPlusDrawRects, 1, TPlusRects{0, {{1, 2, 3, 4}}}.Data(false, 0), TPlusRects::DrawSize,
               [](auto& r) { return TPlusRects::Read(r, false).Data(false, 0); }),
        Record("fill polygon", EmfPlusFillPolygon, 0, P{7, 0, 0, 0, points}.Data(P::psFillPolygon, 0),
               P::SizeOf(P::psFillPolygon),
               [](auto& r) { return P::Read(r, P::psFillPolygon).Data(P::psFillPolygon, 0); }),
        Record("draw lines compressed", EmfPlusDrawLines, C, P{0, 0, 0, 0, points}.Data(P::psLines, C),
               P::SizeOf(P::psLines),
               [](auto& r) { return P::Read(r, P::psLines).Data(P::psLines, EmfPlusFlagCompressed); }),
        Record("fill closed curve", EmfPlusFillClosedCurve, 0, P{2, 0.5f, 0, 0, points}.Data(P::psFillClosedCurve, 0),
               P::SizeOf(P::psFillClosedCurve),
               [](auto& r) { return P::Read(r, P::psFillClosedCurve).Data(P::psFillClosedCurve, 0); }),
        Record("draw closed curve", EmfPlusDrawClosedCurve, 0, curve.Data(P::psClosedCurve, 0),
               P::SizeOf(P::psClosedCurve),
               [](auto& r) { return P::Read(r, P::psClosedCurve).Data(P::psClosedCurve, 0); }),
        Record("draw curve", EmfPlusDrawCurve, 0, curve.Data(P::psCurve, 0), P::SizeOf(P::psCurve),
               [](auto& r) { return P::Read(r, P::psCurve).Data(P::psCurve, 0); }),
        Record("fill ellipse compressed", EmfPlusFillEllipse, C, TPlusEllipse{1, {1, 2, 3, 4}}.Data(true, C),
               TPlusEllipse::FillSize,
               [](auto& r) { return TPlusEllipse::Read(r, true).Data(true, EmfPlusFlagCompressed); }),
        Record("draw ellipse", EmfPlusDrawEllipse, 0, TPlusEllipse{0, {1, 2, 3, 4}}.Data(false, 0),
               TPlusEllipse::DrawSize, [](auto& r) { return TPlusEllipse::Read(r, false).Data(false, 0); }),
        Record("fill pie", EmfPlusFillPie, 0, TPlusArc{1, 10, 80, {1, 2, 3, 4}}.Data(true, 0), TPlusArc::FillSize,
               [](auto& r) { return TPlusArc::Read(r, true).Data(true, 0); }),
        Record("draw arc", EmfPlusDrawArc, 0, TPlusArc{0, 10, 80, {1, 2, 3, 4}}.Data(false, 0), TPlusArc::DrawSize,
               [](auto& r) { return TPlusArc::Read(r, false).Data(false, 0); }),
        Record(
            "draw string", EmfPlusDrawString, 0, TPlusDrawString{1, 2, {1, 2, 3, 4}, u"abc"}.Data(),
            TPlusDrawString::Size, [](auto& r) { return TPlusDrawString::Read(r).Data(); }, 12 + 28 + 6),
        Record(
            "draw driver string", EmfPlusDrawDriverString, 0, driver.Data(), TPlusDrawDriverString::Size,
            [](auto& r) { return TPlusDrawDriverString::Read(r).Data(); }, 12 + 16 + 6 + 24 + 24),
        Record("draw image", EmfPlusDrawImage, 0, image.Data(false, 0), TPlusDrawImage::RectSize,
               [](auto& r) { return TPlusDrawImage::Read(r, false).Data(false, 0); }),
        Record("draw image points", EmfPlusDrawImagePoints, 0, image.Data(true, 0), TPlusDrawImage::PointsSize,
               [](auto& r) { return TPlusDrawImage::Read(r, true).Data(true, 0); }),
        Record("begin container", EmfPlusBeginContainer, 0x0300,
               TPlusBeginContainer{{1, 2, 3, 4}, {5, 6, 7, 8}, 9}.Data(), TPlusBeginContainer::Size,
               [](auto& r) { return TPlusBeginContainer::Read(r).Data(); }),
        Record("clip rect", EmfPlusSetClipRect, 0, TPlusSetClipRect{{1, 2, 3, 4}}.Data(), TPlusSetClipRect::Size,
               [](auto& r) { return TPlusSetClipRect::Read(r).Data(); }),
        Record("rendering origin", EmfPlusSetRenderingOrigin, 0, TPlusOrigin{-3, 4}.Data(), TPlusOrigin::Size,
               [](auto& r) { return TPlusOrigin::Read(r).Data(); }),
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        const TRecordReader whole(row.Bytes);
        EXPECT_EQ(row.Again(whole), row.Bytes);
        const size_t needed = row.Needed ? row.Needed : row.Bytes.size();
        for (size_t cut : {row.Fixed - 1, needed - 1}) {
            const TRecordReader shorter(std::span(row.Bytes).first(cut));
            EXPECT_THROW(row.Again(shorter), ERecordDamaged) << "cut to " << cut << " of " << row.Bytes.size();
        }
    }
    // Numbers that are not finite or past 1e9 are refused like a short record.
    TEmfPlusData huge;
    huge.F32(1e10f).F32(0);
    EXPECT_THROW(TPlusPair::Read(TRecordReader(PlusRecordBytes(EmfPlusTranslateWorldTransform, 0, huge.Get()))),
                 ERecordDamaged);
}
