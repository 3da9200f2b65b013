#pragma once
// Pages for the web: each page as a stand-alone SVG file, or the whole document as one self-contained
// HTML file that shows it as a viewer. qrptool convert's work for OUT.svg and OUT.html, kept apart so
// that the benchmarks and tests run the very same conversion. Both draw through the SVG device and share
// the damaged-page rule and the work budget of qrptool render.

#include "tools/PageSource.h"

#include <QString>

#include <functional>
#include <string>

namespace pagimo::gdi {
class TSvgDocument;
}

namespace pagimo::tools {

struct TWebOptions {
    std::string Title;       // shown in the viewer's title and tool bar
    std::string Lang = "en"; // the language of the pages' text
};

// One page drawn by the SVG device: the <svg> element, its text in reading order, its size, and why it
// holds less than its file promised (Partial: the file was cut short; Problem: over its work budget).
struct TSvgPage {
    std::string Svg;
    QString Text;
    double WidthMM = 0, HeightMM = 0;
    std::string Partial, Problem;
};

// Draws page n of source (1-based) against document, through the page painter onto its own sheet; a
// damaged page is a sheet crossed out with the reason when the policy goes on past it (else it
// throws), of blankWidthMM x blankHeightMM when its sheet is unknown. idPrefix begins the ids of the
// page's own elements; standAlone puts the document's fonts and pictures into the page. A page over its
// work budget, or cut short in its file, is drawn as far as it goes, the former marked as the viewer
// marks it (see ReportOutcome). Needs the Qt application object.
TSvgPage DrawSvgPage(gdi::TSvgDocument& document, pagestore::TPageDocument& source, int n, const std::string& idPrefix,
                     TDamagePolicy& damage, TMissingFontNotice& fonts, double blankWidthMM = 210,
                     double blankHeightMM = 297, bool standAlone = false);
// Tells damage that page n was drawn only in part, as qrptool render does once the page is written.
void ReportOutcome(const TSvgPage& page, int n, TDamagePolicy& damage);

// Page n as a stand-alone SVG file (XML declaration, fonts and pictures inside).
TSvgPage StandAloneSvgPage(pagestore::TPageDocument& source, int n, TDamagePolicy& damage, TMissingFontNotice& fonts,
                           double blankWidthMM = 210, double blankHeightMM = 297);

// Writes pages first..last of source, page n to the file path(n). Without --keep-going every page is
// checked before the first file is written.
void WriteSvgPages(pagestore::TPageDocument& source, const std::function<std::string(int)>& path, int first, int last,
                   TDamagePolicy& damage, TMissingFontNotice& fonts);

// Writes pages first..last of source as one HTML viewer file at path ("-": standard output), under a
// temporary name put in place at the end.
void WriteHtml(pagestore::TPageDocument& source, const std::string& path, const TWebOptions& options, int first, int last,
               TDamagePolicy& damage, TMissingFontNotice& fonts);

} // namespace pagimo::tools
