#pragma once
// Report printers with real recorded pages for the preview's tests: A4 portrait pages with a heading,
// lines of text and a frame, recorded through the printer's own page canvas.

#include "pagestore/PageList.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/MetafileCanvas.h"
#include "platform/system/Rnd.h"
#include "printer/QRPrinter.h"

#include <memory>
#include <string>
#include <vector>

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

// The sheets of MixedSheetsReport in tenths of a millimetre: A4 portrait, 200 x 188 mm, 142 x 290 mm.
inline const std::vector<std::pair<int32_t, int32_t>>& MixedSheets() {
    static const std::vector<std::pair<int32_t, int32_t>> sheets{{2100, 2970}, {2000, 1880}, {1420, 2900}};
    return sheets;
}

// A QRP file of three pages on the sheets of MixedSheets, each with a border along its edges, its
// number and a black disc in the middle (round only when the page keeps its aspect). With overflow,
// page 1 also fills a rectangle reaching far past its bottom right corner.
inline void MixedSheetsReport(const std::string& file, bool overflow = false) {
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    int page = 0;
    for (const auto& [width, height] : MixedSheets()) {
        ++page;
        const int32_t w = Rnd(width * 96.0L / 254), h = Rnd(height * 96.0L / 254);
        gdi::TMetafileCanvas c(w, h);
        c.Brush.Style = gdi::BS_NULL;
        c.Rectangle(2, 2, w - 2, h - 2);
        c.Font.Name = "Arial";
        c.Font.Height = -24;
        c.TextOut(30, 30, "Page " + std::to_string(page));
        c.Brush.Style = gdi::BS_SOLID;
        c.Brush.Color = gdi::clBlack;
        const int32_t d = std::min(w, h) / 2;
        c.Ellipse(w / 2 - d / 2, h / 2 - d / 2, w / 2 + d / 2, h / 2 + d / 2);
        if (overflow && page == 1) c.FillRect(w - 60, h - 60, w + 400, h + 400);
        list.StorePage(c.Finish());
    }
    list.CloseRecording();
    list.CopyToFile(file);
}

// A QRP file whose page 2 needs more drawing work than its budget allows (a polyline of a million
// points, kept in the middle of the page, under the box of the mark); page 1 is an ordinary page.
inline void OverBudgetReport(const std::string& file, int points = 1'000'000) {
    printer::TQRPrinter recording;
    recording.SetPaperSize(printer::TQRPaperSize::A4);
    recording.StartDocument();
    recording.NewPage();
    DrawTestPage(*recording.PageCanvas(), recording, 1, 5);
    recording.NewPage();
    std::vector<QPoint> line;
    line.reserve(static_cast<size_t>(points));
    for (int i = 0; i < points; ++i)
        line.emplace_back(recording.DeviceX(900 + i % 300), recording.DeviceY(1300 + (i * 7) % 400));
    recording.PageCanvas()->Polyline(line);
    recording.FinishDocument();
    recording.SaveReportFile(file);
}

} // namespace pagimo::test
