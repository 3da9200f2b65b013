#pragma once
// The windows a generation run may open besides the preview: the print dialog behind a report's
// printer setup and the progress window of a print or export run. The engine asks for them
// through this interface, so that it and the headless programs link no widgets; the widget
// implementation lives with the preview window and is installed at program start with
// SetRunDialogs. Until then the base class stands in: no dialog and no progress window.

#include "printer/PrinterSettings.h"

#include <memory>
#include <string>

class QObject;

namespace pagimo::printer {

class TQRPrinter;

class TQRRunDialogs {
public:
    virtual ~TQRRunDialogs() = default;
    // Runs the print dialog for a report's printer setup, offering the pages of `pages` (may be
    // null: a report not yet run), over `owner` (may be null). Confirmed, it stores the copies,
    // printer number and page range into settings and the chosen orientation into orientation and
    // returns true; cancelled it changes nothing and returns false. The base shows nothing and
    // returns false.
    virtual bool PrintSetup(TQRPrinterSettings& settings, TPrinterOrientation& orientation, const TQRPrinter* pages,
                            QObject* owner);
    // Shows the progress window that follows a run on printer under title and turns its Cancel
    // into a cancel request on printer; the window becomes printer's NotifyWindow and goes when
    // the returned object is destroyed (the caller clears the NotifyWindow first). The base shows
    // nothing and returns null.
    virtual std::unique_ptr<QObject> ShowProgress(TQRPrinter& printer, const std::string& title);
};

// The installed run dialogs (the base until SetRunDialogs installs others).
TQRRunDialogs& RunDialogs();
// Installs the process-wide run dialogs; null restores the base.
void SetRunDialogs(std::unique_ptr<TQRRunDialogs> dialogs);

} // namespace pagimo::printer
