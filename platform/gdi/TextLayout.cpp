#include "platform/gdi/TextLayout.h"

#include "platform/graphics/GlyphNames.h"

#include <QChar>

#include <cmath>
#include <numbers>

namespace pagimo::gdi {

TTextLayout LayOutText(const TTextRun& run, const TDrawState& state, const QTransform& base) {
    return LayOutText(run, state, base, TFontMatcher::Shared().Match(state.Font));
}

TTextLayout LayOutText(const TTextRun& run, const TDrawState& state, const QTransform& base,
                       std::shared_ptr<const TMatchedFont> matched) {
    TTextLayout layout;
    // The baseline is laid out in the page's logical mapping; base (the painter's own transform: a
    // turn, a part of the page drawn alone) then takes it to the device, once.
    const QTransform& t = state.Transform;
    layout.Font = std::move(matched);
    const auto& font = layout.Font;
    if (run.Text.empty() || !font->Raw.isValid()) return layout;

    // Glyphs, and the advances measured when the run gives none.
    struct TChar {
        quint32 Glyph = 0;
        char32_t Char = 0;
        bool Fallback = false, Skip = false;
        int32_t Measured = 0;
        double X = 0, Y = 0;
    };
    const bool glyphIndices = run.Options & ETO_GLYPH_INDEX;
    const bool measure = run.Dx.empty();
    const size_t n = run.Text.size();
    std::vector<TChar> chars(n);
    if (measure && !(glyphIndices && font->NamedFace)) {
        // As TMatchedFont::Advances measures: by characters, the second unit of a pair advancing by
        // nothing.
        for (size_t i = 0; i < n; ++i) {
            char32_t c = run.Text[i];
            const bool pair = QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(run.Text[i + 1]);
            if (pair) c = QChar::surrogateToUcs4(run.Text[i], run.Text[i + 1]);
            chars[i].Measured = font->GlyphOfChar(c).Advance;
            if (pair) ++i;
        }
    }
    for (size_t i = 0; i < n; ++i) {
        TChar& ch = chars[i];
        char32_t c = run.Text[i];
        if (glyphIndices && font->NamedFace) {
            // The face the page was set in: its glyphs, whatever their index.
            ch.Glyph = font->GlyphOfIndex(run.Text[i]);
            ch.Char = font->CharOfIndex(run.Text[i]);
            if (ch.Glyph == 0) {
                ch.Skip = ch.Char == 0; // a character without a glyph is kept, unseen
            } else if (measure) {
                // Undivided glyph runs advance by the glyphs' own widths.
                QPointF advance;
                font->Raw.advancesForGlyphIndexes(&ch.Glyph, &advance, 1, QRawFont::UseDesignMetrics);
                ch.Measured = static_cast<int32_t>(std::lround(advance.x() * font->WidthScale));
            }
            continue;
        }
        if (glyphIndices) {
            // A substitute face: Windows TrueType faces put their first 258 glyphs in the standard
            // Macintosh order, which maps back to characters; past it their order is their own.
            c = graphics::StandardOrderGlyphToChar(static_cast<uint16_t>(run.Text[i]));
            if (c == 0) {
                ch.Skip = true; // an index we cannot map draws nothing rather than a wrong glyph
                continue;
            }
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(run.Text[i + 1])) {
            c = QChar::surrogateToUcs4(static_cast<char16_t>(c), run.Text[i + 1]);
            chars[i + 1].Skip = true;
        }
        if (c < 0x20 && c != 0x09) {
            ch.Skip = true;
            continue;
        }
        ch.Char = c;
        const TMatchedFont::TCharGlyph glyph = font->GlyphOfChar(c);
        ch.Glyph = glyph.Glyph;
        ch.Fallback = glyph.Fallback;
    }

    // Positions.
    double x = 0, y = 0;
    const bool pdy = run.Options & ETO_PDY;
    for (size_t i = 0; i < n; ++i) {
        chars[i].X = x;
        chars[i].Y = y;
        if (!measure) {
            const size_t k = pdy ? 2 * i : i;
            if (k < run.Dx.size()) x += run.Dx[k];
            if (pdy && k + 1 < run.Dx.size()) y -= run.Dx[k + 1];
        } else {
            x += chars[i].Measured;
        }
    }
    const double total = x;
    if ((run.Options & ETO_RTLREADING) || (state.TextAlign & TA_RTLREADING)) {
        // Right-to-left reading: the first character in the string takes the rightmost place; each keeps
        // its own advance.
        for (size_t i = 0; i < n; ++i) {
            const double advance = (i + 1 < n ? chars[i + 1].X : total) - chars[i].X;
            chars[i].X = total - chars[i].X - advance;
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
            chars[i].X = -chars[i].X - (i + 1 < n ? chars[i + 1].X - chars[i].X : total - chars[i].X);
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
    layout.Glyphs.reserve(n);
    for (const TChar& ch : chars) {
        if (ch.Skip) continue;
        const TPlacedGlyph placed{ch.Glyph, ch.Fallback, ch.Char, QPointF((dx0 + ch.X) / ws, baseline + ch.Y)};
        if (ch.Glyph != 0)
            layout.Glyphs.push_back(placed);
        else if (ch.Char != 0)
            layout.Missing.emplace_back(layout.Glyphs.size(), placed);
    }
    layout.Valid = true;
    return layout;
}

} // namespace pagimo::gdi
