#pragma once
// The small drawing interface that the EMF player and TCanvas drive. Every call carries the complete
// state it needs (TDrawState), so a device keeps no GDI state of its own: the painter device paints,
// the EMF recorder writes records for what changed, the trace and bounds devices observe.
//
// Coordinates in TShape, TTextRun and TDibDraw are logical units; TDrawState::Transform maps them to the
// device's pixels. Integer boxes follow GDI's conventions (right and bottom edges excluded, see
// ShapeToPath), which each painting device applies the same way through the helpers below.

#include "platform/gdi/Gdi.h"

#include <QImage>
#include <QPainterPath>
#include <QPoint>
#include <QRect>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace pagimo::gdi {

// The device-context state a drawing call depends on.
struct TDrawState {
    QTransform Transform; // logical units -> device pixels
    TLogPen Pen;
    TLogBrush Brush;
    TLogFont Font;
    TColorRef TextColor = clBlack;
    TColorRef BkColor = clWhite;
    int BkMode = OPAQUE;
    uint32_t TextAlign = TA_LEFT | TA_TOP;
    int PolyFillMode = ALTERNATE;
    int ArcDirection = AD_COUNTERCLOCKWISE;
    int Rop2 = R2_COPYPEN;
    int StretchBltMode = BLACKONWHITE;
    float MiterLimit = 10.0f;
    // EMF+ drawing: antialiased even where rectilinear (its antialias mode), and the opacity of its ARGB
    // colours for shapes and text. GDI records leave both as they are.
    bool Smooth = false;
    uint8_t Opacity = 255;
    // The clip region in device pixels; none when unclipped. Shared and never modified once set, so
    // devices may compare pointers to notice a change.
    std::shared_ptr<const QPainterPath> Clip;
};

enum class TShapeKind {
    skRectangle, // Box; with PS_NULL pen or a fill-only call GDI fills Box exactly
    skRoundRect, // Box, Corner (ellipse width and height of the corners)
    skEllipse,   // Box
    skArc,       // Box, Start, End (radial points), ArcDirection of the state
    skChord,
    skPie,
    skPolyline,   // Points (one or more figures per Counts)
    skPolygon,    // Points, Counts (poly-polygon when Counts has several entries)
    skPolyBezier, // Points: start point then triples
    skPath,       // Path: a complete path (closed figures filled, all stroked)
};

struct TShape {
    TShapeKind Kind = TShapeKind::skRectangle;
    QRect Box; // from left/top to right/bottom as GDI gives them (QRect(QPoint(l, t), QPoint(r, b)))
    QSize Corner;
    QPoint Start, End;
    std::vector<QPointF> Points;
    std::vector<uint32_t> Counts; // points per figure; empty means one figure of all Points
    QPainterPath Path;
    bool Stroke = true; // false: fill only (FillRect, FILLPATH)
    bool Fill = true;   // false: outline only (Polyline, Arc, STROKEPATH)
};

// One ExtTextOut call. Text holds UTF-16 units, or glyph indices of the font's original face when
// Options has ETO_GLYPH_INDEX. Dx holds one advance per unit (two per unit with ETO_PDY: x then y);
// empty means the device measures with the matched font.
struct TTextRun {
    QPoint Reference;
    std::u16string Text;
    std::vector<int32_t> Dx;
    uint32_t Options = 0;
    QRect Rect; // opaque / clip rectangle (ETO_OPAQUE, ETO_CLIPPED)
};

// A device-independent bitmap as stored in files: BITMAPINFO (header and colour table) and bits.
struct TDib {
    std::span<const uint8_t> Info;
    std::span<const uint8_t> Bits;
    uint32_t Usage = DIB_RGB_COLORS;
};

// StretchDIBits: a source rectangle of the bitmap onto a logical rectangle. Without a bitmap (empty
// Dib.Info) the raster operation works on the destination and the brush alone (PATCOPY, DSTINVERT ...).
struct TDibDraw {
    TDib Dib;
    QRect Source;      // x, y, width, height in bitmap pixels; y counts from the bottom row when the
                       // bitmap is stored bottom-up, as StretchDIBits has it
    QRect Destination; // x, y, width, height in logical units (negative sizes mirror)
    uint32_t Rop = SRCCOPY;
    // AlphaBlend: constant opacity, and whether 32-bit pixels carry premultiplied alpha.
    uint8_t ConstantAlpha = 255;
    bool SourceAlpha = false;
};

class TDevice {
public:
    virtual ~TDevice() = default;
    virtual void DrawShape(const TShape& shape, const TDrawState& state) = 0;
    virtual void DrawText(const TTextRun& run, const TDrawState& state) = 0;
    virtual void DrawDib(const TDibDraw& draw, const TDrawState& state) = 0;
    virtual TDeviceCaps Caps() const = 0;
};

// GDI's geometry of a shape as a path in logical units: boxes exclude their right and bottom edge, so a
// one-pixel outline of Rectangle(0, 0, 10, 10) covers pixels 0..9. strokePath: the figure the pen follows;
// otherwise the area the brush fills.
QPainterPath ShapeToPath(const TShape& shape, const TDrawState& state, bool strokePath);

// Helpers every painting device applies alike.
// True when every edge of the path runs horizontally or vertically on the device: such figures (rules,
// boxes, cell backgrounds) are drawn on whole pixels as GDI draws them, without antialiasing.
bool IsRectilinear(const QPainterPath& path, const QTransform& t);
// The linear scale of a transform (square root of the area scale).
double ScaleOf(const QTransform& t);
// GDI's dash pattern of a pen style (PS_DASH ...), in pixels for thin pens and in pen widths for wide
// ones; empty for solid pens.
std::vector<double> DashPattern(uint32_t style, bool thin);
// The same for a pen, taking PS_USERSTYLE entries into account: a geometric pen scales them by its
// width, a thin pen takes them as pixels.
std::vector<double> DashPattern(const TLogPen& pen, bool thin);
// How a vector device strokes a pen under transform t on a device of pixel size pixel: a thin pen (a
// cosmetic pen of width 1 or less, or any pen narrower than a pixel) is one pixel wide; Dashes are in
// units of Width either way (pixels for a thin pen, pen widths for a wide one). extent is the stroked figure's box on
// the device: dashes are left out of figures reaching far off the page (millions of dashes would take seconds to write
// and draw nothing seen).
struct TStroke {
    bool Thin = false;
    double Width = 0;
    std::vector<double> Dashes;
};
TStroke StrokeOf(const TLogPen& pen, const QTransform& t, double pixel, const QRectF& extent);
// Hatch pattern hatch (HatchRows) as an 8 x 8 image: color where the pattern is set, transparent elsewhere.
QImage HatchImage(uint32_t hatch, TColorRef color);
// A mesh fill's triangles drawn into a premultiplied ARGB image of size, toImage mapping the fill's space
// to the image's pixels; transparent outside the triangles.
QImage RasteriseMesh(const TBrushFill& fill, const QTransform& toImage, QSize size);
// The source rectangle of a StretchDIBits call in the decoded image's rows (top-down), normalised;
// the whole image when the call gives an empty one.
QRect DibSourceRect(const TDibDraw& draw, const QImage& image);

} // namespace pagimo::gdi
