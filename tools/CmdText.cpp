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

// A page's text as a worker extracts it, its picture already let go.
struct TPageText {
    pagestore::TDocumentPage Page;
    bool Drawn = false;
    std::string Text;
    std::string DroppedFace;
    uint32_t Dropped = 0;
};

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
    // Pages are read and their text extracted on the worker threads; what is written, and what is
    // said on standard error, follows page order on this one.
    TProgress progress("qrptool text", "pages", last - first + 1, !file);
    InPageOrder<TPageText>(
        *document, files[0], jobs, first, last,
        [](pagestore::TPageDocument& source, int n) {
            TPageText result;
            result.Page = source.Page(n);
            const std::shared_ptr<const emf::TEmfPicture> picture = std::move(result.Page.Picture);
            if (!picture) return result;
            result.Drawn = true;
            gdi::TTextDevice device;
            const gdi::TPlayResult played =
                gdi::TEmfPlayer::Play(*picture, device, QRectF(0, 0, picture->Width(), picture->Height()));
            result.DroppedFace = played.DroppedGlyphFace;
            result.Dropped = played.DroppedGlyphs;
            result.Text = device.ReadingOrder().toStdString();
            return result;
        },
        [&](int n, TPageText&& result) {
            progress.Update(n - first);
            if (n > first) write("\f");
            if (!result.Drawn) {
                damage.Take(std::move(result.Page), n);
                return;
            }
            fonts.Note(n, result.DroppedFace, result.Dropped);
            write(result.Text);
            if (!result.Page.Partial.empty()) damage.Partial(n, result.Page.Partial);
        });
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
                                 "  -j N           threads that read pages and extract their text (default: the number of\n"
                                 "                 cores); the output is the same for any N\n",
                                 Run};

} // namespace pagimo::tools
