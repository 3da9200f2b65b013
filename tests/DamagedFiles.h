#pragma once
// Damaged QRP files as users meet them, made from good ones: a broken record inside one page, a file
// cut short, a foreign file. Plain (not splay-coded) files only.

#include "platform/emf/LittleEndian.h"
#include "platform/emf/RecordLayouts.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace pagimo::test {

// Offset of page n's record in a plain QRP file, found through the record chain.
inline size_t PageRecordOffset(const std::vector<uint8_t>& bytes, int n) {
    size_t offset = 128;
    for (int page = 1; page < n; ++page)
        offset = static_cast<size_t>(emf::GetI32(bytes.data() + offset + 4));
    return offset;
}

// Makes the size of the third record of page n's picture impossible, so that the picture's record
// chain breaks there (the page record itself stays whole and later pages stay reachable).
inline void BreakRecordInsidePage(std::vector<uint8_t>& bytes, int n) {
    const size_t emf = PageRecordOffset(bytes, n) + 8;
    size_t record = emf;
    for (int k = 0; k < 2; ++k)
        record += emf::GetU32(bytes.data() + record + emf::RecordSizeAt);
    if (record + 8 > bytes.size()) throw std::logic_error("page too small to break");
    emf::PutU32(bytes.data() + record + emf::RecordSizeAt, 0x7FFFFFF0);
}

// The first part of a file, cut in the middle of page n's record.
inline std::vector<uint8_t> CutInsidePage(const std::vector<uint8_t>& bytes, int n) {
    const size_t start = PageRecordOffset(bytes, n);
    const size_t next = static_cast<size_t>(emf::GetI32(bytes.data() + start + 4));
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>((start + next) / 2)};
}

// 300 bytes that start like a program and are no QRP file.
inline std::vector<uint8_t> ForeignFile() {
    std::vector<uint8_t> bytes(300, 0);
    const uint8_t elf[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
    std::copy(std::begin(elf), std::end(elf), bytes.begin());
    return bytes;
}

} // namespace pagimo::test
