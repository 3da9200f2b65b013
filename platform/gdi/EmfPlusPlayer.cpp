#include "platform/gdi/EmfPlusPlayer.h"

#include "platform/emf/EmfPlusLayouts.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/gdi/DibImage.h"
#include "platform/gdi/EmfPlusCaps.h"
#include "platform/gdi/EmfPlusFills.h"

#include <QImage>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <array>
#include <cmath>
#include <cstring>
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
constexpr size_t MaxStack = 512;
constexpr double MaxDashes = 20000; // dashes of one stroke built as an outline; more are drawn solid

TColorRef ToColorRef(uint32_t argb) {
    return Rgb(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb));
}
uint8_t Alpha(uint32_t argb) {
    return static_cast<uint8_t>(argb >> 24);
}
QPointF Pt(const TPlusPointF& p) {
    return QPointF(p.X, p.Y);
}
QRectF Rc(const TPlusRectF& r) {
    return QRectF(r.X, r.Y, r.Width, r.Height);
}
QTransform Mx(const TPlusMatrix& m) {
    return QTransform(m.M11, m.M12, m.M21, m.M22, m.Dx, m.Dy);
}
std::vector<QPointF> Pts(const std::vector<TPlusPointF>& points) {
    std::vector<QPointF> out;
    out.reserve(points.size());
    for (const TPlusPointF& p : points)
        out.push_back(Pt(p));
    return out;
}

struct TPlusPenObject {
    TPlusPen Pen;
    TPlusBrushObject Brush;
};
struct TPlusPathObject {
    QPainterPath Path;
};
struct TPlusRegionObject {
    QPainterPath Path;
    bool Infinite = false;
};
// An image object: a bitmap as a premultiplied 32-bit DIB, or an embedded EMF played in place.
struct TPlusImageObject {
    std::shared_ptr<const TDibBytes> Dib;
    int Width = 0, Height = 0;
    std::shared_ptr<const std::vector<uint8_t>> Emf;
};
struct TPlusOther {};
using TPlusObject = std::variant<std::monostate, TPlusBrushObject, TPlusPenObject, TPlusPathObject, TPlusRegionObject,
                                 TPlusFont, TPlusStringFormat, TPlusImageObject, TPlusOther>;

// Bitmap pixel formats (bits per pixel in bits 8..15) and the image kinds drawn.
constexpr uint32_t PixelIndexed1 = 0x00030101, PixelIndexed4 = 0x00030402, PixelIndexed8 = 0x00030803,
                   PixelRgb555 = 0x00021005, PixelRgb565 = 0x00021006, PixelArgb1555 = 0x00061007,
                   PixelRgb24 = 0x00021808, PixelRgb32 = 0x00022009, PixelArgb32 = 0x0026200A,
                   PixelPargb32 = 0x000E200B, PixelIndexed = 0x00010000;
constexpr uint32_t ImageBitmap = 1, ImageMetafile = 2;
constexpr uint32_t MetafileEmf = 3, MetafileEmfPlusOnly = 4, MetafileEmfPlusDual = 5;
constexpr int MaxImageSide = 1 << 14;
constexpr uint64_t MaxImagePixels = 1ull << 26;
constexpr int MaxNesting = 4; // metafile images inside metafile images

bool PixelFormatKnown(uint32_t f) {
    switch (f) {
    case PixelIndexed1:
    case PixelIndexed4:
    case PixelIndexed8:
    case PixelRgb555:
    case PixelRgb565:
    case PixelArgb1555:
    case PixelRgb24:
    case PixelRgb32:
    case PixelArgb32:
    case PixelPargb32:
        return true;
    default:
        return false;
    }
}

// Whether an image is of a kind this player draws: compressed bitmaps (PNG, JPEG, GIF, BMP, TIFF as Qt
// reads them), the pixel formats above, EMF metafiles. Others (WMF images, 16-bit grey, 48- and 64-bit
// pixels) keep the page's GDI fallback.
bool ImageKnown(const TPlusImage& image) {
    if (image.Type == ImageBitmap)
        return image.BitmapType == 1 || (image.BitmapType == 0 && PixelFormatKnown(image.PixelFormat));
    return image.MetafileType == MetafileEmf || image.MetafileType == MetafileEmfPlusOnly ||
           image.MetafileType == MetafileEmfPlusDual;
}

// A bitmap image decoded to 32-bit ARGB; null when it is not one this player draws.
QImage DecodeBitmap(const TPlusImage& image) {
    if (image.Type != ImageBitmap) return {};
    if (image.BitmapType == 1) {
        const auto& bytes = image.Data;
        QImage decoded = QImage::fromData(bytes.data(), static_cast<int>(std::min<size_t>(bytes.size(), INT32_MAX)));
        if (decoded.width() > MaxImageSide || decoded.height() > MaxImageSide) return {};
        return decoded;
    }
    const int32_t w = image.Width, h = image.Height, stride = image.Stride;
    const uint32_t format = image.PixelFormat;
    if (w <= 0 || h <= 0 || w > MaxImageSide || h > MaxImageSide ||
        static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > MaxImagePixels || !PixelFormatKnown(format))
        throw ERecordDamaged("EMF+ bitmap size or format");
    const TRecordReader r(image.Data);
    const int bpp = static_cast<int>((format >> 8) & 0xFF);
    std::vector<QRgb> palette;
    size_t o = 0;
    if (format & PixelIndexed) {
        const uint32_t count = r.U32(4);
        if (count > 256) throw ERecordDamaged("EMF+ palette too big");
        r.Bytes(8, count, 4);
        for (uint32_t i = 0; i < count; ++i)
            palette.push_back(r.U32(8 + 4 * i));
        o = 8 + 4ull * count;
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(w) * bpp + 7) / 8;
    if (stride <= 0 || static_cast<uint64_t>(stride) < rowBytes) throw ERecordDamaged("EMF+ bitmap stride");
    const auto bits = r.Bytes(o, static_cast<uint64_t>(stride) * static_cast<uint64_t>(h));
    QImage out(w, h, QImage::Format_ARGB32);
    if (out.isNull()) return {};
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = bits.data() + static_cast<size_t>(y) * static_cast<size_t>(stride);
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
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
            case PixelRgb24:
                c = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
                break;
            case PixelRgb32:
                c = qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                break;
            case PixelArgb32:
                c = qRgba(row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]);
                break;
            default: { // premultiplied: undone here, redone by the callers for every format alike
                const int a = row[4 * x + 3];
                auto un = [a](int v) { return a ? std::min(255, v * 255 / a) : 0; };
                c = qRgba(un(row[4 * x + 2]), un(row[4 * x + 1]), un(row[4 * x]), a);
                break;
            }
            }
            dst[x] = c;
        }
    }
    return out;
}

thread_local int Nesting = 0;

// Cardinal spline through points as Bézier segments (GDI+ curves): segments first .. first + count - 1,
// the neighbours outside them shaping the tangents.
QPainterPath Curve(const std::vector<QPointF>& p, double tension, bool closed, size_t first = 0,
                   size_t count = SIZE_MAX) {
    QPainterPath path;
    const size_t n = p.size();
    if (n < 2 || first >= n) return path;
    const double t = tension / 3;
    auto at = [&](long i) {
        if (closed)
            return p[static_cast<size_t>((i % static_cast<long>(n) + static_cast<long>(n)) % static_cast<long>(n))];
        return p[static_cast<size_t>(std::clamp<long>(i, 0, static_cast<long>(n) - 1))];
    };
    const size_t segments = std::min(count, (closed ? n : n - 1) - std::min(first, closed ? n : n - 1));
    path.moveTo(p[first]);
    for (size_t i = first; i < first + segments; ++i) {
        const long k = static_cast<long>(i);
        const QPointF c1 = at(k) + (at(k + 1) - at(k - 1)) * t;
        const QPointF c2 = at(k + 1) - (at(k + 2) - at(k)) * t;
        path.cubicTo(c1, c2, at(k + 1));
    }
    if (closed) path.closeSubpath();
    return path;
}

// The drawing state. Containers nest: World is the transform within the innermost one, Base maps its
// coordinates out through the enclosing containers (their own mappings and world transforms), and
// BaseClip is the clip it began with, which its own clips narrow and ResetClip returns to.
struct TPlusState {
    QTransform World, Base;
    uint32_t PageUnit = EmfPlusUnitDisplay;
    double PageScale = 1;
    std::shared_ptr<const QPainterPath> Clip;     // target device pixels; none: BaseClip
    std::shared_ptr<const QPainterPath> BaseClip; // none: the caller's clip alone
    bool Smooth = false;                          // antialias mode
};

// The kind after the last drawing record: serializable objects carry image effects, which are not
// applied (the image is drawn plain).
constexpr uint16_t EmfPlusSerializableObject = 0x4038;
constexpr size_t TableSize = EmfPlusSerializableObject - EmfPlusHeader + 2;

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
    uint32_t RecordsRead = 0, UnknownCount = 0, DamagedCount = 0, SkippedCount = 0;
    // A continued object being collected.
    std::vector<uint8_t> Pending;
    uint16_t PendingFlags = 0;
    uint32_t PendingTotal = 0;
    TPlusBrushObject Solid; // the brush of records that give an ARGB colour instead of a brush object

    TImpl(TPageGuard& d, const TPlayOptions& o, const TEmfHeader& h) : Device(d), Options(o), Header(h) {}

    using THandler = void (TImpl::*)(const TRecordReader&, uint16_t);
    struct TEntry {
        uint32_t MinSize = 0;
        THandler Handler = nullptr;
    };
    static const std::array<TEntry, TableSize>& Table();
    static const TEntry* EntryOf(uint16_t type) {
        const auto& table = Table();
        const size_t i = static_cast<size_t>(type) - 0x4000;
        return type >= 0x4000 && i < table.size() && table[i].Handler ? &table[i] : nullptr;
    }

    // ---- transforms ----
    double UnitPixels(uint32_t unit, bool x = true) const {
        const double dpi = x ? DpiX : DpiY;
        switch (unit) {
        case EmfPlusUnitDisplay:
            return Display ? 1 : dpi / 100;
        case EmfPlusUnitPoint:
            return dpi / 72;
        case EmfPlusUnitInch:
            return dpi;
        case EmfPlusUnitDocument:
            return dpi / 300;
        case EmfPlusUnitMillimeter:
            return dpi / 25.4;
        default:
            return 1;
        }
    }
    QTransform Page() const {
        const double sx = UnitPixels(S.PageUnit, true) * S.PageScale, sy = UnitPixels(S.PageUnit, false) * S.PageScale;
        return QTransform::fromScale(sx, sy);
    }
    QTransform WorldToPage() const { return S.World * S.Base; }
    QTransform WorldToTarget() const { return WorldToPage() * Page() * Options.DeviceTransform; }
    double WorldScale() const {
        const double s = ScaleOf(WorldToPage() * Page());
        return s > 1e-9 ? s : 1;
    }
    std::shared_ptr<const QPainterPath> CurrentClip() const {
        if (S.Clip) return S.Clip;
        return S.BaseClip ? S.BaseClip : Options.Clip;
    }

    TDrawState BaseState(const QTransform& t) const {
        TDrawState st;
        st.Transform = t;
        st.BkMode = TRANSPARENT;
        st.PolyFillMode = ALTERNATE;
        st.Clip = CurrentClip();
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
    template <class T> const T& Need(uint32_t id, const char* what) const {
        const T* object = Get<T>(id);
        if (!object) throw ERecordDamaged(what);
        return *object;
    }

    static TPlusBrushObject BrushObject(const TPlusBrush& brush) {
        std::shared_ptr<const QImage> texture;
        if (brush.Type == EmfPlusBrushTexture && brush.Image && ImageKnown(*brush.Image)) {
            QImage image = DecodeBitmap(*brush.Image);
            if (!image.isNull())
                texture = std::make_shared<const QImage>(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        }
        return MakeBrushObject(brush, std::move(texture));
    }

    // Region nodes (depth first from at) combined like clips: they count against the clip budget, and
    // past its soft limit the operands are their bounding rectangles.
    TPlusRegionObject RegionOf(const TPlusRegion& region, size_t& at) {
        if (at >= region.Nodes.size()) throw ERecordDamaged("EMF+ region ends early");
        const TPlusRegionNode& node = region.Nodes[at++];
        TPlusRegionObject out;
        switch (node.Type) {
        case EmfPlusRegionRect:
            out.Path.addRect(Rc(node.Rect));
            return out;
        case EmfPlusRegionPath:
            out.Path = PlusPathToQt(*node.Path);
            Device.ChargePoints(static_cast<uint64_t>(out.Path.elementCount()));
            return out;
        case EmfPlusRegionInfinite:
            out.Infinite = true;
            return out;
        case EmfPlusRegionEmpty:
            return out;
        default: {
            const TPlusRegionObject a = RegionOf(region, at);
            const TPlusRegionObject b = RegionOf(region, at);
            return Combine(a, b, node.Type);
        }
        }
    }

    static QPainterPath Everything() {
        QPainterPath p;
        p.addRect(QRectF(-1e6, -1e6, 2e6, 2e6));
        return p;
    }

    TPlusRegionObject Combine(const TPlusRegionObject& a, const TPlusRegionObject& b, uint32_t op) {
        QPainterPath pa = a.Infinite ? Everything() : a.Path, pb = b.Infinite ? Everything() : b.Path;
        if (!Device.ChargeClip(static_cast<uint64_t>(pa.elementCount() + pb.elementCount()))) {
            QPainterPath ba, bb;
            ba.addRect(pa.boundingRect());
            bb.addRect(pb.boundingRect());
            pa = ba, pb = bb;
        }
        TPlusRegionObject out;
        switch (op) {
        case EmfPlusRegionAnd:
            out.Path = pa.intersected(pb);
            break;
        case EmfPlusRegionUnion:
            out.Path = pa.united(pb);
            break;
        case EmfPlusRegionXor:
            out.Path = pa.united(pb).subtracted(pa.intersected(pb));
            break;
        case EmfPlusRegionExclude:
            out.Path = pa.subtracted(pb);
            break;
        default:
            out.Path = pb.subtracted(pa);
            break;
        }
        return out;
    }

    static TPlusImageObject ImageObject(const TPlusImage& image) {
        TPlusImageObject out;
        if (image.Type == ImageMetafile) {
            if (ImageKnown(image))
                out.Emf = std::make_shared<const std::vector<uint8_t>>(image.Data.begin(), image.Data.end());
            return out;
        }
        const QImage decoded = DecodeBitmap(image);
        if (decoded.isNull()) return out;
        // The device's alpha blend takes bottom-up premultiplied 32-bit rows.
        out.Dib = std::make_shared<TDibBytes>(ImageToAlphaDib(decoded));
        out.Width = decoded.width(), out.Height = decoded.height();
        return out;
    }

    void ParseObject(const TRecordReader& r, uint16_t flags, size_t at) {
        const uint8_t id = flags & 0xFF, type = (flags >> 8) & 0x7F;
        if (id >= EmfPlusMaxObjects) throw ERecordDamaged("EMF+ object id out of range");
        TPlusObject& slot = Objects[id];
        switch (type) {
        case EmfPlusObjectBrush:
            slot = BrushObject(TPlusBrush::Read(r, at));
            break;
        case EmfPlusObjectPen: {
            TPlusPenObject pen;
            pen.Pen = TPlusPen::Read(r, at);
            pen.Brush = BrushObject(pen.Pen.Brush);
            slot = std::move(pen);
            break;
        }
        case EmfPlusObjectPath: {
            QPainterPath path = PlusPathToQt(TPlusPath::Read(r, at));
            Device.ChargePoints(static_cast<uint64_t>(path.elementCount()));
            slot = TPlusPathObject{std::move(path)};
            break;
        }
        case EmfPlusObjectRegion: {
            size_t node = 0;
            slot = RegionOf(TPlusRegion::Read(r, at), node);
            break;
        }
        case EmfPlusObjectFont:
            slot = TPlusFont::Read(r, at);
            break;
        case EmfPlusObjectStringFormat:
            slot = TPlusStringFormat::Read(r, at);
            break;
        case EmfPlusObjectImage:
            slot = ImageObject(TPlusImage::Read(r, at));
            break;
        default:
            slot = TPlusOther{};
            break; // image attributes, custom line caps kept apart from pens
        }
    }

    void Object(const TRecordReader& r, uint16_t flags) {
        if (!(flags & EmfPlusFlagContinued)) {
            Pending.clear();
            ParseObject(r, flags, PlusHeadSize);
            return;
        }
        const TPlusObjectPiece piece = TPlusObjectPiece::Read(r);
        if (piece.TotalSize > Header.Bytes || piece.TotalSize > (64u << 20))
            throw ERecordDamaged("EMF+ object bigger than the picture");
        if (Pending.empty() || PendingFlags != (flags & 0x7FFF) || PendingTotal != piece.TotalSize) Pending.clear();
        PendingFlags = flags & 0x7FFF;
        PendingTotal = piece.TotalSize;
        Pending.insert(Pending.end(), piece.Piece.begin(), piece.Piece.end());
        if (Pending.size() >= piece.TotalSize) {
            const std::vector<uint8_t> whole(Pending.begin(), Pending.begin() + piece.TotalSize);
            Pending.clear();
            ParseObject(TRecordReader(whole), PendingFlags, 0);
        }
    }

    // ---- drawing ----
    const TPlusBrushObject& BrushOf(uint16_t flags, uint32_t value) {
        if (flags & EmfPlusFlagSolidColor) {
            // Reused: a plain colour needs none of a brush object's parts.
            Solid.Brush.Color = Solid.Mean = value;
            return Solid;
        }
        return Need<TPlusBrushObject>(value, "EMF+ brush missing");
    }
    const TPlusPenObject& PenOf(uint32_t id) const { return Need<TPlusPenObject>(id, "EMF+ pen missing"); }

    void Fill(const QPainterPath& path, const TPlusBrushObject& brush, bool winding = false) {
        if (path.isEmpty()) return;
        const QTransform m = WorldToTarget();
        const double k = Coef(m);
        TDrawState st = BaseState(Undo(m, k));
        st.PolyFillMode = winding || path.fillRule() == Qt::WindingFill ? WINDING : ALTERNATE;
        const TPlusBrush& b = brush.Brush;
        if (b.Type == EmfPlusBrushHatch && b.Hatch <= HatchStyleLast) {
            if (Alpha(b.Color) == 0 && Alpha(b.Back) < 128) return;
            st.Brush.Style = BS_HATCHED;
            st.Brush.Hatch = b.Hatch;
            st.Brush.Color = ToColorRef(b.Color);
            st.Opacity = Alpha(b.Color);
            if (Alpha(b.Back) >= 128) st.BkMode = OPAQUE, st.BkColor = ToColorRef(b.Back);
        } else if (brush.Fill && !brush.Approximate) {
            st.Brush.Style = BS_FILL;
            st.Brush.Fill = ScaledFill(brush, k);
            // A mesh is work in proportion to its triangles, as a path is to its points.
            Device.ChargePoints(st.Brush.Fill->Triangles.size());
            st.Brush.Color = ToColorRef(brush.Mean);
        } else {
            if (Alpha(brush.Mean) == 0) return;
            st.Brush.Style = BS_SOLID;
            st.Brush.Color = ToColorRef(brush.Mean);
            st.Opacity = Alpha(brush.Mean);
        }
        TShape shape;
        shape.Kind = TShapeKind::skPath;
        shape.Path = QTransform::fromScale(k, k).map(path);
        shape.Stroke = false;
        Device.DrawShape(shape, st);
    }

    void Stroke(const QPainterPath& path, const TPlusPenObject& object) {
        const TPlusPen& pen = object.Pen;
        const TPlusBrushObject& brush = object.Brush;
        if (path.isEmpty()) return;
        const double widthWorld =
            pen.Unit == EmfPlusUnitWorld ? pen.Width : pen.Width * UnitPixels(pen.Unit) / WorldScale();
        const QTransform m = WorldToTarget();
        const double k = Coef(m);
        const double pixel = Sub / k; // one device pixel in world units
        const double devWidth = widthWorld / pixel;
        QPainterPath line = path;
        TCapShapes caps;
        const int cap = ApplyCaps(line, pen, std::max(widthWorld, pixel), caps);
        std::vector<double> dashes = PlusDashes(pen);
        const bool plain = !brush.Fill && brush.Brush.Type != EmfPlusBrushHatch;
        if (!dashes.empty() && !plain) {
            // Outlines of many dashes take long to build: past a limit the line is drawn solid.
            double period = 0, length = 0;
            for (double d : dashes)
                period += d;
            QPointF last;
            for (int i = 0; i < line.elementCount(); ++i) {
                const QPointF p(line.elementAt(i).x, line.elementAt(i).y);
                if (!line.elementAt(i).isMoveTo()) length += std::hypot(p.x() - last.x(), p.y() - last.y());
                last = p;
            }
            if (!(length / (period * std::max(widthWorld, pixel)) < MaxDashes)) dashes.clear();
        }
        const Qt::PenJoinStyle join = pen.Join == 1 ? Qt::BevelJoin : pen.Join == 2 ? Qt::RoundJoin : Qt::MiterJoin;
        const int dashCap = pen.DashedLineCap == 2 ? 2 : 0;
        const int lineCap = dashes.empty() ? cap : dashCap;
        if (!plain) {
            // Pens with hatch, gradient or texture brushes: the stroke's outline filled with the brush.
            QPainterPathStroker stroker;
            stroker.setWidth(std::max(widthWorld, pixel));
            stroker.setCapStyle(lineCap == 2 ? Qt::RoundCap : lineCap == 1 ? Qt::SquareCap : Qt::FlatCap);
            stroker.setJoinStyle(join);
            stroker.setMiterLimit(pen.MiterLimit);
            if (!dashes.empty()) {
                stroker.setDashPattern(QList<qreal>(dashes.begin(), dashes.end()));
                stroker.setDashOffset(pen.DashOffset);
            }
            Device.ChargePoints(static_cast<uint64_t>(line.elementCount()) * 4);
            Fill(stroker.createStroke(line), brush, true);
        } else if (Alpha(brush.Mean) != 0) {
            TDrawState st = BaseState(Undo(m, k));
            const bool thin = devWidth <= 1.0;
            uint32_t style = PS_SOLID;
            if (!dashes.empty()) {
                // Dashes in pen widths; a thin pen takes them as pixels of a one-pixel pen.
                style = PS_USERSTYLE;
                const double unit = thin ? std::max(devWidth, 1.0) : 1;
                auto entries = std::make_shared<std::vector<double>>(dashes);
                for (double& d : *entries)
                    d *= unit;
                st.Pen.UserStyle = std::move(entries);
                st.Pen.DashOffset = pen.DashOffset * unit;
            }
            if (thin) {
                st.Pen.Style = style;
                st.Pen.Width = 0;
            } else {
                const uint32_t capStyle = lineCap == 2   ? PS_ENDCAP_ROUND
                                          : lineCap == 1 ? PS_ENDCAP_SQUARE
                                                         : PS_ENDCAP_FLAT;
                const uint32_t joinStyle = join == Qt::BevelJoin   ? PS_JOIN_BEVEL
                                           : join == Qt::RoundJoin ? PS_JOIN_ROUND
                                                                   : PS_JOIN_MITER;
                st.Pen.Style = PS_GEOMETRIC | style | capStyle | joinStyle;
                st.Pen.Width = static_cast<int32_t>(std::clamp(std::lround(widthWorld * k), 1L, 1L << 24));
            }
            st.Pen.Color = ToColorRef(brush.Mean);
            st.Opacity = Alpha(brush.Mean);
            st.MiterLimit = pen.MiterLimit;
            TShape shape;
            shape.Kind = TShapeKind::skPath;
            shape.Path = QTransform::fromScale(k, k).map(line);
            shape.Fill = false;
            Device.DrawShape(shape, st);
        }
        if (!caps.Fill.isEmpty()) Fill(caps.Fill, brush, true);
        if (!caps.Line.isEmpty()) {
            // Line caps are stroked with the pen, without caps or dashes of their own.
            TPlusPenObject bare = object;
            bare.Pen.Flags &= ~(EmfPlusPenStartCap | EmfPlusPenEndCap);
            bare.Pen.CustomStartCap.reset();
            bare.Pen.CustomEndCap.reset();
            bare.Pen.DashArray.clear();
            bare.Pen.LineStyle = 0;
            Stroke(caps.Line, bare);
        }
    }

    QPainterPath RectsPath(const std::vector<TPlusRectF>& rects) {
        QPainterPath path;
        for (const TPlusRectF& r : rects)
            path.addRect(Rc(r));
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
        const TPlusFont& font = Need<TPlusFont>(flags & 0xFF, "EMF+ font missing");
        const TPlusDrawString s = TPlusDrawString::Read(r);
        const uint32_t color = BrushOf(flags, s.Brush).Mean;
        const TPlusStringFormat* format = s.Format < EmfPlusMaxObjects ? Get<TPlusStringFormat>(s.Format) : nullptr;
        const TPlusStringFormat fmt = format ? *format : TPlusStringFormat{};
        if (Alpha(color) == 0) return;
        double em = 0;
        const QTransform m = WorldToTarget();
        const double c = Coef(m);
        TDrawState st = BaseState(Undo(m, c));
        st.Font = LogFont(font, &em, c);
        st.TextColor = ToColorRef(color);
        st.Opacity = Alpha(color);
        std::vector<std::u16string> lines(1);
        for (char16_t ch : s.Text) {
            if (ch == u'\n')
                lines.emplace_back();
            else if (ch != u'\r' && ch != 0)
                lines.back().push_back(ch);
        }
        const QRectF rect = Rc(s.Layout);
        const double lineHeight = em * 1.15;
        double y = rect.y();
        if (rect.height() > 0 && fmt.LineAlign == 1)
            y += (rect.height() - lineHeight * lines.size()) / 2;
        else if (rect.height() > 0 && fmt.LineAlign == 2)
            y += rect.height() - lineHeight * lines.size();
        const double margin = std::clamp(static_cast<double>(fmt.LeadingMargin), 0.0, 1.0) * em;
        double x = rect.x() + margin;
        st.TextAlign = TA_TOP | TA_LEFT;
        if (rect.width() > 0 && fmt.Align == 1)
            x = rect.center().x(), st.TextAlign = TA_TOP | TA_CENTER;
        else if (rect.width() > 0 && fmt.Align == 2)
            x = rect.right() - margin, st.TextAlign = TA_TOP | TA_RIGHT;
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
        const TPlusFont& font = Need<TPlusFont>(flags & 0xFF, "EMF+ font missing");
        const TPlusDrawDriverString s = TPlusDrawDriverString::Read(r);
        const uint32_t color = BrushOf(flags, s.Brush).Mean;
        const size_t count = s.Glyphs.size();
        if (Alpha(color) == 0 || count == 0) return;
        const QTransform extra = s.Matrix ? Mx(*s.Matrix) : QTransform();
        double em = 0;
        const QTransform m = extra * WorldToTarget();
        const double c = Coef(m);
        TDrawState st = BaseState(Undo(m, c));
        st.Font = LogFont(font, &em, c);
        st.TextColor = ToColorRef(color);
        st.Opacity = Alpha(color);
        st.TextAlign = TA_BASELINE | TA_LEFT;
        const bool realized = s.Options & 4;
        const std::vector<QPointF> points = Pts(s.Positions);
        // Runs of glyphs on one baseline, with advances from the positions.
        size_t i = 0;
        while (i < count) {
            size_t j = i + 1;
            while (j < count && (realized || std::abs(points[j].y() - points[i].y()) < 1e-3))
                ++j;
            TTextRun run;
            run.Reference = QPoint(Fixed(points[i].x(), c), Fixed(points[i].y(), c));
            if (!(s.Options & 1)) run.Options = ETO_GLYPH_INDEX;
            for (size_t k = i; k < j; ++k) {
                run.Text.push_back(static_cast<char16_t>(s.Glyphs[k]));
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
        const TPlusImageObject& image = Need<TPlusImageObject>(flags & 0xFF, "EMF+ image missing");
        const TPlusDrawImage d = TPlusDrawImage::Read(r, points);
        const QRectF src = Rc(d.Source);
        std::array<QPointF, 3> corner;
        if (points) {
            corner = {Pt(d.Points[0]), Pt(d.Points[1]), Pt(d.Points[2])};
        } else {
            const QRectF box = Rc(d.Destination);
            corner = {box.topLeft(), box.topRight(), box.bottomLeft()};
        }
        // The unit square onto the parallelogram, then world to target.
        const QTransform square(corner[1].x() - corner[0].x(), corner[1].y() - corner[0].y(),
                                corner[2].x() - corner[0].x(), corner[2].y() - corner[0].y(), corner[0].x(),
                                corner[0].y());
        const QTransform toTarget = square * WorldToTarget();
        if (image.Emf) {
            if (Nesting >= MaxNesting) return;
            TEmfHeader header;
            if (!ReadEmfHeader(*image.Emf, header)) throw ERecordDamaged("EMF+ metafile image unreadable");
            TPlayOptions nested;
            nested.DeviceTransform = TEmfPlayer::FrameTransform(header, QRectF(0, 0, 1, 1)) * toTarget;
            nested.Clip = CurrentClip();
            nested.MaxRecords = Options.MaxRecords;
            nested.Limits = Options.Limits;
            ++Nesting;
            struct TLeave {
                ~TLeave() { --Nesting; }
            } leave;
            const TPlayResult played = TEmfPlayer::Play(*image.Emf, Device, nested);
            DamagedCount += played.Damaged;
            // The picture inside draws through this page's guard; running out of work there ends this
            // page too.
            if (played.OverBudget && !played.Complete) throw EPageOverBudget(played.Problem);
            return;
        }
        if (!image.Dib || src.width() <= 0 || src.height() <= 0) return;
        // Destination in 1/4096ths of the unit square keeps sub-pixel placement through integer rects.
        constexpr int Q = 4096;
        const QRectF within = src.intersected(QRectF(0, 0, image.Width, image.Height));
        if (within.isEmpty()) return;
        TDibDraw draw;
        const QRect s = within.toAlignedRect().intersected(QRect(0, 0, image.Width, image.Height));
        if (s.isEmpty()) return;
        // A part of the bitmap is cut out here, so every device and recording sees a whole bitmap.
        TDibBytes part;
        if (s.size() != QSize(image.Width, image.Height)) {
            part.Info = image.Dib->Info;
            PutI32(part.Info.data() + 4, s.width());
            PutI32(part.Info.data() + 8, s.height());
            PutU32(part.Info.data() + 20, static_cast<uint32_t>(s.width() * s.height() * 4));
            part.Bits.resize(static_cast<size_t>(s.width()) * s.height() * 4);
            for (int y = 0; y < s.height(); ++y) {
                // Bottom-up rows: row y of the part is bitmap row s.y() + s.height() - 1 - y from the top.
                const size_t from = static_cast<size_t>(image.Height - 1 - (s.y() + s.height() - 1 - y));
                std::memcpy(part.Bits.data() + static_cast<size_t>(y) * s.width() * 4,
                            image.Dib->Bits.data() + (from * image.Width + s.x()) * 4,
                            static_cast<size_t>(s.width()) * 4);
            }
            draw.Dib = part.View();
        } else {
            draw.Dib = image.Dib->View();
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
    // like GDI clips (their bounding rectangles past the soft limit). Within a container they narrow
    // the clip the container began with.
    void SetClip(const QPainterPath& worldArea, uint32_t mode, bool infinite = false) {
        QPainterPath everything;
        everything.addRect(TPageGuard::Bound());
        QPainterPath area = infinite ? everything : TPageGuard::Bounded(WorldToTarget().map(worldArea));
        const std::shared_ptr<const QPainterPath> outer = S.BaseClip ? S.BaseClip : Options.Clip;
        const QPainterPath base = outer ? *outer : everything;
        QPainterPath current = S.Clip ? *S.Clip : base;
        if (!Device.ChargeClip(static_cast<uint64_t>(area.elementCount() + current.elementCount()))) {
            QPainterPath ba, bc;
            ba.addRect(area.boundingRect());
            bc.addRect(current.boundingRect());
            area = ba, current = bc;
        }
        QPainterPath next;
        switch (mode) {
        case 0:
            next = area.intersected(base);
            break;
        case 1:
            next = current.intersected(area);
            break;
        case 2:
            next = current.united(area).intersected(base);
            break;
        case 3:
            next = current.united(area).subtracted(current.intersected(area)).intersected(base);
            break;
        case 4:
            next = current.subtracted(area);
            break;
        case 5:
            next = area.subtracted(current).intersected(base);
            break;
        default:
            throw ERecordDamaged("unknown EMF+ combine mode");
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
    // A new container: what was drawn through so far (mapping, world transform, clip) becomes its base.
    void Enter(const QTransform& mapping) {
        S.Base = mapping * S.World * S.Base;
        S.World = QTransform();
        S.BaseClip = CurrentClip();
        S.Clip = nullptr;
    }

    void Transform(const QTransform& m, uint16_t flags) {
        S.World = (flags & EmfPlusFlagAppend) ? S.World * m : m * S.World;
    }

    // ---- records ----
    void PlusHeader(const TRecordReader& r, uint16_t) {
        const TPlusHeaderRecord h = TPlusHeaderRecord::Read(r);
        DpiX = std::clamp<uint32_t>(h.DpiX, 1, 10000);
        DpiY = std::clamp<uint32_t>(h.DpiY, 1, 10000);
        Display = h.PlusFlags & 1;
    }
    void GetDC(const TRecordReader&, uint16_t) { Gdi = true; }
    void SetAntiAliasMode(const TRecordReader&, uint16_t flags) { S.Smooth = flags & 1; }
    void ObjectRecord(const TRecordReader& r, uint16_t flags) { Object(r, flags); }
    void Clear(const TRecordReader& r, uint16_t) {
        // The picture's frame, in reference pixels.
        QPainterPath page;
        page.addRect(TEmfPlayer::FrameTransform(Header, QRectF(0, 0, 1, 1)).inverted().mapRect(QRectF(0, 0, 1, 1)));
        const TPlusState saved = S;
        S.World = S.Base = QTransform(), S.PageUnit = EmfPlusUnitPixel, S.PageScale = 1;
        Fill(page, SolidBrushObject(TPlusValue::Read(r).Value | 0xFF000000u));
        S = saved;
    }
    void FillRects(const TRecordReader& r, uint16_t flags) {
        const TPlusRects rects = TPlusRects::Read(r, true);
        Fill(RectsPath(rects.Rects), BrushOf(flags, rects.Brush));
    }
    void DrawRects(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        Stroke(RectsPath(TPlusRects::Read(r, false).Rects), pen);
    }
    void FillPolygon(const TRecordReader& r, uint16_t flags) {
        const TPlusPoints p = TPlusPoints::Read(r, TPlusPoints::psFillPolygon);
        const std::vector<QPointF> points = Pts(p.Points);
        QPainterPath path;
        path.addPolygon(QPolygonF(QList<QPointF>(points.begin(), points.end())));
        path.closeSubpath();
        Fill(path, BrushOf(flags, p.Brush));
    }
    void DrawLines(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        const std::vector<QPointF> points = Pts(TPlusPoints::Read(r, TPlusPoints::psLines).Points);
        if (points.empty()) return;
        QPainterPath path;
        path.moveTo(points[0]);
        for (size_t i = 1; i < points.size(); ++i)
            path.lineTo(points[i]);
        if (flags & EmfPlusFlagClosed) path.closeSubpath();
        Stroke(path, pen);
    }
    void DrawBeziers(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        const std::vector<QPointF> points = Pts(TPlusPoints::Read(r, TPlusPoints::psLines).Points);
        if (points.empty()) return;
        QPainterPath path;
        path.moveTo(points[0]);
        for (size_t i = 1; i + 2 < points.size(); i += 3)
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
        Stroke(path, pen);
    }
    void FillEllipse(const TRecordReader& r, uint16_t flags) {
        const TPlusEllipse e = TPlusEllipse::Read(r, true);
        QPainterPath path;
        path.addEllipse(Rc(e.Box));
        Fill(path, BrushOf(flags, e.Brush));
    }
    void DrawEllipse(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        QPainterPath path;
        path.addEllipse(Rc(TPlusEllipse::Read(r, false).Box));
        Stroke(path, pen);
    }
    void FillPie(const TRecordReader& r, uint16_t flags) {
        const TPlusArc a = TPlusArc::Read(r, true);
        Fill(ArcPath(Rc(a.Box), a.Start, a.Sweep, true), BrushOf(flags, a.Brush));
    }
    void DrawPie(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        const TPlusArc a = TPlusArc::Read(r, false);
        Stroke(ArcPath(Rc(a.Box), a.Start, a.Sweep, true), pen);
    }
    void DrawArc(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        const TPlusArc a = TPlusArc::Read(r, false);
        Stroke(ArcPath(Rc(a.Box), a.Start, a.Sweep, false), pen);
    }
    void FillRegion(const TRecordReader& r, uint16_t flags) {
        const TPlusRegionObject& region = Need<TPlusRegionObject>(flags & 0xFF, "EMF+ region missing");
        Fill(region.Infinite ? Everything() : region.Path, BrushOf(flags, TPlusValue::Read(r).Value));
    }
    void FillPath(const TRecordReader& r, uint16_t flags) {
        const TPlusPathObject& path = Need<TPlusPathObject>(flags & 0xFF, "EMF+ path missing");
        Fill(path.Path, BrushOf(flags, TPlusValue::Read(r).Value));
    }
    void DrawPath(const TRecordReader& r, uint16_t flags) {
        const TPlusPathObject& path = Need<TPlusPathObject>(flags & 0xFF, "EMF+ path missing");
        Stroke(path.Path, PenOf(TPlusValue::Read(r).Value));
    }
    void FillClosedCurve(const TRecordReader& r, uint16_t flags) {
        const TPlusPoints p = TPlusPoints::Read(r, TPlusPoints::psFillClosedCurve);
        Fill(Curve(Pts(p.Points), p.Tension, true), BrushOf(flags, p.Brush), flags & 0x2000);
    }
    void DrawClosedCurve(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        const TPlusPoints p = TPlusPoints::Read(r, TPlusPoints::psClosedCurve);
        Stroke(Curve(Pts(p.Points), p.Tension, true), pen);
    }
    void DrawCurve(const TRecordReader& r, uint16_t flags) {
        const TPlusPenObject& pen = PenOf(flags & 0xFF);
        const TPlusPoints p = TPlusPoints::Read(r, TPlusPoints::psCurve);
        Stroke(Curve(Pts(p.Points), p.Tension, false, p.Offset, p.Segments), pen);
    }
    void DrawStringRecord(const TRecordReader& r, uint16_t flags) { DrawString(r, flags); }
    void DrawDriverStringRecord(const TRecordReader& r, uint16_t flags) { DrawDriverString(r, flags); }
    void DrawImageRecord(const TRecordReader& r, uint16_t flags) { DrawImage(r, flags, false); }
    void DrawImagePointsRecord(const TRecordReader& r, uint16_t flags) { DrawImage(r, flags, true); }
    void Save(const TRecordReader& r, uint16_t) { Push(TPlusValue::Read(r).Value); }
    void Restore(const TRecordReader& r, uint16_t) { Pop(TPlusValue::Read(r).Value); }
    void BeginContainer(const TRecordReader& r, uint16_t flags) {
        const TPlusBeginContainer c = TPlusBeginContainer::Read(r);
        Push(c.StackIndex);
        // The source rectangle (the container's world units) onto the destination, which is in the
        // record's unit, turned into the page's units.
        const uint32_t unit = (flags >> 8) & 0xFF;
        const double u =
            unit == EmfPlusUnitWorld ? 1 : UnitPixels(unit) / (UnitPixels(S.PageUnit) * std::max(S.PageScale, 1e-9));
        const QRectF dst = Rc(c.Destination), src = Rc(c.Source);
        QTransform m;
        if (std::abs(src.width()) > 1e-6 && std::abs(src.height()) > 1e-6) {
            const double sx = dst.width() * u / src.width(), sy = dst.height() * u / src.height();
            m = QTransform(sx, 0, 0, sy, dst.x() * u - src.x() * sx, dst.y() * u - src.y() * sy);
        }
        Enter(m);
    }
    void BeginContainerNoParams(const TRecordReader& r, uint16_t) {
        Push(TPlusValue::Read(r).Value);
        Enter(QTransform());
    }
    void SetWorldTransform(const TRecordReader& r, uint16_t) { S.World = Mx(TPlusMatrixRecord::Read(r).Matrix); }
    void ResetWorldTransform(const TRecordReader&, uint16_t) { S.World = QTransform(); }
    void MultiplyWorldTransform(const TRecordReader& r, uint16_t flags) {
        Transform(Mx(TPlusMatrixRecord::Read(r).Matrix), flags);
    }
    void TranslateWorldTransform(const TRecordReader& r, uint16_t flags) {
        const TPlusPair d = TPlusPair::Read(r);
        Transform(QTransform::fromTranslate(d.X, d.Y), flags);
    }
    void ScaleWorldTransform(const TRecordReader& r, uint16_t flags) {
        const TPlusPair d = TPlusPair::Read(r);
        Transform(QTransform::fromScale(d.X, d.Y), flags);
    }
    void RotateWorldTransform(const TRecordReader& r, uint16_t flags) {
        Transform(QTransform().rotate(TPlusFloat::Read(r).Value), flags);
    }
    void SetPageTransform(const TRecordReader& r, uint16_t flags) {
        const float scale = TPlusFloat::Read(r).Value;
        if (!(scale > 1e-6f)) throw ERecordDamaged("EMF+ page scale not positive");
        S.PageUnit = flags & 0xFF;
        S.PageScale = scale;
    }
    void ResetClip(const TRecordReader&, uint16_t) { S.Clip = nullptr; }
    void SetClipRect(const TRecordReader& r, uint16_t flags) {
        QPainterPath p;
        p.addRect(Rc(TPlusSetClipRect::Read(r).Rect).intersected(QRectF(-1e7, -1e7, 2e7, 2e7)));
        SetClip(p, (flags >> 8) & 0x0F);
    }
    void SetClipPath(const TRecordReader&, uint16_t flags) {
        SetClip(Need<TPlusPathObject>(flags & 0xFF, "EMF+ path missing").Path, (flags >> 8) & 0x0F);
    }
    void SetClipRegion(const TRecordReader&, uint16_t flags) {
        const TPlusRegionObject& region = Need<TPlusRegionObject>(flags & 0xFF, "EMF+ region missing");
        SetClip(region.Path, (flags >> 8) & 0x0F, region.Infinite);
    }
    void OffsetClip(const TRecordReader& r, uint16_t) {
        const TPlusPair d = TPlusPair::Read(r);
        if (!S.Clip) return;
        const QPointF by = WorldToTarget().map(QPointF(d.X, d.Y)) - WorldToTarget().map(QPointF());
        S.Clip = std::make_shared<const QPainterPath>(TPageGuard::Bounded(S.Clip->translated(by)));
    }
    void Ignore(const TRecordReader&, uint16_t) {}

    // One record: through the table, refused when shorter than its fixed fields, skipped when unknown.
    void Play(const TRecordReader& r) {
        const TEntry* entry = EntryOf(r.U16(0));
        if (!entry) {
            ++SkippedCount;
            return;
        }
        if (r.Size() < entry->MinSize) {
            ++DamagedCount;
            return;
        }
        (this->*entry->Handler)(r, r.U16(2));
    }

    // The EMF+ records of one comment, each passed to visit.
    template <class F> static bool Walk(const TRecordReader& comment, F&& visit) {
        constexpr size_t dataAt = TEmrComment::DataAt;
        if (comment.Size() < dataAt + 4 || comment.U32(dataAt) != EmfPlusSignature) return false;
        const size_t dataSize = std::min<size_t>(TEmrComment::Read(comment).DataSize, comment.Size() - dataAt);
        const auto all = comment.All().subspan(dataAt, dataSize);
        size_t at = 4;
        while (at + PlusHeadSize <= all.size()) {
            const TRecordReader head(all.subspan(at, PlusHeadSize));
            const uint32_t size = head.U32(4), data = head.U32(8);
            if (size < PlusHeadSize || size % 4 || size > all.size() - at || data > size - PlusHeadSize) break;
            visit(TRecordReader(all.subspan(at, size)));
            at += size;
        }
        return true;
    }
};

const std::array<TEmfPlusPlayer::TImpl::TEntry, TableSize>& TEmfPlusPlayer::TImpl::Table() {
    static const std::array<TEntry, TableSize> table = [] {
        std::array<TEntry, TableSize> t{};
        auto set = [&](uint16_t type, size_t minSize, THandler h) {
            t[type - 0x4000] = TEntry{static_cast<uint32_t>(minSize), h};
        };
        set(EmfPlusHeader, TPlusHeaderRecord::Size, &TImpl::PlusHeader);
        set(EmfPlusGetDC, PlusHeadSize, &TImpl::GetDC);
        set(EmfPlusObject, PlusHeadSize, &TImpl::ObjectRecord);
        set(EmfPlusClear, TPlusValue::Size, &TImpl::Clear);
        set(EmfPlusFillRects, TPlusRects::FillSize, &TImpl::FillRects);
        set(EmfPlusDrawRects, TPlusRects::DrawSize, &TImpl::DrawRects);
        set(EmfPlusFillPolygon, TPlusPoints::SizeOf(TPlusPoints::psFillPolygon), &TImpl::FillPolygon);
        set(EmfPlusDrawLines, TPlusPoints::SizeOf(TPlusPoints::psLines), &TImpl::DrawLines);
        set(EmfPlusFillEllipse, TPlusEllipse::FillSize, &TImpl::FillEllipse);
        set(EmfPlusDrawEllipse, TPlusEllipse::DrawSize, &TImpl::DrawEllipse);
        set(EmfPlusFillPie, TPlusArc::FillSize, &TImpl::FillPie);
        set(EmfPlusDrawPie, TPlusArc::DrawSize, &TImpl::DrawPie);
        set(EmfPlusDrawArc, TPlusArc::DrawSize, &TImpl::DrawArc);
        set(EmfPlusFillRegion, TPlusValue::Size, &TImpl::FillRegion);
        set(EmfPlusFillPath, TPlusValue::Size, &TImpl::FillPath);
        set(EmfPlusDrawPath, TPlusValue::Size, &TImpl::DrawPath);
        set(EmfPlusFillClosedCurve, TPlusPoints::SizeOf(TPlusPoints::psFillClosedCurve), &TImpl::FillClosedCurve);
        set(EmfPlusDrawClosedCurve, TPlusPoints::SizeOf(TPlusPoints::psClosedCurve), &TImpl::DrawClosedCurve);
        set(EmfPlusDrawCurve, TPlusPoints::SizeOf(TPlusPoints::psCurve), &TImpl::DrawCurve);
        set(EmfPlusDrawBeziers, TPlusPoints::SizeOf(TPlusPoints::psLines), &TImpl::DrawBeziers);
        set(EmfPlusDrawImage, TPlusDrawImage::RectSize, &TImpl::DrawImageRecord);
        set(EmfPlusDrawImagePoints, TPlusDrawImage::PointsSize, &TImpl::DrawImagePointsRecord);
        set(EmfPlusDrawString, TPlusDrawString::Size, &TImpl::DrawStringRecord);
        set(EmfPlusDrawDriverString, TPlusDrawDriverString::Size, &TImpl::DrawDriverStringRecord);
        set(EmfPlusSetAntiAliasMode, PlusHeadSize, &TImpl::SetAntiAliasMode);
        set(EmfPlusSave, TPlusValue::Size, &TImpl::Save);
        set(EmfPlusRestore, TPlusValue::Size, &TImpl::Restore);
        set(EmfPlusBeginContainer, TPlusBeginContainer::Size, &TImpl::BeginContainer);
        set(EmfPlusBeginContainerNoParams, TPlusValue::Size, &TImpl::BeginContainerNoParams);
        set(EmfPlusEndContainer, TPlusValue::Size, &TImpl::Restore);
        set(EmfPlusSetWorldTransform, TPlusMatrixRecord::Size, &TImpl::SetWorldTransform);
        set(EmfPlusResetWorldTransform, PlusHeadSize, &TImpl::ResetWorldTransform);
        set(EmfPlusMultiplyWorldTransform, TPlusMatrixRecord::Size, &TImpl::MultiplyWorldTransform);
        set(EmfPlusTranslateWorldTransform, TPlusPair::Size, &TImpl::TranslateWorldTransform);
        set(EmfPlusScaleWorldTransform, TPlusPair::Size, &TImpl::ScaleWorldTransform);
        set(EmfPlusRotateWorldTransform, TPlusFloat::Size, &TImpl::RotateWorldTransform);
        set(EmfPlusSetPageTransform, TPlusFloat::Size, &TImpl::SetPageTransform);
        set(EmfPlusResetClip, PlusHeadSize, &TImpl::ResetClip);
        set(EmfPlusSetClipRect, TPlusSetClipRect::Size, &TImpl::SetClipRect);
        set(EmfPlusSetClipPath, PlusHeadSize, &TImpl::SetClipPath);
        set(EmfPlusSetClipRegion, PlusHeadSize, &TImpl::SetClipRegion);
        set(EmfPlusOffsetClip, TPlusPair::Size, &TImpl::OffsetClip);
        // Records that change nothing drawn here: rendering hints, comments, multi-format brackets,
        // image effects.
        for (uint16_t type : std::initializer_list<uint16_t>{
                 EmfPlusEndOfFile, EmfPlusComment, EmfPlusMultiFormatStart, EmfPlusMultiFormatSection,
                 EmfPlusMultiFormatEnd, EmfPlusSetRenderingOrigin, EmfPlusSetTextRenderingHint, EmfPlusSetTextContrast,
                 EmfPlusSetInterpolationMode, EmfPlusSetPixelOffsetMode, EmfPlusSetCompositingMode,
                 EmfPlusSetCompositingQuality, EmfPlusSerializableObject})
            set(type, PlusHeadSize, &TImpl::Ignore);
        return t;
    }();
    return table;
}

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
    auto known = [](const TRecordReader& object, size_t at) {
        try {
            return ImageKnown(TPlusImage::Read(object, at));
        } catch (const ERecordDamaged&) {
            return true; // refused when it is played
        }
    };
    while (walker.Next(record)) {
        if (++walked > (F->Options.MaxRecords ? F->Options.MaxRecords : 1u << 24)) break;
        if (record.Type() != EMR_COMMENT) {
            if (record.Type() != EMR_HEADER && record.Type() != EMR_EOF) ++gdiRecords;
            continue;
        }
        TImpl::Walk(record, [&](const TRecordReader& r) {
            any = true;
            const uint16_t type = r.U16(0), flags = r.U16(2);
            if (!TImpl::EntryOf(type)) {
                ++F->UnknownCount;
                return;
            }
            if (type != EmfPlusObject) return;
            const uint8_t kind = (flags >> 8) & 0x7F;
            const bool continued = flags & EmfPlusFlagContinued;
            // Images of kinds not drawn (as images or as textures of brushes and pens) keep the page's
            // fallback. The first piece of a continued object tells its kind (pieces start with the
            // total size).
            if (kind == EmfPlusObjectImage) {
                const auto all = r.All();
                if (continued && all.size() >= TPlusObjectPiece::Size) {
                    const uint64_t total = r.U32(12), piece = std::min<uint64_t>(r.U32(8), all.size() - 12);
                    const bool first = pieceFlags != (flags & 0x7FFF) || pieceLeft == 0;
                    pieceFlags = flags & 0x7FFF;
                    pieceLeft = first ? total : pieceLeft;
                    pieceLeft -= std::min<uint64_t>(pieceLeft, piece >= 4 ? piece - 4 : 0);
                    if (!first) return;
                }
                if (!known(r, continued ? TPlusObjectPiece::DataAt : PlusHeadSize)) ++F->UnknownCount;
                return;
            }
            pieceLeft = 0;
            if (continued || (kind != EmfPlusObjectBrush && kind != EmfPlusObjectPen)) return;
            try {
                const TPlusBrush brush = kind == EmfPlusObjectBrush ? TPlusBrush::Read(r, PlusHeadSize)
                                                                    : TPlusPen::Read(r, PlusHeadSize).Brush;
                if (brush.Type == EmfPlusBrushTexture &&
                    (!brush.Image || !ImageKnown(*brush.Image) || brush.Image->Type != ImageBitmap))
                    ++F->UnknownCount;
            } catch (const ERecordDamaged&) {
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

uint32_t TEmfPlusPlayer::Records() const {
    return F->RecordsRead;
}
uint32_t TEmfPlusPlayer::Unknown() const {
    return F->UnknownCount;
}
uint32_t TEmfPlusPlayer::Damaged() const {
    return F->DamagedCount;
}
uint32_t TEmfPlusPlayer::Skipped() const {
    return F->SkippedCount;
}

} // namespace pagimo::gdi
