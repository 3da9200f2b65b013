// Fuzzes the JPEG decoder: header reading and full decoding of arbitrary bytes.
// Seeds (fuzz/corpus/jpeg): tiny baseline, progressive, grey, CMYK and arithmetic-coded files written
// with libjpeg and Qt.

#include "platform/graphics/Jpeg.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace pagimo::graphics;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    TJpegInfo info;
    std::string error;
    const bool headerOk = ReadJpegInfo(bytes, info, &error);
    const QImage image = DecodeJpeg(bytes, &error);
    // A file whose header passes may still fail later, but never the other way round.
    if (!image.isNull() && !headerOk) __builtin_trap();
    if (!image.isNull() && (image.width() != info.Width || image.height() != info.Height)) __builtin_trap();
    volatile uint32_t sum = 0;
    for (int y = 0; y < image.height(); ++y)
        sum = sum + image.constScanLine(y)[image.bytesPerLine() - 1];
    return 0;
}
