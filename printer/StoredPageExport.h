#pragma once
// Export from stored pages: a loaded QRP file (or any page pictures) fed to an export filter as a
// report run would feed it. Each page is played through the text-collecting device, and the texts it
// draws reach the filter with their place, font, colour and alignment as drawn; filters that take
// whole pages (the PDF filter) get the pictures instead.
//
// And the "PDF document" filter itself, which writes the pages as a vector PDF.

#include "pagestore/PageDocument.h"
#include "platform/emf/EmfPicture.h"
#include "printer/ExportFilter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pagimo::printer {

class TPdfPagesWriter;

struct TStoredExportOptions {
    int32_t First = 1, Last = 0; // inclusive; Last 0: the last page
    // A page that cannot be drawn becomes an empty page of the previous page's size (page numbers
    // stay) and is reported through OnDamagedPage; without KeepGoing the export stops there.
    bool KeepGoing = false;
    std::function<void(int32_t page, const std::string& reason)> OnDamagedPage;
    // A page that holds less than its file promised (TDocumentPage::Partial), exported as far as it goes.
    std::function<void(int32_t page, const std::string& missing)> OnPartialPage;
};

// Runs the whole export: StartExport (paper of the first page, the font most texts of that page use),
// then per page NewExportPage, its texts in drawing order (or ExportPicture), EndExportPage, and
// FinishExport. Returns how many pages could not be drawn. Without KeepGoing a page that cannot be
// drawn raises EQRError("Page N cannot be drawn: REASON") before the file is written, so a failed
// export leaves no file.
int32_t ExportStoredPages(TQRExporter& filter, pagestore::TPageDocument& pages,
                          const TStoredExportOptions& options = {});

// "PDF document": the pages as a vector PDF, each at its own paper size; the file appears when the
// export has finished. Exported from a report run's texts alone (which carry no drawing) it still
// writes one empty page per report page.
class TQRPDFExportFilter : public TQRExporter {
public:
    explicit TQRPDFExportFilter(const std::string& fileName);
    ~TQRPDFExportFilter() override;

    void StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont& font) override;
    void EndExportPage() override {}
    void FinishExport() override;
    void NewExportPage() override;
    void ExportText(long double, long double, const gdi::TFont&, uint32_t, TAlignment, const std::string&) override {}
    bool TakesPictures() const override { return true; }
    void ExportPicture(const emf::TEmfPicture& picture) override;
    void ExportBlankPicture(int32_t width, int32_t length) override;

private:
    void Open();
    std::unique_ptr<TPdfPagesWriter> FWriter;
    int32_t FPaperWidth = 2100, FPaperLength = 2970;
    bool FPageHasPicture = true;
};

} // namespace pagimo::printer
