// Decodes the input as splay code (the first two bytes give the byte count, little-endian). Damaged
// code must end in the system's error without reading past the input; code that decodes must be what
// the coder writes for the decoded bytes, up to the unused bits of its last byte.

#include "pagestore/Compress.h"
#include "platform/system/Errors.h"

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t count = data[0] | (data[1] << 8);
    // An exact copy, so that any read past the code is caught.
    std::vector<uint8_t> code(data + 2, data + size);
    std::vector<uint8_t> out(count);
    size_t used = 0;
    try {
        used = pagimo::pagestore::SplayDecode(code, out.data(), count);
    } catch (const pagimo::EQRError&) {
        return 0;
    }
    if (used > code.size()) std::abort();
    const auto again = pagimo::pagestore::SplayEncode(out);
    if (again.size() != used) std::abort();
    if (used > 0 && std::memcmp(again.data(), code.data(), used - 1) != 0) std::abort();
    return 0;
}
