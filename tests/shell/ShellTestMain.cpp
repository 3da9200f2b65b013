// The shell's tests run under the program's own application object, so that its error display is
// the one being tested.

#include "shell/Application.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    // File viewers remember their settings: in a folder of the tests' own, never the user's.
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    pagimo::shell::TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
