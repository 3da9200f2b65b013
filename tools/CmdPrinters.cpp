// qrptool printers: the installed printers, the default, and for each its papers, resolution and
// unprintable margins, as the report printer sees them.

#include "platform/printing/CupsQueue.h"
#include "platform/printing/Printer.h"
#include "printer/PrinterSettings.h"
#include "tools/Commands.h"
#include "tools/PageSource.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>
#include <string>
#include <vector>

namespace pagimo::tools {

namespace {

struct TPaperRow {
    std::string Key; // the printer's name for the size ("A4", "Env10")
    int Code = 0;    // dmPaperSize, 0 when the size has none
    QSizeF SizeMM;
    QMarginsF MarginsMM;
};

struct TPrinterRow {
    printing::TPrinterInfo Info;
    std::string DeviceUri;
    int Dpi = 0;
    std::string DefaultPaper;
    bool Duplex = false;
    std::vector<std::string> Sources;
    std::vector<TPaperRow> Papers;
};

TPrinterRow Describe(const printing::TPrinterInfo& p) {
    TPrinterRow row;
    row.Info = p;
    const QString name = QString::fromStdString(p.Name);
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    row.DeviceUri = printing::CupsDeviceUri(p.Name);
    row.DefaultPaper = info.defaultPageSize().key().toStdString();
    const auto duplex = info.supportedDuplexModes();
    row.Duplex = duplex.contains(QPrinter::DuplexLongSide) || duplex.contains(QPrinter::DuplexShortSide);
    row.Sources = printing::CupsMediaSources(p.Name);
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(name);
    row.Dpi = printer.resolution();
    for (const QPageSize& size : info.supportedPageSizes()) {
        printer.setPageSize(size);
        TPaperRow paper;
        paper.Key = size.key().toStdString();
        paper.Code = size.windowsId();
        paper.SizeMM = size.size(QPageSize::Millimeter);
        paper.MarginsMM = printer.pageLayout().margins(QPageLayout::Millimeter);
        row.Papers.push_back(paper);
    }
    return row;
}

std::string Json(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Mm(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string s = buf;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

void PrintJson(const std::vector<TPrinterRow>& rows) {
    std::string defaultName;
    for (const auto& r : rows) {
        if (r.Info.IsDefault) defaultName = r.Info.Name;
    }
    std::printf("{\"default\": %s, \"printers\": [", defaultName.empty() ? "null" : Json(defaultName).c_str());
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        std::printf("%s\n  {\"name\": %s, \"default\": %s, \"description\": %s, \"make_and_model\": %s, "
                    "\"device_uri\": %s, \"resolution_dpi\": %d, \"duplex\": %s, \"default_paper\": %s, \"sources\": [",
                    i ? "," : "", Json(r.Info.Name).c_str(), r.Info.IsDefault ? "true" : "false",
                    Json(r.Info.Description).c_str(), Json(r.Info.MakeAndModel).c_str(), Json(r.DeviceUri).c_str(),
                    r.Dpi, r.Duplex ? "true" : "false", Json(r.DefaultPaper).c_str());
        for (size_t k = 0; k < r.Sources.size(); ++k)
            std::printf("%s%s", k ? ", " : "", Json(r.Sources[k]).c_str());
        std::printf("], \"papers\": [");
        for (size_t k = 0; k < r.Papers.size(); ++k) {
            const auto& p = r.Papers[k];
            std::printf("%s\n    {\"name\": %s, \"code\": %d, \"size_mm\": [%s, %s], "
                        "\"margins_mm\": {\"left\": %s, \"top\": %s, \"right\": %s, \"bottom\": %s}}",
                        k ? "," : "", Json(p.Key).c_str(), p.Code, Mm(p.SizeMM.width()).c_str(),
                        Mm(p.SizeMM.height()).c_str(), Mm(p.MarginsMM.left()).c_str(), Mm(p.MarginsMM.top()).c_str(),
                        Mm(p.MarginsMM.right()).c_str(), Mm(p.MarginsMM.bottom()).c_str());
        }
        std::printf("]}");
    }
    std::printf("%s]}\n", rows.empty() ? "" : "\n");
}

void PrintText(const std::vector<TPrinterRow>& rows) {
    if (rows.empty()) {
        std::puts("No printer is installed.");
        return;
    }
    for (const auto& r : rows) {
        std::printf("%s %s%s\n", r.Info.IsDefault ? "*" : " ", r.Info.Name.c_str(),
                    r.Info.IsDefault ? "  (default)" : "");
        if (!r.Info.MakeAndModel.empty()) std::printf("    model:      %s\n", r.Info.MakeAndModel.c_str());
        if (!r.DeviceUri.empty()) std::printf("    device:     %s\n", r.DeviceUri.c_str());
        std::printf("    resolution: %d dpi\n    duplex:     %s\n    sources:   ", r.Dpi, r.Duplex ? "yes" : "no");
        for (const auto& s : r.Sources)
            std::printf(" %s", s.c_str());
        std::printf("%s\n    papers (mm; unprintable margins left, top, right, bottom):\n",
                    r.Sources.empty() ? " -" : "");
        for (const auto& p : r.Papers) {
            std::printf("      %-10s %7s x %-7s  %s, %s, %s, %s%s\n", p.Key.c_str(), Mm(p.SizeMM.width()).c_str(),
                        Mm(p.SizeMM.height()).c_str(), Mm(p.MarginsMM.left()).c_str(), Mm(p.MarginsMM.top()).c_str(),
                        Mm(p.MarginsMM.right()).c_str(), Mm(p.MarginsMM.bottom()).c_str(),
                        p.Key == r.DefaultPaper ? "  (default)" : "");
        }
    }
}

int Run(TArgs& args) {
    const bool json = args.Flag("--json");
    if (!args.Positionals().empty()) throw EUsage{"printers takes no file"};
    EnsureGuiApplication();
    std::vector<TPrinterRow> rows;
    const printing::TPrinter printer;
    for (const auto& p : printer.Printers())
        rows.push_back(Describe(p));
    if (json) {
        PrintJson(rows);
    } else {
        PrintText(rows);
    }
    return ExitOk;
}

} // namespace

extern const TCommand CmdPrinters{"printers", PrintersSummary,
                                  "usage: qrptool printers [--json]\n\n"
                                  "Lists the installed printers (the default marked), each with its resolution,\n"
                                  "duplex support, paper sources and papers with their unprintable margins.\n"
                                  "  --json   one JSON object: {\"default\": NAME|null, \"printers\": [...]}\n",
                                  Run};

} // namespace pagimo::tools
