#include "platform/graphics/Bitmap.h"

#include "platform/emf/LittleEndian.h"
#include "platform/system/Errors.h"

namespace pagimo::graphics {

static const char* const InvalidBitmap = "Bitmap image is not valid";

void TBitmap::LoadFromBytes(std::span<const uint8_t> bytes) {
    std::span<const uint8_t> info, bits;
    if (!SplitBmpFile(bytes, info, bits)) throw EQRError(InvalidBitmap);
    SetDib(info, bits);
}

void TBitmap::SetDib(std::span<const uint8_t> bitmapInfo, std::span<const uint8_t> bits) {
    TDibHeader header;
    QImage image = DecodeDib(bitmapInfo, bits, DibRgbColors);
    if (image.isNull() || !ReadDibHeader(bitmapInfo, DibRgbColors, header)) throw EQRError(InvalidBitmap);
    FInfo.assign(bitmapInfo.begin(), bitmapInfo.end());
    FBits.assign(bits.begin(), bits.end());
    FHeader = header;
    FImage = std::move(image);
}

void TBitmap::SetImage(const QImage& image) {
    if (image.isNull()) {
        *this = TBitmap();
        return;
    }
    TDib dib = EncodeDib(image);
    SetDib(dib.Info, dib.Bits);
    // The DIB's 32-bit pixels are opaque to GDI; the image keeps the alpha it came with.
    FImage = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
}

std::vector<uint8_t> TBitmap::SaveToBytes() const {
    if (Empty()) return {};
    std::vector<uint8_t> file(14);
    const uint32_t size = static_cast<uint32_t>(file.size() + FInfo.size() + FBits.size());
    const uint32_t offset = static_cast<uint32_t>(file.size() + FInfo.size());
    file[0] = 'B';
    file[1] = 'M';
    emf::PutU32(file.data() + 2, size);
    emf::PutU32(file.data() + 10, offset);
    file.insert(file.end(), FInfo.begin(), FInfo.end());
    file.insert(file.end(), FBits.begin(), FBits.end());
    return file;
}

TDib DibOf(const TGraphic& graphic) {
    if (graphic.Kind() == TGraphicKind::gkBitmap) {
        const auto& bitmap = static_cast<const TBitmap&>(graphic);
        return {bitmap.DibInfo(), bitmap.DibBits()};
    }
    return EncodeDib(graphic.Image());
}

} // namespace pagimo::graphics
