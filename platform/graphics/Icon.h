#pragma once
// A Windows icon (.ico): several images of one motif; the largest, deepest one is shown. Images are
// DIBs with an AND mask, or PNG files for the large sizes.

#include "platform/graphics/Graphic.h"

namespace pagimo::graphics {

class TIcon : public TGraphic {
public:
    TIcon() = default;

    TGraphicKind Kind() const override { return TGraphicKind::gkIcon; }
    bool Empty() const override { return FImage.isNull(); }
    int32_t Width() const override { return FImage.width(); }
    int32_t Height() const override { return FImage.height(); }
    // Throws EQRError("Icon image is not valid").
    void LoadFromBytes(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes() const override { return FBytes; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TIcon>(*this); }
    QImage Image() const override { return FImage; }
    bool Transparent() const override { return true; }

    // The number of images the file holds.
    int ImageCount() const { return FCount; }

private:
    std::vector<uint8_t> FBytes;
    QImage FImage; // Format_ARGB32
    int FCount = 0;
};

// Decodes one icon image (a DIB whose height counts the XOR and AND bitmaps, or a PNG file) into
// Format_ARGB32; a null image when it is malformed.
QImage DecodeIconImage(std::span<const uint8_t> data);

} // namespace pagimo::graphics
