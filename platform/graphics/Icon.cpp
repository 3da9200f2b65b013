#include "platform/graphics/Icon.h"

#include "platform/emf/LittleEndian.h"
#include "platform/graphics/Dib.h"
#include "platform/system/Errors.h"

#include <algorithm>
#include <cstring>

namespace pagimo::graphics {

using emf::GetI32;
using emf::GetU16;
using emf::GetU32;

namespace {

constexpr size_t DirHeaderSize = 6;
constexpr size_t DirEntrySize = 16;
constexpr int32_t MaxIconSide = 1024;

struct TIconEntry {
    int32_t Width = 0, Height = 0;
    uint16_t BitCount = 0;
    uint32_t Size = 0, Offset = 0;
};

int64_t Stride(int32_t width, int bitCount) {
    return ((int64_t(width) * bitCount + 31) / 32) * 4;
}

bool IsPng(std::span<const uint8_t> data) {
    return data.size() >= 24 && std::memcmp(data.data(), "\x89PNG\r\n\x1a\n", 8) == 0;
}

QImage DecodePngIcon(std::span<const uint8_t> data) {
    const auto be32 = [](const uint8_t* p) {
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
    };
    const uint32_t w = be32(data.data() + 16), h = be32(data.data() + 20);
    if (w == 0 || h == 0 || w > uint32_t(MaxIconSide) || h > uint32_t(MaxIconSide)) return {};
    if (data.size() > 0x7FFFFFFF) return {};
    QImage image = QImage::fromData(data.data(), static_cast<int>(data.size()), "PNG");
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QImage DecodeIconImage(std::span<const uint8_t> data) {
    if (IsPng(data)) return DecodePngIcon(data);
    if (data.size() < 40 || GetU32(data.data()) < 40 || GetU32(data.data()) > data.size()) return {};
    const int32_t width = GetI32(data.data() + 4), doubled = GetI32(data.data() + 8);
    const uint16_t bitCount = GetU16(data.data() + 14);
    if (width <= 0 || width > MaxIconSide || doubled <= 0 || doubled % 2 != 0 || doubled / 2 > MaxIconSide) return {};
    const int32_t height = doubled / 2;

    // The XOR bitmap is an ordinary DIB of half the stated height; the colour table follows the header.
    std::vector<uint8_t> info(data.begin(), data.end());
    emf::PutI32(info.data() + 8, height);
    TDibHeader header;
    if (!ReadDibHeader(info, DibRgbColors, header) || header.Compression != BiRgb) return {};
    const size_t tableEnd = header.ColorTableOffset + size_t(header.ColorsUsed) * header.ColorEntrySize;
    if (tableEnd > data.size()) return {};
    info.resize(tableEnd);
    const auto xorBits = data.subspan(tableEnd);
    QImage colour = DecodeDib(info, xorBits, DibRgbColors);
    if (colour.isNull()) return {};
    QImage image = colour.convertToFormat(QImage::Format_ARGB32);

    // 32-bit images carry their own (straight) alpha; the others, and 32-bit ones whose alpha is all
    // zero, take transparency from the AND mask.
    const int64_t xorStride = Stride(width, bitCount);
    bool hasAlpha = false;
    if (bitCount == 32) {
        for (int32_t y = 0; y < height && !hasAlpha; ++y)
            for (int32_t x = 0; x < width && !hasAlpha; ++x)
                hasAlpha = xorBits[size_t(xorStride * y + 4 * x + 3)] != 0;
    }
    if (hasAlpha) {
        for (int32_t y = 0; y < height; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(height - 1 - y));
            for (int32_t x = 0; x < width; ++x) {
                const int alpha = xorBits[size_t(xorStride * y + 4 * x + 3)];
                row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), alpha);
            }
        }
        return image;
    }
    const int64_t maskStride = Stride(width, 1);
    const int64_t maskStart = xorStride * height;
    // A missing mask leaves the icon opaque, as some writers of 32-bit icons omit it.
    if (int64_t(xorBits.size()) < maskStart + maskStride * height) return image;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* mask = xorBits.data() + maskStart + maskStride * y;
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(height - 1 - y));
        for (int32_t x = 0; x < width; ++x)
            if (mask[x >> 3] & (0x80 >> (x & 7))) row[x] = 0;
    }
    return image;
}

void TIcon::LoadFromBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() < DirHeaderSize || GetU16(bytes.data()) != 0 || GetU16(bytes.data() + 2) != 1)
        throw EQRError("Icon image is not valid");
    const uint16_t count = GetU16(bytes.data() + 4);
    if (count == 0 || DirHeaderSize + size_t(count) * DirEntrySize > bytes.size())
        throw EQRError("Icon image is not valid");
    std::vector<TIconEntry> entries;
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* e = bytes.data() + DirHeaderSize + size_t(i) * DirEntrySize;
        TIconEntry entry;
        entry.Width = e[0] ? e[0] : 256;
        entry.Height = e[1] ? e[1] : 256;
        entry.BitCount = GetU16(e + 6);
        entry.Size = GetU32(e + 8);
        entry.Offset = GetU32(e + 12);
        if (entry.Offset < DirHeaderSize || entry.Offset > bytes.size() || entry.Size > bytes.size() - entry.Offset)
            continue;
        entries.push_back(entry);
    }
    // Largest first, then deepest; the directory's figures may lie, so each is tried in turn.
    std::stable_sort(entries.begin(), entries.end(), [](const TIconEntry& a, const TIconEntry& b) {
        const int64_t areaA = int64_t(a.Width) * a.Height, areaB = int64_t(b.Width) * b.Height;
        return areaA != areaB ? areaA > areaB : a.BitCount > b.BitCount;
    });
    for (const TIconEntry& entry : entries) {
        QImage image = DecodeIconImage(bytes.subspan(entry.Offset, entry.Size));
        if (image.isNull()) continue;
        FBytes.assign(bytes.begin(), bytes.end());
        FImage = std::move(image);
        FCount = count;
        return;
    }
    throw EQRError("Icon image is not valid");
}

} // namespace pagimo::graphics
