// qrptool render: pages to PNG or JPEG images.

#include "platform/graphics/Jpeg.h"
#include "platform/graphics/Png.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "printer/PagePainter.h"
#include "tools/Commands.h"
#include "tools/PagePrefetch.h"
#include "tools/PageSource.h"
#include "tools/Progress.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace pagimo::tools {

namespace {

std::string OutputName(const std::string& pattern, int page) {
    const auto at = pattern.find("%d");
    if (at == std::string::npos) return pattern;
    return pattern.substr(0, at) + std::to_string(page) + pattern.substr(at + 2);
}

enum class TImageFormat { Png, Jpeg };

TImageFormat FormatOf(const std::string& out, const std::optional<std::string>& format) {
    std::string name = format ? *format : std::filesystem::path(out).extension().string();
    if (!name.empty() && name[0] == '.') name.erase(0, 1);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    if (name == "png" || (out == "-" && name.empty())) return TImageFormat::Png;
    if (name == "jpg" || name == "jpeg") return TImageFormat::Jpeg;
    throw EUsage{"the output must be a .png or .jpg file (or --format png|jpg)"};
}

void Save(const QImage& image, TImageFormat format, const std::string& path) {
    // PNG goes through libpng directly, with settings chosen for report pages (see Png.h): Qt's image
    // writer would scan the image-format plugins first and compress three times slower.
    const std::vector<uint8_t> bytes =
        format == TImageFormat::Jpeg ? graphics::EncodeJpeg(image, 90) : graphics::EncodePng(image);
    TOutputFile file(path);
    if (bytes.empty() || PWriteFull(file.Fd(), bytes.data(), bytes.size(), 0) != static_cast<int64_t>(bytes.size()))
        throw EQRError(FormatMessage("Cannot create file %s", path));
    file.Commit();
}

int Run(TArgs& args) {
    const auto page = args.Option("--page");
    const auto pages = args.Option("--pages");
    const auto dpiText = args.Option("--dpi");
    const auto out = args.Option("-o");
    const auto format = args.Option("--format");
    const bool keepGoing = args.Flag("--keep-going");
    const int jobs = JobsOption(args);
    const auto files = args.Positionals();
    if (files.size() != 1) throw EUsage{"one input file expected"};
    if (!out) throw EUsage{"-o OUT.png is required"};
    const TImageFormat imageFormat = FormatOf(*out, format);
    const int dpi = dpiText ? ParseInt(*dpiText, "--dpi") : 96;
    if (dpi < 10 || dpi > 1200) throw EUsage{"--dpi must lie between 10 and 1200"};

    EnsureGuiApplication();
    auto document = OpenDocument(files[0]);
    const auto [first, last] = PageRange(page, pages, document->PageCount());
    if (first != last && *out == "-") throw EUsage{"standard output takes one page"};
    document = Prefetch(std::move(document), files[0], jobs, first, last);
    if (first != last && out->find("%d") == std::string::npos)
        throw EUsage{"several pages need an output pattern with %d"};

    TDamagePolicy damage("render", keepGoing, "drawn crossed out");
    TMissingFontNotice fonts("render");
    if (first != last) damage.CheckFirst(*document, first, last);
    int width = 0, height = 0; // of the last page drawn, for a damaged page whose sheet is unknown
    const double scale = dpi / 96.0;
    TProgress progress("qrptool render", "pages", last - first + 1);
    for (int n = first; n <= last; ++n) {
        progress.Update(n - first);
        const pagestore::TDocumentPage content = damage.Take(*document, n);
        // Each page on its own sheet.
        const auto sheet = content.Picture ? pagestore::SheetOf(content.Picture->Header()) : document->Sheet(n);
        if (sheet) {
            width = std::max(1, static_cast<int>(std::lround(sheet->WidthPixels * scale)));
            height = std::max(1, static_cast<int>(std::lround(sheet->HeightPixels * scale)));
        } else if (width == 0) {
            width = static_cast<int>(std::lround(210 / 25.4 * dpi)), height = static_cast<int>(std::lround(297 / 25.4 * dpi));
        }
        if (static_cast<int64_t>(width) * height > 400LL * 1000 * 1000)
            throw EQRError("page " + std::to_string(n) + " is too large to render at " + std::to_string(dpi) + " dpi");
        QImage image(width, height, QImage::Format_RGB32);
        if (image.isNull()) throw EQRError("out of memory rendering page " + std::to_string(n));
        image.fill(Qt::white);
        printer::TPaintResult result;
        {
            QPainter painter(&image);
            result = printer::PaintPage(content, n, painter, QRectF(0, 0, width, height));
        }
        RefuseInputAsOutput({files[0]}, OutputName(*out, n));
        if (result.Play.Damaged) {
            TProgress::ClearShown();
            std::fprintf(stderr, "qrptool render: page %d: %u damaged records skipped\n", n, result.Play.Damaged);
        }
        fonts.Note(n, result.Play.DroppedGlyphFace, result.Play.DroppedGlyphs);
        // A page drawn only in part (a file cut short, or over its work budget) is written all the same,
        // and still counts as one that cannot be drawn completely.
        Save(image, imageFormat, OutputName(*out, n));
        if (!content.Partial.empty()) damage.Partial(n, content.Partial);
        if (result.Outcome == printer::pgIncomplete) damage.Incomplete(n, result.Reason);
    }
    progress.Update(last - first + 1);
    return damage.ExitStatus();
}

} // namespace

extern const TCommand CmdRender = {
    "render", "render pages to PNG or JPEG images",
    "usage: qrptool render FILE [--page N | --pages A-B] [--dpi D] [--keep-going] -o OUT.png|OUT.jpg\n"
    "  FILE is a QRP file or an .emf file. Several pages need a pattern such as out-%d.png; '-' writes\n"
    "  one page to standard output (PNG unless --format jpg).\n"
    "  --dpi D        pixels per inch (default 96)\n"
    "  --format F     png or jpg instead of OUT's extension\n"
    "  --keep-going   a page that cannot be drawn is drawn crossed out with its reason (named on stderr,\n"
    "                 exit status 1)\n"
    "  -j N           threads that decode pages ahead (default: the number of cores)\n",
    Run};

} // namespace pagimo::tools
