#pragma once
// TrueType subsetting for embedding: a font file holding only the glyphs a document uses, renumbered
// in the order of first use, with their metrics and the hinting programs of the face.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pagimo::gdi {

// The face's sfnt tables by tag ("glyf", "head" ...); an empty string when the face has none.
using TFontTables = std::function<std::string(const char* tag)>;

struct TFontSubset {
    std::string File;                // the subset font file; empty when the face has no TrueType outlines
    std::vector<uint16_t> Advances;  // advance width of each new glyph, in font units
    uint16_t UnitsPerEm = 1000;
    int16_t XMin = 0, YMin = 0, XMax = 0, YMax = 0; // font bounding box, font units
    int16_t Ascender = 0, Descender = 0;
};

// What a subset needs to be loaded by browsers as a web font besides its outlines: the characters and
// the new glyph ids they show (its cmap; several characters may share a glyph) and the family name for
// its name table. The face's OS/2 table is kept and a short post table added, as font sanitisers
// require them.
struct TWebFontInfo {
    std::vector<std::pair<char32_t, uint16_t>> Map;
    std::string Family;
};

// Subsets the face to glyphs, the old glyph ids in the order of the new ones (glyphs[0] should be 0,
// the missing-glyph shape). Glyphs that composite glyphs are built from are appended to glyphs, so they
// get new ids too. Glyph ids beyond the face's glyphs become empty glyphs. Never throws for damaged
// tables: what cannot be read is left out (an empty File when the outlines themselves are unusable).
// With web, the subset is a complete font for browsers (see TWebFontInfo).
TFontSubset SubsetTrueType(const TFontTables& tables, std::vector<uint16_t>& glyphs, const TWebFontInfo* web = nullptr);

} // namespace pagimo::gdi
