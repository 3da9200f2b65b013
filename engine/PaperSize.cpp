#include "engine/PaperSize.h"

namespace pagimo::engine {

const system::TEnumInfo& QRPaperSizeInfo() {
    static const system::TEnumInfo info{
        "TQRPaperSize",
        {"Default", "Letter", "LetterSmall", "Tabloid", "Ledger", "Legal",  "Statement", "Executive", "A3",   "A4",
         "A4Small", "A5",     "B4",          "B5",      "Folio",  "Quarto", "qr10X14",   "qr11X17",   "Note", "Env9",
         "Env10",   "Env11",  "Env12",       "Env14",   "CSheet", "DSheet", "ESheet",    "Custom"}};
    return info;
}

TPaperDimensions PaperDimensions(TQRPaperSize size) {
    static constexpr TPaperDimensions table[] = {{0, 0},           {215.9L, 279.4L}, {215.9L, 279.4L}, {279.4L, 431.8L},
                                                 {431.8L, 279.4L}, {215.9L, 355.6L}, {139.7L, 215.9L}, {190.5L, 254.0L},
                                                 {297.0L, 420.0L}, {210.0L, 297.0L}, {210.0L, 297.0L}, {148.0L, 210.0L},
                                                 {250.0L, 354.0L}, {182.0L, 257.0L}, {215.9L, 330.2L}, {215.0L, 275.0L},
                                                 {254.0L, 355.6L}, {279.4L, 431.8L}, {215.9L, 279.0L}, {98.43L, 225.4L},
                                                 {104.8L, 241.3L}, {114.3L, 263.5L}, {101.6L, 279.4L}, {127.0L, 292.1L},
                                                 {100.0L, 100.0L}, {100.0L, 100.0L}, {100.0L, 100.0L}, {0, 0}};
    const auto i = static_cast<size_t>(size);
    return i < std::size(table) ? table[i] : TPaperDimensions{0, 0};
}

const system::TEnumInfo& PrinterOrientationInfo() {
    static const system::TEnumInfo info{"TPrinterOrientation", {"poPortrait", "poLandscape"}};
    return info;
}

const system::TEnumInfo& QRBinInfo() {
    static const system::TEnumInfo info{"TQRBin",
                                        {"First", "Upper", "Lower", "Middle", "Manual", "Envelope", "EnvManual", "Auto",
                                         "Tractor", "SmallFormat", "LargeFormat", "LargeCapacity", "Cassette", "Last"}};
    return info;
}

} // namespace pagimo::engine
