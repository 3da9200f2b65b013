#pragma once
// The standard Macintosh glyph order: the 258 glyphs that the TrueType 'post' table names without
// storing the names, and that the faces of Windows documents keep as their first glyphs. Text stored
// as glyph indices of such a face can so be turned back into characters.

#include <cstdint>

namespace pagimo::graphics {

constexpr uint16_t StandardGlyphCount = 258;

// The character of glyph glyphIndex in the standard order. 0 for the glyphs that draw nothing
// (.notdef, .null, nonmarkingreturn) and for indices from 258 on. Glyphs without a Unicode character
// of their own (the Apple logo) map into the private area.
char32_t StandardOrderGlyphToChar(uint16_t glyphIndex);

// The glyph's standard name ("A", "eacute", "dcroat"); nullptr from 258 on.
const char* StandardGlyphName(uint16_t glyphIndex);

} // namespace pagimo::graphics
