#include "platform/gdi/DibImage.h"

#include "platform/emf/LittleEndian.h"

#include "platform/graphics/Dib.h"

namespace pagimo::gdi {

QImage DibToImage(const TDib& dib, bool sourceAlpha) {
    return graphics::DecodeDib(dib.Info, dib.Bits, dib.Usage, sourceAlpha);
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

TDibBytes ImageToAlphaDib(const QImage& image) {
    const QImage pm = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    TDibBytes dib = ImageToDib(pm);
    for (int y = 0; y < pm.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(pm.constScanLine(pm.height() - 1 - y));
        uint8_t* row = dib.Bits.data() + static_cast<size_t>(y) * pm.width() * 4;
        for (int x = 0; x < pm.width(); ++x)
            row[4 * x + 3] = static_cast<uint8_t>(qAlpha(in[x]));
    }
    return dib;
}

} // namespace pagimo::gdi
