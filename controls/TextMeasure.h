#pragma once
// Text measurement on a screen-compatible canvas (96 pixels per inch), the reference device that
// text controls lay out their lines on. Fonts are matched through the graphical application's font
// database, so without one nothing can be measured and every result is 0.

#include "controls/Graphics.h"

#include <memory>
#include <string_view>

namespace pagimo::gdi {
class TCanvas;
class TDevice;
} // namespace pagimo::gdi

namespace pagimo::controls {

class TQRTextMeasure {
public:
    TQRTextMeasure();
    ~TQRTextMeasure();
    TQRTextMeasure(const TQRTextMeasure&) = delete;
    TQRTextMeasure& operator=(const TQRTextMeasure&) = delete;

    // The text's width in screen pixels plus 1; 0 when it cannot be measured.
    int Width(const TFont& font, std::string_view text) const;
    // The height of a one-character text ("A") in screen pixels; 0 when it cannot be measured.
    int Height(const TFont& font) const;

private:
    mutable std::unique_ptr<gdi::TDevice> FDevice;
    mutable std::unique_ptr<gdi::TCanvas> FCanvas;
    gdi::TCanvas* Canvas() const;
};

} // namespace pagimo::controls
