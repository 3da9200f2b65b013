#pragma once
// The run dialogs of a program with widgets: the print dialog for a report's printer setup and the
// progress window of a print or export run. Installed together with the standard preview window
// (InstallStandardPreviewInterface), whose commands lead to them.

#include "printer/RunDialogs.h"

namespace pagimo::preview {

class TQRStandardRunDialogs : public printer::TQRRunDialogs {
public:
    // Both show nothing (false, null) where the application has no widgets.
    bool PrintSetup(printer::TQRPrinterSettings& settings, printer::TPrinterOrientation& orientation,
                    const printer::TQRPrinter* pages, QObject* owner) override;
    std::unique_ptr<QObject> ShowProgress(printer::TQRPrinter& printer, const std::string& title) override;
};

} // namespace pagimo::preview
