#include "controls/Frame.h"

namespace pagimo::controls {

int32_t TQRFrame::EdgeThickness(long double factor, int width) {
    if (width == -1) return 1;
    if (width <= 0) return 0;
    const int32_t t = Rnd(factor / 72 * 254 * width);
    return t < 1 ? 1 : t;
}

std::vector<TRect> TQRFrame::EdgeStrips(const TRect& r, long double xFactor, long double yFactor) const {
    std::vector<TRect> strips;
    const int32_t h = EdgeThickness(yFactor, FWidth);
    const int32_t v = EdgeThickness(xFactor, FWidth);
    if (FDrawTop && h > 0) strips.push_back({r.Left, r.Top, r.Right, r.Top + h});
    if (FDrawBottom && h > 0) strips.push_back({r.Left, r.Bottom - h, r.Right, r.Bottom});
    if (FDrawLeft && v > 0) strips.push_back({r.Left, r.Top, r.Left + v, r.Bottom});
    if (FDrawRight && v > 0) strips.push_back({r.Right - v, r.Top, r.Right, r.Bottom});
    return strips;
}

void TQRFrame::StrokeFrameEdges(const std::function<void(const TRect&, TColor)>& fill, const TRect& rect,
                                long double xFactor, long double yFactor) const {
    for (const TRect& strip : EdgeStrips(rect, xFactor, yFactor))
        fill(strip, FColor);
}

const system::TPropertyList& TQRFrame::ClassProperties() {
    using system::BoolProperty;
    static const system::TPropertyList list(
        nullptr, {ColorProperty<TQRFrame>("Color", &TQRFrame::Color, &TQRFrame::SetColor, clBlack),
                  BoolProperty<TQRFrame>("DrawTop", &TQRFrame::DrawTop, &TQRFrame::SetDrawTop, false),
                  BoolProperty<TQRFrame>("DrawBottom", &TQRFrame::DrawBottom, &TQRFrame::SetDrawBottom, false),
                  BoolProperty<TQRFrame>("DrawLeft", &TQRFrame::DrawLeft, &TQRFrame::SetDrawLeft, false),
                  BoolProperty<TQRFrame>("DrawRight", &TQRFrame::DrawRight, &TQRFrame::SetDrawRight, false),
                  system::EnumProperty<TQRFrame, TPenStyle>("Style", PenStyleInfo(), &TQRFrame::Style,
                                                            &TQRFrame::SetStyle, TPenStyle::psSolid),
                  system::IntProperty<TQRFrame>("Width", &TQRFrame::Width, &TQRFrame::SetWidth, 1)});
    return list;
}

} // namespace pagimo::controls
