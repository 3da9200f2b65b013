#include "platform/emf/EmfWriter.h"

#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace pagimo::emf {

namespace {
constexpr size_t HeaderSize = THeaderLayout::FullSize; // with the pixel-format and micrometre extensions
// The reference screen: 1920 x 1440 pixels at 96 per inch is exactly 508 x 381 mm, so the millimetre
// fields that older readers use to find the resolution carry no rounding.
constexpr int32_t ReferenceWidthPx = 1920, ReferenceHeightPx = 1440;
} // namespace

TEmfWriter::TEmfWriter(int32_t widthPx, int32_t heightPx, int32_t dpi)
    : FWidth(std::max(widthPx, 0)), FHeight(std::max(heightPx, 0)), FDpi(dpi > 0 ? dpi : 96) {
    FBuffer.reserve(4096);
    FBuffer.resize(HeaderSize, 0);
    FRecords = 1;
}

void TEmfWriter::Begin(uint32_t type) {
    FRecordStart = FBuffer.size();
    U32(type);
    U32(0);
}

void TEmfWriter::U32(uint32_t v) {
    const size_t at = FBuffer.size();
    FBuffer.resize(at + 4);
    PutU32(FBuffer.data() + at, v);
}

void TEmfWriter::U16(uint16_t v) {
    const size_t at = FBuffer.size();
    FBuffer.resize(at + 2);
    PutU16(FBuffer.data() + at, v);
}

void TEmfWriter::F32(float v) {
    U32(std::bit_cast<uint32_t>(v));
}

void TEmfWriter::Bytes(std::span<const uint8_t> bytes) {
    FBuffer.insert(FBuffer.end(), bytes.begin(), bytes.end());
}

void TEmfWriter::End() {
    while (FBuffer.size() % 4 != 0)
        FBuffer.push_back(0);
    PutU32(FBuffer.data() + FRecordStart + 4, static_cast<uint32_t>(FBuffer.size() - FRecordStart));
    ++FRecords;
}

void TEmfWriter::PatchU32(size_t at, uint32_t v) {
    PutU32(FBuffer.data() + at, v);
}

void TEmfWriter::Record(uint32_t type, std::initializer_list<int32_t> words) {
    Begin(type);
    for (int32_t w : words)
        I32(w);
    End();
}

uint32_t TEmfWriter::NewHandle() {
    auto it = std::find(FHandles.begin() + 1, FHandles.end(), false);
    const auto index = static_cast<uint32_t>(it - FHandles.begin());
    if (it == FHandles.end())
        FHandles.push_back(true);
    else
        *it = true;
    FMaxHandles = std::max<uint32_t>(FMaxHandles, index + 1);
    return index;
}

void TEmfWriter::FreeHandle(uint32_t handle) {
    if (handle > 0 && handle < FHandles.size()) FHandles[handle] = false;
}

void TEmfWriter::ExtendBounds(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, FWidth - 1);
    bottom = std::min(bottom, FHeight - 1);
    if (right < left || bottom < top) return;
    if (FBounds.Empty()) {
        FBounds = {left, top, right, bottom};
    } else {
        FBounds.Left = std::min(FBounds.Left, left);
        FBounds.Top = std::min(FBounds.Top, top);
        FBounds.Right = std::max(FBounds.Right, right);
        FBounds.Bottom = std::max(FBounds.Bottom, bottom);
    }
}

std::vector<uint8_t> TEmfWriter::Finish() {
    TEmrEof{}.Write(*this);

    using H = THeaderLayout;
    uint8_t* h = FBuffer.data();
    const double hundredthsPerPixel = 2540.0 / FDpi;
    PutU32(h + RecordTypeAt, EMR_HEADER);
    PutU32(h + RecordSizeAt, HeaderSize);
    const TRectL b = FBounds.Empty() ? TRectL{0, 0, -1, -1} : FBounds;
    PutI32(h + H::BoundsAt, b.Left);
    PutI32(h + H::BoundsAt + 4, b.Top);
    PutI32(h + H::BoundsAt + 8, b.Right);
    PutI32(h + H::BoundsAt + 12, b.Bottom);
    // The frame is inclusive, like the bounds: a W-pixel-wide picture spans W pixels of 2540/dpi.
    PutI32(h + H::FrameAt, 0);
    PutI32(h + H::FrameAt + 4, 0);
    PutI32(h + H::FrameAt + 8, static_cast<int32_t>(std::lround(FWidth * hundredthsPerPixel)));
    PutI32(h + H::FrameAt + 12, static_cast<int32_t>(std::lround(FHeight * hundredthsPerPixel)));
    PutU32(h + H::SignatureAt, EmfSignature);
    PutU32(h + H::VersionAt, 0x10000);
    PutU32(h + H::BytesAt, static_cast<uint32_t>(FBuffer.size()));
    PutU32(h + H::RecordsAt, FRecords);
    PutU16(h + H::HandlesAt, static_cast<uint16_t>(std::min<uint32_t>(FMaxHandles, 0xFFFF)));
    PutU16(h + H::ReservedAt, 0);
    PutU32(h + H::DescriptionAt, 0); // no description
    PutU32(h + H::OffDescriptionAt, 0);
    PutU32(h + H::PalEntriesAt, 0); // no palette
    const int32_t refW = ReferenceWidthPx * FDpi / 96, refH = ReferenceHeightPx * FDpi / 96;
    PutI32(h + H::DevicePixelsAt, refW);
    PutI32(h + H::DevicePixelsAt + 4, refH);
    PutI32(h + H::DeviceMillimetersAt, 508);
    PutI32(h + H::DeviceMillimetersAt + 4, 381);
    PutU32(h + H::PixelFormatAt, 0); // no pixel format
    PutU32(h + H::OffPixelFormatAt, 0);
    PutU32(h + H::OpenGLAt, 0); // not OpenGL
    PutI32(h + H::MicrometersAt, 508000);
    PutI32(h + H::MicrometersAt + 4, 381000);

    std::vector<uint8_t> out = std::move(FBuffer);
    FBuffer.clear();
    FBuffer.resize(HeaderSize, 0);
    FRecords = 1;
    FBounds = {};
    FHandles.assign(1, true);
    FMaxHandles = 1;
    return out;
}

} // namespace pagimo::emf
