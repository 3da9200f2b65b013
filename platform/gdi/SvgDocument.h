#pragma once
// What the pages of an SVG file or of an HTML document share: web fonts (TrueType subsets made, at the
// end, from every glyph the pages used, with a cmap from the characters those glyphs show, so that text
// stays text and looks the same everywhere), the CSS classes that set text in them, and pictures stored
// once however often they are drawn. TSvgDevice draws one page against a document; the document's
// style sheet and picture definitions go into the file once.
//
// Everything is numbered in order of first use, so the same pages give the same bytes.

#include "platform/gdi/Gdi.h"

#include <QImage>
#include <QRawFont>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagimo::gdi {

// Compact decimal numbers for SVG attributes: at most `decimals` places, no trailing zeros.
void AppendSvgNumber(std::string& out, double value, int decimals = 2);
// "#rrggbb".
std::string SvgColor(TColorRef c);
// Characters an XML document can hold as text (tabs, not other controls).
bool IsXmlChar(char32_t c);
// Text with &, <, > and " escaped for XML content and attribute values.
void AppendXmlEscaped(std::string& out, std::u32string_view text);
std::string XmlEscaped(std::string_view utf8);
// Base64 of bytes, as data URIs want it.
std::string Base64(std::string_view bytes);

class TSvgDocument {
public:
    TSvgDocument();
    ~TSvgDocument();
    TSvgDocument(const TSvgDocument&) = delete;
    TSvgDocument& operator=(const TSvgDocument&) = delete;

    // The web font that shows glyph of raw as the character shows: the face's subset, or a second subset
    // of it when the character already stands for another glyph. -1 when the glyph cannot be written as
    // text: the face has no TrueType outlines, or the glyph shows no character XML can hold.
    int FontFor(const QRawFont& raw, quint32 glyph, char32_t shows);
    // The CSS class (without the dot) that sets text in font at size device units, falling back to the
    // face the page names and the installed family where the web font is not loaded. Font -1: in those
    // faces alone, as raw is (for text kept unseen beside glyphs drawn as outlines).
    std::string TextClass(int font, double size, const QString& named, const QRawFont& raw = {});
    // The id of a picture, stored once: encoded bytes (PNG or JPEG, mime says which) of width x height
    // pixels, or an image encoded as PNG here.
    std::string ImageId(const std::string& bytes, const char* mime, int width, int height);
    std::string ImageId(const QImage& image);

    // The style sheet: @font-face rules with the subsets as data and the text classes. Made from the
    // glyphs used so far; call it after the last page.
    std::string StyleSheet() const;
    // The pictures as <image> elements with those ids, for a <defs> element.
    std::string ImageDefs() const;

private:
    struct TFace;
    struct TWebFont {
        size_t Face = 0;
        std::string Family;                             // w1, w2 ...
        std::vector<uint16_t> Glyphs{0};                // old glyph ids by new id
        std::vector<std::pair<char32_t, uint16_t>> Map; // character -> new id
        std::unordered_map<char32_t, uint16_t> ByChar;  // the same, to look up
        std::unordered_map<quint32, uint16_t> ByGlyph;  // old id -> new id
    };
    struct TImage {
        std::string Id, Mime, Data; // Data: base64
        int Width = 0, Height = 0;
    };

    std::vector<std::unique_ptr<TFace>> FFaces;
    std::map<std::string, int> FFaceIndex;              // -1: a face that cannot be embedded
    std::vector<std::pair<QRawFont, int>> FRecentFaces; // raw fonts met lately and their faces
    std::vector<TWebFont> FFonts;
    std::unordered_map<std::string, std::string> FClassIndex; // key -> class name
    std::vector<std::string> FClassRules;
    std::vector<TImage> FImages;
    std::unordered_map<size_t, std::vector<size_t>> FImageIndex; // hash of the data -> images
    std::unordered_map<std::string, std::string> FPixelIndex;    // decoded pixels -> id
};

} // namespace pagimo::gdi
