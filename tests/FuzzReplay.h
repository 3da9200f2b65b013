#pragma once
// Replays a fuzzer's saved inputs (fuzz/corpus/NAME, findings included) through its entry point, so
// an input that once broke something keeps being tried by every build (under the sanitizers in the
// asan preset).

#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace pagimo::test {

// Plays every input of the folder (notes in .md files aside) and returns how many there were;
// refused, when given, counts the inputs whose entry point did not return 0.
inline int ReplayFuzzInputs(const char* name, int (*entry)(const uint8_t*, size_t), int* refused = nullptr) {
    int count = 0;
    for (const auto& file : std::filesystem::directory_iterator(SourceDir() / "fuzz" / "corpus" / name)) {
        if (file.path().extension() == ".md") continue;
        SCOPED_TRACE(file.path().string());
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        if (entry(bytes.data(), bytes.size()) != 0 && refused) ++*refused;
        ++count;
    }
    return count;
}

} // namespace pagimo::test
