#include "platform/graphics/Metafile.h"

namespace pagimo::graphics {

void TMetafile::LoadFromBytes(std::span<const uint8_t> bytes) {
    FPicture = emf::TEmfPicture(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

} // namespace pagimo::graphics
