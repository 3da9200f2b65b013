// qrptool thumbnail: the first page as a small PNG image, as file managers' thumbnailers ask for it
// ("qrptool thumbnail -s %s %i %o").

#include "platform/graphics/Png.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "printer/PagePainter.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pagimo::tools {

namespace {

constexpr int MaxSize = 4096;

int Run(TArgs& args) {
    auto sizeText = args.Option("-s");
    if (!sizeText) sizeText = args.Option("--size");
    const auto files = args.Positionals();
    if (files.size() != 2) throw EUsage{"an input file and an output file expected"};
    const int size = sizeText ? ParseInt(*sizeText, "-s") : 256;
    if (size < 1 || size > MaxSize) throw EUsage{"-s must lie between 1 and " + std::to_string(MaxSize)};

    EnsureGuiApplication();
    auto document = OpenDocument(files[0]);
    if (document->PageCount() < 1) throw EQRError("the file has no pages");
    // A damaged, cut or over-budget first page is told as render tells it: what can be drawn is
    // written, the message goes to standard error and the exit status is 1.
    TDamagePolicy damage("thumbnail", false);
    TMissingFontNotice fonts("thumbnail");
    const pagestore::TDocumentPage page = damage.Take(*document, 1);

    // The page keeps its aspect: its longer side becomes size pixels.
    const auto sheet = pagestore::SheetOf(page.Picture->Header());
    const double w = sheet ? sheet->WidthPixels : 1, h = sheet ? sheet->HeightPixels : 1;
    const double scale = size / std::max(w, h);
    const int width = std::clamp(static_cast<int>(std::lround(w * scale)), 1, size);
    const int height = std::clamp(static_cast<int>(std::lround(h * scale)), 1, size);
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) throw EQRError("out of memory drawing the thumbnail");
    image.fill(Qt::white);
    printer::TPaintResult result;
    {
        QPainter painter(&image);
        result = printer::PaintPage(page, 1, painter, QRectF(0, 0, width, height));
    }
    const std::vector<uint8_t> bytes = graphics::EncodePng(image);
    RefuseInputAsOutput({files[0]}, files[1]);
    TOutputFile file(files[1]);
    if (bytes.empty() || PWriteFull(file.Fd(), bytes.data(), bytes.size(), 0) != static_cast<int64_t>(bytes.size()))
        throw EQRError(FormatMessage("Cannot create file %s", files[1]));
    file.Commit();
    if (result.Play.Damaged)
        std::fprintf(stderr, "qrptool thumbnail: page 1: %u damaged records skipped\n", result.Play.Damaged);
    fonts.Note(1, result.Play.DroppedGlyphFace, result.Play.DroppedGlyphs);
    if (!page.Partial.empty()) damage.Partial(1, page.Partial);
    if (result.Outcome == printer::pgIncomplete) damage.Incomplete(1, result.Reason);
    return damage.ExitStatus();
}

} // namespace

extern const TCommand CmdThumbnail = {
    "thumbnail", "draw the first page as a PNG thumbnail",
    "usage: qrptool thumbnail [-s SIZE] FILE OUT.png\n"
    "  FILE is a QRP file or an .emf file; its first page is drawn fitted into SIZE x SIZE pixels,\n"
    "  keeping its aspect. '-' as OUT writes to standard output.\n"
    "  -s SIZE, --size SIZE   the longer side in pixels, 1 to 4096 (default 256)\n",
    Run};

} // namespace pagimo::tools
