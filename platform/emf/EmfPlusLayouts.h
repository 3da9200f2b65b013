#pragma once
// The layout of each EMF+ record and object, in one place, as RecordLayouts.h has it for EMF records:
// per record a struct of named fields with the size of its fixed part (the 12-byte record head
// included), a Read from a bounded TRecordReader spanning the whole EMF+ record and a Data that gives
// the record's data for TEmfPlusWriter::Record. Objects (brushes, pens, paths, regions, fonts, string
// formats, images, custom line caps) Read at an offset of a reader and Write to a TEmfPlusData, since
// they travel inside Object records and inside one another.
//
// Read raises ERecordDamaged for a record or object shorter than its fields need, for counts that
// run past it and for numbers that are not finite or lie past +-1e9 (GDI+ writes its "everything"
// clips as some 1e7 units). Trailing arrays are read into the structs; image bits stay in the record
// (a span, valid while the record's bytes are).

#include "platform/emf/EmfPlusRecords.h"
#include "platform/emf/RecordReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pagimo::emf {

constexpr size_t PlusHeadSize = 12; // Type, Flags, Size, DataSize
constexpr size_t PlusMaxPoints = 1u << 20;

// ---- shared pieces ----------------------------------------------------------------------------------

struct TPlusPointF {
    float X = 0, Y = 0;
};
struct TPlusRectF {
    float X = 0, Y = 0, Width = 0, Height = 0;
};
struct TPlusMatrix {
    float M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
    static constexpr size_t Bytes = 24;
    static TPlusMatrix Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

// A float of a record: finite and within +-1e9.
float ReadPlusF32(const TRecordReader& r, size_t at);
// A rectangle: four floats, or four 16-bit integers when compressed.
TPlusRectF ReadPlusRect(const TRecordReader& r, size_t at, bool compressed);
void WritePlusRect(TEmfPlusData& d, const TPlusRectF& rect, bool compressed);
inline size_t PlusRectBytes(bool compressed) {
    return compressed ? 8 : 16;
}
// count points at at: floats, 16-bit integers (EmfPlusFlagCompressed) or relative steps of 7 or 15 bits
// (EmfPlusFlagRelative); end (when given) receives the offset past them.
std::vector<TPlusPointF> ReadPlusPoints(const TRecordReader& r, size_t at, uint32_t count, uint16_t flags,
                                        size_t* end = nullptr);
// Points as floats, or as 16-bit integers when flags has EmfPlusFlagCompressed (relative steps are
// not written).
void WritePlusPoints(TEmfPlusData& d, const std::vector<TPlusPointF>& points, uint16_t flags);

// ---- objects ----------------------------------------------------------------------------------------
// Every object starts with the graphics version (EmfPlusGraphicsVersion).

// A path: points and their types (EmfPlusPath*), the types plain or run-length coded.
struct TPlusPath {
    uint32_t Flags = 0; // EmfPlusPathCompressed, EmfPlusPathRelative, EmfPlusPathRle
    std::vector<TPlusPointF> Points;
    std::vector<uint8_t> Types;
    static constexpr size_t Size = 12;
    // end (when given) receives the offset past the object, padded to four bytes.
    static TPlusPath Read(const TRecordReader& r, size_t at, size_t* end = nullptr);
    void Write(TEmfPlusData& d) const; // types one byte each (run-length coding is read only)
};

// A bitmap (pixels of PixelFormat, or compressed data when BitmapType is 1) or a metafile.
struct TPlusImage {
    uint32_t Type = 1; // 1 bitmap, 2 metafile
    int32_t Width = 0, Height = 0, Stride = 0;
    uint32_t PixelFormat = 0, BitmapType = 0;
    uint32_t MetafileType = 0;        // 1 WMF, 2 placeable WMF, 3 EMF, 4 EMF+ only, 5 EMF+ dual
    std::span<const uint8_t> Data;    // the pixels (palette first for indexed formats) or the metafile
    static constexpr size_t Size = 8; // version and type; the rest depends on the type
    static TPlusImage Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

// A custom line cap: a fill and/or a line path in units of the pen's width, drawn with the line's end at
// the origin and the line running along +y out of it; or an adjustable arrow.
struct TPlusCustomLineCap {
    uint32_t Type = 0; // 0 default (paths), 1 adjustable arrow
    // Default caps.
    uint32_t Flags = 0; // 1: FillPath present, 2: LinePath present
    uint32_t BaseCap = 0;
    float BaseInset = 0;
    uint32_t StrokeStartCap = 0, StrokeEndCap = 0, StrokeJoin = 0;
    float StrokeMiterLimit = 10, WidthScale = 1;
    TPlusPointF FillHotSpot, LineHotSpot;
    std::optional<TPlusPath> FillPath, LinePath;
    // Adjustable arrows.
    float Width = 0, Height = 0, MiddleInset = 0;
    uint32_t FillState = 0;
    static constexpr size_t Size = 8;
    static constexpr uint32_t FillPathPresent = 1, LinePathPresent = 2;
    static TPlusCustomLineCap Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

// A brush of any type. Which fields count depends on Type.
struct TPlusBrush {
    uint32_t Type = EmfPlusBrushSolid;
    uint32_t Color = 0xFF000000; // solid; hatch foreground; linear start colour; path centre colour
    uint32_t Back = 0;           // hatch background; linear end colour
    uint32_t Hatch = 0;
    uint32_t Flags = 0;                                // EmfPlusBrushData*
    uint32_t Wrap = 0;                                 // 0 tile, 1 flip x, 2 flip y, 3 flip both, 4 clamp
    TPlusRectF Rect;                                   // linear: the rectangle the colours run across (left to right)
    TPlusPointF Center;                                // path: where the centre colour is
    std::vector<uint32_t> Surround;                    // path: colours along the boundary
    std::optional<TPlusPath> BoundaryPath;             // path: the boundary (EmfPlusBrushDataPath) ...
    std::vector<TPlusPointF> BoundaryPoints;           // ... or a polygon
    TPlusMatrix Transform;                             // with EmfPlusBrushDataTransform
    std::vector<float> BlendPositions;                 // with PresetColors, BlendFactorsH or (path) BlendFactors
    std::vector<uint32_t> PresetColors;                // with EmfPlusBrushDataPresetColors
    std::vector<float> BlendFactors;                   // with EmfPlusBrushDataBlendFactorsH
    std::vector<float> BlendPositionsV, BlendFactorsV; // linear, with EmfPlusBrushDataBlendFactorsV
    float FocusX = 0, FocusY = 0;                      // path, with EmfPlusBrushDataFocusScales
    std::shared_ptr<const TPlusImage> Image;           // texture
    static constexpr size_t Size = 8;
    static TPlusBrush Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

struct TPlusPen {
    uint32_t Flags = 0; // EmfPlusPen*: which optional fields follow
    uint32_t Unit = EmfPlusUnitWorld;
    float Width = 1;
    TPlusMatrix Transform;
    int32_t StartCap = 0, EndCap = 0; // 0 flat, 1 square, 2 round, 3 triangle, 0x1x anchors, 0xFF custom
    uint32_t Join = 0;                // 0 miter, 1 bevel, 2 round, 3 miter clipped
    float MiterLimit = 10;
    uint32_t LineStyle = 0; // 0 solid, 1 dash, 2 dot, 3 dash dot, 4 dash dot dot, 5 custom
    uint32_t DashedLineCap = 0;
    float DashOffset = 0;
    std::vector<float> DashArray; // lengths in pen widths: dash, gap, ...
    uint32_t Alignment = 0;
    std::vector<float> Compound;
    std::optional<TPlusCustomLineCap> CustomStartCap, CustomEndCap;
    TPlusBrush Brush;
    static constexpr size_t Size = 20;
    static TPlusPen Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

// A region: a tree of nodes, written depth first. Combining nodes (EmfPlusRegionAnd ... Complement)
// have two children; leaves are rectangles, paths, empty or infinite.
struct TPlusRegionNode {
    uint32_t Type = EmfPlusRegionEmpty;
    TPlusRectF Rect;
    std::optional<TPlusPath> Path;
};
struct TPlusRegion {
    std::vector<TPlusRegionNode> Nodes; // depth first
    static constexpr size_t Size = 8;
    static constexpr size_t MaxNodes = 4096;
    static TPlusRegion Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

struct TPlusFont {
    float EmSize = 12;
    uint32_t Unit = EmfPlusUnitPoint, Style = 0; // style: 1 bold, 2 italic, 4 underline, 8 strike-out
    std::u16string Family;                       // at most 256 units are read
    static constexpr size_t Size = 24;
    static TPlusFont Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

struct TPlusStringFormat {
    uint32_t Flags = 0, Language = 0, Align = 0, LineAlign = 0, DigitSubstitution = 0, DigitLanguage = 0;
    float FirstTabOffset = 0;
    uint32_t HotkeyPrefix = 0;
    float LeadingMargin = 1.0f / 6, TrailingMargin = 1.0f / 6, Tracking = 1;
    uint32_t Trimming = 0, TabStops = 0, Ranges = 0;
    static constexpr size_t Size = 60;
    static TPlusStringFormat Read(const TRecordReader& r, size_t at);
    void Write(TEmfPlusData& d) const;
};

// ---- records ----------------------------------------------------------------------------------------

struct TPlusHeaderRecord {
    uint32_t Version = EmfPlusGraphicsVersion, PlusFlags = 0, DpiX = 96, DpiY = 96; // PlusFlags 1: video display
    static constexpr size_t Size = 28;
    static TPlusHeaderRecord Read(const TRecordReader& r);
    TEmfPlusData Data() const;
};

// An Object record's continued piece: the whole object's size, then the piece (EmfPlusFlagContinued).
struct TPlusObjectPiece {
    uint32_t TotalSize = 0;
    std::span<const uint8_t> Piece;
    static constexpr size_t DataAt = 16, Size = 16;
    static TPlusObjectPiece Read(const TRecordReader& r);
};

// One 32-bit value: Clear (a colour), FillRegion and FillPath (a brush), DrawPath (a pen), Save,
// Restore, BeginContainerNoParams and EndContainer (a stack index).
struct TPlusValue {
    uint32_t Value = 0;
    static constexpr size_t Size = 16;
    static TPlusValue Read(const TRecordReader& r) { return {r.U32(12)}; }
    TEmfPlusData Data() const { return TEmfPlusData().U32(Value); }
};

// One float: RotateWorldTransform (degrees), SetPageTransform (the page scale).
struct TPlusFloat {
    float Value = 0;
    static constexpr size_t Size = 16;
    static TPlusFloat Read(const TRecordReader& r) { return {ReadPlusF32(r, 12)}; }
    TEmfPlusData Data() const { return TEmfPlusData().F32(Value); }
};

// Two floats: TranslateWorldTransform, ScaleWorldTransform, OffsetClip.
struct TPlusPair {
    float X = 0, Y = 0;
    static constexpr size_t Size = 20;
    static TPlusPair Read(const TRecordReader& r) { return {ReadPlusF32(r, 12), ReadPlusF32(r, 16)}; }
    TEmfPlusData Data() const { return TEmfPlusData().F32(X).F32(Y); }
};

// SetWorldTransform, MultiplyWorldTransform.
struct TPlusMatrixRecord {
    TPlusMatrix Matrix;
    static constexpr size_t Size = 36;
    static TPlusMatrixRecord Read(const TRecordReader& r) { return {TPlusMatrix::Read(r, 12)}; }
    TEmfPlusData Data() const;
};

// FillRects (a brush, then rectangles) and DrawRects (rectangles; the pen is in the flags).
struct TPlusRects {
    uint32_t Brush = 0; // FillRects only
    std::vector<TPlusRectF> Rects;
    static constexpr size_t FillSize = 20, DrawSize = 16;
    static TPlusRects Read(const TRecordReader& r, bool fill);
    TEmfPlusData Data(bool fill, uint16_t flags) const;
};

// FillPolygon (a brush, then points), DrawLines and DrawBeziers (points), FillClosedCurve (a brush, a
// tension, points), DrawClosedCurve (a tension, points), DrawCurve (a tension, the first segment and
// the number of segments, points).
struct TPlusPoints {
    uint32_t Brush = 0;
    float Tension = 0;
    uint32_t Offset = 0, Segments = 0;
    std::vector<TPlusPointF> Points;
    enum TShape { psFillPolygon, psLines, psFillClosedCurve, psClosedCurve, psCurve };
    static size_t SizeOf(TShape shape);
    static TPlusPoints Read(const TRecordReader& r, TShape shape);
    TEmfPlusData Data(TShape shape, uint16_t flags) const;
};

// FillEllipse (a brush, then the box) and DrawEllipse (the box).
struct TPlusEllipse {
    uint32_t Brush = 0;
    TPlusRectF Box;
    static constexpr size_t FillSize = 24, DrawSize = 20; // compressed boxes
    static TPlusEllipse Read(const TRecordReader& r, bool fill);
    TEmfPlusData Data(bool fill, uint16_t flags) const;
};

// FillPie (a brush, the angles, the box), DrawPie and DrawArc (the angles, the box). Degrees clockwise
// from the x axis.
struct TPlusArc {
    uint32_t Brush = 0;
    float Start = 0, Sweep = 0;
    TPlusRectF Box;
    static constexpr size_t FillSize = 32, DrawSize = 28;
    static TPlusArc Read(const TRecordReader& r, bool fill);
    TEmfPlusData Data(bool fill, uint16_t flags) const;
};

struct TPlusDrawString {
    uint32_t Brush = 0, Format = 0;
    TPlusRectF Layout;
    std::u16string Text;
    static constexpr size_t Size = 40;
    static TPlusDrawString Read(const TRecordReader& r);
    TEmfPlusData Data() const;
};

struct TPlusDrawDriverString {
    uint32_t Brush = 0, Options = 0; // options: 1 cmap lookup (text, not glyphs), 4 realized advance
    std::vector<uint16_t> Glyphs;
    std::vector<TPlusPointF> Positions;
    std::optional<TPlusMatrix> Matrix;
    static constexpr size_t Size = 28;
    static TPlusDrawDriverString Read(const TRecordReader& r);
    TEmfPlusData Data() const;
};

// DrawImage (a destination rectangle) and DrawImagePoints (three points: the image's upper left, upper
// right and lower left corners), of a source rectangle in SrcUnit.
struct TPlusDrawImage {
    uint32_t Attributes = 0, SrcUnit = EmfPlusUnitPixel;
    TPlusRectF Source, Destination;
    std::vector<TPlusPointF> Points; // DrawImagePoints
    static constexpr size_t RectSize = 44, PointsSize = 40;
    static TPlusDrawImage Read(const TRecordReader& r, bool points);
    TEmfPlusData Data(bool points, uint16_t flags) const;
};

struct TPlusBeginContainer {
    TPlusRectF Destination, Source;
    uint32_t StackIndex = 0;
    static constexpr size_t Size = 48;
    static TPlusBeginContainer Read(const TRecordReader& r);
    TEmfPlusData Data() const;
};

struct TPlusSetClipRect {
    TPlusRectF Rect;
    static constexpr size_t Size = 28;
    static TPlusSetClipRect Read(const TRecordReader& r) { return {ReadPlusRect(r, 12, false)}; }
    TEmfPlusData Data() const;
};

// SetRenderingOrigin.
struct TPlusOrigin {
    int32_t X = 0, Y = 0;
    static constexpr size_t Size = 20;
    static TPlusOrigin Read(const TRecordReader& r) { return {r.I32(12), r.I32(16)}; }
    TEmfPlusData Data() const { return TEmfPlusData().I32(X).I32(Y); }
};

// A whole EMF+ record (head and data, padded to four bytes) as TEmfPlusWriter puts it after the
// comment's signature.
std::vector<uint8_t> PlusRecordBytes(uint16_t type, uint16_t flags, std::span<const uint8_t> data);

} // namespace pagimo::emf
