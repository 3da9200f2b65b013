#pragma once
// Report printers with real recorded pages for the preview's tests: A4 portrait pages with a heading,
// lines of text and a frame, recorded through the printer's own page canvas.

#include "platform/gdi/Canvas.h"
#include "printer/QRPrinter.h"

#include <memory>
#include <string>

namespace pagimo::test {

inline void DrawTestPage(gdi::TCanvas& canvas, printer::TQRPrinter& printer, int page, int lines) {
    canvas.Brush.Style = gdi::BS_NULL;
    canvas.Rectangle(printer.DeviceX(100), printer.DeviceY(100), printer.DeviceX(2000), printer.DeviceY(2870));
    canvas.Font.Name = "Arial";
    canvas.Font.Height = -24;
    canvas.TextOut(printer.DeviceX(200), printer.DeviceY(200), "Page " + std::to_string(page));
    canvas.Font.Height = -11;
    for (int i = 0; i < lines; ++i)
        canvas.TextOut(printer.DeviceX(200), printer.DeviceY(400 + i * 45),
                       "Line " + std::to_string(i + 1) + " of a page that the preview shows, with some words.");
}

// Starts a preview recording on printer and records pages 1..count (the last one left open unless
// finish is set).
inline void RecordPages(printer::TQRPrinter& printer, int count, bool finish = true, int lines = 20) {
    if (printer.JobState() == printer::jsReady) printer.StartDocument();
    for (int i = 1; i <= count; ++i) {
        printer.NewPage();
        DrawTestPage(*printer.PageCanvas(), printer, printer.PageTotal(), lines);
    }
    if (finish) printer.FinishDocument();
}

inline std::unique_ptr<printer::TQRPrinter> PrinterWithPages(int count, bool finish = true) {
    auto printer = std::make_unique<printer::TQRPrinter>();
    printer->SetPaperSize(printer::TQRPaperSize::A4);
    printer->SetOrientation(printer::poPortrait);
    RecordPages(*printer, count, finish);
    return printer;
}

} // namespace pagimo::test
