#pragma once
// Helpers shared by the page list suites: recordings of synthetic pages and raw file access.

#include "pagestore/PageList.h"
#include "tools/SamplePages.h"

#include "TempDir.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pagimo::test {

inline std::vector<uint8_t> FileBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFileBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Records pageCount synthetic pages (page i has i % 7 + 1 lines) into a fresh page list.
inline void Record(pagestore::TQRPageList& list, int pageCount, bool compressed, int32_t spillLimit = 100000,
                   bool close = true) {
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(spillLimit));
    list.SetCompressed(compressed);
    for (int i = 1; i <= pageCount; ++i)
        list.StorePage(tools::TSamplePageWriter::Picture(i, i % 7 + 1));
    if (close) list.CloseRecording();
}

// Writes a QRP file of pageCount synthetic pages and returns its bytes.
inline std::vector<uint8_t> MakeFile(const std::string& name, int pageCount, bool compressed) {
    pagestore::TQRPageList list;
    Record(list, pageCount, compressed);
    list.CopyToFile(name);
    return FileBytes(name);
}

} // namespace pagimo::test
