#pragma once
// The main window's pictures, drawn by code: a sheet of paper under a magnifying glass (the program's
// icon and the glyph of "Prohlížet") and a red square with a white power symbol ("Konec").

#include <QIcon>
#include <QPixmap>

namespace pagimo::shell {

// The motif at any square size; the background is transparent.
QPixmap PageMagnifierPicture(int size);
QPixmap PowerPicture(int size);

QIcon AppIcon();   // 32 x 32, with a 16 x 16 variant for small places
QIcon ViewGlyph(); // 16 x 16
QIcon ExitGlyph(); // 16 x 16

} // namespace pagimo::shell
