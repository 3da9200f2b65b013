#pragma once
// Where the glyphs of one ExtTextOut call go: the part of text drawing every painting device shares
// (glyph lookup with the font's fallback face, advances from dx or measured, reading direction,
// escapement and mirrored axes, alignment), so that the painter and PDF devices place text alike.

#include "platform/gdi/Device.h"
#include "platform/gdi/FontMatcher.h"

#include <QRectF>
#include <QTransform>

#include <memory>
#include <vector>

namespace pagimo::gdi {

struct TPlacedGlyph {
    quint32 Glyph = 0; // in Font->Raw, or in Font->Fallback when Fallback is set
    bool Fallback = false;
    char32_t Char = 0; // the character it shows (for text extraction)
    QPointF Position;  // glyph origin in text space, before the width scale (see TTextLayout::Text)
};

struct TTextLayout {
    std::shared_ptr<const TMatchedFont> Font;
    // Text space: origin at the reference point, x along the baseline, y down, logical units, mapped to
    // the device's coordinates (the device's base transform included). Glyphs are drawn with
    // QTransform::fromScale(Font->WidthScale, 1) * Text.
    QTransform Text;
    double Left = 0;                  // start of the run in text space after alignment
    double Total = 0;                 // advance of the whole run
    double Baseline = 0;              // y of the baseline in text space
    std::vector<TPlacedGlyph> Glyphs; // drawable glyphs, in the order of the run
    // Characters of the run that neither the face nor its fallback can show (Glyph 0), with the places
    // the run gives them, and how many of Glyphs come before each: devices that keep text as text
    // keep them too, unseen.
    std::vector<std::pair<size_t, TPlacedGlyph>> Missing;
    // Em size in device units; runs of 1e6 and more are not drawn at all.
    double DeviceEm = 0;
    bool Valid = false; // false: nothing to draw (empty text, no usable face, degenerate transform)
};

// Lays out run for a device whose base transform (logical pixels of the picture's device to the
// device's own coordinates) is base.
TTextLayout LayOutText(const TTextRun& run, const TDrawState& state, const QTransform& base);
// The same with the state's font matched already.
TTextLayout LayOutText(const TTextRun& run, const TDrawState& state, const QTransform& base,
                       std::shared_ptr<const TMatchedFont> font);

} // namespace pagimo::gdi
