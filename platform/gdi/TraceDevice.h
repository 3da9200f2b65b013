#pragma once
// Observing devices, used as test oracles and by qrptool text: a trace device writes one line per call
// (stable text that golden tests compare), a bounds device accumulates the area drawn, and a text
// device collects text runs with their device positions.

#include "platform/gdi/Device.h"

#include <QRectF>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace pagimo::gdi {

class TTraceDevice : public TDevice {
public:
    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override { return TDeviceCaps::Screen(1920, 1440); }

    const std::vector<std::string>& Lines() const { return FLines; }
    std::string Text() const; // the lines joined with '\n'

private:
    std::string Common(const TDrawState& state) const;
    std::vector<std::string> FLines;
};

class TBoundsDevice : public TDevice {
public:
    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override { return TDeviceCaps::Screen(1920, 1440); }

    QRectF Bounds() const { return FBounds; } // device pixels; empty when nothing was drawn
    int Calls() const { return FCalls; }

private:
    void Add(const QRectF& device, const TDrawState& state);
    QRectF FBounds;
    int FCalls = 0;
};

struct TTextItem {
    QString Text;
    QPointF Origin;    // device position of the run's left end, at the top of the font cell
    double Height = 0; // device height of the font cell
    double Width = 0;  // device advance of the run
    // As drawn: the alignment anchor (the reference point's x: the left end, the right end or the
    // middle of the run, after TA_LEFT, TA_RIGHT or TA_CENTER), the font with its height in device
    // pixels (negative: the em), the text colour, and the background colour when the text is drawn
    // on an opaque background (BkMode OPAQUE), else none.
    double AnchorX = 0;
    uint32_t HorizontalAlign = TA_LEFT; // TA_LEFT, TA_RIGHT or TA_CENTER
    TLogFont Font;
    TColorRef Color = clBlack;
    std::optional<TColorRef> Background;
    // Left edge of each UTF-16 unit of Text and the run's right end, as device offsets from
    // Origin.x (Text.size() + 1 values, rising); spread evenly where the run's advances do not map
    // onto its characters one by one.
    std::vector<double> CharEdges;
};

// One run of a page in reading order: its index in TTextDevice::Items() and what separates it from the
// run before it: '\n' (a new line), ' ' (a gap between words) or '\0' (nothing).
struct TReadingStep {
    size_t Item = 0;
    char Before = '\0';
};

class TTextDevice : public TDevice {
public:
    void DrawShape(const TShape&, const TDrawState&) override {}
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw&, const TDrawState&) override {}
    TDeviceCaps Caps() const override { return TDeviceCaps::Screen(1920, 1440); }

    const std::vector<TTextItem>& Items() const { return FItems; }
    // The runs in reading order: lines top to bottom (runs whose baselines lie within half a cell of
    // each other share a line), left to right within a line, separated by spaces and newlines; each
    // line trimmed and ended by a newline.
    QString ReadingOrder() const;
    // The same order as steps, for writers that keep the runs apart (the SVG device).
    std::vector<TReadingStep> ReadingSteps() const;

private:
    std::vector<TTextItem> FItems;
};

} // namespace pagimo::gdi
