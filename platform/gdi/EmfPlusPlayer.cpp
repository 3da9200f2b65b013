#include "platform/gdi/EmfPlusPlayer.h"

#include "platform/emf/EmfPlusRecords.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/gdi/DibImage.h"

#include <QImage>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <variant>
#include <vector>

namespace pagimo::gdi {

using namespace emf;

namespace {

// Geometry reaches the device in sixteenths of a target pixel: coordinates are scaled by the world-to-
// target transform's own scale times this factor (and the device transform by its inverse), so
// integer pen widths, font heights and text positions keep a sixteenth of a pixel, and the numbers the
// device sees stay near the page's size whatever the world units (some writers use units of 1e-5 px).
constexpr double Sub = 16;

// The factor world coordinates are multiplied by for a world-to-target transform m, and the device
// transform that undoes it.
double Coef(const QTransform& m) {
    const double k = ScaleOf(m);
    return (k > 1e-12 && std::isfinite(k) ? k : 1) * Sub;
}
QTransform Undo(const QTransform& m, double c) {
    return QTransform::fromScale(1 / c, 1 / c) * m;
}
constexpr uint32_t MaxPoints = 1u << 20;
constexpr size_t MaxStack = 512;
constexpr size_t MaxRegionNodes = 4096;

TColorRef ToColorRef(uint32_t argb) {
    return Rgb(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb));
}
uint8_t Alpha(uint32_t argb) {
    return static_cast<uint8_t>(argb >> 24);
}

struct TPlusBrush {
    uint32_t Type = EmfPlusBrushSolid;
    uint32_t Color = 0xFF000000; // ARGB; gradients: their mean colour
    uint32_t Hatch = 0, Back = 0;
    bool Approximate = false; // gradients and textures, drawn in one colour
};
struct TPlusPen {
    double Width = 1;
    uint32_t Unit = EmfPlusUnitWorld;
    uint32_t StartCap = 0, EndCap = 0, Join = 0, LineStyle = 0;
    float MiterLimit = 10;
    TPlusBrush Brush;
};
struct TPlusPath {
    QPainterPath Path;
};
struct TPlusRegion {
    QPainterPath Path;
    bool Infinite = false;
};
struct TPlusFont {
    double EmSize = 12;
    uint32_t Unit = EmfPlusUnitPoint;
    uint32_t Style = 0;
    std::u16string Family;
};
struct TPlusFormat {
    uint32_t Flags = 0, Align = 0, LineAlign = 0;
    double Leading = 1.0 / 6;
};
// An image object: a bitmap as a premultiplied 32-bit DIB, or an embedded EMF played in place.
struct TPlusImage {
    std::shared_ptr<const TDibBytes> Dib;
    int Width = 0, Height = 0;
    std::shared_ptr<const std::vector<uint8_t>> Emf;
};
struct TPlusOther {};
using TPlusObject = std::variant<std::monostate, TPlusBrush, TPlusPen, TPlusPath, TPlusRegion, TPlusFont, TPlusFormat,
                                 TPlusImage, TPlusOther>;

// Bitmap pixel formats (bits per pixel in bits 8..15) and the image kinds drawn.
constexpr uint32_t PixelIndexed1 = 0x00030101, PixelIndexed4 = 0x00030402, PixelIndexed8 = 0x00030803,
                   PixelRgb555 = 0x00021005, PixelRgb565 = 0x00021006, PixelArgb1555 = 0x00061007,
                   PixelRgb24 = 0x00021808, PixelRgb32 = 0x00022009, PixelArgb32 = 0x0026200A,
                   PixelPargb32 = 0x000E200B;
constexpr uint32_t ImageBitmap = 1, ImageMetafile = 2;
constexpr uint32_t MetafileEmf = 3, MetafileEmfPlusOnly = 4, MetafileEmfPlusDual = 5;
constexpr int MaxImageSide = 1 << 14;
constexpr uint64_t MaxImagePixels = 1ull << 26;
constexpr int MaxNesting = 4; // metafile images inside metafile images

bool PixelFormatKnown(uint32_t f) {
    switch (f) {
    case PixelIndexed1: case PixelIndexed4: case PixelIndexed8: case PixelRgb555: case PixelRgb565:
    case PixelArgb1555: case PixelRgb24: case PixelRgb32: case PixelArgb32: case PixelPargb32: return true;
    default: return false;
    }
}

// Whether an image object (its data from the version field on) is of a kind this player draws:
// compressed bitmaps (PNG, JPEG, GIF, BMP, TIFF as Qt reads them), the pixel formats above, EMF
// metafiles. Others (WMF images, 16-bit grey, 48- and 64-bit pixels) keep the page's GDI fallback.
bool ImageKnown(std::span<const uint8_t> d) {
    auto u32 = [&](size_t at) { return at + 4 <= d.size() ? GetU32(d.data() + at) : 0xFFFFFFFFu; };
    const uint32_t type = u32(4);
    if (type == ImageBitmap) return u32(24) == 1 || (u32(24) == 0 && PixelFormatKnown(u32(20)));
    if (type == ImageMetafile) {
        const uint32_t kind = u32(8);
        return kind == MetafileEmf || kind == MetafileEmfPlusOnly || kind == MetafileEmfPlusDual;
    }
    return false;
}

thread_local int Nesting = 0;

// The share of an 8 x 8 hatch cell the foreground covers, for the hatch styles past the six that GDI
// draws itself (5 % ... 90 %, then the light, dark, wide, dashed and figured patterns in their order).
double HatchCoverage(uint32_t hatch) {
    static constexpr double Share[] = {
        0.05, 0.10, 0.20, 0.25, 0.30, 0.40, 0.50, 0.60, 0.70, 0.75, 0.80, 0.90, // 6..17: percentages
        0.25, 0.25, 0.50, 0.50, 0.375, 0.375,                                 // 18..23: diagonals
        0.25, 0.25, 0.50, 0.50, 0.50, 0.50,                                   // 24..29: verticals, horizontals
        0.125, 0.125, 0.125, 0.125,                                           // 30..33: dashed
        0.125, 0.25, 0.25, 0.20, 0.19, 0.23, 0.375, 0.50, 0.125, 0.125,       // 34..43: confetti .. dotted grid
        0.125, 0.19, 0.50, 0.50, 0.44, 0.50, 0.50, 0.23, 0.50,                // 44..52: dotted diamond .. solid diamond
    };
    return hatch >= 6 && hatch - 6 < std::size(Share) ? Share[hatch - 6] : 0.5;
}

struct TPlusState {
    QTransform World;
    uint32_t PageUnit = EmfPlusUnitDisplay;
    double PageScale = 1;
    std::shared_ptr<const QPainterPath> Clip; // target device pixels; none: the caller's clip alone
    bool Smooth = false;                      // antialias mode
};

// The kinds this player draws or applies. Serializable objects (0x4038) carry image effects, which
// are not applied: the image is drawn plain.
constexpr uint16_t EmfPlusSerializableObject = 0x4038;
bool Known(uint16_t type) {
    return (type >= EmfPlusHeader && type <= EmfPlusDrawDriverString) || type == EmfPlusSerializableObject;
}

// GDI+ writes "everything" clips as rectangles of some 1e7 units; coordinates are clamped on use.
float ReadF(const TRecordReader& r, size_t at) {
    const float v = r.F32(at);
    if (!std::isfinite(v) || std::abs(v) > 1e9f) throw ERecordDamaged("EMF+ number out of range");
    return v;
}

QRectF ReadRect(const TRecordReader& r, size_t at, bool compressed) {
    if (compressed) return QRectF(r.I16(at), r.I16(at + 2), r.I16(at + 4), r.I16(at + 6));
    return QRectF(ReadF(r, at), ReadF(r, at + 4), ReadF(r, at + 8), ReadF(r, at + 12));
}

// count points at offset at: 16-bit integers (C), relative 7/15-bit steps (P) or floats. Sets end.
std::vector<QPointF> ReadPoints(const TRecordReader& r, size_t at, uint32_t count, uint16_t flags, size_t* end = nullptr) {
    if (count > MaxPoints || !r.Has(at, count)) throw ERecordDamaged("EMF+ point count past the record");
    std::vector<QPointF> points;
    points.reserve(count);
    if (flags & EmfPlusFlagRelative) {
        QPointF p;
        auto step = [&]() -> double {
            const uint8_t b = r.U8(at++);
            if (!(b & 0x80)) return (b & 0x40) ? static_cast<int>(b) - 128 : b;
            int v = ((b & 0x7F) << 8) | r.U8(at++);
            if (v & 0x4000) v -= 0x8000;
            return v;
        };
        for (uint32_t i = 0; i < count; ++i) {
            const double dx = step(), dy = step();
            p += QPointF(dx, dy);
            points.push_back(p);
        }
    } else if (flags & EmfPlusFlagCompressed) {
        r.Bytes(at, count, 4);
        for (uint32_t i = 0; i < count; ++i, at += 4) points.emplace_back(r.I16(at), r.I16(at + 2));
    } else {
        r.Bytes(at, count, 8);
        for (uint32_t i = 0; i < count; ++i, at += 8) points.emplace_back(ReadF(r, at), ReadF(r, at + 4));
    }
    if (end) *end = at;
    return points;
}

QTransform ReadMatrix(const TRecordReader& r, size_t at) {
    return QTransform(ReadF(r, at), ReadF(r, at + 4), ReadF(r, at + 8), ReadF(r, at + 12), ReadF(r, at + 16),
                      ReadF(r, at + 20));
}

// Cardinal spline through points as Bézier segments (GDI+ curves).
QPainterPath Curve(const std::vector<QPointF>& p, double tension, bool closed) {
    QPainterPath path;
    const size_t n = p.size();
    if (n < 2) return path;
    const double t = tension / 3;
    auto at = [&](long i) {
        if (closed) return p[static_cast<size_t>((i % static_cast<long>(n) + n) % n)];
        return p[static_cast<size_t>(std::clamp<long>(i, 0, static_cast<long>(n) - 1))];
    };
    path.moveTo(p[0]);
    const size_t segments = closed ? n : n - 1;
    for (size_t i = 0; i < segments; ++i) {
        const long k = static_cast<long>(i);
        const QPointF c1 = at(k) + (at(k + 1) - at(k - 1)) * t;
        const QPointF c2 = at(k + 1) - (at(k + 2) - at(k)) * t;
        path.cubicTo(c1, c2, at(k + 1));
    }
    if (closed) path.closeSubpath();
    return path;
}

} // namespace

struct TEmfPlusPlayer::TImpl {
    TPageGuard& Device;
    TPlayOptions Options;
    TEmfHeader Header;
    std::array<TPlusObject, EmfPlusMaxObjects> Objects;
    TPlusState S;
    struct TSaved {
        uint32_t Index;
        TPlusState State;
    };
    std::vector<TSaved> Stack;
    double DpiX = 96, DpiY = 96;
    bool Display = true;
    bool Gdi = false; // after GetDC: GDI records play until the next EMF+ record
    bool Seen = false;
    uint32_t RecordsRead = 0, UnknownCount = 0, DamagedCount = 0;
    // A continued object being collected.
    std::vector<uint8_t> Pending;
    uint16_t PendingFlags = 0;
    uint32_t PendingTotal = 0;

    TImpl(TPageGuard& d, const TPlayOptions& o, const TEmfHeader& h) : Device(d), Options(o), Header(h) {}

    // ---- transforms ----
    double UnitPixels(uint32_t unit, bool x = true) const {
        const double dpi = x ? DpiX : DpiY;
        switch (unit) {
        case EmfPlusUnitDisplay: return Display ? 1 : dpi / 100;
        case EmfPlusUnitPoint: return dpi / 72;
        case EmfPlusUnitInch: return dpi;
        case EmfPlusUnitDocument: return dpi / 300;
        case EmfPlusUnitMillimeter: return dpi / 25.4;
        default: return 1;
        }
    }
    QTransform Page() const {
        const double sx = UnitPixels(S.PageUnit, true) * S.PageScale, sy = UnitPixels(S.PageUnit, false) * S.PageScale;
        return QTransform::fromScale(sx, sy);
    }
    QTransform WorldToTarget() const { return S.World * Page() * Options.DeviceTransform; }
    double WorldScale() const {
        const double s = ScaleOf(S.World * Page());
        return s > 1e-9 ? s : 1;
    }

    TDrawState BaseState(const QTransform& t) const {
        TDrawState st;
        st.Transform = t;
        st.BkMode = TRANSPARENT;
        st.PolyFillMode = ALTERNATE;
        st.Clip = S.Clip ? S.Clip : Options.Clip;
        st.Pen.Style = PS_NULL;
        st.Brush.Style = BS_NULL;
        st.Smooth = S.Smooth;
        return st;
    }

    // ---- objects ----
    template <class T> const T* Get(uint32_t id) const {
        if (id >= EmfPlusMaxObjects) throw ERecordDamaged("EMF+ object id out of range");
        return std::get_if<T>(&Objects[id]);
    }

    static TPlusBrush ParseBrush(const TRecordReader& r, size_t at) {
        TPlusBrush b;
        b.Type = r.U32(at + 4);
        switch (b.Type) {
        case EmfPlusBrushSolid:
            b.Color = r.U32(at + 8);
            break;
        case EmfPlusBrushHatch:
            b.Hatch = r.U32(at + 8);
            b.Color = r.U32(at + 12);
            b.Back = r.U32(at + 16);
            break;
        case EmfPlusBrushLinearGradient: {
            // Flags, WrapMode, RectF, StartColor, EndColor: drawn in their mean colour.
            const uint32_t c1 = r.U32(at + 32), c2 = r.U32(at + 36);
            uint32_t mixed = 0;
            for (int shift = 0; shift < 32; shift += 8)
                mixed |= ((((c1 >> shift) & 0xFF) + ((c2 >> shift) & 0xFF)) / 2) << shift;
            b.Color = mixed;
            b.Type = EmfPlusBrushSolid;
            b.Approximate = true;
            break;
        }
        case EmfPlusBrushPathGradient: {
            // Flags, WrapMode, CenterColor, CenterPoint, SurroundingColorCount, colours.
            const uint32_t center = r.U32(at + 16);
            const uint32_t count = r.U32(at + 28);
            uint32_t edge = count ? r.U32(at + 32) : center;
            uint32_t mixed = 0;
            for (int shift = 0; shift < 32; shift += 8)
                mixed |= ((((center >> shift) & 0xFF) + ((edge >> shift) & 0xFF)) / 2) << shift;
            b.Color = mixed;
            b.Type = EmfPlusBrushSolid;
            b.Approximate = true;
            break;
        }
        case EmfPlusBrushTexture:
            b.Color = 0x80808080; // textures: a mid grey at half opacity shows the area
            b.Type = EmfPlusBrushSolid;
            b.Approximate = true;
            break;
        default:
            throw ERecordDamaged("unknown EMF+ brush type");
        }
        return b;
    }

    static TPlusPen ParsePen(const TRecordReader& r, size_t at) {
        TPlusPen p;
        const uint32_t flags = r.U32(at + 8);
        p.Unit = r.U32(at + 12);
        p.Width = ReadF(r, at + 16);
        size_t o = at + 20;
        if (flags & EmfPlusPenTransform) o += 24;
        if (flags & EmfPlusPenStartCap) p.StartCap = r.U32(o), o += 4;
        if (flags & EmfPlusPenEndCap) p.EndCap = r.U32(o), o += 4;
        if (flags & EmfPlusPenJoin) p.Join = r.U32(o), o += 4;
        if (flags & EmfPlusPenMiterLimit) p.MiterLimit = ReadF(r, o), o += 4;
        if (flags & EmfPlusPenLineStyle) p.LineStyle = r.U32(o), o += 4;
        if (flags & EmfPlusPenDashedLineCap) o += 4;
        if (flags & EmfPlusPenDashedLineOffset) o += 4;
        if (flags & EmfPlusPenDashedLine) {
            const uint32_t n = r.U32(o);
            r.Bytes(o + 4, n, 4);
            // A dash array makes the line dashed whatever the line style says. The device has the
            // stock styles only: dashes up to one and a half pen widths long are drawn dotted, longer ones dashed.
            if (p.LineStyle == 0 || p.LineStyle == 5) p.LineStyle = n > 0 && ReadF(r, o + 4) <= 1.5f ? 2 : 1;
            o += 4 + 4ull * n;
        }
        if (flags & EmfPlusPenAlignment) o += 4;
        if (flags & EmfPlusPenCompoundLine) {
            const uint32_t n = r.U32(o);
            r.Bytes(o + 4, n, 4);
            o += 4 + 4ull * n;
        }
        for (uint32_t f : {EmfPlusPenCustomStartCap, EmfPlusPenCustomEndCap})
            if (flags & f) {
                const uint32_t n = r.U32(o);
                r.Bytes(o + 4, n);
                o += 4 + static_cast<size_t>(n);
            }
        p.Brush = ParseBrush(r, o);
        return p;
    }

    static QPainterPath ParsePath(const TRecordReader& r, size_t at, size_t* end = nullptr) {
        const uint32_t count = r.U32(at + 4), flags = r.U32(at + 8);
        size_t o = at + 12;
        const uint16_t pf = static_cast<uint16_t>((flags & EmfPlusPathRelative ? EmfPlusFlagRelative : 0) |
                                                  (flags & EmfPlusPathCompressed ? EmfPlusFlagCompressed : 0));
        const auto points = ReadPoints(r, o, count, pf, &o);
        std::vector<uint8_t> types;
        types.reserve(count);
        if (flags & EmfPlusPathRle) {
            while (types.size() < count) {
                const uint8_t run = r.U8(o) & 0x3F, type = r.U8(o + 1);
                o += 2;
                for (uint32_t i = 0; i < run && types.size() < count; ++i) types.push_back(type);
                if (run == 0) throw ERecordDamaged("empty EMF+ path type run");
            }
        } else {
            const auto bytes = r.Bytes(o, count);
            types.assign(bytes.begin(), bytes.end());
            o += count;
        }
        if (end) *end = (o + 3) / 4 * 4;
        QPainterPath path;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t kind = types[i] & 0x07;
            if (kind == EmfPlusPathStart || path.elementCount() == 0) {
                path.moveTo(points[i]);
            } else if (kind == EmfPlusPathBezier && i + 2 < count) {
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
                i += 2;
            } else {
                path.lineTo(points[i]);
            }
            if (types[i] & EmfPlusPathClose) path.closeSubpath();
        }
        return path;
    }

    TPlusRegion ParseRegionNode(const TRecordReader& r, size_t& o, size_t& nodes, int depth) {
        if (++nodes > MaxRegionNodes || depth > 64) throw ERecordDamaged("EMF+ region too deep");
        const uint32_t type = r.U32(o);
        o += 4;
        TPlusRegion out;
        switch (type) {
        case EmfPlusRegionRect: {
            const QRectF rect = ReadRect(r, o, false);
            o += 16;
            out.Path.addRect(rect);
            return out;
        }
        case EmfPlusRegionPath: {
            const uint32_t size = r.U32(o);
            r.Bytes(o + 4, size);
            size_t end = 0;
            out.Path = ParsePath(r, o + 4, &end);
            Device.ChargePoints(static_cast<uint64_t>(out.Path.elementCount()));
            o += 4 + static_cast<size_t>(size);
            return out;
        }
        case EmfPlusRegionEmpty:
            return out;
        case EmfPlusRegionInfinite:
            out.Infinite = true;
            return out;
        case EmfPlusRegionAnd:
        case EmfPlusRegionUnion:
        case EmfPlusRegionXor:
        case EmfPlusRegionExclude:
        case EmfPlusRegionComplement: {
            const TPlusRegion a = ParseRegionNode(r, o, nodes, depth + 1);
            const TPlusRegion b = ParseRegionNode(r, o, nodes, depth + 1);
            return Combine(a, b, type);
        }
        default:
            throw ERecordDamaged("unknown EMF+ region node");
        }
    }

    static QPainterPath Everything() {
        QPainterPath p;
        p.addRect(QRectF(-1e6, -1e6, 2e6, 2e6));
        return p;
    }

    // Region nodes are combined like clips: they count against the clip budget, and past its soft
    // limit the operands are their bounding rectangles.
    TPlusRegion Combine(const TPlusRegion& a, const TPlusRegion& b, uint32_t op) {
        QPainterPath pa = a.Infinite ? Everything() : a.Path, pb = b.Infinite ? Everything() : b.Path;
        if (!Device.ChargeClip(static_cast<uint64_t>(pa.elementCount() + pb.elementCount()))) {
            QPainterPath ba, bb;
            ba.addRect(pa.boundingRect());
            bb.addRect(pb.boundingRect());
            pa = ba, pb = bb;
        }
        TPlusRegion out;
        switch (op) {
        case EmfPlusRegionAnd: out.Path = pa.intersected(pb); break;
        case EmfPlusRegionUnion: out.Path = pa.united(pb); break;
        case EmfPlusRegionXor: out.Path = pa.united(pb).subtracted(pa.intersected(pb)); break;
        case EmfPlusRegionExclude: out.Path = pa.subtracted(pb); break;
        default: out.Path = pb.subtracted(pa); break;
        }
        return out;
    }

    static TPlusFont ParseFont(const TRecordReader& r, size_t at) {
        TPlusFont f;
        f.EmSize = ReadF(r, at + 4);
        f.Unit = r.U32(at + 8);
        f.Style = r.U32(at + 12);
        const uint32_t length = std::min<uint32_t>(r.U32(at + 20), 256);
        const auto name = r.Bytes(at + 24, length, 2);
        for (uint32_t i = 0; i < length; ++i) f.Family.push_back(static_cast<char16_t>(name[2 * i] | (name[2 * i + 1] << 8)));
        while (!f.Family.empty() && f.Family.back() == 0) f.Family.pop_back();
        return f;
    }

    void ParseObject(const TRecordReader& r, uint16_t flags, size_t at) {
        const uint8_t id = flags & 0xFF, type = (flags >> 8) & 0x7F;
        if (id >= EmfPlusMaxObjects) throw ERecordDamaged("EMF+ object id out of range");
        TPlusObject& slot = Objects[id];
        switch (type) {
        case EmfPlusObjectBrush: slot = ParseBrush(r, at); break;
        case EmfPlusObjectPen: slot = ParsePen(r, at); break;
        case EmfPlusObjectPath: {
            QPainterPath path = ParsePath(r, at);
            Device.ChargePoints(static_cast<uint64_t>(path.elementCount()));
            slot = TPlusPath{std::move(path)};
            break;
        }
        case EmfPlusObjectRegion: {
            const uint32_t count = r.U32(at + 4);
            if (count > MaxRegionNodes) throw ERecordDamaged("EMF+ region too big");
            size_t o = at + 8, nodes = 0;
            slot = ParseRegionNode(r, o, nodes, 0);
            break;
        }
        case EmfPlusObjectFont: slot = ParseFont(r, at); break;
        case EmfPlusObjectStringFormat: {
            TPlusFormat f;
            f.Flags = r.U32(at + 4);
            f.Align = r.U32(at + 12);
            f.LineAlign = r.U32(at + 16);
            f.Leading = ReadF(r, at + 36);
            slot = f;
            break;
        }
        case EmfPlusObjectImage: slot = ParseImage(r, at); break;
        default: slot = TPlusOther{}; break; // image attributes, custom line caps
        }
    }

    static TPlusImage ParseImage(const TRecordReader& r, size_t at) {
        TPlusImage out;
        const uint32_t type = r.U32(at + 4);
        if (type == ImageMetafile) {
            const uint32_t kind = r.U32(at + 8), size = r.U32(at + 12);
            const auto bytes = r.Bytes(at + 16, size);
            if (kind == MetafileEmf || kind == MetafileEmfPlusOnly || kind == MetafileEmfPlusDual)
                out.Emf = std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
            return out;
        }
        if (type != ImageBitmap) return out;
        const int32_t w = r.I32(at + 8), h = r.I32(at + 12), stride = r.I32(at + 16);
        const uint32_t format = r.U32(at + 20), kind = r.U32(at + 24);
        size_t o = at + 28;
        QImage image;
        if (kind == 1) {
            const auto bytes = r.All().subspan(std::min(o, r.All().size()));
            image = QImage::fromData(bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX)));
        } else {
            if (w <= 0 || h <= 0 || w > MaxImageSide || h > MaxImageSide ||
                static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > MaxImagePixels || !PixelFormatKnown(format))
                throw ERecordDamaged("EMF+ bitmap size or format");
            const int bpp = static_cast<int>((format >> 8) & 0xFF);
            std::vector<QRgb> palette;
            if (format & 0x00010000) {
                const uint32_t count = r.U32(o + 4);
                if (count > 256) throw ERecordDamaged("EMF+ palette too big");
                r.Bytes(o + 8, count, 4);
                for (uint32_t i = 0; i < count; ++i) palette.push_back(r.U32(o + 8 + 4 * i));
                o += 8 + 4ull * count;
            }
            const uint64_t rowBytes = (static_cast<uint64_t>(w) * bpp + 7) / 8;
            if (stride <= 0 || static_cast<uint64_t>(stride) < rowBytes) throw ERecordDamaged("EMF+ bitmap stride");
            const auto bits = r.Bytes(o, static_cast<uint64_t>(stride) * static_cast<uint64_t>(h));
            image = QImage(w, h, QImage::Format_ARGB32);
            for (int y = 0; y < h; ++y) {
                const uint8_t* row = bits.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
                auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < w; ++x) {
                    QRgb c = 0xFF000000;
                    switch (format) {
                    case PixelIndexed1:
                    case PixelIndexed4:
                    case PixelIndexed8: {
                        const size_t bit = static_cast<size_t>(x) * bpp;
                        const uint32_t v = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                        c = v < palette.size() ? palette[v] : 0xFF000000;
                        break;
                    }
                    case PixelRgb555:
                    case PixelArgb1555:
                    case PixelRgb565: {
                        const uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
                        if (format == PixelRgb565)
                            c = qRgb(((v >> 11) & 31) * 255 / 31, ((v >> 5) & 63) * 255 / 63, (v & 31) * 255 / 31);
                        else
                            c = qRgba(((v >> 10) & 31) * 255 / 31, ((v >> 5) & 31) * 255 / 31, (v & 31) * 255 / 31,
                                      format == PixelArgb1555 && !(v & 0x8000) ? 0 : 255);
                        break;
                    }
                    case PixelRgb24: c = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
                    case PixelRgb32: c = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]); break;
                    case PixelArgb32: c = qRgba(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]); break;
                    default: { // premultiplied: undone here, redone below for every format alike
                        const int a = row[4 * x + 3];
                        auto un = [a](int v) { return a ? std::min(255, v * 255 / a) : 0; };
                        c = qRgba(un(row[4 * x + 2]), un(row[4 * x + 1]), un(row[4 * x]), a);
                        break;
                    }
                    }
                    dst[x] = c;
                }
            }
        }
        if (image.isNull() || image.width() > MaxImageSide || image.height() > MaxImageSide) return out;
        // The device's alpha blend takes bottom-up premultiplied 32-bit rows.
        const QImage pm = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        auto dib = std::make_shared<TDibBytes>(ImageToDib(pm));
        for (int y = 0; y < pm.height(); ++y) {
            const auto* in = reinterpret_cast<const QRgb*>(pm.constScanLine(pm.height() - 1 - y));
            uint8_t* row = dib->Bits.data() + static_cast<size_t>(y) * pm.width() * 4;
            for (int x = 0; x < pm.width(); ++x) row[4 * x + 3] = static_cast<uint8_t>(qAlpha(in[x]));
        }
        out.Dib = std::move(dib);
        out.Width = pm.width(), out.Height = pm.height();
        return out;
    }

    void Object(const TRecordReader& r, uint16_t flags) {
        if (!(flags & EmfPlusFlagContinued)) {
            Pending.clear();
            ParseObject(r, flags, 12);
            return;
        }
        // Continued objects: TotalObjectSize, then a piece of the object.
        const uint32_t total = r.U32(12);
        if (total > Header.Bytes || total > (64u << 20)) throw ERecordDamaged("EMF+ object bigger than the picture");
        if (Pending.empty() || PendingFlags != (flags & 0x7FFF) || PendingTotal != total) Pending.clear();
        PendingFlags = flags & 0x7FFF;
        PendingTotal = total;
        const uint32_t dataSize = r.U32(8);
        if (dataSize < 4) throw ERecordDamaged("EMF+ object piece too small");
        const auto piece = r.Bytes(16, dataSize - 4);
        Pending.insert(Pending.end(), piece.begin(), piece.end());
        if (Pending.size() >= total) {
            std::vector<uint8_t> whole(12, 0);
            whole.insert(whole.end(), Pending.begin(), Pending.begin() + total);
            Pending.clear();
            ParseObject(TRecordReader(whole), PendingFlags, 12);
        }
    }

    // ---- drawing ----
    TPlusBrush BrushOf(const TRecordReader& r, uint16_t flags, size_t at) const {
        const uint32_t v = r.U32(at);
        if (flags & EmfPlusFlagSolidColor) return TPlusBrush{EmfPlusBrushSolid, v, 0, 0, false};
        const TPlusBrush* b = Get<TPlusBrush>(v);
        if (!b) throw ERecordDamaged("EMF+ brush missing");
        return *b;
    }
    const TPlusPen& PenOf(uint32_t id) const {
        const TPlusPen* p = Get<TPlusPen>(id);
        if (!p) throw ERecordDamaged("EMF+ pen missing");
        return *p;
    }

    void Fill(const QPainterPath& path, const TPlusBrush& brush, bool winding = false) {
        if (path.isEmpty()) return;
        const QTransform m = WorldToTarget();
        const double k = Coef(m);
        TDrawState st = BaseState(Undo(m, k));
        st.PolyFillMode = winding || path.fillRule() == Qt::WindingFill ? WINDING : ALTERNATE;
        if (brush.Type == EmfPlusBrushHatch && brush.Hatch <= HS_DIAGCROSS) {
            st.Brush.Style = BS_HATCHED;
            st.Brush.Hatch = brush.Hatch;
            st.Brush.Color = ToColorRef(brush.Color);
            st.Opacity = Alpha(brush.Color);
            if (Alpha(brush.Back) >= 128) st.BkMode = OPAQUE, st.BkColor = ToColorRef(brush.Back);
        } else {
            uint32_t c = brush.Color;
            if (brush.Type == EmfPlusBrushHatch) {
                // The percentage and pattern hatches: fore and back colour mixed by the share of the
                // pattern the foreground covers, as they look from a distance.
                const double f = HatchCoverage(brush.Hatch);
                c = 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8)
                    c |= static_cast<uint32_t>(std::lround(((brush.Color >> shift) & 0xFF) * f +
                                                           ((brush.Back >> shift) & 0xFF) * (1 - f)))
                         << shift;
            }
            if (Alpha(c) == 0) return;
            st.Brush.Style = BS_SOLID;
            st.Brush.Color = ToColorRef(c);
            st.Opacity = Alpha(c);
        }
        TShape shape;
        shape.Kind = TShapeKind::skPath;
        shape.Path = QTransform::fromScale(k, k).map(path);
        shape.Stroke = false;
        Device.DrawShape(shape, st);
    }

    void Stroke(const QPainterPath& path, const TPlusPen& pen) {
        if (path.isEmpty() || Alpha(pen.Brush.Color) == 0) return;
        const double widthWorld =
            pen.Unit == EmfPlusUnitWorld ? pen.Width : pen.Width * UnitPixels(pen.Unit) / WorldScale();
        const QTransform m = WorldToTarget();
        const double k = Coef(m);
        TDrawState st = BaseState(Undo(m, k));
        const double devWidth = widthWorld * k / Sub;
        uint32_t style = PS_SOLID;
        switch (pen.LineStyle) {
        case 1: style = PS_DASH; break;
        case 2: style = PS_DOT; break;
        case 3: style = PS_DASHDOT; break;
        case 4: style = PS_DASHDOTDOT; break;
        default: break;
        }
        if (devWidth <= 1.0) {
            st.Pen.Style = style;
            st.Pen.Width = 0;
        } else {
            const uint32_t cap = pen.EndCap == 2 || pen.EndCap == 0x12 ? PS_ENDCAP_ROUND
                                 : pen.EndCap == 1 || pen.EndCap == 0x11 ? PS_ENDCAP_SQUARE
                                                                          : PS_ENDCAP_FLAT;
            const uint32_t join = pen.Join == 1 ? PS_JOIN_BEVEL : pen.Join == 2 ? PS_JOIN_ROUND : PS_JOIN_MITER;
            st.Pen.Style = PS_GEOMETRIC | style | cap | join;
            st.Pen.Width = static_cast<int32_t>(std::clamp(std::lround(widthWorld * k), 1L, 1L << 24));
        }
        st.Pen.Color = ToColorRef(pen.Brush.Color);
        st.Opacity = Alpha(pen.Brush.Color);
        st.MiterLimit = pen.MiterLimit;
        TShape shape;
        shape.Kind = TShapeKind::skPath;
        shape.Path = QTransform::fromScale(k, k).map(path);
        shape.Fill = false;
        Device.DrawShape(shape, st);
    }

    QPainterPath RectsPath(const TRecordReader& r, size_t at, uint32_t count, bool compressed) {
        const size_t each = compressed ? 8 : 16;
        r.Bytes(at, count, each);
        QPainterPath path;
        for (uint32_t i = 0; i < count; ++i) path.addRect(ReadRect(r, at + i * each, compressed));
        return path;
    }

    static QPainterPath ArcPath(const QRectF& box, double start, double sweep, bool pie) {
        QPainterPath path;
        if (pie) {
            path.moveTo(box.center());
            path.arcTo(box, -start, -sweep);
            path.closeSubpath();
        } else {
            path.arcMoveTo(box, -start);
            path.arcTo(box, -start, -sweep);
        }
        return path;
    }

    // A world coordinate times c as a device integer; far-off values are held where the page guard
    // drops them.
    static int32_t Fixed(double v, double c) {
        const double d = v * c;
        return static_cast<int32_t>(std::isfinite(d) ? std::clamp(std::round(d), -1e9, 1e9) : 1e9);
    }

    TLogFont LogFont(const TPlusFont& f, double* emWorld, double c) const {
        TLogFont lf;
        lf.FaceName = f.Family.empty() ? u"Arial" : f.Family.substr(0, 31);
        // Sizes in world units and in pixels are in the page's coordinates (the world and page
        // transforms scale them, as charts rely on); points, inches and millimetres are a fixed size.
        const bool scaled = f.Unit == EmfPlusUnitWorld || f.Unit == EmfPlusUnitPixel || f.Unit == EmfPlusUnitDisplay;
        const double em = scaled ? f.EmSize : f.EmSize * UnitPixels(f.Unit, false) / WorldScale();
        *emWorld = em;
        lf.Height = -static_cast<int32_t>(std::clamp(std::lround(em * c), 1L, 1L << 24));
        lf.Weight = (f.Style & 1) ? FW_BOLD : FW_NORMAL;
        lf.Italic = (f.Style & 2) ? 1 : 0;
        lf.Underline = (f.Style & 4) ? 1 : 0;
        lf.StrikeOut = (f.Style & 8) ? 1 : 0;
        return lf;
    }

    void DrawString(const TRecordReader& r, uint16_t flags) {
        const TPlusFont* font = Get<TPlusFont>(flags & 0xFF);
        if (!font) throw ERecordDamaged("EMF+ font missing");
        const TPlusBrush brush = BrushOf(r, flags, 12);
        const uint32_t formatId = r.U32(16), length = r.U32(20);
        const QRectF rect = ReadRect(r, 24, false);
        const auto chars = r.Bytes(40, length, 2);
        const TPlusFormat* format = formatId < EmfPlusMaxObjects ? Get<TPlusFormat>(formatId) : nullptr;
        const TPlusFormat fmt = format ? *format : TPlusFormat{};
        if (Alpha(brush.Color) == 0) return;
        double em = 0;
        const QTransform m = WorldToTarget();
        const double c = Coef(m);
        TDrawState st = BaseState(Undo(m, c));
        st.Font = LogFont(*font, &em, c);
        st.TextColor = ToColorRef(brush.Color);
        st.Opacity = Alpha(brush.Color);
        std::vector<std::u16string> lines(1);
        for (uint32_t i = 0; i < length; ++i) {
            const char16_t ch = static_cast<char16_t>(chars[2 * i] | (chars[2 * i + 1] << 8));
            if (ch == u'\n') lines.emplace_back();
            else if (ch != u'\r' && ch != 0) lines.back().push_back(ch);
        }
        const double lineHeight = em * 1.15;
        double y = rect.y();
        if (rect.height() > 0 && fmt.LineAlign == 1) y += (rect.height() - lineHeight * lines.size()) / 2;
        else if (rect.height() > 0 && fmt.LineAlign == 2) y += rect.height() - lineHeight * lines.size();
        const double margin = std::clamp(fmt.Leading, 0.0, 1.0) * em;
        double x = rect.x() + margin;
        st.TextAlign = TA_TOP | TA_LEFT;
        if (rect.width() > 0 && fmt.Align == 1) x = rect.center().x(), st.TextAlign = TA_TOP | TA_CENTER;
        else if (rect.width() > 0 && fmt.Align == 2) x = rect.right() - margin, st.TextAlign = TA_TOP | TA_RIGHT;
        for (const auto& line : lines) {
            if (!line.empty()) {
                TTextRun run;
                run.Reference = QPoint(Fixed(x, c), Fixed(y, c));
                run.Text = line;
                Device.DrawText(run, st);
            }
            y += lineHeight;
        }
    }

    void DrawDriverString(const TRecordReader& r, uint16_t flags) {
        const TPlusFont* font = Get<TPlusFont>(flags & 0xFF);
        if (!font) throw ERecordDamaged("EMF+ font missing");
        const TPlusBrush brush = BrushOf(r, flags, 12);
        const uint32_t options = r.U32(16), matrixPresent = r.U32(20), count = r.U32(24);
        const auto glyphs = r.Bytes(28, count, 2);
        const auto points = ReadPoints(r, 28 + 2ull * count, count, 0);
        if (Alpha(brush.Color) == 0 || count == 0) return;
        QTransform extra;
        if (matrixPresent) extra = ReadMatrix(r, 28 + 10ull * count);
        double em = 0;
        const QTransform m = extra * WorldToTarget();
        const double c = Coef(m);
        TDrawState st = BaseState(Undo(m, c));
        st.Font = LogFont(*font, &em, c);
        st.TextColor = ToColorRef(brush.Color);
        st.Opacity = Alpha(brush.Color);
        st.TextAlign = TA_BASELINE | TA_LEFT;
        const bool realized = options & 4;
        // Runs of glyphs on one baseline, with advances from the positions.
        size_t i = 0;
        while (i < count) {
            size_t j = i + 1;
            while (j < count && (realized || std::abs(points[j].y() - points[i].y()) < 1e-3)) ++j;
            TTextRun run;
            run.Reference = QPoint(Fixed(points[i].x(), c), Fixed(points[i].y(), c));
            if (!(options & 1)) run.Options = ETO_GLYPH_INDEX;
            for (size_t k = i; k < j; ++k) {
                run.Text.push_back(static_cast<char16_t>(glyphs[2 * k] | (glyphs[2 * k + 1] << 8)));
                if (!realized) {
                    const double next = k + 1 < j ? points[k + 1].x() : points[k].x() + em / 2;
                    run.Dx.push_back(Fixed(next - points[k].x(), c));
                }
            }
            Device.DrawText(run, st);
            i = j;
        }
    }

    // DrawImage (a destination rectangle) and DrawImagePoints (a parallelogram: the images's upper
    // left, upper right and lower left corners), of the source rectangle in image pixels.
    void DrawImage(const TRecordReader& r, uint16_t flags, bool points) {
        const TPlusImage* image = Get<TPlusImage>(flags & 0xFF);
        if (!image) throw ERecordDamaged("EMF+ image missing");
        const bool c = flags & EmfPlusFlagCompressed;
        const QRectF src = ReadRect(r, 20, false);
        std::array<QPointF, 3> corner;
        if (points) {
            if (r.U32(36) != 3) throw ERecordDamaged("EMF+ image points not three");
            const auto p = ReadPoints(r, 40, 3, flags);
            corner = {p[0], p[1], p[2]};
        } else {
            const QRectF d = ReadRect(r, 36, c);
            corner = {d.topLeft(), d.topRight(), d.bottomLeft()};
        }
        // The unit square onto the parallelogram, then world to target.
        const QTransform square(corner[1].x() - corner[0].x(), corner[1].y() - corner[0].y(), corner[2].x() - corner[0].x(),
                                corner[2].y() - corner[0].y(), corner[0].x(), corner[0].y());
        const QTransform toTarget = square * WorldToTarget();
        if (image->Emf) {
            if (Nesting >= MaxNesting) return;
            TEmfHeader header;
            if (!ReadEmfHeader(*image->Emf, header)) throw ERecordDamaged("EMF+ metafile image unreadable");
            TPlayOptions nested;
            nested.DeviceTransform = TEmfPlayer::FrameTransform(header, QRectF(0, 0, 1, 1)) * toTarget;
            nested.Clip = S.Clip ? S.Clip : Options.Clip;
            nested.MaxRecords = Options.MaxRecords;
            nested.Limits = Options.Limits;
            ++Nesting;
            struct TLeave {
                ~TLeave() { --Nesting; }
            } leave;
            const TPlayResult played = TEmfPlayer::Play(*image->Emf, Device, nested);
            DamagedCount += played.Damaged;
            // The picture inside draws through this page's guard; running out of work there ends this
            // page too.
            if (played.OverBudget && !played.Complete) throw EPageOverBudget(played.Problem);
            return;
        }
        if (!image->Dib || src.width() <= 0 || src.height() <= 0) return;
        // Destination in 1/4096ths of the unit square keeps sub-pixel placement through integer rects.
        constexpr int Q = 4096;
        const QRectF within = src.intersected(QRectF(0, 0, image->Width, image->Height));
        if (within.isEmpty()) return;
        TDibDraw draw;
        const QRect s = within.toAlignedRect().intersected(QRect(0, 0, image->Width, image->Height));
        if (s.isEmpty()) return;
        // A part of the bitmap is cut out here, so every device and recording sees a whole bitmap.
        TDibBytes part;
        if (s.size() != QSize(image->Width, image->Height)) {
            part.Info = image->Dib->Info;
            PutI32(part.Info.data() + 4, s.width());
            PutI32(part.Info.data() + 8, s.height());
            PutU32(part.Info.data() + 20, static_cast<uint32_t>(s.width() * s.height() * 4));
            part.Bits.resize(static_cast<size_t>(s.width()) * s.height() * 4);
            for (int y = 0; y < s.height(); ++y) {
                // Bottom-up rows: row y of the part is bitmap row s.y() + s.height() - 1 - y from the top.
                const size_t from = static_cast<size_t>(image->Height - 1 - (s.y() + s.height() - 1 - y));
                std::memcpy(part.Bits.data() + static_cast<size_t>(y) * s.width() * 4,
                            image->Dib->Bits.data() + (from * image->Width + s.x()) * 4, static_cast<size_t>(s.width()) * 4);
            }
            draw.Dib = part.View();
        } else {
            draw.Dib = image->Dib->View();
        }
        draw.Source = QRect(0, 0, s.width(), s.height());
        // A source rectangle far smaller than a pixel of the bitmap would place the part millions of
        // unit squares away: nothing of it can be on the page.
        const double place[4] = {(s.x() - src.x()) / src.width() * Q, (s.y() - src.y()) / src.height() * Q,
                                 s.width() / src.width() * Q, s.height() / src.height() * Q};
        for (const double v : place)
            if (!std::isfinite(v) || std::abs(v) > double(1 << 28)) return;
        draw.Destination = QRect(static_cast<int>(std::lround(place[0])), static_cast<int>(std::lround(place[1])),
                                 static_cast<int>(std::lround(place[2])), static_cast<int>(std::lround(place[3])));
        draw.SourceAlpha = true;
        draw.Rop = SRCCOPY;
        TDrawState st = BaseState(QTransform::fromScale(1.0 / Q, 1.0 / Q) * toTarget);
        Device.DrawDib(draw, st);
    }

    // ---- clip ----
    // Clips are kept in target pixels, cut to the page guard's bound and charged to its clip budget
    // like GDI clips (their bounding rectangles past the soft limit).
    void SetClip(const QPainterPath& worldArea, uint32_t mode, bool infinite = false) {
        QPainterPath everything;
        everything.addRect(TPageGuard::Bound());
        QPainterPath area = infinite ? everything : TPageGuard::Bounded(WorldToTarget().map(worldArea));
        const QPainterPath base = Options.Clip ? *Options.Clip : everything;
        QPainterPath current = S.Clip ? *S.Clip : base;
        if (!Device.ChargeClip(static_cast<uint64_t>(area.elementCount() + current.elementCount()))) {
            QPainterPath ba, bc;
            ba.addRect(area.boundingRect());
            bc.addRect(current.boundingRect());
            area = ba, current = bc;
        }
        QPainterPath next;
        switch (mode) {
        case 0: next = area.intersected(base); break;
        case 1: next = current.intersected(area); break;
        case 2: next = current.united(area).intersected(base); break;
        case 3: next = current.united(area).subtracted(current.intersected(area)).intersected(base); break;
        case 4: next = current.subtracted(area); break;
        case 5: next = area.subtracted(current).intersected(base); break;
        default: throw ERecordDamaged("unknown EMF+ combine mode");
        }
        S.Clip = std::make_shared<const QPainterPath>(TPageGuard::Bounded(next));
    }

    void Push(uint32_t index) {
        if (Stack.size() >= MaxStack) throw ERecordDamaged("EMF+ state stack too deep");
        Stack.push_back({index, S});
    }
    void Pop(uint32_t index) {
        for (size_t i = Stack.size(); i-- > 0;)
            if (Stack[i].Index == index) {
                S = Stack[i].State;
                Stack.resize(i);
                return;
            }
    }

    void Transform(const QTransform& m, uint16_t flags) {
        S.World = (flags & EmfPlusFlagAppend) ? S.World * m : m * S.World;
    }

    // ---- one record ----
    void Play(const TRecordReader& r) {
        const uint16_t type = r.U16(0), flags = r.U16(2);
        const bool c = flags & EmfPlusFlagCompressed;
        switch (type) {
        case EmfPlusHeader:
            DpiX = std::clamp<uint32_t>(r.U32(20), 1, 10000);
            DpiY = std::clamp<uint32_t>(r.U32(24), 1, 10000);
            Display = r.U32(16) & 1;
            break;
        case EmfPlusGetDC: Gdi = true; break;
        case EmfPlusSetAntiAliasMode: S.Smooth = flags & 1; break;
        case EmfPlusObject: Object(r, flags); break;
        case EmfPlusClear: {
            // The picture's frame, in reference pixels.
            QPainterPath page;
            page.addRect(TEmfPlayer::FrameTransform(Header, QRectF(0, 0, 1, 1)).inverted().mapRect(QRectF(0, 0, 1, 1)));
            const QTransform saved = S.World;
            const uint32_t unit = S.PageUnit;
            const double scale = S.PageScale;
            S.World = QTransform(), S.PageUnit = EmfPlusUnitPixel, S.PageScale = 1;
            Fill(page, TPlusBrush{EmfPlusBrushSolid, r.U32(12) | 0xFF000000u, 0, 0, false});
            S.World = saved, S.PageUnit = unit, S.PageScale = scale;
            break;
        }
        case EmfPlusFillRects: Fill(RectsPath(r, 20, r.U32(16), c), BrushOf(r, flags, 12)); break;
        case EmfPlusDrawRects: {
            const TPlusPen& pen = PenOf(flags & 0xFF);
            Stroke(RectsPath(r, 16, r.U32(12), c), pen);
            break;
        }
        case EmfPlusFillPolygon: {
            const auto points = ReadPoints(r, 20, r.U32(16), flags);
            QPainterPath path;
            path.addPolygon(QPolygonF(QList<QPointF>(points.begin(), points.end())));
            path.closeSubpath();
            Fill(path, BrushOf(r, flags, 12));
            break;
        }
        case EmfPlusDrawLines:
        case EmfPlusDrawBeziers: {
            const TPlusPen& pen = PenOf(flags & 0xFF);
            const auto points = ReadPoints(r, 16, r.U32(12), flags);
            QPainterPath path;
            if (points.empty()) break;
            path.moveTo(points[0]);
            if (type == EmfPlusDrawLines)
                for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
            else
                for (size_t i = 1; i + 2 < points.size(); i += 3) path.cubicTo(points[i], points[i + 1], points[i + 2]);
            if (type == EmfPlusDrawLines && (flags & EmfPlusFlagClosed)) path.closeSubpath();
            Stroke(path, pen);
            break;
        }
        case EmfPlusFillEllipse: {
            QPainterPath path;
            path.addEllipse(ReadRect(r, 16, c));
            Fill(path, BrushOf(r, flags, 12));
            break;
        }
        case EmfPlusDrawEllipse: {
            QPainterPath path;
            path.addEllipse(ReadRect(r, 12, c));
            Stroke(path, PenOf(flags & 0xFF));
            break;
        }
        case EmfPlusFillPie:
            Fill(ArcPath(ReadRect(r, 24, c), ReadF(r, 16), ReadF(r, 20), true), BrushOf(r, flags, 12));
            break;
        case EmfPlusDrawPie:
        case EmfPlusDrawArc:
            Stroke(ArcPath(ReadRect(r, 20, c), ReadF(r, 12), ReadF(r, 16), type == EmfPlusDrawPie), PenOf(flags & 0xFF));
            break;
        case EmfPlusFillRegion: {
            const TPlusRegion* region = Get<TPlusRegion>(flags & 0xFF);
            if (!region) throw ERecordDamaged("EMF+ region missing");
            Fill(region->Infinite ? Everything() : region->Path, BrushOf(r, flags, 12));
            break;
        }
        case EmfPlusFillPath: {
            const TPlusPath* path = Get<TPlusPath>(flags & 0xFF);
            if (!path) throw ERecordDamaged("EMF+ path missing");
            Fill(path->Path, BrushOf(r, flags, 12));
            break;
        }
        case EmfPlusDrawPath: {
            const TPlusPath* path = Get<TPlusPath>(flags & 0xFF);
            if (!path) throw ERecordDamaged("EMF+ path missing");
            Stroke(path->Path, PenOf(r.U32(12)));
            break;
        }
        case EmfPlusFillClosedCurve: {
            const auto points = ReadPoints(r, 24, r.U32(20), flags);
            Fill(Curve(points, ReadF(r, 16), true), BrushOf(r, flags, 12), flags & 0x2000);
            break;
        }
        case EmfPlusDrawClosedCurve:
            Stroke(Curve(ReadPoints(r, 20, r.U32(16), flags), ReadF(r, 12), true), PenOf(flags & 0xFF));
            break;
        case EmfPlusDrawCurve: {
            const auto points = ReadPoints(r, 24, r.U32(20), flags);
            const uint32_t offset = r.U32(16), segments = r.U32(20 - 0 + 0) ? r.U32(20) : 0;
            (void)segments;
            std::vector<QPointF> used(points.begin() + std::min<size_t>(offset, points.size()), points.end());
            Stroke(Curve(used, ReadF(r, 12), false), PenOf(flags & 0xFF));
            break;
        }
        case EmfPlusDrawString: DrawString(r, flags); break;
        case EmfPlusDrawImage: DrawImage(r, flags, false); break;
        case EmfPlusDrawImagePoints: DrawImage(r, flags, true); break;
        case EmfPlusDrawDriverString: DrawDriverString(r, flags); break;
        case EmfPlusSave: Push(r.U32(12)); break;
        case EmfPlusRestore: Pop(r.U32(12)); break;
        case EmfPlusBeginContainer: {
            const QRectF dst = ReadRect(r, 12, false), src = ReadRect(r, 28, false);
            Push(r.U32(44));
            if (std::abs(src.width()) > 1e-6 && std::abs(src.height()) > 1e-6) {
                const double unit = UnitPixels((flags >> 8) & 0xFF) / UnitPixels(S.PageUnit) / S.PageScale;
                QTransform m;
                m.translate(dst.x(), dst.y());
                m.scale(dst.width() / src.width(), dst.height() / src.height());
                m.translate(-src.x(), -src.y());
                (void)unit;
                S.World = m * S.World;
            }
            break;
        }
        case EmfPlusBeginContainerNoParams: Push(r.U32(12)); break;
        case EmfPlusEndContainer: Pop(r.U32(12)); break;
        case EmfPlusSetWorldTransform: S.World = ReadMatrix(r, 12); break;
        case EmfPlusResetWorldTransform: S.World = QTransform(); break;
        case EmfPlusMultiplyWorldTransform: Transform(ReadMatrix(r, 12), flags); break;
        case EmfPlusTranslateWorldTransform: Transform(QTransform::fromTranslate(ReadF(r, 12), ReadF(r, 16)), flags); break;
        case EmfPlusScaleWorldTransform: Transform(QTransform::fromScale(ReadF(r, 12), ReadF(r, 16)), flags); break;
        case EmfPlusRotateWorldTransform: Transform(QTransform().rotate(ReadF(r, 12)), flags); break;
        case EmfPlusSetPageTransform: {
            const float scale = ReadF(r, 12);
            if (!(scale > 1e-6f)) throw ERecordDamaged("EMF+ page scale not positive");
            S.PageUnit = flags & 0xFF;
            S.PageScale = scale;
            break;
        }
        case EmfPlusResetClip: S.Clip = nullptr; break;
        case EmfPlusSetClipRect: {
            QPainterPath p;
            p.addRect(ReadRect(r, 12, false).intersected(QRectF(-1e7, -1e7, 2e7, 2e7)));
            SetClip(p, (flags >> 8) & 0x0F);
            break;
        }
        case EmfPlusSetClipPath: {
            const TPlusPath* path = Get<TPlusPath>(flags & 0xFF);
            if (!path) throw ERecordDamaged("EMF+ path missing");
            SetClip(path->Path, (flags >> 8) & 0x0F);
            break;
        }
        case EmfPlusSetClipRegion: {
            const TPlusRegion* region = Get<TPlusRegion>(flags & 0xFF);
            if (!region) throw ERecordDamaged("EMF+ region missing");
            SetClip(region->Path, (flags >> 8) & 0x0F, region->Infinite);
            break;
        }
        case EmfPlusOffsetClip:
            if (S.Clip) {
                const QPointF d = WorldToTarget().map(QPointF(ReadF(r, 12), ReadF(r, 16))) - WorldToTarget().map(QPointF());
                S.Clip = std::make_shared<const QPainterPath>(TPageGuard::Bounded(S.Clip->translated(d)));
            }
            break;
        default:
            // Images, rendering hints, comments, multi-format brackets and the rest: nothing to draw here.
            break;
        }
    }

    // The EMF+ records of one comment, each passed to visit.
    template <class F> static bool Walk(const TRecordReader& comment, F&& visit) {
        constexpr size_t dataAt = TEmrComment::DataAt;
        if (comment.Size() < dataAt + 4 || comment.U32(dataAt) != EmfPlusSignature) return false;
        const size_t dataSize = std::min<size_t>(TEmrComment::Read(comment).DataSize, comment.Size() - dataAt);
        const auto all = comment.All().subspan(dataAt, dataSize);
        size_t at = 4;
        while (at + 12 <= all.size()) {
            const TRecordReader head(all.subspan(at, 12));
            const uint32_t size = head.U32(4), data = head.U32(8);
            if (size < 12 || size % 4 || size > all.size() - at || data > size - 12) break;
            visit(TRecordReader(all.subspan(at, size)));
            at += size;
        }
        return true;
    }
};

TEmfPlusPlayer::TEmfPlusPlayer(TPageGuard& device, const TPlayOptions& options, const TEmfHeader& header)
    : F(std::make_unique<TImpl>(device, options, header)) {}
TEmfPlusPlayer::~TEmfPlusPlayer() = default;

bool TEmfPlusPlayer::Prepare(std::span<const uint8_t> bytes) {
    TRecordWalker walker(bytes);
    TRecordReader record(bytes.first(0));
    bool any = false;
    uint32_t walked = 0;
    uint16_t pieceFlags = 0; // a continued image object being passed over
    uint64_t pieceLeft = 0;
    uint32_t gdiRecords = 0;
    while (walker.Next(record)) {
        if (++walked > (F->Options.MaxRecords ? F->Options.MaxRecords : 1u << 24)) break;
        if (record.Type() != EMR_COMMENT) {
            if (record.Type() != EMR_HEADER && record.Type() != EMR_EOF) ++gdiRecords;
            continue;
        }
        TImpl::Walk(record, [&](const TRecordReader& r) {
            any = true;
            if (!Known(r.U16(0))) ++F->UnknownCount;
            // Gradient and texture brushes (of fills and of pens) are not drawn faithfully yet: such
            // pages keep their fallback.
            else if (r.U16(0) == EmfPlusObject) {
                const uint8_t kind = (r.U16(2) >> 8) & 0x7F;
                const bool continued = r.U16(2) & EmfPlusFlagContinued;
                // Pens and brushes too big for one record hold textures.
                if (continued && (kind == EmfPlusObjectBrush || kind == EmfPlusObjectPen)) {
                    ++F->UnknownCount;
                    return;
                }
                // Images: the first piece of the object tells its kind (continued pieces start with
                // the total size).
                if (kind == EmfPlusObjectImage) {
                    const auto all = r.All();
                    if (continued && all.size() >= 16) {
                        const uint16_t flags = r.U16(2) & 0x7FFF;
                        const uint64_t total = r.U32(12), piece = std::min<uint64_t>(r.U32(8), all.size() - 12);
                        const bool first = pieceFlags != flags || pieceLeft == 0;
                        pieceFlags = flags;
                        pieceLeft = first ? total : pieceLeft;
                        pieceLeft -= std::min<uint64_t>(pieceLeft, piece >= 4 ? piece - 4 : 0);
                        if (!first) return;
                    }
                    const size_t from = continued ? 16 : 12;
                    if (from <= all.size() && !ImageKnown(all.subspan(from))) ++F->UnknownCount;
                    return;
                }
                pieceLeft = 0;
                try {
                    if ((kind == EmfPlusObjectBrush && TImpl::ParseBrush(r, 12).Approximate) ||
                        (kind == EmfPlusObjectPen && TImpl::ParsePen(r, 12).Brush.Approximate))
                        ++F->UnknownCount;
                } catch (const ERecordDamaged&) {
                }
            }
        });
    }
    F->Seen = any;
    // A page of EMF+ records alone has no fallback to fall back to: its known records are drawn and
    // the unknown ones skipped.
    return any && (F->UnknownCount == 0 || gdiRecords == 0);
}

bool TEmfPlusPlayer::Intercept(const TRecordReader& record) {
    if (record.Type() == EMR_COMMENT) {
        const bool plus = TImpl::Walk(record, [&](const TRecordReader& r) {
            ++F->RecordsRead;
            F->Gdi = false;
            try {
                F->Play(r);
            } catch (const ERecordDamaged&) {
                ++F->DamagedCount;
            }
        });
        if (plus) return true;
    }
    return !F->Gdi;
}

uint32_t TEmfPlusPlayer::Records() const { return F->RecordsRead; }
uint32_t TEmfPlusPlayer::Unknown() const { return F->UnknownCount; }
uint32_t TEmfPlusPlayer::Damaged() const { return F->DamagedCount; }

} // namespace pagimo::gdi
