#pragma once
// A picture in any raster format Qt's image readers decode (PNG above all; GIF, TIFF, WebP ... where
// their plugins are installed): the file's bytes and the decoded image. Kept as the file came, so
// saving gives back what was loaded.

#include "platform/graphics/Graphic.h"

#include <string>

namespace pagimo::graphics {

class TImageFile : public TGraphic {
public:
    TGraphicKind Kind() const override { return TGraphicKind::gkImage; }
    bool Empty() const override { return FImage.isNull(); }
    int32_t Width() const override { return FImage.width(); }
    int32_t Height() const override { return FImage.height(); }
    // Throws EQRError("Image is not valid: <reason>"): an unknown format, damaged data, or a picture
    // of more than MaxPixels pixels.
    void LoadFromBytes(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes() const override { return FBytes; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TImageFile>(*this); }
    QImage Image() const override { return FImage; }
    // The format's name as Qt's readers call it ("png", "gif" ...).
    const std::string& Format() const { return FFormat; }

    // The largest picture decoded (pixels): a header claiming more is refused before decoding.
    static constexpr int64_t MaxPixels = int64_t(1) << 26;

    // Whether bytes begin a picture that a Qt image reader can decode (its header read cleanly).
    static bool Sniff(std::span<const uint8_t> bytes);

private:
    std::vector<uint8_t> FBytes;
    QImage FImage;
    std::string FFormat;
};

} // namespace pagimo::graphics
