#include "platform/gdi/EmfPlusFills.h"

#include <algorithm>
#include <cmath>

namespace pagimo::gdi {

using namespace emf;

namespace {

constexpr size_t MaxBoundary = 512;      // points of a path gradient's boundary
constexpr size_t MaxRings = 32;          // colour bands between a path gradient's boundary and its centre
constexpr int64_t MaxFlipTile = 1 << 24; // pixels of a texture tile with mirrored copies built in

QTransform ToQt(const TPlusMatrix& m) {
    return QTransform(m.M11, m.M12, m.M21, m.M22, m.Dx, m.Dy);
}

// Channels mixed in linear light (GDI+'s gamma-corrected gradients), gamma 2.2.
uint32_t MixGamma(uint32_t a, uint32_t b, double t) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double x = ((a >> shift) & 0xFF) / 255.0, y = ((b >> shift) & 0xFF) / 255.0;
        double v = shift == 24 ? x + (y - x) * t
                               : std::pow(std::pow(x, 2.2) + (std::pow(y, 2.2) - std::pow(x, 2.2)) * t, 1 / 2.2);
        out |= static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)) << shift;
    }
    return out;
}

// A piecewise linear function through (positions, values), clamped to its ends; identity when empty.
double Blend(const std::vector<float>& positions, const std::vector<float>& values, double p) {
    const size_t n = std::min(positions.size(), values.size());
    if (n == 0) return p;
    if (p <= positions[0]) return values[0];
    for (size_t i = 1; i < n; ++i)
        if (p <= positions[i]) {
            const double span = positions[i] - positions[i - 1];
            const double t = span > 1e-9 ? (p - positions[i - 1]) / span : 1;
            return values[i - 1] + (values[i] - values[i - 1]) * t;
        }
    return values[n - 1];
}

uint32_t PresetAt(const std::vector<float>& positions, const std::vector<uint32_t>& colors, double p, bool gamma) {
    const size_t n = std::min(positions.size(), colors.size());
    if (n == 0) return 0xFF000000;
    if (p <= positions[0]) return colors[0];
    for (size_t i = 1; i < n; ++i)
        if (p <= positions[i]) {
            const double span = positions[i] - positions[i - 1];
            const double t = span > 1e-9 ? (p - positions[i - 1]) / span : 1;
            return gamma ? MixGamma(colors[i - 1], colors[i], t) : MixArgb(colors[i - 1], colors[i], t);
        }
    return colors[n - 1];
}

// The positions where a gradient's colour changes slope: its blend positions, 0 and 1, and (gamma
// corrected) eight steps between each, at most MaxRings + 1 in all.
std::vector<double> Breaks(const std::vector<float>& positions, bool gamma) {
    std::vector<double> at{0, 1};
    for (float p : positions)
        if (p > 0 && p < 1) at.push_back(p);
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end(), [](double a, double b) { return b - a < 1e-6; }), at.end());
    if (gamma) {
        std::vector<double> fine;
        for (size_t i = 0; i + 1 < at.size(); ++i)
            for (int k = 0; k < 8; ++k)
                fine.push_back(at[i] + (at[i + 1] - at[i]) * k / 8);
        fine.push_back(1);
        at = std::move(fine);
    }
    if (at.size() > MaxRings + 1) {
        std::vector<double> even;
        for (size_t i = 0; i <= MaxRings; ++i)
            even.push_back(static_cast<double>(i) / MaxRings);
        at = std::move(even);
    }
    return at;
}

bool Gamma(const TPlusBrush& b) {
    return b.Flags & 0x80; // BrushDataIsGammaCorrected
}

std::shared_ptr<TBrushFill> LinearFill(const TPlusBrush& b) {
    auto fill = std::make_shared<TBrushFill>();
    fill->Kind = TBrushFill::TKind::Linear;
    // Colours run left to right across the brush's rectangle; the brush transform places it in the world.
    fill->Space = QTransform(b.Rect.Width, 0, 0, b.Rect.Height, b.Rect.X, b.Rect.Y);
    if (b.Flags & EmfPlusBrushDataTransform) fill->Space *= ToQt(b.Transform);
    const bool preset = (b.Flags & EmfPlusBrushDataPresetColors) && !b.PresetColors.empty();
    const bool gamma = Gamma(b);
    for (double p : Breaks(b.BlendPositions, gamma)) {
        const uint32_t c = preset ? PresetAt(b.BlendPositions, b.PresetColors, p, gamma)
                                  : (gamma ? MixGamma(b.Color, b.Back, Blend(b.BlendPositions, b.BlendFactors, p))
                                           : MixArgb(b.Color, b.Back, Blend(b.BlendPositions, b.BlendFactors, p)));
        fill->Stops.push_back({p, c});
    }
    switch (b.Wrap) {
    case 0:
    case 2:
        fill->Wrap = TBrushFill::TWrap::Tile;
        break;
    case 1:
    case 3:
        fill->Wrap = TBrushFill::TWrap::Reflect;
        break;
    default:
        fill->Wrap = TBrushFill::TWrap::Clamp;
        break;
    }
    return fill;
}

std::vector<QPointF> BoundaryOf(const TPlusBrush& b, bool* asGiven) {
    std::vector<QPointF> out;
    *asGiven = true;
    if (b.BoundaryPath) {
        const QPainterPath path = PlusPathToQt(*b.BoundaryPath);
        const QList<QPolygonF> figures = path.toSubpathPolygons();
        if (!figures.isEmpty()) out.assign(figures.front().begin(), figures.front().end());
        *asGiven = out.size() == b.BoundaryPath->Points.size();
    } else {
        for (const TPlusPointF& p : b.BoundaryPoints)
            out.emplace_back(p.X, p.Y);
    }
    if (out.size() > 1 && out.front() == out.back()) out.pop_back();
    if (out.size() > MaxBoundary) {
        std::vector<QPointF> fewer;
        for (size_t i = 0; i < MaxBoundary; ++i)
            fewer.push_back(out[i * out.size() / MaxBoundary]);
        out = std::move(fewer);
        *asGiven = false;
    }
    return out;
}

std::shared_ptr<TBrushFill> PathFill(const TPlusBrush& b) {
    auto fill = std::make_shared<TBrushFill>();
    fill->Kind = TBrushFill::TKind::Mesh;
    if (b.Flags & EmfPlusBrushDataTransform) fill->Space = ToQt(b.Transform);
    bool asGiven = true;
    const std::vector<QPointF> boundary = BoundaryOf(b, &asGiven);
    const size_t n = boundary.size();
    if (n < 3) return fill;
    const QPointF centre(b.Center.X, b.Center.Y);
    const size_t m = b.Surround.size();
    auto surround = [&](size_t i) {
        if (m == 0) return b.Color;
        return b.Surround[std::min(asGiven ? i : i * m / n, m - 1)];
    };
    const bool preset = (b.Flags & EmfPlusBrushDataPresetColors) && !b.PresetColors.empty();
    const bool gamma = Gamma(b);
    // Rings from the boundary (p = 0) to the focus polygon (p = 1, the boundary scaled about the centre
    // by the focus scales: the centre itself without them), each coloured by the blend at p.
    const double fx = b.FocusX, fy = b.FocusY;
    auto ring = [&](double p, std::vector<TBrushFill::TVertex>& out) {
        out.clear();
        const double sx = 1 + p * (fx - 1), sy = 1 + p * (fy - 1);
        for (size_t i = 0; i < n; ++i) {
            const QPointF d = boundary[i] - centre;
            const uint32_t c =
                preset ? PresetAt(b.BlendPositions, b.PresetColors, p, gamma)
                       : (gamma ? MixGamma(surround(i), b.Color, Blend(b.BlendPositions, b.BlendFactors, p))
                                : MixArgb(surround(i), b.Color, Blend(b.BlendPositions, b.BlendFactors, p)));
            out.push_back({centre + QPointF(d.x() * sx, d.y() * sy), c});
        }
    };
    const std::vector<double> at = Breaks(b.BlendPositions, gamma);
    std::vector<TBrushFill::TVertex> outer, inner;
    ring(at[0], outer);
    auto& tri = fill->Triangles;
    for (size_t k = 1; k < at.size(); ++k) {
        ring(at[k], inner);
        const bool point = at[k] >= 1 && std::abs(fx) < 1e-6 && std::abs(fy) < 1e-6;
        for (size_t i = 0; i < n; ++i) {
            const size_t j = (i + 1) % n;
            tri.insert(tri.end(), {outer[i], outer[j], inner[j]});
            if (!point) tri.insert(tri.end(), {outer[i], inner[j], inner[i]});
        }
        std::swap(outer, inner);
    }
    // Inside the focus polygon: the centre colour throughout.
    if (std::abs(fx) >= 1e-6 || std::abs(fy) >= 1e-6) {
        const uint32_t c = preset ? PresetAt(b.BlendPositions, b.PresetColors, 1, gamma) : b.Color;
        for (size_t i = 0; i < n; ++i)
            tri.insert(tri.end(), {TBrushFill::TVertex{centre, c}, {outer[i].At, c}, {outer[(i + 1) % n].At, c}});
    }
    return fill;
}

uint32_t MeanOf(const QImage& image) {
    const QImage small = image
                             .scaled(std::min(image.width(), 32), std::min(image.height(), 32), Qt::IgnoreAspectRatio,
                                     Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_ARGB32);
    double sum[4] = {};
    const double n = std::max(1.0, static_cast<double>(small.width()) * small.height());
    for (int y = 0; y < small.height(); ++y)
        for (int x = 0; x < small.width(); ++x) {
            const QRgb c = small.pixel(x, y);
            sum[0] += qAlpha(c), sum[1] += qRed(c), sum[2] += qGreen(c), sum[3] += qBlue(c);
        }
    return (static_cast<uint32_t>(sum[0] / n) << 24) | (static_cast<uint32_t>(sum[1] / n) << 16) |
           (static_cast<uint32_t>(sum[2] / n) << 8) | static_cast<uint32_t>(sum[3] / n);
}

} // namespace

uint32_t MixArgb(uint32_t a, uint32_t b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const double x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
        out |= static_cast<uint32_t>(std::lround(x + (y - x) * t)) << shift;
    }
    return out;
}

QPainterPath PlusPathToQt(const TPlusPath& p) {
    QPainterPath path;
    const size_t count = std::min(p.Points.size(), p.Types.size());
    for (size_t i = 0; i < count; ++i) {
        const uint8_t kind = p.Types[i] & 0x07;
        const QPointF at(p.Points[i].X, p.Points[i].Y);
        if (kind == EmfPlusPathStart || path.elementCount() == 0) {
            path.moveTo(at);
        } else if (kind == EmfPlusPathBezier && i + 2 < count) {
            path.cubicTo(at, QPointF(p.Points[i + 1].X, p.Points[i + 1].Y),
                         QPointF(p.Points[i + 2].X, p.Points[i + 2].Y));
            i += 2;
        } else {
            path.lineTo(at);
        }
        if (p.Types[i] & EmfPlusPathClose) path.closeSubpath();
    }
    return path;
}

TPlusBrushObject SolidBrushObject(uint32_t argb) {
    TPlusBrushObject o;
    o.Brush.Color = argb;
    o.Mean = argb;
    return o;
}

TPlusBrushObject MakeBrushObject(const TPlusBrush& brush, std::shared_ptr<const QImage> texture) {
    TPlusBrushObject o;
    o.Brush = brush;
    o.Mean = brush.Color;
    switch (brush.Type) {
    case EmfPlusBrushLinearGradient: {
        auto fill = LinearFill(brush);
        o.Mean = MixArgb(fill->Stops.front().Argb, fill->Stops.back().Argb, 0.5);
        fill->Mean = o.Mean;
        // A gradient across no width has no direction: its mean colour stands in for it.
        const double det = fill->Space.determinant();
        if (std::isfinite(det) && std::abs(det) > 1e-12) o.Fill = std::move(fill);
        break;
    }
    case EmfPlusBrushPathGradient: {
        auto fill = PathFill(brush);
        o.Mean = MixArgb(brush.Color, brush.Surround.empty() ? brush.Color : brush.Surround.front(), 0.5);
        fill->Mean = o.Mean;
        o.Fill = std::move(fill);
        break;
    }
    case EmfPlusBrushTexture: {
        if (!texture || texture->isNull()) {
            o.Approximate = true;
            o.Mean = 0x80808080; // a mid grey at half opacity shows the area
            break;
        }
        QImage tile = *texture;
        const bool flipX = brush.Wrap == 1 || brush.Wrap == 3, flipY = brush.Wrap == 2 || brush.Wrap == 3;
        if ((flipX || flipY) && static_cast<int64_t>(tile.width()) * tile.height() * 4 <= MaxFlipTile) {
            QImage both(tile.width() * (flipX ? 2 : 1), tile.height() * (flipY ? 2 : 1),
                        QImage::Format_ARGB32_Premultiplied);
            both.fill(Qt::transparent);
            for (int qy = 0; qy < (flipY ? 2 : 1); ++qy)
                for (int qx = 0; qx < (flipX ? 2 : 1); ++qx) {
                    const QImage part =
                        tile.mirrored(qx == 1, qy == 1).convertToFormat(QImage::Format_ARGB32_Premultiplied);
                    for (int y = 0; y < part.height(); ++y)
                        std::copy_n(reinterpret_cast<const QRgb*>(part.constScanLine(y)), part.width(),
                                    reinterpret_cast<QRgb*>(both.scanLine(qy * part.height() + y)) + qx * part.width());
                }
            tile = std::move(both);
        }
        auto fill = std::make_shared<TBrushFill>();
        fill->Kind = TBrushFill::TKind::Texture;
        if (brush.Flags & EmfPlusBrushDataTransform) fill->Space = ToQt(brush.Transform);
        fill->Wrap = brush.Wrap == 4 ? TBrushFill::TWrap::Clamp : TBrushFill::TWrap::Tile;
        o.Texture = std::make_shared<const QImage>(std::move(tile));
        fill->Image = o.Texture;
        o.Mean = MeanOf(*o.Texture);
        fill->Mean = o.Mean;
        o.Fill = std::move(fill);
        break;
    }
    default:
        break;
    }
    return o;
}

std::shared_ptr<const TBrushFill> ScaledFill(const TPlusBrushObject& brush, double k) {
    if (!brush.Fill) return nullptr;
    auto fill = std::make_shared<TBrushFill>(*brush.Fill);
    fill->Space *= QTransform::fromScale(k, k);
    return fill;
}

} // namespace pagimo::gdi
