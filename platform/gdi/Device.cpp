#include "platform/gdi/Device.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace pagimo::gdi {

namespace {

// The box that the pen follows and the brush fills: GDI leaves out the right and bottom edge.
QRectF InnerBox(const QRect& box) {
    const double l = std::min(box.left(), box.right()), r = std::max(box.left(), box.right());
    const double t = std::min(box.top(), box.bottom()), b = std::max(box.top(), box.bottom());
    return QRectF(l, t, std::max(r - l - 1, 0.0), std::max(b - t - 1, 0.0));
}

// Angle in degrees (counter-clockwise on screen) of the radial through p, in the ellipse's own
// parameter, which is what QPainterPath::arcTo expects.
double ParametricAngle(const QRectF& r, QPointF p) {
    const QPointF c = r.center();
    const double rx = std::max(r.width() / 2, 1e-9), ry = std::max(r.height() / 2, 1e-9);
    return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180.0 / std::numbers::pi;
}

void AddArc(QPainterPath& path, const QRectF& r, QPoint start, QPoint end, int direction, bool moveFirst) {
    const double a0 = ParametricAngle(r, start);
    const double a1 = ParametricAngle(r, end);
    double sweep = a1 - a0;
    if (direction == AD_CLOCKWISE) {
        while (sweep >= 0)
            sweep -= 360;
    } else {
        while (sweep <= 0)
            sweep += 360;
    }
    if (moveFirst) path.arcMoveTo(r, a0);
    path.arcTo(r, a0, sweep);
}

} // namespace

QPainterPath ShapeToPath(const TShape& shape, const TDrawState& state, bool strokePath) {
    QPainterPath path;
    path.setFillRule(state.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    switch (shape.Kind) {
    case TShapeKind::skRectangle:
        if (!shape.Stroke && !strokePath) {
            const QRect n = shape.Box.normalized();
            path.addRect(QRectF(n.left(), n.top(), n.right() - n.left(), n.bottom() - n.top()));
        } else {
            path.addRect(InnerBox(shape.Box));
        }
        break;
    case TShapeKind::skRoundRect:
        path.addRoundedRect(InnerBox(shape.Box), std::abs(shape.Corner.width()) / 2.0,
                            std::abs(shape.Corner.height()) / 2.0);
        break;
    case TShapeKind::skEllipse:
        path.addEllipse(InnerBox(shape.Box));
        break;
    case TShapeKind::skArc:
    case TShapeKind::skChord:
    case TShapeKind::skPie: {
        const QRectF r = InnerBox(shape.Box);
        if (shape.Kind == TShapeKind::skPie) {
            path.moveTo(r.center());
            AddArc(path, r, shape.Start, shape.End, state.ArcDirection, false);
            path.closeSubpath();
        } else {
            AddArc(path, r, shape.Start, shape.End, state.ArcDirection, true);
            if (shape.Kind == TShapeKind::skChord) path.closeSubpath();
        }
        break;
    }
    case TShapeKind::skPolyline:
    case TShapeKind::skPolygon: {
        const bool close = shape.Kind == TShapeKind::skPolygon;
        size_t at = 0;
        auto figure = [&](size_t n) {
            if (n == 0 || at + n > shape.Points.size()) return;
            path.moveTo(shape.Points[at]);
            for (size_t i = 1; i < n; ++i)
                path.lineTo(shape.Points[at + i]);
            if (close) path.closeSubpath();
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
    case TShapeKind::skPolyBezier:
        if (!shape.Points.empty()) {
            path.moveTo(shape.Points[0]);
            for (size_t i = 1; i + 2 < shape.Points.size(); i += 3)
                path.cubicTo(shape.Points[i], shape.Points[i + 1], shape.Points[i + 2]);
        }
        break;
    case TShapeKind::skPath:
        path = shape.Path;
        path.setFillRule(state.PolyFillMode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
        break;
    }
    return path;
}

bool IsRectilinear(const QPainterPath& path, const QTransform& t) {
    if (t.type() > QTransform::TxScale) return false;
    QPointF last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        if (e.isCurveTo()) return false;
        const QPointF p(e.x, e.y);
        if (e.isLineTo() && p.x() != last.x() && p.y() != last.y()) return false;
        last = p;
    }
    return true;
}

double ScaleOf(const QTransform& t) {
    return std::sqrt(std::abs(t.determinant()));
}

TStroke StrokeOf(const TLogPen& pen, const QTransform& t, double pixel, const QRectF& extent) {
    const bool geometric = (pen.Style & PS_TYPE_MASK) == PS_GEOMETRIC;
    const double scale = ScaleOf(t);
    TStroke stroke;
    stroke.Thin = (pen.Width <= 1 && !geometric) || pen.Width * scale < 1.0;
    stroke.Width = stroke.Thin ? pixel : std::min(pen.Width, 1 << 20) * scale;
    stroke.Dashes = DashPattern(pen, stroke.Thin);
    if (!stroke.Dashes.empty() && std::max(extent.width(), extent.height()) > 1e5) stroke.Dashes.clear();
    return stroke;
}

std::vector<double> DashPattern(uint32_t style, bool thin) {
    switch (style & PS_STYLE_MASK) {
    case PS_DASH:
        return thin ? std::vector<double>{18, 6} : std::vector<double>{3, 1};
    case PS_DOT:
        return thin ? std::vector<double>{3, 3} : std::vector<double>{1, 1};
    case PS_ALTERNATE:
        return {1, 1};
    case PS_DASHDOT:
        return thin ? std::vector<double>{9, 6, 3, 6} : std::vector<double>{3, 1, 1, 1};
    case PS_DASHDOTDOT:
        return thin ? std::vector<double>{9, 3, 3, 3, 3, 3} : std::vector<double>{3, 1, 1, 1, 1, 1};
    default:
        return {};
    }
}

std::vector<double> DashPattern(const TLogPen& pen, bool thin) {
    if ((pen.Style & PS_STYLE_MASK) != PS_USERSTYLE) return DashPattern(pen.Style, thin);
    if (!pen.UserStyle || pen.UserStyle->empty()) return DashPattern(PS_DASH, thin);
    // The devices' patterns are in pen widths for wide pens, which is how geometric pens scale their
    // entries; thin pens take them as pixels.
    std::vector<double> out;
    double total = 0;
    for (double v : *pen.UserStyle) {
        out.push_back(v);
        total += v;
    }
    if (!(total > 0)) return {}; // nothing but zero-length entries: a solid line
    // An odd count repeats with dashes and gaps swapped; the dash pattern of the devices is even.
    if (out.size() % 2) out.insert(out.end(), out.begin(), out.end());
    return out;
}

QImage HatchImage(uint32_t hatch, TColorRef color) {
    QImage image(8, 8, QImage::Format_ARGB32);
    const uint8_t* rows = HatchRows(hatch);
    const QRgb on = qRgb(RedOf(color), GreenOf(color), BlueOf(color));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            image.setPixel(x, y, (rows[y] & (0x80 >> x)) ? on : 0);
    return image;
}

QImage RasteriseMesh(const TBrushFill& fill, const QTransform& toImage, QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.fill(Qt::transparent);
    const QTransform t = fill.Space * toImage;
    auto premultiplied = [](uint32_t argb) {
        const double a = (argb >> 24) / 255.0;
        return std::array<double, 4>{static_cast<double>(argb >> 24), ((argb >> 16) & 0xFF) * a,
                                     ((argb >> 8) & 0xFF) * a, (argb & 0xFF) * a};
    };
    for (size_t i = 0; i + 2 < fill.Triangles.size(); i += 3) {
        const QPointF p[3] = {t.map(fill.Triangles[i].At), t.map(fill.Triangles[i + 1].At),
                              t.map(fill.Triangles[i + 2].At)};
        const std::array<double, 4> c[3] = {premultiplied(fill.Triangles[i].Argb),
                                            premultiplied(fill.Triangles[i + 1].Argb),
                                            premultiplied(fill.Triangles[i + 2].Argb)};
        const double area =
            (p[1].x() - p[0].x()) * (p[2].y() - p[0].y()) - (p[2].x() - p[0].x()) * (p[1].y() - p[0].y());
        if (!(std::abs(area) > 1e-12) || !std::isfinite(area)) continue;
        // The triangle's pixel rows and columns within the image (corners far outside are held at its edge).
        auto within = [](double v, int last) {
            return static_cast<int>(std::clamp(v, -1.0, static_cast<double>(last) + 1));
        };
        const int x0 = std::max(0, within(std::floor(std::min({p[0].x(), p[1].x(), p[2].x()})), size.width()));
        const int x1 =
            std::min(size.width() - 1, within(std::ceil(std::max({p[0].x(), p[1].x(), p[2].x()})), size.width()));
        const int y0 = std::max(0, within(std::floor(std::min({p[0].y(), p[1].y(), p[2].y()})), size.height()));
        const int y1 =
            std::min(size.height() - 1, within(std::ceil(std::max({p[0].y(), p[1].y(), p[2].y()})), size.height()));
        // Pixel centres by barycentric weights, a hair of slack so that neighbouring triangles meet.
        constexpr double Slack = -1e-3;
        for (int y = y0; y <= y1; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            const double py = y + 0.5;
            // Each weight is linear along the row; the columns where all three reach the slack (a pixel
            // wider each side, the test below decides) are the only ones visited, so a thin triangle
            // costs its own pixels, not its bounding box's.
            const std::array<double, 3> slope = {(p[1].y() - p[2].y()) / area, (p[2].y() - p[0].y()) / area,
                                                 (p[0].y() - p[1].y()) / area};
            const std::array<double, 3> at0 = {(p[1].x() * (p[2].y() - py) - p[2].x() * (p[1].y() - py)) / area,
                                               (p[2].x() * (p[0].y() - py) - p[0].x() * (p[2].y() - py)) / area,
                                               (p[0].x() * (p[1].y() - py) - p[1].x() * (p[0].y() - py)) / area};
            double lo = x0, hi = x1;
            for (int k = 0; k < 3 && lo <= hi; ++k) {
                if (slope[k] == 0) {
                    if (at0[k] < 2 * Slack) hi = lo - 1;
                    continue;
                }
                const double edge = (Slack - at0[k]) / slope[k] - 0.5; // the column where weight k is the slack
                if (slope[k] > 0)
                    lo = std::max(lo, std::floor(edge) - 1);
                else
                    hi = std::min(hi, std::ceil(edge) + 1);
            }
            if (!(lo <= hi)) continue;
            // Along the row the weights change by their slopes; each channel is a sum of the weights.
            const int from = static_cast<int>(lo), to = static_cast<int>(hi);
            double w0 = at0[0] + slope[0] * (from + 0.5), w1 = at0[1] + slope[1] * (from + 0.5);
            for (int x = from; x <= to; ++x, w0 += slope[0], w1 += slope[1]) {
                const double w2 = 1 - w0 - w1;
                if (!(w0 >= Slack && w1 >= Slack && w2 >= Slack)) continue; // NaN weights too
                int v[4];
                for (int k = 0; k < 4; ++k)
                    v[k] = static_cast<int>(std::clamp(w0 * c[0][k] + w1 * c[1][k] + w2 * c[2][k], 0.0, 255.0) + 0.5);
                row[x] = qRgba(v[1], v[2], v[3], v[0]);
            }
        }
    }
    return image;
}

QRect DibSourceRect(const TDibDraw& draw, const QImage& image) {
    // StretchDIBits counts y from the bottom row of a bottom-up bitmap.
    QRect src = draw.Source;
    const auto& info = draw.Dib.Info;
    auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(info[at]) | static_cast<uint32_t>(info[at + 1]) << 8 |
               static_cast<uint32_t>(info[at + 2]) << 16 | static_cast<uint32_t>(info[at + 3]) << 24;
    };
    int32_t infoHeight = 0;
    if (info.size() >= 12)
        infoHeight = u32(0) == 12 ? static_cast<int16_t>(info[6] | info[7] << 8) : static_cast<int32_t>(u32(8));
    if (infoHeight > 0) src.moveTop(image.height() - src.y() - src.height());
    src = src.normalized();
    if (src.width() == 0 || src.height() == 0) src = image.rect();
    return src;
}

} // namespace pagimo::gdi
