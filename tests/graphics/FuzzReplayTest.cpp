// The fuzzers' saved inputs (fuzz/corpus) replayed through the same entry points as ordinary tests,
// so an input that once crashed keeps being tried by every build.

#define LLVMFuzzerTestOneInput FuzzDibOneInput
#include "fuzz/dib.cpp"
#undef LLVMFuzzerTestOneInput
#define LLVMFuzzerTestOneInput FuzzJpegOneInput
#include "fuzz/jpeg.cpp"
#undef LLVMFuzzerTestOneInput

#include "TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

int Replay(const char* name, int (*entry)(const uint8_t*, size_t)) {
    int count = 0;
    for (const auto& file : std::filesystem::directory_iterator(pagimo::test::SourceDir() / "fuzz" / "corpus" / name)) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        entry(bytes.data(), bytes.size());
        ++count;
    }
    return count;
}

} // namespace

TEST(FuzzReplay, DibInputs) {
    EXPECT_GT(Replay("dib", FuzzDibOneInput), 0);
}

TEST(FuzzReplay, JpegInputs) {
    EXPECT_GT(Replay("jpeg", FuzzJpegOneInput), 0);
}
