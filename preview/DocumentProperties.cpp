#include "preview/DocumentProperties.h"

#include "pagestore/PageList.h"
#include "platform/system/LocalTime.h"
#include "printer/PrinterSettings.h"
#include "printer/QRPrinter.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace pagimo::preview {

QString SheetName(const pagestore::TPageSheet& sheet) {
    const double w = sheet.WidthTenths / 10.0, h = sheet.HeightTenths / 10.0;
    const QString size = QStringLiteral("%1 \u00d7 %2 mm").arg(std::lround(w)).arg(std::lround(h));
    using printer::TQRPaperSize;
    for (int i = static_cast<int>(TQRPaperSize::Letter); i < static_cast<int>(TQRPaperSize::CSheet); ++i) {
        const printer::TQRPaperInfo& paper = printer::PaperInfo(static_cast<TQRPaperSize>(i));
        const auto near = [](double a, double b) { return std::abs(a - b) <= 1.0; };
        const char* way = near(w, paper.WidthMM) && near(h, paper.LengthMM)   ? "portrait"
                          : near(w, paper.LengthMM) && near(h, paper.WidthMM) ? "landscape"
                                                                              : nullptr;
        if (way) return QStringLiteral("%1 %2, %3").arg(QLatin1String(paper.Name), QLatin1String(way), size);
    }
    return size;
}

QString PageRanges(const std::vector<int32_t>& pages) {
    QStringList parts;
    for (size_t i = 0; i < pages.size();) {
        size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1)
            ++j;
        parts << (j == i ? QString::number(pages[i]) : QStringLiteral("%1\u2013%2").arg(pages[i]).arg(pages[j]));
        i = j + 1;
    }
    return parts.join(QStringLiteral(", "));
}

TDocumentSurvey::TDocumentSurvey(std::shared_ptr<pagestore::TPageDocument> document)
    : FDocument(std::move(document)), FCount(FDocument ? FDocument->PageCount() : 0) {}

bool TDocumentSurvey::Step(int budgetMs) {
    QElapsedTimer clock;
    clock.start();
    while (FNext <= FCount) {
        const int32_t n = FNext++;
        const pagestore::TDocumentPage page = FDocument->Page(n);
        if (page.State == pagestore::TDocumentPage::dpDamaged) FDamaged.emplace_back(n, page.Problem);
        if (const auto sheet = FDocument->Sheet(n)) {
            auto it = std::find_if(FSheets.begin(), FSheets.end(), [&](const auto& s) { return s.first == *sheet; });
            if (it == FSheets.end()) it = FSheets.insert(FSheets.end(), {*sheet, {}});
            it->second.push_back(n);
        }
        if (clock.elapsed() >= budgetMs) break;
    }
    return FNext > FCount;
}

namespace {

QString FromStd(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

std::vector<std::pair<QString, QString>> DocumentFacts(printer::TQRPrinter& printer, const TDocumentSurvey& survey) {
    std::vector<std::pair<QString, QString>> facts;
    const bool loaded = printer.LoadedFromFile();
    pagestore::TQRPageList& pages = printer.Pages();
    if (loaded) {
        const QFileInfo file(FromStd(printer.FileName()));
        facts.emplace_back(QStringLiteral("File"), file.absoluteFilePath());
        facts.emplace_back(QStringLiteral("Size"), QLocale::system().formattedDataSize(file.size()) +
                                                       QStringLiteral(" (%1 bytes)").arg(file.size()));
    } else {
        facts.emplace_back(QStringLiteral("Report"), FromStd(printer.DocumentTitle()));
    }
    QString count = QString::number(printer.PageTotal());
    if (printer.DeclaredPages() != printer.PageTotal())
        count += QStringLiteral(" (the file declares %1)").arg(printer.DeclaredPages());
    facts.emplace_back(QStringLiteral("Pages"), count);
    QStringList sheets;
    for (const auto& [sheet, on] : survey.Sheets())
        sheets << SheetName(sheet) + QStringLiteral(": ") +
                      (survey.Sheets().size() == 1 ? QStringLiteral("all pages") : PageRanges(on));
    const bool done = survey.PagesRead() >= survey.PageCount();
    const QString reading =
        QStringLiteral("reading pages\u2026 %1 of %2").arg(survey.PagesRead()).arg(survey.PageCount());
    facts.emplace_back(QStringLiteral("Sheets"), done ? sheets.join(QLatin1Char('\n')) : reading);
    if (loaded) {
        const std::string written = DaysToIso(pages.Header().TimeStamp);
        facts.emplace_back(QStringLiteral("Written"),
                           written.empty() ? QStringLiteral("unknown")
                                           : FromStd(written).replace(QLatin1Char('T'), QLatin1Char(' ')));
    }
    facts.emplace_back(QStringLiteral("Compression"),
                       pages.Compressed() ? QStringLiteral("splay coded") : QStringLiteral("none"));
    QStringList damaged;
    for (const auto& [n, reason] : survey.Damaged())
        damaged << QStringLiteral("page %1: %2").arg(n).arg(FromStd(reason));
    if (!printer.OpenProblem().empty()) damaged << FromStd(printer.OpenProblem());
    facts.emplace_back(QStringLiteral("Damaged pages"), !done               ? reading
                                                        : damaged.isEmpty() ? QStringLiteral("none")
                                                                            : damaged.join(QLatin1Char('\n')));
    return facts;
}

} // namespace pagimo::preview
