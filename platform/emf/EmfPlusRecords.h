#pragma once
// EMF+ records: the drawing records that GDI+ stores inside EMR_COMMENT records whose data starts with
// the "EMF+" signature. Each EMF+ record is Type (16 bits), Flags (16 bits), Size (whole record, a
// multiple of four) and DataSize, then its data. TEmfPlusWriter builds such comments with TEmfWriter.

#include "platform/emf/EmfRecords.h"
#include "platform/emf/EmfWriter.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace pagimo::emf {

// EmfPlusSignature ("EMF+") is in EmfRecords.h.
constexpr uint32_t EmfPlusMaxObjects = 64;        // object ids 0..63

enum : uint16_t {
    EmfPlusHeader = 0x4001,
    EmfPlusEndOfFile = 0x4002,
    EmfPlusComment = 0x4003,
    EmfPlusGetDC = 0x4004,
    EmfPlusMultiFormatStart = 0x4005,
    EmfPlusMultiFormatSection = 0x4006,
    EmfPlusMultiFormatEnd = 0x4007,
    EmfPlusObject = 0x4008,
    EmfPlusClear = 0x4009,
    EmfPlusFillRects = 0x400A,
    EmfPlusDrawRects = 0x400B,
    EmfPlusFillPolygon = 0x400C,
    EmfPlusDrawLines = 0x400D,
    EmfPlusFillEllipse = 0x400E,
    EmfPlusDrawEllipse = 0x400F,
    EmfPlusFillPie = 0x4010,
    EmfPlusDrawPie = 0x4011,
    EmfPlusDrawArc = 0x4012,
    EmfPlusFillRegion = 0x4013,
    EmfPlusFillPath = 0x4014,
    EmfPlusDrawPath = 0x4015,
    EmfPlusFillClosedCurve = 0x4016,
    EmfPlusDrawClosedCurve = 0x4017,
    EmfPlusDrawCurve = 0x4018,
    EmfPlusDrawBeziers = 0x4019,
    EmfPlusDrawImage = 0x401A,
    EmfPlusDrawImagePoints = 0x401B,
    EmfPlusDrawString = 0x401C,
    EmfPlusSetRenderingOrigin = 0x401D,
    EmfPlusSetAntiAliasMode = 0x401E,
    EmfPlusSetTextRenderingHint = 0x401F,
    EmfPlusSetTextContrast = 0x4020,
    EmfPlusSetInterpolationMode = 0x4021,
    EmfPlusSetPixelOffsetMode = 0x4022,
    EmfPlusSetCompositingMode = 0x4023,
    EmfPlusSetCompositingQuality = 0x4024,
    EmfPlusSave = 0x4025,
    EmfPlusRestore = 0x4026,
    EmfPlusBeginContainer = 0x4027,
    EmfPlusBeginContainerNoParams = 0x4028,
    EmfPlusEndContainer = 0x4029,
    EmfPlusSetWorldTransform = 0x402A,
    EmfPlusResetWorldTransform = 0x402B,
    EmfPlusMultiplyWorldTransform = 0x402C,
    EmfPlusTranslateWorldTransform = 0x402D,
    EmfPlusScaleWorldTransform = 0x402E,
    EmfPlusRotateWorldTransform = 0x402F,
    EmfPlusSetPageTransform = 0x4030,
    EmfPlusResetClip = 0x4031,
    EmfPlusSetClipRect = 0x4032,
    EmfPlusSetClipPath = 0x4033,
    EmfPlusSetClipRegion = 0x4034,
    EmfPlusOffsetClip = 0x4035,
    EmfPlusDrawDriverString = 0x4036,
};

// Object types (bits 8..14 of an Object record's flags).
enum : uint8_t {
    EmfPlusObjectBrush = 1,
    EmfPlusObjectPen = 2,
    EmfPlusObjectPath = 3,
    EmfPlusObjectRegion = 4,
    EmfPlusObjectImage = 5,
    EmfPlusObjectFont = 6,
    EmfPlusObjectStringFormat = 7,
    EmfPlusObjectImageAttributes = 8,
    EmfPlusObjectCustomLineCap = 9,
};

// Record flags shared by the drawing records.
constexpr uint16_t EmfPlusFlagSolidColor = 0x8000; // S: the brush field is an ARGB colour
constexpr uint16_t EmfPlusFlagCompressed = 0x4000; // C: points and rectangles are 16-bit integers
constexpr uint16_t EmfPlusFlagClosed = 0x2000;     // L (DrawLines): close the figure
constexpr uint16_t EmfPlusFlagAppend = 0x2000;     // A (world transform records): multiply after
constexpr uint16_t EmfPlusFlagRelative = 0x0800;   // P: points relative to the previous one
constexpr uint16_t EmfPlusFlagContinued = 0x8000;  // Object records: more records follow

// Brush types and the flags of their optional data.
enum : uint32_t {
    EmfPlusBrushSolid = 0,
    EmfPlusBrushHatch = 1,
    EmfPlusBrushTexture = 2,
    EmfPlusBrushPathGradient = 3,
    EmfPlusBrushLinearGradient = 4,
};
constexpr uint32_t EmfPlusBrushDataPath = 0x01, EmfPlusBrushDataTransform = 0x02,
                   EmfPlusBrushDataPresetColors = 0x04, EmfPlusBrushDataBlendFactorsH = 0x08,
                   EmfPlusBrushDataBlendFactorsV = 0x10, EmfPlusBrushDataFocusScales = 0x40;

// Pen data flags.
constexpr uint32_t EmfPlusPenTransform = 0x0001, EmfPlusPenStartCap = 0x0002, EmfPlusPenEndCap = 0x0004,
                   EmfPlusPenJoin = 0x0008, EmfPlusPenMiterLimit = 0x0010, EmfPlusPenLineStyle = 0x0020,
                   EmfPlusPenDashedLineCap = 0x0040, EmfPlusPenDashedLineOffset = 0x0080,
                   EmfPlusPenDashedLine = 0x0100, EmfPlusPenAlignment = 0x0200, EmfPlusPenCompoundLine = 0x0400,
                   EmfPlusPenCustomStartCap = 0x0800, EmfPlusPenCustomEndCap = 0x1000;

// Units of page transforms, pens and fonts.
enum : uint32_t {
    EmfPlusUnitWorld = 0,
    EmfPlusUnitDisplay = 1,
    EmfPlusUnitPixel = 2,
    EmfPlusUnitPoint = 3,
    EmfPlusUnitInch = 4,
    EmfPlusUnitDocument = 5,
    EmfPlusUnitMillimeter = 6,
};

// Path point types (low three bits) and their flags.
constexpr uint8_t EmfPlusPathStart = 0, EmfPlusPathLine = 1, EmfPlusPathBezier = 3, EmfPlusPathClose = 0x80;
constexpr uint32_t EmfPlusPathCompressed = 0x4000, EmfPlusPathRle = 0x1000, EmfPlusPathRelative = 0x0800;

// Region node types.
constexpr uint32_t EmfPlusRegionAnd = 1, EmfPlusRegionUnion = 2, EmfPlusRegionXor = 3, EmfPlusRegionExclude = 4,
                   EmfPlusRegionComplement = 5, EmfPlusRegionRect = 0x10000000, EmfPlusRegionPath = 0x10000001,
                   EmfPlusRegionEmpty = 0x10000002, EmfPlusRegionInfinite = 0x10000003;

// The graphics version every object starts with.
constexpr uint32_t EmfPlusGraphicsVersion = 0xDBC01002;

// Little-endian field builder for EMF+ record data.
class TEmfPlusData {
public:
    TEmfPlusData& U32(uint32_t v);
    TEmfPlusData& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    TEmfPlusData& U16(uint16_t v);
    TEmfPlusData& I16(int16_t v) { return U16(static_cast<uint16_t>(v)); }
    TEmfPlusData& U8(uint8_t v);
    TEmfPlusData& F32(float v);
    TEmfPlusData& Rect(float x, float y, float w, float h) { return F32(x).F32(y).F32(w).F32(h); }
    TEmfPlusData& Text(std::u16string_view text); // UTF-16 units, not terminated
    TEmfPlusData& Bytes(std::span<const uint8_t> bytes);
    TEmfPlusData& Pad(); // to four bytes
    const std::vector<uint8_t>& Get() const { return FBytes; }
    size_t Size() const { return FBytes.size(); }

private:
    std::vector<uint8_t> FBytes;
};

// Writes EMF+ records into an EMF being built, one EMR_COMMENT per record.
class TEmfPlusWriter {
public:
    explicit TEmfPlusWriter(TEmfWriter& emf) : FEmf(emf) {}
    void Record(uint16_t type, uint16_t flags, std::span<const uint8_t> data = {});
    void Record(uint16_t type, uint16_t flags, const TEmfPlusData& data) { Record(type, flags, data.Get()); }
    // Header (dual: GDI records follow as a fallback), then EndOfFile before the EMF is finished.
    void Header(bool dual, uint32_t dpi = 96);
    void EndOfFile() { Record(EmfPlusEndOfFile, 0); }
    // An object record; a big object is split over continued records of at most chunk bytes.
    void Object(uint8_t id, uint8_t type, const TEmfPlusData& data, size_t chunk = 0);

private:
    TEmfWriter& FEmf;
};

} // namespace pagimo::emf
