#include "tools/PdfConversion.h"

#include "printer/StoredPageExport.h"

namespace pagimo::tools {

void WritePdf(TPageSource& source, const std::string& path) {
    TDamagePolicy stop("convert", false);
    WritePdf(source, path, stop);
}

void WritePdf(TPageSource& source, const std::string& path, TDamagePolicy& damage, int first, int last) {
    printer::TQRPDFExportFilter filter(path);
    printer::TStoredExportOptions options;
    options.First = first;
    options.Last = last;
    options.KeepGoing = damage.KeepGoing();
    options.OnDamagedPage = [&damage](int32_t n, const std::string& reason) { damage.Damaged(n, reason); };
    printer::ExportStoredPages(filter, source.Stored(), options);
}

} // namespace pagimo::tools
