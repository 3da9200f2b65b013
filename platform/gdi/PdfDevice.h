#pragma once
// Drawing onto a page of a TPdfDocument, as the painter device draws onto a QPainter: the same shapes,
// pens, brushes, clipping, bitmaps and text placement, written as lean PDF: one text object per text
// run with its glyph advances in a TJ array, and state operators only where the state changes.

#include "platform/gdi/Device.h"
#include "platform/gdi/PdfDocument.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagimo::gdi {

struct TTextLayout;
struct TPlacedGlyph;
class TMatchedFont;

class TPdfDevice : public TDevice {
public:
    // Draws on the document's current page. Device space: units of caps' resolution from the sheet's
    // top-left corner, y down; pageHeightPt is the page's height in points. pixel: device units per
    // pixel of the pictures' reference device, the width of thin pens and the unit of their dashes and
    // of hatches. The destructor closes what the device opened in the page's content.
    TPdfDevice(TPdfDocument& document, const TDeviceCaps& caps, double pageHeightPt, double pixel);
    ~TPdfDevice() override;
    TPdfDevice(const TPdfDevice&) = delete;
    TPdfDevice& operator=(const TPdfDevice&) = delete;

    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override { return FCaps; }

private:
    // What the content stream has set, so that operators are written only when a value changes.
    struct TState {
        std::string Fill, Stroke, Line, Font;
        // The colours Fill and Stroke set, when they set plain colours.
        std::optional<TColorRef> FillColor, StrokeColor;
    };
    void ApplyClip(const TDrawState& state);
    void Save();    // q, remembering the state
    void Restore(); // Q, back to the state remembered
    void SetFill(const std::string& operators);
    void SetFillColor(TColorRef color);
    void SetStroke(const std::string& operators);
    void SetStrokeColor(TColorRef color);
    void SetLine(const std::string& operators);
    // The fill of brush (its colour, hatch, pattern or gradient) for a shape of logical extent drawn
    // through t (logical to device units).
    void SetBrush(const TLogBrush& brush, const QTransform& t, const QRectF& extent);
    std::string BrushFill(const TLogBrush& brush, const QTransform& t, const QRectF& extent);
    std::string GradientFill(const TBrushFill& fill, const QTransform& t, const QRectF& extent);
    void AppendPath(const QPainterPath& path, const QTransform& toDevice); // path through toDevice
    void StrokePath(const QPainterPath& path, const TDrawState& state);
    void FillPath(const QPainterPath& path, const QTransform& t); // with the fill set
    void FillRect(const QRectF& rect, const QTransform& t, TColorRef color);
    // A filled rectangle without outline under an axis-parallel transform; false for any other shape.
    bool FillBox(const TShape& shape, const TDrawState& state);
    void DrawGlyphs(const TTextLayout& layout, const TDrawState& state);

    TPdfDocument& FDocument;
    std::string& FOut;
    TDeviceCaps FCaps;
    double FPixel;
    QTransform FDeviceToPage; // device units (y down) to the page's default space
    QTransform FFlip;         // device units (y down) to the content's space (y up)
    TState FState, FSaved;
    bool FClipped = false;
    bool FClipKnown = false;
    std::shared_ptr<const QPainterPath> FAppliedClip; // held, so that its address is not reused
    // The font of the last text run, matched.
    TLogFont FMatchedFor;
    std::shared_ptr<const TMatchedFont> FMatchedFont;
    // The last font operator written into the page (a font used on the page is among its resources).
    struct TFontOperator {
        int Font = -1;
        double Size = 0;
        std::string Text;
    };
    TFontOperator FFontOperator;
    std::vector<const TPlacedGlyph*> FGlyphs; // the glyphs of one face of a run
};

} // namespace pagimo::gdi
