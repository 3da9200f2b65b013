#pragma once
// The pictures an image control can hold: bitmaps, metafiles, icons, JPEG images and pictures in the
// formats Qt reads (PNG ...), each a TGraphic.
// A graphic keeps its file's bytes (so saving gives back what was loaded) and, for raster kinds, the
// decoded image. Drawing is left to the device-context layer: raster graphics hand it their image or
// DIB, metafiles are played.

#include <QImage>

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace pagimo::graphics {

// gkImage: a raster format that Qt's image readers decode (PNG, GIF ...).
enum class TGraphicKind { gkBitmap, gkMetafile, gkIcon, gkJpeg, gkImage };

class TGraphic {
public:
    virtual ~TGraphic() = default;

    virtual TGraphicKind Kind() const = 0;
    virtual bool Empty() const = 0;
    // Natural size in screen pixels (96 per inch).
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
    // Replaces the content with a file's bytes; throws EQRError with the kind's message ("Bitmap image
    // is not valid" ...) and leaves the graphic unchanged when the bytes are not a valid file of the kind.
    virtual void LoadFromBytes(std::span<const uint8_t> bytes) = 0;
    // The file's bytes (empty for an empty graphic).
    virtual std::vector<uint8_t> SaveToBytes() const = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    // The decoded picture at its natural size; a null image for metafiles and empty graphics.
    virtual QImage Image() const = 0;
    // True when parts of the picture let the background through (icons, bitmaps with alpha).
    virtual bool Transparent() const { return Image().hasAlphaChannel(); }

protected:
    TGraphic() = default;
    TGraphic(const TGraphic&) = default;
    TGraphic& operator=(const TGraphic&) = default;
};

} // namespace pagimo::graphics
