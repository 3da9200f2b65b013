#include "platform/gdi/MetafileCanvas.h"

#include "platform/emf/EmfRecords.h"
#include "platform/gdi/DibImage.h"
#include "platform/gdi/FontMatcher.h"

#include <QPolygon>
#include <QRegion>

#include <algorithm>
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

    void Select(uint32_t handle) { Writer.Record(EMR_SELECTOBJECT, {static_cast<int32_t>(handle)}); }
    void Delete(uint32_t& handle) {
        if (handle != NoHandle && !(handle & StockObjectFlag)) {
            Writer.Record(EMR_DELETEOBJECT, {static_cast<int32_t>(handle)});
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
            Writer.Begin(EMR_EXTCREATEPEN);
            Writer.U32(handle);
            for (int i = 0; i < 4; ++i)
                Writer.U32(0); // no brush bitmap
            Writer.U32(pen.Style);
            Writer.U32(static_cast<uint32_t>(std::max(pen.Width, 0)));
            Writer.U32(BS_SOLID);
            Writer.U32(pen.Color);
            Writer.U32(0);
            Writer.U32(static_cast<uint32_t>(pen.UserStyle->size()));
            for (double v : *pen.UserStyle)
                Writer.U32(static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, double(1 << 20)))));
            Writer.End();
            Select(handle);
        } else {
            handle = Writer.NewHandle();
            Writer.Record(EMR_CREATEPEN, {static_cast<int32_t>(handle), static_cast<int32_t>(pen.Style), pen.Width, 0,
                                          static_cast<int32_t>(pen.Color)});
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
            Writer.Begin(EMR_CREATEDIBPATTERNBRUSHPT);
            Writer.U32(handle);
            Writer.U32(DIB_RGB_COLORS);
            Writer.U32(32);
            Writer.U32(static_cast<uint32_t>(dib.Info.size()));
            Writer.U32(static_cast<uint32_t>(32 + dib.Info.size()));
            Writer.U32(static_cast<uint32_t>(dib.Bits.size()));
            Writer.Bytes(dib.Info);
            Writer.Bytes(dib.Bits);
            Writer.End();
            Select(handle);
        } else {
            handle = Writer.NewHandle();
            const uint32_t style = brush.Style == BS_HATCHED ? BS_HATCHED : BS_SOLID;
            Writer.Record(EMR_CREATEBRUSHINDIRECT,
                          {static_cast<int32_t>(handle), static_cast<int32_t>(style), static_cast<int32_t>(brush.Color),
                           static_cast<int32_t>(brush.Hatch)});
            Select(handle);
        }
        Delete(BrushHandle);
        BrushHandle = handle;
        Brush = brush;
    }

    void SyncFont(const TLogFont& font) {
        if (FontHandle != NoHandle && font == Font) return;
        const uint32_t handle = Writer.NewHandle();
        Writer.Begin(EMR_EXTCREATEFONTINDIRECTW);
        Writer.U32(handle);
        Writer.I32(font.Height);
        Writer.I32(font.Width);
        Writer.I32(font.Escapement);
        Writer.I32(font.Orientation);
        Writer.I32(font.Weight);
        const uint8_t bytes[8] = {font.Italic,       font.Underline,     font.StrikeOut, font.CharSet,
                                  font.OutPrecision, font.ClipPrecision, font.Quality,   font.PitchAndFamily};
        Writer.Bytes(bytes);
        for (size_t i = 0; i < 32; ++i)
            Writer.U16(i < font.FaceName.size() && i < 31 ? font.FaceName[i] : 0);
        Writer.End();
        Select(handle);
        Delete(FontHandle);
        FontHandle = handle;
        Font = font;
    }

    void SyncModes(const TDrawState& s) {
        if (s.Transform != Transform) {
            const bool identity = s.Transform.isIdentity();
            Writer.Begin(identity ? EMR_MODIFYWORLDTRANSFORM : EMR_SETWORLDTRANSFORM);
            for (double v : {s.Transform.m11(), s.Transform.m12(), s.Transform.m21(), s.Transform.m22(),
                             s.Transform.dx(), s.Transform.dy()})
                Writer.F32(static_cast<float>(v));
            if (identity) Writer.U32(MWT_IDENTITY);
            Writer.End();
            Transform = s.Transform;
        }
        if (s.Clip.get() != Clip) {
            WriteClip(s.Clip.get());
            Clip = s.Clip.get();
            ClipKeep = s.Clip;
        }
        if (s.PolyFillMode != PolyFillMode) {
            Writer.Record(EMR_SETPOLYFILLMODE, {s.PolyFillMode});
            PolyFillMode = s.PolyFillMode;
        }
        if (s.Rop2 != Rop2) {
            Writer.Record(EMR_SETROP2, {s.Rop2});
            Rop2 = s.Rop2;
        }
        if (s.BkMode != BkMode) {
            Writer.Record(EMR_SETBKMODE, {s.BkMode});
            BkMode = s.BkMode;
        }
        if (s.BkColor != BkColor) {
            Writer.Record(EMR_SETBKCOLOR, {static_cast<int32_t>(s.BkColor)});
            BkColor = s.BkColor;
        }
        if (s.MiterLimit != MiterLimit) {
            Writer.Begin(EMR_SETMITERLIMIT);
            Writer.F32(s.MiterLimit);
            Writer.End();
            MiterLimit = s.MiterLimit;
        }
    }

    void WriteClip(const QPainterPath* clip) {
        Writer.Begin(EMR_EXTSELECTCLIPRGN);
        if (!clip) {
            Writer.U32(0);
            Writer.U32(RGN_COPY);
            Writer.End();
            return;
        }
        const QRegion region = RegionOf(*clip);
        const int count = region.rectCount();
        Writer.U32(static_cast<uint32_t>(32 + 16 * count));
        Writer.U32(RGN_COPY);
        Writer.U32(32);
        Writer.U32(1);
        Writer.U32(static_cast<uint32_t>(count));
        Writer.U32(static_cast<uint32_t>(16 * count));
        const QRect b = region.boundingRect();
        for (int v : {b.left(), b.top(), b.right() + 1, b.bottom() + 1})
            Writer.I32(v);
        for (const QRect& r : region) {
            for (int v : {r.left(), r.top(), r.right() + 1, r.bottom() + 1})
                Writer.I32(v);
        }
        Writer.End();
    }

    void Bounds(const QRectF& logical, double grow) {
        const QRectF d = Transform.mapRect(logical).adjusted(-grow, -grow, grow, grow);
        Writer.ExtendBounds(R(std::floor(d.left())), R(std::floor(d.top())), R(std::ceil(d.right())),
                            R(std::ceil(d.bottom())));
    }

    void WriteRect(const QRect& box) {
        for (int v : {box.left(), box.top(), box.right(), box.bottom()})
            Writer.I32(v);
    }

    void WritePoly(uint32_t type16, uint32_t type32, const std::vector<QPointF>& points) {
        const bool small = std::all_of(points.begin(), points.end(),
                                       [](const QPointF& p) { return FitsI16(p.x()) && FitsI16(p.y()); });
        const QRectF b = QPolygonF(QList<QPointF>(points.begin(), points.end())).boundingRect();
        Writer.Begin(small ? type16 : type32);
        WriteRect(QRect(QPoint(R(b.left()), R(b.top())), QPoint(R(b.right()), R(b.bottom()))));
        Writer.U32(static_cast<uint32_t>(points.size()));
        for (const QPointF& p : points) {
            if (small) {
                Writer.I16(static_cast<int16_t>(R(p.x())));
                Writer.I16(static_cast<int16_t>(R(p.y())));
            } else {
                Writer.I32(R(p.x()));
                Writer.I32(R(p.y()));
            }
        }
        Writer.End();
    }

    void WritePolyPoly(uint32_t type16, uint32_t type32, const std::vector<QPointF>& points,
                       const std::vector<uint32_t>& counts) {
        const bool small = std::all_of(points.begin(), points.end(),
                                       [](const QPointF& p) { return FitsI16(p.x()) && FitsI16(p.y()); });
        const QRectF b = QPolygonF(QList<QPointF>(points.begin(), points.end())).boundingRect();
        Writer.Begin(small ? type16 : type32);
        WriteRect(QRect(QPoint(R(b.left()), R(b.top())), QPoint(R(b.right()), R(b.bottom()))));
        Writer.U32(static_cast<uint32_t>(counts.size()));
        Writer.U32(static_cast<uint32_t>(points.size()));
        for (uint32_t c : counts)
            Writer.U32(c);
        for (const QPointF& p : points) {
            if (small) {
                Writer.I16(static_cast<int16_t>(R(p.x())));
                Writer.I16(static_cast<int16_t>(R(p.y())));
            } else {
                Writer.I32(R(p.x()));
                Writer.I32(R(p.y()));
            }
        }
        Writer.End();
    }

    void WritePath(const QPainterPath& path, uint32_t op, const QRectF& b) {
        Writer.Record(EMR_BEGINPATH, {});
        QPointF start;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            if (e.isMoveTo()) {
                if (i > 0 && path.elementAt(i - 1).x == start.x() && path.elementAt(i - 1).y == start.y())
                    Writer.Record(EMR_CLOSEFIGURE, {});
                start = QPointF(e.x, e.y);
                Writer.Record(EMR_MOVETOEX, {R(e.x), R(e.y)});
            } else if (e.isLineTo()) {
                Writer.Record(EMR_LINETO, {R(e.x), R(e.y)});
            } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
                const auto c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
                Writer.Record(EMR_POLYBEZIERTO, {R(b.left()), R(b.top()), R(b.right()), R(b.bottom()), 3, R(e.x),
                                                 R(e.y), R(c2.x), R(c2.y), R(end.x), R(end.y)});
                i += 2;
            }
        }
        if (path.elementCount() > 1) {
            const auto last = path.elementAt(path.elementCount() - 1);
            if (last.x == start.x() && last.y == start.y()) Writer.Record(EMR_CLOSEFIGURE, {});
        }
        Writer.Record(EMR_ENDPATH, {});
        Writer.Record(op, {R(b.left()), R(b.top()), R(b.right()), R(b.bottom())});
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
    f.SyncModes(state);
    const bool fillOnly = !shape.Stroke;
    const bool usesBrush = shape.Fill && shape.Kind != TShapeKind::skPolyline && shape.Kind != TShapeKind::skArc &&
                           shape.Kind != TShapeKind::skPolyBezier;
    f.SyncPen(fillOnly ? TLogPen{PS_NULL, 0, clBlack, {}} : state.Pen);
    if (usesBrush) f.SyncBrush(state.Brush);
    if (shape.Kind == TShapeKind::skArc && state.ArcDirection != f.ArcDirection) {
        f.Writer.Record(EMR_SETARCDIRECTION, {state.ArcDirection});
        f.ArcDirection = state.ArcDirection;
    }
    const double grow = std::max(1.0, state.Pen.Width / 2.0 + 1);
    switch (shape.Kind) {
    case TShapeKind::skRectangle:
    case TShapeKind::skEllipse: {
        QRect box = shape.Box;
        if (fillOnly) box = QRect(QPoint(box.left(), box.top()), QPoint(box.right() + 1, box.bottom() + 1));
        f.Writer.Begin(shape.Kind == TShapeKind::skRectangle ? EMR_RECTANGLE : EMR_ELLIPSE);
        f.WriteRect(box);
        f.Writer.End();
        f.Bounds(QRectF(QPointF(box.left(), box.top()), QPointF(box.right(), box.bottom())).normalized(), grow);
        break;
    }
    case TShapeKind::skRoundRect:
        f.Writer.Begin(EMR_ROUNDRECT);
        f.WriteRect(shape.Box);
        f.Writer.I32(shape.Corner.width());
        f.Writer.I32(shape.Corner.height());
        f.Writer.End();
        f.Bounds(QRectF(QPointF(shape.Box.left(), shape.Box.top()), QPointF(shape.Box.right(), shape.Box.bottom()))
                     .normalized(),
                 grow);
        break;
    case TShapeKind::skArc:
    case TShapeKind::skChord:
    case TShapeKind::skPie:
        f.Writer.Begin(shape.Kind == TShapeKind::skArc     ? EMR_ARC
                       : shape.Kind == TShapeKind::skChord ? EMR_CHORD
                                                           : EMR_PIE);
        f.WriteRect(shape.Box);
        f.Writer.I32(shape.Start.x());
        f.Writer.I32(shape.Start.y());
        f.Writer.I32(shape.End.x());
        f.Writer.I32(shape.End.y());
        f.Writer.End();
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
        f.Writer.Record(EMR_SETTEXTCOLOR, {static_cast<int32_t>(state.TextColor)});
        f.TextColor = state.TextColor;
    }
    if (state.TextAlign != f.TextAlign) {
        f.Writer.Record(EMR_SETTEXTALIGN, {static_cast<int32_t>(state.TextAlign)});
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

    const size_t chars = run.Text.size();
    const uint32_t offString = 76;
    const uint32_t stringBytes = static_cast<uint32_t>((chars * 2 + 3) / 4 * 4);
    const uint32_t offDx = offString + stringBytes;
    f.Writer.Begin(EMR_EXTTEXTOUTW);
    for (int v : {R(dev.left()), R(dev.top()), R(dev.right()), R(dev.bottom())})
        f.Writer.I32(v);
    f.Writer.U32(1); // GM_COMPATIBLE
    f.Writer.F32(0);
    f.Writer.F32(0);
    f.Writer.I32(run.Reference.x());
    f.Writer.I32(run.Reference.y());
    f.Writer.U32(static_cast<uint32_t>(chars));
    f.Writer.U32(offString);
    f.Writer.U32(run.Options);
    if (run.Options & (ETO_OPAQUE | ETO_CLIPPED))
        f.WriteRect(run.Rect);
    else
        f.WriteRect(QRect(QPoint(0, 0), QPoint(-1, -1)));
    f.Writer.U32(offDx);
    for (char16_t c : run.Text)
        f.Writer.U16(c);
    if (chars % 2) f.Writer.U16(0);
    for (int32_t d : dx)
        f.Writer.I32(d);
    f.Writer.End();
    f.Writer.ExtendBounds(R(std::floor(dev.left())), R(std::floor(dev.top())), R(std::ceil(dev.right())),
                          R(std::ceil(dev.bottom())));
}

void TEmfRecorder::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    TImpl& f = *F;
    f.SyncModes(state);
    if (state.StretchBltMode != f.StretchBltMode) {
        f.Writer.Record(EMR_SETSTRETCHBLTMODE, {state.StretchBltMode});
        f.StretchBltMode = state.StretchBltMode;
    }
    const QRect d = draw.Destination;
    const QRectF dev = f.Transform.mapRect(QRectF(d.x(), d.y(), d.width(), d.height()).normalized());
    f.Writer.ExtendBounds(R(std::floor(dev.left())), R(std::floor(dev.top())), R(std::ceil(dev.right())),
                          R(std::ceil(dev.bottom())));
    const QRect b = dev.toAlignedRect();
    const uint32_t infoSize = static_cast<uint32_t>((draw.Dib.Info.size() + 3) / 4 * 4);
    const uint32_t bitsSize = static_cast<uint32_t>(draw.Dib.Bits.size());
    auto payload = [&] {
        static constexpr uint8_t Zeros[4] = {};
        f.Writer.Bytes(draw.Dib.Info);
        f.Writer.Bytes(std::span<const uint8_t>(Zeros, infoSize - draw.Dib.Info.size()));
        f.Writer.Bytes(draw.Dib.Bits);
    };
    if (draw.Dib.Info.empty()) {
        f.SyncBrush(state.Brush);
        f.Writer.Begin(EMR_BITBLT);
        for (int v : {b.left(), b.top(), b.right(), b.bottom()})
            f.Writer.I32(v);
        for (int v : {d.x(), d.y(), d.width(), d.height()})
            f.Writer.I32(v);
        f.Writer.U32(draw.Rop);
        f.Writer.I32(0);
        f.Writer.I32(0);
        for (float v : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f})
            f.Writer.F32(v);
        f.Writer.U32(0);
        f.Writer.U32(0);
        for (int i = 0; i < 4; ++i)
            f.Writer.U32(0);
        f.Writer.End();
        return;
    }
    if (draw.SourceAlpha || draw.ConstantAlpha != 255) {
        const uint32_t head = 108;
        f.Writer.Begin(EMR_ALPHABLEND);
        for (int v : {b.left(), b.top(), b.right(), b.bottom()})
            f.Writer.I32(v);
        for (int v : {d.x(), d.y(), d.width(), d.height()})
            f.Writer.I32(v);
        const uint8_t blend[4] = {0, 0, draw.ConstantAlpha, static_cast<uint8_t>(draw.SourceAlpha ? 1 : 0)};
        f.Writer.Bytes(blend);
        f.Writer.I32(draw.Source.x());
        f.Writer.I32(draw.Source.y());
        for (float v : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f})
            f.Writer.F32(v);
        f.Writer.U32(0);
        f.Writer.U32(draw.Dib.Usage);
        f.Writer.U32(head);
        f.Writer.U32(static_cast<uint32_t>(draw.Dib.Info.size()));
        f.Writer.U32(head + infoSize);
        f.Writer.U32(bitsSize);
        f.Writer.I32(draw.Source.width());
        f.Writer.I32(draw.Source.height());
        payload();
        f.Writer.End();
        return;
    }
    const uint32_t head = 80;
    f.Writer.Begin(EMR_STRETCHDIBITS);
    for (int v : {b.left(), b.top(), b.right(), b.bottom()})
        f.Writer.I32(v);
    f.Writer.I32(d.x());
    f.Writer.I32(d.y());
    f.Writer.I32(draw.Source.x());
    f.Writer.I32(draw.Source.y());
    f.Writer.I32(draw.Source.width());
    f.Writer.I32(draw.Source.height());
    f.Writer.U32(head);
    f.Writer.U32(static_cast<uint32_t>(draw.Dib.Info.size()));
    f.Writer.U32(head + infoSize);
    f.Writer.U32(bitsSize);
    f.Writer.U32(draw.Dib.Usage);
    f.Writer.U32(draw.Rop);
    f.Writer.I32(d.width());
    f.Writer.I32(d.height());
    payload();
    f.Writer.End();
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
