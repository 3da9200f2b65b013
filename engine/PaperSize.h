#pragma once
// Paper sizes and printer orientation as report pages store them.

#include "platform/system/Persistent.h"
#include "printer/PrinterSettings.h"

namespace pagimo::engine {

// The paper vocabulary is the report printer's; the engine adds the stored names.
using printer::poLandscape;
using printer::poPortrait;
using printer::TPrinterOrientation;
using printer::TQRBin;
using printer::TQRPaperSize;

const system::TEnumInfo& QRPaperSizeInfo();

// Portrait width and length in millimetres; {0, 0} for Default and Custom.
struct TPaperDimensions {
    long double Width;
    long double Length;
};
TPaperDimensions PaperDimensions(TQRPaperSize size);

const system::TEnumInfo& QRBinInfo();
const system::TEnumInfo& PrinterOrientationInfo();

} // namespace pagimo::engine
