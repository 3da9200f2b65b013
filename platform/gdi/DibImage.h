#pragma once
// Between device-independent bitmaps (BITMAPINFO + bits, as metafiles store them) and QImage.

#include "platform/gdi/Device.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace pagimo::gdi {

// Decodes a DIB in any depth and compression; a null image for malformed or hostile input. With
// sourceAlpha the fourth byte of 32-bit pixels is premultiplied alpha (ALPHABLEND).
QImage DibToImage(const TDib& dib, bool sourceAlpha = false);

struct TDibBytes {
    std::vector<uint8_t> Info; // BITMAPINFOHEADER (40 bytes), no colour table
    std::vector<uint8_t> Bits; // 32 bits per pixel, bottom-up rows
    TDib View() const { return TDib{Info, Bits, DIB_RGB_COLORS}; }
};
// Encodes any image as a 32-bit (alpha ignored by GDI) DIB, or 24-bit when it is opaque.
TDibBytes ImageToDib(const QImage& image);
// A 32-bit DIB whose top bytes carry premultiplied alpha (for AlphaBlend with AC_SRC_ALPHA).
TDibBytes ImageToAlphaDib(const QImage& image);

} // namespace pagimo::gdi
