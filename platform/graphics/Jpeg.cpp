#include "platform/graphics/Jpeg.h"

#include "platform/graphics/Dib.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace pagimo::graphics {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to the
// setjmp of the call that started the work. Everything with a destructor lives outside the frames
// that the jump leaves, so nothing is skipped.
struct TJpegError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    long Warnings;
};

// Corrupt data makes libjpeg warn for every damaged segment; a file that only produces warnings is not
// worth decoding on and on.
constexpr long MaxWarnings = 1000;
// Each progressive scan passes over the whole coefficient buffer, so a file of thousands of tiny scans
// costs minutes; real encoders write about ten.
constexpr int MaxScans = 500;
// libjpeg's own allocations (the coefficient buffer of a progressive file) stay below this.
constexpr long MaxJpegMemory = 512L * 1024 * 1024;

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, error->Message);
    std::longjmp(error->Jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
    if (level >= 0) return; // trace messages
    if (++error->Warnings > MaxWarnings) {
        std::snprintf(error->Message, sizeof error->Message, "too much corrupt data");
        std::longjmp(error->Jump, 1);
    }
}

void OutputMessage(j_common_ptr) {}

void Progress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > MaxScans) {
            auto* error = reinterpret_cast<TJpegError*>(cinfo->err);
            std::snprintf(error->Message, sizeof error->Message, "too many scans");
            std::longjmp(error->Jump, 1);
        }
    }
}

void InitError(TJpegError& error) {
    jpeg_std_error(&error.Manager);
    error.Manager.error_exit = ErrorExit;
    error.Manager.emit_message = EmitMessage;
    error.Manager.output_message = OutputMessage;
    error.Message[0] = 0;
    error.Warnings = 0;
}

bool SizeAllowed(JDIMENSION w, JDIMENSION h) {
    return w > 0 && h > 0 && w <= JDIMENSION(MaxDibSide) && h <= JDIMENSION(MaxDibSide) &&
           int64_t(w) * h <= MaxDibPixels;
}

// Runs the decoder; image is the caller's, so the jump back leaves no object half destroyed.
// Returns false with error.Message set on failure.
bool RunDecode(jpeg_decompress_struct& cinfo, TJpegError& error, std::span<const uint8_t> data, QImage& image,
               TJpegInfo* infoOnly) {
    jpeg_progress_mgr progress{};
    progress.progress_monitor = Progress;
    if (setjmp(error.Jump)) return false;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MaxJpegMemory;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (!SizeAllowed(cinfo.image_width, cinfo.image_height)) {
        std::snprintf(error.Message, sizeof error.Message, "image too large (%u x %u)", cinfo.image_width,
                      cinfo.image_height);
        return false;
    }
    if (infoOnly) {
        infoOnly->Width = static_cast<int32_t>(cinfo.image_width);
        infoOnly->Height = static_cast<int32_t>(cinfo.image_height);
        infoOnly->Components = cinfo.num_components;
        infoOnly->Progressive = cinfo.progressive_mode != 0;
        infoOnly->DensityUnit = cinfo.density_unit;
        infoOnly->XDensity = cinfo.X_density;
        infoOnly->YDensity = cinfo.Y_density;
        return true;
    }

    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (grey) {
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        cinfo.out_color_space = JCS_CMYK;
    } else {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        cinfo.out_color_space = JCS_EXT_BGRX; // the byte order of QImage::Format_RGB32 here
#else
        cinfo.out_color_space = JCS_EXT_XRGB;
#endif
    }
    jpeg_start_decompress(&cinfo);
    const int w = static_cast<int>(cinfo.output_width), h = static_cast<int>(cinfo.output_height);
    image = QImage(w, h, grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull()) {
        std::snprintf(error.Message, sizeof error.Message, "out of memory");
        return false;
    }
    JSAMPARRAY cmykRow = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                           static_cast<JDIMENSION>(w) * 4, 1)
                              : nullptr;
    // Photoshop writes CMYK inverted (0 = full ink) and says so with an Adobe marker.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        if (!cmyk) {
            JSAMPROW row = image.scanLine(y);
            jpeg_read_scanlines(&cinfo, &row, 1);
            continue;
        }
        jpeg_read_scanlines(&cinfo, cmykRow, 1);
        const JSAMPLE* s = cmykRow[0];
        QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, s += 4) {
            int c = s[0], m = s[1], ye = s[2], k = s[3];
            if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
            dst[x] = qRgb((c * k + 127) / 255, (m * k + 127) / 255, (ye * k + 127) / 255);
        }
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

bool Decode(std::span<const uint8_t> data, QImage& image, TJpegInfo* infoOnly, std::string* message) {
    if (data.size() < 4 || data.size() > 0x7FFFFFFF || data[0] != 0xFF || data[1] != 0xD8) {
        if (message) *message = "not a JPEG file";
        return false;
    }
    jpeg_decompress_struct cinfo{};
    TJpegError error;
    InitError(error);
    cinfo.err = &error.Manager;
    const bool ok = RunDecode(cinfo, error, data, image, infoOnly);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        image = QImage();
        if (message) *message = error.Message;
    }
    return ok;
}

bool RunEncode(jpeg_compress_struct& cinfo, TJpegError& error, const QImage& rgb, int quality, unsigned char** buffer,
               unsigned long* size) {
    if (setjmp(error.Jump)) return false;
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, buffer, size);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 4;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    cinfo.in_color_space = JCS_EXT_BGRX;
#else
    cinfo.in_color_space = JCS_EXT_XRGB;
#endif
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.density_unit = 1; // dots per inch, the screen's
    cinfo.X_density = 96;
    cinfo.Y_density = 96;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

} // namespace

bool ReadJpegInfo(std::span<const uint8_t> data, TJpegInfo& info, std::string* error) {
    QImage unused;
    info = TJpegInfo{};
    return Decode(data, unused, &info, error);
}

QImage DecodeJpeg(std::span<const uint8_t> data, std::string* error) {
    QImage image;
    Decode(data, image, nullptr, error);
    return image;
}

std::vector<uint8_t> EncodeJpeg(const QImage& image, int quality) {
    if (image.isNull()) return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct cinfo{};
    TJpegError error;
    InitError(error);
    cinfo.err = &error.Manager;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = RunEncode(cinfo, error, rgb, std::clamp(quality, 1, 100), &buffer, &size);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out;
    if (ok && buffer) out.assign(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace pagimo::graphics
