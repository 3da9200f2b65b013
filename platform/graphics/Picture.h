#pragma once
// The picture holder of image controls: empty, or one graphic (bitmap, metafile, icon, JPEG image,
// a picture Qt reads).
// Copying a picture copies its graphic. Loading from a file picks the graphic kind by the file's
// extension through the picture-format registry; loading from bytes (a stored description) by the
// bytes' signature.

#include "platform/graphics/Graphic.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <span>

namespace pagimo::graphics {

class TBitmap;

class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture& other) { Assign(other); }
    TPicture& operator=(const TPicture& other) {
        if (this != &other) Assign(other);
        return *this;
    }

    // Copies other's graphic (or clears this picture when other is empty) and reports the change.
    void Assign(const TPicture& other);
    // Takes a graphic (nullptr clears) and reports the change.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    void Clear() { SetGraphic(nullptr); }

    // The graphic, or nullptr when the picture is empty.
    const TGraphic* Graphic() const { return FGraphic.get(); }
    // The graphic as a bitmap, or nullptr when it is none.
    const TBitmap* Bitmap() const;

    bool Empty() const { return !FGraphic || FGraphic->Empty(); }
    int32_t Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int32_t Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Loads a file by its extension. Throws EQRError: "Unknown picture file extension (.xyz)" for an
    // extension the registry does not know, "Cannot open file <name>" when it cannot be read, the
    // graphic's own message when its content is not valid. On failure the picture is unchanged.
    void LoadFromFile(const std::filesystem::path& path);
    // Writes the graphic's file bytes. Throws EQRError("Cannot create file <name>").
    void SaveToFile(const std::filesystem::path& path) const;
    // Loads bytes whose kind is told by their signature (BMP, JPEG, icon, EMF, then any format Qt's
    // image readers know: PNG, GIF ...). Throws EQRError
    // ("Unknown picture format" or the graphic's message); on failure the picture is unchanged.
    void LoadFromBytes(std::span<const uint8_t> bytes);

    // Called after every change (the image control re-lays itself out).
    std::function<void()> OnChange;

private:
    void Changed() const {
        if (OnChange) OnChange();
    }

    std::unique_ptr<TGraphic> FGraphic;
};

// The graphic kind whose signature begins bytes, if any.
bool SniffGraphicKind(std::span<const uint8_t> bytes, TGraphicKind& kind);

// Reads a whole file, refusing files above maxBytes. Throws EQRError("Cannot open file <name>").
std::vector<uint8_t> ReadPictureFile(const std::filesystem::path& path, uint64_t maxBytes = uint64_t(1) << 30);

} // namespace pagimo::graphics
