// The fuzzers' saved inputs (fuzz/corpus) replayed through the same entry points as ordinary tests,
// so an input that once crashed keeps being tried by every build.

#define LLVMFuzzerTestOneInput FuzzDibOneInput
#include "fuzz/dib.cpp"
#undef LLVMFuzzerTestOneInput
#define LLVMFuzzerTestOneInput FuzzJpegOneInput
#include "fuzz/jpeg.cpp"
#undef LLVMFuzzerTestOneInput

#include "FuzzReplay.h"

using pagimo::test::ReplayFuzzInputs;

TEST(FuzzReplay, DibInputs) {
    EXPECT_GT(ReplayFuzzInputs("dib", FuzzDibOneInput), 0);
}

TEST(FuzzReplay, JpegInputs) {
    EXPECT_GT(ReplayFuzzInputs("jpeg", FuzzJpegOneInput), 0);
}
