#pragma once
// Drawing one page as an SVG element, as the painter and PDF devices draw: the same shapes, pens,
// brushes, clipping, bitmaps and text placement. Shapes are paths and rectangles in device units (CSS
// pixels at 96 per inch), clips are clipPath elements, bitmaps are pictures of the document placed with
// their own transform, and text is real <text>, glyph by glyph at the places the page gives, in the
// document's web fonts, so that it can be selected, copied and found.
//
// Text comes last on the page, in reading order (the order qrptool text reads it in), inside
// <g class="t"> with the separators between runs (a space between words, a newline between lines) as
// text nodes: reading the text elements and those separators in document order gives the page's text.
// A run that later drawing covers stays at its place in the drawing (class "v", hidden from assistive
// technology and selection), and a transparent twin of it takes its place in the reading order.

#include "platform/gdi/Device.h"
#include "platform/gdi/SvgDocument.h"
#include "platform/gdi/TraceDevice.h"

#include <QRectF>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::gdi {

struct TTextLayout;

// The CSS the pages' markup relies on (white space kept in text, crisp edges for figures along the axes,
// the hidden copies of covered text kept out of selection, their twins and unseen characters
// transparent).
inline constexpr const char* SvgPageStyle =
    "text{white-space:pre}.c{shape-rendering:crispEdges}"
    ".v{user-select:none;-webkit-user-select:none}.h text,.n{fill:transparent}\n";

class TSvgDevice : public TDevice {
public:
    // Draws a page of sizeMM against document, in device units of pixels at 96 per inch (pixels: the
    // page's size in them, as qrptool render draws it; Target() the rectangle to play a picture's frame
    // onto). Element ids on the page begin with idPrefix (pages of one HTML document need their own).
    // Thin pens, their dashes, hatches and pattern brushes are measured in device units, pixels of the
    // screen at 100 %, as the painter device draws them on a screen.
    TSvgDevice(TSvgDocument& document, QSizeF sizeMM, QSize pixels, std::string idPrefix);
    QRectF Target() const { return FTarget; }
    ~TSvgDevice() override;
    TSvgDevice(const TSvgDevice&) = delete;
    TSvgDevice& operator=(const TSvgDevice&) = delete;

    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override { return FCaps; }

    // The page as an <svg> element of the page's size with the device's units as its view box. defs goes
    // into the element's <defs> (a stand-alone file's style sheet and pictures), overlay over the page
    // (the mark of a page that cannot be drawn completely).
    std::string Finish(std::string_view defs = {}, std::string_view overlay = {}) const;
    // The page's text in reading order, as qrptool text gives it.
    QString Text() const { return FText.ReadingOrder(); }

private:
    struct TOp {
        std::string Markup;        // the drawing (for text: the text element with its decorations)
        std::string Text;          // text: the <text> element alone, for a transparent twin
        std::vector<QRectF> Boxes; // where it puts ink (device units), for telling what later drawing covers
        int Clip = 0;              // clip path number, 0 unclipped
        int Item = -1;             // text: the run's index in FText
    };
    int ClipOf(const TDrawState& state);
    int ClipFor(const QPainterPath& devicePath);
    void Add(std::string markup, const QRectF& box, const TDrawState& state);
    void Add(std::string markup, std::vector<QRectF> boxes, const TDrawState& state);
    std::string FillPaint(const TLogBrush& brush, const QTransform& t, const QRectF& extent);
    std::string ImagePaint(const QImage& picture);
    std::string GradientPaint(const TBrushFill& fill, const QTransform& t, const QRectF& extent);
    std::string PathData(const QPainterPath& path, const QTransform& toDevice) const;
    std::string Element(const QPainterPath& path, const QTransform& toDevice, const std::string& attributes) const;
    void StrokePath(const QPainterPath& path, const TDrawState& state, bool crisp);
    void FillPath(const QPainterPath& path, const QTransform& t, const std::string& fill, const TDrawState& state,
                  bool crisp);
    std::string TextElement(const TTextLayout& layout, const TDrawState& state, std::string& outlines);
    std::vector<bool> Covered() const;

    TSvgDocument& FDocument;
    std::string FPrefix;
    const double FPixel = 1; // width of thin pens, unit of their dashes and of hatches and patterns
    QRectF FTarget;
    QSizeF FSizeMM;
    TDeviceCaps FCaps;
    std::vector<TOp> FOps;
    std::string FDefs;                                          // the page's own clip paths and patterns
    std::vector<std::shared_ptr<const QPainterPath>> FClipKeys; // held, so that their addresses are not reused
    std::map<const QPainterPath*, int> FClipIndex;
    std::vector<QRectF> FClipBounds;          // by clip number - 1
    std::map<std::string, int> FClipElements; // the clip path's element -> its number
    int FClips = 0;
    std::map<std::string, std::string> FPatterns; // key -> id
    TTextDevice FText;
};

} // namespace pagimo::gdi
