#pragma once
// The picture-format registry: which graphic kind a file extension loads as, with the description a
// file dialog shows. One process-wide registry exists (PictureFormats()); it knows bitmaps, icons,
// enhanced metafiles and PNG from the start, and the program start adds JPEG (RegisterJpegFormat). Used from the
// user-interface thread only.

#include "platform/graphics/Graphic.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::graphics {

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TPictureFormat {
    std::string Extension;   // lower case, without the dot
    std::string Description; // "JPEG Image File"
    TGraphicKind Kind;
    TGraphicFactory Create;
};

class TPictureFormatRegistry {
public:
    // An empty registry; PictureFormats() is the one the program uses.
    TPictureFormatRegistry() = default;

    // Registers an extension (case does not matter, a leading dot is dropped). Registering an extension
    // again replaces its entry.
    void Register(std::string_view extension, std::string_view description, TGraphicKind kind, TGraphicFactory create);
    // Removes every extension of a graphic kind.
    void Unregister(TGraphicKind kind);

    // The format of an extension, or nullptr.
    const TPictureFormat* Find(std::string_view extension) const;
    const std::vector<TPictureFormat>& Formats() const { return FFormats; }

    // A file-dialog filter: "All (*.bmp;*.jpg)|*.bmp;*.jpg|Bitmaps (*.bmp)|*.bmp|...".
    std::string Filter() const;

private:
    std::vector<TPictureFormat> FFormats;
};

// The process-wide registry, created on first use with "bmp" (Bitmaps), "ico" (Icons), "emf"
// (Enhanced Metafiles) and "png" (PNG Image File).
TPictureFormatRegistry& PictureFormats();

// The JPEG format's description, a resource string of the system.
inline constexpr const char* JpegDescription = "JPEG Image File";

// Program start: registers "jpeg" and "jpg" as "JPEG Image File". Program end: removes them again.
void RegisterJpegFormat();
void UnregisterJpegFormat();

// Holds the JPEG registration for its lifetime: the program's main creates one before its windows.
class TJpegFormatRegistration {
public:
    TJpegFormatRegistration() { RegisterJpegFormat(); }
    ~TJpegFormatRegistration() { UnregisterJpegFormat(); }
    TJpegFormatRegistration(const TJpegFormatRegistration&) = delete;
    TJpegFormatRegistration& operator=(const TJpegFormatRegistration&) = delete;
};

// Creates an empty graphic of a kind.
std::unique_ptr<TGraphic> CreateGraphic(TGraphicKind kind);

} // namespace pagimo::graphics
