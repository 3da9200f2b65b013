#pragma once
// JPEG decoding through libjpeg's C API. Baseline, progressive and arithmetic-coded files, greyscale,
// RGB, YCbCr, CMYK and YCCK (with the inverted values that Adobe's APP14 marker announces). Sizes are
// bounded like those of DIBs; a damaged file either decodes partly (as far as its data goes, the rest
// grey, as libjpeg does) or is refused with a reason.

#include <QImage>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pagimo::graphics {

struct TJpegInfo {
    int32_t Width = 0;
    int32_t Height = 0;
    int Components = 0; // 1 grey, 3 colour, 4 CMYK/YCCK
    bool Progressive = false;
    int DensityUnit = 0; // JFIF: 0 aspect ratio only, 1 dots per inch, 2 dots per centimetre
    int XDensity = 0, YDensity = 0;
};

// Reads the header only. False (with the reason in error when given) when it is not a usable JPEG file.
bool ReadJpegInfo(std::span<const uint8_t> data, TJpegInfo& info, std::string* error = nullptr);

// Decodes a JPEG file into Format_RGB32 (colour, CMYK) or Format_Grayscale8 (grey). A null QImage
// (with the reason in error when given) for data libjpeg rejects, sizes beyond the DIB limits, or
// files that would take unreasonably long (too many progressive scans or corrupt-data warnings).
QImage DecodeJpeg(std::span<const uint8_t> data, std::string* error = nullptr);

// Encodes an image as a baseline JPEG file with the given quality (1 to 100).
std::vector<uint8_t> EncodeJpeg(const QImage& image, int quality = 90);

} // namespace pagimo::graphics
