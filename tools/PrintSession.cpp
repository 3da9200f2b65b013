#include "tools/PrintSession.h"

#include <QGuiApplication>

#include <cstdlib>

namespace pagimo::tools {

void EnsurePrintSession() {
    if (QGuiApplication::instance()) return;
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "qrptool";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}

} // namespace pagimo::tools
