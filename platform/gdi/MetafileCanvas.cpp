#include "platform/gdi/MetafileCanvas.h"

#include "platform/emf/EmfRecords.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/gdi/DibImage.h"
#include "platform/gdi/FontMatcher.h"
#include "platform/gdi/PainterDevice.h"

#include <QPainter>
#include <QPolygon>
#include <QRegion>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace pagimo::gdi {

using namespace emf;

namespace {

constexpr uint32_t NoHandle = 0xFFFFFFFF;

bool FitsI16(double v) {
    return v >= -32768 && v <= 32767;
}

int32_t R(double v) {
    if (!(v == v)) return 0;
    return static_cast<int32_t>(std::clamp(std::lround(v), -2147483647L, 2147483647L));
}

double SignedArea(const QPolygonF& poly) {
    double a = 0;
    for (qsizetype i = 0, n = poly.size(); i < n; ++i) {
        const QPointF& p = poly[i];
        const QPointF& q = poly[(i + 1) % n];
        a += p.x() * q.y() - q.x() * p.y();
    }
    return a / 2;
}

// A clip path as the rectangles of a GDI region (device pixels). Under the winding rule a figure turning
// against the largest one is a hole; under the alternate rule overlapping figures cancel.
QRegion RegionOf(const QPainterPath& path) {
    const QList<QPolygonF> polys = path.toSubpathPolygons();
    double largest = 0;
    for (const QPolygonF& poly : polys)
        if (std::abs(SignedArea(poly)) > std::abs(largest)) largest = SignedArea(poly);
    QRegion region;
    for (const QPolygonF& poly : polys) {
        const QRectF b = poly.boundingRect();
        const bool rect =
            poly.size() == 5 && std::all_of(poly.begin(), poly.end(), [&](const QPointF& p) {
                return (p.x() == b.left() || p.x() == b.right()) && (p.y() == b.top() || p.y() == b.bottom());
            });
        const QRegion part =
            rect ? QRegion(QRect(QPoint(R(b.left()), R(b.top())), QPoint(R(b.right()) - 1, R(b.bottom()) - 1)))
                 : QRegion(poly.toPolygon(), Qt::OddEvenFill);
        if (path.fillRule() == Qt::OddEvenFill)
            region = region.xored(part);
        else if (SignedArea(poly) * largest < 0)
            region = region.subtracted(part);
        else
            region = region.united(part);
    }
    return region;
}

} // namespace

struct TEmfRecorder::TImpl {
    TImpl(int32_t w, int32_t h) : Writer(w, h), Width(w), Height(h) {}

    TEmfWriter Writer;
    int32_t Width, Height;
    bool Finished = false;

    // What the picture's device context holds now.
    QTransform Transform;
    TLogPen Pen;
    uint32_t PenHandle = NoHandle; // NoHandle: the default black pen, StockObjectFlag|n: a stock object
    TLogBrush Brush;
    uint32_t BrushHandle = NoHandle;
    TLogFont Font;
    uint32_t FontHandle = NoHandle;
    TColorRef TextColor = clBlack, BkColor = clWhite;
    int BkMode = OPAQUE;
    uint32_t TextAlign = TA_LEFT | TA_TOP;
    int PolyFillMode = ALTERNATE, ArcDirection = AD_COUNTERCLOCKWISE, Rop2 = R2_COPYPEN, StretchBltMode = BLACKONWHITE;
    float MiterLimit = 10.0f;
    const QPainterPath* Clip = nullptr;
    std::shared_ptr<const QPainterPath> ClipKeep; // keeps the compared pointer alive

    void Select(uint32_t handle) { TEmrValue{handle}.Write(Writer, EMR_SELECTOBJECT); }
    void Delete(uint32_t& handle) {
        if (handle != NoHandle && !(handle & StockObjectFlag)) {
            TEmrValue{handle}.Write(Writer, EMR_DELETEOBJECT);
            Writer.FreeHandle(handle);
        }
        handle = NoHandle;
    }

    void SyncPen(const TLogPen& pen) {
        if (PenHandle != NoHandle && pen == Pen) return;
        if (PenHandle == NoHandle && pen == TLogPen{}) {
            Pen = pen;
            PenHandle = StockObjectFlag | BLACK_PEN;
            return;
        }
        uint32_t handle;
        if ((pen.Style & PS_STYLE_MASK) == PS_NULL) {
            handle = StockObjectFlag | NULL_PEN;
            Select(handle);
        } else if ((pen.Style & PS_STYLE_MASK) == PS_USERSTYLE && pen.UserStyle && !pen.UserStyle->empty() &&
                   pen.UserStyle->size() <= 16) {
            // Only the extended pen carries dash and gap lengths of its own.
            handle = Writer.NewHandle();
            TEmrExtCreatePen ext;
            ext.Handle = handle; // no brush bitmap, no hatch
            ext.Style = pen.Style;
            ext.Width = static_cast<uint32_t>(std::max(pen.Width, 0));
            ext.BrushStyle = BS_SOLID;
            ext.Color = pen.Color;
            ext.NumEntries = static_cast<uint32_t>(pen.UserStyle->size());
            std::vector<uint32_t> entries;
            for (double v : *pen.UserStyle)
                entries.push_back(static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, double(1 << 20)))));
            ext.Write(Writer, entries);
            Select(handle);
        } else {
            handle = Writer.NewHandle();
            TEmrCreatePen{handle, pen.Style, pen.Width, pen.Color}.Write(Writer);
            Select(handle);
        }
        Delete(PenHandle);
        PenHandle = handle;
        Pen = pen;
    }

    void SyncBrush(const TLogBrush& brush) {
        if (BrushHandle != NoHandle && brush == Brush) return;
        uint32_t handle;
        if (brush.Style == BS_NULL) {
            handle = StockObjectFlag | NULL_BRUSH;
            Select(handle);
        } else if ((brush.Style == BS_PATTERN || brush.Style == BS_DIBPATTERN || brush.Style == BS_DIBPATTERNPT) &&
                   brush.Pattern && !brush.Pattern->isNull()) {
            handle = Writer.NewHandle();
            const TDibBytes dib = ImageToDib(*brush.Pattern);
            // Info and bits follow the fixed fields, unpadded.
            constexpr uint32_t at = TEmrCreateDibPatternBrush::Size;
            const auto info = static_cast<uint32_t>(dib.Info.size()), bits = static_cast<uint32_t>(dib.Bits.size());
            TEmrCreateDibPatternBrush{handle, DIB_RGB_COLORS, {at, info, at + info, bits}}.Write(
                Writer, EMR_CREATEDIBPATTERNBRUSHPT, dib.Info, dib.Bits);
            Select(handle);
        } else {
            handle = Writer.NewHandle();
            const uint32_t style = brush.Style == BS_HATCHED ? BS_HATCHED : BS_SOLID;
            TEmrCreateBrushIndirect{handle, style, brush.Color, brush.Hatch}.Write(Writer);
            Select(handle);
        }
        Delete(BrushHandle);
        BrushHandle = handle;
        Brush = brush;
    }

    void SyncFont(const TLogFont& font) {
        if (FontHandle != NoHandle && font == Font) return;
        const uint32_t handle = Writer.NewHandle();
        TEmrExtCreateFontIndirectW{handle,
                                   {font.Height, font.Width, font.Escapement, font.Orientation, font.Weight,
                                    font.Italic, font.Underline, font.StrikeOut, font.CharSet, font.OutPrecision,
                                    font.ClipPrecision, font.Quality, font.PitchAndFamily, font.FaceName}}
            .Write(Writer);
        Select(handle);
        Delete(FontHandle);
        FontHandle = handle;
        Font = font;
    }

    void SyncModes(const TDrawState& s) {
        if (s.Transform != Transform) {
            const QTransform& t = s.Transform;
            const TXForm xform{static_cast<float>(t.m11()), static_cast<float>(t.m12()), static_cast<float>(t.m21()),
                               static_cast<float>(t.m22()), static_cast<float>(t.dx()),  static_cast<float>(t.dy())};
            if (t.isIdentity())
                TEmrModifyWorldTransform{xform, MWT_IDENTITY}.Write(Writer);
            else
                TEmrSetWorldTransform{xform}.Write(Writer);
            Transform = s.Transform;
        }
        if (s.Clip.get() != Clip) {
            WriteClip(s.Clip.get());
            Clip = s.Clip.get();
            ClipKeep = s.Clip;
        }
        if (s.PolyFillMode != PolyFillMode) {
            TEmrValue{static_cast<uint32_t>(s.PolyFillMode)}.Write(Writer, EMR_SETPOLYFILLMODE);
            PolyFillMode = s.PolyFillMode;
        }
        if (s.Rop2 != Rop2) {
            TEmrValue{static_cast<uint32_t>(s.Rop2)}.Write(Writer, EMR_SETROP2);
            Rop2 = s.Rop2;
        }
        if (s.BkMode != BkMode) {
            TEmrValue{static_cast<uint32_t>(s.BkMode)}.Write(Writer, EMR_SETBKMODE);
            BkMode = s.BkMode;
        }
        if (s.BkColor != BkColor) {
            TEmrValue{s.BkColor}.Write(Writer, EMR_SETBKCOLOR);
            BkColor = s.BkColor;
        }
        if (s.MiterLimit != MiterLimit) {
            TEmrValue{std::bit_cast<uint32_t>(s.MiterLimit)}.Write(Writer, EMR_SETMITERLIMIT);
            MiterLimit = s.MiterLimit;
        }
    }

    void WriteClip(const QPainterPath* clip) {
        if (!clip) {
            TEmrExtSelectClipRgn{0, RGN_COPY}.Write(Writer);
            return;
        }
        // Region rectangles are exclusive at the right and bottom.
        auto exclusive = [](const QRect& r) { return TRectL{r.left(), r.top(), r.right() + 1, r.bottom() + 1}; };
        const QRegion region = RegionOf(*clip);
        std::vector<TRectL> rects;
        rects.reserve(static_cast<size_t>(region.rectCount()));
        for (const QRect& r : region)
            rects.push_back(exclusive(r));
        const auto bytes = static_cast<uint32_t>(RectLBytes * rects.size());
        TRgnDataHeader header;
        header.Count = static_cast<uint32_t>(rects.size());
        header.RgnSize = bytes;
        header.Bounds = exclusive(region.boundingRect());
        TEmrExtSelectClipRgn{static_cast<uint32_t>(TRgnDataHeader::Bytes + bytes), RGN_COPY}.Write(Writer, &header,
                                                                                                   rects);
    }

    void Bounds(const QRectF& logical, double grow) {
        const QRectF d = Transform.mapRect(logical).adjusted(-grow, -grow, grow, grow);
        Writer.ExtendBounds(R(std::floor(d.left())), R(std::floor(d.top())), R(std::ceil(d.right())),
                            R(std::ceil(d.bottom())));
    }

    static TRectL RectOf(const QRect& box) { return {box.left(), box.top(), box.right(), box.bottom()}; }
    static TRectL RoundedBounds(const QRectF& b) { return {R(b.left()), R(b.top()), R(b.right()), R(b.bottom())}; }

    void WritePoints(const std::vector<QPointF>& points, bool small) {
        for (const QPointF& p : points) {
            if (small)
                WritePointS(Writer, static_cast<int16_t>(R(p.x())), static_cast<int16_t>(R(p.y())));
            else
                TPointL{R(p.x()), R(p.y())}.Write(Writer);
        }
    }

    void WritePoly(uint32_t type16, uint32_t type32, const std::vector<QPointF>& points) {
        const bool small = std::all_of(points.begin(), points.end(),
                                       [](const QPointF& p) { return FitsI16(p.x()) && FitsI16(p.y()); });
        const QRectF b = QPolygonF(QList<QPointF>(points.begin(), points.end())).boundingRect();
        TEmrPoly{RoundedBounds(b), static_cast<uint32_t>(points.size())}.WriteHead(Writer, small ? type16 : type32);
        WritePoints(points, small);
        Writer.End();
    }

    void WritePolyPoly(uint32_t type16, uint32_t type32, const std::vector<QPointF>& points,
                       const std::vector<uint32_t>& counts) {
        const bool small = std::all_of(points.begin(), points.end(),
                                       [](const QPointF& p) { return FitsI16(p.x()) && FitsI16(p.y()); });
        const QRectF b = QPolygonF(QList<QPointF>(points.begin(), points.end())).boundingRect();
        TEmrPolyPoly{RoundedBounds(b), static_cast<uint32_t>(counts.size()), static_cast<uint32_t>(points.size())}
            .WriteHead(Writer, small ? type16 : type32);
        for (uint32_t c : counts)
            Writer.U32(c);
        WritePoints(points, small);
        Writer.End();
    }

    void WritePath(const QPainterPath& path, uint32_t op, const QRectF& b) {
        TEmrEmpty::Write(Writer, EMR_BEGINPATH);
        QPointF start;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo()) {
                if (i > 0 && path.elementAt(i - 1).x == start.x() && path.elementAt(i - 1).y == start.y())
                    TEmrEmpty::Write(Writer, EMR_CLOSEFIGURE);
                start = QPointF(e.x, e.y);
                TEmrPoint{{R(e.x), R(e.y)}}.Write(Writer, EMR_MOVETOEX);
            } else if (e.isLineTo()) {
                TEmrPoint{{R(e.x), R(e.y)}}.Write(Writer, EMR_LINETO);
            } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
                const auto c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
                TEmrPoly{RoundedBounds(b), 3}.WriteHead(Writer, EMR_POLYBEZIERTO);
                for (TPointL p : {TPointL{R(e.x), R(e.y)}, TPointL{R(c2.x), R(c2.y)}, TPointL{R(end.x), R(end.y)}})
                    p.Write(Writer);
                Writer.End();
                i += 2;
            }
        }
        if (path.elementCount() > 1) {
            const auto last = path.elementAt(path.elementCount() - 1);
            if (last.x == start.x() && last.y == start.y()) TEmrEmpty::Write(Writer, EMR_CLOSEFIGURE);
        }
        TEmrEmpty::Write(Writer, EMR_ENDPATH);
        TEmrBox{RoundedBounds(b)}.Write(Writer, op);
    }
};

TEmfRecorder::TEmfRecorder(int32_t widthPx, int32_t heightPx) : F(std::make_unique<TImpl>(widthPx, heightPx)) {}

TEmfRecorder::~TEmfRecorder() = default;

TDeviceCaps TEmfRecorder::Caps() const {
    TDeviceCaps caps = TDeviceCaps::Screen(1920, 1440, ScreenPixelsPerInch);
    caps.HorzSizeMM = 508;
    caps.VertSizeMM = 381;
    return caps;
}

void TEmfRecorder::DrawShape(const TShape& shape, const TDrawState& state) {
    TImpl& f = *F;
    if (state.Brush.Style == BS_FILL && state.Brush.Fill && shape.Fill && shape.Kind != TShapeKind::skPolyline &&
        shape.Kind != TShapeKind::skArc && shape.Kind != TShapeKind::skPolyBezier) {
        // Gradients and textures have no GDI brush: the fill is drawn into a bitmap of the reference
        // device's pixels it covers (transparent outside the shape) and recorded as an alpha blend.
        const QRectF covered = state.Transform.mapRect(ShapeToPath(shape, state, false).boundingRect())
                                   .intersected(QRectF(0, 0, f.Width, f.Height));
        const QRect pixels = covered.toAlignedRect();
        if (static_cast<int64_t>(pixels.width()) * pixels.height() > (1 << 24)) {
            // Larger than any page of the reference device: the fill's mean colour.
            TDrawState solid = state;
            solid.Brush = TLogBrush{BS_SOLID, state.Brush.Color, 0, nullptr, nullptr};
            DrawShape(shape, solid);
            return;
        }
        if (!pixels.isEmpty()) {
            QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter painter(&image);
                painter.translate(-pixels.x(), -pixels.y());
                TPainterDevice device(painter);
                TShape fillOnly = shape;
                fillOnly.Stroke = false;
                TDrawState unclipped = state;
                unclipped.Clip = nullptr;
                device.DrawShape(fillOnly, unclipped);
            }
            const TDibBytes dib = ImageToAlphaDib(image);
            TDibDraw draw;
            draw.Dib = dib.View();
            draw.Source = QRect(0, 0, pixels.width(), pixels.height());
            draw.Destination = pixels;
            draw.SourceAlpha = true;
            TDrawState placed = state;
            placed.Transform = QTransform();
            DrawDib(draw, placed);
        }
        if (!shape.Stroke) return;
        TDrawState strokeOnly = state;
        strokeOnly.Brush = TLogBrush{BS_NULL, clBlack, 0, nullptr, nullptr};
        DrawShape(shape, strokeOnly);
        return;
    }
    f.SyncModes(state);
    const bool fillOnly = !shape.Stroke;
    const bool usesBrush = shape.Fill && shape.Kind != TShapeKind::skPolyline && shape.Kind != TShapeKind::skArc &&
                           shape.Kind != TShapeKind::skPolyBezier;
    f.SyncPen(fillOnly ? TLogPen{PS_NULL, 0, clBlack, {}} : state.Pen);
    if (usesBrush && state.Brush.Style == BS_HATCHED && state.Brush.Hatch > HS_DIAGCROSS) {
        // GDI knows six hatches: the others are recorded as the 8 x 8 pattern they draw.
        QImage pattern(8, 8, QImage::Format_RGB32);
        pattern.fill(QColor(RedOf(state.BkColor), GreenOf(state.BkColor), BlueOf(state.BkColor)));
        if (state.BkMode != OPAQUE) pattern.fill(Qt::white);
        QPainter painter(&pattern);
        painter.drawImage(0, 0, HatchImage(state.Brush.Hatch, state.Brush.Color));
        painter.end();
        f.SyncBrush(TLogBrush{BS_PATTERN, state.Brush.Color, 0, std::make_shared<const QImage>(pattern), nullptr});
    } else if (usesBrush) {
        f.SyncBrush(state.Brush);
    }
    if (shape.Kind == TShapeKind::skArc && state.ArcDirection != f.ArcDirection) {
        TEmrValue{static_cast<uint32_t>(state.ArcDirection)}.Write(f.Writer, EMR_SETARCDIRECTION);
        f.ArcDirection = state.ArcDirection;
    }
    const double grow = std::max(1.0, state.Pen.Width / 2.0 + 1);
    switch (shape.Kind) {
    case TShapeKind::skRectangle:
    case TShapeKind::skEllipse: {
        QRect box = shape.Box;
        if (fillOnly) box = QRect(QPoint(box.left(), box.top()), QPoint(box.right() + 1, box.bottom() + 1));
        TEmrBox{TImpl::RectOf(box)}.Write(f.Writer,
                                          shape.Kind == TShapeKind::skRectangle ? EMR_RECTANGLE : EMR_ELLIPSE);
        f.Bounds(QRectF(QPointF(box.left(), box.top()), QPointF(box.right(), box.bottom())).normalized(), grow);
        break;
    }
    case TShapeKind::skRoundRect:
        TEmrRoundRect{TImpl::RectOf(shape.Box), {shape.Corner.width(), shape.Corner.height()}}.Write(f.Writer);
        f.Bounds(QRectF(QPointF(shape.Box.left(), shape.Box.top()), QPointF(shape.Box.right(), shape.Box.bottom()))
                     .normalized(),
                 grow);
        break;
    case TShapeKind::skArc:
    case TShapeKind::skChord:
    case TShapeKind::skPie:
        TEmrArc{TImpl::RectOf(shape.Box), {shape.Start.x(), shape.Start.y()}, {shape.End.x(), shape.End.y()}}.Write(
            f.Writer, shape.Kind == TShapeKind::skArc     ? EMR_ARC
                      : shape.Kind == TShapeKind::skChord ? EMR_CHORD
                                                          : EMR_PIE);
        f.Bounds(QRectF(QPointF(shape.Box.left(), shape.Box.top()), QPointF(shape.Box.right(), shape.Box.bottom()))
                     .normalized(),
                 grow);
        break;
    case TShapeKind::skPolyline:
    case TShapeKind::skPolygon: {
        const bool polygon = shape.Kind == TShapeKind::skPolygon;
        if (shape.Points.empty()) return;
        if (shape.Counts.size() > 1) {
            f.WritePolyPoly(polygon ? EMR_POLYPOLYGON16 : EMR_POLYPOLYLINE16,
                            polygon ? EMR_POLYPOLYGON : EMR_POLYPOLYLINE, shape.Points, shape.Counts);
        } else {
            f.WritePoly(polygon ? EMR_POLYGON16 : EMR_POLYLINE16, polygon ? EMR_POLYGON : EMR_POLYLINE, shape.Points);
        }
        f.Bounds(QPolygonF(QList<QPointF>(shape.Points.begin(), shape.Points.end())).boundingRect(), grow);
        break;
    }
    case TShapeKind::skPolyBezier:
        if (shape.Points.empty()) return;
        f.WritePoly(EMR_POLYBEZIER16, EMR_POLYBEZIER, shape.Points);
        f.Bounds(QPolygonF(QList<QPointF>(shape.Points.begin(), shape.Points.end())).boundingRect(), grow);
        break;
    case TShapeKind::skPath: {
        const QRectF b = shape.Path.boundingRect();
        const uint32_t op = !shape.Fill ? EMR_STROKEPATH : fillOnly ? EMR_FILLPATH : EMR_STROKEANDFILLPATH;
        if (op != EMR_STROKEPATH) f.SyncBrush(state.Brush);
        f.WritePath(shape.Path, op, b);
        f.Bounds(b, grow);
        break;
    }
    }
}

void TEmfRecorder::DrawText(const TTextRun& run, const TDrawState& state) {
    TImpl& f = *F;
    f.SyncModes(state);
    f.SyncFont(state.Font);
    if (state.TextColor != f.TextColor) {
        TEmrValue{state.TextColor}.Write(f.Writer, EMR_SETTEXTCOLOR);
        f.TextColor = state.TextColor;
    }
    if (state.TextAlign != f.TextAlign) {
        TEmrValue{state.TextAlign}.Write(f.Writer, EMR_SETTEXTALIGN);
        f.TextAlign = state.TextAlign;
    }
    const auto font = TFontMatcher::Shared().Match(state.Font);
    std::vector<int32_t> dx = run.Dx;
    const bool pdy = run.Options & ETO_PDY;
    const size_t perChar = pdy ? 2 : 1;
    if (dx.size() < run.Text.size() * perChar) {
        dx = font->Advances(run.Text);
        if (pdy) {
            std::vector<int32_t> pairs;
            for (int32_t a : dx)
                pairs.insert(pairs.end(), {a, 0});
            dx = std::move(pairs);
        }
    }
    dx.resize(run.Text.size() * perChar);
    int64_t total = 0;
    for (size_t i = 0; i < run.Text.size(); ++i)
        total += dx[i * perChar];

    // Bounds: the text cell around the reference point, wide enough for any alignment.
    const QRectF cell(run.Reference.x() - std::abs(total), run.Reference.y() - font->Ascent - font->Descent,
                      2.0 * std::abs(total) + 1, 2 * (font->Ascent + font->Descent) + 1);
    const QRectF bounds = (run.Options & ETO_OPAQUE) ? cell.united(QRectF(run.Rect.normalized())) : cell;
    const QRectF dev = f.Transform.mapRect(bounds);

    TEmrExtTextOut text;
    text.Bounds = TImpl::RoundedBounds(dev);
    text.Text.Reference = {run.Reference.x(), run.Reference.y()};
    text.Text.Chars = static_cast<uint32_t>(run.Text.size());
    text.Text.OffString = TEmrExtTextOut::StringAt;
    text.Text.Options = run.Options;
    text.Text.Rect = (run.Options & (ETO_OPAQUE | ETO_CLIPPED)) ? TImpl::RectOf(run.Rect) : TRectL{0, 0, -1, -1};
    text.Text.OffDx = TEmrExtTextOut::DxAfter(run.Text.size());
    text.Write(f.Writer, run.Text, dx);
    f.Writer.ExtendBounds(R(std::floor(dev.left())), R(std::floor(dev.top())), R(std::ceil(dev.right())),
                          R(std::ceil(dev.bottom())));
}

void TEmfRecorder::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    TImpl& f = *F;
    f.SyncModes(state);
    if (state.StretchBltMode != f.StretchBltMode) {
        TEmrValue{static_cast<uint32_t>(state.StretchBltMode)}.Write(f.Writer, EMR_SETSTRETCHBLTMODE);
        f.StretchBltMode = state.StretchBltMode;
    }
    const QRect d = draw.Destination;
    const QRectF dev = f.Transform.mapRect(QRectF(d.x(), d.y(), d.width(), d.height()).normalized());
    f.Writer.ExtendBounds(R(std::floor(dev.left())), R(std::floor(dev.top())), R(std::ceil(dev.right())),
                          R(std::ceil(dev.bottom())));
    const QRect b = dev.toAlignedRect();
    const TRectL bounds = TImpl::RectOf(b);
    if (draw.Dib.Info.empty()) {
        // No source bitmap: a pattern or destination operation.
        f.SyncBrush(state.Brush);
        TEmrBitBlt blt;
        blt.Bounds = bounds;
        blt.XDest = d.x(), blt.YDest = d.y(), blt.CxDest = d.width(), blt.CyDest = d.height();
        blt.Rop = draw.Rop;
        blt.Write(f.Writer);
        return;
    }
    // The bitmap follows the fixed fields: info padded to four bytes, then the bits.
    auto bitmapAt = [&](uint32_t head) {
        const auto info = static_cast<uint32_t>(draw.Dib.Info.size());
        return TBitmapRef{head, info, head + (info + 3) / 4 * 4, static_cast<uint32_t>(draw.Dib.Bits.size())};
    };
    if (draw.SourceAlpha || draw.ConstantAlpha != 255) {
        TEmrAlphaBlend blend;
        blend.Bounds = bounds;
        blend.XDest = d.x(), blend.YDest = d.y(), blend.CxDest = d.width(), blend.CyDest = d.height();
        blend.SourceConstantAlpha = draw.ConstantAlpha;
        blend.AlphaFormat = draw.SourceAlpha ? 1 : 0; // AC_SRC_ALPHA
        blend.XSrc = draw.Source.x(), blend.YSrc = draw.Source.y();
        blend.UsageSrc = draw.Dib.Usage;
        blend.Bitmap = bitmapAt(TEmrAlphaBlend::PayloadAt);
        blend.CxSrc = draw.Source.width(), blend.CySrc = draw.Source.height();
        blend.Write(f.Writer, draw.Dib.Info, draw.Dib.Bits);
        return;
    }
    TEmrStretchDIBits dib;
    dib.Bounds = bounds;
    dib.XDest = d.x(), dib.YDest = d.y();
    dib.XSrc = draw.Source.x(), dib.YSrc = draw.Source.y();
    dib.CxSrc = draw.Source.width(), dib.CySrc = draw.Source.height();
    dib.Bitmap = bitmapAt(TEmrStretchDIBits::PayloadAt);
    dib.UsageSrc = draw.Dib.Usage;
    dib.Rop = draw.Rop;
    dib.CxDest = d.width(), dib.CyDest = d.height();
    dib.Write(f.Writer, draw.Dib.Info, draw.Dib.Bits);
}

emf::TEmfPicture TEmfRecorder::Finish() {
    TImpl& f = *F;
    // Leave the device context as found: stock objects selected, our objects deleted.
    if (f.PenHandle != NoHandle && !(f.PenHandle & StockObjectFlag)) {
        f.Select(StockObjectFlag | BLACK_PEN);
        f.Delete(f.PenHandle);
    }
    if (f.BrushHandle != NoHandle && !(f.BrushHandle & StockObjectFlag)) {
        f.Select(StockObjectFlag | WHITE_BRUSH);
        f.Delete(f.BrushHandle);
    }
    if (f.FontHandle != NoHandle) {
        f.Select(StockObjectFlag | DEVICE_DEFAULT_FONT);
        f.Delete(f.FontHandle);
    }
    std::vector<uint8_t> bytes = f.Writer.Finish();
    const int32_t w = f.Width, h = f.Height;
    F = std::make_unique<TImpl>(w, h);
    return emf::TEmfPicture(std::move(bytes));
}

TMetafileCanvas::TMetafileCanvas(int32_t widthPx, int32_t heightPx)
    : detail::TRecorderHolder(widthPx, heightPx), TCanvas(Recorder) {}

TMetafileCanvas::~TMetafileCanvas() = default;

} // namespace pagimo::gdi
