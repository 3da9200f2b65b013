#pragma once
// Writing enhanced metafiles record by record; Finish writes the header with bounds, frame (0.01 mm),
// nBytes, nRecords, nHandles, the reference device in pixels and millimetres and the micrometre size.

#include <cstdint>
#include <span>
#include <vector>

namespace pagimo::emf {

struct TRectL {
    int32_t Left = 0, Top = 0, Right = -1, Bottom = -1; // inclusive; Right < Left means empty
    bool Empty() const { return Right < Left || Bottom < Top; }
};

class TEmfWriter {
public:
    // A picture of widthPx x heightPx pixels of a reference device with dpi pixels per inch.
    TEmfWriter(int32_t widthPx, int32_t heightPx, int32_t dpi = 96);

    // Record building: Begin, put the fields, End (pads to four bytes and fixes the size).
    void Begin(uint32_t type);
    void U32(uint32_t v);
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U16(uint16_t v);
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void F32(float v);
    void Bytes(std::span<const uint8_t> bytes);
    // n more bytes (zero) to fill in place; valid until the next write.
    uint8_t* Grow(size_t n) {
        const size_t at = FBuffer.size();
        FBuffer.resize(at + n);
        return FBuffer.data() + at;
    }
    void End();
    size_t RecordOffset() const { return FRecordStart; } // offset of the record being built
    size_t Position() const { return FBuffer.size(); }
    void PatchU32(size_t at, uint32_t v);

    // A record of 32-bit words (most records are).
    void Record(uint32_t type, std::initializer_list<int32_t> words);

    // Object handles: the lowest free index from 1; nHandles counts the most ever in use plus one.
    uint32_t NewHandle();
    void FreeHandle(uint32_t handle);

    // Widens the header's bounds by a rectangle of reference-device pixels (clamped to the picture).
    void ExtendBounds(int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Writes EOF and the header; the writer is empty afterwards.
    std::vector<uint8_t> Finish();

private:
    std::vector<uint8_t> FBuffer;
    size_t FRecordStart = 0;
    uint32_t FRecords = 0;
    int32_t FWidth, FHeight, FDpi;
    TRectL FBounds;
    std::vector<bool> FHandles{true}; // index 0 is the metafile itself
    uint32_t FMaxHandles = 1;
};

} // namespace pagimo::emf
