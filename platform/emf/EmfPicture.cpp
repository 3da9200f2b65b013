#include "platform/emf/EmfPicture.h"

#include "platform/emf/LittleEndian.h"
#include "platform/system/Errors.h"

#include <cmath>

namespace pagimo::emf {

bool ReadEmfHeader(std::span<const uint8_t> data, TEmfHeader& header) {
    if (data.size() < EmfMinHeaderSize) return false;
    const uint8_t* p = data.data();
    if (GetU32(p) != EmrHeader || GetU32(p + 40) != EmfSignature) return false;
    const uint32_t recordSize = GetU32(p + 4);
    if (recordSize < EmfMinHeaderSize || recordSize % 4 != 0) return false;
    header.BoundsLeft = GetI32(p + 8);
    header.BoundsTop = GetI32(p + 12);
    header.BoundsRight = GetI32(p + 16);
    header.BoundsBottom = GetI32(p + 20);
    header.FrameLeft = GetI32(p + 24);
    header.FrameTop = GetI32(p + 28);
    header.FrameRight = GetI32(p + 32);
    header.FrameBottom = GetI32(p + 36);
    header.Bytes = GetU32(p + 48);
    header.Records = GetU32(p + 52);
    header.Handles = GetU16(p + 56);
    header.DevicePixelsX = GetI32(p + 72);
    header.DevicePixelsY = GetI32(p + 76);
    header.DeviceMillimetersX = GetI32(p + 80);
    header.DeviceMillimetersY = GetI32(p + 84);
    return header.Bytes >= recordSize;
}

TEmfPicture::TEmfPicture(std::vector<uint8_t> bytes) {
    TEmfHeader header;
    if (!ReadEmfHeader(bytes, header) || header.Bytes != bytes.size()) throw EQRError("Metafile is not valid");
    FBytes = std::move(bytes);
    FHeader = header;
}

static int32_t HundredthsToScreen(int64_t hundredthsMM) {
    return static_cast<int32_t>(std::llround(static_cast<double>(hundredthsMM) * ScreenPixelsPerInch / 2540.0));
}

int32_t TEmfPicture::Width() const {
    return HundredthsToScreen(static_cast<int64_t>(FHeader.FrameRight) - FHeader.FrameLeft);
}

int32_t TEmfPicture::Height() const {
    return HundredthsToScreen(static_cast<int64_t>(FHeader.FrameBottom) - FHeader.FrameTop);
}

} // namespace pagimo::emf
