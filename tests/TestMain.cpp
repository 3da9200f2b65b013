// Shared main of every test program: the environment the suites expect is set here rather than
// in CTest properties, so that test discovery at build time and a test run by hand see the same.

#include <gtest/gtest.h>

#include <cstdlib>

#ifdef PAGIMO_TEST_GUI
#include <QApplication>
#endif

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef PAGIMO_TEST_GUI
    QApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
