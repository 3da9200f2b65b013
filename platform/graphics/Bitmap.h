#pragma once
// A device-independent bitmap: loaded from a BMP file, made from a DIB or from an image. It keeps the
// DIB as it came, so a page that draws it with StretchDIBits records the original bits and depth.

#include "platform/graphics/Dib.h"
#include "platform/graphics/Graphic.h"

namespace pagimo::graphics {

class TBitmap : public TGraphic {
public:
    TBitmap() = default;

    TGraphicKind Kind() const override { return TGraphicKind::gkBitmap; }
    bool Empty() const override { return FImage.isNull(); }
    int32_t Width() const override { return FImage.width(); }
    int32_t Height() const override { return FImage.height(); }
    void LoadFromBytes(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes() const override;
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TBitmap>(*this); }
    QImage Image() const override { return FImage; }

    // Takes a DIB (BITMAPINFO and bits, DIB_RGB_COLORS); throws EQRError("Bitmap image is not valid").
    void SetDib(std::span<const uint8_t> bitmapInfo, std::span<const uint8_t> bits);
    // Takes an image; the DIB becomes 24 bits per pixel (32 with alpha).
    void SetImage(const QImage& image);

    const std::vector<uint8_t>& DibInfo() const { return FInfo; }
    const std::vector<uint8_t>& DibBits() const { return FBits; }
    // One bit per pixel: drawn without the COLORONCOLOR stretch mode.
    bool Monochrome() const { return FHeader.BitCount == 1; }

private:
    std::vector<uint8_t> FInfo, FBits;
    TDibHeader FHeader;
    QImage FImage;
};

// The DIB to draw a raster graphic with StretchDIBits: a bitmap's own, the decoded image of a JPEG image
// or an icon (32 bits with premultiplied alpha where it is transparent); empty for metafiles, which are
// played instead.
TDib DibOf(const TGraphic& graphic);

} // namespace pagimo::graphics
