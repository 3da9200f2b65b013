#pragma once
// The printer mode record and the printer constants, under the names and with the values the
// report printer and its settings speak in. Only the fields those callers read or write exist.

#include <cstdint>
#include <memory>
#include <string>

namespace pagimo::printing {

// dmFields flags: which fields of the mode the driver declares.
constexpr uint32_t DM_ORIENTATION = 0x00000001;
constexpr uint32_t DM_PAPERSIZE = 0x00000002;
constexpr uint32_t DM_PAPERLENGTH = 0x00000004;
constexpr uint32_t DM_PAPERWIDTH = 0x00000008;
constexpr uint32_t DM_COPIES = 0x00000100;
constexpr uint32_t DM_DEFAULTSOURCE = 0x00000200;
constexpr uint32_t DM_PRINTQUALITY = 0x00000400;
constexpr uint32_t DM_DUPLEX = 0x00001000;
constexpr uint32_t DM_YRESOLUTION = 0x00002000;
constexpr uint32_t DM_COLLATE = 0x00008000;

constexpr int16_t DMORIENT_PORTRAIT = 1;
constexpr int16_t DMORIENT_LANDSCAPE = 2;

constexpr int16_t DMDUP_SIMPLEX = 1;
constexpr int16_t DMDUP_VERTICAL = 2;   // two-sided, long-edge binding
constexpr int16_t DMDUP_HORIZONTAL = 3; // two-sided, short-edge binding

constexpr int16_t DMCOLLATE_FALSE = 0;
constexpr int16_t DMCOLLATE_TRUE = 1;

constexpr int16_t DMPAPER_LETTER = 1;
constexpr int16_t DMPAPER_LETTERSMALL = 2;
constexpr int16_t DMPAPER_TABLOID = 3;
constexpr int16_t DMPAPER_LEDGER = 4;
constexpr int16_t DMPAPER_LEGAL = 5;
constexpr int16_t DMPAPER_STATEMENT = 6;
constexpr int16_t DMPAPER_EXECUTIVE = 7;
constexpr int16_t DMPAPER_A3 = 8;
constexpr int16_t DMPAPER_A4 = 9;
constexpr int16_t DMPAPER_A4SMALL = 10;
constexpr int16_t DMPAPER_A5 = 11;
constexpr int16_t DMPAPER_B4 = 12;
constexpr int16_t DMPAPER_B5 = 13;
constexpr int16_t DMPAPER_FOLIO = 14;
constexpr int16_t DMPAPER_QUARTO = 15;
constexpr int16_t DMPAPER_10X14 = 16;
constexpr int16_t DMPAPER_11X17 = 17;
constexpr int16_t DMPAPER_NOTE = 18;
constexpr int16_t DMPAPER_ENV_9 = 19;
constexpr int16_t DMPAPER_ENV_10 = 20;
constexpr int16_t DMPAPER_ENV_11 = 21;
constexpr int16_t DMPAPER_ENV_12 = 22;
constexpr int16_t DMPAPER_ENV_14 = 23;
constexpr int16_t DMPAPER_CSHEET = 24;
constexpr int16_t DMPAPER_DSHEET = 25;
constexpr int16_t DMPAPER_ESHEET = 26;
constexpr int16_t DMPAPER_USER = 256;

constexpr int16_t DMBIN_UPPER = 1;
constexpr int16_t DMBIN_ONLYONE = 1;
constexpr int16_t DMBIN_LOWER = 2;
constexpr int16_t DMBIN_MIDDLE = 3;
constexpr int16_t DMBIN_MANUAL = 4;
constexpr int16_t DMBIN_ENVELOPE = 5;
constexpr int16_t DMBIN_ENVMANUAL = 6;
constexpr int16_t DMBIN_AUTO = 7;
constexpr int16_t DMBIN_TRACTOR = 8;
constexpr int16_t DMBIN_SMALLFMT = 9;
constexpr int16_t DMBIN_LARGEFMT = 10;
constexpr int16_t DMBIN_LARGECAPACITY = 11;
constexpr int16_t DMBIN_CASSETTE = 14;
constexpr int16_t DMBIN_FORMSOURCE = 15;
constexpr int16_t DMBIN_USER = 256; // driver-specific bins start here

// Device capability indices of GetDeviceCaps.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int PHYSICALWIDTH = 110;
constexpr int PHYSICALHEIGHT = 111;
constexpr int PHYSICALOFFSETX = 112;
constexpr int PHYSICALOFFSETY = 113;

// Capability queries of DeviceCapabilities.
constexpr int DC_PAPERS = 2;
constexpr int DC_BINS = 6;

// The printer mode. Lengths are tenths of a millimetre, as in the original record.
struct TDevMode {
    std::string dmDeviceName;
    uint32_t dmFields = 0;
    int16_t dmOrientation = DMORIENT_PORTRAIT;
    int16_t dmPaperSize = 0;
    int16_t dmPaperLength = 0;
    int16_t dmPaperWidth = 0;
    int16_t dmCopies = 1;
    int16_t dmDefaultSource = DMBIN_AUTO;
    int16_t dmPrintQuality = 0;
    int16_t dmDuplex = DMDUP_SIMPLEX;
    int16_t dmYResolution = 0;
    int16_t dmCollate = DMCOLLATE_TRUE;
};

// The movable-memory handle of a mode: shared between the printer object and whoever asked for
// it, so a caller can change the record and hand it back.
using TDevModeHandle = std::shared_ptr<TDevMode>;

} // namespace pagimo::printing
