#pragma once
// Painting onto a QPainter: widget, QImage, QPdfWriter (text stays text) and QPrinter.

#include "platform/emf/EmfPicture.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/Device.h"

#include <QPainter>

#include <utility>

namespace pagimo::gdi {

class TPainterDevice : public TDevice {
public:
    // painter is borrowed and must be active. caps: what GetDeviceCaps answers; by default taken from
    // the painter's device (its size and logical resolution).
    // The painter's transform and clip at construction are the frame everything is drawn in; the
    // destructor puts them back.
    explicit TPainterDevice(QPainter& painter);
    TPainterDevice(QPainter& painter, const TDeviceCaps& caps);
    ~TPainterDevice() override;
    TPainterDevice(const TPainterDevice&) = delete;
    TPainterDevice& operator=(const TPainterDevice&) = delete;

    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override { return FCaps; }

private:
    void ApplyClip(const TDrawState& state);
    void ApplyRop2(int rop2);
    // BS_FILL brushes: gradients and tiled textures as Qt brushes, meshes and clamped textures drawn
    // within the path (t: logical units to the painter's device).
    void FillSpecial(const QPainterPath& path, const TBrushFill& fill, const QTransform& t);

    QPainter& FPainter;
    TDeviceCaps FCaps;
    QTransform FBase;
    bool FRasterOps = false;
    bool FCallerClip = false;
    QPainterPath FCallerClipPath;                     // device coordinates
    std::shared_ptr<const QPainterPath> FAppliedClip; // held, so that its address is not reused
    bool FClipKnown = false;
};

// A canvas drawing on a QPainter; logical units are the painter's own coordinates scaled by
// baseTransform (for a printer: identity, logical units = printer pixels).
namespace detail {
// Holds the device so that it is constructed before the TCanvas base that refers to it.
struct TPainterDeviceHolder {
    template <class... TArgs>
    explicit TPainterDeviceHolder(TArgs&&... args) : HeldDevice(std::forward<TArgs>(args)...) {}
    TPainterDevice HeldDevice;
};
} // namespace detail

class TPainterCanvas : private detail::TPainterDeviceHolder, public TCanvas {
public:
    explicit TPainterCanvas(QPainter& painter, const QTransform& baseTransform = QTransform());
    TPainterCanvas(QPainter& painter, const TDeviceCaps& caps, const QTransform& baseTransform = QTransform());
};

// PlayEnhMetaFile onto a QPainter: the picture's frame mapped onto rect (painter coordinates).
// Damaged records are skipped; returns false when playback ended early on a damaged picture.
bool PlayEnhMetaFile(QPainter& painter, const emf::TEmfPicture& picture, const QRectF& rect);

} // namespace pagimo::gdi
