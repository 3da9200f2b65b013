#include "platform/emf/EmfPlusRecords.h"

#include "platform/emf/EmfPlusLayouts.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/RecordLayouts.h"

#include <algorithm>
#include <cstring>

namespace pagimo::emf {

TEmfPlusData& TEmfPlusData::U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) FBytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

TEmfPlusData& TEmfPlusData::U16(uint16_t v) {
    FBytes.push_back(static_cast<uint8_t>(v));
    FBytes.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

TEmfPlusData& TEmfPlusData::U8(uint8_t v) {
    FBytes.push_back(v);
    return *this;
}

TEmfPlusData& TEmfPlusData::F32(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return U32(u);
}

TEmfPlusData& TEmfPlusData::Text(std::u16string_view text) {
    for (char16_t c : text) U16(c);
    return *this;
}

TEmfPlusData& TEmfPlusData::Bytes(std::span<const uint8_t> bytes) {
    FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

TEmfPlusData& TEmfPlusData::Pad() {
    while (FBytes.size() % 4) FBytes.push_back(0);
    return *this;
}

void TEmfPlusWriter::Record(uint16_t type, uint16_t flags, std::span<const uint8_t> data) {
    const uint32_t padded = static_cast<uint32_t>((data.size() + 3) / 4 * 4);
    TEmrComment::WriteHead(FEmf, 4 + 12 + padded); // the signature and the EMF+ record
    FEmf.U32(EmfPlusSignature);
    FEmf.U16(type);
    FEmf.U16(flags);
    FEmf.U32(12 + padded);
    FEmf.U32(static_cast<uint32_t>(data.size()));
    FEmf.Bytes(data);
    static const uint8_t zeros[4] = {};
    FEmf.Bytes(std::span<const uint8_t>(zeros, padded - data.size()));
    FEmf.End();
}

void TEmfPlusWriter::Header(bool dual, uint32_t dpi) {
    Record(EmfPlusHeader, dual ? 1 : 0, TPlusHeaderRecord{EmfPlusGraphicsVersion, 1, dpi, dpi}.Data());
}

void TEmfPlusWriter::Object(uint8_t id, uint8_t type, const TEmfPlusData& data, size_t chunk) {
    const uint16_t flags = static_cast<uint16_t>(id | (type << 8));
    const auto& bytes = data.Get();
    if (chunk == 0 || bytes.size() <= chunk) {
        Record(EmfPlusObject, flags, bytes);
        return;
    }
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        TEmfPlusData part;
        part.U32(static_cast<uint32_t>(bytes.size()));
        part.Bytes(std::span(bytes).subspan(at, n));
        Record(EmfPlusObject, static_cast<uint16_t>(flags | EmfPlusFlagContinued), part);
    }
}

} // namespace pagimo::emf
