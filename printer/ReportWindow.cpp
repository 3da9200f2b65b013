#include "printer/ReportWindow.h"

#include "printer/QRPrinter.h"

namespace pagimo::printer {

bool TQRReportWindow::PrinterBusy() const {
    const TQRPrinter* printer = CurrentPrinter();
    return printer && printer->JobState() == jsBusy;
}

} // namespace pagimo::printer
