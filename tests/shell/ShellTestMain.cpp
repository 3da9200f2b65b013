// The shell's tests run under the program's own application object, so that its error display is
// the one being tested.

#include "shell/Application.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    ::testing::InitGoogleTest(&argc, argv);
    pagimo::shell::TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
