#pragma once
// Printer settings: the paper sizes and bins every report speaks of, the settings of one printer
// object in report units (TPrinterSettings) and the printer wishes a report stores (TQRPrinterSettings).

#include "platform/printing/DevMode.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pagimo::printing {
class TPrinter;
}

namespace pagimo::printer {

enum class TQRPaperSize {
    Default,
    Letter,
    LetterSmall,
    Tabloid,
    Ledger,
    Legal,
    Statement,
    Executive,
    A3,
    A4,
    A4Small,
    A5,
    B4,
    B5,
    Folio,
    Quarto,
    qr10X14,
    qr11X17,
    Note,
    Env9,
    Env10,
    Env11,
    Env12,
    Env14,
    CSheet,
    DSheet,
    ESheet,
    Custom
};
constexpr int PaperSizeCount = 28;

enum class TQRBin {
    First,
    Upper,
    Lower,
    Middle,
    Manual,
    Envelope,
    EnvManual,
    Auto,
    Tractor,
    SmallFormat,
    LargeFormat,
    LargeCapacity,
    Cassette,
    Last
};
constexpr int BinCount = 14;

enum TPrinterOrientation { poPortrait, poLandscape };

struct TQRPaperInfo {
    const char* Name;        // the enumeration value's name
    double WidthMM;          // portrait width; 0 for Default and Custom
    double LengthMM;         // portrait length; 0 for Default and Custom
    int16_t Code;            // dmPaperSize
    const char* DisplayName; // the string-table text
};

struct TQRBinInfo {
    const char* Name;
    int16_t Code; // dmDefaultSource
};

const TQRPaperInfo& PaperInfo(TQRPaperSize size);
const TQRBinInfo& BinInfo(TQRBin bin);
// The display names of the 28 paper sizes, in enumeration order.
const std::vector<std::string>& PaperNames();
// Look-ups by enumeration name, case-insensitive ("A4", "letter", "Env10"); false when unknown.
bool PaperSizeFromName(const std::string& name, TQRPaperSize& size);
bool BinFromName(const std::string& name, TQRBin& bin);
// The paper sizes a page of width x height pixels (at scale pixels per tenth of a millimetre) may
// have been printed on, compared in whole steps of 4 mm, in the order a QRP file's paper is detected:
// for each size from Letter to ESheet, portrait then landscape. The last entry is the detected paper.
struct TPaperMatch {
    TQRPaperSize Size;
    TPrinterOrientation Orientation;
};
std::vector<TPaperMatch> MatchPaper(int32_t width, int32_t height, long double scale);

// The sheet of a fixed paper size in tenths of a millimetre (millimetres x 10, rounded).
int32_t PaperWidthTenths(TQRPaperSize size);
int32_t PaperLengthTenths(TQRPaperSize size);

// The settings of one printer object, read from its mode and device capabilities, changed only
// where the printer supports the change, and written back into its mode before a document.
//
// Without any installed printer nothing is ever read; the sheet of the paper size Default is then
// the locale's default paper (A4 or Letter), so pages always have a size, and the orientation is
// taken as asked, so landscape reports are still recorded landscape.
class TPrinterSettings {
public:
    TPrinterSettings();

    printing::TPrinter* Device() const { return FDevice; }
    // Borrowed. Reads all settings when the printer layer has at least one installed printer.
    void SetDevice(printing::TPrinter* device);

    void ReadSettings();
    void ApplySettings();
    // False without a mode; otherwise whether flag is non-negative and all its bits are declared.
    bool HasDevModeField(int32_t flag) const;
    void MarkField(int32_t flag);

    const std::string& DeviceName() const { return FDeviceName; }
    const std::string& DriverName() const { return FDriverName; }
    const std::string& PortName() const { return FPortName; }
    const printing::TDevModeHandle& ModeHandle() const { return FModeHandle; }
    printing::TDevMode* Mode() const { return FMode; }

    int32_t Copies() const { return FCopies; }
    void SetCopies(int32_t value);
    bool Duplex() const { return FDuplex; }
    TPrinterOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TPrinterOrientation value);
    TQRBin OutputBin() const { return FOutputBin; }
    void SetOutputBin(TQRBin value);
    TQRPaperSize PaperSize() const { return FPaperSize; }
    void SetPaperSize(TQRPaperSize value);
    // Whether the driver lists the size (indexable by every TQRPaperSize; Default is never set).
    bool PaperAvailable(TQRPaperSize size) const { return FPaperAvailable[static_cast<size_t>(size)]; }
    int32_t SheetWidth() const;
    void SetSheetWidth(int32_t value);
    int32_t SheetLength() const;
    void SetSheetLength(int32_t value);
    int32_t DotsPerInchX() const { return FDotsPerInchX; }
    int32_t DotsPerInchY() const { return FDotsPerInchY; }
    int32_t UnprintableLeft() const { return FUnprintableLeft; }
    int32_t UnprintableTop() const { return FUnprintableTop; }

private:
    bool FetchPrinter();
    void HandBack();

    std::string FDeviceName, FDriverName, FPortName;
    printing::TDevModeHandle FModeHandle;
    printing::TDevMode* FMode = nullptr;
    int32_t FCopies = 1;
    bool FDuplex = false;
    TPrinterOrientation FOrientation = poPortrait;
    TQRBin FOutputBin = TQRBin::First;
    TQRPaperSize FPaperSize = TQRPaperSize::A4;
    std::array<bool, PaperSizeCount> FPaperAvailable{};
    int32_t FSheetWidth = 0, FSheetLength = 0;
    int32_t FDotsPerInchX = 0, FDotsPerInchY = 0;
    int32_t FUnprintableLeft = 0, FUnprintableTop = 0;
    printing::TPrinter* FDevice = nullptr;
};

// Makes the printer object forget its mode, so that the driver's default mode is fetched the next
// time one is needed.
void RefreshDeviceMode(printing::TPrinter& device);

// The printer wishes: what a report (or a composite report) stores with itself, what the print
// dialog of its printer setup edits, and what a run sends to its report printer before the
// document starts. The one type for them all; the engine publishes it on its report forms.
class TQRPrinterSettings {
public:
    virtual ~TQRPrinterSettings() = default;

    int32_t Copies() const { return FCopies; }
    void SetCopies(int32_t value) { FCopies = value; }
    bool Duplex() const { return FDuplex; }
    void SetDuplex(bool value) { FDuplex = value; }
    TPrinterOrientation Orientation() const { return FOrientation; }
    void SetOrientation(TPrinterOrientation value) { FOrientation = value; }
    TQRBin OutputBin() const { return FOutputBin; }
    void SetOutputBin(TQRBin value) { FOutputBin = value; }
    TQRPaperSize PaperSize() const { return FPaperSize; }
    void SetPaperSize(TQRPaperSize value) { FPaperSize = value; }
    int32_t PrinterNumber() const { return FPrinterNumber; } // -1: the system's default printer
    void SetPrinterNumber(int32_t value) { FPrinterNumber = value; }
    const std::string& JobTitle() const { return FJobTitle; }
    void SetJobTitle(const std::string& value) { FJobTitle = value; }
    int32_t FirstPage() const { return FFirstPage; } // 0: from the first page
    void SetFirstPage(int32_t value) { FFirstPage = value; }
    int32_t LastPage() const { return FLastPage; } // 0: to the last page
    void SetLastPage(int32_t value) { FLastPage = value; }

private:
    int32_t FCopies = 1;
    bool FDuplex = false;
    TPrinterOrientation FOrientation = poPortrait;
    TQRBin FOutputBin = TQRBin::Auto;
    TQRPaperSize FPaperSize = TQRPaperSize::Letter;
    int32_t FPrinterNumber = -1;
    std::string FJobTitle;
    int32_t FFirstPage = 0;
    int32_t FLastPage = 0;
};

} // namespace pagimo::printer
