// qrptool render: pages to PNG images.

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/system/Errors.h"
#include "tools/Commands.h"
#include "tools/OutputFile.h"
#include "tools/PageSource.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>

namespace pagimo::tools {

namespace {

std::string OutputName(const std::string& pattern, int page) {
    const auto at = pattern.find("%d");
    if (at == std::string::npos) return pattern;
    return pattern.substr(0, at) + std::to_string(page) + pattern.substr(at + 2);
}

int Run(TArgs& args) {
    const auto page = args.Option("--page");
    const auto pages = args.Option("--pages");
    const auto dpiText = args.Option("--dpi");
    const auto out = args.Option("-o");
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{"one input file expected"};
    if (!out) throw EUsage{"-o OUT.png is required"};
    const int dpi = dpiText ? ParseInt(*dpiText, "--dpi") : 96;
    if (dpi < 10 || dpi > 1200) throw EUsage{"--dpi must lie between 10 and 1200"};

    EnsureGuiApplication();
    auto source = TPageSource::Open(files[0]);
    const auto [first, last] = PageRange(page, pages, source->Count());
    if (first != last && out->find("%d") == std::string::npos)
        throw EUsage{"several pages need an output pattern with %d"};

    for (int n = first; n <= last; ++n) {
        const emf::TEmfPicture picture = source->Page(n);
        const double scale = dpi / 96.0;
        const int w = std::max(1, static_cast<int>(std::lround(picture.Width() * scale)));
        const int h = std::max(1, static_cast<int>(std::lround(picture.Height() * scale)));
        if (static_cast<int64_t>(w) * h > 400LL * 1000 * 1000)
            throw EQRError("page " + std::to_string(n) + " is too large to render at " + std::to_string(dpi) + " dpi");
        QImage image(w, h, QImage::Format_RGB32);
        if (image.isNull()) throw EQRError("out of memory rendering page " + std::to_string(n));
        image.fill(Qt::white);
        gdi::TPlayResult result;
        {
            QPainter painter(&image);
            gdi::TPainterDevice device(painter);
            result = gdi::TEmfPlayer::Play(picture, device, QRectF(0, 0, w, h));
        }
        if (!result.Complete)
            throw EQRError("page " + std::to_string(n) + ": Metafile is not valid (its record chain is broken)");
        if (result.Damaged)
            std::fprintf(stderr, "qrptool render: page %d: %u damaged records skipped\n", n, result.Damaged);
        TOutputFile file(OutputName(*out, n));
        if (!image.save(file.TempPath(), "PNG"))
            throw EQRError(FormatMessage("Cannot create file %s", OutputName(*out, n)));
        file.Commit();
    }
    return ExitOk;
}

} // namespace

extern const TCommand CmdRender = {
    "render", "render pages to PNG images",
    "usage: qrptool render FILE [--page N | --pages A-B] [--dpi D] -o OUT.png\n"
    "  FILE is a QRP file or an .emf file. Several pages need a pattern such as out-%d.png.\n"
    "  --dpi D   pixels per inch (default 96)\n",
    Run};

} // namespace pagimo::tools
