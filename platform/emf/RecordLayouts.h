#pragma once
// The layout of each metafile record this system reads or writes, in one place: per record a struct
// of named fields with the size of its fixed part, a Read from a bounded TRecordReader and a Write to
// a TEmfWriter. The player, the recorder and the tests' page builders all go through these, so a
// field's offset is written down once.
//
// Read reads the fixed fields only; a record shorter than they need raises ERecordDamaged (the player
// checks Size before it calls Read). Trailing arrays (points, text, bitmaps, region rectangles) stay
// in the record and are reached through the *At offsets and the record's own offset fields.
// Write puts the whole record (Begin, the fields, any payload given, End); WriteHead stops before the
// payload of records whose payload the caller streams (points), and the caller ends the record.

#include "platform/emf/EmfWriter.h"
#include "platform/emf/RecordReader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pagimo::emf {

// Every record starts with its type and its size in bytes; the fields follow.
constexpr size_t RecordTypeAt = 0, RecordSizeAt = 4, RecordFieldsAt = 8;

// The header record, read from the picture's first bytes before any record is walked (see
// ReadEmfHeader) and written last by TEmfWriter::Finish; as offsets, since both work on raw bytes.
struct THeaderLayout {
    static constexpr size_t BoundsAt = 8, FrameAt = 24, SignatureAt = 40, VersionAt = 44, BytesAt = 48, RecordsAt = 52,
                            HandlesAt = 56, ReservedAt = 58, DescriptionAt = 60, OffDescriptionAt = 64,
                            PalEntriesAt = 68, DevicePixelsAt = 72, DeviceMillimetersAt = 80, PixelFormatAt = 88,
                            OffPixelFormatAt = 92, OpenGLAt = 96, MicrometersAt = 100;
    static constexpr size_t MinSize = 88;   // without the pixel-format and micrometre extensions
    static constexpr size_t FullSize = 108; // with them
};

// ---- shared pieces ----------------------------------------------------------------------------------

struct TPointL {
    int32_t X = 0, Y = 0;
    static TPointL Read(const TRecordReader& r, size_t at) {
        const uint8_t* p = r.Fields(at, 8);
        return {GetI32(p), GetI32(p + 4)};
    }
    void Write(TEmfWriter& w) const { w.I32(X), w.I32(Y); }
};
constexpr size_t PointLBytes = 8, PointSBytes = 4; // POINTL, and the POINTS of the *16 records
inline TPointL PointLAt(const uint8_t* p) {
    return {GetI32(p), GetI32(p + 4)};
}
inline TPointL PointSAt(const uint8_t* p) {
    return {GetI16(p), GetI16(p + 2)};
}
inline void WritePointS(TEmfWriter& w, int16_t x, int16_t y) {
    w.I16(x), w.I16(y);
}

struct TSizeL {
    int32_t Cx = 0, Cy = 0;
    static TSizeL Read(const TRecordReader& r, size_t at) {
        const uint8_t* p = r.Fields(at, 8);
        return {GetI32(p), GetI32(p + 4)};
    }
    void Write(TEmfWriter& w) const { w.I32(Cx), w.I32(Cy); }
};

// RECTL (TRectL, from EmfWriter.h): left, top, right, bottom.
constexpr size_t RectLBytes = 16;
inline TRectL RectLAt(const uint8_t* p) {
    return {GetI32(p), GetI32(p + 4), GetI32(p + 8), GetI32(p + 12)};
}
inline TRectL ReadRectL(const TRecordReader& r, size_t at) {
    return RectLAt(r.Fields(at, RectLBytes));
}
inline void WriteRectL(TEmfWriter& w, const TRectL& b) {
    w.I32(b.Left), w.I32(b.Top), w.I32(b.Right), w.I32(b.Bottom);
}

// XFORM: the six floats of an affine transform.
struct TXForm {
    float M11 = 1, M12 = 0, M21 = 0, M22 = 1, Dx = 0, Dy = 0;
    static constexpr size_t Bytes = 24;
    static TXForm Read(const TRecordReader& r, size_t at);
    void Write(TEmfWriter& w) const;
};

// Where a record keeps a device-independent bitmap: the BITMAPINFO and the bits, each as an offset
// from the record's start and a byte count.
struct TBitmapRef {
    uint32_t OffBmi = 0, CbBmi = 0, OffBits = 0, CbBits = 0;
    static constexpr size_t Bytes = 16;
    static TBitmapRef Read(const TRecordReader& r, size_t at);
    void Write(TEmfWriter& w) const { w.U32(OffBmi), w.U32(CbBmi), w.U32(OffBits), w.U32(CbBits); }
    std::span<const uint8_t> Info(const TRecordReader& r) const { return r.Bytes(OffBmi, CbBmi); }
    std::span<const uint8_t> Bits(const TRecordReader& r) const { return r.Bytes(OffBits, CbBits); }
};

// BITMAPINFOHEADER fields the player looks at (the first of a BITMAPINFO).
struct TBitmapInfoHeader {
    static constexpr size_t MinBytes = 40;
    static constexpr size_t SizeAt = 0, WidthAt = 4, HeightAt = 8, PlanesAt = 12, BitCountAt = 14, CompressionAt = 16;
};

// LOGFONTW: 5 integers, 8 bytes, then a face name of 32 UTF-16 units.
struct TLogFontW {
    int32_t Height = 0, Width = 0, Escapement = 0, Orientation = 0, Weight = 0;
    uint8_t Italic = 0, Underline = 0, StrikeOut = 0, CharSet = 0, OutPrecision = 0, ClipPrecision = 0, Quality = 0,
            PitchAndFamily = 0;
    std::u16string FaceName;
    static constexpr size_t FaceNameAt = 28, FaceNameUnits = 32, Bytes = 92;
    // The face name is read up to its terminator, the 32 units or the end of the record, whichever
    // comes first (many files cut the structure short after the name).
    static TLogFontW Read(const TRecordReader& r, size_t at);
    // At most 31 units of the face name are kept, so that it is always terminated.
    void Write(TEmfWriter& w) const;
};

// RGNDATAHEADER and the rectangles after it.
struct TRgnDataHeader {
    uint32_t HeaderSize = 32, Type = 1 /* RDH_RECTANGLES */, Count = 0, RgnSize = 0;
    TRectL Bounds;
    static constexpr size_t Bytes = 32;
    static TRgnDataHeader Read(const TRecordReader& r, size_t at);
    void Write(TEmfWriter& w) const;
};

// ---- records of one value ---------------------------------------------------------------------------

// One 32-bit value: the SET* modes and colours, SELECTOBJECT and DELETEOBJECT (an object index),
// RESTOREDC (a relative level), SELECTCLIPPATH (a region mode), SETMITERLIMIT (a float or an integer),
// and the index of objects the player does not keep (palettes, colour spaces).
struct TEmrValue {
    uint32_t Value = 0;
    static constexpr size_t ValueAt = 8, Size = 12;
    static TEmrValue Read(const TRecordReader& r) { return {r.U32(ValueAt)}; }
    void Write(TEmfWriter& w, uint32_t type) const;
};

// Records without fields: SAVEDC, BEGINPATH, ENDPATH, CLOSEFIGURE, ABORTPATH, ...
struct TEmrEmpty {
    static constexpr size_t Size = 8;
    static void Write(TEmfWriter& w, uint32_t type);
};

// One point or size: SETWINDOWEXTEX, SETWINDOWORGEX, SETVIEWPORTEXTEX, SETVIEWPORTORGEX, MOVETOEX,
// LINETO, OFFSETCLIPRGN, SETBRUSHORGEX.
struct TEmrPoint {
    TPointL Point;
    static constexpr size_t PointAt = 8, Size = 16;
    static TEmrPoint Read(const TRecordReader& r) { return {TPointL::Read(r, PointAt)}; }
    void Write(TEmfWriter& w, uint32_t type) const;
};

// SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX.
struct TEmrScaleExt {
    int32_t XNum = 1, XDenom = 1, YNum = 1, YDenom = 1;
    static constexpr size_t Size = 24;
    static TEmrScaleExt Read(const TRecordReader& r) { return {r.I32(8), r.I32(12), r.I32(16), r.I32(20)}; }
    void Write(TEmfWriter& w, uint32_t type) const;
};

// ---- transforms -------------------------------------------------------------------------------------

struct TEmrSetWorldTransform {
    TXForm XForm;
    static constexpr size_t XFormAt = 8, Size = 32;
    static TEmrSetWorldTransform Read(const TRecordReader& r) { return {TXForm::Read(r, XFormAt)}; }
    void Write(TEmfWriter& w) const;
};

struct TEmrModifyWorldTransform {
    TXForm XForm;
    uint32_t Mode = 0; // MWT_*
    static constexpr size_t XFormAt = 8, ModeAt = 32, Size = 36;
    static TEmrModifyWorldTransform Read(const TRecordReader& r) { return {TXForm::Read(r, XFormAt), r.U32(ModeAt)}; }
    void Write(TEmfWriter& w) const;
};

// ---- shapes -----------------------------------------------------------------------------------------

// A rectangle: RECTANGLE, ELLIPSE, INTERSECTCLIPRECT, EXCLUDECLIPRECT, and the bounds of FILLPATH,
// STROKEPATH and STROKEANDFILLPATH.
struct TEmrBox {
    TRectL Box;
    static constexpr size_t BoxAt = 8, Size = 24;
    static TEmrBox Read(const TRecordReader& r) { return {ReadRectL(r, BoxAt)}; }
    void Write(TEmfWriter& w, uint32_t type) const;
};

struct TEmrRoundRect {
    TRectL Box;
    TSizeL Corner;
    static constexpr size_t Size = 32;
    static TEmrRoundRect Read(const TRecordReader& r) { return {ReadRectL(r, 8), TSizeL::Read(r, 24)}; }
    void Write(TEmfWriter& w) const;
};

// ARC, CHORD, PIE, ARCTO: the ellipse's box and the radials' end points.
struct TEmrArc {
    TRectL Box;
    TPointL Start, End;
    static constexpr size_t Size = 40;
    static TEmrArc Read(const TRecordReader& r) {
        return {ReadRectL(r, 8), TPointL::Read(r, 24), TPointL::Read(r, 32)};
    }
    void Write(TEmfWriter& w, uint32_t type) const;
};

struct TEmrAngleArc {
    TPointL Center;
    uint32_t Radius = 0;
    float StartAngle = 0, SweepAngle = 0;
    static constexpr size_t Size = 28;
    static TEmrAngleArc Read(const TRecordReader& r) { return {TPointL::Read(r, 8), r.U32(16), r.F32(20), r.F32(24)}; }
    void Write(TEmfWriter& w) const;
};

struct TEmrSetPixelV {
    TPointL Pixel;
    uint32_t Color = 0;
    static constexpr size_t Size = 20;
    static TEmrSetPixelV Read(const TRecordReader& r) { return {TPointL::Read(r, 8), r.U32(16)}; }
    void Write(TEmfWriter& w) const;
};

// POLYLINE, POLYGON, POLYBEZIER, POLYLINETO, POLYBEZIERTO and their *16 forms, and POLYDRAW(16):
// bounds, a count, then Count points (POINTL, or POINTS for the *16 forms); POLYDRAW adds a type byte
// per point after them.
struct TEmrPoly {
    TRectL Bounds;
    uint32_t Count = 0;
    static constexpr size_t CountAt = 24, PointsAt = 28, Size = 28;
    static TEmrPoly Read(const TRecordReader& r) { return {ReadRectL(r, 8), r.U32(CountAt)}; }
    // Begins the record and writes bounds and count; the caller writes the points and ends it.
    void WriteHead(TEmfWriter& w, uint32_t type) const;
};

// POLYPOLYLINE, POLYPOLYGON and their *16 forms: bounds, the number of polygons, the number of points,
// the point count of each polygon, then the points.
struct TEmrPolyPoly {
    TRectL Bounds;
    uint32_t Polys = 0, Count = 0;
    static constexpr size_t CountsAt = 32, Size = 32;
    static TEmrPolyPoly Read(const TRecordReader& r) { return {ReadRectL(r, 8), r.U32(24), r.U32(28)}; }
    size_t PointsAt() const { return CountsAt + 4 * static_cast<size_t>(Polys); }
    // Begins the record and writes bounds and both counts; the caller writes the per-polygon counts and
    // the points and ends it.
    void WriteHead(TEmfWriter& w, uint32_t type) const;
};

// ---- objects ----------------------------------------------------------------------------------------

// CREATEPEN: a LOGPEN (style, width as a POINTL whose y is unused, colour).
struct TEmrCreatePen {
    uint32_t Handle = 0, Style = 0;
    int32_t Width = 0;
    uint32_t Color = 0;
    static constexpr size_t Size = 28;
    static TEmrCreatePen Read(const TRecordReader& r) { return {r.U32(8), r.U32(12), r.I32(16), r.U32(24)}; }
    void Write(TEmfWriter& w) const;
};

// EXTCREATEPEN: an optional brush bitmap, then a LOGPEN of the extended kind and its dash entries.
struct TEmrExtCreatePen {
    uint32_t Handle = 0;
    TBitmapRef Bitmap;
    uint32_t Style = 0, Width = 0, BrushStyle = 0, Color = 0, Hatch = 0, NumEntries = 0;
    static constexpr size_t BitmapAt = 12, StyleAt = 28, NumEntriesAt = 48, EntriesAt = 52, Size = 52;
    static TEmrExtCreatePen Read(const TRecordReader& r);
    // Writes the fields and the dash entries (NumEntries is written as given).
    void Write(TEmfWriter& w, std::span<const uint32_t> entries = {}) const;
};

// CREATEBRUSHINDIRECT: a LOGBRUSH (style, colour, hatch).
struct TEmrCreateBrushIndirect {
    uint32_t Handle = 0, Style = 0, Color = 0, Hatch = 0;
    static constexpr size_t Size = 24;
    static TEmrCreateBrushIndirect Read(const TRecordReader& r) { return {r.U32(8), r.U32(12), r.U32(16), r.U32(20)}; }
    void Write(TEmfWriter& w) const;
};

// CREATEDIBPATTERNBRUSHPT and CREATEMONOBRUSH: the colour usage and where the bitmap is.
struct TEmrCreateDibPatternBrush {
    uint32_t Handle = 0, Usage = 0;
    TBitmapRef Bitmap;
    static constexpr size_t UsageAt = 12, BitmapAt = 16, Size = 32;
    static TEmrCreateDibPatternBrush Read(const TRecordReader& r) {
        return {r.U32(8), r.U32(UsageAt), TBitmapRef::Read(r, BitmapAt)};
    }
    // Writes the fields, then info and bits (the bitmap's offsets and sizes are written as given).
    void Write(TEmfWriter& w, uint32_t type, std::span<const uint8_t> info, std::span<const uint8_t> bits) const;
};

struct TEmrExtCreateFontIndirectW {
    uint32_t Handle = 0;
    TLogFontW Font;
    static constexpr size_t FontAt = 12, Size = 40; // the name may be cut short; see TLogFontW::Read
    static TEmrExtCreateFontIndirectW Read(const TRecordReader& r) { return {r.U32(8), TLogFontW::Read(r, FontAt)}; }
    void Write(TEmfWriter& w) const;
};

// ---- clipping and regions ---------------------------------------------------------------------------

// EXTSELECTCLIPRGN: the size of the region data that follows (0: no region) and the mode.
struct TEmrExtSelectClipRgn {
    uint32_t RgnDataSize = 0, Mode = 0;
    static constexpr size_t RgnDataAt = 16, Size = 16;
    static TEmrExtSelectClipRgn Read(const TRecordReader& r) { return {r.U32(8), r.U32(12)}; }
    // Writes the fields, then a region header and rects when RgnDataSize is not 0.
    void Write(TEmfWriter& w, const TRgnDataHeader* region = nullptr, std::span<const TRectL> rects = {}) const;
};

// FILLRGN: bounds, region size, brush; FRAMERGN adds the frame's width and height; PAINTRGN and
// INVERTRGN have bounds and region size only. The region data follows.
struct TEmrFillRgn {
    TRectL Bounds;
    uint32_t RgnDataSize = 0, Brush = 0;
    static constexpr size_t RgnDataAt = 32, Size = 32;
    static TEmrFillRgn Read(const TRecordReader& r) { return {ReadRectL(r, 8), r.U32(24), r.U32(28)}; }
};
struct TEmrFrameRgn {
    TRectL Bounds;
    uint32_t RgnDataSize = 0, Brush = 0;
    TSizeL Stroke;
    static constexpr size_t RgnDataAt = 40, Size = 40;
    static TEmrFrameRgn Read(const TRecordReader& r) {
        return {ReadRectL(r, 8), r.U32(24), r.U32(28), TSizeL::Read(r, 32)};
    }
};
struct TEmrPaintRgn {
    TRectL Bounds;
    uint32_t RgnDataSize = 0;
    static constexpr size_t RgnDataAt = 28, Size = 28;
    static TEmrPaintRgn Read(const TRecordReader& r) { return {ReadRectL(r, 8), r.U32(24)}; }
};

// ---- text -------------------------------------------------------------------------------------------

// The EMRTEXT block of EXTTEXTOUTW and EXTTEXTOUTA: offsets count from the record's start.
struct TEmrText {
    TPointL Reference;
    uint32_t Chars = 0, OffString = 0, Options = 0;
    TRectL Rect;
    uint32_t OffDx = 0;
    static constexpr size_t Bytes = 40;
    static TEmrText Read(const TRecordReader& r, size_t at);
    void Write(TEmfWriter& w) const;
};

// EXTTEXTOUTW and EXTTEXTOUTA: bounds, graphics mode, scales, the text block; then the string and the
// advances where the block's offsets say.
struct TEmrExtTextOut {
    TRectL Bounds;
    uint32_t GraphicsMode = 1; // GM_COMPATIBLE
    float ExScale = 0, EyScale = 0;
    TEmrText Text;
    static constexpr size_t TextAt = 36, StringAt = 76, Size = 76;
    static TEmrExtTextOut Read(const TRecordReader& r) {
        return {ReadRectL(r, 8), r.U32(24), r.F32(28), r.F32(32), TEmrText::Read(r, TextAt)};
    }
    // Where the advances start after a string of chars units of unitBytes each (padded to four bytes).
    static uint32_t DxAfter(size_t chars, size_t unitBytes = 2) {
        return static_cast<uint32_t>(StringAt + (chars * unitBytes + 3) / 4 * 4);
    }
    // Writes the fields, then string (padded to four bytes) and dx, in that order from StringAt; the
    // block's offsets are written as given.
    void Write(TEmfWriter& w, uint32_t type, std::span<const uint8_t> string, std::span<const int32_t> dx = {}) const;
    void Write(TEmfWriter& w, std::u16string_view string, std::span<const int32_t> dx = {}) const;
};

// SMALLTEXTOUT: reference point, character count, options, graphics mode and scales; a clip rectangle
// unless ETO_NO_RECT; then the characters (one byte each with ETO_SMALL_CHARS, else UTF-16).
struct TEmrSmallTextOut {
    TPointL Reference;
    uint32_t Chars = 0, Options = 0, GraphicsMode = 1;
    float ExScale = 0, EyScale = 0;
    static constexpr size_t RectAt = 36, Size = 36;
    static constexpr uint32_t NoRect = 0x100, SmallChars = 0x200; // ETO_NO_RECT, ETO_SMALL_CHARS
    static TEmrSmallTextOut Read(const TRecordReader& r) {
        return {TPointL::Read(r, 8), r.U32(16), r.U32(20), r.U32(24), r.F32(28), r.F32(32)};
    }
    size_t StringAt() const { return Options & NoRect ? RectAt : RectAt + RectLBytes; }
    void Write(TEmfWriter& w, const TRectL* clip, std::span<const uint8_t> string) const;
};

// ---- bitmaps ----------------------------------------------------------------------------------------

// BITBLT, and STRETCHBLT with the source size after it. A BITBLT without a source bitmap (CbBmi 0) is
// a pattern or destination operation.
struct TEmrBitBlt {
    TRectL Bounds;
    int32_t XDest = 0, YDest = 0, CxDest = 0, CyDest = 0;
    uint32_t Rop = 0;
    int32_t XSrc = 0, YSrc = 0;
    TXForm XFormSrc;
    uint32_t BkColorSrc = 0, UsageSrc = 0;
    TBitmapRef Bitmap;
    static constexpr size_t UsageAt = 80, BitmapAt = 84, Size = 100;
    static TEmrBitBlt Read(const TRecordReader& r);
    void Write(TEmfWriter& w) const;
};
struct TEmrStretchBlt : TEmrBitBlt {
    int32_t CxSrc = 0, CySrc = 0;
    static constexpr size_t Size = 108;
    static TEmrStretchBlt Read(const TRecordReader& r);
};

// ALPHABLEND: the layout of STRETCHBLT with a BLENDFUNCTION where the raster operation is.
struct TEmrAlphaBlend {
    TRectL Bounds;
    int32_t XDest = 0, YDest = 0, CxDest = 0, CyDest = 0;
    uint8_t BlendOp = 0, BlendFlags = 0, SourceConstantAlpha = 255, AlphaFormat = 0;
    int32_t XSrc = 0, YSrc = 0;
    TXForm XFormSrc;
    uint32_t BkColorSrc = 0, UsageSrc = 0;
    TBitmapRef Bitmap;
    int32_t CxSrc = 0, CySrc = 0;
    static constexpr size_t UsageAt = 80, BitmapAt = 84, Size = 108;
    static constexpr size_t PayloadAt = Size;
    static TEmrAlphaBlend Read(const TRecordReader& r);
    // Writes the fields, then info padded to four bytes and bits.
    void Write(TEmfWriter& w, std::span<const uint8_t> info, std::span<const uint8_t> bits) const;
};

// STRETCHDIBITS and SETDIBITSTODEVICE begin alike: bounds, the destination and source corners, the
// source size, the bitmap and its colour usage.
struct TEmrDibHead {
    TRectL Bounds;
    int32_t XDest = 0, YDest = 0, XSrc = 0, YSrc = 0, CxSrc = 0, CySrc = 0;
    TBitmapRef Bitmap;
    uint32_t UsageSrc = 0;
    static constexpr size_t BitmapAt = 48, UsageAt = 64, HeadSize = 68;
    void ReadHead(const TRecordReader& r);
    void WriteHead(TEmfWriter& w, uint32_t type) const;
};

struct TEmrStretchDIBits : TEmrDibHead {
    uint32_t Rop = 0;
    int32_t CxDest = 0, CyDest = 0;
    static constexpr size_t Size = 80;
    static constexpr size_t PayloadAt = Size;
    static TEmrStretchDIBits Read(const TRecordReader& r);
    // Writes the fields, then info padded to four bytes and bits.
    void Write(TEmfWriter& w, std::span<const uint8_t> info, std::span<const uint8_t> bits) const;
};

struct TEmrSetDIBitsToDevice : TEmrDibHead {
    uint32_t StartScan = 0, Scans = 0;
    static constexpr size_t Size = 76;
    static TEmrSetDIBitsToDevice Read(const TRecordReader& r);
};

// ---- the rest ---------------------------------------------------------------------------------------

// COMMENT: the size of the data, then the data (EMF+ records start with their signature).
struct TEmrComment {
    uint32_t DataSize = 0;
    static constexpr size_t DataSizeAt = 8, DataAt = 12, Size = 12;
    static TEmrComment Read(const TRecordReader& r) { return {r.U32(DataSizeAt)}; }
    // Writes DataSize = data's size and the data.
    static void Write(TEmfWriter& w, std::span<const uint8_t> data);
    // Begins the record and writes DataSize; the caller writes that many bytes and ends it.
    static void WriteHead(TEmfWriter& w, uint32_t dataSize);
};

// EOF: no palette entries here; the last field repeats the record's size.
struct TEmrEof {
    uint32_t PalEntries = 0, OffPalEntries = 16, SizeLast = 20;
    static constexpr size_t PalEntriesAt = 8, OffPalEntriesAt = 12, SizeLastAt = 16, Size = 20;
    void Write(TEmfWriter& w) const;
};

// ---- reading, inline: the player reads every record through these --------------------------------

inline TXForm TXForm::Read(const TRecordReader& r, size_t at) {
    return {r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20)};
}

inline TBitmapRef TBitmapRef::Read(const TRecordReader& r, size_t at) {
    return {r.U32(at), r.U32(at + 4), r.U32(at + 8), r.U32(at + 12)};
}

inline TLogFontW TLogFontW::Read(const TRecordReader& r, size_t at) {
    TLogFontW f;
    f.Height = r.I32(at);
    f.Width = r.I32(at + 4);
    f.Escapement = r.I32(at + 8);
    f.Orientation = r.I32(at + 12);
    f.Weight = r.I32(at + 16);
    f.Italic = r.U8(at + 20);
    f.Underline = r.U8(at + 21);
    f.StrikeOut = r.U8(at + 22);
    f.CharSet = r.U8(at + 23);
    f.OutPrecision = r.U8(at + 24);
    f.ClipPrecision = r.U8(at + 25);
    f.Quality = r.U8(at + 26);
    f.PitchAndFamily = r.U8(at + 27);
    for (size_t i = 0; i < FaceNameUnits && r.Has(at + FaceNameAt + 2 * i, 2); ++i) {
        const char16_t c = r.U16(at + FaceNameAt + 2 * i);
        if (c == 0) break;
        f.FaceName.push_back(c);
    }
    return f;
}

inline TRgnDataHeader TRgnDataHeader::Read(const TRecordReader& r, size_t at) {
    return {r.U32(at), r.U32(at + 4), r.U32(at + 8), r.U32(at + 12), ReadRectL(r, at + 16)};
}

inline TEmrExtCreatePen TEmrExtCreatePen::Read(const TRecordReader& r) {
    TEmrExtCreatePen p;
    p.Handle = r.U32(8);
    p.Bitmap = TBitmapRef::Read(r, BitmapAt);
    p.Style = r.U32(StyleAt);
    p.Width = r.U32(StyleAt + 4);
    p.BrushStyle = r.U32(StyleAt + 8);
    p.Color = r.U32(StyleAt + 12);
    p.Hatch = r.U32(StyleAt + 16);
    p.NumEntries = r.U32(NumEntriesAt);
    return p;
}

inline TEmrText TEmrText::Read(const TRecordReader& r, size_t at) {
    const uint8_t* p = r.Fields(at, Bytes);
    return {PointLAt(p), GetU32(p + 8), GetU32(p + 12), GetU32(p + 16), RectLAt(p + 20), GetU32(p + 36)};
}

inline TEmrBitBlt TEmrBitBlt::Read(const TRecordReader& r) {
    TEmrBitBlt b;
    b.Bounds = ReadRectL(r, 8);
    b.XDest = r.I32(24);
    b.YDest = r.I32(28);
    b.CxDest = r.I32(32);
    b.CyDest = r.I32(36);
    b.Rop = r.U32(40);
    b.XSrc = r.I32(44);
    b.YSrc = r.I32(48);
    b.XFormSrc = TXForm::Read(r, 52);
    b.BkColorSrc = r.U32(76);
    b.UsageSrc = r.U32(UsageAt);
    b.Bitmap = TBitmapRef::Read(r, BitmapAt);
    return b;
}

inline TEmrStretchBlt TEmrStretchBlt::Read(const TRecordReader& r) {
    TEmrStretchBlt b;
    static_cast<TEmrBitBlt&>(b) = TEmrBitBlt::Read(r);
    b.CxSrc = r.I32(100);
    b.CySrc = r.I32(104);
    return b;
}

inline TEmrAlphaBlend TEmrAlphaBlend::Read(const TRecordReader& r) {
    TEmrAlphaBlend b;
    b.Bounds = ReadRectL(r, 8);
    b.XDest = r.I32(24);
    b.YDest = r.I32(28);
    b.CxDest = r.I32(32);
    b.CyDest = r.I32(36);
    b.BlendOp = r.U8(40);
    b.BlendFlags = r.U8(41);
    b.SourceConstantAlpha = r.U8(42);
    b.AlphaFormat = r.U8(43);
    b.XSrc = r.I32(44);
    b.YSrc = r.I32(48);
    b.XFormSrc = TXForm::Read(r, 52);
    b.BkColorSrc = r.U32(76);
    b.UsageSrc = r.U32(UsageAt);
    b.Bitmap = TBitmapRef::Read(r, BitmapAt);
    b.CxSrc = r.I32(100);
    b.CySrc = r.I32(104);
    return b;
}

inline void TEmrDibHead::ReadHead(const TRecordReader& r) {
    Bounds = ReadRectL(r, 8);
    XDest = r.I32(24);
    YDest = r.I32(28);
    XSrc = r.I32(32);
    YSrc = r.I32(36);
    CxSrc = r.I32(40);
    CySrc = r.I32(44);
    Bitmap = TBitmapRef::Read(r, BitmapAt);
    UsageSrc = r.U32(UsageAt);
}

inline TEmrStretchDIBits TEmrStretchDIBits::Read(const TRecordReader& r) {
    TEmrStretchDIBits b;
    b.ReadHead(r);
    b.Rop = r.U32(HeadSize);
    b.CxDest = r.I32(HeadSize + 4);
    b.CyDest = r.I32(HeadSize + 8);
    return b;
}

inline TEmrSetDIBitsToDevice TEmrSetDIBitsToDevice::Read(const TRecordReader& r) {
    TEmrSetDIBitsToDevice b;
    b.ReadHead(r);
    b.StartScan = r.U32(HeadSize);
    b.Scans = r.U32(HeadSize + 4);
    return b;
}

} // namespace pagimo::emf
