#include "platform/gdi/PdfDevice.h"

#include "platform/gdi/DibImage.h"
#include "platform/gdi/TextLayout.h"

#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace pagimo::gdi {

namespace {

TColorRef ToColorRef(uint32_t argb) {
    return gdi::Rgb(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb));
}

std::string Rgb(TColorRef c, const char* op) {
    std::string s = ColorOperands(c);
    s += ' ';
    s += op;
    s += '\n';
    return s;
}

void AppendPoint(std::string& out, QPointF p) {
    AppendNumber(out, p.x(), 1);
    out += ' ';
    AppendNumber(out, p.y(), 1);
    out += ' ';
}

// An ARGB colour's operands, over white where it is not opaque (shadings carry no alpha).
std::string ArgbOperands(uint32_t argb) {
    const double a = (argb >> 24) / 255.0;
    std::string s;
    for (int shift : {16, 8, 0}) {
        if (shift != 16) s += ' ';
        AppendNumber(s, (((argb >> shift) & 0xFF) * a + 255 * (1 - a)) / 255.0, 3);
    }
    return s;
}

// A function from 0..1 to the colours of stops (rising positions): linear between neighbours.
std::string StopsFunction(std::vector<TBrushFill::TStop> stops) {
    for (auto& stop : stops)
        stop.At = std::clamp(stop.At, 0.0, 1.0);
    if (stops.empty()) stops.push_back({0, 0xFF000000});
    if (stops.front().At > 0) stops.insert(stops.begin(), {0, stops.front().Argb});
    if (stops.back().At < 1) stops.push_back({1, stops.back().Argb});
    std::vector<std::string> parts;
    std::string bounds, encode;
    for (size_t i = 0; i + 1 < stops.size(); ++i) {
        if (stops[i + 1].At - stops[i].At < 1e-6) continue;
        if (!parts.empty()) {
            AppendNumber(bounds, stops[i].At, 5);
            bounds += ' ';
        }
        parts.push_back("<< /FunctionType 2 /Domain [0 1] /C0 [" + ArgbOperands(stops[i].Argb) + "] /C1 [" +
                        ArgbOperands(stops[i + 1].Argb) + "] /N 1 >>");
        encode += "0 1 ";
    }
    if (parts.empty())
        return "<< /FunctionType 2 /Domain [0 1] /C0 [" + ArgbOperands(stops.front().Argb) + "] /C1 [" +
               ArgbOperands(stops.front().Argb) + "] /N 1 >>";
    if (parts.size() == 1) return parts.front();
    std::string f = "<< /FunctionType 3 /Domain [0 1] /Functions [";
    for (const auto& p : parts)
        f += p + ' ';
    return f + "] /Bounds [" + bounds + "] /Encode [" + encode + "] >>";
}

void PutU32BigEndian(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>(v >> shift));
}

void AppendMatrix(std::string& out, const QTransform& m) {
    for (double v : {m.m11(), m.m12(), m.m21(), m.m22()}) {
        AppendNumber(out, v, 5);
        out += ' ';
    }
    AppendNumber(out, m.m31(), 2);
    out += ' ';
    AppendNumber(out, m.m32(), 2);
    out += ' ';
}

} // namespace

TPdfDevice::TPdfDevice(TPdfDocument& document, const TDeviceCaps& caps, double pageHeightPt, double pixel)
    : FDocument(document), FOut(document.Content()), FCaps(caps), FPixel(pixel > 0 ? pixel : 1) {
    const double unit = 72.0 / std::max(1, caps.LogPixelsX);
    FDeviceToPage = QTransform(unit, 0, 0, -unit, 0, pageHeightPt);
    // The content is written in device units with y up (the page's own direction), so that plain text
    // needs no flipping matrix; shapes and images are flipped on the way out instead.
    FFlip = QTransform(1, 0, 0, -1, 0, pageHeightPt / unit);
    FOut += "q ";
    AppendMatrix(FOut, QTransform::fromScale(unit, unit));
    FOut += "cm\n";
}

TPdfDevice::~TPdfDevice() {
    if (FClipped) FOut += "Q\n";
    FOut += "Q\n";
}

void TPdfDevice::Save() {
    FOut += "q\n";
    FSaved = FState;
}

void TPdfDevice::Restore() {
    FOut += "Q\n";
    FState = FSaved;
}

void TPdfDevice::SetFill(const std::string& operators) {
    if (!FState.FillColor && operators == FState.Fill) return;
    FOut += operators;
    FState.Fill = operators;
    FState.FillColor.reset();
}

void TPdfDevice::SetFillColor(TColorRef color) {
    if (FState.FillColor == color) return;
    AppendColorOperands(FOut, color);
    FOut += " rg\n";
    FState.FillColor = color;
}

void TPdfDevice::SetStroke(const std::string& operators) {
    if (!FState.StrokeColor && operators == FState.Stroke) return;
    FOut += operators;
    FState.Stroke = operators;
    FState.StrokeColor.reset();
}

void TPdfDevice::SetStrokeColor(TColorRef color) {
    if (FState.StrokeColor == color) return;
    AppendColorOperands(FOut, color);
    FOut += " RG\n";
    FState.StrokeColor = color;
}

void TPdfDevice::SetLine(const std::string& operators) {
    if (operators == FState.Line) return;
    FOut += operators;
    FState.Line = operators;
}

void TPdfDevice::ApplyClip(const TDrawState& state) {
    if (state.Clip == FAppliedClip && FClipKnown) return;
    FAppliedClip = state.Clip;
    FClipKnown = true;
    // PDF clips only narrow; a new clip starts again from the unclipped state.
    if (FClipped) {
        Restore();
        FClipped = false;
    }
    if (!state.Clip) return;
    Save();
    FClipped = true;
    AppendPath(*state.Clip, QTransform());
    FOut += state.Clip->fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
}

void TPdfDevice::AppendPath(const QPainterPath& path, const QTransform& toDevice) {
    const QTransform t = toDevice * FFlip;
    // Axis-parallel boxes (the bulk of a report: frames, rules, cell backgrounds) as re.
    if (path.elementCount() == 5 && t.type() <= QTransform::TxScale) {
        const QPointF p0 = t.map(QPointF(path.elementAt(0).x, path.elementAt(0).y));
        const QPointF p1 = t.map(QPointF(path.elementAt(1).x, path.elementAt(1).y));
        const QPointF p2 = t.map(QPointF(path.elementAt(2).x, path.elementAt(2).y));
        const QPointF p3 = t.map(QPointF(path.elementAt(3).x, path.elementAt(3).y));
        const QPointF p4 = t.map(QPointF(path.elementAt(4).x, path.elementAt(4).y));
        const bool box = path.elementAt(0).isMoveTo() && p4 == p0 &&
                         ((p0.y() == p1.y() && p1.x() == p2.x() && p2.y() == p3.y() && p3.x() == p0.x()) ||
                          (p0.x() == p1.x() && p1.y() == p2.y() && p2.x() == p3.x() && p3.y() == p0.y()));
        if (box) {
            AppendPoint(FOut, p0);
            AppendNumber(FOut, p2.x() - p0.x(), 1);
            FOut += ' ';
            AppendNumber(FOut, p2.y() - p0.y(), 1);
            FOut += " re\n";
            return;
        }
    }
    QPointF start;
    for (int i = 0; i < path.elementCount(); ++i) {
        const auto e = path.elementAt(i);
        const QPointF p = t.map(QPointF(e.x, e.y));
        switch (e.type) {
        case QPainterPath::MoveToElement:
            AppendPoint(FOut, p);
            FOut += "m\n";
            start = p;
            break;
        case QPainterPath::LineToElement:
            if (p == start && (i + 1 == path.elementCount() || path.elementAt(i + 1).isMoveTo())) {
                FOut += "h\n";
            } else {
                AppendPoint(FOut, p);
                FOut += "l\n";
            }
            break;
        case QPainterPath::CurveToElement:
            if (i + 2 < path.elementCount()) {
                AppendPoint(FOut, p);
                AppendPoint(FOut, t.map(QPointF(path.elementAt(i + 1).x, path.elementAt(i + 1).y)));
                AppendPoint(FOut, t.map(QPointF(path.elementAt(i + 2).x, path.elementAt(i + 2).y)));
                FOut += "c\n";
                i += 2;
            }
            break;
        default:
            break;
        }
    }
}

std::string TPdfDevice::GradientFill(const TBrushFill& f, const QTransform& t, const QRectF& extent) {
    const QTransform toPage = f.Space * t * FDeviceToPage;
    if (f.Kind == TBrushFill::TKind::Texture) {
        if (!f.Image || f.Image->isNull()) return Rgb(ToColorRef(f.Mean), "rg");
        return "/Pattern cs /" + FDocument.ImagePatternName(*f.Image, 1, toPage) + " scn\n";
    }
    std::string shading;
    std::string stream;
    if (f.Kind == TBrushFill::TKind::Linear) {
        // Colour by x of the fill's space; tiled and mirrored gradients as periods side by side over the
        // filled extent (at most 256, padded beyond).
        const std::string stops = StopsFunction(f.Stops);
        std::string coords = "0 0 1 0", domain = "0 1", function = stops;
        bool invertible = false;
        const QTransform back = f.Space.inverted(&invertible);
        if (f.Wrap != TBrushFill::TWrap::Clamp && invertible) {
            const QPolygonF corners = back.map(QPolygonF(extent));
            double lo = corners.boundingRect().left(), hi = corners.boundingRect().right();
            if (std::isfinite(lo) && std::isfinite(hi)) {
                const double first = std::floor(lo);
                const double last = std::min(std::ceil(hi), first + 256);
                if (last - first > 1) {
                    std::string functions, bounds, encode;
                    for (double k = first; k < last; ++k) {
                        functions += stops + ' ';
                        if (k > first) AppendNumber(bounds, k, 0), bounds += ' ';
                        const bool mirrored = f.Wrap == TBrushFill::TWrap::Reflect && std::fmod(std::abs(k), 2) == 1;
                        encode += mirrored ? "1 0 " : "0 1 ";
                    }
                    std::string range;
                    AppendNumber(range, first, 0);
                    range += ' ';
                    AppendNumber(range, last, 0);
                    domain = range;
                    std::string a, b;
                    AppendNumber(a, first, 0);
                    AppendNumber(b, last, 0);
                    coords = a + " 0 " + b + " 0";
                    function = "<< /FunctionType 3 /Domain [" + range + "] /Functions [" + functions + "] /Bounds [" +
                               bounds + "] /Encode [" + encode + "] >>";
                }
            }
        }
        shading = "/ShadingType 2 /ColorSpace /DeviceRGB /Coords [" + coords + "] /Domain [" + domain + "] /Function " +
                  function + " /Extend [true true]";
    } else {
        // Mesh: a free-form triangle mesh, one flag, two 32-bit coordinates and three colour bytes a vertex.
        if (f.Triangles.size() < 3) return Rgb(ToColorRef(f.Mean), "rg");
        double x0 = f.Triangles[0].At.x(), x1 = x0, y0 = f.Triangles[0].At.y(), y1 = y0;
        for (const auto& v : f.Triangles) {
            x0 = std::min(x0, v.At.x()), x1 = std::max(x1, v.At.x());
            y0 = std::min(y0, v.At.y()), y1 = std::max(y1, v.At.y());
        }
        if (!(x1 > x0) || !(y1 > y0)) return Rgb(ToColorRef(f.Mean), "rg");
        constexpr double Max = 4294967295.0;
        for (size_t i = 0; i < f.Triangles.size() / 3 * 3; ++i) {
            const auto& v = f.Triangles[i];
            stream.push_back(0);
            PutU32BigEndian(stream, static_cast<uint32_t>(std::clamp((v.At.x() - x0) / (x1 - x0), 0.0, 1.0) * Max));
            PutU32BigEndian(stream, static_cast<uint32_t>(std::clamp((v.At.y() - y0) / (y1 - y0), 0.0, 1.0) * Max));
            const double a = (v.Argb >> 24) / 255.0;
            for (int shift : {16, 8, 0})
                stream.push_back(static_cast<char>(std::lround(((v.Argb >> shift) & 0xFF) * a + 255 * (1 - a))));
        }
        std::string decode;
        for (double v : {x0, x1, y0, y1}) {
            AppendNumber(decode, v, 4);
            decode += ' ';
        }
        shading = "/ShadingType 4 /ColorSpace /DeviceRGB /BitsPerCoordinate 32 /BitsPerComponent 8 /BitsPerFlag 8 "
                  "/Decode [" +
                  decode + "0 1 0 1 0 1]";
    }
    return "/Pattern cs /" + FDocument.ShadingPatternName(shading, stream, toPage) + " scn\n";
}

std::string TPdfDevice::BrushFill(const TLogBrush& brush, const QTransform& t, const QRectF& extent) {
    switch (brush.Style) {
    case BS_FILL:
        if (brush.Fill) return GradientFill(*brush.Fill, t, extent);
        return Rgb(brush.Color, "rg");
    case BS_HATCHED:
        if (brush.Hatch > HS_DIAGCROSS)
            return "/Pattern cs /" +
                   FDocument.ImagePatternName(HatchImage(brush.Hatch, brush.Color), FPixel, FDeviceToPage) + " scn\n";
        return "/Pattern cs /" +
               FDocument.HatchPatternName(brush.Hatch, brush.Color, 8 * FPixel, FPixel, FDeviceToPage) + " scn\n";
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        if (brush.Pattern && !brush.Pattern->isNull())
            return "/Pattern cs /" + FDocument.ImagePatternName(*brush.Pattern, FPixel, FDeviceToPage) + " scn\n";
        return Rgb(brush.Color, "rg");
    default:
        return Rgb(brush.Color, "rg");
    }
}

void TPdfDevice::SetBrush(const TLogBrush& brush, const QTransform& t, const QRectF& extent) {
    // A plain colour (nearly every fill of a report) without building its operators as a string.
    switch (brush.Style) {
    case BS_FILL:
    case BS_HATCHED:
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
        SetFill(BrushFill(brush, t, extent));
        return;
    default:
        SetFillColor(brush.Color);
        return;
    }
}

void TPdfDevice::FillPath(const QPainterPath& path, const QTransform& t) {
    AppendPath(path, t);
    FOut += path.fillRule() == Qt::OddEvenFill ? "f*\n" : "f\n";
}

void TPdfDevice::FillRect(const QRectF& rect, const QTransform& t, TColorRef color) {
    QPainterPath path;
    path.addRect(rect);
    SetFillColor(color);
    FillPath(path, t);
}

bool TPdfDevice::FillBox(const TShape& shape, const TDrawState& state) {
    // The box of a filled rectangle without outline (cell and band backgrounds, most of a report's
    // figures), written as the general path below writes it, without building the path.
    const QTransform& t = state.Transform;
    // Gradients, textures and meshes take the general path, which knows their extent and images.
    if (shape.Kind != TShapeKind::skRectangle || t.type() > QTransform::TxScale || state.Brush.Style == BS_FILL)
        return false;
    QRectF box;
    if (shape.Stroke) {
        // A rectangle meant for a pen (here a null one) fills the box inside its right and bottom edge.
        const QRect& b = shape.Box;
        const double l = std::min(b.left(), b.right()), r = std::max(b.left(), b.right());
        const double top = std::min(b.top(), b.bottom()), bottom = std::max(b.top(), b.bottom());
        box = QRectF(l, top, std::max(r - l - 1, 0.0), std::max(bottom - top - 1, 0.0));
    } else {
        const QRect n = shape.Box.normalized();
        box = QRectF(n.left(), n.top(), n.right() - n.left(), n.bottom() - n.top());
    }
    if (!(box.width() > 0) || !(box.height() > 0)) return false;
    const QRectF d = t.mapRect(box);
    if (d.height() < 1 || d.width() < 1) return false; // a hairline rule: the general path widens it
    const QTransform toContent = t * FFlip;
    const QPointF p0 = toContent.map(box.topLeft());
    const QPointF p2 = toContent.map(QPointF(box.left() + box.width(), box.top() + box.height()));
    const char* op = state.PolyFillMode == WINDING ? "f\n" : "f*\n";
    auto write = [&] {
        AppendPoint(FOut, p0);
        AppendNumber(FOut, p2.x() - p0.x(), 1);
        FOut += ' ';
        AppendNumber(FOut, p2.y() - p0.y(), 1);
        FOut += " re\n";
        FOut += op;
    };
    if (state.Brush.Style == BS_HATCHED && state.BkMode == OPAQUE) {
        SetFillColor(state.BkColor);
        write();
    }
    SetBrush(state.Brush, t, box);
    write();
    return true;
}

void TPdfDevice::DrawShape(const TShape& shape, const TDrawState& state) {
    if (state.Rop2 == R2_NOP) return;
    ApplyClip(state);
    const QTransform& t = state.Transform;
    bool fill = shape.Fill && state.Brush.Style != BS_NULL && shape.Kind != TShapeKind::skPolyline &&
                shape.Kind != TShapeKind::skArc && shape.Kind != TShapeKind::skPolyBezier;
    const bool stroke = shape.Stroke && (state.Pen.Style & PS_STYLE_MASK) != PS_NULL;
    if (!fill && !stroke) return;
    if (fill && !stroke && FillBox(shape, state)) return;
    const QPainterPath path = ShapeToPath(shape, state, false);
    if (fill && path.elementCount() <= 5 && IsRectilinear(path, t)) {
        // A hairline rule thinner than a device unit still covers one row or column.
        QRectF d = t.mapRect(path.boundingRect());
        if (d.height() < 1 || d.width() < 1) {
            if (d.height() < 1) d = QRectF(d.left(), std::floor(d.center().y()), d.width(), 1);
            if (d.width() < 1) d = QRectF(std::floor(d.center().x()), d.top(), 1, d.height());
            QPainterPath rule;
            rule.addRect(d);
            SetBrush(state.Brush, t, path.boundingRect());
            FillPath(rule, QTransform());
            fill = false;
            if (!stroke) return;
        }
    }
    if (fill) {
        if (state.Brush.Style == BS_HATCHED && state.BkMode == OPAQUE) {
            SetFillColor(state.BkColor);
            FillPath(path, t);
        }
        const TBrushFill* special = state.Brush.Style == BS_FILL ? state.Brush.Fill.get() : nullptr;
        if (special && special->Kind == TBrushFill::TKind::Texture && special->Wrap == TBrushFill::TWrap::Clamp &&
            special->Image && !special->Image->isNull()) {
            // A texture drawn once: the image within the path.
            FOut += "q\n";
            AppendPath(path, t);
            FOut += path.fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
            const double w = special->Image->width(), h = special->Image->height();
            AppendMatrix(FOut, QTransform(w, 0, 0, -h, 0, h) * special->Space * t * FFlip);
            FOut += "cm /" + FDocument.ImageName(*special->Image) + " Do\nQ\n";
        } else {
            SetBrush(state.Brush, t, path.boundingRect());
            FillPath(path, t);
        }
    }
    if (stroke) StrokePath(path, state);
}

// The pen along path: its width, caps, joins and dashes, and the background in the gaps of thin
// styled lines in opaque mode.
void TPdfDevice::StrokePath(const QPainterPath& path, const TDrawState& state) {
    const QTransform& t = state.Transform;
    // GDI strokes pixel centres: half a pixel of the reference device to the right and down.
    const QTransform shifted = t * QTransform::fromTranslate(FPixel / 2, FPixel / 2);
    const TLogPen& lp = state.Pen;
    const TStroke pen = StrokeOf(lp, t, FPixel, t.mapRect(path.boundingRect()));
    const bool thin = pen.Thin;
    const double width = pen.Width;
    const std::vector<double>& dashes = pen.Dashes;
    int cap = 1, join = 1; // round
    switch (lp.Style & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE:
        cap = 2;
        break;
    case PS_ENDCAP_FLAT:
        cap = 0;
        break;
    default:
        break;
    }
    switch (lp.Style & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL:
        join = 2;
        break;
    case PS_JOIN_MITER:
        join = 0;
        break;
    default:
        break;
    }
    auto line = [&](const std::vector<double>& pattern) {
        std::string s;
        AppendNumber(s, width, 2);
        s += " w " + std::to_string(cap) + " J " + std::to_string(join) + " j ";
        if (join == 0) {
            AppendNumber(s, std::max(1.0f, state.MiterLimit), 2);
            s += " M ";
        }
        s += '[';
        for (size_t i = 0; i < pattern.size(); ++i) {
            if (i) s += ' ';
            AppendNumber(s, pattern[i] * width, 2);
        }
        s += "] ";
        AppendNumber(s, pattern.empty() ? 0 : lp.DashOffset * width, 2);
        s += " d\n";
        return s;
    };
    if (!dashes.empty() && state.BkMode == OPAQUE && thin) {
        // Gaps of thin styled lines show the background colour in opaque mode.
        SetLine(line({}));
        SetStrokeColor(state.BkColor);
        AppendPath(path, shifted);
        FOut += "S\n";
    }
    SetLine(line(dashes));
    SetStrokeColor(lp.Color);
    AppendPath(path, shifted);
    FOut += "S\n";
}

void TPdfDevice::DrawGlyphs(const TTextLayout& layout, const TDrawState& state) {
    const auto& font = *layout.Font;
    const double ws = font.WidthScale > 0 ? font.WidthScale : 1;
    // PDF text space: x along the baseline, y up, in units of 1/k of the logical units, so that the
    // font size is the em in device units and the text matrix of plain text is a translation.
    const QTransform toDevice = QTransform(ws, 0, 0, -1, 0, 0) * layout.Text * FFlip;
    const double k = std::sqrt(std::abs(layout.Text.determinant()));
    if (!(k > 0)) return;
    const double fontSize = font.EmSize * k;
    for (int pass = 0; pass < 2; ++pass) {
        const QRawFont& raw = pass ? font.Fallback : font.Raw;
        std::vector<const TPlacedGlyph*>& glyphs = FGlyphs;
        glyphs.clear();
        for (const TPlacedGlyph& g : layout.Glyphs) {
            if (g.Fallback == (pass == 1)) glyphs.push_back(&g);
        }
        if (glyphs.empty()) continue;
        const int pdfFont = FDocument.FontFor(raw, font.EmSize);
        if (pdfFont < 0) {
            // A face without TrueType outlines cannot be embedded here: its glyphs become shapes.
            SetFillColor(state.TextColor);
            for (const TPlacedGlyph* g : glyphs) {
                QPainterPath outline = raw.pathForGlyph(g->Glyph).translated(g->Position);
                outline.setFillRule(Qt::WindingFill);
                FillPath(outline, QTransform::fromScale(ws, 1) * layout.Text);
            }
            continue;
        }
        SetFillColor(state.TextColor);
        // The font operator of this font and size, made (and the font named among the page's
        // resources) when it differs from the last run's.
        if (pdfFont != FFontOperator.Font || fontSize != FFontOperator.Size || FFontOperator.Text.empty()) {
            std::string tf = "/";
            tf += FDocument.FontName(pdfFont);
            tf += ' ';
            AppendNumber(tf, fontSize, 2);
            tf += " Tf\n";
            FFontOperator = {pdfFont, fontSize, std::move(tf)};
        }
        const std::string& tf = FFontOperator.Text;
        FOut += "BT\n";
        if (tf != FState.Font) {
            FOut += tf;
            FState.Font = tf;
        }
        auto at = [&](size_t i) { return QPointF(glyphs[i]->Position.x() * k, -glyphs[i]->Position.y() * k); };
        const QPointF first = at(0);
        const QTransform start =
            QTransform::fromTranslate(first.x(), first.y()) * QTransform::fromScale(1 / k, 1 / k) * toDevice;
        auto near = [](double a, double b) { return std::abs(a - b) < 1e-4; }; // a frame a hair off square
        if (near(start.m11(), 1) && near(start.m12(), 0) && near(start.m21(), 0) && near(start.m22(), 1)) {
            AppendPoint(FOut, QPointF(start.m31(), start.m32()));
            FOut += "Td\n";
        } else {
            AppendMatrix(FOut, start);
            FOut += "Tm\n";
        }
        // One TJ array per baseline: the glyphs' codes with the adjustments (in thousandths of the
        // font size) that put each where the layout wants it. The pen position is tracked as the
        // viewer will compute it, so rounding does not add up along the line.
        QPointF lineStart = first;
        double pen = first.x();
        // The array is written straight into the content; arrayAt is where it starts (npos: nothing
        // written yet), so that an adjusted one gets its bracket in front when it ends.
        size_t arrayAt = std::string::npos;
        bool inString = false, adjusted = false;
        auto flush = [&] {
            if (inString) FOut += '>';
            inString = false;
            if (arrayAt == std::string::npos) return;
            if (adjusted) FOut.insert(arrayAt, 1, '[');
            FOut += adjusted ? "] TJ\n" : " Tj\n";
            arrayAt = std::string::npos;
            adjusted = false;
        };
        for (size_t i = 0; i < glyphs.size(); ++i) {
            const QPointF here = at(i);
            if (here.y() != lineStart.y()) {
                flush();
                AppendPoint(FOut, here - lineStart);
                FOut += "Td\n";
                lineStart = here;
                pen = here.x();
            }
            if (arrayAt == std::string::npos) arrayAt = FOut.size();
            const long adjustment = std::lround((pen - here.x()) * 1000 / fontSize);
            if (adjustment != 0) {
                if (inString) FOut += '>';
                inString = false;
                FOut += std::to_string(adjustment);
                adjusted = true;
                pen -= adjustment * fontSize / 1000;
            }
            if (!inString) FOut += '<';
            inString = true;
            const uint16_t code = FDocument.GlyphCode(pdfFont, glyphs[i]->Glyph, glyphs[i]->Char);
            static const char Digits[] = "0123456789ABCDEF";
            const char hex[4] = {Digits[code >> 12], Digits[(code >> 8) & 15], Digits[(code >> 4) & 15],
                                 Digits[code & 15]};
            FOut.append(hex, 4);
            // The first advance a glyph is given in this size becomes its width: text laid out in whole
            // pixels then needs no adjustments at all.
            double width;
            if (i + 1 < glyphs.size() && at(i + 1).y() == here.y())
                width = FDocument.LearnWidth(pdfFont, code, (at(i + 1).x() - here.x()) * 1000 / fontSize);
            else
                width = FDocument.GlyphWidth(pdfFont, code);
            pen += width * fontSize / 1000;
        }
        flush();
        FOut += "ET\n";
    }
}

void TPdfDevice::DrawText(const TTextRun& run, const TDrawState& state) {
    if (run.Text.empty() && !(run.Options & ETO_OPAQUE)) return;
    ApplyClip(state);
    const QTransform& t = state.Transform;
    if (!FMatchedFont || !(state.Font == FMatchedFor)) {
        FMatchedFont = TFontMatcher::Shared().Match(state.Font);
        FMatchedFor = state.Font;
    }
    const TTextLayout layout = LayOutText(run, state, QTransform(), FMatchedFont);
    if ((run.Options & ETO_OPAQUE) && !run.Rect.isNull()) {
        const QRect r = run.Rect.normalized();
        FillRect(QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1), t, state.BkColor);
    }
    if (!layout.Valid) return;
    const auto& font = *layout.Font;
    if (state.BkMode == OPAQUE && !(run.Options & ETO_OPAQUE))
        FillRect(QRectF(layout.Left, layout.Baseline - font.Ascent, layout.Total, font.Ascent + font.Descent),
                 layout.Text, state.BkColor);
    const bool clipped = (run.Options & ETO_CLIPPED) && !run.Rect.isNull();
    if (clipped) {
        Save();
        const QRect r = run.Rect.normalized();
        QPainterPath box;
        box.addRect(QRectF(r.left(), r.top(), r.width() - 1, r.height() - 1));
        AppendPath(box, t);
        FOut += "W n\n";
    }
    if (layout.DeviceEm < 1e6) {
        DrawGlyphs(layout, state);
        if (font.Underline || font.StrikeOut) {
            const double thick = std::max(font.Raw.lineThickness(), 0.5);
            if (font.Underline)
                FillRect(QRectF(layout.Left, layout.Baseline + font.Raw.underlinePosition(), layout.Total, thick),
                         layout.Text, state.TextColor);
            if (font.StrikeOut)
                FillRect(QRectF(layout.Left, layout.Baseline - font.Raw.xHeight() / 2 - thick / 2, layout.Total, thick),
                         layout.Text, state.TextColor);
        }
    }
    if (clipped) Restore();
}

void TPdfDevice::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    ApplyClip(state);
    const QTransform& t = state.Transform;
    const QRect d = draw.Destination;
    const QRectF dest(d.x(), d.y(), d.width(), d.height());
    if (draw.Dib.Info.empty()) {
        // Without a bitmap: what a device without raster operations can do.
        QPainterPath box;
        box.addRect(dest.normalized());
        switch (draw.Rop) {
        case BLACKNESS:
            SetFillColor(clBlack);
            FillPath(box, t);
            break;
        case WHITENESS:
            SetFillColor(clWhite);
            FillPath(box, t);
            break;
        case PATCOPY:
            if (state.Brush.Style != BS_NULL) {
                SetBrush(state.Brush, t, box.boundingRect());
                FillPath(box, t);
            }
            break;
        default:
            break;
        }
        return;
    }
    QImage image = DibToImage(draw.Dib, draw.SourceAlpha);
    if (image.isNull()) return;
    const QRect src = DibSourceRect(draw, image);
    if (src != image.rect()) image = image.copy(src);
    if (image.isNull()) return;
    const char* blend = nullptr;
    switch (draw.Rop) {
    case SRCAND:
        blend = "Multiply";
        break;
    case SRCPAINT:
        blend = "Lighten";
        break;
    case SRCINVERT:
        blend = "Difference";
        break;
    case NOTSRCCOPY:
        image.invertPixels();
        break;
    default:
        break;
    }
    const std::string name = FDocument.ImageName(image);
    FOut += "q\n";
    if (blend || draw.ConstantAlpha != 255) {
        FOut += '/';
        FOut += FDocument.GStateName(draw.ConstantAlpha, blend);
        FOut += " gs\n";
    }
    // The image's unit square onto the destination, its first row at the destination's top; negative
    // sizes mirror.
    AppendMatrix(FOut, QTransform(dest.width(), 0, 0, -dest.height(), dest.x(), dest.y() + dest.height()) * t * FFlip);
    FOut += "cm /" + name + " Do\nQ\n";
}

} // namespace pagimo::gdi
