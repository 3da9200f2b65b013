#include "platform/emf/RecordReader.h"

#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfRecords.h"
#include "platform/emf/RecordLayouts.h"

#include <bit>
#include <limits>

namespace pagimo::emf {

float TRecordReader::F32(size_t offset) const {
    return std::bit_cast<float>(U32(offset));
}

std::span<const uint8_t> TRecordReader::Bytes(size_t offset, uint64_t count, size_t elementSize) const {
    if (elementSize != 0 && count > std::numeric_limits<uint64_t>::max() / elementSize)
        throw ERecordDamaged("element count overflows");
    const uint64_t n = count * elementSize;
    if (!Has(offset, n)) throw ERecordDamaged("elements run past the end of a record");
    return FData.subspan(offset, static_cast<size_t>(n));
}

TRecordWalker::TRecordWalker(std::span<const uint8_t> data) : FData(data) {
    // The header's nBytes bounds the records when it is smaller than what we were given.
    if (FData.size() >= THeaderLayout::BytesAt + 4) {
        const uint32_t nBytes = GetU32(FData.data() + THeaderLayout::BytesAt);
        if (GetU32(FData.data() + RecordTypeAt) == EmrHeader && nBytes >= 8 && nBytes < FData.size())
            FData = FData.first(nBytes);
    }
}

bool TRecordWalker::Next(TRecordReader& record) {
    if (FDone || FBroken) return false;
    if (FOffset == FData.size()) {
        FDone = true;
        return false;
    }
    const size_t left = FData.size() - FOffset;
    if (left < 8) {
        FBroken = true;
        return false;
    }
    const uint32_t type = GetU32(FData.data() + FOffset + RecordTypeAt);
    const uint32_t size = GetU32(FData.data() + FOffset + RecordSizeAt);
    if (size < 8 || size % 4 != 0 || size > left) {
        FBroken = true;
        return false;
    }
    record = TRecordReader(FData.subspan(FOffset, size));
    FOffset += size;
    if (type == EMR_EOF) FDone = true;
    return true;
}

std::string TRecordChainCheck::Problem() const {
    if (!StartsWithHeader) return "Metafile is not valid (it does not start with a header record)";
    if (Broken)
        return "Metafile is not valid (its record chain is broken at record " + std::to_string(Records + 1) +
               ", offset " + std::to_string(BrokenOffset) + ")";
    return {};
}

TRecordChainCheck CheckRecordChain(std::span<const uint8_t> data) {
    TRecordChainCheck check;
    TRecordWalker walker(data);
    TRecordReader record(data.first(0));
    while (walker.Next(record)) {
        if (check.Records++ == 0) check.StartsWithHeader = record.Type() == EmrHeader;
        if (record.Type() == EMR_EOF) check.EndsWithEof = true;
    }
    check.Broken = walker.Broken();
    if (check.Broken) check.BrokenOffset = walker.Offset();
    return check;
}

} // namespace pagimo::emf
