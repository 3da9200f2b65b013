// qrptool text: the text of pages' text records in reading order.

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/Progress.h"

#include <cstdio>
#include <memory>

namespace pagimo::tools {

namespace {

int Run(TArgs& args) {
    const auto page = args.Option("--page");
    const auto pages = args.Option("--pages");
    const auto out = args.Option("-o");
    const bool keepGoing = args.Flag("--keep-going");
    const int jobs = JobsOption(args);
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{"one input file expected"};
    if (out) RefuseInputAsOutput({files[0]}, *out);
    EnsureGuiApplication();
    auto document = OpenDocument(files[0]);
    const auto [first, last] = PageRange(page, pages, document->PageCount());
    document = Prefetch(std::move(document), files[0], jobs, first, last);
    // Written page by page as extracted: standard output directly, a file under a temporary name.
    std::unique_ptr<TOutputFile> file;
    if (out && *out != "-") file = std::make_unique<TOutputFile>(*out);
    int64_t offset = 0;
    const auto write = [&](const std::string& text) {
        if (file) {
            if (PWriteFull(file->Fd(), text.data(), text.size(), offset) != static_cast<int64_t>(text.size()))
                throw EQRError(FormatMessage("Cannot create file %s", *out));
            offset += static_cast<int64_t>(text.size());
        } else if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) {
            throw EQRError("Cannot write to standard output");
        }
    };
    TDamagePolicy damage("text", keepGoing);
    TMissingFontNotice fonts("text");
    TProgress progress("qrptool text", "pages", last - first + 1, !file);
    for (int n = first; n <= last; ++n) {
        progress.Update(n - first);
        if (n > first) write("\f");
        const pagestore::TDocumentPage content = damage.Take(*document, n);
        const std::shared_ptr<const emf::TEmfPicture>& picture = content.Picture;
        if (!picture) continue;
        gdi::TTextDevice device;
        const gdi::TPlayResult result =
            gdi::TEmfPlayer::Play(*picture, device, QRectF(0, 0, picture->Width(), picture->Height()));
        fonts.Note(n, result.DroppedGlyphFace, result.DroppedGlyphs);
        write(device.ReadingOrder().toStdString());
        if (!content.Partial.empty()) damage.Partial(n, content.Partial);
    }
    progress.Update(last - first + 1);
    progress.Finish();
    if (file) file->Commit();
    if (std::fflush(stdout) != 0) throw EQRError("Cannot write to standard output");
    return damage.ExitStatus();
}

} // namespace

extern const TCommand CmdText = {"text", "print the text of pages in reading order",
                                 "usage: qrptool text FILE [--page N | --pages A-B] [-o OUT.txt] [--keep-going] [-j N]\n"
                                 "  Pages are separated by form feeds; written to standard output unless -o names\n"
                                 "  a file ('-' is standard output too).\n"
                                 "  --keep-going   a page that cannot be drawn gives an empty page (named on stderr,\n"
                                 "                 exit status 1) instead of stopping\n"
                                 "  -j N           threads that decode pages ahead (default: the number of cores)\n",
                                 Run};

} // namespace pagimo::tools
