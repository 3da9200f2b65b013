// The EMF player fuzzer's saved inputs (fuzz/corpus/emfplay, findings included) replayed through the
// fuzzer's own entry point, at its A4 page size and on all its devices, so an input that once broke
// the player keeps being tried by every build (under the sanitizers in the asan preset).

#define LLVMFuzzerTestOneInput FuzzEmfPlayOneInput
#define LLVMFuzzerInitialize FuzzEmfPlayInitialize
#include "fuzz/EmfPlayFuzz.cpp"
#undef LLVMFuzzerInitialize
#undef LLVMFuzzerTestOneInput

#include "TestPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

TEST(FuzzReplay, EmfPlayInputs) {
    int count = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(pagimo::test::SourceDir() / "fuzz" / "corpus" / "emfplay")) {
        if (file.path().extension() == ".md") continue;
        SCOPED_TRACE(file.path().string());
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(FuzzEmfPlayOneInput(bytes.data(), bytes.size()), 0);
        ++count;
    }
    EXPECT_GE(count, 6);
}
