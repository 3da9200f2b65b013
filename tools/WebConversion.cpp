#include "tools/WebConversion.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/SvgDevice.h"
#include "platform/gdi/SvgDocument.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "tools/WebViewerFiles.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pagimo::tools {

namespace {

// Raw deflate (no zlib header), which the viewer's own inflater reads; with a dictionary, the data may
// refer back into it (the pages of a report are much alike: each refers to the first one).
std::string Deflate(std::string_view data, std::string_view dictionary = {}) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw EQRError("Out of memory");
    if (!dictionary.empty())
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                             static_cast<uInt>(dictionary.size()));
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (status != Z_STREAM_END) throw EQRError("Out of memory");
    return out;
}

// A JSON string that may stand inside a <script> element.
std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Writes a file piece by piece at increasing offsets; a failed write raises "Cannot create file".
class TWriter {
public:
    explicit TWriter(TOutputFile& file) : FFile(file) {}
    void operator()(std::string_view text) {
        if (PWriteFull(FFile.Fd(), text.data(), text.size(), FOffset) != static_cast<int64_t>(text.size()))
            throw EQRError(FormatMessage("Cannot create file %s", FFile.Path()));
        FOffset += static_cast<int64_t>(text.size());
    }

private:
    TOutputFile& FFile;
    int64_t FOffset = 0;
};

std::string Replace(std::string_view text, std::string_view from, const std::string& to) {
    std::string out(text);
    for (size_t at = out.find(from); at != std::string::npos; at = out.find(from, at + to.size()))
        out.replace(at, from.size(), to);
    return out;
}

} // namespace

TSvgPage DrawSvgPage(gdi::TSvgDocument& document, TPageSource& source, int n, const std::string& idPrefix,
                     TDamagePolicy& damage, TMissingFontNotice& fonts, double blankWidthMM, double blankHeightMM,
                     bool standAlone) {
    TSvgPage page;
    const std::unique_ptr<emf::TEmfPicture> picture = damage.Take(source, n);
    page.WidthMM = blankWidthMM;
    page.HeightMM = blankHeightMM;
    if (picture) {
        const bool sized = picture->WidthMM() > 0.1 && picture->HeightMM() > 0.1;
        page.WidthMM = sized ? picture->WidthMM() : 210;
        page.HeightMM = sized ? picture->HeightMM() : 297;
    }
    // In pixels as qrptool render draws the page at 96 dpi.
    const QSize pixels = picture ? QSize(std::max(1, picture->Width()), std::max(1, picture->Height()))
                                 : QSize(static_cast<int>(std::lround(page.WidthMM / 25.4 * 96)),
                                         static_cast<int>(std::lround(page.HeightMM / 25.4 * 96)));
    gdi::TSvgDevice device(document, QSizeF(page.WidthMM, page.HeightMM), pixels, idPrefix);
    if (picture) {
        const gdi::TPlayResult result = gdi::TEmfPlayer::Play(*picture, device, device.Target());
        if (result.Damaged)
            std::fprintf(stderr, "qrptool convert: page %d: %u damaged records skipped\n", n, result.Damaged);
        fonts.Note(n, result.DroppedGlyphFace, result.DroppedGlyphs);
        page.Partial = source.Incomplete(n);
        if (result.OverBudget)
            page.Problem = result.Problem.empty() ? std::string("over its work budget") : result.Problem;
    }
    std::string defs;
    if (standAlone)
        defs = "<style>" + std::string(gdi::SvgPageStyle) + document.StyleSheet() + "</style>" + document.ImageDefs();
    page.Svg = device.Finish(defs);
    page.Text = device.Text();
    return page;
}

void ReportOutcome(const TSvgPage& page, int n, TDamagePolicy& damage) {
    if (!page.Partial.empty()) damage.Partial(n, page.Partial);
    if (!page.Problem.empty()) damage.Incomplete(n, page.Problem);
}

TSvgPage StandAloneSvgPage(TPageSource& source, int n, TDamagePolicy& damage, TMissingFontNotice& fonts,
                           double blankWidthMM, double blankHeightMM) {
    gdi::TSvgDocument document;
    TSvgPage page = DrawSvgPage(document, source, n, {}, damage, fonts, blankWidthMM, blankHeightMM, true);
    page.Svg.insert(0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    page.Svg += '\n';
    return page;
}

void WriteSvgPages(TPageSource& source, const std::function<std::string(int)>& path, int first, int last,
                   TDamagePolicy& damage, TMissingFontNotice& fonts) {
    if (first != last) damage.CheckFirst(source, first, last);
    double width = 210, height = 297; // of the last page drawn, for the blank sheet of a damaged one
    for (int n = first; n <= last; ++n) {
        const TSvgPage page = StandAloneSvgPage(source, n, damage, fonts, width, height);
        width = page.WidthMM;
        height = page.HeightMM;
        TOutputFile file(path(n));
        TWriter write(file);
        write(page.Svg);
        file.Commit();
        ReportOutcome(page, n, damage);
    }
}

void WriteHtml(TPageSource& source, const std::string& path, const TWebOptions& options, int first, int last,
               TDamagePolicy& damage, TMissingFontNotice& fonts) {
    TOutputFile file(path);
    TWriter write(file);
    const std::string title = gdi::XmlEscaped(options.Title);
    write("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
          "<meta name=\"generator\" content=\"Pagimo\">\n<title>" +
          title + "</title>\n<style>\n");
    write(web::ViewerCss);
    write(gdi::SvgPageStyle);
    write("</style>\n</head>\n<body>\n");
    write(Replace(Replace(web::ViewerHtml, "{{TITLE}}", title), "{{LANG}}", gdi::XmlEscaped(options.Lang)));
    // The pages: each one's SVG deflated and in base64, kept as inert text until it comes into view.
    write("<script type=\"text/plain\" id=\"pagimo-pages\">");
    gdi::TSvgDocument document;
    std::string sizes, lengths, dictionary;
    QString texts; // every page's text, lower case, one line feed after each: what find searches
    double width = 210, height = 297;
    for (int n = first; n <= last; ++n) {
        const TSvgPage page = DrawSvgPage(document, source, n, std::string("p") + std::to_string(n - first + 1) + "-",
                                          damage, fonts, width, height);
        ReportOutcome(page, n, damage);
        width = page.WidthMM;
        height = page.HeightMM;
        write(gdi::Base64(Deflate(page.Svg, dictionary)));
        // Deflate looks back 32 KiB at most: the end of the first page, where its text lies.
        if (n == first) dictionary = page.Svg.substr(page.Svg.size() > 32768 ? page.Svg.size() - 32768 : 0);
        if (n < last) write(" ");
        if (!sizes.empty()) sizes += ',';
        gdi::AppendSvgNumber(sizes, width, 2);
        sizes += ',';
        gdi::AppendSvgNumber(sizes, height, 2);
        const QString text = page.Text.toLower();
        texts += text + u'\n';
        if (!lengths.empty()) lengths += ',';
        lengths += std::to_string(text.size());
    }
    write("</script>\n");
    // The document: its title, the pages' sizes in millimetres, and their text for finding (deflated;
    // the length of each page's text in UTF-16 units, as the viewer's strings count).
    const std::string text = texts.toStdString();
    write("<script type=\"application/json\" id=\"pagimo-document\">{\"title\":" + JsonString(options.Title) +
          ",\"first\":" + std::to_string(first) + ",\"sizes\":[" + sizes + "],\"textLengths\":[" + lengths +
          "],\"text\":\"" + gdi::Base64(Deflate(text)) + "\"}</script>\n");
    // The web fonts and text classes the pages use, and their pictures, made once for all pages.
    write("<script type=\"text/plain\" id=\"pagimo-fonts\">");
    write(document.StyleSheet());
    write("</script>\n<svg id=\"pagimo-shared\" aria-hidden=\"true\" width=\"0\" height=\"0\" "
          "style=\"position:absolute\"><defs>");
    write(document.ImageDefs());
    write("</defs></svg>\n<script>\n");
    write(web::ViewerJs);
    write("</script>\n</body>\n</html>\n");
    file.Commit();
}

} // namespace pagimo::tools
