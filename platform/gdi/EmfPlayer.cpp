#include "platform/gdi/EmfPlayer.h"

#include "platform/emf/EmfRecords.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/emf/RecordReader.h"
#include "platform/gdi/DibImage.h"
#include "platform/gdi/EmfPlusPlayer.h"
#include "platform/gdi/FontMatcher.h"
#include "platform/gdi/PageGuard.h"

#include "platform/graphics/CodePages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <variant>

namespace pagimo::gdi {

using namespace emf;

namespace {

TLogBrush SolidBrush(TColorRef color) {
    TLogBrush b;
    b.Color = color;
    return b;
}

TLogBrush NullBrush() {
    TLogBrush b;
    b.Style = BS_NULL;
    return b;
}

bool Finite(double v) {
    return std::isfinite(v) && std::abs(v) < 1e7;
}

// Record coordinates are 32-bit; kept within +-2^29 so that QRect's edge, width and height arithmetic
// (and the sums made of them) cannot overflow. No page comes near: the guard drops what lies beyond.
int32_t Coord(int32_t v) {
    constexpr int32_t max = 1 << 29;
    return std::clamp(v, -max, max);
}

// A position the player computed (the current position after text advances), as record coordinates.
QPoint Position(QPointF p) {
    constexpr double max = 1 << 29;
    const double x = std::isfinite(p.x()) ? std::clamp(p.x(), -max, max) : 0;
    const double y = std::isfinite(p.y()) ? std::clamp(p.y(), -max, max) : 0;
    return QPointF(x, y).toPoint();
}

// A rectangle given as x, y, width and height.
QRect XYWH(int32_t x, int32_t y, int32_t width, int32_t height) {
    return QRect(Coord(x), Coord(y), Coord(width), Coord(height));
}

// Text of an EXTTEXTOUTA record in the code page of the font's character set.
std::u16string DecodeAnsiText(std::span<const uint8_t> bytes, uint8_t charset) {
    return graphics::DecodeAnsi(bytes, charset);
}

struct TPenObject {
    TLogPen Pen;
};
struct TBrushObject {
    TLogBrush Brush;
};
struct TFontObject {
    TLogFont Font;
};
struct TOtherObject {}; // palettes, colour spaces: selectable and deletable, otherwise ignored
using TObject = std::variant<std::monostate, TPenObject, TBrushObject, TFontObject, TOtherObject>;

struct TDcState {
    uint32_t MapMode = MM_TEXT;
    QPointF WindowOrg, ViewportOrg;
    QSizeF WindowExt{1, 1}, ViewportExt{1, 1};
    QTransform World;
    TDrawState Draw; // pen, brush, font, colours, modes, clip; Transform recomputed on use
    QPointF CurrentPos;
};

class TPlayback {
public:
    TPlayback(TDevice& device, const TPlayOptions& options, const TEmfHeader& header)
        : FGuard(device, options.Limits, FResult.Work, ScaleOf(options.DeviceTransform)), FDevice(FGuard),
          FOptions(options), FObjects(std::max<size_t>(header.Handles, 1)) {
        // Pixels per millimetre of the reference device, for the metric and English mapping modes.
        if (header.DevicePixelsX > 0 && header.DeviceMillimetersX > 0 && header.DevicePixelsY > 0 &&
            header.DeviceMillimetersY > 0) {
            FPxPerMmX = static_cast<double>(header.DevicePixelsX) / header.DeviceMillimetersX;
            FPxPerMmY = static_cast<double>(header.DevicePixelsY) / header.DeviceMillimetersY;
        }
        S.Draw.Clip = options.Clip;
        FBaseClip = options.Clip;
        Recompute();
    }

    TPlayResult Run(std::span<const uint8_t> bytes);
    void SetPlus(TEmfPlusPlayer* plus) { FPlus = plus; }
    TPageGuard& Guard() { return FGuard; }

private:
    using THandler = void (TPlayback::*)(const TRecordReader&);
    struct TEntry {
        uint32_t MinSize = 0;
        THandler Handler = nullptr;
    };
    static const std::array<TEntry, EmrMaxType + 1>& Table();

    // Transforms.
    void Recompute();
    QTransform PageTransform() const;
    QPointF ToDevice(QPointF logical) const { return FLogicalToRef.map(logical); }
    TDrawState& State() { return S.Draw; }
    const TDrawState& DrawingState() {
        S.Draw.Transform = FLogicalToTarget;
        if (!IsMonoPattern(S.Draw.Brush)) return S.Draw;
        FColouredState = S.Draw;
        FColouredState.Brush = AtDrawTime(S.Draw.Brush);
        return FColouredState;
    }
    // Monochrome pattern brushes keep their bits (a one-bit image) until they are drawn: GDI paints 0 bits
    // in the text colour and 1 bits in the background colour of the moment.
    static bool IsMonoPattern(const TLogBrush& b) {
        return b.Style == BS_DIBPATTERN && b.Pattern && b.Pattern->format() == QImage::Format_Mono;
    }
    TLogBrush AtDrawTime(const TLogBrush& brush) {
        if (!IsMonoPattern(brush)) return brush;
        const TColorRef text = S.Draw.TextColor & 0xFFFFFF, back = S.Draw.BkColor & 0xFFFFFF;
        if (FColoured.Mono != brush.Pattern || FColoured.Text != text || FColoured.Back != back) {
            QImage bits = *brush.Pattern;
            bits.setColorTable(
                {qRgb(RedOf(text), GreenOf(text), BlueOf(text)), qRgb(RedOf(back), GreenOf(back), BlueOf(back))});
            FColoured = {brush.Pattern, text, back,
                         std::make_shared<const QImage>(bits.convertToFormat(QImage::Format_RGB32))};
        }
        TLogBrush out = brush;
        out.Pattern = FColoured.Image;
        return out;
    }
    static std::shared_ptr<const QImage> MonoPattern(const TRecordReader& r, const TEmrCreateDibPatternBrush& b,
                                                     bool anyTable);

    // Helpers.
    static QRect Box(const TRectL& b) {
        return QRect(QPoint(Coord(b.Left), Coord(b.Top)), QPoint(Coord(b.Right), Coord(b.Bottom)));
    }
    void Shape(TShape&& shape);
    void PathShape(const QPainterPath& refPath, bool fill, bool stroke);
    std::vector<QPointF> Points(const TRecordReader& r, size_t at, uint32_t count, bool small);
    void Poly(const TRecordReader& r, TShapeKind kind, bool small, bool fromCurrent);
    void PolyPoly(const TRecordReader& r, TShapeKind kind, bool small);
    void BoxShape(const TRecordReader& r, TShapeKind kind);
    void ClipRect(const TRecordReader& r, uint32_t mode);
    void ClipCombine(const QPainterPath& targetArea, uint32_t mode);
    QPainterPath RefRect(const QRectF& logical) const;
    void Text(const TRecordReader& r, bool wide);
    // Hands a text run to the device, counting glyph indices that cannot be drawn.
    void DrawRun(const TTextRun& run, const TDrawState& state);
    void Dib(const TRecordReader& r, QRect dest, QRect src, uint32_t rop, const TBitmapRef& bitmap, uint32_t usage,
             bool sourceTopDown, uint8_t alpha = 255, bool sourceAlpha = false);
    static std::shared_ptr<const QImage> PatternImage(const TRecordReader& r, const TEmrCreateDibPatternBrush& b);
    QPainterPath RegionPath(const TRecordReader& r, size_t at, uint32_t size);
    struct TColouredPattern {
        std::shared_ptr<const QImage> Mono;
        TColorRef Text = 0, Back = 0;
        std::shared_ptr<const QImage> Image;
    };
    TColouredPattern FColoured;
    TDrawState FColouredState;
    TObject* Object(uint32_t index) {
        if (index == 0 || index >= FObjects.size()) throw ERecordDamaged("object index outside the handle table");
        return &FObjects[index];
    }

    // Handlers.
    void Header(const TRecordReader&) {}
    void Ignore(const TRecordReader&) {}
    void Eof(const TRecordReader&) {}
    void SetMapMode(const TRecordReader& r);
    void SetWindowExt(const TRecordReader& r);
    void SetWindowOrg(const TRecordReader& r);
    void SetViewportExt(const TRecordReader& r);
    void SetViewportOrg(const TRecordReader& r);
    void ScaleViewportExt(const TRecordReader& r);
    void ScaleWindowExt(const TRecordReader& r);
    void SetWorldTransform(const TRecordReader& r);
    void ModifyWorldTransform(const TRecordReader& r);
    void SaveDC(const TRecordReader& r);
    void RestoreDC(const TRecordReader& r);
    static uint32_t Value(const TRecordReader& r) { return TEmrValue::Read(r).Value; }
    void SetBkMode(const TRecordReader& r) { State().BkMode = Value(r) == TRANSPARENT ? TRANSPARENT : OPAQUE; }
    void SetBkColor(const TRecordReader& r) { State().BkColor = Value(r) & 0xFFFFFF; }
    void SetTextColor(const TRecordReader& r) { State().TextColor = Value(r) & 0xFFFFFF; }
    void SetTextAlign(const TRecordReader& r) { State().TextAlign = Value(r); }
    void SetPolyFillMode(const TRecordReader& r) { State().PolyFillMode = Value(r) == WINDING ? WINDING : ALTERNATE; }
    void SetRop2(const TRecordReader& r) { State().Rop2 = static_cast<int>(Value(r)); }
    void SetStretchBltMode(const TRecordReader& r) { State().StretchBltMode = static_cast<int>(Value(r)); }
    void SetArcDirection(const TRecordReader& r) {
        State().ArcDirection = Value(r) == AD_CLOCKWISE ? AD_CLOCKWISE : AD_COUNTERCLOCKWISE;
    }
    void SetMiterLimit(const TRecordReader& r);
    void CreatePen(const TRecordReader& r);
    void ExtCreatePen(const TRecordReader& r);
    void CreateBrushIndirect(const TRecordReader& r);
    void CreateDibPatternBrush(const TRecordReader& r);
    void CreateFont(const TRecordReader& r);
    void CreateOther(const TRecordReader& r) { *Object(Value(r)) = TOtherObject{}; }
    void SelectObject(const TRecordReader& r);
    void DeleteObject(const TRecordReader& r) { *Object(Value(r)) = std::monostate{}; }
    void MoveTo(const TRecordReader& r);
    void LineTo(const TRecordReader& r);
    void Polyline(const TRecordReader& r) { Poly(r, TShapeKind::skPolyline, false, false); }
    void Polyline16(const TRecordReader& r) { Poly(r, TShapeKind::skPolyline, true, false); }
    void Polygon(const TRecordReader& r) { Poly(r, TShapeKind::skPolygon, false, false); }
    void Polygon16(const TRecordReader& r) { Poly(r, TShapeKind::skPolygon, true, false); }
    void PolyBezier(const TRecordReader& r) { Poly(r, TShapeKind::skPolyBezier, false, false); }
    void PolyBezier16(const TRecordReader& r) { Poly(r, TShapeKind::skPolyBezier, true, false); }
    void PolylineTo(const TRecordReader& r) { Poly(r, TShapeKind::skPolyline, false, true); }
    void PolylineTo16(const TRecordReader& r) { Poly(r, TShapeKind::skPolyline, true, true); }
    void PolyBezierTo(const TRecordReader& r) { Poly(r, TShapeKind::skPolyBezier, false, true); }
    void PolyBezierTo16(const TRecordReader& r) { Poly(r, TShapeKind::skPolyBezier, true, true); }
    void PolyPolyline(const TRecordReader& r) { PolyPoly(r, TShapeKind::skPolyline, false); }
    void PolyPolyline16(const TRecordReader& r) { PolyPoly(r, TShapeKind::skPolyline, true); }
    void PolyPolygon(const TRecordReader& r) { PolyPoly(r, TShapeKind::skPolygon, false); }
    void PolyPolygon16(const TRecordReader& r) { PolyPoly(r, TShapeKind::skPolygon, true); }
    void PolyDraw(const TRecordReader& r);
    void PolyDraw16(const TRecordReader& r);
    void PolyDrawPoints(const TRecordReader& r, bool small);
    void Rectangle(const TRecordReader& r) { BoxShape(r, TShapeKind::skRectangle); }
    void Ellipse(const TRecordReader& r) { BoxShape(r, TShapeKind::skEllipse); }
    void RoundRect(const TRecordReader& r) { BoxShape(r, TShapeKind::skRoundRect); }
    void Arc(const TRecordReader& r) { BoxShape(r, TShapeKind::skArc); }
    void Chord(const TRecordReader& r) { BoxShape(r, TShapeKind::skChord); }
    void Pie(const TRecordReader& r) { BoxShape(r, TShapeKind::skPie); }
    void ArcTo(const TRecordReader& r);
    void AngleArc(const TRecordReader& r);
    void SetPixel(const TRecordReader& r);
    void BeginPath(const TRecordReader&) {
        FInPath = true;
        FPath = QPainterPath();
    }
    void EndPath(const TRecordReader&) { FInPath = false; }
    void CloseFigure(const TRecordReader&) {
        if (FInPath) FPath.closeSubpath();
    }
    void AbortPath(const TRecordReader&) {
        FInPath = false;
        FPath = QPainterPath();
    }
    void FillPath(const TRecordReader&) { PathShape(FPath, true, false), FPath = QPainterPath(); }
    void StrokePath(const TRecordReader&) { PathShape(FPath, false, true), FPath = QPainterPath(); }
    void StrokeAndFillPath(const TRecordReader&) { PathShape(FPath, true, true), FPath = QPainterPath(); }
    void FlattenPath(const TRecordReader&) {}
    void SelectClipPath(const TRecordReader& r);
    void IntersectClipRect(const TRecordReader& r);
    void ExcludeClipRect(const TRecordReader& r);
    void ExtSelectClipRgn(const TRecordReader& r);
    void OffsetClipRgn(const TRecordReader& r);
    void FillRgn(const TRecordReader& r);
    void FrameRgn(const TRecordReader& r);
    void PaintRgn(const TRecordReader& r);
    void InvertRgn(const TRecordReader& r);
    void ExtTextOutW(const TRecordReader& r) { Text(r, true); }
    void ExtTextOutA(const TRecordReader& r) { Text(r, false); }
    void SmallTextOut(const TRecordReader& r);
    void BitBlt(const TRecordReader& r);
    void StretchBlt(const TRecordReader& r);
    void StretchDIBits(const TRecordReader& r);
    void SetDIBitsToDevice(const TRecordReader& r);
    void AlphaBlend(const TRecordReader& r);

    TPlayResult FResult;
    TPageGuard FGuard; // between the player and the device: bounds and the page's work budget
    TDevice& FDevice;
    TPlayOptions FOptions;
    std::vector<TObject> FObjects;
    TDcState S;
    std::vector<TDcState> FStack;
    std::shared_ptr<const QPainterPath> FBaseClip;
    double FPxPerMmX = 96 / 25.4, FPxPerMmY = 96 / 25.4;
    QTransform FLogicalToRef, FLogicalToTarget;
    bool FInPath = false;
    QPainterPath FPath; // reference-device pixels
    TEmfPlusPlayer* FPlus = nullptr; // EMF+ pages: draws the EMF+ records and gates the GDI ones
};

// ---- transforms -----------------------------------------------------------------------------------

QTransform TPlayback::PageTransform() const {
    double sx = 1, sy = 1;
    switch (S.MapMode) {
    case MM_LOMETRIC:
        sx = FPxPerMmX / 10, sy = -FPxPerMmY / 10;
        break;
    case MM_HIMETRIC:
        sx = FPxPerMmX / 100, sy = -FPxPerMmY / 100;
        break;
    case MM_LOENGLISH:
        sx = FPxPerMmX * 0.254, sy = -FPxPerMmY * 0.254;
        break;
    case MM_HIENGLISH:
        sx = FPxPerMmX * 0.0254, sy = -FPxPerMmY * 0.0254;
        break;
    case MM_TWIPS:
        sx = FPxPerMmX * 25.4 / 1440, sy = -FPxPerMmY * 25.4 / 1440;
        break;
    case MM_ISOTROPIC:
    case MM_ANISOTROPIC:
        sx = S.ViewportExt.width() / S.WindowExt.width();
        sy = S.ViewportExt.height() / S.WindowExt.height();
        if (S.MapMode == MM_ISOTROPIC) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
        break;
    default:
        break;
    }
    // device = (page - windowOrg) * scale + viewportOrg
    return QTransform(sx, 0, 0, sy, S.ViewportOrg.x() - S.WindowOrg.x() * sx, S.ViewportOrg.y() - S.WindowOrg.y() * sy);
}

void TPlayback::Recompute() {
    FLogicalToRef = S.World * PageTransform();
    FLogicalToTarget = FLogicalToRef * FOptions.DeviceTransform;
}

void TPlayback::SetMapMode(const TRecordReader& r) {
    const uint32_t mode = Value(r);
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    S.MapMode = mode;
    Recompute();
}

void TPlayback::SetWindowExt(const TRecordReader& r) {
    const auto [cx, cy] = TEmrPoint::Read(r).Point;
    if (cx == 0 || cy == 0) return;
    S.WindowExt = QSizeF(cx, cy);
    Recompute();
}

void TPlayback::SetViewportExt(const TRecordReader& r) {
    const auto [cx, cy] = TEmrPoint::Read(r).Point;
    if (cx == 0 || cy == 0) return;
    S.ViewportExt = QSizeF(cx, cy);
    Recompute();
}

void TPlayback::SetWindowOrg(const TRecordReader& r) {
    const TPointL org = TEmrPoint::Read(r).Point;
    S.WindowOrg = QPointF(org.X, org.Y);
    Recompute();
}

void TPlayback::SetViewportOrg(const TRecordReader& r) {
    const TPointL org = TEmrPoint::Read(r).Point;
    S.ViewportOrg = QPointF(org.X, org.Y);
    Recompute();
}

void TPlayback::ScaleViewportExt(const TRecordReader& r) {
    const auto [xn, xd, yn, yd] = TEmrScaleExt::Read(r);
    if (xn == 0 || xd == 0 || yn == 0 || yd == 0) return;
    S.ViewportExt = QSizeF(S.ViewportExt.width() * xn / xd, S.ViewportExt.height() * yn / yd);
    Recompute();
}

void TPlayback::ScaleWindowExt(const TRecordReader& r) {
    const auto [xn, xd, yn, yd] = TEmrScaleExt::Read(r);
    if (xn == 0 || xd == 0 || yn == 0 || yd == 0) return;
    S.WindowExt = QSizeF(S.WindowExt.width() * xn / xd, S.WindowExt.height() * yn / yd);
    Recompute();
}

// An XFORM as a transform; false when a value is not finite or the transform cannot be inverted.
static bool ToTransform(const TXForm& x, QTransform& t) {
    for (double v : {x.M11, x.M12, x.M21, x.M22, x.Dx, x.Dy})
        if (!Finite(v)) return false;
    t = QTransform(x.M11, x.M12, x.M21, x.M22, x.Dx, x.Dy);
    return std::abs(t.determinant()) > 1e-12;
}

void TPlayback::SetWorldTransform(const TRecordReader& r) {
    QTransform t;
    if (!ToTransform(TEmrSetWorldTransform::Read(r).XForm, t)) return;
    S.World = t;
    Recompute();
}

void TPlayback::ModifyWorldTransform(const TRecordReader& r) {
    const TEmrModifyWorldTransform m = TEmrModifyWorldTransform::Read(r);
    const uint32_t mode = m.Mode;
    if (mode == MWT_IDENTITY) {
        S.World = QTransform();
        Recompute();
        return;
    }
    QTransform t;
    if (!ToTransform(m.XForm, t)) return;
    switch (mode) {
    case MWT_LEFTMULTIPLY:
        S.World = t * S.World;
        break;
    case MWT_RIGHTMULTIPLY:
        S.World = S.World * t;
        break;
    case MWT_SET:
        S.World = t;
        break;
    default:
        return;
    }
    Recompute();
}

void TPlayback::SaveDC(const TRecordReader&) {
    if (FStack.size() < 10000) FStack.push_back(S);
}

void TPlayback::RestoreDC(const TRecordReader& r) {
    const auto rel = static_cast<int32_t>(Value(r));
    if (rel >= 0 || static_cast<int64_t>(FStack.size()) + rel < 0) return;
    const size_t keep = FStack.size() + static_cast<size_t>(rel);
    S = FStack[keep];
    FStack.resize(keep);
    Recompute();
}

void TPlayback::SetMiterLimit(const TRecordReader& r) {
    // Written as a float by most programs, as an integer by some.
    const uint32_t u = Value(r);
    const float f = std::bit_cast<float>(u);
    State().MiterLimit =
        std::isfinite(f) && f >= 1 && f < 1000 ? f : (u >= 1 && u < 1000 ? static_cast<float>(u) : 10.0f);
}

// ---- objects --------------------------------------------------------------------------------------

void TPlayback::CreatePen(const TRecordReader& r) {
    const TEmrCreatePen p = TEmrCreatePen::Read(r);
    TLogPen pen;
    pen.Style = p.Style;
    pen.Width = p.Width;
    pen.Color = p.Color & 0xFFFFFF;
    *Object(p.Handle) = TPenObject{pen};
}

void TPlayback::ExtCreatePen(const TRecordReader& r) {
    const TEmrExtCreatePen p = TEmrExtCreatePen::Read(r);
    TLogPen pen;
    pen.Style = p.Style;
    pen.Width = static_cast<int32_t>(std::min<uint32_t>(p.Width, 1u << 20));
    pen.Color = p.Color & 0xFFFFFF;
    if (p.BrushStyle == BS_NULL) pen.Style = (pen.Style & ~PS_STYLE_MASK) | PS_NULL;
    if ((pen.Style & PS_STYLE_MASK) == PS_USERSTYLE) {
        // Up to 16 dash and gap lengths in logical units follow the pen; without usable ones a plain dash.
        const uint32_t entries = p.NumEntries;
        constexpr size_t at = TEmrExtCreatePen::EntriesAt;
        if (entries >= 1 && entries <= 16 && r.Has(at, static_cast<uint64_t>(entries) * 4)) {
            auto style = std::make_shared<std::vector<double>>();
            for (uint32_t i = 0; i < entries; ++i)
                style->push_back(std::clamp<double>(r.U32(at + 4 * i), 0.0, 1 << 20));
            pen.UserStyle = std::move(style);
        } else {
            pen.Style = (pen.Style & ~PS_STYLE_MASK) | PS_DASH;
        }
    }
    *Object(p.Handle) = TPenObject{pen};
}

void TPlayback::CreateBrushIndirect(const TRecordReader& r) {
    const TEmrCreateBrushIndirect b = TEmrCreateBrushIndirect::Read(r);
    TLogBrush brush;
    brush.Style = b.Style;
    brush.Color = b.Color & 0xFFFFFF;
    brush.Hatch = b.Hatch;
    if (brush.Style != BS_SOLID && brush.Style != BS_NULL && brush.Style != BS_HATCHED) brush.Style = BS_SOLID;
    *Object(b.Handle) = TBrushObject{brush};
}

std::shared_ptr<const QImage> TPlayback::PatternImage(const TRecordReader& r, const TEmrCreateDibPatternBrush& b) {
    TDib dib{b.Bitmap.Info(r), b.Bitmap.Bits(r), b.Usage};
    QImage image = DibToImage(dib);
    if (image.isNull()) return nullptr;
    return std::make_shared<const QImage>(std::move(image));
}

// The bits of a one-bit pattern as a one-bit image, row 0 on top; none for other bitmaps.
std::shared_ptr<const QImage> TPlayback::MonoPattern(const TRecordReader& r, const TEmrCreateDibPatternBrush& b,
                                                     bool anyTable) {
    using TInfo = TBitmapInfoHeader;
    const auto [offBmi, cbBmi, offBits, cbBits] = b.Bitmap;
    if (cbBmi < TInfo::MinBytes || !r.Has(offBmi, TInfo::MinBytes)) return nullptr;
    const auto info = r.Bytes(offBmi, TInfo::MinBytes);
    if (GetU32(info.data() + TInfo::SizeAt) < TInfo::MinBytes || GetU16(info.data() + TInfo::BitCountAt) != 1 ||
        GetU32(info.data() + TInfo::CompressionAt) != 0)
        return nullptr;
    bool inverted = false;
    if (!anyTable) {
        // A DIB pattern with a colour table of its own keeps it, unless the table is plain black and white
        // (a monochrome bitmap recorded as a DIB): then its black pixels take the text colour and its white
        // ones the background colour, whichever bit value the table gives them.
        const uint32_t headerSize = GetU32(info.data() + TInfo::SizeAt);
        if (b.Usage != DIB_RGB_COLORS || !r.Has(offBmi, static_cast<uint64_t>(headerSize) + 8) ||
            cbBmi < headerSize + 8)
            return nullptr;
        const uint32_t c0 = r.U32(offBmi + headerSize) & 0xFFFFFF, c1 = r.U32(offBmi + headerSize + 4) & 0xFFFFFF;
        if (!((c0 == 0 && c1 == 0xFFFFFF) || (c0 == 0xFFFFFF && c1 == 0))) return nullptr;
        inverted = c0 == 0xFFFFFF;
    }
    const int32_t w = GetI32(info.data() + TInfo::WidthAt), h = GetI32(info.data() + TInfo::HeightAt);
    const int64_t rows = h < 0 ? -static_cast<int64_t>(h) : h;
    if (w <= 0 || w > 4096 || rows == 0 || rows > 4096) return nullptr;
    const int64_t stride = (static_cast<int64_t>(w) + 31) / 32 * 4;
    if (cbBits < stride * rows || !r.Has(offBits, static_cast<uint64_t>(stride * rows))) return nullptr;
    const auto bits = r.Bytes(offBits, static_cast<uint64_t>(stride * rows));
    QImage image(w, static_cast<int>(rows), QImage::Format_Mono);
    if (image.isNull()) return nullptr;
    const int rowBytes = (w + 7) / 8;
    for (int64_t row = 0; row < rows; ++row) {
        const int64_t y = h < 0 ? row : rows - 1 - row;
        uint8_t* line = image.scanLine(static_cast<int>(y));
        std::copy_n(bits.data() + stride * row, rowBytes, line);
        if (inverted)
            for (int i = 0; i < rowBytes; ++i)
                line[i] = static_cast<uint8_t>(~line[i]);
    }
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    return std::make_shared<const QImage>(std::move(image));
}

void TPlayback::CreateDibPatternBrush(const TRecordReader& r) {
    TLogBrush brush;
    brush.Style = BS_DIBPATTERN;
    brush.Color = 0x808080;
    // CREATEMONOBRUSH bitmaps and black-and-white one-bit DIB patterns take the colours of the moment
    // they are drawn.
    const TEmrCreateDibPatternBrush b = TEmrCreateDibPatternBrush::Read(r);
    brush.Pattern = MonoPattern(r, b, r.Type() == EMR_CREATEMONOBRUSH);
    if (!brush.Pattern) brush.Pattern = PatternImage(r, b);
    if (!brush.Pattern) brush.Style = BS_SOLID;
    *Object(b.Handle) = TBrushObject{brush};
}

void TPlayback::CreateFont(const TRecordReader& r) {
    TEmrExtCreateFontIndirectW f = TEmrExtCreateFontIndirectW::Read(r);
    const TLogFontW& l = f.Font;
    TLogFont font;
    font.Height = l.Height;
    font.Width = l.Width;
    font.Escapement = l.Escapement;
    font.Orientation = l.Orientation;
    font.Weight = l.Weight;
    font.Italic = l.Italic;
    font.Underline = l.Underline;
    font.StrikeOut = l.StrikeOut;
    font.CharSet = l.CharSet;
    font.OutPrecision = l.OutPrecision;
    font.ClipPrecision = l.ClipPrecision;
    font.Quality = l.Quality;
    font.PitchAndFamily = l.PitchAndFamily;
    font.FaceName = std::move(f.Font.FaceName);
    *Object(f.Handle) = TFontObject{font};
}

void TPlayback::SelectObject(const TRecordReader& r) {
    const uint32_t index = Value(r);
    if (index & StockObjectFlag) {
        TDrawState& s = State();
        switch (index & ~StockObjectFlag) {
        case WHITE_BRUSH:
            s.Brush = SolidBrush(0xFFFFFF);
            break;
        case LTGRAY_BRUSH:
            s.Brush = SolidBrush(0xC0C0C0);
            break;
        case GRAY_BRUSH:
            s.Brush = SolidBrush(0x808080);
            break;
        case DKGRAY_BRUSH:
            s.Brush = SolidBrush(0x404040);
            break;
        case BLACK_BRUSH:
            s.Brush = SolidBrush(0);
            break;
        case NULL_BRUSH:
            s.Brush = NullBrush();
            break;
        case DC_BRUSH:
            s.Brush = SolidBrush(0xFFFFFF);
            break;
        case WHITE_PEN:
            s.Pen = TLogPen{PS_SOLID, 0, 0xFFFFFF, {}};
            break;
        case BLACK_PEN:
        case DC_PEN:
            s.Pen = TLogPen{PS_SOLID, 0, 0, {}};
            break;
        case NULL_PEN:
            s.Pen = TLogPen{PS_NULL, 0, 0, {}};
            break;
        case OEM_FIXED_FONT:
        case ANSI_FIXED_FONT:
        case SYSTEM_FIXED_FONT:
            s.Font = TLogFont{}, s.Font.FaceName = u"Courier New", s.Font.Height = -13;
            break;
        case ANSI_VAR_FONT:
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT:
        case DEFAULT_GUI_FONT:
            s.Font = TLogFont{}, s.Font.FaceName = u"MS Sans Serif", s.Font.Height = -11;
            break;
        default:
            break;
        }
        return;
    }
    TObject* o = Object(index);
    if (auto* pen = std::get_if<TPenObject>(o))
        State().Pen = pen->Pen;
    else if (auto* brush = std::get_if<TBrushObject>(o))
        State().Brush = brush->Brush;
    else if (auto* font = std::get_if<TFontObject>(o))
        State().Font = font->Font;
}

// ---- lines and shapes -----------------------------------------------------------------------------

void TPlayback::Shape(TShape&& shape) {
    if (FInPath) {
        // Inside a path bracket figures become part of the path, in reference-device pixels.
        TDrawState s = S.Draw;
        QPainterPath p = ShapeToPath(shape, s, false);
        FGuard.ChargePoints(static_cast<uint64_t>(p.elementCount()));
        if (shape.Kind == TShapeKind::skPolyline || shape.Kind == TShapeKind::skPolyBezier ||
            shape.Kind == TShapeKind::skArc) {
            // Connected to the current figure: drop the moveTo when the path already has a figure.
            const QPainterPath mapped = FLogicalToRef.map(p);
            for (int i = 0; i < mapped.elementCount(); ++i) {
                const auto e = mapped.elementAt(i);
                if (e.isMoveTo()) {
                    if (FPath.elementCount() == 0 || i > 0)
                        FPath.moveTo(e.x, e.y);
                    else
                        FPath.lineTo(e.x, e.y);
                } else if (e.isLineTo()) {
                    FPath.lineTo(e.x, e.y);
                } else if (e.isCurveTo() && i + 2 < mapped.elementCount()) {
                    const auto c2 = mapped.elementAt(i + 1), end = mapped.elementAt(i + 2);
                    FPath.cubicTo(QPointF(e.x, e.y), QPointF(c2.x, c2.y), QPointF(end.x, end.y));
                    i += 2;
                }
            }
        } else {
            FPath.addPath(FLogicalToRef.map(p));
        }
        return;
    }
    FDevice.DrawShape(shape, DrawingState());
}

void TPlayback::PathShape(const QPainterPath& refPath, bool fill, bool stroke) {
    if (refPath.isEmpty()) return;
    // The path was built in reference-device pixels; GDI strokes it with the pen transformed by the
    // mapping in force now, so hand it back to the device in today's logical units.
    bool invertible = false;
    const QTransform back = FLogicalToRef.inverted(&invertible);
    TDrawState s = DrawingState();
    TShape shape;
    shape.Kind = TShapeKind::skPath;
    shape.Path = invertible ? back.map(refPath) : refPath;
    if (!invertible) s.Transform = FOptions.DeviceTransform;
    shape.Fill = fill;
    shape.Stroke = stroke;
    if (!stroke) s.Pen.Style = PS_NULL;
    FDevice.DrawShape(shape, s);
}

std::vector<QPointF> TPlayback::Points(const TRecordReader& r, size_t at, uint32_t count, bool small) {
    const auto bytes = r.Bytes(at, count, small ? PointSBytes : PointLBytes);
    std::vector<QPointF> points;
    points.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        const TPointL p = small ? PointSAt(bytes.data() + i * PointSBytes) : PointLAt(bytes.data() + i * PointLBytes);
        points.emplace_back(p.X, p.Y);
    }
    return points;
}

void TPlayback::Poly(const TRecordReader& r, TShapeKind kind, bool small, bool fromCurrent) {
    const uint32_t count = TEmrPoly::Read(r).Count;
    std::vector<QPointF> points = Points(r, TEmrPoly::PointsAt, count, small);
    if (points.empty()) return;
    if (fromCurrent) points.insert(points.begin(), S.CurrentPos);
    if (kind == TShapeKind::skPolyBezier) points.resize(1 + (points.size() - 1) / 3 * 3);
    if (fromCurrent) S.CurrentPos = points.back();
    if (points.size() < 2) return;
    TShape shape;
    shape.Kind = kind;
    shape.Fill = kind == TShapeKind::skPolygon;
    shape.Points = std::move(points);
    Shape(std::move(shape));
}

void TPlayback::PolyPoly(const TRecordReader& r, TShapeKind kind, bool small) {
    const TEmrPolyPoly head = TEmrPolyPoly::Read(r);
    const uint32_t polys = head.Polys, count = head.Count;
    const auto counts = r.Bytes(TEmrPolyPoly::CountsAt, polys, 4);
    uint64_t total = 0;
    TShape shape;
    shape.Kind = kind;
    shape.Fill = kind == TShapeKind::skPolygon;
    for (uint32_t i = 0; i < polys; ++i) {
        const uint32_t n = GetU32(counts.data() + 4 * i);
        total += n;
        shape.Counts.push_back(n);
    }
    if (total != count) throw ERecordDamaged("poly-polygon counts do not add up");
    shape.Points = Points(r, head.PointsAt(), count, small);
    if (shape.Points.empty()) return;
    Shape(std::move(shape));
}

void TPlayback::PolyDraw(const TRecordReader& r) {
    PolyDrawPoints(r, false);
}

void TPlayback::PolyDraw16(const TRecordReader& r) {
    PolyDrawPoints(r, true);
}

// Points (32-bit or 16-bit pairs) followed by one type byte each: move, line or three Bézier points,
// with bit 0 closing the figure.
void TPlayback::PolyDrawPoints(const TRecordReader& r, bool small) {
    const uint32_t count = TEmrPoly::Read(r).Count;
    const std::vector<QPointF> points = Points(r, TEmrPoly::PointsAt, count, small);
    const auto types =
        r.Bytes(TEmrPoly::PointsAt + (small ? PointSBytes : PointLBytes) * static_cast<size_t>(count), count);
    QPainterPath path;
    path.moveTo(S.CurrentPos);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t t = types[i] & ~1u;
        if (t == 6)
            path.moveTo(points[i]);
        else if (t == 4 && i + 2 < count)
            path.cubicTo(points[i], points[i + 1], points[i + 2]), i += 2;
        else
            path.lineTo(points[i]);
        if (types[i] & 1) path.closeSubpath();
    }
    if (count) S.CurrentPos = points.back();
    TShape shape;
    shape.Kind = TShapeKind::skPath;
    shape.Path = path;
    shape.Fill = false;
    Shape(std::move(shape));
}

void TPlayback::MoveTo(const TRecordReader& r) {
    const TPointL p = TEmrPoint::Read(r).Point;
    S.CurrentPos = QPointF(p.X, p.Y);
    if (FInPath) FPath.moveTo(ToDevice(S.CurrentPos));
}

void TPlayback::LineTo(const TRecordReader& r) {
    const TPointL p = TEmrPoint::Read(r).Point;
    const QPointF to(p.X, p.Y);
    if (FInPath) {
        if (FPath.elementCount() == 0) FPath.moveTo(ToDevice(S.CurrentPos));
        FPath.lineTo(ToDevice(to));
    } else {
        TShape shape;
        shape.Kind = TShapeKind::skPolyline;
        shape.Fill = false;
        shape.Points = {S.CurrentPos, to};
        Shape(std::move(shape));
    }
    S.CurrentPos = to;
}

void TPlayback::BoxShape(const TRecordReader& r, TShapeKind kind) {
    TShape shape;
    shape.Kind = kind;
    if (kind == TShapeKind::skRoundRect) {
        const TEmrRoundRect rr = TEmrRoundRect::Read(r);
        shape.Box = Box(rr.Box);
        shape.Corner = QSize(rr.Corner.Cx, rr.Corner.Cy);
    } else if (kind == TShapeKind::skArc || kind == TShapeKind::skChord || kind == TShapeKind::skPie) {
        const TEmrArc arc = TEmrArc::Read(r);
        shape.Box = Box(arc.Box);
        shape.Start = QPoint(arc.Start.X, arc.Start.Y);
        shape.End = QPoint(arc.End.X, arc.End.Y);
        shape.Fill = kind != TShapeKind::skArc;
    } else {
        shape.Box = Box(TEmrBox::Read(r).Box);
    }
    Shape(std::move(shape));
}

void TPlayback::ArcTo(const TRecordReader& r) {
    // A line from the current position to the arc's start, then the arc; the position moves to its end.
    TShape shape;
    shape.Kind = TShapeKind::skArc;
    shape.Fill = false;
    const TEmrArc a = TEmrArc::Read(r);
    shape.Box = Box(a.Box);
    shape.Start = QPoint(a.Start.X, a.Start.Y);
    shape.End = QPoint(a.End.X, a.End.Y);
    QPainterPath arc = ShapeToPath(shape, S.Draw, true);
    QPainterPath path;
    path.moveTo(S.CurrentPos);
    path.connectPath(arc);
    S.CurrentPos = path.currentPosition();
    TShape p;
    p.Kind = TShapeKind::skPath;
    p.Fill = false;
    p.Path = path;
    Shape(std::move(p));
}

void TPlayback::AngleArc(const TRecordReader& r) {
    const TEmrAngleArc a = TEmrAngleArc::Read(r);
    const QPointF c(a.Center.X, a.Center.Y);
    const double radius = a.Radius;
    const double start = a.StartAngle, sweep = a.SweepAngle;
    if (!Finite(start) || !Finite(sweep) || radius > 1e7) return;
    QPainterPath path;
    path.moveTo(S.CurrentPos);
    const QRectF box(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    path.arcTo(box, start, sweep);
    S.CurrentPos = path.currentPosition();
    TShape p;
    p.Kind = TShapeKind::skPath;
    p.Fill = false;
    p.Path = path;
    Shape(std::move(p));
}

void TPlayback::SetPixel(const TRecordReader& r) {
    const TEmrSetPixelV px = TEmrSetPixelV::Read(r);
    TDrawState s = DrawingState();
    s.Pen.Style = PS_NULL;
    s.Brush = SolidBrush(px.Color & 0xFFFFFF);
    TShape shape;
    shape.Stroke = false;
    shape.Box =
        QRect(QPoint(Coord(px.Pixel.X), Coord(px.Pixel.Y)), QPoint(Coord(px.Pixel.X) + 1, Coord(px.Pixel.Y) + 1));
    FDevice.DrawShape(shape, s);
}

// ---- clipping -------------------------------------------------------------------------------------

QPainterPath TPlayback::RefRect(const QRectF& logical) const {
    QPainterPath p;
    p.addRect(logical.normalized());
    return FLogicalToRef.map(p);
}

void TPlayback::ClipCombine(const QPainterPath& area, uint32_t mode) {
    const QPainterPath* current = S.Draw.Clip.get();
    // Combining clips costs in proportion to both clips' points; past the page's budget both are
    // taken as their bounding rectangles.
    const QPainterPath* target = &area;
    QPainterPath currentBounds, targetBounds;
    if (!FGuard.ChargeClip(static_cast<uint64_t>(area.elementCount() + (current ? current->elementCount() : 0)))) {
        targetBounds.addRect(area.boundingRect());
        target = &targetBounds;
        if (current) currentBounds.addRect(current->boundingRect()), current = &currentBounds;
    }
    const QPainterPath& targetArea = *target;
    QPainterPath everything;
    everything.addRect(TPageGuard::Bound());
    QPainterPath next;
    const QRectF currentRect = current ? current->controlPointRect() : QRectF();
    const bool rects = current && current->elementCount() == 5 && targetArea.elementCount() == 5 &&
                       IsRectilinear(*current, QTransform()) && IsRectilinear(targetArea, QTransform());
    switch (mode) {
    case RGN_AND:
        if (rects) {
            // The common case (nested cells and bands), without the general path clipper.
            next.addRect(currentRect.intersected(targetArea.controlPointRect()));
            break;
        }
        next = current ? current->intersected(targetArea) : targetArea;
        break;
    case RGN_OR:
        if (!current) return;
        next = current->united(targetArea);
        break;
    case RGN_XOR:
        next = (current ? *current : everything)
                   .subtracted(targetArea)
                   .united(targetArea.subtracted(current ? *current : everything));
        break;
    case RGN_DIFF:
        next = (current ? *current : everything).subtracted(targetArea);
        break;
    case RGN_COPY:
        next = targetArea;
        if (FBaseClip) next = next.intersected(*FBaseClip);
        break;
    default:
        return;
    }
    S.Draw.Clip = std::make_shared<const QPainterPath>(TPageGuard::Bounded(next));
}

void TPlayback::ClipRect(const TRecordReader& r, uint32_t mode) {
    const QRect b = Box(TEmrBox::Read(r).Box);
    ClipCombine(
        FOptions.DeviceTransform.map(RefRect(QRectF(QPointF(b.left(), b.top()), QPointF(b.right(), b.bottom())))),
        mode);
}

void TPlayback::IntersectClipRect(const TRecordReader& r) {
    ClipRect(r, RGN_AND);
}

void TPlayback::ExcludeClipRect(const TRecordReader& r) {
    ClipRect(r, RGN_DIFF);
}

QPainterPath TPlayback::RegionPath(const TRecordReader& r, size_t at, uint32_t size) {
    // A region header, then its rectangles (exclusive at the right and bottom).
    if (size < TRgnDataHeader::Bytes) throw ERecordDamaged("region data too short");
    const TRgnDataHeader header = TRgnDataHeader::Read(r, at);
    const uint32_t headerSize = header.HeaderSize;
    const uint32_t count = header.Count;
    if (headerSize < TRgnDataHeader::Bytes || headerSize > size) throw ERecordDamaged("region header size");
    const auto rects = r.Bytes(at + headerSize, count, RectLBytes);
    FGuard.ChargePoints(static_cast<uint64_t>(count) * 4);
    if (static_cast<uint64_t>(count) * RectLBytes > size - headerSize)
        throw ERecordDamaged("region rectangles overflow");
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (uint32_t i = 0; i < count; ++i) {
        const auto [l, t, rr, b] = RectLAt(rects.data() + RectLBytes * i);
        if (rr > l && b > t) path.addRect(QRectF(l, t, static_cast<double>(rr) - l, static_cast<double>(b) - t));
    }
    return path;
}

void TPlayback::ExtSelectClipRgn(const TRecordReader& r) {
    const auto [size, mode] = TEmrExtSelectClipRgn::Read(r);
    if (size == 0) {
        if (mode == RGN_COPY) S.Draw.Clip = FBaseClip;
        return;
    }
    constexpr size_t at = TEmrExtSelectClipRgn::RgnDataAt;
    if (!r.Has(at, size)) throw ERecordDamaged("region data runs past the record");
    // Region coordinates are reference-device pixels.
    ClipCombine(FOptions.DeviceTransform.map(RegionPath(r, at, size)), mode);
}

void TPlayback::OffsetClipRgn(const TRecordReader& r) {
    if (!S.Draw.Clip) return;
    const TPointL offset = TEmrPoint::Read(r).Point;
    const QPointF d = FLogicalToTarget.map(QPointF(offset.X, offset.Y)) - FLogicalToTarget.map(QPointF(0, 0));
    S.Draw.Clip = std::make_shared<const QPainterPath>(TPageGuard::Bounded(S.Draw.Clip->translated(d)));
}

void TPlayback::SelectClipPath(const TRecordReader& r) {
    QPainterPath p = FPath;
    p.setFillRule(S.Draw.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    ClipCombine(FOptions.DeviceTransform.map(p), Value(r));
    FPath = QPainterPath();
}

// ---- regions --------------------------------------------------------------------------------------

void TPlayback::FillRgn(const TRecordReader& r) {
    const TEmrFillRgn f = TEmrFillRgn::Read(r);
    auto* brush = std::get_if<TBrushObject>(Object(f.Brush));
    if (!brush) return;
    TDrawState s = DrawingState();
    s.Brush = AtDrawTime(brush->Brush);
    s.Pen.Style = PS_NULL;
    TShape shape;
    shape.Kind = TShapeKind::skPath;
    shape.Stroke = false;
    shape.Path = RegionPath(r, TEmrFillRgn::RgnDataAt, f.RgnDataSize);
    FDevice.DrawShape(shape, s);
}

void TPlayback::FrameRgn(const TRecordReader& r) {
    const TEmrFrameRgn f = TEmrFrameRgn::Read(r);
    auto* brush = std::get_if<TBrushObject>(Object(f.Brush));
    if (!brush) return;
    const QPainterPath region = RegionPath(r, TEmrFrameRgn::RgnDataAt, f.RgnDataSize);
    TDrawState s = DrawingState();
    s.Pen = TLogPen{PS_SOLID, std::max(1, f.Stroke.Cx), brush->Brush.Color, {}};
    s.Brush.Style = BS_NULL;
    TShape shape;
    shape.Kind = TShapeKind::skPath;
    shape.Fill = false;
    shape.Path = region.simplified();
    FDevice.DrawShape(shape, s);
}

void TPlayback::PaintRgn(const TRecordReader& r) {
    const uint32_t size = TEmrPaintRgn::Read(r).RgnDataSize;
    TDrawState s = DrawingState();
    s.Pen.Style = PS_NULL;
    TShape shape;
    shape.Kind = TShapeKind::skPath;
    shape.Stroke = false;
    shape.Path = RegionPath(r, TEmrPaintRgn::RgnDataAt, size);
    FDevice.DrawShape(shape, s);
}

void TPlayback::InvertRgn(const TRecordReader& r) {
    const QPainterPath region = RegionPath(r, TEmrPaintRgn::RgnDataAt, TEmrPaintRgn::Read(r).RgnDataSize);
    const QRectF b = region.boundingRect();
    TDibDraw draw;
    draw.Rop = DSTINVERT;
    draw.Destination = QRect(Position(b.topLeft()), Position(b.bottomRight()) - QPoint(1, 1));
    FDevice.DrawDib(draw, DrawingState());
}

// ---- text -----------------------------------------------------------------------------------------

void TPlayback::Text(const TRecordReader& r, bool wide) {
    // The bounds, graphics mode and scales before the text block are not used.
    const TEmrText t = TEmrText::Read(r, TEmrExtTextOut::TextAt);
    TTextRun run;
    run.Reference = QPoint(t.Reference.X, t.Reference.Y);
    const uint32_t chars = t.Chars, offString = t.OffString;
    run.Options = t.Options;
    if (!(run.Options & ETO_NO_RECT)) run.Rect = Box(t.Rect);
    const uint32_t offDx = t.OffDx;
    if (chars == 0) {
        if ((run.Options & ETO_OPAQUE) && !run.Rect.isNull()) FDevice.DrawText(run, DrawingState());
        return;
    }
    const auto bytes = r.Bytes(offString, chars, wide ? 2 : 1);
    if (wide) {
        run.Text.resize(chars);
        for (uint32_t i = 0; i < chars; ++i)
            run.Text[i] = GetU16(bytes.data() + 2 * i);
    } else {
        run.Text = DecodeAnsiText(bytes, S.Draw.Font.CharSet);
    }
    const size_t perChar = (run.Options & ETO_PDY) ? 2 : 1;
    if (offDx != 0 && r.Has(offDx, static_cast<uint64_t>(chars) * 4 * perChar)) {
        const auto dx = r.Bytes(offDx, static_cast<uint64_t>(chars) * perChar, 4);
        run.Dx.resize(static_cast<size_t>(chars) * perChar);
        for (size_t i = 0; i < run.Dx.size(); ++i)
            run.Dx[i] = GetI32(dx.data() + 4 * i);
        // ANSI text of a double-byte code page has fewer characters than bytes: keep the byte advances
        // of the characters' lead bytes.
        if (!wide && run.Text.size() != chars) run.Dx.clear();
    } else {
        run.Options &= ~ETO_PDY;
    }
    if (S.Draw.TextAlign & TA_UPDATECP) {
        run.Reference = Position(S.CurrentPos);
        int64_t total = 0, rise = 0;
        for (size_t i = 0; i < run.Dx.size(); i += perChar) {
            total += run.Dx[i];
            if (perChar == 2 && i + 1 < run.Dx.size()) rise += run.Dx[i + 1];
        }
        S.CurrentPos += QPointF(static_cast<double>(total), -static_cast<double>(rise));
    }
    // Devices get the absolute reference point; the current position is the player's business.
    TDrawState state = DrawingState();
    state.TextAlign &= ~TA_UPDATECP;
    DrawRun(run, state);
}

void TPlayback::DrawRun(const TTextRun& run, const TDrawState& state) {
    if (run.Options & ETO_GLYPH_INDEX) {
        // Indices the installed face cannot show are counted, so that callers can say which font the
        // page needs.
        const uint32_t dropped = TFontMatcher::Shared().Match(state.Font)->UndrawableIndices(run.Text);
        if (dropped && FResult.DroppedGlyphs == 0)
            FResult.DroppedGlyphFace = QString::fromStdU16String(state.Font.FaceName).toStdString();
        FResult.DroppedGlyphs += dropped;
    }
    FDevice.DrawText(run, state);
}

void TPlayback::SmallTextOut(const TRecordReader& r) {
    const TEmrSmallTextOut t = TEmrSmallTextOut::Read(r);
    TTextRun run;
    run.Reference = QPoint(t.Reference.X, t.Reference.Y);
    const uint32_t chars = t.Chars;
    run.Options = t.Options;
    if (!(run.Options & ETO_NO_RECT)) run.Rect = Box(ReadRectL(r, TEmrSmallTextOut::RectAt));
    const bool small = run.Options & TEmrSmallTextOut::SmallChars; // one byte per character
    const auto bytes = r.Bytes(t.StringAt(), chars, small ? 1 : 2);
    if (small)
        run.Text = DecodeAnsiText(bytes, S.Draw.Font.CharSet);
    else
        for (uint32_t i = 0; i < chars; ++i)
            run.Text.push_back(GetU16(bytes.data() + 2 * i));
    run.Options &= ETO_OPAQUE | ETO_CLIPPED | ETO_GLYPH_INDEX | ETO_RTLREADING;
    DrawRun(run, DrawingState());
}

// ---- bitmaps --------------------------------------------------------------------------------------

void TPlayback::Dib(const TRecordReader& r, QRect dest, QRect src, uint32_t rop, const TBitmapRef& bitmap,
                    uint32_t usage, bool sourceTopDown, uint8_t alpha, bool sourceAlpha) {
    using TInfo = TBitmapInfoHeader;
    TDibDraw draw;
    draw.Destination = dest;
    draw.Rop = rop;
    draw.ConstantAlpha = alpha;
    draw.SourceAlpha = sourceAlpha;
    if (bitmap.CbBmi != 0) {
        draw.Dib = TDib{bitmap.Info(r), bitmap.Bits(r), usage};
        if (sourceTopDown && draw.Dib.Info.size() >= TInfo::MinBytes &&
            GetU32(draw.Dib.Info.data() + TInfo::SizeAt) >= TInfo::MinBytes) {
            // BitBlt-style sources count y from the top; StretchDIBits (what devices take) from the bottom
            // of a bottom-up bitmap.
            const int32_t h = GetI32(draw.Dib.Info.data() + TInfo::HeightAt);
            if (h > 0)
                src.moveTop(Coord(static_cast<int32_t>(
                    std::clamp<int64_t>(static_cast<int64_t>(h) - src.y() - src.height(), INT32_MIN, INT32_MAX))));
        }
    }
    draw.Source = src;
    FDevice.DrawDib(draw, DrawingState());
}

void TPlayback::BitBlt(const TRecordReader& r) {
    const TEmrBitBlt b = TEmrBitBlt::Read(r);
    const QRect dest = XYWH(b.XDest, b.YDest, b.CxDest, b.CyDest);
    const QRect src = XYWH(b.XSrc, b.YSrc, dest.width(), dest.height());
    Dib(r, dest, src, b.Rop, b.Bitmap, b.UsageSrc, true);
}

void TPlayback::StretchBlt(const TRecordReader& r) {
    const TEmrStretchBlt b = TEmrStretchBlt::Read(r);
    const QRect dest = XYWH(b.XDest, b.YDest, b.CxDest, b.CyDest);
    const QRect src = XYWH(b.XSrc, b.YSrc, b.CxSrc, b.CySrc);
    Dib(r, dest, src, b.Rop, b.Bitmap, b.UsageSrc, true);
}

void TPlayback::StretchDIBits(const TRecordReader& r) {
    const TEmrStretchDIBits b = TEmrStretchDIBits::Read(r);
    const QRect dest = XYWH(b.XDest, b.YDest, b.CxDest, b.CyDest);
    const QRect src = XYWH(b.XSrc, b.YSrc, b.CxSrc, b.CySrc);
    Dib(r, dest, src, b.Rop, b.Bitmap, b.UsageSrc, false);
}

void TPlayback::SetDIBitsToDevice(const TRecordReader& r) {
    using TInfo = TBitmapInfoHeader;
    const TEmrSetDIBitsToDevice b = TEmrSetDIBitsToDevice::Read(r);
    const QRect src = XYWH(b.XSrc, b.YSrc, b.CxSrc, b.CySrc);
    const QRect dest = XYWH(b.XDest, b.YDest, src.width(), src.height());
    const uint32_t startScan = b.StartScan, scans = b.Scans;
    const auto info = b.Bitmap.Info(r);
    if (info.size() < TInfo::MinBytes || GetU32(info.data() + TInfo::SizeAt) < TInfo::MinBytes) {
        Dib(r, dest, src, SRCCOPY, b.Bitmap, b.UsageSrc, false);
        return;
    }
    // The bits hold only scans [startScan, startScan + scans): describe them as a bitmap of that height.
    std::vector<uint8_t> patched(info.begin(), info.end());
    const int32_t h = GetI32(info.data() + TInfo::HeightAt);
    if (scans == 0 || scans > 0x7FFFFFF) return;
    PutI32(patched.data() + TInfo::HeightAt, h < 0 ? -static_cast<int32_t>(scans) : static_cast<int32_t>(scans));
    TDibDraw draw;
    draw.Destination = dest;
    draw.Dib = TDib{patched, b.Bitmap.Bits(r), b.UsageSrc};
    draw.Source = QRect(src.x(),
                        Coord(static_cast<int32_t>(
                            std::clamp<int64_t>(static_cast<int64_t>(src.y()) - startScan, INT32_MIN, INT32_MAX))),
                        src.width(), src.height());
    FDevice.DrawDib(draw, DrawingState());
}

void TPlayback::AlphaBlend(const TRecordReader& r) {
    const TEmrAlphaBlend b = TEmrAlphaBlend::Read(r);
    const QRect dest = XYWH(b.XDest, b.YDest, b.CxDest, b.CyDest);
    const QRect src = XYWH(b.XSrc, b.YSrc, b.CxSrc, b.CySrc);
    Dib(r, dest, src, SRCCOPY, b.Bitmap, b.UsageSrc, true, b.SourceConstantAlpha, b.AlphaFormat & 1);
}

// ---- dispatch -------------------------------------------------------------------------------------

const std::array<TPlayback::TEntry, EmrMaxType + 1>& TPlayback::Table() {
    static const std::array<TEntry, EmrMaxType + 1> table = [] {
        std::array<TEntry, EmrMaxType + 1> t{};
        auto set = [&](uint32_t type, uint32_t minSize, THandler h) { t[type] = TEntry{minSize, h}; };
        set(EMR_HEADER, EmfMinHeaderSize, &TPlayback::Header);
        set(EMR_EOF, TEmrEof::Size, &TPlayback::Eof);
        set(EMR_POLYBEZIER, TEmrPoly::Size, &TPlayback::PolyBezier);
        set(EMR_POLYGON, TEmrPoly::Size, &TPlayback::Polygon);
        set(EMR_POLYLINE, TEmrPoly::Size, &TPlayback::Polyline);
        set(EMR_POLYBEZIERTO, TEmrPoly::Size, &TPlayback::PolyBezierTo);
        set(EMR_POLYLINETO, TEmrPoly::Size, &TPlayback::PolylineTo);
        set(EMR_POLYPOLYLINE, TEmrPolyPoly::Size, &TPlayback::PolyPolyline);
        set(EMR_POLYPOLYGON, TEmrPolyPoly::Size, &TPlayback::PolyPolygon);
        set(EMR_POLYBEZIER16, TEmrPoly::Size, &TPlayback::PolyBezier16);
        set(EMR_POLYGON16, TEmrPoly::Size, &TPlayback::Polygon16);
        set(EMR_POLYLINE16, TEmrPoly::Size, &TPlayback::Polyline16);
        set(EMR_POLYBEZIERTO16, TEmrPoly::Size, &TPlayback::PolyBezierTo16);
        set(EMR_POLYLINETO16, TEmrPoly::Size, &TPlayback::PolylineTo16);
        set(EMR_POLYPOLYLINE16, TEmrPolyPoly::Size, &TPlayback::PolyPolyline16);
        set(EMR_POLYPOLYGON16, TEmrPolyPoly::Size, &TPlayback::PolyPolygon16);
        set(EMR_POLYDRAW, TEmrPoly::Size, &TPlayback::PolyDraw);
        set(EMR_POLYDRAW16, TEmrPoly::Size, &TPlayback::PolyDraw16);
        set(EMR_SETWINDOWEXTEX, TEmrPoint::Size, &TPlayback::SetWindowExt);
        set(EMR_SETWINDOWORGEX, TEmrPoint::Size, &TPlayback::SetWindowOrg);
        set(EMR_SETVIEWPORTEXTEX, TEmrPoint::Size, &TPlayback::SetViewportExt);
        set(EMR_SETVIEWPORTORGEX, TEmrPoint::Size, &TPlayback::SetViewportOrg);
        set(EMR_SCALEVIEWPORTEXTEX, TEmrScaleExt::Size, &TPlayback::ScaleViewportExt);
        set(EMR_SCALEWINDOWEXTEX, TEmrScaleExt::Size, &TPlayback::ScaleWindowExt);
        set(EMR_SETMAPMODE, TEmrValue::Size, &TPlayback::SetMapMode);
        set(EMR_SETBKMODE, TEmrValue::Size, &TPlayback::SetBkMode);
        set(EMR_SETPOLYFILLMODE, TEmrValue::Size, &TPlayback::SetPolyFillMode);
        set(EMR_SETROP2, TEmrValue::Size, &TPlayback::SetRop2);
        set(EMR_SETSTRETCHBLTMODE, TEmrValue::Size, &TPlayback::SetStretchBltMode);
        set(EMR_SETTEXTALIGN, TEmrValue::Size, &TPlayback::SetTextAlign);
        set(EMR_SETTEXTCOLOR, TEmrValue::Size, &TPlayback::SetTextColor);
        set(EMR_SETBKCOLOR, TEmrValue::Size, &TPlayback::SetBkColor);
        set(EMR_SETARCDIRECTION, TEmrValue::Size, &TPlayback::SetArcDirection);
        set(EMR_SETMITERLIMIT, TEmrValue::Size, &TPlayback::SetMiterLimit);
        set(EMR_MOVETOEX, TEmrPoint::Size, &TPlayback::MoveTo);
        set(EMR_LINETO, TEmrPoint::Size, &TPlayback::LineTo);
        set(EMR_SAVEDC, TEmrEmpty::Size, &TPlayback::SaveDC);
        set(EMR_RESTOREDC, TEmrValue::Size, &TPlayback::RestoreDC);
        set(EMR_SETWORLDTRANSFORM, TEmrSetWorldTransform::Size, &TPlayback::SetWorldTransform);
        set(EMR_MODIFYWORLDTRANSFORM, TEmrModifyWorldTransform::Size, &TPlayback::ModifyWorldTransform);
        set(EMR_SELECTOBJECT, TEmrValue::Size, &TPlayback::SelectObject);
        set(EMR_CREATEPEN, TEmrCreatePen::Size, &TPlayback::CreatePen);
        set(EMR_EXTCREATEPEN, TEmrExtCreatePen::Size, &TPlayback::ExtCreatePen);
        set(EMR_CREATEBRUSHINDIRECT, TEmrCreateBrushIndirect::Size, &TPlayback::CreateBrushIndirect);
        set(EMR_CREATEDIBPATTERNBRUSHPT, TEmrCreateDibPatternBrush::Size, &TPlayback::CreateDibPatternBrush);
        set(EMR_CREATEMONOBRUSH, TEmrCreateDibPatternBrush::Size, &TPlayback::CreateDibPatternBrush);
        set(EMR_EXTCREATEFONTINDIRECTW, TEmrExtCreateFontIndirectW::Size, &TPlayback::CreateFont);
        set(EMR_CREATEPALETTE, TEmrValue::Size, &TPlayback::CreateOther);
        set(EMR_CREATECOLORSPACE, TEmrValue::Size, &TPlayback::CreateOther);
        set(EMR_CREATECOLORSPACEW, TEmrValue::Size, &TPlayback::CreateOther);
        set(EMR_DELETEOBJECT, TEmrValue::Size, &TPlayback::DeleteObject);
        set(EMR_RECTANGLE, TEmrBox::Size, &TPlayback::Rectangle);
        set(EMR_ELLIPSE, TEmrBox::Size, &TPlayback::Ellipse);
        set(EMR_ROUNDRECT, TEmrRoundRect::Size, &TPlayback::RoundRect);
        set(EMR_ARC, TEmrArc::Size, &TPlayback::Arc);
        set(EMR_CHORD, TEmrArc::Size, &TPlayback::Chord);
        set(EMR_PIE, TEmrArc::Size, &TPlayback::Pie);
        set(EMR_ARCTO, TEmrArc::Size, &TPlayback::ArcTo);
        set(EMR_ANGLEARC, TEmrAngleArc::Size, &TPlayback::AngleArc);
        set(EMR_SETPIXELV, TEmrSetPixelV::Size, &TPlayback::SetPixel);
        set(EMR_BEGINPATH, TEmrEmpty::Size, &TPlayback::BeginPath);
        set(EMR_ENDPATH, TEmrEmpty::Size, &TPlayback::EndPath);
        set(EMR_CLOSEFIGURE, TEmrEmpty::Size, &TPlayback::CloseFigure);
        set(EMR_FILLPATH, TEmrEmpty::Size, &TPlayback::FillPath);
        set(EMR_STROKEANDFILLPATH, TEmrEmpty::Size, &TPlayback::StrokeAndFillPath);
        set(EMR_STROKEPATH, TEmrEmpty::Size, &TPlayback::StrokePath);
        set(EMR_FLATTENPATH, TEmrEmpty::Size, &TPlayback::FlattenPath);
        set(EMR_WIDENPATH, TEmrEmpty::Size, &TPlayback::FlattenPath);
        set(EMR_ABORTPATH, TEmrEmpty::Size, &TPlayback::AbortPath);
        set(EMR_SELECTCLIPPATH, TEmrValue::Size, &TPlayback::SelectClipPath);
        set(EMR_INTERSECTCLIPRECT, TEmrBox::Size, &TPlayback::IntersectClipRect);
        set(EMR_EXCLUDECLIPRECT, TEmrBox::Size, &TPlayback::ExcludeClipRect);
        set(EMR_EXTSELECTCLIPRGN, TEmrExtSelectClipRgn::Size, &TPlayback::ExtSelectClipRgn);
        set(EMR_OFFSETCLIPRGN, TEmrPoint::Size, &TPlayback::OffsetClipRgn);
        set(EMR_FILLRGN, TEmrFillRgn::Size, &TPlayback::FillRgn);
        set(EMR_FRAMERGN, TEmrFrameRgn::Size, &TPlayback::FrameRgn);
        set(EMR_PAINTRGN, TEmrPaintRgn::Size, &TPlayback::PaintRgn);
        set(EMR_INVERTRGN, TEmrPaintRgn::Size, &TPlayback::InvertRgn);
        set(EMR_EXTTEXTOUTW, TEmrExtTextOut::Size, &TPlayback::ExtTextOutW);
        set(EMR_EXTTEXTOUTA, TEmrExtTextOut::Size, &TPlayback::ExtTextOutA);
        set(EMR_SMALLTEXTOUT, TEmrSmallTextOut::Size, &TPlayback::SmallTextOut);
        set(EMR_BITBLT, TEmrBitBlt::Size, &TPlayback::BitBlt);
        set(EMR_STRETCHBLT, TEmrStretchBlt::Size, &TPlayback::StretchBlt);
        set(EMR_STRETCHDIBITS, TEmrStretchDIBits::Size, &TPlayback::StretchDIBits);
        set(EMR_SETDIBITSTODEVICE, TEmrSetDIBitsToDevice::Size, &TPlayback::SetDIBitsToDevice);
        set(EMR_ALPHABLEND, TEmrAlphaBlend::Size, &TPlayback::AlphaBlend);
        // Records that change nothing we draw.
        for (uint32_t type :
             {EMR_SETBRUSHORGEX,  EMR_SETMAPPERFLAGS,    EMR_SETCOLORADJUSTMENT,   EMR_SETMETARGN,
              EMR_SELECTPALETTE,  EMR_SETPALETTEENTRIES, EMR_RESIZEPALETTE,        EMR_REALIZEPALETTE,
              EMR_COMMENT,        EMR_SETICMMODE,        EMR_SETCOLORSPACE,        EMR_DELETECOLORSPACE,
              EMR_SETLAYOUT,      EMR_SETLINKEDUFIS,     EMR_SETTEXTJUSTIFICATION, EMR_FORCEUFIMAPPING,
              EMR_SETICMPROFILEA, EMR_SETICMPROFILEW,    EMR_COLORCORRECTPALETTE,  EMR_COLORMATCHTOTARGETW,
              EMR_PIXELFORMAT,    EMR_GLSRECORD,         EMR_GLSBOUNDEDRECORD,     EMR_DRAWESCAPE,
              EMR_EXTESCAPE,      EMR_NAMEDESCAPE})
            set(type, TEmrEmpty::Size, &TPlayback::Ignore);
        return t;
    }();
    return table;
}

TPlayResult TPlayback::Run(std::span<const uint8_t> bytes) {
    TRecordWalker walker(bytes);
    TRecordReader record(bytes.first(0));
    const auto& table = Table();
    bool first = true;
    while (walker.Next(record)) {
        ++FResult.Records;
        if (FOptions.MaxRecords && FResult.Records > FOptions.MaxRecords) {
            FResult.Complete = false;
            break;
        }
        if (FOptions.Cancel && FOptions.Cancel->load(std::memory_order_relaxed)) {
            FResult.Complete = false;
            FResult.Cancelled = true;
            break;
        }
        const uint32_t type = record.Type();
        if (first) {
            first = false;
            if (type != EMR_HEADER) {
                FResult.Complete = false;
                ++FResult.Damaged;
                break;
            }
            continue;
        }
        if (type == EMR_EOF) break;
        const TEntry* entry = type <= EmrMaxType ? &table[type] : nullptr;
        try {
            if (FPlus && FPlus->Intercept(record)) continue;
            if (!entry || !entry->Handler || type == EMR_HEADER) {
                ++FResult.Skipped;
                continue;
            }
            if (record.Size() < entry->MinSize) {
                ++FResult.Damaged;
                continue;
            }
            (this->*entry->Handler)(record);
        } catch (const ERecordDamaged&) {
            ++FResult.Damaged;
        } catch (const EPageOverBudget& e) {
            FResult.Complete = false;
            FResult.OverBudget = true;
            FResult.Problem = e.what();
            break;
        }
    }
    if (walker.Broken()) FResult.Complete = false;
    if (FResult.Work.Simplified && !FResult.OverBudget) {
        FResult.OverBudget = true;
        FResult.Problem = FResult.Work.Reason;
    }
    return FResult;
}

} // namespace

QTransform TEmfPlayer::FrameTransform(const TEmfHeader& header, const QRectF& destination) {
    double pxPerMmX = 96 / 25.4, pxPerMmY = 96 / 25.4;
    if (header.DevicePixelsX > 0 && header.DeviceMillimetersX > 0 && header.DevicePixelsY > 0 &&
        header.DeviceMillimetersY > 0) {
        pxPerMmX = static_cast<double>(header.DevicePixelsX) / header.DeviceMillimetersX;
        pxPerMmY = static_cast<double>(header.DevicePixelsY) / header.DeviceMillimetersY;
    }
    // The frame (0.01 mm) in reference-device pixels; the bounds when the frame is unusable.
    QRectF frame(header.FrameLeft / 100.0 * pxPerMmX, header.FrameTop / 100.0 * pxPerMmY,
                 (static_cast<double>(header.FrameRight) - header.FrameLeft) / 100.0 * pxPerMmX,
                 (static_cast<double>(header.FrameBottom) - header.FrameTop) / 100.0 * pxPerMmY);
    if (!(frame.width() > 0.5 && frame.height() > 0.5) || !Finite(frame.width()) || !Finite(frame.height())) {
        frame =
            QRectF(header.BoundsLeft, header.BoundsTop, static_cast<double>(header.BoundsRight) - header.BoundsLeft + 1,
                   static_cast<double>(header.BoundsBottom) - header.BoundsTop + 1);
    }
    if (!(frame.width() > 0 && frame.height() > 0) || !Finite(frame.width()) || !Finite(frame.height()))
        return QTransform::fromTranslate(destination.x(), destination.y());
    // 0.01 mm cannot hold a whole number of pixels exactly; a frame within that rounding of whole
    // pixels is taken as whole pixels, so a page recorded at W x H plays at W x H without a stray scale.
    auto snap = [](double v) {
        const double r = std::round(v);
        return std::abs(v - r) <= 0.02 ? r : v;
    };
    frame = QRectF(snap(frame.x()), snap(frame.y()), snap(frame.width()), snap(frame.height()));
    QTransform t;
    t.translate(destination.x(), destination.y());
    t.scale(destination.width() / frame.width(), destination.height() / frame.height());
    t.translate(-frame.x(), -frame.y());
    return t;
}

TPlayResult TEmfPlayer::Play(std::span<const uint8_t> bytes, TDevice& device, const TPlayOptions& options) {
    TEmfHeader header;
    if (!ReadEmfHeader(bytes, header)) {
        TPlayResult result;
        result.Complete = false;
        result.Damaged = 1;
        return result;
    }
    TPlayback playback(device, options, header);
    TEmfPlusPlayer plus(playback.Guard(), options, header);
    if (plus.Prepare(bytes)) playback.SetPlus(&plus);
    TPlayResult result = playback.Run(bytes);
    result.PlusRecords = plus.Records();
    result.PlusUnknown = plus.Unknown();
    result.Damaged += plus.Damaged();
    result.Skipped += plus.Skipped();
    return result;
}

TPlayResult TEmfPlayer::Play(const TEmfPicture& picture, TDevice& device, const QRectF& destination,
                             std::shared_ptr<const QPainterPath> clip) {
    TPlayOptions options;
    options.DeviceTransform = FrameTransform(picture.Header(), destination);
    options.Clip = std::move(clip);
    return Play(picture.Bytes(), device, options);
}

} // namespace pagimo::gdi
