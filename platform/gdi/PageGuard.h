#pragma once
// What stands between the EMF player and a device: every figure's device coordinates are checked
// against a bound (a page of up to 32,767 pixels a side, with as much again as margin all round),
// figures wholly outside are dropped and figures reaching past it are cut to it, so no coordinate
// that reaches Qt or a device can overflow. The guard also keeps the page's work budget: points
// drawn, stroked length, clip operations and the points they combine. Past the soft limits long
// dashed strokes are drawn solid and clip regions are replaced by their bounds; past the hard limits
// the page stops (EPageOverBudget), which the player reports as an incomplete page.

#include "platform/gdi/Device.h"

#include <QRectF>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pagimo::gdi {

// Work limits of one page. The defaults are ten times or more what the largest real pages need
// (clip points, whose cost grows fastest, five times; docs/ARCHITECTURE.md has the figures) and keep
// any page within a few seconds and well under 1 GB. Past a simplifying limit the page goes on simplified; past a stopping limit it
// ends there. Either way it is reported as over budget.
struct TWorkLimits {
    uint64_t Points = 1'500'000;           // path points built and drawn (strokes two per point, wide pens
                                           // five, dashes four per dash): stops
    double StrokedLength = 10'000'000;     // pixels stroked, in the picture's own pixels (the same at any
    double StrokedLengthStop = 20'000'000; // output resolution): past it dashes are drawn solid
    uint64_t ClipPoints = 250'000;         // points of the clips combined: past it clips become their bounds
    uint64_t ClipPointsStop = 500'000;
    uint64_t ClipOperations = 50'000; // clip combinations: stops
};

// What a page took.
struct TPlayWork {
    uint64_t Points = 0;
    double StrokedLength = 0;
    uint64_t ClipOperations = 0;
    uint64_t ClipPoints = 0;
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
    // counted in.
    TPageGuard(TDevice& inner, const TWorkLimits& limits, TPlayWork& work, double referenceScale = 1)
        : FInner(inner), FLimits(limits), FWork(work), FReferenceScale(referenceScale > 1e-6 ? referenceScale : 1e-6) {}

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

private:
    [[noreturn]] void Stop(const char* what, double used, double limit) const;
    void Simplify(const char* what, double used, double limit);
    TDevice& FInner;
    TWorkLimits FLimits;
    TPlayWork& FWork;
    double FReferenceScale;
};

} // namespace pagimo::gdi
