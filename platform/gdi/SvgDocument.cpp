#include "platform/gdi/SvgDocument.h"

#include "platform/gdi/FontSubset.h"
#include "platform/gdi/PdfDocument.h"
#include "platform/graphics/Png.h"

#include <QByteArray>
#include <QFont>

#include <algorithm>
#include <cmath>
#include <functional>

namespace pagimo::gdi {

struct TSvgDocument::TFace {
    QRawFont Raw;
    std::vector<size_t> Fonts; // its web fonts, the first one tried first
};

namespace {

std::string CssString(const QString& s) {
    std::string out = "\"";
    for (char32_t c : s.toUcs4()) {
        if (c == u'"' || c == u'\\' || c == u'<' || c == u'>' || c < 0x20) {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "\\%x ", static_cast<unsigned>(c));
            out += buffer;
        } else {
            out += QString::fromUcs4(&c, 1).toStdString();
        }
    }
    return out + "\"";
}

} // namespace

bool IsXmlChar(char32_t c) {
    if (c < 0x20) return c == 0x09;
    if (c >= 0xD800 && c <= 0xDFFF) return false;
    return c != 0xFFFE && c != 0xFFFF && c <= 0x10FFFF;
}

void AppendSvgNumber(std::string& out, double value, int decimals) {
    // SVG numbers are written as PDF numbers are: fixed decimals, trailing zeros dropped, no "-0".
    AppendNumber(out, value, decimals);
}

std::string SvgColor(TColorRef c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", RedOf(c), GreenOf(c), BlueOf(c));
    return buffer;
}

void AppendXmlEscaped(std::string& out, std::u32string_view text) {
    for (char32_t c : text) {
        switch (c) {
        case U'&':
            out += "&amp;";
            break;
        case U'<':
            out += "&lt;";
            break;
        case U'>':
            out += "&gt;";
            break;
        case U'"':
            out += "&quot;";
            break;
        default:
            if (c < 0x80) {
                out.push_back(static_cast<char>(c));
            } else if (c < 0x800) {
                out.push_back(static_cast<char>(0xC0 | c >> 6));
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else if (c < 0x10000) {
                out.push_back(static_cast<char>(0xE0 | c >> 12));
                out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            } else {
                out.push_back(static_cast<char>(0xF0 | c >> 18));
                out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
                out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
    }
}

std::string XmlEscaped(std::string_view utf8) {
    std::string out;
    const std::u32string text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU32String();
    std::u32string clean;
    for (char32_t c : text)
        if (IsXmlChar(c) || c == U'\n') clean.push_back(c);
    AppendXmlEscaped(out, clean);
    return out;
}

std::string Base64(std::string_view bytes) {
    return QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

TSvgDocument::TSvgDocument() = default;
TSvgDocument::~TSvgDocument() = default;

int TSvgDocument::FontFor(const QRawFont& raw, quint32 glyph, char32_t shows) {
    if (!IsXmlChar(shows) || glyph == 0 || glyph > 0xFFFF) return -1;
    // The face of a raw font: looked up by its tables once per raw font (a size of a face), then by
    // the raw font itself, which compares cheaply.
    int faceIndex = -1;
    auto recent = std::find_if(FRecentFaces.begin(), FRecentFaces.end(), [&](const auto& r) { return r.first == raw; });
    if (recent != FRecentFaces.end()) {
        faceIndex = recent->second;
    } else {
        const QByteArray head = raw.fontTable("head");
        const std::string key = (raw.familyName() + u'|' + raw.styleName()).toStdString() + '|' + head.toStdString();
        auto faceIt = FFaceIndex.find(key);
        if (faceIt == FFaceIndex.end()) {
            int index = -1;
            if (head.size() >= 54 && !raw.fontTable("glyf").isEmpty() && !raw.fontTable("loca").isEmpty()) {
                auto face = std::make_unique<TFace>();
                face->Raw = raw;
                index = static_cast<int>(FFaces.size());
                FFaces.push_back(std::move(face));
            }
            faceIt = FFaceIndex.emplace(key, index).first;
        }
        faceIndex = faceIt->second;
        if (FRecentFaces.size() >= 64) FRecentFaces.erase(FRecentFaces.begin());
        FRecentFaces.emplace_back(raw, faceIndex);
    }
    if (faceIndex < 0) return -1;
    TFace& face = *FFaces[static_cast<size_t>(faceIndex)];
    for (size_t index : face.Fonts) {
        TWebFont& font = FFonts[index];
        if (auto it = font.ByChar.find(shows); it != font.ByChar.end()) {
            if (font.Glyphs[it->second] == glyph) return static_cast<int>(index);
            continue; // the character stands for another glyph here: try the next subset
        }
        if (font.Glyphs.size() >= 0xFFF0) continue;
        auto [g, added] = font.ByGlyph.emplace(glyph, static_cast<uint16_t>(font.Glyphs.size()));
        if (added) font.Glyphs.push_back(static_cast<uint16_t>(glyph));
        font.ByChar.emplace(shows, g->second);
        font.Map.emplace_back(shows, g->second);
        return static_cast<int>(index);
    }
    TWebFont font;
    font.Face = static_cast<size_t>(faceIndex);
    font.Family = std::string("w") + std::to_string(FFonts.size() + 1);
    font.Glyphs.push_back(static_cast<uint16_t>(glyph));
    font.ByGlyph.emplace(glyph, 1);
    font.ByChar.emplace(shows, 1);
    font.Map.emplace_back(shows, 1);
    face.Fonts.push_back(FFonts.size());
    FFonts.push_back(std::move(font));
    return static_cast<int>(FFonts.size() - 1);
}

std::string TSvgDocument::TextClass(int font, double size, const QString& named, const QRawFont& plain) {
    const QRawFont& raw = font >= 0 ? FFaces[FFonts[static_cast<size_t>(font)].Face]->Raw : plain;
    std::string key = std::to_string(font) + '|';
    AppendSvgNumber(key, size, 2);
    key += '|' + named.toStdString();
    if (font < 0)
        key += '|' + raw.familyName().toStdString() + '|' + std::to_string(raw.weight()) + '|' +
               std::to_string(raw.style());
    auto it = FClassIndex.find(key);
    if (it != FClassIndex.end()) return it->second;
    const std::string name = std::string("f") + std::to_string(FClassRules.size() + 1);
    // The web font's own weight and slant, declared alike in its @font-face rule, so that browsers
    // neither embolden nor slant it again; a fallback face gets the same weight and slant.
    std::string rule = "." + name + "{font:";
    if (raw.style() != QFont::StyleNormal) rule += "italic ";
    rule += std::to_string(static_cast<int>(raw.weight())) + ' ';
    AppendSvgNumber(rule, size, 2);
    rule += "px ";
    if (font >= 0) rule += FFonts[static_cast<size_t>(font)].Family + ",";
    if (!named.isEmpty() && named != raw.familyName()) rule += CssString(named) + ",";
    rule += CssString(raw.familyName()) + "}";
    FClassRules.push_back(std::move(rule));
    FClassIndex.emplace(key, name);
    return name;
}

std::string TSvgDocument::ImageId(const std::string& bytes, const char* mime, int width, int height) {
    const size_t hash = std::hash<std::string_view>()(bytes);
    std::string data = Base64(bytes);
    auto& bucket = FImageIndex[hash];
    for (size_t i : bucket)
        if (FImages[i].Data == data && FImages[i].Mime == mime) return FImages[i].Id;
    bucket.push_back(FImages.size());
    FImages.push_back({std::string("i") + std::to_string(FImages.size() + 1), mime, std::move(data), width, height});
    return FImages.back().Id;
}

std::string TSvgDocument::ImageId(const QImage& image) {
    // Pictures repeated on every page (a letterhead's logo) are encoded once.
    const std::string key =
        std::to_string(image.width()) + "x" + std::to_string(image.height()) + "|" + std::to_string(image.format()) +
        "|" +
        std::to_string(std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(image.constBits()),
                                                                      static_cast<size_t>(image.sizeInBytes()))));
    if (auto it = FPixelIndex.find(key); it != FPixelIndex.end()) return it->second;
    graphics::TPngSettings settings;
    settings.Level = 6;
    settings.Filters = 0xF8; // every row filter: pictures are photographs and drawings, not white pages
    const std::vector<uint8_t> png = graphics::EncodePng(image, settings);
    std::string id = ImageId(std::string(png.begin(), png.end()), "image/png", image.width(), image.height());
    FPixelIndex.emplace(key, id);
    return id;
}

std::string TSvgDocument::StyleSheet() const {
    std::string css;
    for (const TWebFont& font : FFonts) {
        const QRawFont& raw = FFaces[font.Face]->Raw;
        std::vector<uint16_t> glyphs = font.Glyphs;
        TWebFontInfo info{font.Map, font.Family};
        const TFontSubset subset =
            SubsetTrueType([&raw](const char* tag) { return raw.fontTable(tag).toStdString(); }, glyphs, &info);
        if (subset.File.empty()) continue; // outlines unusable: the text falls back to the named faces
        css += "@font-face{font-family:" + font.Family + ";src:url(data:font/ttf;base64," + Base64(subset.File) +
               ");font-weight:" + std::to_string(static_cast<int>(raw.weight())) +
               (raw.style() != QFont::StyleNormal ? ";font-style:italic" : "") + "}\n";
    }
    for (const std::string& rule : FClassRules)
        css += rule + '\n';
    return css;
}

std::string TSvgDocument::ImageDefs() const {
    std::string defs;
    for (const TImage& image : FImages)
        defs += "<image id=\"" + image.Id + "\" width=\"" + std::to_string(image.Width) + "\" height=\"" +
                std::to_string(image.Height) + "\" preserveAspectRatio=\"none\" xlink:href=\"data:" + image.Mime +
                ";base64," + image.Data + "\"/>\n";
    return defs;
}

} // namespace pagimo::gdi
