#include "platform/emf/EmfPlusLayouts.h"

#include <algorithm>
#include <cmath>

namespace pagimo::emf {

namespace {

void Need(bool ok, const char* what) {
    if (!ok) throw ERecordDamaged(what);
}

// A count of elements of elementBytes each that must fit in the reader from at.
uint32_t Count(const TRecordReader& r, size_t countAt, size_t elementBytes, uint32_t limit = PlusMaxPoints) {
    const uint32_t n = r.U32(countAt);
    Need(n <= limit && r.Has(countAt + 4, static_cast<uint64_t>(n) * elementBytes), "EMF+ count past the record");
    return n;
}

std::vector<float> Floats(const TRecordReader& r, size_t at, uint32_t n) {
    std::vector<float> out;
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        out.push_back(ReadPlusF32(r, at + 4 * i));
    return out;
}

std::vector<uint32_t> Words(const TRecordReader& r, size_t at, uint32_t n) {
    r.Bytes(at, n, 4);
    std::vector<uint32_t> out;
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i)
        out.push_back(r.U32(at + 4 * i));
    return out;
}

void WriteFloats(TEmfPlusData& d, const std::vector<float>& v) {
    for (float f : v)
        d.F32(f);
}

// An object stored with its size in front (custom caps in pens, paths in caps and region nodes): a
// reader over exactly its bytes.
TRecordReader Sized(const TRecordReader& r, size_t at, size_t& end) {
    const uint32_t size = r.U32(at);
    const auto bytes = r.Bytes(at + 4, size);
    end = at + 4 + size;
    return TRecordReader(bytes);
}

template <class T> void WriteSized(TEmfPlusData& d, const T& object) {
    TEmfPlusData inner;
    object.Write(inner);
    d.U32(static_cast<uint32_t>(inner.Size())).Bytes(inner.Get());
}

TPlusPointF ReadPoint(const TRecordReader& r, size_t at) {
    return {ReadPlusF32(r, at), ReadPlusF32(r, at + 4)};
}

} // namespace

float ReadPlusF32(const TRecordReader& r, size_t at) {
    const float v = r.F32(at);
    if (!std::isfinite(v) || std::abs(v) > 1e9f) throw ERecordDamaged("EMF+ number out of range");
    return v;
}

TPlusMatrix TPlusMatrix::Read(const TRecordReader& r, size_t at) {
    return {ReadPlusF32(r, at),      ReadPlusF32(r, at + 4),  ReadPlusF32(r, at + 8),
            ReadPlusF32(r, at + 12), ReadPlusF32(r, at + 16), ReadPlusF32(r, at + 20)};
}

void TPlusMatrix::Write(TEmfPlusData& d) const {
    d.F32(M11).F32(M12).F32(M21).F32(M22).F32(Dx).F32(Dy);
}

TPlusRectF ReadPlusRect(const TRecordReader& r, size_t at, bool compressed) {
    if (compressed) {
        const uint8_t* p = r.Fields(at, 8);
        return {static_cast<float>(GetI16(p)), static_cast<float>(GetI16(p + 2)), static_cast<float>(GetI16(p + 4)),
                static_cast<float>(GetI16(p + 6))};
    }
    return {ReadPlusF32(r, at), ReadPlusF32(r, at + 4), ReadPlusF32(r, at + 8), ReadPlusF32(r, at + 12)};
}

void WritePlusRect(TEmfPlusData& d, const TPlusRectF& rect, bool compressed) {
    if (compressed) {
        for (float v : {rect.X, rect.Y, rect.Width, rect.Height})
            d.I16(static_cast<int16_t>(std::lround(v)));
    } else {
        d.Rect(rect.X, rect.Y, rect.Width, rect.Height);
    }
}

std::vector<TPlusPointF> ReadPlusPoints(const TRecordReader& r, size_t at, uint32_t count, uint16_t flags,
                                        size_t* end) {
    Need(count <= PlusMaxPoints && r.Has(at, count), "EMF+ point count past the record");
    std::vector<TPlusPointF> points;
    points.reserve(count);
    if (flags & EmfPlusFlagRelative) {
        // Steps of 7 bits (high bit clear) or 15 bits (high bit set), each relative to the last point.
        float x = 0, y = 0;
        auto step = [&]() -> float {
            const uint8_t b = r.U8(at++);
            if (!(b & 0x80)) return static_cast<float>((b & 0x40) ? static_cast<int>(b) - 128 : b);
            int v = ((b & 0x7F) << 8) | r.U8(at++);
            if (v & 0x4000) v -= 0x8000;
            return static_cast<float>(v);
        };
        for (uint32_t i = 0; i < count; ++i) {
            x += step();
            y += step();
            points.push_back({x, y});
        }
    } else if (flags & EmfPlusFlagCompressed) {
        const auto bytes = r.Bytes(at, count, 4);
        for (uint32_t i = 0; i < count; ++i)
            points.push_back({static_cast<float>(GetI16(bytes.data() + 4 * i)),
                              static_cast<float>(GetI16(bytes.data() + 4 * i + 2))});
        at += 4ull * count;
    } else {
        r.Bytes(at, count, 8);
        for (uint32_t i = 0; i < count; ++i, at += 8)
            points.push_back(ReadPoint(r, at));
    }
    if (end) *end = at;
    return points;
}

void WritePlusPoints(TEmfPlusData& d, const std::vector<TPlusPointF>& points, uint16_t flags) {
    for (const TPlusPointF& p : points) {
        if (flags & EmfPlusFlagCompressed)
            d.I16(static_cast<int16_t>(std::lround(p.X))).I16(static_cast<int16_t>(std::lround(p.Y)));
        else
            d.F32(p.X).F32(p.Y);
    }
}

// ---- objects ----------------------------------------------------------------------------------------

TPlusPath TPlusPath::Read(const TRecordReader& r, size_t at, size_t* end) {
    TPlusPath p;
    const uint32_t count = r.U32(at + 4);
    p.Flags = r.U32(at + 8);
    size_t o = at + 12;
    const uint16_t pointFlags = static_cast<uint16_t>((p.Flags & EmfPlusPathRelative ? EmfPlusFlagRelative : 0) |
                                                      (p.Flags & EmfPlusPathCompressed ? EmfPlusFlagCompressed : 0));
    p.Points = ReadPlusPoints(r, o, count, pointFlags, &o);
    p.Types.reserve(count);
    if (p.Flags & EmfPlusPathRle) {
        // Runs: a count (low six bits) and the type of the run.
        while (p.Types.size() < count) {
            const uint8_t run = r.U8(o) & 0x3F, type = r.U8(o + 1);
            o += 2;
            Need(run != 0, "empty EMF+ path type run");
            for (uint32_t i = 0; i < run && p.Types.size() < count; ++i)
                p.Types.push_back(type);
        }
    } else {
        const auto bytes = r.Bytes(o, count);
        p.Types.assign(bytes.begin(), bytes.end());
        o += count;
    }
    if (end) *end = (o + 3) / 4 * 4;
    return p;
}

void TPlusPath::Write(TEmfPlusData& d) const {
    const uint32_t flags = Flags & EmfPlusPathCompressed;
    d.U32(EmfPlusGraphicsVersion).U32(static_cast<uint32_t>(Points.size())).U32(flags);
    WritePlusPoints(d, Points, flags ? EmfPlusFlagCompressed : 0);
    for (size_t i = 0; i < Points.size(); ++i)
        d.U8(i < Types.size() ? Types[i] : EmfPlusPathLine);
    d.Pad();
}

TPlusImage TPlusImage::Read(const TRecordReader& r, size_t at) {
    TPlusImage image;
    image.Type = r.U32(at + 4);
    if (image.Type == 2) {
        image.MetafileType = r.U32(at + 8);
        image.Data = r.Bytes(at + 16, r.U32(at + 12));
        return image;
    }
    Need(image.Type == 1, "unknown EMF+ image type");
    const uint8_t* p = r.Fields(at + 8, 20);
    image.Width = GetI32(p);
    image.Height = GetI32(p + 4);
    image.Stride = GetI32(p + 8);
    image.PixelFormat = GetU32(p + 12);
    image.BitmapType = GetU32(p + 16);
    image.Data = r.All().subspan(at + 28);
    // Pixels (after a palette, for indexed formats) fill Stride bytes a row.
    if (image.BitmapType == 0 && image.Stride > 0 && image.Height > 0)
        Need(image.Data.size() >= static_cast<uint64_t>(image.Stride) * static_cast<uint64_t>(image.Height),
             "EMF+ bitmap past the record");
    return image;
}

void TPlusImage::Write(TEmfPlusData& d) const {
    d.U32(EmfPlusGraphicsVersion).U32(Type);
    if (Type == 2)
        d.U32(MetafileType).U32(static_cast<uint32_t>(Data.size()));
    else
        d.I32(Width).I32(Height).I32(Stride).U32(PixelFormat).U32(BitmapType);
    d.Bytes(Data).Pad();
}

TPlusCustomLineCap TPlusCustomLineCap::Read(const TRecordReader& r, size_t at) {
    TPlusCustomLineCap c;
    c.Type = r.U32(at + 4);
    if (c.Type == 1) {
        c.Width = ReadPlusF32(r, at + 8);
        c.Height = ReadPlusF32(r, at + 12);
        c.MiddleInset = ReadPlusF32(r, at + 16);
        c.FillState = r.U32(at + 20);
        c.StrokeStartCap = r.U32(at + 24);
        c.StrokeEndCap = r.U32(at + 28);
        c.StrokeJoin = r.U32(at + 32);
        c.StrokeMiterLimit = ReadPlusF32(r, at + 36);
        c.WidthScale = ReadPlusF32(r, at + 40);
        c.FillHotSpot = ReadPoint(r, at + 44);
        c.LineHotSpot = ReadPoint(r, at + 52);
        return c;
    }
    Need(c.Type == 0, "unknown EMF+ line cap type");
    c.Flags = r.U32(at + 8);
    c.BaseCap = r.U32(at + 12);
    c.BaseInset = ReadPlusF32(r, at + 16);
    c.StrokeStartCap = r.U32(at + 20);
    c.StrokeEndCap = r.U32(at + 24);
    c.StrokeJoin = r.U32(at + 28);
    c.StrokeMiterLimit = ReadPlusF32(r, at + 32);
    c.WidthScale = ReadPlusF32(r, at + 36);
    c.FillHotSpot = ReadPoint(r, at + 40);
    c.LineHotSpot = ReadPoint(r, at + 48);
    size_t o = at + 56;
    if (c.Flags & FillPathPresent) c.FillPath = TPlusPath::Read(Sized(r, o, o), 0);
    if (c.Flags & LinePathPresent) c.LinePath = TPlusPath::Read(Sized(r, o, o), 0);
    return c;
}

void TPlusCustomLineCap::Write(TEmfPlusData& d) const {
    d.U32(EmfPlusGraphicsVersion).U32(Type);
    if (Type == 1) {
        d.F32(Width).F32(Height).F32(MiddleInset).U32(FillState).U32(StrokeStartCap).U32(StrokeEndCap).U32(StrokeJoin);
        d.F32(StrokeMiterLimit)
            .F32(WidthScale)
            .F32(FillHotSpot.X)
            .F32(FillHotSpot.Y)
            .F32(LineHotSpot.X)
            .F32(LineHotSpot.Y);
        return;
    }
    const uint32_t flags = (FillPath ? FillPathPresent : 0) | (LinePath ? LinePathPresent : 0);
    d.U32(flags).U32(BaseCap).F32(BaseInset).U32(StrokeStartCap).U32(StrokeEndCap).U32(StrokeJoin);
    d.F32(StrokeMiterLimit).F32(WidthScale).F32(FillHotSpot.X).F32(FillHotSpot.Y).F32(LineHotSpot.X).F32(LineHotSpot.Y);
    if (FillPath) WriteSized(d, *FillPath);
    if (LinePath) WriteSized(d, *LinePath);
}

TPlusBrush TPlusBrush::Read(const TRecordReader& r, size_t at) {
    TPlusBrush b;
    b.Type = r.U32(at + 4);
    switch (b.Type) {
    case EmfPlusBrushSolid:
        b.Color = r.U32(at + 8);
        return b;
    case EmfPlusBrushHatch:
        b.Hatch = r.U32(at + 8);
        b.Color = r.U32(at + 12);
        b.Back = r.U32(at + 16);
        return b;
    case EmfPlusBrushTexture: {
        b.Flags = r.U32(at + 8);
        b.Wrap = r.U32(at + 12);
        size_t o = at + 16;
        if (b.Flags & EmfPlusBrushDataTransform) b.Transform = TPlusMatrix::Read(r, o), o += TPlusMatrix::Bytes;
        b.Image = std::make_shared<const TPlusImage>(TPlusImage::Read(r, o));
        return b;
    }
    case EmfPlusBrushLinearGradient: {
        b.Flags = r.U32(at + 8);
        b.Wrap = r.U32(at + 12);
        b.Rect = ReadPlusRect(r, at + 16, false);
        b.Color = r.U32(at + 32);
        b.Back = r.U32(at + 36);
        size_t o = at + 48; // past two reserved words
        r.Fields(at + 40, 8);
        if (b.Flags & EmfPlusBrushDataTransform) b.Transform = TPlusMatrix::Read(r, o), o += TPlusMatrix::Bytes;
        if (b.Flags & EmfPlusBrushDataPresetColors) {
            const uint32_t n = Count(r, o, 8);
            b.BlendPositions = Floats(r, o + 4, n);
            b.PresetColors = Words(r, o + 4 + 4ull * n, n);
            o += 4 + 8ull * n;
        }
        if (b.Flags & EmfPlusBrushDataBlendFactorsH) {
            const uint32_t n = Count(r, o, 8);
            b.BlendPositions = Floats(r, o + 4, n);
            b.BlendFactors = Floats(r, o + 4 + 4ull * n, n);
            o += 4 + 8ull * n;
        }
        if (b.Flags & EmfPlusBrushDataBlendFactorsV) {
            const uint32_t n = Count(r, o, 8);
            b.BlendPositionsV = Floats(r, o + 4, n);
            b.BlendFactorsV = Floats(r, o + 4 + 4ull * n, n);
        }
        return b;
    }
    case EmfPlusBrushPathGradient: {
        b.Flags = r.U32(at + 8);
        b.Wrap = r.U32(at + 12);
        b.Color = r.U32(at + 16);
        b.Center = ReadPoint(r, at + 20);
        const uint32_t surround = Count(r, at + 28, 4);
        b.Surround = Words(r, at + 32, surround);
        size_t o = at + 32 + 4ull * surround;
        if (b.Flags & EmfPlusBrushDataPath) {
            b.BoundaryPath = TPlusPath::Read(Sized(r, o, o), 0);
        } else {
            const uint32_t n = Count(r, o, 8);
            b.BoundaryPoints = ReadPlusPoints(r, o + 4, n, 0, &o);
        }
        if (b.Flags & EmfPlusBrushDataTransform) b.Transform = TPlusMatrix::Read(r, o), o += TPlusMatrix::Bytes;
        if (b.Flags & (EmfPlusBrushDataPresetColors | EmfPlusBrushDataBlendFactorsH)) {
            const uint32_t n = Count(r, o, 8);
            b.BlendPositions = Floats(r, o + 4, n);
            if (b.Flags & EmfPlusBrushDataPresetColors)
                b.PresetColors = Words(r, o + 4 + 4ull * n, n);
            else
                b.BlendFactors = Floats(r, o + 4 + 4ull * n, n);
            o += 4 + 8ull * n;
        }
        if (b.Flags & EmfPlusBrushDataFocusScales) {
            Need(r.U32(o) == 2, "EMF+ focus scales not two");
            b.FocusX = ReadPlusF32(r, o + 4);
            b.FocusY = ReadPlusF32(r, o + 8);
        }
        return b;
    }
    default:
        throw ERecordDamaged("unknown EMF+ brush type");
    }
}

void TPlusBrush::Write(TEmfPlusData& d) const {
    d.U32(EmfPlusGraphicsVersion).U32(Type);
    switch (Type) {
    case EmfPlusBrushSolid:
        d.U32(Color);
        return;
    case EmfPlusBrushHatch:
        d.U32(Hatch).U32(Color).U32(Back);
        return;
    case EmfPlusBrushTexture:
        d.U32(Flags & EmfPlusBrushDataTransform).U32(Wrap);
        if (Flags & EmfPlusBrushDataTransform) Transform.Write(d);
        if (Image) Image->Write(d);
        return;
    case EmfPlusBrushLinearGradient:
        d.U32(Flags).U32(Wrap);
        WritePlusRect(d, Rect, false);
        d.U32(Color).U32(Back).U32(0).U32(0);
        if (Flags & EmfPlusBrushDataTransform) Transform.Write(d);
        if (Flags & EmfPlusBrushDataPresetColors) {
            d.U32(static_cast<uint32_t>(BlendPositions.size()));
            WriteFloats(d, BlendPositions);
            for (uint32_t c : PresetColors)
                d.U32(c);
        }
        if (Flags & EmfPlusBrushDataBlendFactorsH) {
            d.U32(static_cast<uint32_t>(BlendPositions.size()));
            WriteFloats(d, BlendPositions);
            WriteFloats(d, BlendFactors);
        }
        if (Flags & EmfPlusBrushDataBlendFactorsV) {
            d.U32(static_cast<uint32_t>(BlendPositionsV.size()));
            WriteFloats(d, BlendPositionsV);
            WriteFloats(d, BlendFactorsV);
        }
        return;
    default: // path gradient
        d.U32(Flags).U32(Wrap).U32(Color).F32(Center.X).F32(Center.Y).U32(static_cast<uint32_t>(Surround.size()));
        for (uint32_t c : Surround)
            d.U32(c);
        if (Flags & EmfPlusBrushDataPath) {
            WriteSized(d, BoundaryPath ? *BoundaryPath : TPlusPath{});
        } else {
            d.U32(static_cast<uint32_t>(BoundaryPoints.size()));
            WritePlusPoints(d, BoundaryPoints, 0);
        }
        if (Flags & EmfPlusBrushDataTransform) Transform.Write(d);
        if (Flags & (EmfPlusBrushDataPresetColors | EmfPlusBrushDataBlendFactorsH)) {
            d.U32(static_cast<uint32_t>(BlendPositions.size()));
            WriteFloats(d, BlendPositions);
            if (Flags & EmfPlusBrushDataPresetColors)
                for (uint32_t c : PresetColors)
                    d.U32(c);
            else
                WriteFloats(d, BlendFactors);
        }
        if (Flags & EmfPlusBrushDataFocusScales) d.U32(2).F32(FocusX).F32(FocusY);
        return;
    }
}

TPlusPen TPlusPen::Read(const TRecordReader& r, size_t at) {
    TPlusPen p;
    p.Flags = r.U32(at + 8);
    p.Unit = r.U32(at + 12);
    p.Width = ReadPlusF32(r, at + 16);
    size_t o = at + 20;
    const uint32_t f = p.Flags;
    if (f & EmfPlusPenTransform) p.Transform = TPlusMatrix::Read(r, o), o += TPlusMatrix::Bytes;
    if (f & EmfPlusPenStartCap) p.StartCap = r.I32(o), o += 4;
    if (f & EmfPlusPenEndCap) p.EndCap = r.I32(o), o += 4;
    if (f & EmfPlusPenJoin) p.Join = r.U32(o), o += 4;
    if (f & EmfPlusPenMiterLimit) p.MiterLimit = ReadPlusF32(r, o), o += 4;
    if (f & EmfPlusPenLineStyle) p.LineStyle = r.U32(o), o += 4;
    if (f & EmfPlusPenDashedLineCap) p.DashedLineCap = r.U32(o), o += 4;
    if (f & EmfPlusPenDashedLineOffset) p.DashOffset = ReadPlusF32(r, o), o += 4;
    if (f & EmfPlusPenDashedLine) {
        const uint32_t n = Count(r, o, 4);
        p.DashArray = Floats(r, o + 4, n);
        o += 4 + 4ull * n;
    }
    if (f & EmfPlusPenAlignment) p.Alignment = r.U32(o), o += 4;
    if (f & EmfPlusPenCompoundLine) {
        const uint32_t n = Count(r, o, 4);
        p.Compound = Floats(r, o + 4, n);
        o += 4 + 4ull * n;
    }
    if (f & EmfPlusPenCustomStartCap) p.CustomStartCap = TPlusCustomLineCap::Read(Sized(r, o, o), 0);
    if (f & EmfPlusPenCustomEndCap) p.CustomEndCap = TPlusCustomLineCap::Read(Sized(r, o, o), 0);
    p.Brush = TPlusBrush::Read(r, o);
    return p;
}

void TPlusPen::Write(TEmfPlusData& d) const {
    uint32_t f =
        Flags & ~(EmfPlusPenDashedLine | EmfPlusPenCompoundLine | EmfPlusPenCustomStartCap | EmfPlusPenCustomEndCap);
    if (!DashArray.empty()) f |= EmfPlusPenDashedLine;
    if (!Compound.empty()) f |= EmfPlusPenCompoundLine;
    if (CustomStartCap) f |= EmfPlusPenCustomStartCap;
    if (CustomEndCap) f |= EmfPlusPenCustomEndCap;
    d.U32(EmfPlusGraphicsVersion).U32(0).U32(f).U32(Unit).F32(Width);
    if (f & EmfPlusPenTransform) Transform.Write(d);
    if (f & EmfPlusPenStartCap) d.I32(StartCap);
    if (f & EmfPlusPenEndCap) d.I32(EndCap);
    if (f & EmfPlusPenJoin) d.U32(Join);
    if (f & EmfPlusPenMiterLimit) d.F32(MiterLimit);
    if (f & EmfPlusPenLineStyle) d.U32(LineStyle);
    if (f & EmfPlusPenDashedLineCap) d.U32(DashedLineCap);
    if (f & EmfPlusPenDashedLineOffset) d.F32(DashOffset);
    if (f & EmfPlusPenDashedLine) d.U32(static_cast<uint32_t>(DashArray.size())), WriteFloats(d, DashArray);
    if (f & EmfPlusPenAlignment) d.U32(Alignment);
    if (f & EmfPlusPenCompoundLine) d.U32(static_cast<uint32_t>(Compound.size())), WriteFloats(d, Compound);
    if (CustomStartCap) WriteSized(d, *CustomStartCap);
    if (CustomEndCap) WriteSized(d, *CustomEndCap);
    Brush.Write(d);
}

namespace {

void ReadRegionNode(const TRecordReader& r, size_t& o, std::vector<TPlusRegionNode>& nodes, int depth) {
    Need(nodes.size() < TPlusRegion::MaxNodes && depth <= 64, "EMF+ region too deep");
    TPlusRegionNode node;
    node.Type = r.U32(o);
    o += 4;
    switch (node.Type) {
    case EmfPlusRegionRect:
        node.Rect = ReadPlusRect(r, o, false);
        o += 16;
        nodes.push_back(std::move(node));
        return;
    case EmfPlusRegionPath:
        node.Path = TPlusPath::Read(Sized(r, o, o), 0);
        nodes.push_back(std::move(node));
        return;
    case EmfPlusRegionEmpty:
    case EmfPlusRegionInfinite:
        nodes.push_back(std::move(node));
        return;
    case EmfPlusRegionAnd:
    case EmfPlusRegionUnion:
    case EmfPlusRegionXor:
    case EmfPlusRegionExclude:
    case EmfPlusRegionComplement:
        nodes.push_back(std::move(node));
        ReadRegionNode(r, o, nodes, depth + 1);
        ReadRegionNode(r, o, nodes, depth + 1);
        return;
    default:
        throw ERecordDamaged("unknown EMF+ region node");
    }
}

} // namespace

TPlusRegion TPlusRegion::Read(const TRecordReader& r, size_t at) {
    Need(r.U32(at + 4) <= MaxNodes, "EMF+ region too big");
    TPlusRegion region;
    size_t o = at + 8;
    ReadRegionNode(r, o, region.Nodes, 0);
    return region;
}

void TPlusRegion::Write(TEmfPlusData& d) const {
    d.U32(EmfPlusGraphicsVersion).U32(Nodes.empty() ? 0 : static_cast<uint32_t>(Nodes.size() - 1));
    for (const TPlusRegionNode& n : Nodes) {
        d.U32(n.Type);
        if (n.Type == EmfPlusRegionRect) WritePlusRect(d, n.Rect, false);
        if (n.Type == EmfPlusRegionPath) WriteSized(d, n.Path ? *n.Path : TPlusPath{});
    }
}

TPlusFont TPlusFont::Read(const TRecordReader& r, size_t at) {
    TPlusFont f;
    f.EmSize = ReadPlusF32(r, at + 4);
    f.Unit = r.U32(at + 8);
    f.Style = r.U32(at + 12);
    const uint32_t length = std::min<uint32_t>(r.U32(at + 20), 256);
    const auto name = r.Bytes(at + 24, length, 2);
    for (uint32_t i = 0; i < length; ++i)
        f.Family.push_back(static_cast<char16_t>(GetU16(name.data() + 2 * i)));
    while (!f.Family.empty() && f.Family.back() == 0)
        f.Family.pop_back();
    return f;
}

void TPlusFont::Write(TEmfPlusData& d) const {
    d.U32(EmfPlusGraphicsVersion).F32(EmSize).U32(Unit).U32(Style).U32(0).U32(static_cast<uint32_t>(Family.size()));
    d.Text(Family).Pad();
}

TPlusStringFormat TPlusStringFormat::Read(const TRecordReader& r, size_t at) {
    const uint8_t* p = r.Fields(at, Size);
    auto f32 = [&](size_t o) { return ReadPlusF32(r, at + o); };
    return {GetU32(p + 4),  GetU32(p + 8),  GetU32(p + 12), GetU32(p + 16), GetU32(p + 20),
            GetU32(p + 24), f32(28),        GetU32(p + 32), f32(36),        f32(40),
            f32(44),        GetU32(p + 48), GetU32(p + 52), GetU32(p + 56)};
}

void TPlusStringFormat::Write(TEmfPlusData& d) const {
    d.U32(EmfPlusGraphicsVersion).U32(Flags).U32(Language).U32(Align).U32(LineAlign).U32(DigitSubstitution);
    d.U32(DigitLanguage).F32(FirstTabOffset).U32(HotkeyPrefix).F32(LeadingMargin).F32(TrailingMargin).F32(Tracking);
    d.U32(Trimming).U32(TabStops).U32(Ranges);
}

// ---- records ----------------------------------------------------------------------------------------

TPlusHeaderRecord TPlusHeaderRecord::Read(const TRecordReader& r) {
    const uint8_t* p = r.Fields(12, 16);
    return {GetU32(p), GetU32(p + 4), GetU32(p + 8), GetU32(p + 12)};
}

TEmfPlusData TPlusHeaderRecord::Data() const {
    return TEmfPlusData().U32(Version).U32(PlusFlags).U32(DpiX).U32(DpiY);
}

TPlusObjectPiece TPlusObjectPiece::Read(const TRecordReader& r) {
    const uint32_t dataSize = r.U32(8);
    Need(dataSize >= 4, "EMF+ object piece too small");
    return {r.U32(12), r.Bytes(DataAt, dataSize - 4)};
}

TEmfPlusData TPlusMatrixRecord::Data() const {
    TEmfPlusData d;
    Matrix.Write(d);
    return d;
}

TPlusRects TPlusRects::Read(const TRecordReader& r, bool fill) {
    TPlusRects out;
    const bool c = r.U16(2) & EmfPlusFlagCompressed;
    size_t o = fill ? 16 : 12;
    if (fill) out.Brush = r.U32(12);
    const uint32_t n = Count(r, o, PlusRectBytes(c));
    o += 4;
    out.Rects.reserve(n);
    for (uint32_t i = 0; i < n; ++i, o += PlusRectBytes(c))
        out.Rects.push_back(ReadPlusRect(r, o, c));
    return out;
}

TEmfPlusData TPlusRects::Data(bool fill, uint16_t flags) const {
    TEmfPlusData d;
    if (fill) d.U32(Brush);
    d.U32(static_cast<uint32_t>(Rects.size()));
    for (const TPlusRectF& rect : Rects)
        WritePlusRect(d, rect, flags & EmfPlusFlagCompressed);
    return d;
}

size_t TPlusPoints::SizeOf(TShape shape) {
    switch (shape) {
    case psFillPolygon:
        return 20;
    case psLines:
        return 16;
    case psFillClosedCurve:
        return 24;
    case psClosedCurve:
        return 20;
    default:
        return 28;
    }
}

TPlusPoints TPlusPoints::Read(const TRecordReader& r, TShape shape) {
    TPlusPoints out;
    size_t o = 12;
    if (shape == psFillPolygon || shape == psFillClosedCurve) out.Brush = r.U32(o), o += 4;
    if (shape == psFillClosedCurve || shape == psClosedCurve || shape == psCurve)
        out.Tension = ReadPlusF32(r, o), o += 4;
    if (shape == psCurve) {
        out.Offset = r.U32(o);
        out.Segments = r.U32(o + 4);
        o += 8;
    }
    out.Points = ReadPlusPoints(r, o + 4, r.U32(o), r.U16(2));
    return out;
}

TEmfPlusData TPlusPoints::Data(TShape shape, uint16_t flags) const {
    TEmfPlusData d;
    if (shape == psFillPolygon || shape == psFillClosedCurve) d.U32(Brush);
    if (shape == psFillClosedCurve || shape == psClosedCurve || shape == psCurve) d.F32(Tension);
    if (shape == psCurve) d.U32(Offset).U32(Segments);
    d.U32(static_cast<uint32_t>(Points.size()));
    WritePlusPoints(d, Points, flags);
    return d;
}

TPlusEllipse TPlusEllipse::Read(const TRecordReader& r, bool fill) {
    const bool c = r.U16(2) & EmfPlusFlagCompressed;
    if (fill) return {r.U32(12), ReadPlusRect(r, 16, c)};
    return {0, ReadPlusRect(r, 12, c)};
}

TEmfPlusData TPlusEllipse::Data(bool fill, uint16_t flags) const {
    TEmfPlusData d;
    if (fill) d.U32(Brush);
    WritePlusRect(d, Box, flags & EmfPlusFlagCompressed);
    return d;
}

TPlusArc TPlusArc::Read(const TRecordReader& r, bool fill) {
    const bool c = r.U16(2) & EmfPlusFlagCompressed;
    const size_t o = fill ? 16 : 12;
    return {fill ? r.U32(12) : 0, ReadPlusF32(r, o), ReadPlusF32(r, o + 4), ReadPlusRect(r, o + 8, c)};
}

TEmfPlusData TPlusArc::Data(bool fill, uint16_t flags) const {
    TEmfPlusData d;
    if (fill) d.U32(Brush);
    d.F32(Start).F32(Sweep);
    WritePlusRect(d, Box, flags & EmfPlusFlagCompressed);
    return d;
}

TPlusDrawString TPlusDrawString::Read(const TRecordReader& r) {
    TPlusDrawString s;
    s.Brush = r.U32(12);
    s.Format = r.U32(16);
    const uint32_t length = r.U32(20);
    s.Layout = ReadPlusRect(r, 24, false);
    const auto chars = r.Bytes(40, length, 2);
    s.Text.reserve(length);
    for (uint32_t i = 0; i < length; ++i)
        s.Text.push_back(static_cast<char16_t>(GetU16(chars.data() + 2 * i)));
    return s;
}

TEmfPlusData TPlusDrawString::Data() const {
    TEmfPlusData d;
    d.U32(Brush).U32(Format).U32(static_cast<uint32_t>(Text.size()));
    WritePlusRect(d, Layout, false);
    d.Text(Text).Pad();
    return d;
}

TPlusDrawDriverString TPlusDrawDriverString::Read(const TRecordReader& r) {
    TPlusDrawDriverString s;
    s.Brush = r.U32(12);
    s.Options = r.U32(16);
    const uint32_t matrix = r.U32(20), count = r.U32(24);
    const auto glyphs = r.Bytes(28, count, 2);
    s.Glyphs.reserve(count);
    for (uint32_t i = 0; i < count; ++i)
        s.Glyphs.push_back(GetU16(glyphs.data() + 2 * i));
    size_t o = 0;
    s.Positions = ReadPlusPoints(r, 28 + 2ull * count, count, 0, &o);
    if (matrix) s.Matrix = TPlusMatrix::Read(r, o);
    return s;
}

TEmfPlusData TPlusDrawDriverString::Data() const {
    TEmfPlusData d;
    d.U32(Brush).U32(Options).U32(Matrix ? 1 : 0).U32(static_cast<uint32_t>(Glyphs.size()));
    for (uint16_t g : Glyphs)
        d.U16(g);
    WritePlusPoints(d, Positions, 0);
    if (Matrix) Matrix->Write(d);
    return d.Pad();
}

TPlusDrawImage TPlusDrawImage::Read(const TRecordReader& r, bool points) {
    TPlusDrawImage out;
    out.Attributes = r.U32(12);
    out.SrcUnit = r.U32(16);
    out.Source = ReadPlusRect(r, 20, false);
    const uint16_t flags = r.U16(2);
    if (points) {
        Need(r.U32(36) == 3, "EMF+ image points not three");
        out.Points = ReadPlusPoints(r, 40, 3, flags);
    } else {
        out.Destination = ReadPlusRect(r, 36, flags & EmfPlusFlagCompressed);
    }
    return out;
}

TEmfPlusData TPlusDrawImage::Data(bool points, uint16_t flags) const {
    TEmfPlusData d;
    d.U32(Attributes).U32(SrcUnit);
    WritePlusRect(d, Source, false);
    if (points) {
        d.U32(static_cast<uint32_t>(Points.size()));
        WritePlusPoints(d, Points, flags);
    } else {
        WritePlusRect(d, Destination, flags & EmfPlusFlagCompressed);
    }
    return d;
}

TPlusBeginContainer TPlusBeginContainer::Read(const TRecordReader& r) {
    return {ReadPlusRect(r, 12, false), ReadPlusRect(r, 28, false), r.U32(44)};
}

TEmfPlusData TPlusBeginContainer::Data() const {
    TEmfPlusData d;
    WritePlusRect(d, Destination, false);
    WritePlusRect(d, Source, false);
    return d.U32(StackIndex);
}

TEmfPlusData TPlusSetClipRect::Data() const {
    TEmfPlusData d;
    WritePlusRect(d, Rect, false);
    return d;
}

std::vector<uint8_t> PlusRecordBytes(uint16_t type, uint16_t flags, std::span<const uint8_t> data) {
    const uint32_t padded = static_cast<uint32_t>((data.size() + 3) / 4 * 4);
    std::vector<uint8_t> out(PlusHeadSize + padded, 0);
    PutU16(out.data(), type);
    PutU16(out.data() + 2, flags);
    PutU32(out.data() + 4, PlusHeadSize + padded);
    PutU32(out.data() + 8, static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), out.begin() + PlusHeadSize);
    return out;
}

} // namespace pagimo::emf
