#include "platform/gdi/DibImage.h"

#include "platform/emf/LittleEndian.h"

#include "platform/graphics/Dib.h"

namespace pagimo::gdi {

QImage DibToImage(const TDib& dib, bool sourceAlpha) {
    return graphics::DecodeDib(dib.Info, dib.Bits, dib.Usage, sourceAlpha);
}

namespace {

// A 32-bit bottom-up DIB of w x h pixels whose rows row(y) (top row first, 32-bit pixels) gives; the
// fourth byte is the pixel's alpha, or 0.
template <class TRow> TDibBytes Dib32(int w, int h, bool alpha, TRow row) {
    TDibBytes out{std::vector<uint8_t>(40, 0), std::vector<uint8_t>(static_cast<size_t>(w) * h * 4)};
    emf::PutU32(out.Info.data(), 40);
    emf::PutI32(out.Info.data() + 4, w);
    emf::PutI32(out.Info.data() + 8, h);
    emf::PutU16(out.Info.data() + 12, 1);
    emf::PutU16(out.Info.data() + 14, 32);
    emf::PutU32(out.Info.data() + 20, static_cast<uint32_t>(w * h * 4));
    for (int y = 0; y < h; ++y) {
        const QRgb* in = row(h - 1 - y);
        uint8_t* o = out.Bits.data() + static_cast<size_t>(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            o[x * 4] = static_cast<uint8_t>(qBlue(in[x]));
            o[x * 4 + 1] = static_cast<uint8_t>(qGreen(in[x]));
            o[x * 4 + 2] = static_cast<uint8_t>(qRed(in[x]));
            o[x * 4 + 3] = alpha ? static_cast<uint8_t>(qAlpha(in[x])) : 0;
        }
    }
    return out;
}

} // namespace

TDibBytes ImageToDib(const QImage& image) {
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    return Dib32(img.width(), img.height(), false,
                 [&](int y) { return reinterpret_cast<const QRgb*>(img.constScanLine(y)); });
}

TDibBytes ImageToAlphaDib(const QImage& image) {
    // Converted a row at a time, so that a large image is not held twice more while it becomes a DIB.
    const bool direct = image.format() == QImage::Format_ARGB32_Premultiplied;
    QImage line;
    return Dib32(image.width(), image.height(), true, [&](int y) {
        if (direct) return reinterpret_cast<const QRgb*>(image.constScanLine(y));
        line = image.copy(0, y, image.width(), 1).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        return reinterpret_cast<const QRgb*>(line.constScanLine(0));
    });
}

} // namespace pagimo::gdi
