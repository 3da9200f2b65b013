#include "platform/emf/EmfPicture.h"

#include "platform/emf/EmfRecords.h"
#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"
#include "platform/system/Errors.h"

#include <cmath>
#include <string>

namespace pagimo::emf {

bool ReadEmfHeader(std::span<const uint8_t> data, TEmfHeader& header) {
    if (data.size() < EmfMinHeaderSize) return false;
    using H = THeaderLayout;
    const uint8_t* p = data.data();
    if (GetU32(p + RecordTypeAt) != EmrHeader || GetU32(p + H::SignatureAt) != EmfSignature) return false;
    const uint32_t recordSize = GetU32(p + RecordSizeAt);
    if (recordSize < EmfMinHeaderSize || recordSize % 4 != 0) return false;
    header.BoundsLeft = GetI32(p + H::BoundsAt);
    header.BoundsTop = GetI32(p + H::BoundsAt + 4);
    header.BoundsRight = GetI32(p + H::BoundsAt + 8);
    header.BoundsBottom = GetI32(p + H::BoundsAt + 12);
    header.FrameLeft = GetI32(p + H::FrameAt);
    header.FrameTop = GetI32(p + H::FrameAt + 4);
    header.FrameRight = GetI32(p + H::FrameAt + 8);
    header.FrameBottom = GetI32(p + H::FrameAt + 12);
    header.Bytes = GetU32(p + H::BytesAt);
    header.Records = GetU32(p + H::RecordsAt);
    header.Handles = GetU16(p + H::HandlesAt);
    header.DevicePixelsX = GetI32(p + H::DevicePixelsAt);
    header.DevicePixelsY = GetI32(p + H::DevicePixelsAt + 4);
    header.DeviceMillimetersX = GetI32(p + H::DeviceMillimetersAt);
    header.DeviceMillimetersY = GetI32(p + H::DeviceMillimetersAt + 4);
    return header.Bytes >= recordSize;
}

TEmfPicture::TEmfPicture(std::vector<uint8_t> bytes) {
    TEmfHeader header;
    if (!ReadEmfHeader(bytes, header) || header.Bytes != bytes.size()) throw EQRError("Metafile is not valid");
    FBytes = std::move(bytes);
    FHeader = header;
}

std::vector<uint8_t> WholeRecordsOf(std::vector<uint8_t> data, std::string& problem) {
    problem.clear();
    TEmfHeader header;
    if (!ReadEmfHeader(data, header)) return {};
    const size_t headerSize = GetU32(data.data() + RecordSizeAt);
    if (headerSize > data.size()) return {};
    if (header.Bytes <= data.size()) return data;
    // The records that are whole, as a player walks them.
    size_t offset = 0, records = 0;
    bool eof = false;
    while (!eof && data.size() - offset >= 8) {
        const uint32_t type = GetU32(data.data() + offset + RecordTypeAt),
                       size = GetU32(data.data() + offset + RecordSizeAt);
        if (size < 8 || size % 4 != 0 || size > data.size() - offset) break;
        offset += size;
        ++records;
        eof = type == EMR_EOF;
    }
    const size_t promised = header.Bytes, held = data.size();
    data.resize(offset);
    if (!eof) {
        problem = "the file ends after " + std::to_string(held) + " of the " + std::to_string(promised) +
                  " bytes its header promises; drawn up to its last whole record (" + std::to_string(records) +
                  " records)";
        // EMR_EOF without palette entries.
        const TEmrEof end;
        const size_t at = data.size();
        data.resize(at + TEmrEof::Size);
        PutU32(data.data() + at + RecordTypeAt, EMR_EOF);
        PutU32(data.data() + at + RecordSizeAt, TEmrEof::Size);
        PutU32(data.data() + at + TEmrEof::PalEntriesAt, end.PalEntries);
        PutU32(data.data() + at + TEmrEof::OffPalEntriesAt, end.OffPalEntries);
        PutU32(data.data() + at + TEmrEof::SizeLastAt, end.SizeLast);
        ++records;
    }
    PutU32(data.data() + THeaderLayout::BytesAt, static_cast<uint32_t>(data.size()));
    PutU32(data.data() + THeaderLayout::RecordsAt, static_cast<uint32_t>(records));
    return data;
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
