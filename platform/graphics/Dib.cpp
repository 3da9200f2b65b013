#include "platform/graphics/Dib.h"

#include "platform/emf/LittleEndian.h"
#include "platform/graphics/Jpeg.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace pagimo::graphics {

using emf::GetI32;
using emf::GetU16;
using emf::GetU32;

namespace {

constexpr uint32_t CoreHeaderSize = 12;
constexpr uint32_t InfoHeaderSize = 40;
constexpr uint32_t Os2HeaderSize = 64;
constexpr uint32_t FileHeaderSize = 14;

// The default logical palette: the 20 static colours every device context starts with, so the
// indices of a DIB_PAL_COLORS table refer to these unless a program selected a palette of its own.
constexpr std::array<QRgb, 20> DefaultPalette = {0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080,
                                                 0xFF800080, 0xFF008080, 0xFFC0C0C0, 0xFFC0DCC0, 0xFFA6CAF0,
                                                 0xFFFFFBF0, 0xFFA0A0A4, 0xFF808080, 0xFFFF0000, 0xFF00FF00,
                                                 0xFFFFFF00, 0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};

bool KnownHeaderSize(uint32_t size) {
    switch (size) {
    case 12:
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        return true;
    default:
        return false;
    }
}

// A channel of a bit-field pixel: where it sits and how to widen it to 8 bits.
struct TChannel {
    uint32_t Mask = 0;
    int Shift = 0;
    uint32_t Max = 0;

    explicit TChannel(uint32_t mask) : Mask(mask) {
        if (mask != 0) {
            Shift = std::countr_zero(mask);
            Max = mask >> Shift;
        }
    }
    uint32_t Get(uint32_t pixel) const {
        if (Max == 0) return 0;
        const uint64_t v = (pixel & Mask) >> Shift;
        return static_cast<uint32_t>((v * 255 + Max / 2) / Max);
    }
};

int64_t RowStride(int32_t width, int bitCount) {
    return ((static_cast<int64_t>(width) * bitCount + 31) / 32) * 4;
}

std::vector<QRgb> ReadColorTable(std::span<const uint8_t> info, const TDibHeader& h, uint32_t usage) {
    std::vector<QRgb> table;
    if (h.BitCount > 8) return table;
    table.reserve(h.ColorsUsed);
    const uint8_t* p = info.data() + h.ColorTableOffset;
    for (uint32_t i = 0; i < h.ColorsUsed; ++i, p += h.ColorEntrySize) {
        if (usage == DibPalColors) {
            const uint16_t index = GetU16(p);
            table.push_back(index < DefaultPalette.size() ? DefaultPalette[index]
                                                          : qRgb(index & 0xFF, index & 0xFF, index & 0xFF));
        } else {
            table.push_back(qRgb(p[2], p[1], p[0]));
        }
    }
    return table;
}

QRgb* RowOf(QImage& image, const TDibHeader& h, int32_t fileRow) {
    const int32_t y = h.TopDown ? fileRow : h.Height - 1 - fileRow;
    return reinterpret_cast<QRgb*>(image.scanLine(y));
}

QImage DecodeIndexed(std::span<const uint8_t> bits, const TDibHeader& h, const std::vector<QRgb>& table) {
    const int64_t stride = RowStride(h.Width, h.BitCount);
    const int64_t lastRow = (static_cast<int64_t>(h.Width) * h.BitCount + 7) / 8;
    // The last row may lack its padding: some writers size the bits exactly.
    if (static_cast<int64_t>(bits.size()) < stride * (h.Height - 1) + lastRow) return {};
    QImage image(h.Width, h.Height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    const int bpp = h.BitCount;
    const uint32_t mask = (1u << bpp) - 1;
    const size_t colours = table.size();
    for (int32_t row = 0; row < h.Height; ++row) {
        const uint8_t* src = bits.data() + stride * row;
        QRgb* dst = RowOf(image, h, row);
        for (int32_t x = 0; x < h.Width; ++x) {
            const int64_t bit = static_cast<int64_t>(x) * bpp;
            const uint32_t index = (src[bit >> 3] >> (8 - bpp - (bit & 7))) & mask;
            dst[x] = index < colours ? table[index] : 0xFF000000;
        }
    }
    return image;
}

QImage DecodeTrueColour(std::span<const uint8_t> bits, const TDibHeader& h, bool useAlphaByte) {
    const int64_t stride = RowStride(h.Width, h.BitCount);
    const int bytesPerPixel = h.BitCount / 8;
    const int64_t lastRow = static_cast<int64_t>(h.Width) * bytesPerPixel;
    if (static_cast<int64_t>(bits.size()) < stride * (h.Height - 1) + lastRow) return {};

    uint32_t red = h.RedMask, green = h.GreenMask, blue = h.BlueMask, alpha = h.AlphaMask;
    const bool fields = h.Compression == BiBitfields || h.Compression == BiAlphaBitfields;
    if (!fields) {
        if (h.BitCount == 16) {
            red = 0x7C00, green = 0x03E0, blue = 0x001F;
        } else {
            red = 0xFF0000, green = 0xFF00, blue = 0xFF;
        }
        alpha = (h.BitCount == 32 && useAlphaByte) ? 0xFF000000 : 0;
    }
    // Blending with source alpha reads the top byte of a 32-bit pixel as (premultiplied) alpha, also when
    // bit fields describe the colours without naming an alpha mask.
    if (fields && useAlphaByte && h.BitCount == 32 && alpha == 0 && ((red | green | blue) & 0xFF000000) == 0)
        alpha = 0xFF000000;
    const TChannel r(red), g(green), b(blue), a(alpha);
    const bool readAlphaByte = fields && useAlphaByte && h.BitCount == 32;
    const bool premultiplied = alpha != 0 && (!fields || readAlphaByte);
    QImage image(h.Width, h.Height,
                 alpha == 0      ? QImage::Format_RGB32
                 : premultiplied ? QImage::Format_ARGB32_Premultiplied
                                 : QImage::Format_ARGB32);
    if (image.isNull()) return {};
    bool anyAlpha = false;
    for (int32_t row = 0; row < h.Height; ++row) {
        const uint8_t* src = bits.data() + stride * row;
        QRgb* dst = RowOf(image, h, row);
        if (h.BitCount == 24) {
            for (int32_t x = 0; x < h.Width; ++x, src += 3)
                dst[x] = qRgb(src[2], src[1], src[0]);
            continue;
        }
        for (int32_t x = 0; x < h.Width; ++x) {
            const uint32_t pixel = h.BitCount == 16 ? GetU16(src + 2 * x) : GetU32(src + 4 * x);
            const uint32_t av = alpha ? a.Get(pixel) : 255;
            uint32_t rv = r.Get(pixel), gv = g.Get(pixel), bv = b.Get(pixel);
            if (premultiplied) rv = std::min(rv, av), gv = std::min(gv, av), bv = std::min(bv, av);
            dst[x] = qRgba(static_cast<int>(rv), static_cast<int>(gv), static_cast<int>(bv), static_cast<int>(av));
            anyAlpha |= av != 0;
        }
    }
    // Bit-field bitmaps whose alpha is zero everywhere were written by programs that leave the alpha
    // bits unset; showing nothing at all would be the wrong reading.
    if (alpha != 0 && (!premultiplied || readAlphaByte) && !anyAlpha)
        return image.convertToFormat(QImage::Format_RGB32);
    return image;
}

// BI_RLE8 and BI_RLE4. Pixels that a delta, an early end of line or an early end of bitmap passes over
// are left transparent, as they leave the destination untouched when GDI draws such a bitmap.
QImage DecodeRle(std::span<const uint8_t> bits, const TDibHeader& h, const std::vector<QRgb>& table) {
    QImage image(h.Width, h.Height, QImage::Format_ARGB32);
    if (image.isNull()) return {};
    image.fill(Qt::transparent);
    const bool four = h.Compression == BiRle4;
    const size_t colours = table.size();
    auto colour = [&](uint32_t index) { return index < colours ? table[index] : 0xFF000000u; };
    int64_t written = 0;
    int32_t x = 0, row = 0;
    size_t pos = 0;
    const size_t n = bits.size();
    auto put = [&](uint32_t index) {
        if (x < h.Width && row < h.Height) {
            RowOf(image, h, row)[x] = colour(index);
            ++written;
        }
        ++x;
    };
    bool done = false;
    while (!done && row < h.Height && pos + 1 < n) {
        const uint8_t count = bits[pos], value = bits[pos + 1];
        pos += 2;
        if (count > 0) {
            // An encoded run; what passes the end of the line is dropped, as a run never wraps.
            for (uint32_t i = 0; i < count; ++i)
                put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            if (x > h.Width) x = h.Width;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++row;
            break;
        case 1: // end of bitmap
            done = true;
            break;
        case 2: // delta
            if (pos + 1 >= n) {
                done = true;
                break;
            }
            x += bits[pos];
            row += bits[pos + 1];
            pos += 2;
            break;
        default: { // an absolute run of value pixels, padded to a 16-bit boundary
            const size_t bytes = four ? (value + 1u) / 2u : value;
            if (pos + bytes > n) {
                done = true;
                break;
            }
            for (uint32_t i = 0; i < value; ++i) {
                const uint8_t byte = bits[pos + (four ? i / 2 : i)];
                put(four ? ((i & 1) ? byte & 0x0F : byte >> 4) : byte);
            }
            pos += (bytes + 1) & ~size_t(1);
            break;
        }
        }
        if (x > h.Width) x = h.Width; // keep the column bounded whatever the runs say
    }
    if (written == static_cast<int64_t>(h.Width) * h.Height) return image.convertToFormat(QImage::Format_RGB32);
    return image;
}

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

QImage DecodeEmbedded(std::span<const uint8_t> bits, const TDibHeader& h) {
    QImage image;
    if (h.Compression == BiJpeg) {
        // The JPEG's own size must be the header's before anything is decoded.
        TJpegInfo info;
        if (!ReadJpegInfo(bits, info) || info.Width != h.Width || info.Height != h.Height) return {};
        image = DecodeJpeg(bits);
    } else if (bits.size() <= static_cast<size_t>(INT32_MAX)) {
        // Check the PNG's own size before Qt allocates for it.
        if (bits.size() >= 24 && std::memcmp(bits.data(), "\x89PNG\r\n\x1a\n", 8) == 0) {
            const uint32_t w = BigEndian32(bits.data() + 16), hh = BigEndian32(bits.data() + 20);
            if (w > 0 && hh > 0 && w == uint32_t(h.Width) && hh == uint32_t(h.Height) &&
                int64_t(w) * hh <= MaxDibPixels)
                image = QImage::fromData(bits.data(), static_cast<int>(bits.size()), "PNG");
        }
    }
    if (image.isNull()) return {};
    // The header's size rules; an embedded picture of another size is refused rather than guessed at.
    if (image.width() != h.Width || image.height() != h.Height) return {};
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    return image;
}

} // namespace

bool ReadDibHeader(std::span<const uint8_t> info, uint32_t usage, TDibHeader& h) {
    h = TDibHeader{};
    if (info.size() < 4 || usage > DibPalColors) return false;
    const uint8_t* p = info.data();
    const uint32_t size = GetU32(p);
    if (!KnownHeaderSize(size) || info.size() < size) return false;
    h.HeaderSize = size;
    int64_t height = 0;
    if (size == CoreHeaderSize) {
        h.Width = GetU16(p + 4);
        height = GetU16(p + 6);
        h.BitCount = GetU16(p + 10);
        h.ColorEntrySize = 3;
    } else {
        h.Width = GetI32(p + 4);
        height = GetI32(p + 8);
        h.BitCount = GetU16(p + 14);
        if (size >= 20) h.Compression = GetU32(p + 16);
        if (size >= 32) {
            h.XPelsPerMeter = GetI32(p + 24);
            h.YPelsPerMeter = GetI32(p + 28);
        }
        if (size >= 36) h.ColorsUsed = GetU32(p + 32);
    }
    // The OS/2 header numbers its compressions differently: only the ones both share are accepted.
    if (size == Os2HeaderSize && h.Compression != BiRgb && h.Compression != BiRle8 && h.Compression != BiRle4)
        return false;
    if (height < 0) {
        h.TopDown = true;
        height = -height;
    }
    if (h.Width <= 0 || height <= 0 || h.Width > MaxDibSide || height > MaxDibSide) return false;
    h.Height = static_cast<int32_t>(height);
    if (static_cast<int64_t>(h.Width) * h.Height > MaxDibPixels) return false;

    switch (h.Compression) {
    case BiRgb:
        if (h.BitCount != 1 && h.BitCount != 2 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 16 &&
            h.BitCount != 24 && h.BitCount != 32)
            return false;
        break;
    case BiRle8:
        if (h.BitCount != 8 || h.TopDown) return false;
        break;
    case BiRle4:
        if (h.BitCount != 4 || h.TopDown) return false;
        break;
    case BiBitfields:
    case BiAlphaBitfields:
        if (h.BitCount != 16 && h.BitCount != 32) return false;
        break;
    case BiJpeg:
    case BiPng:
        if (h.TopDown) return false;
        break;
    default:
        return false;
    }

    // Bit masks: inside V2 and later headers, else straight after a BITMAPINFOHEADER.
    uint32_t offset = size;
    if (h.Compression == BiBitfields || h.Compression == BiAlphaBitfields) {
        const uint32_t masks = h.Compression == BiAlphaBitfields ? 4 : 3;
        const uint8_t* m = p + InfoHeaderSize;
        if (size == InfoHeaderSize) {
            if (info.size() < size + masks * 4) return false;
            offset += masks * 4;
        }
        h.RedMask = GetU32(m);
        h.GreenMask = GetU32(m + 4);
        h.BlueMask = GetU32(m + 8);
        if (masks == 4 || size >= 56) h.AlphaMask = GetU32(m + 12);
        if (h.BitCount == 16) {
            h.RedMask &= 0xFFFF, h.GreenMask &= 0xFFFF, h.BlueMask &= 0xFFFF, h.AlphaMask &= 0xFFFF;
        }
    }
    h.ColorTableOffset = offset;

    if (usage == DibPalColors) h.ColorEntrySize = 2;
    if (h.BitCount >= 1 && h.BitCount <= 8) {
        const uint32_t maximum = 1u << h.BitCount;
        uint32_t wanted = h.ColorsUsed == 0 || h.ColorsUsed > maximum ? maximum : h.ColorsUsed;
        if (size == CoreHeaderSize) wanted = maximum;
        const uint32_t present = static_cast<uint32_t>((info.size() - offset) / h.ColorEntrySize);
        h.ColorsUsed = std::min(wanted, present);
    } else {
        h.ColorsUsed = 0;
    }
    return true;
}

QImage DecodeDib(std::span<const uint8_t> bitmapInfo, std::span<const uint8_t> bits, uint32_t usage,
                 bool useAlphaByte) {
    TDibHeader h;
    if (!ReadDibHeader(bitmapInfo, usage, h)) return {};
    switch (h.Compression) {
    case BiJpeg:
    case BiPng:
        return DecodeEmbedded(bits, h);
    case BiRle4:
    case BiRle8:
        return DecodeRle(bits, h, ReadColorTable(bitmapInfo, h, usage));
    default:
        break;
    }
    if (h.BitCount <= 8) return DecodeIndexed(bits, h, ReadColorTable(bitmapInfo, h, usage));
    return DecodeTrueColour(bits, h, useAlphaByte);
}

QImage DecodePackedDib(std::span<const uint8_t> packed, uint32_t usage) {
    TDibHeader h;
    if (!ReadDibHeader(packed, usage, h)) return {};
    const size_t tableEnd = h.ColorTableOffset + size_t(h.ColorsUsed) * h.ColorEntrySize;
    return DecodeDib(packed.first(tableEnd), packed.subspan(tableEnd), usage);
}

bool SplitBmpFile(std::span<const uint8_t> file, std::span<const uint8_t>& bitmapInfo, std::span<const uint8_t>& bits) {
    if (file.size() < FileHeaderSize + 4 || file[0] != 'B' || file[1] != 'M') return false;
    const uint32_t offBits = GetU32(file.data() + 10);
    const auto dib = file.subspan(FileHeaderSize);
    TDibHeader h;
    if (!ReadDibHeader(dib, DibRgbColors, h)) return false;
    // Read from the rest of the file, the header's table size is the declared one (clamped to the file).
    const size_t tableStart = FileHeaderSize + h.ColorTableOffset;
    const size_t declaredEnd = tableStart + size_t(h.ColorsUsed) * h.ColorEntrySize;
    const uint32_t statedCount = h.HeaderSize >= 36 ? GetU32(dib.data() + 32) : 0;
    const bool explicitCount =
        h.BitCount >= 1 && h.BitCount <= 8 && statedCount != 0 && statedCount <= (1u << h.BitCount);
    size_t start = offBits;
    if (start < tableStart || start > file.size() || (explicitCount && start < declaredEnd)) {
        // An offset into the header, into a colour table whose size the header states, or past the end:
        // the bits follow the table. Without a stated size a short offset means a short table.
        start = std::min(file.size(), declaredEnd);
    }
    bitmapInfo = file.subspan(FileHeaderSize, start - FileHeaderSize);
    bits = file.subspan(start);
    return true;
}

QImage DecodeBmpFile(std::span<const uint8_t> file) {
    std::span<const uint8_t> info, bits;
    if (!SplitBmpFile(file, info, bits)) return {};
    return DecodeDib(info, bits, DibRgbColors);
}

TDib EncodeDib(const QImage& source) {
    TDib dib;
    if (source.isNull()) return dib;
    const bool alpha = source.hasAlphaChannel();
    const QImage image = source.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    const int bitCount = alpha ? 32 : 24;
    const int32_t w = image.width(), h = image.height();
    const int64_t stride = RowStride(w, bitCount);
    dib.Info.assign(InfoHeaderSize, 0);
    uint8_t* p = dib.Info.data();
    emf::PutU32(p, InfoHeaderSize);
    emf::PutI32(p + 4, w);
    emf::PutI32(p + 8, h);
    emf::PutU16(p + 12, 1);
    emf::PutU16(p + 14, static_cast<uint16_t>(bitCount));
    emf::PutU32(p + 16, BiRgb);
    emf::PutU32(p + 20, static_cast<uint32_t>(stride * h));
    emf::PutI32(p + 24, 3780); // 96 pixels per inch
    emf::PutI32(p + 28, 3780);
    dib.Bits.assign(static_cast<size_t>(stride * h), 0);
    for (int32_t y = 0; y < h; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(h - 1 - y));
        uint8_t* dst = dib.Bits.data() + stride * y;
        for (int32_t x = 0; x < w; ++x) {
            *dst++ = static_cast<uint8_t>(qBlue(src[x]));
            *dst++ = static_cast<uint8_t>(qGreen(src[x]));
            *dst++ = static_cast<uint8_t>(qRed(src[x]));
            if (alpha) *dst++ = static_cast<uint8_t>(qAlpha(src[x]));
        }
    }
    return dib;
}

std::vector<uint8_t> EncodeBmpFile(const QImage& image) {
    const TDib dib = EncodeDib(image);
    if (dib.Info.empty()) return {};
    std::vector<uint8_t> file(FileHeaderSize);
    file[0] = 'B';
    file[1] = 'M';
    emf::PutU32(file.data() + 2, static_cast<uint32_t>(FileHeaderSize + dib.Info.size() + dib.Bits.size()));
    emf::PutU32(file.data() + 10, static_cast<uint32_t>(FileHeaderSize + dib.Info.size()));
    file.insert(file.end(), dib.Info.begin(), dib.Info.end());
    file.insert(file.end(), dib.Bits.begin(), dib.Bits.end());
    return file;
}

} // namespace pagimo::graphics
