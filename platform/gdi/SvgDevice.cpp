#include "platform/gdi/SvgDevice.h"

#include "platform/emf/LittleEndian.h"
#include "platform/gdi/DibImage.h"
#include "platform/gdi/TextLayout.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace pagimo::gdi {

namespace {

constexpr uint32_t BiJpeg = 4, BiPng = 5; // DIB compressions that hold a whole image file

void AppendPoint(std::string& out, QPointF p) {
    AppendSvgNumber(out, p.x());
    out += ' ';
    AppendSvgNumber(out, p.y());
}

std::string Matrix(const QTransform& m) {
    std::string s = "matrix(";
    const double v[] = {m.m11(), m.m12(), m.m21(), m.m22(), m.m31(), m.m32()};
    for (int i = 0; i < 6; ++i) {
        if (i) s += ' ';
        AppendSvgNumber(s, v[i], i < 4 ? 5 : 2);
    }
    return s + ")";
}

std::string Opacity(uint8_t alpha) {
    if (alpha == 255) return {};
    std::string s = " opacity=\"";
    AppendSvgNumber(s, alpha / 255.0, 3);
    return s + "\"";
}

std::string Url(const std::string& id) {
    return "url(#" + id + ")";
}

} // namespace

TSvgDevice::TSvgDevice(TSvgDocument& document, QSizeF sizeMM, QSize pixels, std::string idPrefix)
    : FDocument(document), FPrefix(std::move(idPrefix)), FTarget(QPointF(), QSizeF(pixels)), FSizeMM(sizeMM) {
    FCaps = TDeviceCaps::Screen(pixels.width(), pixels.height(), 96);
    FCaps.HorzSizeMM = static_cast<int32_t>(std::lround(sizeMM.width()));
    FCaps.VertSizeMM = static_cast<int32_t>(std::lround(sizeMM.height()));
}

TSvgDevice::~TSvgDevice() = default;

int TSvgDevice::ClipFor(const QPainterPath& devicePath) {
    // The same clip (the cells of a table clipping their text alike) is written once.
    std::string element =
        Element(devicePath, QTransform(), devicePath.fillRule() == Qt::WindingFill ? " clip-rule=\"nonzero\"" : "");
    if (auto it = FClipElements.find(element); it != FClipElements.end()) return it->second;
    const int id = ++FClips;
    FDefs += "<clipPath id=\"" + FPrefix + "c" + std::to_string(id) + "\">" + element + "</clipPath>";
    FClipBounds.push_back(devicePath.boundingRect());
    FClipElements.emplace(std::move(element), id);
    return id;
}

int TSvgDevice::ClipOf(const TDrawState& state) {
    if (!state.Clip) return 0;
    if (auto it = FClipIndex.find(state.Clip.get()); it != FClipIndex.end()) return it->second;
    FClipKeys.push_back(state.Clip);
    const int id = ClipFor(*state.Clip);
    FClipIndex.emplace(state.Clip.get(), id);
    return id;
}

void TSvgDevice::Add(std::string markup, const QRectF& box, const TDrawState& state) {
    Add(std::move(markup), std::vector<QRectF>{box}, state);
}

void TSvgDevice::Add(std::string markup, std::vector<QRectF> boxes, const TDrawState& state) {
    TOp op;
    op.Markup = std::move(markup);
    op.Clip = ClipOf(state);
    if (op.Clip)
        for (QRectF& box : boxes)
            box = box.intersected(FClipBounds[static_cast<size_t>(op.Clip - 1)]);
    op.Boxes = std::move(boxes);
    FOps.push_back(std::move(op));
}

namespace {

// Where a stroke puts ink: a box around each segment (so a frame drawn over a page covers only its
// edges), or around the whole figure when it has many.
std::vector<QRectF> StrokeBoxes(const QPainterPath& path, const QTransform& t, double width) {
    std::vector<QRectF> boxes;
    const double h = width / 2 + 0.5;
    if (path.elementCount() > 256) {
        boxes.push_back(t.mapRect(path.boundingRect()).adjusted(-h, -h, h, h));
        return boxes;
    }
    QPointF last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        const QPointF p = t.map(QPointF(e.x, e.y));
        if (e.isLineTo()) {
            boxes.push_back(QRectF(last, p).normalized().adjusted(-h, -h, h, h));
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            QPolygonF hull{last, p};
            for (int k = 1; k <= 2; ++k)
                hull << t.map(QPointF(path.elementAt(i + k).x, path.elementAt(i + k).y));
            boxes.push_back(hull.boundingRect().adjusted(-h, -h, h, h));
            i += 2;
            last = hull.back();
            continue;
        }
        last = p;
    }
    return boxes;
}

} // namespace

std::string TSvgDevice::PathData(const QPainterPath& path, const QTransform& t) const {
    std::string d;
    QPointF start;
    char last = 0;
    auto command = [&](char c) {
        if (c != last || c == 'M') {
            d += c;
        } else {
            d += ' ';
        }
        last = c;
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        const QPointF p = t.map(QPointF(e.x, e.y));
        switch (e.type) {
        case QPainterPath::MoveToElement:
            command('M');
            AppendPoint(d, p);
            start = p;
            break;
        case QPainterPath::LineToElement:
            if (p == start && (i + 1 == path.elementCount() || path.elementAt(i + 1).isMoveTo())) {
                d += 'Z';
                last = 'Z';
            } else {
                command('L');
                AppendPoint(d, p);
            }
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < path.elementCount()) {
                command('C');
                AppendPoint(d, p);
                d += ' ';
                AppendPoint(d, t.map(QPointF(path.elementAt(i + 1).x, path.elementAt(i + 1).y)));
                d += ' ';
                AppendPoint(d, t.map(QPointF(path.elementAt(i + 2).x, path.elementAt(i + 2).y)));
                i += 2;
            }
            break;
        default:
            break;
        }
    }
    return d;
}

std::string TSvgDevice::Element(const QPainterPath& path, const QTransform& t, const std::string& attributes) const {
    // Axis-parallel boxes (the bulk of a report: frames, rules, cell backgrounds) as rectangles.
    if (path.elementCount() == 5 && t.type() <= QTransform::TxScale && path.elementAt(0).isMoveTo()) {
        QPointF p[5];
        for (int i = 0; i < 5; ++i)
            p[i] = t.map(QPointF(path.elementAt(i).x, path.elementAt(i).y));
        const bool box =
            p[4] == p[0] &&
            ((p[0].y() == p[1].y() && p[1].x() == p[2].x() && p[2].y() == p[3].y() && p[3].x() == p[0].x()) ||
             (p[0].x() == p[1].x() && p[1].y() == p[2].y() && p[2].x() == p[3].x() && p[3].y() == p[0].y()));
        if (box) {
            const QRectF r = QRectF(p[0], p[2]).normalized();
            std::string s = "<rect x=\"";
            AppendSvgNumber(s, r.x());
            s += "\" y=\"";
            AppendSvgNumber(s, r.y());
            s += "\" width=\"";
            AppendSvgNumber(s, r.width());
            s += "\" height=\"";
            AppendSvgNumber(s, r.height());
            return s + "\"" + attributes + "/>";
        }
    }
    return "<path d=\"" + PathData(path, t) + "\"" + attributes + "/>";
}

std::string TSvgDevice::FillPaint(const TLogBrush& brush, const QTransform& t, const QRectF& extent) {
    switch (brush.Style) {
    case BS_FILL:
        return brush.Fill ? GradientPaint(*brush.Fill, t, extent) : SvgColor(brush.Color);
    case BS_NULL:
        return "none";
    case BS_HATCHED: {
        if (brush.Hatch > HS_DIAGCROSS) return ImagePaint(HatchImage(brush.Hatch, brush.Color));
        const std::string key = std::string("h") + std::to_string(brush.Hatch) + "|" + std::to_string(brush.Color);
        auto it = FPatterns.find(key);
        if (it == FPatterns.end()) {
            const std::string id = FPrefix + "p" + std::to_string(FPatterns.size() + 1);
            const double cell = 8 * FPixel, m = cell / 2, e = FPixel; // lines run a little past the cell
            std::string d;
            auto line = [&](double x0, double y0, double x1, double y1) {
                d += 'M';
                AppendPoint(d, QPointF(x0, y0));
                d += 'L';
                AppendPoint(d, QPointF(x1, y1));
            };
            const uint32_t h = brush.Hatch;
            if (h == HS_HORIZONTAL || h == HS_CROSS) line(-e, m, cell + e, m);
            if (h == HS_VERTICAL || h == HS_CROSS) line(m, -e, m, cell + e);
            if (h == HS_FDIAGONAL || h == HS_DIAGCROSS) line(-e, -e, cell + e, cell + e);
            if (h == HS_BDIAGONAL || h == HS_DIAGCROSS) line(-e, cell + e, cell + e, -e);
            std::string size;
            AppendSvgNumber(size, cell, 3);
            std::string width;
            AppendSvgNumber(width, FPixel, 3);
            FDefs += "<pattern id=\"" + id + "\" patternUnits=\"userSpaceOnUse\" width=\"" + size + "\" height=\"" +
                     size + "\"><path d=\"" + d + "\" fill=\"none\" stroke=\"" + SvgColor(brush.Color) +
                     "\" stroke-width=\"" + width + "\" stroke-linecap=\"butt\"/></pattern>";
            it = FPatterns.emplace(key, id).first;
        }
        return Url(it->second);
    }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (!brush.Pattern || brush.Pattern->isNull()) return SvgColor(brush.Color);
        return ImagePaint(*brush.Pattern);
    default:
        return SvgColor(brush.Color);
    }
}

std::string TSvgDevice::ImagePaint(const QImage& picture) {
    const std::string image = FDocument.ImageId(picture);
    const std::string key = "i" + image;
    auto it = FPatterns.find(key);
    if (it == FPatterns.end()) {
        const std::string id = FPrefix + "p" + std::to_string(FPatterns.size() + 1);
        std::string w, h, scale;
        AppendSvgNumber(w, picture.width() * FPixel, 3);
        AppendSvgNumber(h, picture.height() * FPixel, 3);
        AppendSvgNumber(scale, FPixel, 5);
        FDefs += "<pattern id=\"" + id + "\" patternUnits=\"userSpaceOnUse\" width=\"" + w + "\" height=\"" + h +
                 "\"><use xlink:href=\"#" + image + "\" transform=\"scale(" + scale + ")\"/></pattern>";
        it = FPatterns.emplace(key, id).first;
    }
    return Url(it->second);
}

// EMF+ fills: a linear gradient along x of the fill's space, a texture tiled (or drawn once) in it, or a
// mesh of coloured triangles as the picture they make over the filled extent.
std::string TSvgDevice::GradientPaint(const TBrushFill& f, const QTransform& t, const QRectF& extent) {
    const QTransform toDevice = f.Space * t;
    std::string def;
    if (f.Kind == TBrushFill::TKind::Linear) {
        def = "<linearGradient gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"0\" "
              "gradientTransform=\"" +
              Matrix(toDevice) + "\"";
        if (f.Wrap == TBrushFill::TWrap::Tile) def += " spreadMethod=\"repeat\"";
        if (f.Wrap == TBrushFill::TWrap::Reflect) def += " spreadMethod=\"reflect\"";
        def += '>';
        for (const auto& stop : f.Stops) {
            def += "<stop offset=\"";
            AppendSvgNumber(def, std::clamp(stop.At, 0.0, 1.0), 4);
            def += "\" stop-color=\"" +
                   SvgColor(Rgb(static_cast<uint8_t>(stop.Argb >> 16), static_cast<uint8_t>(stop.Argb >> 8),
                                static_cast<uint8_t>(stop.Argb))) +
                   "\"";
            if ((stop.Argb >> 24) != 255)
                def += " stop-opacity=\"" + std::to_string((stop.Argb >> 24) / 255.0).substr(0, 5) + "\"";
            def += "/>";
        }
        def += "</linearGradient>";
    } else {
        QImage image;
        QTransform place;
        if (f.Kind == TBrushFill::TKind::Texture) {
            if (!f.Image || f.Image->isNull())
                return SvgColor(Rgb(static_cast<uint8_t>(f.Mean >> 16), static_cast<uint8_t>(f.Mean >> 8),
                                    static_cast<uint8_t>(f.Mean)));
            image = *f.Image;
            place = toDevice;
        } else {
            const QRect area = extent.toAlignedRect().intersected(QRect(-32768, -32768, 98304, 98304));
            const QSize size(std::clamp(area.width(), 1, 4096), std::clamp(area.height(), 1, 4096));
            image = RasteriseMesh(f,
                                  toDevice * QTransform::fromTranslate(-area.x(), -area.y()) *
                                      QTransform::fromScale(double(size.width()) / std::max(area.width(), 1),
                                                            double(size.height()) / std::max(area.height(), 1)),
                                  size);
            place = QTransform::fromScale(double(std::max(area.width(), 1)) / size.width(),
                                          double(std::max(area.height(), 1)) / size.height()) *
                    QTransform::fromTranslate(area.x(), area.y());
        }
        const bool once = f.Kind == TBrushFill::TKind::Mesh || f.Wrap == TBrushFill::TWrap::Clamp;
        std::string w, h;
        AppendSvgNumber(w, once ? 1e7 : image.width(), 0);
        AppendSvgNumber(h, once ? 1e7 : image.height(), 0);
        def = "<pattern patternUnits=\"userSpaceOnUse\" width=\"" + w + "\" height=\"" + h + "\" patternTransform=\"" +
              Matrix(place) + "\"><use xlink:href=\"#" + FDocument.ImageId(image) + "\"/></pattern>";
    }
    auto it = FPatterns.find(def);
    if (it == FPatterns.end()) {
        const std::string id = FPrefix + "g" + std::to_string(FPatterns.size() + 1);
        const size_t space = def.find(' ');
        FDefs += def.substr(0, space) + " id=\"" + id + "\"" + def.substr(space);
        it = FPatterns.emplace(def, id).first;
    }
    return Url(it->second);
}

void TSvgDevice::FillPath(const QPainterPath& path, const QTransform& t, const std::string& fill,
                          const TDrawState& state, bool crisp) {
    std::string attributes = " fill=\"" + fill + "\"";
    if (path.fillRule() == Qt::WindingFill) attributes += " fill-rule=\"nonzero\"";
    attributes += Opacity(state.Opacity);
    if (crisp) attributes += " class=\"c\"";
    Add(Element(path, t, attributes), t.mapRect(path.boundingRect()), state);
}

void TSvgDevice::DrawShape(const TShape& shape, const TDrawState& state) {
    if (state.Rop2 == R2_NOP) return;
    const QTransform& t = state.Transform;
    bool fill = shape.Fill && state.Brush.Style != BS_NULL && shape.Kind != TShapeKind::skPolyline &&
                shape.Kind != TShapeKind::skArc && shape.Kind != TShapeKind::skPolyBezier;
    const bool stroke = shape.Stroke && (state.Pen.Style & PS_STYLE_MASK) != PS_NULL;
    if (!fill && !stroke) return;
    const QPainterPath path = ShapeToPath(shape, state, false);
    // Figures along the axes are drawn on whole pixels without antialiasing, as the painter device does.
    const bool crisp = !state.Smooth && IsRectilinear(path, t);
    if (fill && crisp && path.elementCount() <= 5) {
        // A hairline rule thinner than a device unit still covers one row or column.
        QRectF d = t.mapRect(path.boundingRect());
        if (d.height() < 1 || d.width() < 1) {
            if (d.height() < 1) d = QRectF(d.left(), std::floor(d.center().y()), d.width(), 1);
            if (d.width() < 1) d = QRectF(std::floor(d.center().x()), d.top(), 1, d.height());
            QPainterPath rule;
            rule.addRect(d);
            FillPath(rule, QTransform(), FillPaint(state.Brush, t, d), state, true);
            fill = false;
            if (!stroke) return;
        }
    }
    if (fill) {
        if (state.Brush.Style == BS_HATCHED && state.BkMode == OPAQUE)
            FillPath(path, t, SvgColor(state.BkColor), state, crisp);
        FillPath(path, t, FillPaint(state.Brush, t, t.mapRect(path.boundingRect())), state, crisp);
    }
    if (stroke) StrokePath(path, state, crisp);
}

// The pen along path: its width, caps, joins and dashes, and the background in the gaps of thin
// styled lines in opaque mode.
void TSvgDevice::StrokePath(const QPainterPath& path, const TDrawState& state, bool crisp) {
    const QTransform& t = state.Transform;
    // GDI strokes pixel centres: half a pixel of the reference device to the right and down.
    const QTransform shifted = t * QTransform::fromTranslate(FPixel / 2, FPixel / 2);
    const TLogPen& lp = state.Pen;
    const TStroke pen = StrokeOf(lp, t, FPixel, shifted.mapRect(path.boundingRect()));
    const bool thin = pen.Thin;
    const double width = pen.Width;
    const std::vector<double>& dashes = pen.Dashes;
    std::string common = " fill=\"none\" stroke-width=\"";
    AppendSvgNumber(common, width, 2);
    common += '"';
    switch (lp.Style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE:
        common += " stroke-linecap=\"square\"";
        break;
    case PS_ENDCAP_FLAT:
        common += " stroke-linecap=\"butt\"";
        break;
    default:
        break;
    }
    switch (lp.Style & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL:
        common += " stroke-linejoin=\"bevel\"";
        break;
    case PS_JOIN_MITER:
        common += " stroke-linejoin=\"miter\" stroke-miterlimit=\"";
        AppendSvgNumber(common, std::max(1.0f, state.MiterLimit), 2);
        common += '"';
        break;
    default:
        break;
    }
    common += Opacity(state.Opacity);
    if (crisp) common += " class=\"c\"";
    const std::vector<QRectF> box = StrokeBoxes(path, shifted, width);
    if (!dashes.empty() && state.BkMode == OPAQUE && thin) {
        // Gaps of thin styled lines show the background colour in opaque mode.
        Add(Element(path, shifted, " stroke=\"" + SvgColor(state.BkColor) + "\"" + common), box, state);
    }
    std::string attributes = " stroke=\"" + SvgColor(lp.Color) + "\"" + common;
    if (!dashes.empty()) {
        attributes += " stroke-dasharray=\"";
        for (size_t i = 0; i < dashes.size(); ++i) {
            if (i) attributes += ' ';
            AppendSvgNumber(attributes, dashes[i] * width, 2);
        }
        attributes += '"';
        if (lp.DashOffset != 0) {
            attributes += " stroke-dashoffset=\"";
            AppendSvgNumber(attributes, lp.DashOffset * width, 2);
            attributes += '"';
        }
    }
    Add(Element(path, shifted, attributes), box, state);
}

std::string TSvgDevice::TextElement(const TTextLayout& layout, const TDrawState& state, std::string& outlines) {
    const TMatchedFont& font = *layout.Font;
    const double ws = font.WidthScale > 0 ? font.WidthScale : 1;
    const double k = std::sqrt(std::abs(layout.Text.determinant()));
    if (!(k > 0)) return {};
    // Glyph space (logical units along the baseline, positions before the width scale) to the device;
    // the text is written at its device em size, so that the browser picks its sizes for the screen
    // and the text matrix of plain text is a translation.
    const QTransform glyphs = QTransform::fromScale(ws, 1) * layout.Text;
    const QTransform t = QTransform::fromScale(1 / k, 1 / k) * glyphs;
    auto near = [](double a, double b) { return std::abs(a - b) < 1e-4; };
    const bool plain = near(t.m11(), 1) && near(t.m12(), 0) && near(t.m21(), 0) && near(t.m22(), 1);
    const std::string color = SvgColor(state.TextColor);
    // The run's characters in order: glyphs of a web font shown, and unseen (class n) the characters
    // of glyphs drawn as outlines (a face without TrueType outlines) and those no face can show, so
    // that the text reads as qrptool text reads it.
    struct TChar {
        char32_t Char;
        QPointF At;
        int Font;
        bool Unseen;
    };
    std::vector<TChar> chars;
    auto add = [&](const TPlacedGlyph& g, int web) {
        if (!IsXmlChar(g.Char)) return;
        const QPointF p = g.Position * k;
        chars.push_back({g.Char, plain ? QPointF(p.x() + t.m31(), p.y() + t.m32()) : p, web, web < 0});
    };
    size_t missing = 0;
    for (size_t i = 0; i <= layout.Glyphs.size(); ++i) {
        for (; missing < layout.Missing.size() && layout.Missing[missing].first == i; ++missing)
            add(layout.Missing[missing].second, -1);
        if (i == layout.Glyphs.size()) break;
        const TPlacedGlyph& g = layout.Glyphs[i];
        const QRawFont& raw = g.Fallback ? font.Fallback : font.Raw;
        const int web = FDocument.FontFor(raw, g.Glyph, g.Char);
        if (web < 0) {
            QPainterPath outline = raw.pathForGlyph(g.Glyph).translated(g.Position);
            outline.setFillRule(Qt::WindingFill);
            if (!outline.isEmpty())
                outlines += Element(outline, glyphs, " fill=\"" + color + "\" fill-rule=\"nonzero\"");
        }
        add(g, web);
    }
    if (chars.empty()) return {};
    const double size = font.EmSize * k;
    const QString named = QString::fromStdU16String(state.Font.FaceName);
    auto classOf = [&](const TChar& c) {
        return FDocument.TextClass(c.Font, size, named, font.Raw) + (c.Unseen ? " n" : "");
    };
    const std::string base = classOf(chars[0]);
    std::string s = "<text class=\"" + base + "\" x=\"";
    for (size_t i = 0; i < chars.size(); ++i) {
        if (i) s += ' ';
        AppendSvgNumber(s, chars[i].At.x());
    }
    s += "\" y=\"";
    const bool oneLine =
        std::all_of(chars.begin(), chars.end(), [&](const TChar& c) { return c.At.y() == chars[0].At.y(); });
    for (size_t i = 0; i < (oneLine ? 1 : chars.size()); ++i) {
        if (i) s += ' ';
        AppendSvgNumber(s, chars[i].At.y());
    }
    s += '"';
    if (state.TextColor != clBlack) s += " fill=\"" + color + "\"";
    if (!plain) s += " transform=\"" + Matrix(t) + "\"";
    s += Opacity(state.Opacity) + ">";
    // Characters of another web font (a fallback face, a second subset) or unseen in spans of their own.
    for (size_t i = 0; i < chars.size();) {
        const std::string cls = classOf(chars[i]);
        std::u32string run;
        size_t j = i;
        for (; j < chars.size() && chars[j].Font == chars[i].Font && chars[j].Unseen == chars[i].Unseen; ++j)
            run.push_back(chars[j].Char);
        const bool span = cls != base;
        if (span) s += "<tspan class=\"" + cls + "\">";
        AppendXmlEscaped(s, run);
        if (span) s += "</tspan>";
        i = j;
    }
    return s + "</text>";
}

void TSvgDevice::DrawText(const TTextRun& run, const TDrawState& state) {
    if (run.Text.empty() && !(run.Options & ETO_OPAQUE)) return;
    const QTransform& t = state.Transform;
    const TTextLayout layout = LayOutText(run, state, QTransform());
    if ((run.Options & ETO_OPAQUE) && !run.Rect.isNull()) {
        const QRect r = run.Rect.normalized();
        QPainterPath box;
        box.addRect(QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1));
        FillPath(box, t, SvgColor(state.BkColor), state, IsRectilinear(box, t));
    }
    if (!layout.Valid || run.Text.empty()) return;
    const TMatchedFont& font = *layout.Font;
    const QRectF cell(layout.Left, layout.Baseline - font.Ascent, layout.Total, font.Ascent + font.Descent);
    if (state.BkMode == OPAQUE && !(run.Options & ETO_OPAQUE)) {
        QPainterPath box;
        box.addRect(cell);
        FillPath(box, layout.Text, SvgColor(state.BkColor), state, IsRectilinear(box, layout.Text));
    }
    if (!(layout.DeviceEm < 1e6)) return; // nothing that size fits on any device
    std::string outlines;
    std::string text = TextElement(layout, state, outlines);
    std::string decorations;
    if (font.Underline || font.StrikeOut) {
        const double thick = std::max(font.Raw.lineThickness(), 0.5);
        const std::string fill = " fill=\"" + SvgColor(state.TextColor) + "\"";
        QPainterPath line;
        if (font.Underline)
            line.addRect(QRectF(layout.Left, layout.Baseline + font.Raw.underlinePosition(), layout.Total, thick));
        if (font.StrikeOut)
            line.addRect(
                QRectF(layout.Left, layout.Baseline - font.Raw.xHeight() / 2 - thick / 2, layout.Total, thick));
        decorations = Element(line, layout.Text, fill);
    }
    std::string markup = text + outlines + decorations;
    if ((run.Options & ETO_CLIPPED) && !run.Rect.isNull()) {
        const QRect r = run.Rect.normalized();
        QPainterPath box;
        box.addRect(QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1));
        markup = "<g clip-path=\"" + Url(FPrefix + "c" + std::to_string(ClipFor(t.map(box)))) + "\">" + markup + "</g>";
    }
    const size_t items = FText.Items().size();
    FText.DrawText(run, state);
    Add(std::move(markup), layout.Text.mapRect(cell), state);
    FOps.back().Text = std::move(text);
    if (FText.Items().size() > items) FOps.back().Item = static_cast<int>(items);
}

void TSvgDevice::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    const QTransform& t = state.Transform;
    const QRect d = draw.Destination;
    const QRectF dest(d.x(), d.y(), d.width(), d.height());
    if (draw.Dib.Info.empty()) {
        // Without a bitmap: what a device without raster operations can do.
        QPainterPath box;
        box.addRect(dest.normalized());
        const bool crisp = IsRectilinear(box, t);
        switch (draw.Rop) {
        case BLACKNESS:
            FillPath(box, t, SvgColor(clBlack), state, crisp);
            break;
        case WHITENESS:
            FillPath(box, t, SvgColor(clWhite), state, crisp);
            break;
        case PATCOPY:
            if (state.Brush.Style != BS_NULL)
                FillPath(box, t, FillPaint(state.Brush, t, t.mapRect(box.boundingRect())), state, crisp);
            break;
        default:
            break;
        }
        return;
    }
    QImage image = DibToImage(draw.Dib, draw.SourceAlpha);
    if (image.isNull()) return;
    const QRect src = DibSourceRect(draw, image);
    const bool whole = src == image.rect();
    if (!whole) image = image.copy(src);
    if (image.isNull()) return;
    const char* blend = nullptr;
    switch (draw.Rop) {
    case SRCAND:
        blend = "multiply";
        break;
    case SRCPAINT:
        blend = "lighten";
        break;
    case SRCINVERT:
        blend = "difference";
        break;
    case NOTSRCCOPY:
        image.invertPixels();
        break;
    default:
        break;
    }
    // A JPEG or PNG bitmap drawn whole keeps its own file.
    std::string id;
    const auto& info = draw.Dib.Info;
    const uint32_t compression = info.size() >= 40 ? emf::GetU32(info.data() + 16) : 0;
    if (whole && draw.Rop == SRCCOPY && (compression == BiJpeg || compression == BiPng) && !draw.Dib.Bits.empty())
        id = FDocument.ImageId(std::string(draw.Dib.Bits.begin(), draw.Dib.Bits.end()),
                               compression == BiJpeg ? "image/jpeg" : "image/png", image.width(), image.height());
    else
        id = FDocument.ImageId(image);
    // The image's pixels onto the destination; negative sizes mirror.
    const QTransform place =
        QTransform(dest.width() / image.width(), 0, 0, dest.height() / image.height(), dest.x(), dest.y()) * t;
    std::string markup = "<use xlink:href=\"#" + id + "\" transform=\"" + Matrix(place) + "\"";
    markup += Opacity(draw.ConstantAlpha);
    // Enlarged without smoothing unless the stretch mode asks for it, as the painter device draws them.
    const QRectF target = place.mapRect(QRectF(0, 0, image.width(), image.height()));
    const bool smooth =
        state.StretchBltMode == HALFTONE || state.StretchBltMode == COLORONCOLOR || target.width() < image.width();
    if (blend || !smooth) {
        markup += " style=\"";
        if (blend) markup += std::string("mix-blend-mode:") + blend + ";";
        if (!smooth) markup += "image-rendering:pixelated";
        markup += '"';
    }
    markup += " role=\"img\" aria-label=\"Picture\"/>";
    Add(std::move(markup), target, state);
}

std::vector<bool> TSvgDevice::Covered() const {
    // Which text runs later drawing overlaps, found through a coarse grid of the page: each cell lists
    // the boxes of the drawing that reaches into it, walked from the last drawing back.
    constexpr int Grid = 32;
    std::vector<bool> covered(FOps.size(), false);
    std::vector<std::vector<std::pair<size_t, size_t>>> cells(Grid * Grid); // op, box
    std::vector<std::vector<QRectF>> boxes(FOps.size());
    const double cw = std::max(FTarget.width(), 1.0) / Grid, ch = std::max(FTarget.height(), 1.0) / Grid;
    auto range = [&](const QRectF& r, int& x0, int& y0, int& x1, int& y1) {
        x0 = std::clamp(static_cast<int>(std::floor(r.left() / cw)), 0, Grid - 1);
        x1 = std::clamp(static_cast<int>(std::floor(r.right() / cw)), 0, Grid - 1);
        y0 = std::clamp(static_cast<int>(std::floor(r.top() / ch)), 0, Grid - 1);
        y1 = std::clamp(static_cast<int>(std::floor(r.bottom() / ch)), 0, Grid - 1);
    };
    for (size_t i = FOps.size(); i-- > 0;) {
        const TOp& op = FOps[i];
        for (QRectF box : op.Boxes) {
            box = box.normalized();
            // A run's cell includes the font's leading: rules touching it do not cover its glyphs.
            if (op.Item >= 0) box.adjust(1, 1, -1, -1);
            if (!box.isValid() || !std::isfinite(box.width()) || !std::isfinite(box.height())) continue;
            int x0, y0, x1, y1;
            range(box, x0, y0, x1, y1);
            if (op.Item >= 0) {
                for (int y = y0; y <= y1 && !covered[i]; ++y)
                    for (int x = x0; x <= x1 && !covered[i]; ++x)
                        for (const auto& [j, k] : cells[static_cast<size_t>(y * Grid + x)])
                            if (boxes[j][k].intersects(box)) {
                                covered[i] = true;
                                break;
                            }
            }
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x)
                    cells[static_cast<size_t>(y * Grid + x)].emplace_back(i, boxes[i].size());
            boxes[i].push_back(box);
        }
    }
    return covered;
}

std::string TSvgDevice::Finish(std::string_view defs, std::string_view overlay) const {
    const std::vector<bool> covered = Covered();
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"";
    AppendSvgNumber(out, FSizeMM.width(), 2);
    out += "mm\" height=\"";
    AppendSvgNumber(out, FSizeMM.height(), 2);
    out += "mm\" viewBox=\"0 0 ";
    AppendSvgNumber(out, FTarget.width(), 2);
    out += ' ';
    AppendSvgNumber(out, FTarget.height(), 2);
    out += "\" xml:space=\"preserve\" fill-rule=\"evenodd\" clip-rule=\"evenodd\" stroke-linecap=\"round\" "
           "stroke-linejoin=\"round\">";
    if (!defs.empty() || !FDefs.empty()) {
        out += "<defs>";
        out += defs;
        out += FDefs;
        out += "</defs>";
    }
    out += "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>";
    int clip = 0;
    auto useClip = [&](int c) {
        if (c == clip) return;
        if (clip) out += "</g>";
        clip = c;
        if (clip) out += "<g clip-path=\"" + Url(FPrefix + "c" + std::to_string(clip)) + "\">";
    };
    for (size_t i = 0; i < FOps.size(); ++i) {
        const TOp& op = FOps[i];
        if (op.Item >= 0 && !covered[i]) continue; // drawn with the text, below
        useClip(op.Clip);
        if (op.Item >= 0)
            out += "<g class=\"v\" aria-hidden=\"true\">" + op.Markup + "</g>";
        else
            out += op.Markup;
    }
    useClip(0);
    std::vector<int> opOfItem(FText.Items().size(), -1);
    for (size_t i = 0; i < FOps.size(); ++i)
        if (FOps[i].Item >= 0) opOfItem[static_cast<size_t>(FOps[i].Item)] = static_cast<int>(i);
    out += "<g class=\"t\">";
    for (const TReadingStep& step : FText.ReadingSteps()) {
        if (step.Before) out += step.Before;
        const int i = opOfItem[step.Item];
        if (i < 0) continue;
        const TOp& op = FOps[static_cast<size_t>(i)];
        if (covered[static_cast<size_t>(i)]) {
            useClip(0);
            if (!op.Text.empty()) out += "<g class=\"h\">" + op.Text + "</g>";
        } else {
            useClip(op.Clip);
            out += op.Markup;
        }
    }
    useClip(0);
    out += "</g>";
    out += overlay;
    out += "</svg>";
    return out;
}

} // namespace pagimo::gdi
