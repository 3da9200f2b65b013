#pragma once
// The preview window's tool bar pictures, 16 x 16, drawn by code in the order of the image list:
// 0 zoom to fit, 1 zoom 100 %, 2 zoom to width, 3 first page, 4 previous page, 5 next page,
// 6 last page, 7 printer setup, 8 print, 9 load, 10 save.

#include <QPixmap>

namespace pagimo::preview {

constexpr int ToolBarGlyphCount = 11;
constexpr int ToolBarGlyphSize = 16;

// One picture with a transparent background; an index outside 0..10 gives an empty (null) pixmap.
// scale draws the same picture larger (for high-density screens and for looking at it).
QPixmap ToolBarGlyph(int index, int scale = 1);

} // namespace pagimo::preview
