#pragma once
// The preview interface that opens the standard preview window; installed as the process-wide
// preview interface class at program start.

#include "printer/PreviewInterface.h"

#include <functional>

namespace pagimo::preview {

class TQRStandardPreviewInterface : public printer::TQRPreviewInterface {
public:
    // Shows a new standard preview window for printer (modeless, freeing itself when closed) with its
    // page counter written, and returns it.
    QObject* OpenPreview(printer::TQRPrinter& printer) override;
    // The same window, run modally: returns when it has closed.
    void OpenPreviewModal(printer::TQRPrinter& printer) override;
};

class TQRStandardPreview;

// Runs for every standard preview window the interface opens, before it is shown (none: nothing).
void SetPreviewOpened(std::function<void(TQRStandardPreview& window)> hook);

// Makes TQRStandardPreviewInterface the class every report printer's ShowPreview instantiates, and
// installs the run dialogs its commands lead to (printer setup, progress of a print or export).
void InstallStandardPreviewInterface();

} // namespace pagimo::preview
