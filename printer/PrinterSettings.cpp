#include "printer/PrinterSettings.h"

#include "platform/printing/Printer.h"
#include "platform/system/Rnd.h"

#include <QCoreApplication>

#include <algorithm>
#include <climits>
#include <cmath>
#include <strings.h>

namespace pagimo::printer {

using namespace pagimo::printing;

namespace {

const TQRPaperInfo Papers[PaperSizeCount] = {
    {"Default", 0, 0, 0, "Default size"},
    {"Letter", 215.9, 279.4, DMPAPER_LETTER, "Letter 8 1/2 x 11 in"},
    {"LetterSmall", 215.9, 279.4, DMPAPER_LETTERSMALL, "Letter Small 8 1/2 x 11 in"},
    {"Tabloid", 279.4, 431.8, DMPAPER_TABLOID, "Tabloid 11 x 17 in"},
    {"Ledger", 431.8, 279.4, DMPAPER_LEDGER, "Ledger 17 x 11 in"},
    {"Legal", 215.9, 355.6, DMPAPER_LEGAL, "Legal 8 1/2 x 14 in"},
    {"Statement", 139.7, 215.9, DMPAPER_STATEMENT, "Statement 5 1/2 x 8 1/2 in"},
    {"Executive", 190.5, 254.0, DMPAPER_EXECUTIVE, "Executive7 1/2 x 10 in"},
    {"A3", 297.0, 420.0, DMPAPER_A3, "A3 297 x 420 mm"},
    {"A4", 210.0, 297.0, DMPAPER_A4, "A4 210 x 297 mm"},
    {"A4Small", 210.0, 297.0, DMPAPER_A4SMALL, "A4 Small 210 x 297 mm"},
    {"A5", 148.0, 210.0, DMPAPER_A5, "A5 148 x 210 mm"},
    {"B4", 250.0, 354.0, DMPAPER_B4, "B4 250 x 354 mm"},
    {"B5", 182.0, 257.0, DMPAPER_B5, "B5 182 x 257 mm"},
    {"Folio", 215.9, 330.2, DMPAPER_FOLIO, "Folio 8 1/2 x 13 in"},
    {"Quarto", 215.0, 275.0, DMPAPER_QUARTO, "Quarto 215 x 275 mm"},
    {"qr10X14", 254.0, 355.6, DMPAPER_10X14, "10x14 in"},
    {"qr11X17", 279.4, 431.8, DMPAPER_11X17, "11x17 in"},
    {"Note", 215.9, 279.0, DMPAPER_NOTE, "Note 8 1/2 x 11 in"},
    {"Env9", 98.43, 225.4, DMPAPER_ENV_9, "Envelope #9 3 7/8 x 8 7/8"},
    {"Env10", 104.8, 241.3, DMPAPER_ENV_10, "Envelope #10 4 1/8 x 9 1/2"},
    {"Env11", 114.3, 263.5, DMPAPER_ENV_11, "Envelope #11 4 1/2 x 10 3/8"},
    {"Env12", 101.6, 279.4, DMPAPER_ENV_12, "Envelope #12 4 \u00be x 11"},
    {"Env14", 127.0, 292.1, DMPAPER_ENV_14, "Envelope #14 4 \u00be x 11"},
    {"CSheet", 100.0, 100.0, DMPAPER_CSHEET, "C size sheet"},
    {"DSheet", 100.0, 100.0, DMPAPER_DSHEET, "D size sheet"},
    {"ESheet", 100.0, 100.0, DMPAPER_ESHEET, "E size sheet"},
    {"Custom", 0, 0, DMPAPER_USER, "Custom Size"},
};

const TQRBinInfo Bins[BinCount] = {
    {"First", DMBIN_UPPER},          {"Upper", DMBIN_UPPER},
    {"Lower", DMBIN_LOWER},          {"Middle", DMBIN_MIDDLE},
    {"Manual", DMBIN_MANUAL},        {"Envelope", DMBIN_ENVELOPE},
    {"EnvManual", DMBIN_ENVMANUAL},  {"Auto", DMBIN_AUTO},
    {"Tractor", DMBIN_TRACTOR},      {"SmallFormat", DMBIN_SMALLFMT},
    {"LargeFormat", DMBIN_LARGEFMT}, {"LargeCapacity", DMBIN_LARGECAPACITY},
    {"Cassette", DMBIN_CASSETTE},    {"Last", DMBIN_CASSETTE},
};

// The mode's fields are 16-bit: larger values are written as the largest that fits, not wrapped.
int16_t Short(int32_t value) {
    return static_cast<int16_t>(std::clamp<int32_t>(value, INT16_MIN, INT16_MAX));
}

// Device pixels to tenths of a millimetre; 0 when the resolution is unknown.
int32_t PixelsToTenths(int pixels, int dotsPerInch) {
    if (dotsPerInch <= 0) return 0;
    return Rnd(static_cast<Extended>(pixels) / dotsPerInch * 254);
}

} // namespace

const TQRPaperInfo& PaperInfo(TQRPaperSize size) {
    return Papers[static_cast<size_t>(size)];
}
const TQRBinInfo& BinInfo(TQRBin bin) {
    return Bins[static_cast<size_t>(bin)];
}

const std::vector<std::string>& PaperNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const auto& p : Papers)
            v.emplace_back(p.DisplayName);
        return v;
    }();
    return names;
}

bool PaperSizeFromName(const std::string& name, TQRPaperSize& size) {
    for (int i = 0; i < PaperSizeCount; ++i) {
        if (strcasecmp(Papers[i].Name, name.c_str()) == 0) {
            size = static_cast<TQRPaperSize>(i);
            return true;
        }
    }
    return false;
}

bool BinFromName(const std::string& name, TQRBin& bin) {
    for (int i = 0; i < BinCount; ++i) {
        if (strcasecmp(Bins[i].Name, name.c_str()) == 0) {
            bin = static_cast<TQRBin>(i);
            return true;
        }
    }
    return false;
}

std::vector<TPaperMatch> MatchPaper(int32_t width, int32_t height, long double scale) {
    std::vector<TPaperMatch> matches;
    if (!(scale > 0)) return matches;
    auto step = [&](long double pixels) { return static_cast<long long>(std::trunc(pixels / scale / 40)); };
    const long long wq = step(width), hq = step(height);
    // A side matches in whole 4 mm steps of the paper, or in the steps of the paper's own size once
    // rounded to whole pixels: a 420 mm side recorded at 96 pixels per inch is 1587 pixels, which is
    // one step short of 105 (without the second test A3 pages would never be recognised).
    auto fits = [&](double millimetres, long long q) {
        return static_cast<long long>(std::trunc(millimetres / 4)) == q ||
               step(Rnd(static_cast<Extended>(millimetres) * 10 * scale)) == q;
    };
    for (int i = static_cast<int>(TQRPaperSize::Letter); i <= static_cast<int>(TQRPaperSize::ESheet); ++i) {
        const double w = Papers[i].WidthMM, l = Papers[i].LengthMM;
        if (fits(w, wq) && fits(l, hq)) matches.push_back({static_cast<TQRPaperSize>(i), poPortrait});
        if (fits(w, hq) && fits(l, wq)) matches.push_back({static_cast<TQRPaperSize>(i), poLandscape});
    }
    return matches;
}

int32_t PaperWidthTenths(TQRPaperSize size) {
    return Rnd(static_cast<Extended>(PaperInfo(size).WidthMM) * 10);
}
int32_t PaperLengthTenths(TQRPaperSize size) {
    return Rnd(static_cast<Extended>(PaperInfo(size).LengthMM) * 10);
}

TPrinterSettings::TPrinterSettings() {
    // Without a printer nothing is ever measured: let Default mean the locale's paper.
    const TQRPaperSize localePaper = LocaleDefaultPaper() == DMPAPER_LETTER ? TQRPaperSize::Letter : TQRPaperSize::A4;
    FSheetWidth = PaperWidthTenths(localePaper);
    FSheetLength = PaperLengthTenths(localePaper);
}

void TPrinterSettings::SetDevice(TPrinter* device) {
    FDevice = device;
    if (FDevice && !FDevice->Printers().empty()) ReadSettings();
}

bool TPrinterSettings::FetchPrinter() {
    FDevice->GetPrinter(FDeviceName, FDriverName, FPortName, FModeHandle);
    if (!FModeHandle) FDevice->GetPrinter(FDeviceName, FDriverName, FPortName, FModeHandle);
    FMode = FModeHandle.get();
    return FMode != nullptr;
}

void TPrinterSettings::HandBack() {
    FDevice->SetPrinter(FDeviceName, FDriverName, FPortName, FModeHandle);
}

void TPrinterSettings::ReadSettings() {
    if (!FDevice) return;
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    // Every step below reads the mode; a printer that yields none leaves the settings as they were.
    if (!FetchPrinter()) return;

    FDotsPerInchX = FDevice->GetDeviceCaps(LOGPIXELSX);
    FDotsPerInchY = FDevice->GetDeviceCaps(LOGPIXELSY);

    FCopies = HasDevModeField(DM_COPIES) ? FMode->dmCopies : 1;

    FOutputBin = TQRBin::First;
    if (HasDevModeField(DM_DEFAULTSOURCE)) {
        for (int i = 0; i < BinCount; ++i) {
            if (Bins[i].Code == FMode->dmDefaultSource) {
                FOutputBin = static_cast<TQRBin>(i);
                break;
            }
        }
    }

    FDuplex = HasDevModeField(DM_DUPLEX) && FMode->dmDuplex != DMDUP_SIMPLEX;

    FUnprintableLeft = PixelsToTenths(FDevice->GetDeviceCaps(PHYSICALOFFSETX), FDotsPerInchX);
    FUnprintableTop = PixelsToTenths(FDevice->GetDeviceCaps(PHYSICALOFFSETY), FDotsPerInchY);

    FPaperSize = TQRPaperSize::Default;
    if (HasDevModeField(DM_PAPERSIZE)) {
        for (int i = 0; i < PaperSizeCount; ++i) {
            if (Papers[i].Code == FMode->dmPaperSize) {
                FPaperSize = static_cast<TQRPaperSize>(i);
                break;
            }
        }
    }

    FSheetWidth = PixelsToTenths(FDevice->GetDeviceCaps(PHYSICALWIDTH), FDotsPerInchX);
    FSheetLength = PixelsToTenths(FDevice->GetDeviceCaps(PHYSICALHEIGHT), FDotsPerInchY);

    FPaperAvailable.fill(false);
    for (int16_t code : FDevice->DeviceCapabilities(DC_PAPERS)) {
        for (int i = static_cast<int>(TQRPaperSize::Letter); i < PaperSizeCount; ++i) {
            if (Papers[i].Code == code) FPaperAvailable[static_cast<size_t>(i)] = true;
        }
    }
    FPaperAvailable[static_cast<size_t>(TQRPaperSize::Custom)] = true;
}

void TPrinterSettings::ApplySettings() {
    if (!FDevice || !FetchPrinter()) return;
    if (FPaperSize == TQRPaperSize::Custom) {
        MarkField(DM_PAPERLENGTH);
        FMode->dmPaperLength = Short(SheetLength());
        MarkField(DM_PAPERWIDTH);
        FMode->dmPaperWidth = Short(SheetWidth());
    }
    if (FDuplex) {
        MarkField(DM_DUPLEX);
        FMode->dmDuplex = DMDUP_HORIZONTAL;
    }
    if (HasDevModeField(DM_PAPERSIZE) && FPaperSize != TQRPaperSize::Default) {
        MarkField(DM_PAPERSIZE);
        FMode->dmPaperSize = PaperInfo(FPaperSize).Code;
    }
    MarkField(DM_COPIES);
    FMode->dmCopies = Short(FCopies);
    MarkField(DM_DEFAULTSOURCE);
    FMode->dmDefaultSource = static_cast<int16_t>(BinInfo(FOutputBin).Code | (FMode->dmDefaultSource & DMBIN_USER));
    MarkField(DM_ORIENTATION);
    FMode->dmOrientation = FOrientation == poLandscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    HandBack();
}

bool TPrinterSettings::HasDevModeField(int32_t flag) const {
    if (!FDevice || !FMode || flag < 0) return false;
    const auto bits = static_cast<uint32_t>(flag);
    return (FMode->dmFields & bits) == bits;
}

void TPrinterSettings::MarkField(int32_t flag) {
    if (FMode) FMode->dmFields |= static_cast<uint32_t>(flag);
}

void TPrinterSettings::SetCopies(int32_t value) {
    if (HasDevModeField(DM_COPIES)) FCopies = value;
}

void TPrinterSettings::SetOrientation(TPrinterOrientation value) {
    // Without any printer mode nothing restricts the layout: a landscape report still records
    // landscape pages on a machine without printers.
    if (HasDevModeField(DM_ORIENTATION) || !FMode) FOrientation = value;
}

void TPrinterSettings::SetOutputBin(TQRBin value) {
    if (HasDevModeField(DM_DEFAULTSOURCE)) FOutputBin = value;
}

void TPrinterSettings::SetPaperSize(TQRPaperSize value) {
    // Like the orientation, the paper is a matter of layout: without any printer mode nothing says
    // which papers exist, so a report recorded on a machine without printers keeps the paper it names.
    if (value == TQRPaperSize::Default || PaperAvailable(value) || !FMode) FPaperSize = value;
}

int32_t TPrinterSettings::SheetWidth() const {
    if (FPaperSize == TQRPaperSize::Default || FPaperSize == TQRPaperSize::Custom) return FSheetWidth;
    return PaperWidthTenths(FPaperSize);
}

int32_t TPrinterSettings::SheetLength() const {
    if (FPaperSize == TQRPaperSize::Default || FPaperSize == TQRPaperSize::Custom) return FSheetLength;
    return PaperLengthTenths(FPaperSize);
}

void TPrinterSettings::SetSheetWidth(int32_t value) {
    if (FPaperSize == TQRPaperSize::Custom) FSheetWidth = value;
}

void TPrinterSettings::SetSheetLength(int32_t value) {
    if (FPaperSize == TQRPaperSize::Custom) FSheetLength = value;
}

void RefreshDeviceMode(TPrinter& device) {
    std::string name, driver, port;
    TDevModeHandle mode;
    device.GetPrinter(name, driver, port, mode);
    device.SetPrinter(name, driver, port, nullptr);
}

} // namespace pagimo::printer
