#include "printer/StoredPageExport.h"

#include "platform/gdi/Canvas.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/TraceDevice.h"
#include "platform/system/Errors.h"
#include "printer/PdfWriter.h"
#include "printer/QRPrinter.h"

#include <QString>

#include <cmath>
#include <map>
#include <tuple>

namespace pagimo::printer {

namespace {

constexpr long double TenthsPerPixel = 254.0L / emf::ScreenPixelsPerInch; // pages are 96-dpi pictures

// Texts above this COLORREF are drawn on no background of their own.
constexpr uint32_t NoBackground = 0x1FFFFFFF;

TAlignment AlignmentOf(uint32_t align) {
    if (align == gdi::TA_CENTER) return taCenter;
    if (align == gdi::TA_RIGHT) return taRightJustify;
    return taLeftJustify;
}

std::vector<gdi::TTextItem> TextsOf(const emf::TEmfPicture& picture) {
    gdi::TTextDevice device;
    gdi::TEmfPlayer::Play(picture, device, QRectF(0, 0, picture.Width(), picture.Height()));
    return device.Items();
}

gdi::TFont FontOf(const gdi::TTextItem& item) {
    return gdi::TFont::FromLogFont(item.Font, item.Color);
}

// The font most texts of the page use, counted by characters: the body text of a report page.
gdi::TFont CommonFont(const std::vector<gdi::TTextItem>& items) {
    std::map<std::tuple<std::u16string, int32_t, int32_t, bool>, qsizetype> counts;
    const gdi::TTextItem* best = nullptr;
    qsizetype bestCount = 0;
    for (const auto& item : items) {
        qsizetype& n = counts[{item.Font.FaceName, item.Font.Height, item.Font.Weight, item.Font.Italic != 0}];
        n += item.Text.size();
        if (n > bestCount) bestCount = n, best = &item;
    }
    if (!best) {
        gdi::TFont font;
        font.Name = "Arial";
        font.Height = -13;
        return font;
    }
    return FontOf(*best);
}

} // namespace

int32_t ExportStoredPages(TQRExporter& filter, pagestore::TPageDocument& pages, const TStoredExportOptions& options) {
    const int32_t count = pages.PageCount();
    const int32_t first = std::max(1, options.First);
    const int32_t last = options.Last > 0 ? std::min(options.Last, count) : count;
    int32_t damaged = 0;
    const auto fetch = [&](int32_t n) {
        pagestore::TDocumentPage page = pages.Page(n);
        if (page.State != pagestore::TDocumentPage::dpReady) {
            const std::string reason = page.State == pagestore::TDocumentPage::dpPending
                                           ? "Page " + std::to_string(n) + " is not available"
                                           : page.Problem;
            if (!options.KeepGoing) throw EQRError("Page " + std::to_string(n) + " cannot be drawn: " + reason);
            ++damaged;
            if (options.OnDamagedPage) options.OnDamagedPage(n, reason);
        }
        if (!page.Partial.empty() && options.OnPartialPage) options.OnPartialPage(n, page.Partial);
        return page.Picture;
    };

    std::shared_ptr<const emf::TEmfPicture> picture = first <= last ? fetch(first) : nullptr;
    // The paper of the first page that can be drawn; A4 when none can.
    int32_t paperWidth = 2100, paperLength = 2970;
    const auto takeSheet = [&](int32_t n) {
        // A page that cannot be drawn keeps its own sheet when its header can be read, else the
        // previous page's.
        const auto sheet = picture ? pagestore::SheetOf(picture->Header()) : pages.Sheet(n);
        if (sheet) paperWidth = sheet->WidthTenths, paperLength = sheet->HeightTenths;
    };
    std::vector<gdi::TTextItem> texts;
    if (picture) {
        takeSheet(first);
        if (!filter.TakesPictures()) texts = TextsOf(*picture);
    }
    if (!filter.Started) filter.StartExport(paperWidth, paperLength, CommonFont(texts));

    for (int32_t n = first; n <= last; ++n) {
        if (n > first) {
            picture = fetch(n);
            texts.clear();
            if (picture && !filter.TakesPictures()) texts = TextsOf(*picture);
        }
        filter.NewExportPage();
        takeSheet(n);
        if (filter.TakesPictures()) {
            if (picture)
                filter.ExportPicture(*picture);
            else
                filter.ExportBlankPicture(paperWidth, paperLength);
        }
        for (const auto& item : texts) {
            if (item.Text.isEmpty()) continue;
            const uint32_t background = item.Background ? (*item.Background & 0xFFFFFF) : NoBackground;
            filter.ExportText(item.AnchorX * TenthsPerPixel, item.Origin.y() * TenthsPerPixel, FontOf(item), background,
                              AlignmentOf(item.HorizontalAlign), item.Text.toStdString());
        }
        filter.EndExportPage();
    }
    filter.FinishExport();
    return damaged;
}

// ---- the PDF filter ----

TQRPDFExportFilter::TQRPDFExportFilter(const std::string& fileName) : TQRExporter(fileName) {}

TQRPDFExportFilter::~TQRPDFExportFilter() = default;

void TQRPDFExportFilter::Open() {
    std::string title;
    if (Printer) title = Printer->DocumentTitle();
    FWriter = std::make_unique<TPdfPagesWriter>(FileName, title);
}

void TQRPDFExportFilter::StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont&) {
    FPaperWidth = paperWidth > 0 ? paperWidth : 2100;
    FPaperLength = paperLength > 0 ? paperLength : 2970;
    Open();
    Started = true;
}

void TQRPDFExportFilter::NewExportPage() {
    // A report run hands over texts only: its pages are kept in their place as empty sheets.
    if (!FPageHasPicture && FWriter) FWriter->AddBlankPage(FPaperWidth / 10.0, FPaperLength / 10.0);
    FPageHasPicture = false;
}

void TQRPDFExportFilter::ExportPicture(const emf::TEmfPicture& picture) {
    if (!FWriter) Open();
    FPageHasPicture = true;
    const gdi::TPlayResult result = FWriter->AddPage(picture);
    if (result.OverBudget)
        throw EQRError("Page " + std::to_string(FWriter->PageCount()) +
                       " cannot be drawn completely: " + result.Problem);
    if (!result.Complete)
        throw EQRError("Page " + std::to_string(FWriter->PageCount()) +
                       " cannot be drawn: Metafile is not valid (its record chain is broken)");
}

void TQRPDFExportFilter::ExportBlankPicture(int32_t width, int32_t length) {
    if (!FWriter) Open();
    FPageHasPicture = true;
    FWriter->AddBlankPage(width / 10.0, length / 10.0);
}

void TQRPDFExportFilter::FinishExport() {
    if (!FWriter) Open();
    if (!FPageHasPicture) FWriter->AddBlankPage(FPaperWidth / 10.0, FPaperLength / 10.0);
    FPageHasPicture = true;
    std::unique_ptr<TPdfPagesWriter> writer = std::move(FWriter);
    Started = false;
    writer->Finish();
}

} // namespace pagimo::printer
