#include "platform/gdi/Gdi.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace pagimo::gdi {

namespace {

// Whether pixel (x, y) of hatch h's 8 x 8 cell carries the foreground colour.
bool HatchBit(uint32_t h, int x, int y) {
    // The percentages dither by an 8 x 8 ordered (Bayer) matrix, so each covers its share evenly.
    static constexpr uint8_t Bayer[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
                                            {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
                                            {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
                                            {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};
    static constexpr int Percent[] = {5, 10, 20, 25, 30, 40, 50, 60, 70, 75, 80, 90};
    const int down = (x - y + 8) % 8, up = (x + y) % 8;
    switch (h) {
    case HS_HORIZONTAL: return y == 0;
    case HS_VERTICAL: return x == 0;
    case HS_FDIAGONAL: return down == 0;
    case HS_BDIAGONAL: return up == 7;
    case HS_CROSS: return x == 0 || y == 0;
    case HS_DIAGCROSS: return down == 0 || up == 7;
    case 18: return down % 4 == 0;                    // light downward diagonal: twice as many lines
    case 19: return up % 4 == 3;                      // light upward diagonal
    case 20: return down % 4 < 2;                     // dark downward diagonal: twice as wide too
    case 21: return up % 4 >= 2;                      // dark upward diagonal
    case 22: return down < 3;                         // wide downward diagonal: three pixels wide
    case 23: return up >= 5;                          // wide upward diagonal
    case 24: return x % 4 == 0;                       // light vertical
    case 25: return y % 4 == 0;                       // light horizontal
    case 26: return x % 2 == 0;                       // narrow vertical
    case 27: return y % 2 == 0;                       // narrow horizontal
    case 28: return x % 4 < 2;                        // dark vertical
    case 29: return y % 4 < 2;                        // dark horizontal
    case 30: return y < 4 && down % 4 == 0;           // dashed downward diagonal
    case 31: return y < 4 && up % 4 == 3;             // dashed upward diagonal
    case 32: return (y == 0 && x < 4) || (y == 4 && x >= 4); // dashed horizontal
    case 33: return (x == 0 && y < 4) || (x == 4 && y >= 4); // dashed vertical
    case 34: return (x * 5 + y * 3) % 8 == 0;                // small confetti
    case 35: return ((x / 2) * 3 + (y / 2) * 1) % 4 == 0;   // large confetti
    case 36: return y % 4 == (x < 4 ? x : 7 - x) % 4;        // zigzag
    case 37: {                                               // wave
        static constexpr int Wave[8] = {2, 1, 0, 0, 1, 2, 3, 3};
        return y == Wave[x];
    }
    case 38: return up == 7 || (y >= 4 && down == 0);         // diagonal brick
    case 39: return y == 0 || y == 4 || (x == 0 && y < 4) || (x == 4 && y > 4); // horizontal brick
    case 40: return down == 0 || (up == 3 && y % 4 != 1);     // weave
    case 41: return (y < 2 && x % 2 == 0) || (x < 2 && y % 2 == 0) || (x < 4 && y < 4 && (x + y) % 2 == 0); // plaid
    case 42: return (x == 2 && (y == 1 || y == 3)) || (x == 3 && y == 2) || (x == 6 && (y == 5 || y == 7)) ||
                    (x == 5 && y == 6); // divot
    case 43: return (y == 0 && x % 2 == 0) || (x == 0 && y % 2 == 0); // dotted grid
    case 44: return (down == 0 || up == 7) && x % 2 == 0;              // dotted diamond
    case 45: return up == 7 || (y == 4 && x < 4);                      // shingle
    case 46: return y % 2 == 0 && x % 4 != (y % 4 == 0 ? 3 : 1);        // trellis
    case 47: {                                                         // sphere
        const double d = std::hypot(x - 3.5, y - 3.5);
        return d > 2.2 && d < 3.8;
    }
    case 48: return x % 4 == 0 || y % 4 == 0;              // small grid
    case 49: return (x + y) % 2 == 0;                      // small checkerboard
    case 50: return (x / 4 + y / 4) % 2 == 0;              // large checkerboard
    case 51: return down == 0 || up == 7;                  // outlined diamond
    case 52: return std::abs(2 * x - 7) + std::abs(2 * y - 7) <= 8; // solid diamond
    default:
        if (h >= 6 && h <= 17) return Bayer[y][x] < Percent[h - 6] * 64 / 100;
        return false;
    }
}

} // namespace

const uint8_t* HatchRows(uint32_t hatch) {
    static const auto table = [] {
        std::array<std::array<uint8_t, 8>, HatchStyleLast + 2> t{};
        for (uint32_t h = 0; h <= HatchStyleLast; ++h)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    if (HatchBit(h, x, y)) t[h][y] |= static_cast<uint8_t>(0x80 >> x);
        return t;
    }();
    return table[hatch <= HatchStyleLast ? hatch : HatchStyleLast + 1].data();
}

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
