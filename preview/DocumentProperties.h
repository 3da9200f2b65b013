#pragma once
// What the Properties dialog tells of a document: the file, its size, the pages, the sheet sizes with
// the pages on each, when it was written, whether it is compressed, and the pages that cannot be drawn.
// Sheets and damaged pages come from reading every page, which a survey does in slices, so that the
// dialog answers while a long document is read. Free of widgets, so that tables can check it.

#include "pagestore/PageDocument.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::preview {

// "A4 portrait, 210 × 297 mm" (a paper size of the printer's table within a millimetre either way),
// else "200 × 188 mm".
QString SheetName(const pagestore::TPageSheet& sheet);
// Page numbers as ranges: "1–3, 7, 9–10".
QString PageRanges(const std::vector<int32_t>& pages);

class TDocumentSurvey {
public:
    explicit TDocumentSurvey(std::shared_ptr<pagestore::TPageDocument> document);

    // Reads pages for about budgetMs milliseconds (at least one); returns whether every page is read.
    bool Step(int budgetMs);
    int32_t PagesRead() const { return FNext - 1; }
    int32_t PageCount() const { return FCount; }
    // The sheets met so far, in the order of their first page, each with its pages.
    const std::vector<std::pair<pagestore::TPageSheet, std::vector<int32_t>>>& Sheets() const { return FSheets; }
    // The pages that cannot be drawn, with the reason.
    const std::vector<std::pair<int32_t, std::string>>& Damaged() const { return FDamaged; }

private:
    std::shared_ptr<pagestore::TPageDocument> FDocument;
    int32_t FCount = 0, FNext = 1;
    std::vector<std::pair<pagestore::TPageSheet, std::vector<int32_t>>> FSheets;
    std::vector<std::pair<int32_t, std::string>> FDamaged;
};

// The facts of the printer's pages as label and value pairs, the survey's as far as it has gone.
std::vector<std::pair<QString, QString>> DocumentFacts(printer::TQRPrinter& printer, const TDocumentSurvey& survey);

} // namespace pagimo::preview
