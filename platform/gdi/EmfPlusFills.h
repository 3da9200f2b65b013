#pragma once
// EMF+ brushes as the devices draw them: solid colours and hatches as GDI brushes, linear and path
// gradients and textures as TBrushFill (a linear gradient, a mesh of colour triangles, a tiled or
// clamped image), device-neutral, in the brush's world units.

#include "platform/emf/EmfPlusLayouts.h"
#include "platform/gdi/Gdi.h"

#include <QImage>
#include <QPainterPath>
#include <QTransform>

#include <memory>

namespace pagimo::gdi {

// A brush object as the player keeps it: the record's brush and what is made from it once.
struct TPlusBrushObject {
    emf::TPlusBrush Brush;
    std::shared_ptr<const QImage> Texture;  // textures: the tile (mirrored copies built in for flips)
    std::shared_ptr<const TBrushFill> Fill; // gradients and textures, in world units
    uint32_t Mean = 0xFF000000;             // ARGB, for text and for what cannot draw Fill
    // A texture whose image is not drawn here (a metafile, an unknown pixel format): its mean colour
    // stands in for it.
    bool Approximate = false;
};

// Builds the fill of brush (its gradient stops, mesh or tile). texture: the brush's image decoded
// (textures only; none makes the brush Approximate).
TPlusBrushObject MakeBrushObject(const emf::TPlusBrush& brush, std::shared_ptr<const QImage> texture);

// A solid ARGB colour as a brush object.
TPlusBrushObject SolidBrushObject(uint32_t argb);

// The brush's fill with world units scaled by k (the player draws in units of 1/k world units).
std::shared_ptr<const TBrushFill> ScaledFill(const TPlusBrushObject& brush, double k);

// An EMF+ path as a QPainterPath (figures, lines, Bézier runs, closed figures).
QPainterPath PlusPathToQt(const emf::TPlusPath& path);

// ARGB channels mixed: a + (b - a) * t, per channel.
uint32_t MixArgb(uint32_t a, uint32_t b, double t);

} // namespace pagimo::gdi
