// The EMF and EMF+ player fuzzers' saved inputs (fuzz/corpus/emfplay and emfplus, findings included)
// replayed through the fuzzers' own entry points, at its A4 page size and on all its devices, so an input that once broke
// the player keeps being tried by every build (under the sanitizers in the asan preset).

#define LLVMFuzzerTestOneInput FuzzEmfPlayOneInput
#define LLVMFuzzerInitialize FuzzEmfPlayInitialize
#include "fuzz/EmfPlayFuzz.cpp"
#undef LLVMFuzzerInitialize
#undef LLVMFuzzerTestOneInput
#define LLVMFuzzerTestOneInput FuzzEmfPlusOneInput
#define LLVMFuzzerInitialize FuzzEmfPlusInitialize
#include "fuzz/EmfPlusFuzz.cpp"
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

TEST(FuzzReplay, EmfPlusInputs) {
    int count = 0;
    for (const auto& file :
         std::filesystem::directory_iterator(pagimo::test::SourceDir() / "fuzz" / "corpus" / "emfplus")) {
        if (file.path().extension() == ".md") continue;
        SCOPED_TRACE(file.path().string());
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(FuzzEmfPlusOneInput(bytes.data(), bytes.size()), 0);
        ++count;
    }
    EXPECT_GE(count, 5);
}
