#pragma once
// TCanvas: the device context that report code draws with (the report printer's PageCanvas, the
// preview, the printable controls). It keeps the GDI state (font, pen, brush, colours, alignment,
// clip, SaveDC stack) and turns each call into one call of a TDevice carrying that state.
//
// Coordinates are logical units of the canvas: device pixels of the page for a recording canvas (the
// 96 pixels-per-inch screen), printer pixels for a printer canvas. Only Origin/BaseTransform of the
// concrete canvas map them further.

#include "platform/emf/EmfPicture.h"
#include "platform/gdi/Device.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::gdi {

class TMatchedFont;

// The canvas's font in the terms report code uses; turned into a LOGFONT when text is drawn.
struct TFont {
    std::string Name = "Arial"; // UTF-8 face name
    int32_t Height = -13;       // logical units, as LOGFONT's lfHeight
    int32_t Weight = FW_NORMAL;
    bool Italic = false, Underline = false, StrikeOut = false;
    uint8_t Charset = DEFAULT_CHARSET;
    int32_t Escapement = 0; // tenths of a degree
    TColorRef Color = clBlack;

    // Sets Height from a size in points at the canvas resolution: -round(points * pixelsPerInch / 72).
    void SetSize(double points, int pixelsPerInch);
    double Size(int pixelsPerInch) const;
    TLogFont ToLogFont() const;
    // The same LOGFONT (every field but the colour equal).
    bool SameLogFont(const TFont& other) const;
    static TFont FromLogFont(const TLogFont& lf, TColorRef color);
};

struct TPen {
    TColorRef Color = clBlack;
    int32_t Width = 1;         // logical units
    uint32_t Style = PS_SOLID; // PS_* (with end cap and join bits for geometric pens)
};

struct TBrush {
    TColorRef Color = clWhite;
    uint32_t Style = BS_SOLID; // BS_SOLID, BS_NULL (clear), BS_HATCHED
    uint32_t Hatch = HS_HORIZONTAL;
};

class TCanvas {
public:
    // device is borrowed and must outlive the canvas. baseTransform maps the canvas's logical units
    // onto the device (identity for a recording canvas).
    explicit TCanvas(TDevice& device, const QTransform& baseTransform = QTransform());
    virtual ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // Read at every drawing call; assign freely.
    TFont Font;
    TPen Pen;
    TBrush Brush;

    void SetTextAlign(uint32_t align) { FTextAlign = align; }
    uint32_t TextAlign() const { return FTextAlign; }
    void SetBkMode(int mode) { FBkMode = mode; }
    int BkMode() const { return FBkMode; }
    void SetBkColor(TColorRef color) { FBkColor = color; }
    TColorRef BkColor() const { return FBkColor; }
    void SetStretchBltMode(int mode) { FStretchBltMode = mode; }
    void SetPolyFillMode(int mode) { FPolyFillMode = mode; }
    void SetRop2(int rop2) { FRop2 = rop2; }

    // Lines: the current position moves to the end point; the end point itself is not drawn.
    void MoveTo(int32_t x, int32_t y);
    void LineTo(int32_t x, int32_t y);
    QPoint PenPos() const { return FPenPos; }
    void Polyline(std::span<const QPoint> points);
    void Polygon(std::span<const QPoint> points);
    void PolyPolygon(std::span<const QPoint> points, std::span<const uint32_t> counts);
    void PolyBezier(std::span<const QPoint> points);

    // Outlined with Pen, filled with Brush; right and bottom excluded.
    void Rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Rectangle(const QRect& r) { Rectangle(r.left(), r.top(), r.right() + 1, r.bottom() + 1); }
    void RoundRect(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t cornerW, int32_t cornerH);
    void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void Arc(int32_t left, int32_t top, int32_t right, int32_t bottom, QPoint start, QPoint end);
    void Chord(int32_t left, int32_t top, int32_t right, int32_t bottom, QPoint start, QPoint end);
    void Pie(int32_t left, int32_t top, int32_t right, int32_t bottom, QPoint start, QPoint end);
    // Fills left..right-1, top..bottom-1 with Brush; no outline.
    void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Text with the current Font, TextAlign, BkMode and BkColor. dx: one advance per UTF-16 unit, or
    // empty to use our own measurement (which is what a recording canvas then stores).
    void TextOut(int32_t x, int32_t y, std::string_view utf8);
    void ExtTextOut(int32_t x, int32_t y, uint32_t options, const QRect* rect, std::u16string_view text,
                    std::span<const int32_t> dx = {});
    // Size of the text in logical units with the current font: the sum of the per-unit advances that
    // ExtTextOut records, and the font's cell height (win ascent + descent).
    QSize TextExtent(std::u16string_view text) const;
    QSize TextExtent(std::string_view utf8) const;
    int32_t TextWidth(std::string_view utf8) const { return TextExtent(utf8).width(); }
    int32_t TextHeight(std::string_view utf8) const { return TextExtent(utf8).height(); }
    // Per-unit advances in logical units with the current font (what ExtTextOut stores as dx).
    std::vector<int32_t> TextAdvances(std::u16string_view text) const;

    // Clipping in logical units; the clip only ever shrinks until SelectClipRgnNone.
    void IntersectClipRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void ExcludeClipRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    void SelectClipRgnNone();

    // Bitmaps: BITMAPINFO + bits; src in bitmap pixels, destination in logical units.
    void StretchDIBits(const QRect& destination, const QRect& source, const TDib& dib, uint32_t rop = SRCCOPY);
    // Any QImage (JPEG, icon ...) stretched into the rectangle through the same path.
    void StretchDraw(const QRect& destination, const QImage& image);
    // An enhanced metafile stretched into the rectangle (PlayEnhMetaFile semantics: its frame onto the
    // rectangle), clipped by the current clip.
    void StretchDraw(const QRect& destination, const emf::TEmfPicture& picture);

    // Returns the saved level (1 for the first); RestoreDC(-1) restores the last one, a positive n the
    // level n. Returns false when there is no such level.
    int SaveDC();
    bool RestoreDC(int level = -1);

    int32_t GetDeviceCaps(int index) const;
    TDevice& Device() const { return FDevice; }

    // The state a device call would carry now (for code that drives the device itself).
    TDrawState DrawState() const;

private:
    struct TSaved {
        TFont Font;
        TPen Pen;
        TBrush Brush;
        uint32_t TextAlign;
        int BkMode, StretchBltMode, PolyFillMode, Rop2;
        TColorRef BkColor;
        std::shared_ptr<const QPainterPath> Clip;
        QPoint PenPos;
    };
    void Shape(TShape&& shape) const;
    void ClipTo(const QPainterPath& deviceArea, bool intersect);
    // Font as a LOGFONT and as matched, made again only when Font has changed since.
    const TLogFont& LogFont() const;
    const TMatchedFont& MatchedFont() const;

    TDevice& FDevice;
    QTransform FBase;
    uint32_t FTextAlign = TA_LEFT | TA_TOP;
    int FBkMode = OPAQUE;
    TColorRef FBkColor = clWhite;
    int FStretchBltMode = BLACKONWHITE;
    int FPolyFillMode = ALTERNATE;
    int FRop2 = R2_COPYPEN;
    std::shared_ptr<const QPainterPath> FClip;
    QPoint FPenPos;
    std::vector<TSaved> FSaved;
    struct TFontCache {
        TFont Font;
        TLogFont Log;
        std::shared_ptr<const TMatchedFont> Matched;
        bool Valid = false;
    };
    mutable TFontCache FFontCache;
};

} // namespace pagimo::gdi
