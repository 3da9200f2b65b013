#include "controls/TextMeasure.h"

#include "platform/gdi/Canvas.h"
#include "platform/gdi/TraceDevice.h"

#include <QGuiApplication>

namespace pagimo::controls {

TQRTextMeasure::TQRTextMeasure() = default;
TQRTextMeasure::~TQRTextMeasure() = default;

gdi::TCanvas* TQRTextMeasure::Canvas() const {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
    if (!FCanvas) {
        FDevice = std::make_unique<gdi::TBoundsDevice>();
        FCanvas = std::make_unique<gdi::TCanvas>(*FDevice);
    }
    return FCanvas.get();
}

int TQRTextMeasure::Width(const TFont& font, std::string_view text) const {
    gdi::TCanvas* dc = Canvas();
    if (!dc) return 0;
    try {
        dc->Font = ToGdiFont(font);
        return dc->TextExtent(text).width() + 1;
    } catch (const std::exception&) {
        return 0;
    }
}

int TQRTextMeasure::Height(const TFont& font) const {
    gdi::TCanvas* dc = Canvas();
    if (!dc) return 0;
    try {
        dc->Font = ToGdiFont(font);
        return dc->TextExtent(std::string_view("A")).height();
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace pagimo::controls
