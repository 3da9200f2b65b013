#pragma once
// The report printer as bands and printable controls draw on it during a run: conversion of report
// units to device pixels, solid fills, and the page canvas for everything else.

#include "controls/Frame.h"
#include "platform/system/Rnd.h"

namespace pagimo::gdi {
class TCanvas;
}

namespace pagimo::controls {

class TQRPrintTarget {
public:
    virtual ~TQRPrintTarget() = default;
    // Tenths of a millimetre from the sheet's top-left corner to device units.
    virtual int32_t DeviceX(Extended x) const = 0;
    virtual int32_t DeviceY(Extended y) const = 0;
    // Device pixels per tenth of a millimetre.
    virtual Extended ScaleX() const = 0;
    virtual Extended ScaleY() const = 0;
    // A solid rectangle in device units (right and bottom excluded); the canvas brush is left clear.
    virtual void FillRect(const TRect& rect, TColor color) = 0;
    // The canvas of the open page, for text and pictures; none while no page is open.
    virtual gdi::TCanvas* PageCanvas() const = 0;
};

} // namespace pagimo::controls
