#pragma once
// What stands between the EMF player and a device: every figure's device coordinates are checked
// against a bound (a page of up to 32,767 pixels a side, with as much again as margin all round),
// figures wholly outside are dropped and figures reaching past it are cut to it (fills closer, a
// page's size beyond the page), so no coordinate that reaches Qt or a device can overflow. The guard also keeps the
// page's work budget: points drawn, stroked length, clip operations and the points they combine, records played, image
// pixels decoded, fonts loaded, the area of the glyphs drawn and the area painted. Past the soft limits long dashed
// strokes are drawn solid and clip regions are replaced by their bounds; past the hard limits the page stops
// (EPageOverBudget), which the player reports as an incomplete page.
//
// A picture played inside a page (a nested EMF of an EMF+ image) gets a guard of its own around the
// page's guard; every count goes to the outermost guard (figures are counted there as they reach it),
// so nested plays spend the budget of the page that holds them, and each play counts as well, with
// its size: a picture drawn many times at each level of nesting ends as an over-budget page.

#include "platform/gdi/Device.h"

#include <QRectF>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace pagimo::gdi {

// Work limits of one page. The defaults are ten times or more what the largest real pages need
// (clip points and painted area, whose costs grow fastest, five times; docs/ARCHITECTURE.md has the
// figures) and keep any page within a few seconds and well under 1 GB. Past a simplifying limit the
// page goes on simplified; past a stopping limit it ends there. Either way it is reported as over
// budget.
struct TWorkLimits {
    uint64_t Points = 1'500'000;           // path points built and drawn (strokes two per point, wide pens
                                           // five, dashes four per dash): stops
    double StrokedLength = 10'000'000;     // pixels stroked, in the picture's own pixels (the same at any
    double StrokedLengthStop = 20'000'000; // output resolution): past it dashes are drawn solid
    uint64_t ClipPoints = 250'000;         // points of the clips combined: past it clips become their bounds
    uint64_t ClipPointsStop = 500'000;
    uint64_t ClipOperations = 50'000;   // clip combinations: stops
    uint64_t Records = 4'000'000;       // records played, nested pictures' included: stops
    uint64_t ImagePixels = 100'000'000; // pixels of the bitmaps decoded (drawn, or kept as patterns and
                                        // image objects), counted before decoding: stops
    uint64_t Fonts = 2'000;             // fonts made anew (a face at a size): stops
    double GlyphArea = 100;             // em squares of the glyphs drawn, in areas of the page: stops
    double PaintedArea = 900;           // areas filled, stroked (length by pen width) and covered by
                                        // bitmaps, each within the page, with the crossings of edges and
                                        // pixel rows and the triangles of meshes, in areas of the page: stops
    uint64_t Pictures = 2'000;          // pictures played inside the page (nested metafiles): stops
    uint64_t PictureBytes = 256u << 20; // their bytes, one play after another: stops
};

// What a page took.
struct TPlayWork {
    uint64_t Points = 0;
    double StrokedLength = 0;
    uint64_t ClipOperations = 0;
    uint64_t ClipPoints = 0;
    uint64_t Records = 0;
    uint64_t ImagePixels = 0;
    uint64_t Fonts = 0;
    double GlyphArea = 0;
    double PaintedArea = 0;
    uint64_t Pictures = 0;
    uint64_t PictureBytes = 0;
    uint64_t Dropped = 0;    // figures wholly outside the bound
    bool Simplified = false; // dashes drawn solid or clips replaced by their bounds
    std::string Reason;      // the first simplification's cause
};

class EPageOverBudget : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPageGuard : public TDevice {
public:
    // Device coordinates every figure must stay within.
    static constexpr double PageMax = 32767, Margin = 32768;
    static QRectF Bound() { return QRectF(-Margin, -Margin, PageMax + 2 * Margin, PageMax + 2 * Margin); }

    // referenceScale: device pixels per pixel of the picture's reference device, which lengths are
    // counted in; page: the page on the device, whose area glyph and painted areas are counted in
    // (empty: an A4 page at 96 pixels to the inch, at the reference scale).
    TPageGuard(TDevice& inner, const TWorkLimits& limits, TPlayWork& work, double referenceScale = 1,
               const QRectF& page = QRectF());

    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override { return FInner.Caps(); }

    // Points the player builds itself (path brackets, regions); throws past the hard limit.
    void ChargePoints(uint64_t points);
    // One clip combination of that many points; false when the clips should be replaced by their
    // bounds. Throws past the hard limits.
    bool ChargeClip(uint64_t points);
    // A device-space clip cut to the bound (cheap for rectangles, exact for any path).
    static QPainterPath Bounded(const QPainterPath& clip);

    // The page's counts beyond figures, charged to the outermost guard; each throws past its limit.
    // One record read.
    void ChargeRecord();
    // A bitmap of width x height pixels about to be decoded: charge it before decoding, with the
    // size the decoder will allocate (a DIB's header size, an embedded PNG's or JPEG's own size).
    // Bitmaps kept (pattern brushes, EMF+ image objects) are charged once when they are made;
    // bitmaps drawn are charged by the guard on every draw.
    void ChargeImage(uint64_t width, uint64_t height);
    // Fonts the font matcher made anew on this thread since the last look (the player's and the
    // devices' text alike).
    void ChargeFonts();
    // A picture of that many bytes about to be played inside the page.
    void ChargePicture(uint64_t bytes);

private:
    // The work of a figure within the bound: its points, crossings, area painted and length stroked; past
    // the stroked-length limit a dashed pen in drawn turns solid.
    void ChargeShape(const TShape& shape, const QRectF& extent, bool fill, bool stroke, double penWidth,
                     TDrawState& drawn);
    // A figure reaching past the bound, cut to it (fills to near) and drawn in parts.
    void DrawCut(const TShape& shape, const TDrawState& drawn, const QRectF& near, bool fill, bool stroke);
    // Device pixels painted within extent (at most most of them), on the page only.
    void ChargePainted(const QRectF& extent, double most = std::numeric_limits<double>::infinity());
    // Page areas painted, stopping the page past the limit.
    void AddPainted(double pages);
    // Crossings of a figure's edges with the page's pixel rows within on (its extent on the page),
    // charged as painted pixels by how many edges share a row.
    void ChargeCrossings(double crossings, const QRectF& on);
    // The triangles of a mesh fill (t: its logical units to device pixels) over extent, on the page only.
    void ChargeMesh(const TBrushFill& fill, const QTransform& t, const QRectF& extent);
    [[noreturn]] void Stop(const char* what, double used, double limit) const;
    void Simplify(const char* what, double used, double limit);
    TDevice& FInner;
    TPageGuard* FRoot; // the outermost guard (this one for a page's own guard)
    TWorkLimits FLimits;
    TPlayWork& FWork;
    double FReferenceScale;
    QRectF FPage; // painted areas count within it
    double FPageArea;
    uint64_t FFontsSeen = 0; // the matcher's count of fonts made on this thread, at the last look
};

} // namespace pagimo::gdi
