#include "platform/gdi/EmfPlusCaps.h"

#include "platform/gdi/EmfPlusFills.h"

#include <QPolygonF>

#include <cmath>
#include <vector>

namespace pagimo::gdi {

using namespace emf;

namespace {

constexpr int32_t CapFlat = 0, CapSquare = 1, CapRound = 2, CapTriangle = 3, CapSquareAnchor = 0x11,
                  CapRoundAnchor = 0x12, CapDiamondAnchor = 0x13, CapArrowAnchor = 0x14, CapCustom = 0xFF;

// Cap space: x across the line, y along it out of the figure, origin at the figure's end.
struct TFrame {
    QPointF End, Dir, Across;
    QPointF operator()(double x, double y) const { return End + Across * x + Dir * y; }
    QPolygonF Polygon(std::initializer_list<QPointF> points) const {
        QPolygonF out;
        for (const QPointF& p : points)
            out << (*this)(p.x(), p.y());
        return out;
    }
};

void AddPolygon(QPainterPath& to, const QPolygonF& polygon) {
    to.addPolygon(polygon);
    to.closeSubpath();
}

// Adds the cap of kind at the frame's end; returns how far the line stops short of it.
double AddCap(TCapShapes& shapes, int32_t kind, const TPlusCustomLineCap* custom, const TFrame& f, double w) {
    switch (kind) {
    case CapSquare:
        AddPolygon(shapes.Fill, f.Polygon({{-w / 2, 0}, {w / 2, 0}, {w / 2, w / 2}, {-w / 2, w / 2}}));
        return 0;
    case CapRound:
        shapes.Fill.addEllipse(f.End, w / 2, w / 2);
        return 0;
    case CapTriangle:
        AddPolygon(shapes.Fill, f.Polygon({{-w / 2, 0}, {w / 2, 0}, {0, w / 2}}));
        return 0;
    case CapSquareAnchor:
        AddPolygon(shapes.Fill, f.Polygon({{-w, -w}, {w, -w}, {w, w}, {-w, w}}));
        return 0;
    case CapRoundAnchor:
        shapes.Fill.addEllipse(f.End, w, w);
        return 0;
    case CapDiamondAnchor:
        AddPolygon(shapes.Fill, f.Polygon({{0, -w}, {w, 0}, {0, w}, {-w, 0}}));
        return 0;
    case CapArrowAnchor:
        AddPolygon(shapes.Fill, f.Polygon({{0, 0}, {-w, -2 * w}, {w, -2 * w}}));
        return w; // where the arrow is as wide as the line
    case CapCustom:
        break;
    default:
        return 0;
    }
    if (!custom) return 0;
    const double s = w * (custom->WidthScale > 0 ? custom->WidthScale : 1);
    if (custom->Type == 1) {
        // An adjustable arrow: its tip at the end, its base Height back, notched by MiddleInset.
        const double width = custom->Width * s, height = custom->Height * s, middle = custom->MiddleInset * s;
        const QPolygonF arrow = f.Polygon({{0, 0}, {-width / 2, -height}, {0, -height + middle}, {width / 2, -height}});
        if (!custom->FillState) {
            AddPolygon(shapes.Line, arrow);
            return 0;
        }
        AddPolygon(shapes.Fill, arrow);
        if (width <= 0) return 0;
        return std::max(0.0, std::min(height * w / width, height - middle));
    }
    // Path caps: the fill and line paths in units of the (scaled) width.
    auto place = [&](const std::optional<TPlusPath>& p, QPainterPath& to) {
        if (!p) return;
        const QTransform m(f.Across.x() * s, f.Across.y() * s, f.Dir.x() * s, f.Dir.y() * s, f.End.x(), f.End.y());
        to.addPath(m.map(PlusPathToQt(*p)));
    };
    place(custom->FillPath, shapes.Fill);
    place(custom->LinePath, shapes.Line);
    return std::max(0.0, static_cast<double>(custom->BaseInset) * s);
}

bool Basic(int32_t kind) {
    return kind == CapFlat || kind == CapSquare || kind == CapRound;
}

} // namespace

int ApplyCaps(QPainterPath& path, const TPlusPen& pen, double width, TCapShapes& shapes) {
    const int32_t start = (pen.Flags & EmfPlusPenStartCap) ? pen.StartCap : CapFlat;
    const int32_t end = (pen.Flags & EmfPlusPenEndCap) ? pen.EndCap : CapFlat;
    if (Basic(start) && start == end) return start;
    const int n = path.elementCount();
    auto at = [&](int i) { return QPointF(path.elementAt(i).x, path.elementAt(i).y); };
    auto unit = [](QPointF v) {
        const double len = std::hypot(v.x(), v.y());
        return len > 1e-12 ? v / len : QPointF();
    };
    for (int first = 0; first < n;) {
        int last = first;
        while (last + 1 < n && !path.elementAt(last + 1).isMoveTo())
            ++last;
        const QPointF a = at(first), b = at(last);
        if (last > first && a != b) { // closed figures have no caps
            int k = last - 1;
            while (k > first && at(k) == b)
                --k;
            int j = first + 1;
            while (j < last && at(j) == a)
                ++j;
            const QPointF outEnd = unit(b - at(k)), outStart = unit(a - at(j));
            if (!outEnd.isNull() && end != CapFlat) {
                const TFrame f{b, outEnd, QPointF(-outEnd.y(), outEnd.x())};
                const double inset = AddCap(shapes, end, pen.CustomEndCap ? &*pen.CustomEndCap : nullptr, f, width);
                if (inset > 0 && std::hypot(b.x() - at(k).x(), b.y() - at(k).y()) > inset) {
                    const QPointF moved = b - outEnd * inset;
                    path.setElementPositionAt(last, moved.x(), moved.y());
                }
            }
            if (!outStart.isNull() && start != CapFlat) {
                const TFrame f{a, outStart, QPointF(-outStart.y(), outStart.x())};
                const double inset =
                    AddCap(shapes, start, pen.CustomStartCap ? &*pen.CustomStartCap : nullptr, f, width);
                if (inset > 0 && std::hypot(a.x() - at(j).x(), a.y() - at(j).y()) > inset) {
                    const QPointF moved = a - outStart * inset;
                    path.setElementPositionAt(first, moved.x(), moved.y());
                }
            }
        }
        first = last + 1;
    }
    return CapFlat;
}

std::vector<double> PlusDashes(const TPlusPen& pen) {
    double total = 0;
    for (float d : pen.DashArray)
        total += std::max(0.0f, d);
    if (!pen.DashArray.empty() && total > 0) {
        std::vector<double> out(pen.DashArray.begin(), pen.DashArray.end());
        for (double& d : out)
            d = std::max(0.0, d);
        if (out.size() % 2) out.insert(out.end(), out.begin(), out.end());
        return out;
    }
    switch (pen.LineStyle) {
    case 1:
        return {3, 1};
    case 2:
        return {1, 1};
    case 3:
        return {3, 1, 1, 1};
    case 4:
        return {3, 1, 1, 1, 1, 1};
    default:
        return {};
    }
}

} // namespace pagimo::gdi
