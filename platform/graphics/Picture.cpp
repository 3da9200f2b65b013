#include "platform/graphics/Picture.h"

#include "platform/emf/EmfPicture.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/ImageFile.h"
#include "platform/graphics/PictureFormats.h"
#include "platform/system/Errors.h"

#include <cstring>
#include <fstream>

namespace pagimo::graphics {

void TPicture::Assign(const TPicture& other) {
    FGraphic = other.FGraphic ? other.FGraphic->Clone() : nullptr;
    Changed();
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) {
    FGraphic = std::move(graphic);
    Changed();
}

const TBitmap* TPicture::Bitmap() const {
    return FGraphic && FGraphic->Kind() == TGraphicKind::gkBitmap ? static_cast<const TBitmap*>(FGraphic.get())
                                                                  : nullptr;
}

std::vector<uint8_t> ReadPictureFile(const std::filesystem::path& path, uint64_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!in || ec || size > maxBytes) throw EQRError(FormatMessage("Cannot open file %s", path.string()));
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
        throw EQRError(FormatMessage("Cannot open file %s", path.string()));
    return bytes;
}

void TPicture::LoadFromFile(const std::filesystem::path& path) {
    const std::string extension = path.extension().string();
    const TPictureFormat* format = PictureFormats().Find(extension);
    if (!format) throw EQRError("Unknown picture file extension (" + extension + ")");
    std::unique_ptr<TGraphic> graphic = format->Create();
    graphic->LoadFromBytes(ReadPictureFile(path));
    SetGraphic(std::move(graphic));
}

void TPicture::SaveToFile(const std::filesystem::path& path) const {
    const std::vector<uint8_t> bytes = FGraphic ? FGraphic->SaveToBytes() : std::vector<uint8_t>();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw EQRError(FormatMessage("Cannot create file %s", path.string()));
}

bool SniffGraphicKind(std::span<const uint8_t> bytes, TGraphicKind& kind) {
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        kind = TGraphicKind::gkBitmap;
    } else if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        kind = TGraphicKind::gkJpeg;
    } else if (bytes.size() >= 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0) {
        kind = TGraphicKind::gkIcon;
    } else if (emf::TEmfHeader header; emf::ReadEmfHeader(bytes, header)) {
        kind = TGraphicKind::gkMetafile;
    } else if (TImageFile::Sniff(bytes)) {
        kind = TGraphicKind::gkImage;
    } else {
        return false;
    }
    return true;
}

void TPicture::LoadFromBytes(std::span<const uint8_t> bytes) {
    TGraphicKind kind;
    if (!SniffGraphicKind(bytes, kind)) throw EQRError("Unknown picture format");
    std::unique_ptr<TGraphic> graphic = CreateGraphic(kind);
    graphic->LoadFromBytes(bytes);
    SetGraphic(std::move(graphic));
}

} // namespace pagimo::graphics
