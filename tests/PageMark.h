#pragma once
// Probes of the mark the page painter puts on a page that cannot be drawn completely: the sheet
// crossed out in red from corner to corner (the reason sits in a white box across the middle).

#include <QColor>
#include <QImage>
#include <QRectF>

#include <algorithm>

namespace pagimo::test {

// sheet: where the page lies in image (its own pixels, device-pixel ratio 1).
inline bool HasPageMark(const QImage& image, const QRectF& sheet) {
    const double w = sheet.width(), h = sheet.height();
    const double inset = std::min(7.0, std::min(w, h) / 10);
    const auto reddish = [&](double x, double y) {
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const QPoint p(static_cast<int>(x) + dx, static_cast<int>(y) + dy);
                if (!image.rect().contains(p)) continue;
                const QColor c = image.pixelColor(p);
                if (c.red() > 150 && c.green() < 150 && c.blue() < 150) return true;
            }
        return false;
    };
    // Four places on each diagonal, all outside the box across the middle third.
    for (double t : {0.08, 0.22, 0.78, 0.92}) {
        const double x = sheet.x() + inset + t * (w - 2 * inset), y = sheet.y() + inset + t * (h - 2 * inset);
        const double mirrored = sheet.x() + w - inset - t * (w - 2 * inset);
        if (!reddish(x, y) || !reddish(mirrored, y)) return false;
    }
    return true;
}

} // namespace pagimo::test
