#include "platform/gdi/PageGuard.h"

#include "platform/gdi/FontMatcher.h"
#include "platform/graphics/Dib.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace pagimo::gdi {

namespace {

// Logical coordinates handed back to devices stay far inside the int range of QRect arithmetic.
constexpr double LogicalMax = 1 << 30;

bool Finite(const QRectF& r) {
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.width()) && std::isfinite(r.height());
}

// Containment and overlap by coordinates, for empty rectangles (a hairline's extent, a text run's
// empty box) too, which QRectF's own tests treat as outside everything.
bool Inside(const QRectF& outer, const QRectF& r) {
    const QRectF n = r.normalized();
    return n.left() >= outer.left() && n.right() <= outer.right() && n.top() >= outer.top() &&
           n.bottom() <= outer.bottom();
}

bool Meets(const QRectF& outer, const QRectF& r) {
    const QRectF n = r.normalized();
    return n.right() >= outer.left() && n.left() <= outer.right() && n.bottom() >= outer.top() &&
           n.top() <= outer.bottom();
}

bool Dashed(uint32_t style) {
    switch (style & PS_STYLE_MASK) {
    case PS_SOLID:
    case PS_NULL:
    case PS_INSIDEFRAME:
        return false;
    default:
        return true;
    }
}

// The part of segment a-b inside box (Liang-Barsky); false when none is.
bool ClipSegment(const QRectF& box, QPointF& a, QPointF& b) {
    double t0 = 0, t1 = 1;
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1) return false;
    }
    const QPointF start = a;
    a = start + t0 * QPointF(dx, dy);
    b = start + t1 * QPointF(dx, dy);
    return true;
}

// A closed polygon cut to box (Sutherland-Hodgman); inside box it covers what the polygon covers, so
// cutting every figure of a path keeps its fill, whatever the fill rule.
QPolygonF ClipPolygon(const QPolygonF& polygon, const QRectF& box) {
    QPolygonF in = polygon, out;
    for (int edge = 0; edge < 4 && !in.isEmpty(); ++edge) {
        auto inside = [&](const QPointF& p) {
            switch (edge) {
            case 0:
                return p.x() >= box.left();
            case 1:
                return p.x() <= box.right();
            case 2:
                return p.y() >= box.top();
            default:
                return p.y() <= box.bottom();
            }
        };
        auto cross = [&](const QPointF& a, const QPointF& b) {
            const double t = edge < 2 ? ((edge == 0 ? box.left() : box.right()) - a.x()) / (b.x() - a.x())
                                      : ((edge == 2 ? box.top() : box.bottom()) - a.y()) / (b.y() - a.y());
            return a + t * (b - a);
        };
        out.clear();
        for (qsizetype i = 0; i < in.size(); ++i) {
            const QPointF& cur = in[i];
            const QPointF& prev = in[(i + in.size() - 1) % in.size()];
            if (inside(cur)) {
                if (!inside(prev)) out.push_back(cross(prev, cur));
                out.push_back(cur);
            } else if (inside(prev)) {
                out.push_back(cross(prev, cur));
            }
        }
        std::swap(in, out);
    }
    return in;
}

// Calls f(a, b) for every device segment the pen follows: polylines and polygons point to point
// (closing polygons), Bézier and path curves along their control polygon (never shorter than the
// curve), boxes along their rectangle.
template <class F> void ForEachSegment(const TShape& shape, const QTransform& t, F&& f) {
    switch (shape.Kind) {
    case TShapeKind::skPolyline:
    case TShapeKind::skPolygon:
    case TShapeKind::skPolyBezier: {
        const bool close = shape.Kind == TShapeKind::skPolygon;
        size_t at = 0;
        auto figure = [&](size_t n) {
            if (n == 0 || at + n > shape.Points.size()) return;
            QPointF first = t.map(shape.Points[at]), last = first;
            for (size_t i = 1; i < n; ++i) {
                const QPointF p = t.map(shape.Points[at + i]);
                f(last, p);
                last = p;
            }
            if (close) f(last, first);
            at += n;
        };
        if (shape.Counts.empty()) {
            figure(shape.Points.size());
        } else {
            for (uint32_t n : shape.Counts)
                figure(n);
        }
        break;
    }
    case TShapeKind::skPath: {
        QPointF last;
        for (int i = 0; i < shape.Path.elementCount(); ++i) {
            const auto e = shape.Path.elementAt(i);
            const QPointF p = t.map(QPointF(e.x, e.y));
            if (!e.isMoveTo()) f(last, p);
            last = p;
        }
        break;
    }
    default: {
        const QRectF b =
            QRectF(QPointF(shape.Box.left(), shape.Box.top()), QPointF(shape.Box.right(), shape.Box.bottom()));
        const QPointF c[4] = {t.map(b.topLeft()), t.map(b.topRight()), t.map(b.bottomRight()), t.map(b.bottomLeft())};
        for (int i = 0; i < 4; ++i)
            f(c[i], c[(i + 1) % 4]);
        break;
    }
    }
}

// The shape's extent in logical units (control points; boxes as given).
QRectF LogicalExtent(const TShape& shape) {
    switch (shape.Kind) {
    case TShapeKind::skPolyline:
    case TShapeKind::skPolygon:
    case TShapeKind::skPolyBezier: {
        if (shape.Points.empty()) return {};
        double l = shape.Points[0].x(), r = l, t = shape.Points[0].y(), b = t;
        for (const QPointF& p : shape.Points) {
            l = std::min(l, p.x()), r = std::max(r, p.x());
            t = std::min(t, p.y()), b = std::max(b, p.y());
        }
        return QRectF(QPointF(l, t), QPointF(r, b));
    }
    case TShapeKind::skPath:
        return shape.Path.controlPointRect();
    default:
        return QRectF(QPointF(shape.Box.left(), shape.Box.top()), QPointF(shape.Box.right(), shape.Box.bottom()))
            .normalized();
    }
}

uint64_t PointsOf(const TShape& shape) {
    switch (shape.Kind) {
    case TShapeKind::skPolyline:
    case TShapeKind::skPolygon:
    case TShapeKind::skPolyBezier:
        return shape.Points.size() + shape.Counts.size();
    case TShapeKind::skPath:
        return static_cast<uint64_t>(shape.Path.elementCount());
    default:
        return 8;
    }
}

// The logical rectangle whose device image covers the bound, clamped to what QRect can hold.
QRectF LogicalBound(const QTransform& t) {
    bool invertible = false;
    const QTransform back = t.inverted(&invertible);
    if (!invertible) return {};
    const QRectF r = back.mapRect(TPageGuard::Bound());
    if (!Finite(r)) return {};
    return r.intersected(QRectF(-LogicalMax, -LogicalMax, 2 * LogicalMax, 2 * LogicalMax));
}

QRect ToRect(const QRectF& r) {
    return QRect(QPoint(static_cast<int>(std::floor(r.left())), static_cast<int>(std::floor(r.top()))),
                 QPoint(static_cast<int>(std::ceil(r.right())), static_cast<int>(std::ceil(r.bottom()))));
}

} // namespace

void TPageGuard::Stop(const char* what, double used, double limit) const {
    char text[240];
    std::snprintf(text, sizeof text,
                  "drawing stopped: the page needs more work than any real page (%s: %.0f, limit %.0f)", what, used,
                  limit);
    throw EPageOverBudget(text);
}

void TPageGuard::Simplify(const char* what, double used, double limit) {
    TPlayWork& work = FRoot->FWork;
    work.Simplified = true;
    if (!work.Reason.empty()) return;
    char text[240];
    std::snprintf(text, sizeof text,
                  "drawn simplified: the page needs more work than any real page (%s: %.0f, limit %.0f)", what, used,
                  limit);
    work.Reason = text;
}

TPageGuard::TPageGuard(TDevice& inner, const TWorkLimits& limits, TPlayWork& work, double referenceScale,
                       const QRectF& page)
    : FInner(inner), FRoot(this), FLimits(limits), FWork(work),
      FReferenceScale(referenceScale > 1e-6 ? referenceScale : 1e-6), FPage(page.normalized()),
      FFontsSeen(TFontMatcher::FontsMadeOnThisThread()) {
    // Unknown: an A4 page of 96 pixels to the inch at the reference scale.
    if (!Finite(FPage) || FPage.width() * FPage.height() <= 1)
        FPage = QRectF(0, 0, 794.0 * FReferenceScale, 1123.0 * FReferenceScale);
    FPageArea = std::max(FPage.width() * FPage.height(), 1.0);
    if (auto* outer = dynamic_cast<TPageGuard*>(&inner)) FRoot = outer->FRoot;
}

void TPageGuard::AddPainted(double pages) {
    FWork.PaintedArea += pages;
    if (FWork.PaintedArea > FLimits.PaintedArea) Stop("painted area in pages", FWork.PaintedArea, FLimits.PaintedArea);
}

void TPageGuard::ChargePainted(const QRectF& extent, double most) {
    const QRectF on = extent.intersected(FPage);
    if (!on.isEmpty()) AddPainted(std::min(on.width() * on.height(), most) / FPageArea);
}

void TPageGuard::ChargeCrossings(double crossings, const QRectF& on) {
    // An antialiased fill sweeps the page row by row, sorting the edges each row meets: its cost grows
    // with the crossings of edges and rows, and each crossing costs more the more edges share its row
    // (a few hundred nanoseconds with two to a row, ten microseconds from about fifty on, measured on
    // Qt's raster engine). Each crossing is charged as 100 pixels painted for each edge sharing its row
    // (at most fifty), a pixel costing about two nanoseconds. A page narrower than an A4 page at 96 dpi
    // counts as that wide, so a small rendering (a thumbnail) is not charged more for the same figures.
    // A figure zigzagging across the page is charged for what it costs, plain figures a little over
    // their area. A wide pen's outline meets each row twice for every crossing of its path.
    constexpr double PixelsPerCrossing = 100, MostEdgesCounted = 50, NarrowestPage = 794;
    const double perRow = crossings / std::max(on.height(), 1.0);
    AddPainted(crossings * PixelsPerCrossing * std::min(perRow, MostEdgesCounted) /
               (std::max(FPage.height(), 1.0) * std::max(FPage.width(), NarrowestPage)));
}

void TPageGuard::ChargeMesh(const TBrushFill& fill, const QTransform& t, const QRectF& extent) {
    // Devices colour a mesh pixel by pixel, each triangle over the pixels it covers and a span for each
    // of its rows: several times the work of a plain fill of the same pixels, and triangles may overlap
    // any number of times. Each triangle is charged its area (within the figure's extent on the page)
    // and its rows, eight times over (about 15 ns a pixel against 2 for a plain antialiased fill).
    constexpr double Weight = 8;
    const QRectF on = extent.intersected(FPage);
    if (on.isEmpty()) return;
    const QTransform space = fill.Space * t;
    double pixels = 0;
    for (size_t i = 0; i + 2 < fill.Triangles.size(); i += 3) {
        const QPointF a = space.map(fill.Triangles[i].At), b = space.map(fill.Triangles[i + 1].At),
                      c = space.map(fill.Triangles[i + 2].At);
        const double area = std::abs((b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y())) / 2;
        const double rows = std::max({a.y(), b.y(), c.y()}) - std::min({a.y(), b.y(), c.y()});
        if (!std::isfinite(area) || !std::isfinite(rows)) {
            pixels += on.width() * on.height() + on.height();
            continue;
        }
        pixels += std::min(area, on.width() * on.height()) + std::min(rows, on.height());
    }
    AddPainted(Weight * pixels / FPageArea);
}

void TPageGuard::ChargeRecord() {
    TPageGuard& root = *FRoot;
    if (++root.FWork.Records > root.FLimits.Records)
        root.Stop("records", static_cast<double>(root.FWork.Records), static_cast<double>(root.FLimits.Records));
}

void TPageGuard::ChargeImage(uint64_t width, uint64_t height) {
    TPageGuard& root = *FRoot;
    const uint64_t side = uint64_t{1} << 31;
    root.FWork.ImagePixels += std::min(width, side) * std::min(height, side);
    if (root.FWork.ImagePixels > root.FLimits.ImagePixels)
        root.Stop("image pixels", static_cast<double>(root.FWork.ImagePixels),
                  static_cast<double>(root.FLimits.ImagePixels));
}

void TPageGuard::ChargeFonts() {
    TPageGuard& root = *FRoot;
    const uint64_t now = TFontMatcher::FontsMadeOnThisThread();
    root.FWork.Fonts += now - root.FFontsSeen;
    root.FFontsSeen = now;
    if (root.FWork.Fonts > root.FLimits.Fonts)
        root.Stop("fonts", static_cast<double>(root.FWork.Fonts), static_cast<double>(root.FLimits.Fonts));
}

void TPageGuard::ChargePicture(uint64_t bytes) {
    TPageGuard& root = *FRoot;
    if (++root.FWork.Pictures > root.FLimits.Pictures)
        root.Stop("pictures played", static_cast<double>(root.FWork.Pictures),
                  static_cast<double>(root.FLimits.Pictures));
    root.FWork.PictureBytes += bytes;
    if (root.FWork.PictureBytes > root.FLimits.PictureBytes)
        root.Stop("bytes of pictures played", static_cast<double>(root.FWork.PictureBytes),
                  static_cast<double>(root.FLimits.PictureBytes));
}

void TPageGuard::ChargePoints(uint64_t points) {
    TPlayWork& work = FRoot->FWork;
    const TWorkLimits& limits = FRoot->FLimits;
    work.Points += points;
    if (work.Points > limits.Points)
        Stop("points", static_cast<double>(work.Points), static_cast<double>(limits.Points));
}

bool TPageGuard::ChargeClip(uint64_t points) {
    TPlayWork& work = FRoot->FWork;
    const TWorkLimits& limits = FRoot->FLimits;
    ++work.ClipOperations;
    if (work.ClipOperations > limits.ClipOperations)
        Stop("clip operations", static_cast<double>(work.ClipOperations), static_cast<double>(limits.ClipOperations));
    if (work.ClipPoints + points > limits.ClipPoints) {
        // Past the limit clips are combined as their bounding rectangles, a few points each.
        Simplify("clip points", static_cast<double>(work.ClipPoints + points), static_cast<double>(limits.ClipPoints));
        work.ClipPoints += 10;
        if (work.ClipPoints > limits.ClipPointsStop)
            Stop("clip points", static_cast<double>(work.ClipPoints), static_cast<double>(limits.ClipPointsStop));
        return false;
    }
    work.ClipPoints += points;
    return true;
}

QPainterPath TPageGuard::Bounded(const QPainterPath& clip) {
    const QRectF bound = Bound();
    const QRectF extent = clip.controlPointRect();
    if (Inside(bound, extent)) return clip;
    QPainterPath box;
    box.addRect(bound);
    if (!Finite(extent)) return box;
    if (clip.elementCount() == 5 && IsRectilinear(clip, QTransform())) {
        QPainterPath cut;
        cut.addRect(extent.intersected(bound));
        cut.setFillRule(clip.fillRule());
        return cut;
    }
    return clip.intersected(box);
}

void TPageGuard::ChargeShape(const TShape& shape, const QRectF& extent, bool fill, bool stroke, double penWidth,
                             TDrawState& drawn) {
    const QTransform& t = drawn.Transform;
    const uint32_t penStyle = drawn.Pen.Style & PS_STYLE_MASK;
    const QRectF bound = Bound();
    // The work: points (a wide pen's outline has about four per point), and the length stroked
    // within the bound, which sets how many dashes a styled pen makes.
    const uint64_t points = PointsOf(shape);
    ChargePoints(points * ((fill ? 1 : 0) + (stroke ? (penWidth > 1.5 ? 5 : 2) : 0)));
    // One walk along the edges: the length stroked within the bound, and the rows each edge crosses on
    // the page (for fills, and for wide pens, whose outline is filled: it meets each row twice).
    const bool rows = fill || (stroke && penWidth > 1.5);
    const QRectF on = extent.intersected(FPage);
    double length = 0, crossings = 0;
    if (stroke || (rows && !on.isEmpty())) {
        ForEachSegment(shape, t, [&](QPointF a, QPointF b) {
            const double y0 = std::clamp(a.y(), on.top(), on.bottom()), y1 = std::clamp(b.y(), on.top(), on.bottom());
            if (std::isfinite(y0) && std::isfinite(y1)) crossings += std::abs(y1 - y0);
            if (stroke && ClipSegment(bound, a, b)) length += std::hypot(b.x() - a.x(), b.y() - a.y());
        });
    }
    // The pixels painted: a fill covers about its extent on the page, a stroke its length times the pen's
    // width at most.
    if (rows && !on.isEmpty()) ChargeCrossings(crossings * (fill ? 1 : 2), on);
    if (fill) {
        ChargePainted(extent);
        if (drawn.Brush.Style == BS_FILL && drawn.Brush.Fill && drawn.Brush.Fill->Kind == TBrushFill::TKind::Mesh)
            ChargeMesh(*drawn.Brush.Fill, t, extent);
    }
    if (stroke) {
        ChargePainted(extent, length * penWidth);
        length /= FReferenceScale;
        FWork.StrokedLength += length;
        if (FWork.StrokedLength > FLimits.StrokedLengthStop)
            Stop("pixels stroked", FWork.StrokedLength, FLimits.StrokedLengthStop);
        if (Dashed(penStyle)) {
            if (FWork.StrokedLength > FLimits.StrokedLength) {
                drawn.Pen.Style = (drawn.Pen.Style & ~PS_STYLE_MASK) | PS_SOLID;
                Simplify("pixels stroked", FWork.StrokedLength, FLimits.StrokedLength);
            } else {
                // Each dash is a figure of its own. Thin pens' patterns count in pixels, wide pens' in
                // pen widths.
                double period = 0;
                for (double d : DashPattern(drawn.Pen, penWidth <= 1.5))
                    period += d;
                if (penWidth > 1.5) period *= penWidth / FReferenceScale;
                ChargePoints(static_cast<uint64_t>(length / std::max(period, 1.0)) * 4);
            }
        }
    }
}

void TPageGuard::DrawShape(const TShape& shape, const TDrawState& state) {
    const QTransform& t = state.Transform;
    const uint32_t penStyle = state.Pen.Style & PS_STYLE_MASK;
    const bool stroke = shape.Stroke && penStyle != PS_NULL;
    const double scale = ScaleOf(t);
    const bool geometric = (state.Pen.Style & PS_TYPE_MASK) == PS_GEOMETRIC;
    const double penWidth = (state.Pen.Width <= 1 && !geometric) ? 1 : std::max(1.0, state.Pen.Width * scale);
    QRectF extent = t.mapRect(LogicalExtent(shape));
    if (!Finite(extent) || !std::isfinite(penWidth)) {
        ++FWork.Dropped;
        return;
    }
    const double reach = stroke ? std::min(penWidth, 4 * Margin) / 2 + 1 : 1;
    extent.adjust(-reach, -reach, reach, reach);
    const QRectF bound = Bound();
    if (!Meets(bound, extent)) {
        ++FWork.Dropped;
        return;
    }

    const bool fill = shape.Fill && shape.Kind != TShapeKind::skPolyline && shape.Kind != TShapeKind::skArc &&
                      shape.Kind != TShapeKind::skPolyBezier && state.Brush.Style != BS_NULL;
    // A picture played inside the page draws through the page's own guard, which counts it.
    TDrawState drawn = state;
    if (FRoot == this) ChargeShape(shape, extent, fill, stroke, penWidth, drawn);

    // Fills are cut a page's size beyond the page: the rasteriser's work on a figure grows with its
    // extent, whatever of it reaches the device.
    const QRectF near =
        fill && FRoot == this
            ? FPage.adjusted(-FPage.width(), -FPage.height(), FPage.width(), FPage.height()).intersected(bound)
            : bound;
    if (Inside(near, extent) && Inside(bound, extent)) {
        FInner.DrawShape(shape, drawn);
        return;
    }
    DrawCut(shape, drawn, near, fill, stroke);
}

void TPageGuard::DrawCut(const TShape& shape, const TDrawState& drawn, const QRectF& near, bool fill, bool stroke) {
    const QTransform& t = drawn.Transform;
    const QRectF bound = Bound();
    // Reaching past the bound: the figure cut to it, back in logical units so pens keep their width.
    bool invertible = false;
    const QTransform back = t.inverted(&invertible);
    if (!invertible) {
        ++FWork.Dropped;
        return;
    }
    const QPainterPath device = t.map(ShapeToPath(shape, drawn, false));
    const QList<QPolygonF> figures = device.toSubpathPolygons();
    if (fill) {
        QPainterPath area;
        area.setFillRule(device.fillRule());
        for (const QPolygonF& figure : figures) {
            const QPolygonF cut = ClipPolygon(figure, near);
            if (cut.size() >= 3) area.addPolygon(cut), area.closeSubpath();
        }
        if (!area.isEmpty()) {
            TShape part;
            part.Kind = TShapeKind::skPath;
            part.Path = back.map(area);
            part.Stroke = false;
            TDrawState s = drawn;
            s.Pen.Style = PS_NULL;
            FInner.DrawShape(part, s);
        }
    }
    if (stroke) {
        QPainterPath lines;
        for (const QPolygonF& figure : figures) {
            bool open = false;
            for (qsizetype i = 1; i < figure.size(); ++i) {
                QPointF a = figure[i - 1], b = figure[i];
                const bool whole = bound.contains(a);
                if (!ClipSegment(bound, a, b)) {
                    open = false;
                    continue;
                }
                if (!open || !whole) lines.moveTo(a);
                lines.lineTo(b);
                open = bound.contains(figure[i]);
            }
        }
        if (!lines.isEmpty()) {
            TShape part;
            part.Kind = TShapeKind::skPath;
            part.Path = back.map(lines);
            part.Fill = false;
            FInner.DrawShape(part, drawn);
        }
    }
}

void TPageGuard::DrawText(const TTextRun& run, const TDrawState& state) {
    const QTransform& t = state.Transform;
    const QPointF reference = t.map(QPointF(run.Reference));
    const QRectF bound = Bound();
    const bool boxed = !run.Rect.isNull() && (run.Options & (ETO_OPAQUE | ETO_CLIPPED));
    const QRectF box =
        boxed ? t.mapRect(QRectF(QPointF(run.Rect.left(), run.Rect.top()), QPointF(run.Rect.right(), run.Rect.bottom()))
                              .normalized())
              : QRectF();
    bool textInside =
        !run.Text.empty() && std::isfinite(reference.x()) && std::isfinite(reference.y()) && bound.contains(reference);
    const bool boxInside = boxed && Finite(box) && Meets(bound, box);
    if (!textInside && !boxInside) {
        ++FWork.Dropped;
        return;
    }
    if (FRoot == this) {
        ChargePoints(run.Text.size() + 4);
        // Fonts made since the last look (by the player, or by the device for the text before): a page
        // that keeps making fonts stops at its next text.
        ChargeFonts();
    }
    // Characters that their advances carry beyond the bound are left out, and so is text whose em
    // alone is larger than the bound.
    const double span = PageMax + 2 * Margin;
    if (textInside && std::abs(static_cast<double>(state.Font.Height)) * ScaleOf(t) > span) {
        ++FWork.Dropped;
        textInside = false;
    }
    size_t keep = run.Text.size();
    if (textInside && !run.Dx.empty()) {
        const size_t per = (run.Options & ETO_PDY) ? 2 : 1;
        const double reach = span / std::max(ScaleOf(t), 1e-9);
        double x = 0, y = 0;
        for (size_t i = 0; i < run.Text.size() && per * i < run.Dx.size(); ++i) {
            x += run.Dx[per * i];
            if (per == 2 && per * i + 1 < run.Dx.size()) y += run.Dx[per * i + 1];
            if (std::hypot(x, y) > reach) {
                keep = i;
                break;
            }
        }
    }
    if (textInside && FRoot == this) {
        // Each glyph costs about its em square (rasterised, or filled as an outline when large),
        // counted in areas of the page so that the charge is the same at every resolution.
        const double scale = ScaleOf(t);
        const double height = state.Font.Height == 0 ? 16 : std::abs(static_cast<double>(state.Font.Height));
        const double width = state.Font.Width > 0 ? 2.0 * state.Font.Width : height;
        FWork.GlyphArea += static_cast<double>(keep) * std::min(height * scale, PageMax + 2 * Margin) *
                           std::min(width * scale, PageMax + 2 * Margin) / FPageArea;
        if (FWork.GlyphArea > FLimits.GlyphArea) Stop("glyph area in pages", FWork.GlyphArea, FLimits.GlyphArea);
    }
    if ((!boxed || Inside(bound, box)) && textInside && keep == run.Text.size()) {
        FInner.DrawText(run, state);
        return;
    }
    TTextRun cut = run;
    if (!textInside) cut.Text.clear(), cut.Dx.clear();
    if (keep < cut.Text.size()) {
        cut.Text.resize(keep);
        cut.Dx.resize(std::min(cut.Dx.size(), keep * ((run.Options & ETO_PDY) ? 2 : 1)));
    }
    if (boxed && !Inside(bound, box)) {
        const QRectF logical = LogicalBound(t);
        const QRectF given =
            QRectF(QPointF(run.Rect.left(), run.Rect.top()), QPointF(run.Rect.right(), run.Rect.bottom())).normalized();
        const QRectF r(QPointF(std::max(given.left(), logical.left()), std::max(given.top(), logical.top())),
                       QPointF(std::min(given.right(), logical.right()), std::min(given.bottom(), logical.bottom())));
        if (logical.isEmpty() || r.width() < 0 || r.height() < 0) {
            ++FWork.Dropped;
            return;
        }
        cut.Rect = ToRect(r);
    }
    if (cut.Text.empty() && !(cut.Options & ETO_OPAQUE)) return;
    FInner.DrawText(cut, state);
}

void TPageGuard::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    const QTransform& t = state.Transform;
    const QRect& d = draw.Destination;
    const QRectF dest(d.x(), d.y(), d.width(), d.height());
    const QRectF extent = t.mapRect(dest.normalized());
    const QRectF bound = Bound();
    if (!Finite(extent) || !Meets(bound, extent) || d.width() == 0 || d.height() == 0) {
        ++FWork.Dropped;
        return;
    }
    if (FRoot == this) {
        ChargePoints(8);
        ChargePainted(extent);
        // Devices decode the whole bitmap on every draw.
        graphics::TDibHeader header;
        if (graphics::ReadDibHeader(draw.Dib.Info, draw.Dib.Usage, header))
            ChargeImage(static_cast<uint64_t>(header.Width), static_cast<uint64_t>(header.Height));
    }
    if (Inside(bound, extent)) {
        FInner.DrawDib(draw, state);
        return;
    }
    // The part of the destination within the bound, and the matching part of the source.
    const QRectF visible = dest.normalized().intersected(LogicalBound(t));
    if (visible.isEmpty()) {
        ++FWork.Dropped;
        return;
    }
    // Fractions of the destination (from its x, y edge towards x + width, y + height, which may run
    // backwards when mirrored) that stay.
    auto fractions = [](double from, double size, double lo, double hi) {
        const double a = (lo - from) / size, b = (hi - from) / size;
        return std::pair{std::clamp(std::min(a, b), 0.0, 1.0), std::clamp(std::max(a, b), 0.0, 1.0)};
    };
    const auto [x0, x1] = fractions(dest.x(), dest.width(), visible.left(), visible.right());
    const auto [y0, y1] = fractions(dest.y(), dest.height(), visible.top(), visible.bottom());
    TDibDraw cut = draw;
    cut.Destination = QRect(static_cast<int>(std::floor(dest.x() + x0 * dest.width())),
                            static_cast<int>(std::floor(dest.y() + y0 * dest.height())),
                            static_cast<int>(std::ceil((x1 - x0) * dest.width())),
                            static_cast<int>(std::ceil((y1 - y0) * dest.height())));
    if (!draw.Dib.Info.empty()) {
        const auto& info = draw.Dib.Info;
        if (info.size() < 12) return;
        auto i32 = [&](size_t at) {
            return static_cast<int32_t>(static_cast<uint32_t>(info[at]) | static_cast<uint32_t>(info[at + 1]) << 8 |
                                        static_cast<uint32_t>(info[at + 2]) << 16 |
                                        static_cast<uint32_t>(info[at + 3]) << 24);
        };
        const bool core = i32(0) == 12;
        const int64_t width = core ? static_cast<int16_t>(info[4] | info[5] << 8) : i32(4);
        const int64_t height = core ? static_cast<int16_t>(info[6] | info[7] << 8) : i32(8);
        QRectF src(draw.Source.x(), draw.Source.y(), draw.Source.width(), draw.Source.height());
        if (src.width() == 0 || src.height() == 0)
            src = QRectF(0, 0, static_cast<double>(width), std::abs(static_cast<double>(height)));
        // A bottom-up bitmap's source y counts from the bottom row up, so the destination's top edge
        // meets the source's far edge.
        const bool bottomUp = height > 0;
        const double sx = src.x() + x0 * src.width(), sw = (x1 - x0) * src.width();
        const double sy = bottomUp ? src.y() + (1 - y1) * src.height() : src.y() + y0 * src.height();
        const double sh = (y1 - y0) * src.height();
        cut.Source =
            QRect(static_cast<int>(std::floor(sx)), static_cast<int>(std::floor(sy)),
                  std::max(1, static_cast<int>(std::lround(sw))), std::max(1, static_cast<int>(std::lround(sh))));
    }
    FInner.DrawDib(cut, state);
}

} // namespace pagimo::gdi
