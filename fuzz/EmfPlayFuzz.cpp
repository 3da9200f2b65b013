// Plays arbitrary bytes as an enhanced metafile onto an A4 page at 96 dpi (a real page size, so that
// stroked lengths and clips reach the page's work budget), through the trace and recording devices
// as well, so that every record handler and both writers see hostile input.

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/gdi/TraceDevice.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdlib>

using namespace pagimo;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    emf::TEmfHeader header;
    if (!emf::ReadEmfHeader(bytes, header)) return 0;
    gdi::TPlayOptions options;
    options.MaxRecords = 20000;
    constexpr int width = 794, height = 1123; // A4 at 96 dpi
    options.DeviceTransform = gdi::TEmfPlayer::FrameTransform(header, QRectF(0, 0, width, height));
    static QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        gdi::TPainterDevice device(painter);
        gdi::TEmfPlayer::Play(bytes, device, options);
    }
    gdi::TTraceDevice trace;
    gdi::TEmfPlayer::Play(bytes, trace, options);
    gdi::TEmfRecorder recorder(width, height);
    gdi::TEmfPlayer::Play(bytes, recorder, options);
    const emf::TEmfPicture again = recorder.Finish();
    gdi::TBoundsDevice bounds;
    gdi::TEmfPlayer::Play(again.Bytes(), bounds, options);
    return 0;
}
