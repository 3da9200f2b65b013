// Fuzzes the DIB decoder the way its callers feed it: a BMP file, a BITMAPINFO with separate bits (as
// metafile records carry them), a packed DIB, or an icon file. The first byte picks the way.
// Seeds (fuzz/corpus/dib) are small hand-built DIBs, BMP and icon files, one per depth and compression,
// each prefixed with its mode byte.

#include "platform/graphics/Dib.h"
#include "platform/graphics/Icon.h"
#include "platform/system/Errors.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace pagimo::graphics;

namespace {

// Touches every pixel so that a decoder that hands back uninitialised or short rows is caught; of an
// image of many megabytes (a bitmap the size limit allows, from a few bytes of RLE) every row's ends
// and a row in every few, which is what a short or missing row would show in, so that the check
// itself does not take the fuzzer's time limit.
uint32_t Checksum(const QImage& image) {
    uint32_t sum = 0;
    const qsizetype row = image.bytesPerLine();
    const int step = row * image.height() > (qsizetype{8} << 20) ? 61 : 1;
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        if (y % step != 0 && y + 1 != image.height()) {
            sum += line[0] + line[row - 1];
            continue;
        }
        for (qsizetype x = 0; x < row; ++x)
            sum += line[x];
    }
    return sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t mode = data[0];
    std::span<const uint8_t> rest(data + 1, size - 1);
    volatile uint32_t sink = 0;
    switch (mode % 4) {
    case 0:
        sink = Checksum(DecodeBmpFile(rest));
        break;
    case 1: {
        // Two bytes give the length of the BITMAPINFO part; the rest are the bits.
        const size_t infoSize = std::min<size_t>(rest.size() - 2, size_t(rest[0] | (rest[1] << 8)));
        const auto payload = rest.subspan(2);
        const uint32_t usage = (mode >> 2) & 1;
        const bool alphaByte = (mode >> 3) & 1;
        sink = Checksum(DecodeDib(payload.first(infoSize), payload.subspan(infoSize), usage, alphaByte));
        break;
    }
    case 2:
        sink = Checksum(DecodePackedDib(rest, (mode >> 2) & 1));
        break;
    default:
        try {
            TIcon icon;
            icon.LoadFromBytes(rest);
            sink = Checksum(icon.Image());
        } catch (const pagimo::EQRError&) {
        }
        break;
    }
    (void)sink;
    return 0;
}
