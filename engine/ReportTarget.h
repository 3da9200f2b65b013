#pragma once
// The report printer as a generation run drives it: the document, its pages, the sheet, the
// cancel flag and the progress value. The report printer of the viewer implements it; so does the
// band trace that tests read page layouts from.

#include "controls/PrintTarget.h"
#include "engine/PaperSize.h"

#include <string>

namespace pagimo::engine {

// The printer values a run sends before its document starts: the printer wishes (printer number,
// paper, orientation, copies, duplex, bin, page range, job title) and what only a run knows, the
// sheet of Custom paper and whether the pages are stored compressed.
struct TQRDocumentSettings : printer::TQRPrinterSettings {
    // A target that was never configured assumes A4 from the first bin.
    TQRDocumentSettings() {
        SetPaperSize(TQRPaperSize::A4);
        SetOutputBin(TQRBin::First);
    }
    int32_t PaperWidth = 0;  // tenths of a millimetre, Custom paper only
    int32_t PaperLength = 0; // tenths of a millimetre, Custom paper only
    bool Compressed = false;
};

class TQRReportTarget : public controls::TQRPrintTarget {
public:
    virtual void Configure(const TQRDocumentSettings& settings) = 0;
    // The sheet's paper as the printer settled it (a composite run's reports take it over).
    virtual TQRPaperSize PaperSize() const = 0;
    virtual TPrinterOrientation Orientation() const = 0;
    // The sheet in tenths of a millimetre, portrait width and length.
    virtual int32_t SheetWidth() const = 0;
    virtual int32_t SheetLength() const = 0;

    virtual void StartDocument() = 0;
    virtual void NewPage() = 0;
    virtual void FinishDocument() = 0;
    virtual void AbortDocument() = 0;

    virtual bool CancelRequested() const = 0;
    virtual void RequestCancel() = 0;
    virtual void SetProgress(int percent) = 0;
    // Lets pending window messages run (between records); nothing where there is no message loop.
    virtual void ProcessMessages() {}
};

} // namespace pagimo::engine
