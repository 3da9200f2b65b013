// The SVG device: what each kind of drawing becomes in the markup, text in reading order with its
// separators, text that later drawing covers kept in its place, and the same pages giving the same bytes.
// How the pages look and read in a real browser is tests/browser's part.

#include "platform/gdi/SvgDevice.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/MetafileCanvas.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

using namespace pagimo;

namespace {

std::string Svg(const emf::TEmfPicture& picture) {
    gdi::TSvgDocument document;
    gdi::TSvgDevice device(document, QSizeF(picture.WidthMM(), picture.HeightMM()),
                           QSize(picture.Width(), picture.Height()), "p-");
    gdi::TEmfPlayer::Play(picture, device, device.Target());
    return device.Finish(document.StyleSheet() + document.ImageDefs());
}

std::string Drawn(const std::function<void(gdi::TMetafileCanvas&)>& draw) {
    gdi::TMetafileCanvas c(200, 100);
    c.SetBkMode(gdi::TRANSPARENT);
    draw(c);
    return Svg(c.Finish());
}

} // namespace

TEST(SvgDevice, EachKindOfDrawingBecomesItsElement) {
    struct TCase {
        const char* Reason;
        std::function<void(gdi::TMetafileCanvas&)> Draw;
        std::vector<std::string> Expected; // regular expressions the markup must match
    };
    const TCase cases[] = {
        {"a filled box is a rectangle on whole pixels",
         [](auto& c) {
             c.Brush.Color = gdi::Rgb(255, 0, 0);
             c.FillRect(10, 20, 50, 40);
         },
         {R"re(<rect x="10" y="20" width="40" height="20" fill="#ff0000" class="c"/>)re"}},
        {"a thin dashed pen keeps GDI's dashes in pixels, its gaps opaque",
         [](auto& c) {
             c.SetBkMode(gdi::OPAQUE);
             c.Pen.Style = gdi::PS_DASH;
             c.MoveTo(0, 50);
             c.LineTo(200, 50);
         },
         {R"re(stroke="#ffffff" fill="none" stroke-width="1")re", R"re(stroke="#000000".*stroke-dasharray="18 6")re"}},
        {"a wide pen with flat ends and mitred joins",
         [](auto& c) {
             c.Pen.Width = 6;
             c.Pen.Style = gdi::PS_GEOMETRIC | gdi::PS_ENDCAP_FLAT | gdi::PS_JOIN_MITER;
             const QPoint points[] = {{10, 10}, {100, 90}, {190, 10}};
             c.Polyline(points);
         },
         {R"re(<path d="M1[01].*L.*" stroke="#000000" fill="none" stroke-width="6" stroke-linecap="butt" stroke-linejoin="miter" stroke-miterlimit="10"/>)re"}},
        {"an ellipse is a path of curves filled by its brush",
         [](auto& c) {
             c.Brush.Color = gdi::Rgb(0, 0, 255);
             c.Ellipse(10, 10, 90, 60);
         },
         {R"re(<path d="M[^"]*C[^"]*" fill="#0000ff"/>)re"}},
        {"a clip is a clip path the drawing refers to",
         [](auto& c) {
             c.IntersectClipRect(0, 0, 100, 50);
             c.Brush.Color = gdi::clBlack;
             c.FillRect(0, 0, 200, 100);
         },
         {R"re(<clipPath id="p-c1"><rect x="0" y="0" width="100" height="50" clip-rule="nonzero"/></clipPath>)re",
          R"re(<g clip-path="url\(#p-c1\)"><rect)re"}},
        {"a hatched brush is a pattern of lines over the background",
         [](auto& c) {
             c.SetBkMode(gdi::OPAQUE);
             c.Brush.Style = gdi::BS_HATCHED;
             c.Brush.Hatch = gdi::HS_CROSS;
             c.Brush.Color = gdi::Rgb(0, 128, 0);
             c.FillRect(0, 0, 80, 80);
         },
         {R"re(<pattern id="p-p1" patternUnits="userSpaceOnUse" width="8" height="8"><path d="M-1 4L9 4M4 -1L4 9" fill="none" stroke="#008000")re",
          R"re(fill="#ffffff")re", R"re(fill="url\(#p-p1\)")re"}},
        {"a bitmap is a picture of the document placed with its own transform, twice drawn once stored",
         [](auto& c) {
             QImage image(4, 2, QImage::Format_RGB32);
             image.fill(Qt::red);
             c.StretchDraw(QRect(10, 10, 40, 20), image);
             c.StretchDraw(QRect(100, 10, 40, 20), image);
         },
         {R"re(<use xlink:href="#i1" transform="matrix\(10 0 0 10 10 10\)" style="image-rendering:pixelated" role="img" aria-label="Picture"/>)re",
          R"re(<use xlink:href="#i1" transform="matrix\(10 0 0 10 100 10\))re",
          R"re(<image id="i1" width="4" height="2" preserveAspectRatio="none" xlink:href="data:image/png;base64,)re"}},
        {"text is text in a web font, glyph by glyph, escaped",
         [](auto& c) {
             c.Font.Height = -20;
             c.TextOut(10, 10, "Dvořák & Novák");
         },
         {R"re(<text class="f1" x="10 [\d. ]+" y="[\d.]+">Dvořák &amp; Novák</text>)re",
          // The font's data is matched by its start: the library's regex recurses per character.
          R"re(@font-face\{font-family:w1;src:url\(data:font/ttf;base64,[A-Za-z0-9+/]{64})re",
          R"re([A-Za-z0-9+/=]\);font-weight:400\})re",
          R"re(\.f1\{font:400 20px w1,"Arial","Liberation Sans"\})re"}},
    };
    for (const TCase& c : cases) {
        const std::string svg = Drawn(c.Draw);
        for (const std::string& expected : c.Expected)
            EXPECT_TRUE(std::regex_search(svg, std::regex(expected))) << c.Reason << ": " << expected << "\n"
                                                                      << svg.substr(0, 3000);
    }
}

TEST(SvgDevice, TextComesLastInReadingOrderUnlessLaterDrawingCoversIt) {
    const std::string svg = Drawn([](auto& c) {
        c.TextOut(110, 50, "vpravo");
        c.TextOut(10, 50, "Druhý");
        c.TextOut(10, 10, "Nahoře");
        c.TextOut(10, 80, "Zakryto");
        c.Brush.Color = gdi::Rgb(200, 200, 200);
        c.FillRect(5, 78, 60, 95); // drawn over the last text
    });
    // In the text layer: the lines top to bottom, a space between the runs of a line, a line feed
    // between lines; the covered run as a transparent twin there and drawn under the box in place.
    EXPECT_TRUE(std::regex_search(
        svg,
        std::regex(
            R"re(<g class="t"><text[^>]*>Nahoře</text>\n<text[^>]*>Druhý</text> <text[^>]*>vpravo</text>\n<g class="h"><text[^>]*>Zakryto</text></g></g></svg>$)re")))
        << svg;
    EXPECT_TRUE(
        std::regex_search(svg, std::regex(R"re(<g class="v" aria-hidden="true"><text[^>]*>Zakryto</text></g><rect)re")))
        << svg;
}

TEST(SvgDevice, TheSamePagesGiveTheSameBytes) {
    auto page = [] {
        return Drawn([](auto& c) {
            c.IntersectClipRect(0, 0, 150, 90);
            c.Font.Name = "Times New Roman";
            c.TextOut(10, 10, "Žluťoučký kůň");
            c.Font.Name = "Courier New";
            c.Font.Italic = true;
            c.TextOut(10, 40, "úpěl ďábelské ódy");
            c.Ellipse(50, 50, 150, 100);
        });
    };
    EXPECT_EQ(page(), page());
}
