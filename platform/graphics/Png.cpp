#include "platform/graphics/Png.h"

#include <png.h>

#include <csetjmp>

namespace pagimo::graphics {

TPngSettings PageSettings() {
    return TPngSettings{2, PNG_FILTER_NONE, 0};
}

namespace {

void Append(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

void Quiet(png_structp, png_const_charp) {}

} // namespace

std::vector<uint8_t> EncodePng(const QImage& source, const TPngSettings& settings) {
    if (source.isNull()) return {};
    const bool alpha = source.hasAlphaChannel();
    const QImage::Format want = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const QImage image = source.format() == want ? source : source.convertToFormat(want);
    if (image.isNull()) return {};

    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, Quiet);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return {};
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    out.reserve(static_cast<size_t>(image.width()) * image.height() / 8 + 1024);
    png_set_write_fn(png, &out, Append, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.Filters);
    png_set_compression_level(png, settings.Level);
    png_set_compression_strategy(png, settings.Strategy);
    png_write_info(png, info);
    // QImage keeps 32-bit pixels as 0xAARRGGBB words, B G R A in memory on little-endian machines.
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian) png_set_bgr(png);
    else png_set_swap_alpha(png);
    if (!alpha) png_set_filler(png, 0, QSysInfo::ByteOrder == QSysInfo::LittleEndian ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE);
    for (int y = 0; y < image.height(); ++y) png_write_row(png, image.constScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

} // namespace pagimo::graphics
