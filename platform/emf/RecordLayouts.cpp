#include "platform/emf/RecordLayouts.h"

#include "platform/emf/EmfRecords.h"
#include "platform/emf/LittleEndian.h"

namespace pagimo::emf {

namespace {

// Info padded to four bytes, then bits: the payload of the bitmap records the recorder writes.
void WriteInfoAndBits(TEmfWriter& w, std::span<const uint8_t> info, std::span<const uint8_t> bits) {
    static constexpr uint8_t Zeros[4] = {};
    w.Bytes(info);
    w.Bytes(std::span<const uint8_t>(Zeros, (4 - info.size() % 4) % 4));
    w.Bytes(bits);
}

} // namespace

void TXForm::Write(TEmfWriter& w) const {
    for (float v : {M11, M12, M21, M22, Dx, Dy})
        w.F32(v);
}

void TLogFontW::Write(TEmfWriter& w) const {
    for (int32_t v : {Height, Width, Escapement, Orientation, Weight})
        w.I32(v);
    const uint8_t bytes[8] = {Italic,       Underline,     StrikeOut, CharSet,
                              OutPrecision, ClipPrecision, Quality,   PitchAndFamily};
    w.Bytes(bytes);
    for (size_t i = 0; i < FaceNameUnits; ++i)
        w.U16(i < FaceName.size() && i < FaceNameUnits - 1 ? FaceName[i] : 0);
}

void TRgnDataHeader::Write(TEmfWriter& w) const {
    for (uint32_t v : {HeaderSize, Type, Count, RgnSize})
        w.U32(v);
    WriteRectL(w, Bounds);
}

void TEmrValue::Write(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    w.U32(Value);
    w.End();
}

void TEmrEmpty::Write(TEmfWriter& w, uint32_t type) {
    w.Begin(type);
    w.End();
}

void TEmrPoint::Write(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    Point.Write(w);
    w.End();
}

void TEmrScaleExt::Write(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    for (int32_t v : {XNum, XDenom, YNum, YDenom})
        w.I32(v);
    w.End();
}

void TEmrSetWorldTransform::Write(TEmfWriter& w) const {
    w.Begin(EMR_SETWORLDTRANSFORM);
    XForm.Write(w);
    w.End();
}

void TEmrModifyWorldTransform::Write(TEmfWriter& w) const {
    w.Begin(EMR_MODIFYWORLDTRANSFORM);
    XForm.Write(w);
    w.U32(Mode);
    w.End();
}

void TEmrBox::Write(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    WriteRectL(w, Box);
    w.End();
}

void TEmrRoundRect::Write(TEmfWriter& w) const {
    w.Begin(EMR_ROUNDRECT);
    WriteRectL(w, Box);
    Corner.Write(w);
    w.End();
}

void TEmrArc::Write(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    WriteRectL(w, Box);
    Start.Write(w);
    End.Write(w);
    w.End();
}

void TEmrAngleArc::Write(TEmfWriter& w) const {
    w.Begin(EMR_ANGLEARC);
    Center.Write(w);
    w.U32(Radius);
    w.F32(StartAngle);
    w.F32(SweepAngle);
    w.End();
}

void TEmrSetPixelV::Write(TEmfWriter& w) const {
    w.Begin(EMR_SETPIXELV);
    Pixel.Write(w);
    w.U32(Color);
    w.End();
}

void TEmrPoly::WriteHead(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    WriteRectL(w, Bounds);
    w.U32(Count);
}

void TEmrPolyPoly::WriteHead(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    WriteRectL(w, Bounds);
    w.U32(Polys);
    w.U32(Count);
}

void TEmrCreatePen::Write(TEmfWriter& w) const {
    w.Begin(EMR_CREATEPEN);
    w.U32(Handle);
    w.U32(Style);
    w.I32(Width);
    w.I32(0); // the width's unused y
    w.U32(Color);
    w.End();
}

void TEmrExtCreatePen::Write(TEmfWriter& w, std::span<const uint32_t> entries) const {
    w.Begin(EMR_EXTCREATEPEN);
    w.U32(Handle);
    Bitmap.Write(w);
    for (uint32_t v : {Style, Width, BrushStyle, Color, Hatch, NumEntries})
        w.U32(v);
    for (uint32_t v : entries)
        w.U32(v);
    w.End();
}

void TEmrCreateBrushIndirect::Write(TEmfWriter& w) const {
    w.Begin(EMR_CREATEBRUSHINDIRECT);
    for (uint32_t v : {Handle, Style, Color, Hatch})
        w.U32(v);
    w.End();
}

void TEmrCreateDibPatternBrush::Write(TEmfWriter& w, uint32_t type, std::span<const uint8_t> info,
                                      std::span<const uint8_t> bits) const {
    w.Begin(type);
    w.U32(Handle);
    w.U32(Usage);
    Bitmap.Write(w);
    w.Bytes(info);
    w.Bytes(bits);
    w.End();
}

void TEmrExtCreateFontIndirectW::Write(TEmfWriter& w) const {
    w.Begin(EMR_EXTCREATEFONTINDIRECTW);
    w.U32(Handle);
    Font.Write(w);
    w.End();
}

void TEmrExtSelectClipRgn::Write(TEmfWriter& w, const TRgnDataHeader* region, std::span<const TRectL> rects) const {
    w.Begin(EMR_EXTSELECTCLIPRGN);
    w.U32(RgnDataSize);
    w.U32(Mode);
    if (region) region->Write(w);
    for (const TRectL& r : rects)
        WriteRectL(w, r);
    w.End();
}

void TEmrText::Write(TEmfWriter& w) const {
    Reference.Write(w);
    w.U32(Chars);
    w.U32(OffString);
    w.U32(Options);
    WriteRectL(w, Rect);
    w.U32(OffDx);
}

void TEmrExtTextOut::Write(TEmfWriter& w, uint32_t type, std::span<const uint8_t> string,
                           std::span<const int32_t> dx) const {
    static constexpr uint8_t Zeros[4] = {};
    w.Begin(type);
    WriteRectL(w, Bounds);
    w.U32(GraphicsMode);
    w.F32(ExScale);
    w.F32(EyScale);
    Text.Write(w);
    w.Bytes(string);
    w.Bytes(std::span<const uint8_t>(Zeros, (4 - string.size() % 4) % 4));
    for (int32_t d : dx)
        w.I32(d);
    w.End();
}

void TEmrExtTextOut::Write(TEmfWriter& w, std::u16string_view string, std::span<const int32_t> dx) const {
    w.Begin(EMR_EXTTEXTOUTW);
    WriteRectL(w, Bounds);
    w.U32(GraphicsMode);
    w.F32(ExScale);
    w.F32(EyScale);
    Text.Write(w);
    // The string (padded to four bytes) and the advances in one piece.
    const size_t units = string.size() + string.size() % 2;
    uint8_t* p = w.Grow(2 * units + 4 * dx.size());
    for (char16_t c : string) {
        PutU16(p, c);
        p += 2;
    }
    p += 2 * (units - string.size());
    for (int32_t d : dx) {
        PutI32(p, d);
        p += 4;
    }
    w.End();
}

void TEmrSmallTextOut::Write(TEmfWriter& w, const TRectL* clip, std::span<const uint8_t> string) const {
    static constexpr uint8_t Zeros[4] = {};
    w.Begin(EMR_SMALLTEXTOUT);
    Reference.Write(w);
    w.U32(Chars);
    w.U32(Options);
    w.U32(GraphicsMode);
    w.F32(ExScale);
    w.F32(EyScale);
    if (clip) WriteRectL(w, *clip);
    w.Bytes(string);
    w.Bytes(std::span<const uint8_t>(Zeros, (4 - string.size() % 4) % 4));
    w.End();
}

void TEmrBitBlt::Write(TEmfWriter& w) const {
    w.Begin(EMR_BITBLT);
    WriteRectL(w, Bounds);
    for (int32_t v : {XDest, YDest, CxDest, CyDest})
        w.I32(v);
    w.U32(Rop);
    w.I32(XSrc);
    w.I32(YSrc);
    XFormSrc.Write(w);
    w.U32(BkColorSrc);
    w.U32(UsageSrc);
    Bitmap.Write(w);
    w.End();
}

void TEmrAlphaBlend::Write(TEmfWriter& w, std::span<const uint8_t> info, std::span<const uint8_t> bits) const {
    w.Begin(EMR_ALPHABLEND);
    WriteRectL(w, Bounds);
    for (int32_t v : {XDest, YDest, CxDest, CyDest})
        w.I32(v);
    const uint8_t blend[4] = {BlendOp, BlendFlags, SourceConstantAlpha, AlphaFormat};
    w.Bytes(blend);
    w.I32(XSrc);
    w.I32(YSrc);
    XFormSrc.Write(w);
    w.U32(BkColorSrc);
    w.U32(UsageSrc);
    Bitmap.Write(w);
    w.I32(CxSrc);
    w.I32(CySrc);
    WriteInfoAndBits(w, info, bits);
    w.End();
}

void TEmrDibHead::WriteHead(TEmfWriter& w, uint32_t type) const {
    w.Begin(type);
    WriteRectL(w, Bounds);
    for (int32_t v : {XDest, YDest, XSrc, YSrc, CxSrc, CySrc})
        w.I32(v);
    Bitmap.Write(w);
    w.U32(UsageSrc);
}

void TEmrStretchDIBits::Write(TEmfWriter& w, std::span<const uint8_t> info, std::span<const uint8_t> bits) const {
    WriteHead(w, EMR_STRETCHDIBITS);
    w.U32(Rop);
    w.I32(CxDest);
    w.I32(CyDest);
    WriteInfoAndBits(w, info, bits);
    w.End();
}

void TEmrComment::Write(TEmfWriter& w, std::span<const uint8_t> data) {
    WriteHead(w, static_cast<uint32_t>(data.size()));
    w.Bytes(data);
    w.End();
}

void TEmrComment::WriteHead(TEmfWriter& w, uint32_t dataSize) {
    w.Begin(EMR_COMMENT);
    w.U32(dataSize);
}

void TEmrEof::Write(TEmfWriter& w) const {
    w.Begin(EMR_EOF);
    w.U32(PalEntries);
    w.U32(OffPalEntries);
    w.U32(SizeLast);
    w.End();
}

} // namespace pagimo::emf
