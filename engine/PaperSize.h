#pragma once
// Paper sizes and printer orientation as report pages store them.

#include "platform/system/Persistent.h"

namespace pagimo::engine {

enum class TQRPaperSize {
    Default, Letter, LetterSmall, Tabloid, Ledger, Legal, Statement, Executive, A3, A4, A4Small, A5, B4, B5, Folio,
    Quarto, qr10X14, qr11X17, Note, Env9, Env10, Env11, Env12, Env14, CSheet, DSheet, ESheet, Custom
};
const system::TEnumInfo& QRPaperSizeInfo();

// Portrait width and length in millimetres; {0, 0} for Default and Custom.
struct TPaperDimensions {
    long double Width;
    long double Length;
};
TPaperDimensions PaperDimensions(TQRPaperSize size);

enum TPrinterOrientation { poPortrait, poLandscape };

enum class TQRBin { First, Upper, Lower, Middle, Manual, Envelope, EnvManual, Auto, Tractor, SmallFormat, LargeFormat,
                    LargeCapacity, Cassette, Last };
const system::TEnumInfo& QRBinInfo();
const system::TEnumInfo& PrinterOrientationInfo();

} // namespace pagimo::engine
