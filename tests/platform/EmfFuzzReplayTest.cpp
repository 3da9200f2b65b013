// The EMF and EMF+ player fuzzers' saved inputs (fuzz/corpus/emfplay, emfplus and emfpluslayout,
// findings included) replayed through the fuzzers' own entry points, at their page sizes and on all
// their devices.

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
#define LLVMFuzzerTestOneInput FuzzEmfPlusLayoutOneInput
#define LLVMFuzzerInitialize FuzzEmfPlusLayoutInitialize
#include "fuzz/EmfPlusLayoutFuzz.cpp"
#undef LLVMFuzzerInitialize
#undef LLVMFuzzerTestOneInput

#include "FuzzReplay.h"

TEST(FuzzReplay, EmfPlayInputs) {
    int refused = 0;
    EXPECT_GE(pagimo::test::ReplayFuzzInputs("emfplay", FuzzEmfPlayOneInput, &refused), 6);
    EXPECT_EQ(refused, 0);
}

TEST(FuzzReplay, EmfPlusInputs) {
    int refused = 0;
    EXPECT_GE(pagimo::test::ReplayFuzzInputs("emfplus", FuzzEmfPlusOneInput, &refused), 5);
    EXPECT_EQ(refused, 0);
}

TEST(FuzzReplay, EmfPlusLayoutInputs) {
    EXPECT_GE(pagimo::test::ReplayFuzzInputs("emfpluslayout", FuzzEmfPlusLayoutOneInput), 3);
}
