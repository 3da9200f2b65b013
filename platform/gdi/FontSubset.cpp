#include "platform/gdi/FontSubset.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

namespace pagimo::gdi {

namespace {

// sfnt tables are big-endian.
uint16_t U16(const std::string& s, size_t at) {
    if (at + 2 > s.size()) return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) << 8 | static_cast<uint8_t>(s[at + 1]));
}
uint32_t U32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(U16(s, at)) << 16 | U16(s, at + 2);
}
void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v >> 8);
    s[at + 1] = static_cast<char>(v);
}
void Append16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v));
}
void Append32(std::string& s, uint32_t v) {
    Append16(s, static_cast<uint16_t>(v >> 16));
    Append16(s, static_cast<uint16_t>(v));
}

uint32_t Checksum(const std::string& table) {
    uint32_t sum = 0;
    for (size_t i = 0; i < table.size(); i += 4) {
        uint32_t word = 0;
        for (size_t k = 0; k < 4; ++k)
            word = word << 8 | (i + k < table.size() ? static_cast<uint8_t>(table[i + k]) : 0);
        sum += word;
    }
    return sum;
}

// Composite glyph flags.
constexpr uint16_t ArgsAreWords = 0x0001, HaveScale = 0x0008, MoreComponents = 0x0020, HaveXYScale = 0x0040,
                   HaveTwoByTwo = 0x0080;

// A cmap of one subtable: format 4 (Windows Unicode BMP) when every character lies in the BMP and
// the segments fit, else format 12 (Windows Unicode full repertoire).
std::string CharacterMap(std::vector<std::pair<char32_t, uint16_t>> pairs) {
    std::erase_if(pairs, [](const auto& p) { return p.first == 0 || p.first > 0x10FFFF || p.first == 0xFFFF; });
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end(), [](auto& a, auto& b) { return a.first == b.first; }),
                pairs.end());
    // Runs of consecutive characters on consecutive glyphs share a segment (group).
    struct TRun {
        char32_t First, Last;
        uint16_t Glyph;
    };
    std::vector<TRun> runs;
    for (const auto& [c, g] : pairs) {
        if (!runs.empty() && runs.back().Last + 1 == c && runs.back().Glyph + (c - runs.back().First) == g)
            runs.back().Last = c;
        else
            runs.push_back({c, c, g});
    }
    const bool bmp = pairs.empty() || pairs.back().first < 0xFFFF;
    std::string cmap;
    Append16(cmap, 0);
    Append16(cmap, 1);
    Append16(cmap, 3);
    if (bmp && runs.size() < 8000) {
        Append16(cmap, 1);
        Append32(cmap, 12);
        const auto segments = static_cast<uint16_t>(runs.size() + 1);
        uint16_t range = 1, selector = 0;
        while (range * 2 <= segments) {
            range *= 2;
            ++selector;
        }
        Append16(cmap, 4);
        Append16(cmap, static_cast<uint16_t>(16 + 8 * segments));
        Append16(cmap, 0);
        Append16(cmap, static_cast<uint16_t>(segments * 2));
        Append16(cmap, static_cast<uint16_t>(range * 2));
        Append16(cmap, selector);
        Append16(cmap, static_cast<uint16_t>(segments * 2 - range * 2));
        for (const TRun& r : runs)
            Append16(cmap, static_cast<uint16_t>(r.Last));
        Append16(cmap, 0xFFFF);
        Append16(cmap, 0); // reserved pad
        for (const TRun& r : runs)
            Append16(cmap, static_cast<uint16_t>(r.First));
        Append16(cmap, 0xFFFF);
        for (const TRun& r : runs)
            Append16(cmap, static_cast<uint16_t>(r.Glyph - r.First));
        Append16(cmap, 1);
        for (size_t i = 0; i < segments; ++i)
            Append16(cmap, 0); // idRangeOffset: glyphs by delta only
        return cmap;
    }
    Append16(cmap, 10);
    Append32(cmap, 12);
    Append16(cmap, 12);
    Append16(cmap, 0);
    Append32(cmap, static_cast<uint32_t>(16 + 12 * runs.size()));
    Append32(cmap, 0);
    Append32(cmap, static_cast<uint32_t>(runs.size()));
    for (const TRun& r : runs) {
        Append32(cmap, r.First);
        Append32(cmap, r.Last);
        Append32(cmap, r.Glyph);
    }
    return cmap;
}

// A name table (format 0, Windows Unicode English) giving the family, style, full and PostScript names.
std::string NameTable(const std::string& family) {
    std::u16string name;
    for (char c : family)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')
            name.push_back(static_cast<char16_t>(c));
    if (name.empty()) name = u"Font";
    const std::u16string style = u"Regular";
    const std::pair<uint16_t, const std::u16string*> records[] = {{1, &name}, {2, &style}, {4, &name}, {6, &name}};
    std::string table, strings;
    Append16(table, 0);
    Append16(table, 4);
    Append16(table, static_cast<uint16_t>(6 + 12 * 4));
    for (const auto& [id, text] : records) {
        Append16(table, 3);
        Append16(table, 1);
        Append16(table, 0x409);
        Append16(table, id);
        Append16(table, static_cast<uint16_t>(text->size() * 2));
        Append16(table, static_cast<uint16_t>(strings.size()));
        for (char16_t u : *text)
            Append16(strings, u);
    }
    return table + strings;
}

// The face's OS/2 table when it has a readable one, else a version 1 table of plain values.
std::string Os2Table(const std::string& face, int16_t ascender, int16_t descender) {
    static constexpr size_t Needs[] = {78, 86, 96, 96, 96, 100}; // bytes by version
    if (face.size() >= 78 && U16(face, 0) <= 5 && face.size() >= Needs[U16(face, 0)]) return face;
    std::string t(86, '\0');
    Put16(t, 0, 1);
    Put16(t, 2, 500); // average width
    Put16(t, 4, 400); // weight
    Put16(t, 6, 5);   // width class
    Put16(t, 68, static_cast<uint16_t>(ascender));
    Put16(t, 70, static_cast<uint16_t>(descender));
    Put16(t, 74, static_cast<uint16_t>(ascender));
    Put16(t, 76, static_cast<uint16_t>(-descender));
    return t;
}

} // namespace

TFontSubset SubsetTrueType(const TFontTables& tables, std::vector<uint16_t>& glyphs, const TWebFontInfo* web) {
    TFontSubset subset;
    const std::string head = tables("head"), hhea = tables("hhea"), maxp = tables("maxp"), hmtx = tables("hmtx"),
                      loca = tables("loca"), glyf = tables("glyf");
    if (head.size() < 54 || hhea.size() < 36 || maxp.size() < 6 || loca.empty() || glyf.empty()) return subset;
    subset.UnitsPerEm = std::max<uint16_t>(U16(head, 18), 16);
    subset.XMin = static_cast<int16_t>(U16(head, 36));
    subset.YMin = static_cast<int16_t>(U16(head, 38));
    subset.XMax = static_cast<int16_t>(U16(head, 40));
    subset.YMax = static_cast<int16_t>(U16(head, 42));
    subset.Ascender = static_cast<int16_t>(U16(hhea, 4));
    subset.Descender = static_cast<int16_t>(U16(hhea, 6));
    const bool longLoca = U16(head, 50) != 0;
    const unsigned numGlyphs = U16(maxp, 4);
    const unsigned numMetrics = std::min<unsigned>(U16(hhea, 34), numGlyphs);
    auto glyphData = [&](unsigned g) -> std::string {
        if (g >= numGlyphs) return {};
        const size_t a = longLoca ? U32(loca, 4 * g) : 2u * U16(loca, 2 * g);
        const size_t b = longLoca ? U32(loca, 4 * g + 4) : 2u * U16(loca, 2 * g + 2);
        if ((longLoca ? 4 * g + 8 : 2 * g + 4) > loca.size() || b < a || b > glyf.size()) return {};
        return glyf.substr(a, b - a);
    };
    auto advance = [&](unsigned g) -> uint16_t {
        if (numMetrics == 0) return 0;
        return U16(hmtx, 4 * std::min(g, numMetrics - 1));
    };
    auto leftBearing = [&](unsigned g) -> uint16_t {
        if (g < numMetrics) return U16(hmtx, 4 * g + 2);
        return U16(hmtx, 4 * numMetrics + 2 * (g - numMetrics));
    };

    // New ids of the old ones; composites append their components as they are met.
    std::unordered_map<uint16_t, uint16_t> newId;
    for (size_t i = 0; i < glyphs.size(); ++i)
        newId.emplace(glyphs[i], static_cast<uint16_t>(i));
    std::string outGlyf;
    std::vector<uint32_t> offsets;
    for (size_t i = 0; i < glyphs.size() && glyphs.size() < 0xFFFF; ++i) {
        std::string data = glyphData(glyphs[i]);
        if (data.size() >= 10 && static_cast<int16_t>(U16(data, 0)) < 0) {
            size_t at = 10;
            for (int guard = 0; guard < 1000 && at + 4 <= data.size(); ++guard) {
                const uint16_t flags = U16(data, at);
                const uint16_t component = U16(data, at + 2);
                auto [it, added] = newId.emplace(component, static_cast<uint16_t>(glyphs.size()));
                if (added) glyphs.push_back(component);
                Put16(data, at + 2, it->second);
                at += 4 + ((flags & ArgsAreWords) ? 4 : 2);
                if (flags & HaveScale)
                    at += 2;
                else if (flags & HaveXYScale)
                    at += 4;
                else if (flags & HaveTwoByTwo)
                    at += 8;
                if (!(flags & MoreComponents)) break;
            }
        }
        offsets.push_back(static_cast<uint32_t>(outGlyf.size()));
        outGlyf += data;
        while (outGlyf.size() % 4)
            outGlyf.push_back('\0');
    }
    offsets.push_back(static_cast<uint32_t>(outGlyf.size()));
    if (outGlyf.empty())
        outGlyf.assign(4, '\0'); // glyphs without outlines only (spaces): font checkers refuse an empty table
    const auto count = static_cast<uint16_t>(glyphs.size());

    std::string outLoca, outHmtx;
    for (uint32_t o : offsets)
        Append32(outLoca, o);
    for (uint16_t g : glyphs) {
        const uint16_t a = g < numGlyphs ? advance(g) : 0;
        subset.Advances.push_back(a);
        Append16(outHmtx, a);
        Append16(outHmtx, g < numGlyphs ? leftBearing(g) : 0);
    }
    std::string outHead = head.substr(0, 54), outHhea = hhea.substr(0, 36), outMaxp = maxp;
    Put16(outHead, 8, 0); // checksum adjustment, filled in below
    Put16(outHead, 10, 0);
    Put16(outHead, 50, 1); // long offsets
    Put16(outHhea, 34, count);
    Put16(outMaxp, 4, count);

    std::map<std::string, std::string> out{{"head", outHead}, {"hhea", outHhea}, {"maxp", outMaxp},
                                           {"hmtx", outHmtx}, {"loca", outLoca}, {"glyf", outGlyf}};
    for (const char* tag : {"cvt ", "fpgm", "prep"}) {
        std::string t = tables(tag);
        if (!t.empty()) out.emplace(tag, std::move(t));
    }
    if (web) {
        out.emplace("cmap", CharacterMap(web->Map));
        out.emplace("name", NameTable(web->Family));
        out.emplace("OS/2", Os2Table(tables("OS/2"), subset.Ascender, subset.Descender));
        std::string post = tables("post");
        post = post.size() >= 32 ? post.substr(0, 32) : std::string(32, '\0');
        Put16(post, 0, 3); // version 3: no glyph names
        Put16(post, 2, 0);
        out.emplace("post", std::move(post));
    }

    // The table directory, tables sorted by tag (std::map order), each 4-byte aligned.
    const auto numTables = static_cast<uint16_t>(out.size());
    uint16_t power = 1, log2 = 0;
    while (power * 2 <= numTables) {
        power *= 2;
        ++log2;
    }
    std::string file;
    Append32(file, 0x00010000);
    Append16(file, numTables);
    Append16(file, static_cast<uint16_t>(power * 16));
    Append16(file, log2);
    Append16(file, static_cast<uint16_t>(numTables * 16 - power * 16));
    size_t offset = 12 + 16 * out.size();
    std::string body;
    size_t headOffset = 0;
    for (const auto& [tag, table] : out) {
        file += tag;
        Append32(file, Checksum(table));
        Append32(file, static_cast<uint32_t>(offset + body.size()));
        Append32(file, static_cast<uint32_t>(table.size()));
        if (tag == "head") headOffset = offset + body.size();
        body += table;
        while (body.size() % 4)
            body.push_back('\0');
    }
    file += body;
    const uint32_t adjustment = 0xB1B0AFBAu - Checksum(file);
    Put16(file, headOffset + 8, static_cast<uint16_t>(adjustment >> 16));
    Put16(file, headOffset + 10, static_cast<uint16_t>(adjustment));
    subset.File = std::move(file);
    return subset;
}

} // namespace pagimo::gdi
