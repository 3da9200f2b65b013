// qrptool text: the text of a page's text records in reading order.

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"
#include "platform/system/Errors.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"

#include <cstdio>

namespace pagimo::tools {

namespace {

int Run(TArgs& args) {
    const auto page = args.Option("--page");
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{"one input file expected"};
    EnsureGuiApplication();
    auto source = TPageSource::Open(files[0]);
    const auto [first, last] = PageRange(page, std::nullopt, source->Count());
    std::string out;
    for (int n = first; n <= last; ++n) {
        const emf::TEmfPicture picture = source->Page(n);
        gdi::TTextDevice device;
        const auto result = gdi::TEmfPlayer::Play(picture, device, QRectF(0, 0, picture.Width(), picture.Height()));
        if (!result.Complete)
            throw EQRError("page " + std::to_string(n) + ": Metafile is not valid (its record chain is broken)");
        if (n > first) out += "\f";
        out += device.ReadingOrder().toStdString();
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return ExitOk;
}

} // namespace

extern const TCommand CmdText = {"text", "print the text of pages in reading order",
                                 "usage: qrptool text FILE [--page N]\n"
                                 "  Pages are separated by form feeds.\n",
                                 Run};

} // namespace pagimo::tools
