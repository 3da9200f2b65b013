#include "platform/gdi/DibImage.h"

#include "platform/emf/LittleEndian.h"

#ifdef PAGIMO_HAVE_GRAPHICS
#include "platform/graphics/Dib.h"
#endif

#include <algorithm>

namespace pagimo::gdi {

using emf::GetI32;
using emf::GetU16;
using emf::GetU32;

namespace {

#ifndef PAGIMO_HAVE_GRAPHICS
// Uncompressed and bit-field DIBs only; the pictures library supersedes this when it is built.
constexpr int64_t MaxPixels = 64LL * 1024 * 1024;

int Shift(uint32_t mask) { return mask ? __builtin_ctz(mask) : 0; }
int Bits(uint32_t mask) { return __builtin_popcount(mask); }
uint8_t Channel(uint32_t v, uint32_t mask) {
    if (!mask) return 0;
    const uint32_t c = (v & mask) >> Shift(mask);
    const int n = Bits(mask);
    return n >= 8 ? static_cast<uint8_t>(c >> (n - 8)) : static_cast<uint8_t>(c * 255 / ((1u << n) - 1));
}

QImage Decode(const TDib& dib) {
    const auto info = dib.Info;
    if (info.size() < 12) return {};
    const uint32_t headerSize = GetU32(info.data());
    int64_t width, height;
    uint16_t bpp;
    uint32_t compression = 0, colorsUsed = 0;
    if (headerSize == 12) {
        width = GetU16(info.data() + 4);
        height = static_cast<int16_t>(GetU16(info.data() + 6));
        bpp = GetU16(info.data() + 10);
    } else {
        if (headerSize < 40 || info.size() < 40) return {};
        width = GetI32(info.data() + 4);
        height = GetI32(info.data() + 8);
        bpp = GetU16(info.data() + 14);
        compression = GetU32(info.data() + 16);
        colorsUsed = GetU32(info.data() + 32);
    }
    const bool topDown = height < 0;
    height = std::abs(height);
    if (width <= 0 || height <= 0 || width * height > MaxPixels) return {};
    if (compression != 0 && compression != 3) return {};
    uint32_t masks[3] = {0, 0, 0};
    if (compression == 3) {
        const size_t at = headerSize >= 52 ? 40 : headerSize;
        if (info.size() < at + 12 && headerSize < 52) return {};
        if (info.size() < at + 12) return {};
        masks[0] = GetU32(info.data() + at), masks[1] = GetU32(info.data() + at + 4),
        masks[2] = GetU32(info.data() + at + 8);
    } else if (bpp == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    std::vector<QRgb> palette;
    if (bpp <= 8) {
        const size_t entries = colorsUsed ? std::min<uint32_t>(colorsUsed, 1u << bpp) : (1u << bpp);
        const size_t entrySize = headerSize == 12 ? 3 : 4;
        const size_t at = headerSize;
        for (size_t i = 0; i < entries; ++i) {
            const size_t p = at + i * entrySize;
            if (p + 3 > info.size() || dib.Usage != DIB_RGB_COLORS) {
                palette.push_back(qRgb(static_cast<int>(i * 255 / std::max<size_t>(entries - 1, 1)),
                                       static_cast<int>(i * 255 / std::max<size_t>(entries - 1, 1)),
                                       static_cast<int>(i * 255 / std::max<size_t>(entries - 1, 1))));
            } else {
                palette.push_back(qRgb(info[p + 2], info[p + 1], info[p]));
            }
        }
    } else if (bpp != 16 && bpp != 24 && bpp != 32) {
        return {};
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return {};
    const int64_t stride = ((width * bpp + 31) / 32) * 4;
    if (static_cast<int64_t>(dib.Bits.size()) < stride * height) return {};
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = dib.Bits.data() + (topDown ? y : height - 1 - y) * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (int64_t x = 0; x < width; ++x) {
            switch (bpp) {
            case 1: out[x] = palette.empty() ? 0 : palette[std::min<size_t>((row[x / 8] >> (7 - x % 8)) & 1, palette.size() - 1)]; break;
            case 4: out[x] = palette.empty() ? 0 : palette[std::min<size_t>((row[x / 2] >> (x % 2 ? 0 : 4)) & 15, palette.size() - 1)]; break;
            case 8: out[x] = palette.empty() ? 0 : palette[std::min<size_t>(row[x], palette.size() - 1)]; break;
            case 16: {
                const uint32_t v = GetU16(row + x * 2);
                out[x] = qRgb(Channel(v, masks[0]), Channel(v, masks[1]), Channel(v, masks[2]));
                break;
            }
            case 24: out[x] = qRgb(row[x * 3 + 2], row[x * 3 + 1], row[x * 3]); break;
            case 32: {
                const uint32_t v = GetU32(row + x * 4);
                out[x] = qRgb(Channel(v, masks[0]), Channel(v, masks[1]), Channel(v, masks[2]));
                break;
            }
            }
        }
    }
    return image;
}
#endif

} // namespace

QImage DibToImage(const TDib& dib) {
#ifdef PAGIMO_HAVE_GRAPHICS
    return graphics::DecodeDib(dib.Info, dib.Bits, dib.Usage);
#else
    return Decode(dib);
#endif
}

TDibBytes ImageToDib(const QImage& image) {
    TDibBytes out;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    const int w = img.width(), h = img.height();
    out.Info.resize(40, 0);
    emf::PutU32(out.Info.data(), 40);
    emf::PutI32(out.Info.data() + 4, w);
    emf::PutI32(out.Info.data() + 8, h);
    emf::PutU16(out.Info.data() + 12, 1);
    emf::PutU16(out.Info.data() + 14, 32);
    emf::PutU32(out.Info.data() + 20, static_cast<uint32_t>(w * h * 4));
    out.Bits.resize(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(img.constScanLine(h - 1 - y));
        uint8_t* o = out.Bits.data() + static_cast<size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            o[x * 4] = static_cast<uint8_t>(qBlue(in[x]));
            o[x * 4 + 1] = static_cast<uint8_t>(qGreen(in[x]));
            o[x * 4 + 2] = static_cast<uint8_t>(qRed(in[x]));
            o[x * 4 + 3] = 0;
        }
    }
    return out;
}

} // namespace pagimo::gdi
