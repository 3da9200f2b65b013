#pragma once
// The page picture: the bytes of one enhanced metafile, checked on construction.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pagimo::emf {

constexpr uint32_t EmrHeader = 1;
constexpr uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr uint32_t EmfMinHeaderSize = 88;     // the header record without its optional extensions
constexpr int32_t ScreenPixelsPerInch = 96;   // the reference device every page is recorded on

// The fields of the EMF header record that readers rely on.
struct TEmfHeader {
    int32_t BoundsLeft = 0, BoundsTop = 0, BoundsRight = 0, BoundsBottom = 0; // device pixels
    int32_t FrameLeft = 0, FrameTop = 0, FrameRight = 0, FrameBottom = 0;     // 0.01 mm
    uint32_t Bytes = 0;                                                       // nBytes: the whole picture
    uint32_t Records = 0;
    uint16_t Handles = 0;
    int32_t DevicePixelsX = 0, DevicePixelsY = 0;
    int32_t DeviceMillimetersX = 0, DeviceMillimetersY = 0;
};

// Reads the header record at the start of data. Returns false when the bytes are not an EMF header
// (too short, wrong record type or signature, a record size below the minimum or an nBytes smaller
// than the header record itself). Does not look past the header record.
bool ReadEmfHeader(std::span<const uint8_t> data, TEmfHeader& header);

// A stand-alone metafile whose header promises more bytes than data holds (a file cut short) made
// into a picture of the records that are whole: the records from the header up to the first one that
// runs past the end (or is malformed) are kept, an EOF record is added after them and nBytes and
// nRecords are set to match. When the records are whole up to their EOF and only nBytes lies, the
// picture is those records and problem stays empty; otherwise problem says how much is missing.
// Returns nothing (data unchanged) when the header record itself is not whole; data that is not cut
// short comes back as it is.
std::vector<uint8_t> WholeRecordsOf(std::vector<uint8_t> data, std::string& problem);

// One enhanced metafile held as its bytes. Constructing from bytes checks the header and that
// nBytes equals the byte count; a failure throws EQRError("Metafile is not valid").
class TEmfPicture {
public:
    TEmfPicture() = default;
    explicit TEmfPicture(std::vector<uint8_t> bytes);

    bool Empty() const { return FBytes.empty(); }
    const std::vector<uint8_t>& Bytes() const { return FBytes; }
    const TEmfHeader& Header() const { return FHeader; }

    // Display size in screen pixels (96 per inch) from the frame, as a viewer reports it.
    int32_t Width() const;
    int32_t Height() const;
    // Frame size in millimetres.
    double WidthMM() const { return (FHeader.FrameRight - FHeader.FrameLeft) / 100.0; }
    double HeightMM() const { return (FHeader.FrameBottom - FHeader.FrameTop) / 100.0; }

private:
    std::vector<uint8_t> FBytes;
    TEmfHeader FHeader;
};

} // namespace pagimo::emf
