#pragma once
// Bounded reading of metafile records: the record chain is checked before any record is handed out,
// and each handler reads its record through a TRecordReader that refuses to look past the record.

#include "platform/emf/LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace pagimo::emf {

// A read past the end of a record, or a field that contradicts the record (a count that cannot fit).
class ERecordDamaged : public std::runtime_error {
public:
    explicit ERecordDamaged(const char* what) : std::runtime_error(what) {}
};

class TRecordReader {
public:
    explicit TRecordReader(std::span<const uint8_t> record) : FData(record) {}

    uint32_t Type() const { return GetU32(FData.data()); }
    size_t Size() const { return FData.size(); }
    std::span<const uint8_t> All() const { return FData; }

    uint32_t U32(size_t offset) const { return GetU32(At(offset, 4)); }
    int32_t I32(size_t offset) const { return GetI32(At(offset, 4)); }
    uint16_t U16(size_t offset) const { return GetU16(At(offset, 2)); }
    int16_t I16(size_t offset) const { return GetI16(At(offset, 2)); }
    uint8_t U8(size_t offset) const { return *At(offset, 1); }
    float F32(size_t offset) const;
    // count elements of elementSize bytes at offset; overflow-safe.
    std::span<const uint8_t> Bytes(size_t offset, uint64_t count, size_t elementSize = 1) const;
    bool Has(size_t offset, uint64_t bytes) const { return offset <= FData.size() && bytes <= FData.size() - offset; }
    // The n bytes of a group of fixed fields at offset, checked once (raises as the single reads do).
    const uint8_t* Fields(size_t offset, size_t n) const { return At(offset, n); }

private:
    const uint8_t* At(size_t offset, size_t n) const {
        if (!Has(offset, n)) throw ERecordDamaged("read past the end of a record");
        return FData.data() + offset;
    }
    std::span<const uint8_t> FData;
};

// Walks the records of a whole metafile. A record whose size is below 8, not a multiple of 4 or runs
// past the end of the data ends the walk with Broken() set; the header's nBytes limits the data.
class TRecordWalker {
public:
    explicit TRecordWalker(std::span<const uint8_t> data);
    // The next record, or false at the end (after EOF, at the end of data, or on a broken chain).
    bool Next(TRecordReader& record);
    bool Broken() const { return FBroken; }
    size_t Offset() const { return FOffset; }

private:
    std::span<const uint8_t> FData;
    size_t FOffset = 0;
    bool FBroken = false;
    bool FDone = false;
};

// The outcome of walking a whole metafile's records without playing them: what a player can reach.
struct TRecordChainCheck {
    uint32_t Records = 0;      // records walked, the header included
    bool StartsWithHeader = false;
    bool Broken = false;       // a record's size is impossible (below 8, not a multiple of 4, past the end)
    size_t BrokenOffset = 0;   // where the broken record starts
    bool EndsWithEof = false;
    // Empty when every record can be reached; else a reason in the system's words.
    std::string Problem() const;
};

// Walks data record by record as a player does (TRecordWalker), checking only the chain itself.
TRecordChainCheck CheckRecordChain(std::span<const uint8_t> data);

} // namespace pagimo::emf
