#include "platform/graphics/PictureFormats.h"

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Icon.h"
#include "platform/graphics/ImageFile.h"
#include "platform/graphics/JpegImage.h"
#include "platform/graphics/Metafile.h"

#include <algorithm>

namespace pagimo::graphics {

namespace {

std::string NormalisedExtension(std::string_view extension) {
    if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
    std::string out(extension);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

TGraphicFactory FactoryOf(TGraphicKind kind) {
    return [kind] { return CreateGraphic(kind); };
}

} // namespace

std::unique_ptr<TGraphic> CreateGraphic(TGraphicKind kind) {
    switch (kind) {
    case TGraphicKind::gkBitmap:
        return std::make_unique<TBitmap>();
    case TGraphicKind::gkMetafile:
        return std::make_unique<TMetafile>();
    case TGraphicKind::gkIcon:
        return std::make_unique<TIcon>();
    case TGraphicKind::gkJpeg:
        return std::make_unique<TJpegImage>();
    case TGraphicKind::gkImage:
        return std::make_unique<TImageFile>();
    }
    return nullptr;
}

void TPictureFormatRegistry::Register(std::string_view extension, std::string_view description, TGraphicKind kind,
                                      TGraphicFactory create) {
    TPictureFormat format{NormalisedExtension(extension), std::string(description), kind, std::move(create)};
    for (TPictureFormat& existing : FFormats) {
        if (existing.Extension == format.Extension) {
            existing = std::move(format);
            return;
        }
    }
    FFormats.push_back(std::move(format));
}

void TPictureFormatRegistry::Unregister(TGraphicKind kind) {
    std::erase_if(FFormats, [kind](const TPictureFormat& f) { return f.Kind == kind; });
}

const TPictureFormat* TPictureFormatRegistry::Find(std::string_view extension) const {
    const std::string key = NormalisedExtension(extension);
    for (const TPictureFormat& format : FFormats)
        if (format.Extension == key) return &format;
    return nullptr;
}

std::string TPictureFormatRegistry::Filter() const {
    std::string all, each;
    for (const TPictureFormat& f : FFormats) {
        const std::string mask = "*." + f.Extension;
        if (!all.empty()) all += ';';
        all += mask;
        each += '|' + f.Description + " (" + mask + ")|" + mask;
    }
    return all.empty() ? std::string() : "All (" + all + ")|" + all + each;
}

TPictureFormatRegistry& PictureFormats() {
    static TPictureFormatRegistry registry = [] {
        TPictureFormatRegistry r;
        r.Register("bmp", "Bitmaps", TGraphicKind::gkBitmap, FactoryOf(TGraphicKind::gkBitmap));
        r.Register("ico", "Icons", TGraphicKind::gkIcon, FactoryOf(TGraphicKind::gkIcon));
        r.Register("emf", "Enhanced Metafiles", TGraphicKind::gkMetafile, FactoryOf(TGraphicKind::gkMetafile));
        r.Register("png", "PNG Image File", TGraphicKind::gkImage, FactoryOf(TGraphicKind::gkImage));
        return r;
    }();
    return registry;
}

void RegisterJpegFormat() {
    PictureFormats().Register("jpeg", JpegDescription, TGraphicKind::gkJpeg, FactoryOf(TGraphicKind::gkJpeg));
    PictureFormats().Register("jpg", JpegDescription, TGraphicKind::gkJpeg, FactoryOf(TGraphicKind::gkJpeg));
}

void UnregisterJpegFormat() {
    PictureFormats().Unregister(TGraphicKind::gkJpeg);
}

} // namespace pagimo::graphics
