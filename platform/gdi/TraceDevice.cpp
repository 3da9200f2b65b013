#include "platform/gdi/TraceDevice.h"

#include "platform/gdi/FontMatcher.h"
#include "platform/graphics/GlyphNames.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pagimo::gdi {

namespace {

std::string Hex(TColorRef c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", RedOf(c), GreenOf(c), BlueOf(c));
    return buf;
}

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", std::abs(v) < 5e-7 ? 0.0 : v);
    return buf;
}

const char* KindName(TShapeKind k) {
    switch (k) {
    case TShapeKind::skRectangle:
        return "rectangle";
    case TShapeKind::skRoundRect:
        return "roundrect";
    case TShapeKind::skEllipse:
        return "ellipse";
    case TShapeKind::skArc:
        return "arc";
    case TShapeKind::skChord:
        return "chord";
    case TShapeKind::skPie:
        return "pie";
    case TShapeKind::skPolyline:
        return "polyline";
    case TShapeKind::skPolygon:
        return "polygon";
    case TShapeKind::skPolyBezier:
        return "polybezier";
    case TShapeKind::skPath:
        return "path";
    }
    return "?";
}

} // namespace

std::string TTraceDevice::Common(const TDrawState& s) const {
    std::string out;
    const QTransform& t = s.Transform;
    if (!t.isIdentity())
        out += " xform=" + Num(t.m11()) + "," + Num(t.m12()) + "," + Num(t.m21()) + "," + Num(t.m22()) + "," +
               Num(t.dx()) + "," + Num(t.dy());
    if (s.Opacity != 255) out += " opacity=" + std::to_string(s.Opacity);
    if (s.Smooth) out += " smooth";
    if (s.Clip) {
        const QRectF b = s.Clip->boundingRect();
        out += " clip=" + Num(b.left()) + "," + Num(b.top()) + "," + Num(b.right()) + "," + Num(b.bottom());
    }
    return out;
}

void TTraceDevice::DrawShape(const TShape& shape, const TDrawState& s) {
    std::string line = KindName(shape.Kind);
    const QPainterPath path = ShapeToPath(shape, s, false);
    const QRectF b = path.boundingRect();
    line += " box=" + Num(b.left()) + "," + Num(b.top()) + "," + Num(b.right()) + "," + Num(b.bottom());
    if (!shape.Points.empty()) line += " points=" + std::to_string(shape.Points.size());
    if (shape.Counts.size() > 1) line += " figures=" + std::to_string(shape.Counts.size());
    if (shape.Stroke && (s.Pen.Style & PS_STYLE_MASK) != PS_NULL)
        line += " pen=" + std::to_string(s.Pen.Style & PS_STYLE_MASK) + "/" + std::to_string(s.Pen.Width) + "/" +
                Hex(s.Pen.Color);
    const bool filled = shape.Fill && s.Brush.Style != BS_NULL && shape.Kind != TShapeKind::skPolyline &&
                        shape.Kind != TShapeKind::skArc && shape.Kind != TShapeKind::skPolyBezier;
    if (filled) line += " brush=" + std::to_string(s.Brush.Style) + "/" + Hex(s.Brush.Color);
    if (filled && s.Brush.Style == BS_HATCHED && s.Brush.Hatch > HS_DIAGCROSS) line += " hatch=" + std::to_string(s.Brush.Hatch);
    if (filled && s.Brush.Style == BS_FILL && s.Brush.Fill) {
        static const char* const Kinds[] = {"linear", "mesh", "texture"};
        line += std::string(" fill=") + Kinds[static_cast<int>(s.Brush.Fill->Kind)];
    }
    if (s.Rop2 != R2_COPYPEN) line += " rop2=" + std::to_string(s.Rop2);
    FLines.push_back(line + Common(s));
}

void TTraceDevice::DrawText(const TTextRun& run, const TDrawState& s) {
    std::string line = "text at=" + std::to_string(run.Reference.x()) + "," + std::to_string(run.Reference.y());
    line += " \"" + QString::fromStdU16String(run.Text).toStdString() + "\"";
    if (run.Options & ETO_GLYPH_INDEX) line += " glyphs";
    line += " font=" + QString::fromStdU16String(s.Font.FaceName).toStdString() + "/" + std::to_string(s.Font.Height) +
            "/" + std::to_string(s.Font.Weight) + (s.Font.Italic ? "i" : "");
    if (s.Font.Escapement) line += "/esc" + std::to_string(s.Font.Escapement);
    line += " color=" + Hex(s.TextColor) + " align=" + std::to_string(s.TextAlign);
    if (s.BkMode == OPAQUE) line += " bk=" + Hex(s.BkColor);
    if (!run.Dx.empty()) {
        int64_t total = 0;
        for (size_t i = 0; i < run.Dx.size(); i += (run.Options & ETO_PDY) ? 2 : 1)
            total += run.Dx[i];
        line += " advance=" + std::to_string(total);
    }
    FLines.push_back(line + Common(s));
}

void TTraceDevice::DrawDib(const TDibDraw& d, const TDrawState& s) {
    std::string line = "dib dest=" + std::to_string(d.Destination.x()) + "," + std::to_string(d.Destination.y()) + "," +
                       std::to_string(d.Destination.width()) + "," + std::to_string(d.Destination.height());
    line += " src=" + std::to_string(d.Source.x()) + "," + std::to_string(d.Source.y()) + "," +
            std::to_string(d.Source.width()) + "," + std::to_string(d.Source.height());
    char rop[16];
    std::snprintf(rop, sizeof rop, "%08x", d.Rop);
    line += std::string(" rop=") + rop + " bytes=" + std::to_string(d.Dib.Info.size()) + "+" +
            std::to_string(d.Dib.Bits.size());
    if (d.SourceAlpha || d.ConstantAlpha != 255) line += " alpha=" + std::to_string(d.ConstantAlpha);
    FLines.push_back(line + Common(s));
}

std::string TTraceDevice::Text() const {
    std::string out;
    for (const auto& l : FLines)
        out += l + "\n";
    return out;
}

void TBoundsDevice::Add(const QRectF& device, const TDrawState& state) {
    QRectF r = device;
    if (state.Clip) r = r.intersected(state.Clip->boundingRect());
    ++FCalls;
    if (r.isEmpty()) return;
    FBounds = FBounds.isEmpty() ? r : FBounds.united(r);
}

void TBoundsDevice::DrawShape(const TShape& shape, const TDrawState& state) {
    const bool stroke = shape.Stroke && (state.Pen.Style & PS_STYLE_MASK) != PS_NULL;
    const double grow = stroke ? std::max(0.5, state.Pen.Width / 2.0) : 0;
    const QRectF b = ShapeToPath(shape, state, false).boundingRect().adjusted(-grow, -grow, grow + 1, grow + 1);
    Add(state.Transform.mapRect(b), state);
}

void TBoundsDevice::DrawText(const TTextRun& run, const TDrawState& state) {
    const auto font = TFontMatcher::Shared().Match(state.Font);
    int64_t total = 0;
    const auto adv = run.Dx.empty() ? font->Advances(run.Text) : run.Dx;
    for (size_t i = 0; i < adv.size(); i += (run.Options & ETO_PDY) ? 2 : 1)
        total += adv[i];
    double x = run.Reference.x(), y = run.Reference.y();
    if ((state.TextAlign & TA_CENTER) == TA_CENTER)
        x -= total / 2.0;
    else if ((state.TextAlign & TA_CENTER) == TA_RIGHT)
        x -= static_cast<double>(total);
    if ((state.TextAlign & TA_BASELINE) == TA_BASELINE)
        y -= font->Ascent;
    else if ((state.TextAlign & TA_BASELINE) == TA_BOTTOM)
        y -= font->Ascent + font->Descent;
    Add(state.Transform.mapRect(QRectF(x, y, static_cast<double>(total), font->Ascent + font->Descent)), state);
}

void TBoundsDevice::DrawDib(const TDibDraw& draw, const TDrawState& state) {
    const QRect d = draw.Destination;
    Add(state.Transform.mapRect(QRectF(d.x(), d.y(), d.width(), d.height()).normalized()), state);
}

void TTextDevice::DrawText(const TTextRun& run, const TDrawState& state) {
    if (run.Text.empty()) return;
    TTextItem item;
    const auto font = TFontMatcher::Shared().Match(state.Font);
    if (run.Options & ETO_GLYPH_INDEX) {
        // Glyph indices map back to characters through the named face when it is installed, else
        // through the standard order of Windows faces; others are left out.
        for (char16_t g : run.Text) {
            const char32_t c = font->CharOfIndex(g);
            if (c) item.Text += QString::fromUcs4(&c, 1);
        }
    } else {
        item.Text = QString::fromStdU16String(run.Text);
    }
    item.Origin = state.Transform.map(QPointF(run.Reference));
    const double scale = std::sqrt(std::abs(state.Transform.determinant()));
    item.Height = (font->Ascent + font->Descent) * scale;
    int64_t total = 0;
    const auto adv = run.Dx.empty() ? font->Advances(run.Text) : run.Dx;
    for (size_t i = 0; i < adv.size(); i += (run.Options & ETO_PDY) ? 2 : 1)
        total += adv[i];
    item.Width = std::abs(static_cast<double>(total)) * scale;
    const size_t stride = (run.Options & ETO_PDY) ? 2 : 1;
    const auto units = static_cast<size_t>(item.Text.size());
    item.CharEdges.reserve(units + 1);
    if (!(run.Options & ETO_GLYPH_INDEX) && adv.size() >= units * stride) {
        double x = 0;
        for (size_t i = 0; i < units; ++i) {
            item.CharEdges.push_back(x);
            x += std::abs(static_cast<double>(adv[i * stride])) * scale;
        }
        item.CharEdges.push_back(x);
    } else {
        for (size_t i = 0; i <= units; ++i)
            item.CharEdges.push_back(units ? item.Width * static_cast<double>(i) / static_cast<double>(units) : 0);
    }
    item.AnchorX = item.Origin.x();
    item.HorizontalAlign = state.TextAlign & TA_CENTER;
    item.Font = state.Font;
    item.Font.Height = static_cast<int32_t>(std::lround(-font->EmSize * scale));
    item.Color = state.TextColor;
    if (state.BkMode == OPAQUE || (run.Options & ETO_OPAQUE)) item.Background = state.BkColor;
    if ((state.TextAlign & TA_CENTER) == TA_CENTER)
        item.Origin.rx() -= item.Width / 2;
    else if ((state.TextAlign & TA_CENTER) == TA_RIGHT)
        item.Origin.rx() -= item.Width;
    // Normalise the reference point to the top of the cell so that alignments compare.
    const uint32_t v = state.TextAlign & TA_BASELINE;
    if (v == TA_BASELINE)
        item.Origin.ry() -= font->Ascent * scale;
    else if (v == TA_BOTTOM)
        item.Origin.ry() -= item.Height;
    FItems.push_back(item);
}

std::vector<TReadingStep> TTextDevice::ReadingSteps() const {
    std::vector<size_t> order(FItems.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return FItems[a].Origin.y() < FItems[b].Origin.y(); });
    std::vector<std::vector<size_t>> lines;
    for (size_t i : order) {
        const TTextItem& item = FItems[i];
        if (!lines.empty()) {
            const TTextItem& head = FItems[lines.back().front()];
            if (std::abs(item.Origin.y() - head.Origin.y()) <= std::max(head.Height, item.Height) / 2) {
                lines.back().push_back(i);
                continue;
            }
        }
        lines.push_back({i});
    }
    std::vector<TReadingStep> steps;
    steps.reserve(FItems.size());
    for (auto& line : lines) {
        std::stable_sort(line.begin(), line.end(),
                         [&](size_t a, size_t b) { return FItems[a].Origin.x() < FItems[b].Origin.x(); });
        bool empty = true, endsWithSpace = false;
        double end = 0;
        const bool firstLine = steps.empty();
        for (size_t i : line) {
            const TTextItem& item = FItems[i];
            // Programs that place words or single characters one by one leave no gap inside a word.
            const bool gap = item.Origin.x() - end > item.Height * 0.15;
            char before = i == line.front() && !firstLine ? '\n' : '\0';
            if (!empty && gap && !endsWithSpace && !item.Text.startsWith(u' ')) before = ' ';
            steps.push_back({i, before});
            if (!item.Text.isEmpty()) {
                empty = false;
                endsWithSpace = item.Text.endsWith(u' ');
            } else if (before == ' ') {
                endsWithSpace = true;
            }
            end = item.Origin.x() + item.Width;
        }
    }
    return steps;
}

QString TTextDevice::ReadingOrder() const {
    QString out, line;
    for (const TReadingStep& step : ReadingSteps()) {
        if (step.Before == '\n') {
            out += line.trimmed() + u'\n';
            line.clear();
        } else if (step.Before == ' ') {
            line += u' ';
        }
        line += FItems[step.Item].Text;
    }
    if (!FItems.empty()) out += line.trimmed() + u'\n';
    return out;
}

} // namespace pagimo::gdi
