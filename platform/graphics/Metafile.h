#pragma once
// An enhanced metafile held as a picture; drawn by playing it into the destination rectangle.

#include "platform/emf/EmfPicture.h"
#include "platform/graphics/Graphic.h"

namespace pagimo::graphics {

class TMetafile : public TGraphic {
public:
    TMetafile() = default;
    explicit TMetafile(emf::TEmfPicture picture) : FPicture(std::move(picture)) {}

    TGraphicKind Kind() const override { return TGraphicKind::gkMetafile; }
    bool Empty() const override { return FPicture.Empty(); }
    int32_t Width() const override { return Empty() ? 0 : FPicture.Width(); }
    int32_t Height() const override { return Empty() ? 0 : FPicture.Height(); }
    // Throws EQRError("Metafile is not valid").
    void LoadFromBytes(std::span<const uint8_t> bytes) override;
    std::vector<uint8_t> SaveToBytes() const override { return FPicture.Bytes(); }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TMetafile>(*this); }
    QImage Image() const override { return {}; }
    bool Transparent() const override { return true; }

    const emf::TEmfPicture& Picture() const { return FPicture; }

private:
    emf::TEmfPicture FPicture;
};

} // namespace pagimo::graphics
