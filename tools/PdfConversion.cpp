#include "tools/PdfConversion.h"

#include "printer/StoredPageExport.h"

#include <algorithm>

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
    // Pages of a file cut short were written as far as their whole records go.
    const int from = std::max(first, 1), to = last > 0 ? std::min(last, source.Count()) : source.Count();
    for (int n = from; n <= to; ++n)
        if (const std::string partial = source.Incomplete(n); !partial.empty()) damage.Partial(n, partial);
}

} // namespace pagimo::tools
