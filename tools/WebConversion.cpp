#include "tools/WebConversion.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/SvgDevice.h"
#include "platform/gdi/SvgDocument.h"
#include "platform/system/Errors.h"
#include "platform/system/File.h"
#include "platform/system/OutputFile.h"
#include "printer/PagePainter.h"
#include "tools/WebViewerFiles.h"

#include <QStringList>

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

namespace {

// The mark of a page that cannot be drawn completely, as the page painter draws it on the viewer's
// sheets: crossed out in red from corner to corner, the reason in a white box across the middle.
std::string PageMark(QSizeF sheet, const QString& text) {
    const double w = sheet.width(), h = sheet.height();
    if (w < 1 || h < 1) return {};
    const double inset = std::min(7.0, std::min(w, h) / 10), size = std::clamp(w / 36, 9.0, 18.0);
    std::string s = "<g class=\"mark\" role=\"img\" aria-label=\"" + gdi::XmlEscaped(text.toStdString()) +
                    "\"><path d=\"M";
    auto number = [&](double v) { gdi::AppendSvgNumber(s, v); };
    auto point = [&](double x, double y) {
        number(x);
        s += ' ';
        number(y);
    };
    point(inset, inset);
    s += 'L';
    point(w - inset, h - inset);
    s += 'M';
    point(w - inset, inset);
    s += 'L';
    point(inset, h - inset);
    s += "\" stroke=\"#c83c3c\" stroke-width=\"2\" fill=\"none\"/><rect x=\"";
    number(w / 10);
    s += "\" y=\"";
    number(h / 3);
    s += "\" width=\"";
    number(w * 0.8);
    s += "\" height=\"";
    number(h / 3);
    s += "\" fill=\"#fff\"/><text text-anchor=\"middle\" font-family=\"sans-serif\" font-size=\"";
    number(size);
    s += "\" fill=\"#000\" aria-hidden=\"true\">";
    // Word-wrapped to the box by an average character width.
    const auto perLine = static_cast<qsizetype>(std::max(8.0, w * 0.8 / (size * 0.55)));
    QStringList lines;
    for (const QString& paragraph : text.split(u'\n')) {
        QString line;
        for (const QString& word : paragraph.split(u' ')) {
            if (!line.isEmpty() && line.size() + word.size() + 1 > perLine) {
                lines << line;
                line.clear();
            }
            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
        }
        lines << line;
    }
    const double top = h / 2 - (lines.size() - 1) * size * 1.3 / 2 + size / 3;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        s += "<tspan x=\"";
        number(w / 2);
        s += "\" y=\"";
        number(top + static_cast<double>(i) * size * 1.3);
        s += "\">" + gdi::XmlEscaped(lines[i].toStdString()) + "</tspan>";
    }
    return s + "</text></g>";
}

} // namespace

TSvgPage DrawSvgPage(gdi::TSvgDocument& document, pagestore::TPageDocument& source, int n, const std::string& idPrefix,
                     TDamagePolicy& damage, TMissingFontNotice& fonts, double blankWidthMM, double blankHeightMM,
                     bool standAlone) {
    TSvgPage page;
    const pagestore::TDocumentPage content = damage.Take(source, n);
    // Each page on its own sheet, in pixels as qrptool render draws it at 96 dpi.
    const auto sheet = content.Picture ? pagestore::SheetOf(content.Picture->Header()) : source.Sheet(n);
    page.WidthMM = sheet ? sheet->WidthTenths / 10.0 : blankWidthMM;
    page.HeightMM = sheet ? sheet->HeightTenths / 10.0 : blankHeightMM;
    const QSize pixels = sheet ? QSize(sheet->WidthPixels, sheet->HeightPixels)
                               : QSize(static_cast<int>(std::lround(page.WidthMM / 25.4 * 96)),
                                       static_cast<int>(std::lround(page.HeightMM / 25.4 * 96)));
    gdi::TSvgDevice device(document, QSizeF(page.WidthMM, page.HeightMM), pixels, idPrefix);
    printer::TPaintResult result;
    if (content.Picture) {
        result = printer::PlayPage(*content.Picture, device, device.Target());
        if (result.Play.Damaged)
            std::fprintf(stderr, "qrptool convert: page %d: %u damaged records skipped\n", n, result.Play.Damaged);
        fonts.Note(n, result.Play.DroppedGlyphFace, result.Play.DroppedGlyphs);
        page.Partial = content.Partial;
        if (result.Outcome == printer::pgIncomplete) page.Problem = result.Reason;
    } else {
        result.Outcome = printer::pgDamaged;
        result.Reason = content.Problem;
    }
    std::string defs;
    if (standAlone)
        defs = "<style>" + std::string(gdi::SvgPageStyle) + document.StyleSheet() + "</style>" + document.ImageDefs();
    const std::string mark = result.Marked() ? PageMark(device.Target().size(), printer::PageMarkText(n, result)) : "";
    page.Svg = device.Finish(defs, mark);
    page.Text = device.Text();
    return page;
}

void ReportOutcome(const TSvgPage& page, int n, TDamagePolicy& damage) {
    if (!page.Partial.empty()) damage.Partial(n, page.Partial);
    if (!page.Problem.empty()) damage.Incomplete(n, page.Problem);
}

TSvgPage StandAloneSvgPage(pagestore::TPageDocument& source, int n, TDamagePolicy& damage, TMissingFontNotice& fonts,
                           double blankWidthMM, double blankHeightMM) {
    gdi::TSvgDocument document;
    TSvgPage page = DrawSvgPage(document, source, n, {}, damage, fonts, blankWidthMM, blankHeightMM, true);
    page.Svg.insert(0, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
    page.Svg += '\n';
    return page;
}

void WriteSvgPages(pagestore::TPageDocument& source, const std::function<std::string(int)>& path, int first, int last,
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

void WriteHtml(pagestore::TPageDocument& source, const std::string& path, const TWebOptions& options, int first, int last,
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
        std::string prefix = "p"; // ids of each page's own elements, unique in the document
        prefix += std::to_string(n - first + 1);
        prefix += '-';
        const TSvgPage page = DrawSvgPage(document, source, n, prefix, damage, fonts, width, height);
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
