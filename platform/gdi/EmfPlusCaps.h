#pragma once
// Line caps of EMF+ pens that a device pen cannot draw: anchors, triangles, arrows, custom path caps,
// and square or round caps at one end only. The player draws them as shapes of their own at the open
// ends of each figure, in world units, and pulls the line back under caps that cover its end.

#include "platform/emf/EmfPlusLayouts.h"

#include <QPainterPath>

namespace pagimo::gdi {

struct TCapShapes {
    QPainterPath Fill; // filled with the pen's brush (winding)
    QPainterPath Line; // stroked with the pen
};

// The caps of pen for every open figure of path (width: the pen's width in world units, at least what
// shows); figure ends under arrows and custom caps are pulled back by the caps' insets. Returns the cap
// the device pen draws at both ends itself: 0 flat, 1 square, 2 round.
int ApplyCaps(QPainterPath& path, const emf::TPlusPen& pen, double width, TCapShapes& shapes);

// GDI+'s dash pattern of a pen, in pen widths; empty for a solid line. A custom dash array counts
// whatever the line style says.
std::vector<double> PlusDashes(const emf::TPlusPen& pen);

} // namespace pagimo::gdi
