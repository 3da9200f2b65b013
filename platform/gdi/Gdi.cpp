#include "platform/gdi/Gdi.h"

#include <cmath>

namespace pagimo::gdi {

int32_t TDeviceCaps::Get(int index) const {
    switch (index) {
    case TECHNOLOGY:
        return Technology;
    case HORZSIZE:
        return HorzSizeMM;
    case VERTSIZE:
        return VertSizeMM;
    case HORZRES:
        return HorzRes;
    case VERTRES:
        return VertRes;
    case BITSPIXEL:
        return BitsPixel;
    case PLANES:
        return Planes;
    case LOGPIXELSX:
        return LogPixelsX;
    case LOGPIXELSY:
        return LogPixelsY;
    case PHYSICALWIDTH:
        return PhysicalWidth;
    case PHYSICALHEIGHT:
        return PhysicalHeight;
    case PHYSICALOFFSETX:
        return PhysicalOffsetX;
    case PHYSICALOFFSETY:
        return PhysicalOffsetY;
    default:
        return 0;
    }
}

TDeviceCaps TDeviceCaps::Screen(int32_t widthPx, int32_t heightPx, int32_t dpi) {
    TDeviceCaps caps;
    caps.HorzRes = caps.PhysicalWidth = widthPx;
    caps.VertRes = caps.PhysicalHeight = heightPx;
    caps.LogPixelsX = caps.LogPixelsY = dpi;
    caps.HorzSizeMM = static_cast<int32_t>(std::lround(widthPx * 25.4 / dpi));
    caps.VertSizeMM = static_cast<int32_t>(std::lround(heightPx * 25.4 / dpi));
    return caps;
}

} // namespace pagimo::gdi
