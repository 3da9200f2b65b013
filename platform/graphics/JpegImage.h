#pragma once
// A JPEG picture: the file's bytes and the image libjpeg decoded from them.

#include "platform/graphics/Graphic.h"

namespace pagimo::graphics {

class TJpegImage : public TGraphic {
public:
    TJpegImage() = default;

    TGraphicKind Kind() const override { return TGraphicKind::gkJpeg; }
    bool Empty() const override { return FImage.isNull(); }
    int32_t Width() const override { return FImage.width(); }
    int32_t Height() const override { return FImage.height(); }
    // Throws EQRError("JPEG image is not valid: <libjpeg's reason>").
    void LoadFromBytes(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes() const override { return FBytes; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TJpegImage>(*this); }
    QImage Image() const override { return FImage; }
    bool Transparent() const override { return false; }

    // Compresses an image (quality 1 to 100).
    void SetImage(const QImage& image, int quality = 90);
    bool Grayscale() const { return FImage.format() == QImage::Format_Grayscale8; }

private:
    std::vector<uint8_t> FBytes;
    QImage FImage;
};

} // namespace pagimo::graphics
