// Wraps arbitrary bytes as the EMF+ records of a picture (an EMF+ header, then the bytes cut into
// EMR_COMMENT records) and plays it onto a small image and the trace device, so that every EMF+
// record reader sees hostile fields while the GDI record chain stays whole.

#include "platform/emf/EmfPlusRecords.h"
#include "platform/emf/EmfWriter.h"
#include "platform/gdi/EmfPlayer.h"
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
    if (size > 1 << 20) return 0;
    emf::TEmfWriter writer(64, 64);
    emf::TEmfPlusWriter plus(writer);
    plus.Header(true);
    // The input as comment payloads: pieces split at every "EMF+" marker the input itself holds, so
    // the fuzzer can place record boundaries; each piece goes into one EMR_COMMENT after the signature.
    size_t start = 0;
    auto flush = [&](size_t end) {
        writer.Begin(emf::EMR_COMMENT);
        const size_t n = end - start;
        writer.U32(static_cast<uint32_t>(4 + (n + 3) / 4 * 4));
        writer.U32(emf::EmfPlusSignature);
        writer.Bytes(std::span<const uint8_t>(data + start, n));
        writer.End();
    };
    for (size_t i = 0; i + 4 <= size; ++i)
        if (data[i] == 'E' && data[i + 1] == 'M' && data[i + 2] == 'F' && data[i + 3] == '+') {
            flush(i);
            start = i + 4;
            i += 3;
        }
    flush(size);
    writer.Record(emf::EMR_RECTANGLE, {1, 1, 30, 30});
    const std::vector<uint8_t> bytes = writer.Finish();
    gdi::TPlayOptions options;
    options.MaxRecords = 20000;
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        gdi::TPainterDevice device(painter);
        gdi::TEmfPlayer::Play(bytes, device, options);
    }
    gdi::TTraceDevice trace;
    gdi::TEmfPlayer::Play(bytes, trace, options);
    return 0;
}
