#include "tools/PdfConversion.h"

#include "printer/StoredPageExport.h"

namespace pagimo::tools {

void WritePdf(pagestore::TPageDocument& document, const std::string& path) {
    TDamagePolicy stop("convert", false);
    WritePdf(document, path, stop);
}

void WritePdf(pagestore::TPageDocument& document, const std::string& path, TDamagePolicy& damage, int first, int last) {
    printer::TQRPDFExportFilter filter(path);
    printer::TStoredExportOptions options;
    options.First = first;
    options.Last = last;
    options.KeepGoing = damage.KeepGoing();
    options.OnDamagedPage = [&damage](int32_t n, const std::string& reason) { damage.Damaged(n, reason); };
    // Pages of a file cut short are written as far as their whole records go.
    options.OnPartialPage = [&damage](int32_t n, const std::string& missing) { damage.Partial(n, missing); };
    printer::ExportStoredPages(filter, document, options);
}

} // namespace pagimo::tools
