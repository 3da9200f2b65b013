#include "platform/gdi/TextLayout.h"

#include "platform/graphics/GlyphNames.h"

#include <QChar>

#include <cmath>
#include <numbers>

namespace pagimo::gdi {

TTextLayout LayOutText(const TTextRun& run, const TDrawState& state, const QTransform& base) {
    TTextLayout layout;
    // The baseline is laid out in the page's logical mapping; base (the painter's own transform: a
    // turn, a part of the page drawn alone) then takes it to the device, once.
    const QTransform& t = state.Transform;
    layout.Font = TFontMatcher::Shared().Match(state.Font);
    const auto& font = layout.Font;
    if (run.Text.empty() || !font->Raw.isValid()) return layout;

    // Glyphs.
    const bool glyphIndices = run.Options & ETO_GLYPH_INDEX;
    const size_t n = run.Text.size();
    std::vector<quint32> glyphs(n, 0);
    std::vector<char32_t> chars(n, 0);
    std::vector<uint8_t> useFallback(n, 0);
    std::vector<uint8_t> skip(n, 0);
    for (size_t i = 0; i < n; ++i) {
        char32_t c = run.Text[i];
        if (glyphIndices && font->NamedFace) {
            // The face the page was set in: its glyphs, whatever their index.
            glyphs[i] = font->GlyphOfIndex(run.Text[i]);
            chars[i] = font->CharOfIndex(run.Text[i]);
            if (glyphs[i] == 0 && chars[i] == 0) skip[i] = 1;
            continue;
        }
        if (glyphIndices) {
            // A substitute face: Windows TrueType faces put their first 258 glyphs in the standard
            // Macintosh order, which maps back to characters; past it their order is their own.
            c = graphics::StandardOrderGlyphToChar(static_cast<uint16_t>(run.Text[i]));
            if (c == 0) {
                skip[i] = 1; // an index we cannot map draws nothing rather than a wrong glyph
                continue;
            }
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(run.Text[i + 1])) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), run.Text[i + 1]);
            skip[i + 1] = 1;
        }
        if (c < 0x20 && c != 0x09) {
            skip[i] = 1;
            continue;
        }
        chars[i] = c;
        QChar units[2];
        int count = 1;
        if (c > 0xFFFF) {
            units[0] = QChar(QChar::highSurrogate(c));
            units[1] = QChar(QChar::lowSurrogate(c));
            count = 2;
        } else {
            units[0] = QChar(static_cast<char16_t>(c));
        }
        int got = 1;
        font->Raw.glyphIndexesForChars(units, count, &glyphs[i], &got);
        if (glyphs[i] == 0 && font->Symbol && c < 0x100) {
            units[0] = QChar(static_cast<char16_t>(0xF000 + c));
            font->Raw.glyphIndexesForChars(units, 1, &glyphs[i], &got);
        }
        if (glyphs[i] == 0 && font->Fallback.isValid()) {
            font->Fallback.glyphIndexesForChars(units, count, &glyphs[i], &got);
            useFallback[i] = 1;
        }
    }

    // Advances.
    std::vector<double> xs(n, 0), ys(n, 0);
    double x = 0, y = 0;
    const bool pdy = run.Options & ETO_PDY;
    std::vector<int32_t> measured;
    if (run.Dx.empty() && glyphIndices && font->NamedFace) {
        // Undivided glyph runs advance by the glyphs' own widths.
        measured.assign(n, 0);
        for (size_t i = 0; i < n; ++i) {
            if (glyphs[i] == 0) continue;
            QPointF advance;
            font->Raw.advancesForGlyphIndexes(&glyphs[i], &advance, 1, QRawFont::UseDesignMetrics);
            measured[i] = static_cast<int32_t>(std::lround(advance.x() * font->WidthScale));
        }
    } else if (run.Dx.empty()) {
        measured = font->Advances(run.Text);
    }
    for (size_t i = 0; i < n; ++i) {
        xs[i] = x;
        ys[i] = y;
        if (!run.Dx.empty()) {
            const size_t k = pdy ? 2 * i : i;
            if (k < run.Dx.size()) x += run.Dx[k];
            if (pdy && k + 1 < run.Dx.size()) y -= run.Dx[k + 1];
        } else {
            x += measured[i];
        }
    }
    const double total = x;
    if ((run.Options & ETO_RTLREADING) || (state.TextAlign & TA_RTLREADING)) {
        // Right-to-left reading: the first character in the string takes the rightmost place; each keeps
        // its own advance.
        for (size_t i = 0; i < n; ++i) {
            const double advance = (i + 1 < n ? xs[i + 1] : total) - xs[i];
            xs[i] = total - xs[i] - advance;
        }
    }

    // The escapement turns the baseline counter-clockwise as the logical axes show it; glyphs stay
    // upright whatever the signs of the mapping's axes.
    const double angle = font->Escapement * std::numbers::pi / 180.0;
    const QPointF origin = t.map(QPointF(run.Reference));
    const QPointF along = t.map(QPointF(run.Reference) + QPointF(std::cos(angle), -std::sin(angle))) - origin;
    const QPointF across = t.map(QPointF(run.Reference) + QPointF(std::sin(angle), std::cos(angle))) - origin;
    const double sx = std::hypot(along.x(), along.y()), sy = std::hypot(across.x(), across.y());
    if (sx <= 0 || sy <= 0) return layout;
    QPointF u = along / sx;
    bool reversed = false;
    if (font->Escapement == 0 && u.x() < 0) {
        // A mirrored x axis lays the text out leftwards; the glyphs themselves stay readable.
        u = -u;
        reversed = true;
    }
    const QPointF v(-u.y(), u.x());
    layout.Text = QTransform(u.x() * sx, u.y() * sx, v.x() * sy, v.y() * sy, origin.x(), origin.y()) * base;
    if (reversed) {
        for (size_t i = 0; i < n; ++i)
            xs[i] = -xs[i] - (i + 1 < n ? xs[i + 1] - xs[i] : total - xs[i]);
    }

    double dx0 = 0;
    switch (state.TextAlign & TA_CENTER) {
    case TA_CENTER:
        dx0 = -total / 2;
        break;
    case TA_RIGHT:
        dx0 = -total;
        break;
    default:
        break;
    }
    double baseline = 0;
    switch (state.TextAlign & TA_BASELINE) {
    case TA_BASELINE:
        baseline = 0;
        break;
    case TA_BOTTOM:
        baseline = -font->Descent;
        break;
    default:
        baseline = font->Ascent;
        break;
    }
    layout.Left = dx0;
    layout.Total = total;
    layout.Baseline = baseline;
    const double ws = font->WidthScale > 0 ? font->WidthScale : 1;
    layout.DeviceEm = font->EmSize * std::max(sy, sx * ws) * std::sqrt(std::abs(base.determinant()));
    for (size_t i = 0; i < n; ++i) {
        if (skip[i]) continue;
        const TPlacedGlyph placed{glyphs[i], useFallback[i] != 0, chars[i],
                                  QPointF((dx0 + xs[i]) / ws, baseline + ys[i])};
        if (glyphs[i] != 0)
            layout.Glyphs.push_back(placed);
        else if (chars[i] != 0)
            layout.Missing.emplace_back(layout.Glyphs.size(), placed);
    }
    layout.Valid = true;
    return layout;
}

} // namespace pagimo::gdi
