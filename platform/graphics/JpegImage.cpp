#include "platform/graphics/JpegImage.h"

#include "platform/graphics/Jpeg.h"
#include "platform/system/Errors.h"

namespace pagimo::graphics {

void TJpegImage::LoadFromBytes(std::span<const uint8_t> bytes) {
    std::string reason;
    QImage image = DecodeJpeg(bytes, &reason);
    if (image.isNull()) throw EQRError("JPEG image is not valid: " + reason);
    FBytes.assign(bytes.begin(), bytes.end());
    FImage = std::move(image);
}

void TJpegImage::SetImage(const QImage& image, int quality) {
    if (image.isNull()) {
        *this = TJpegImage();
        return;
    }
    LoadFromBytes(EncodeJpeg(image, quality));
}

} // namespace pagimo::graphics
