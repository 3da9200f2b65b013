#pragma once
// Pages to a vector PDF, one PDF page per page at the page's own size: qrptool convert's work, kept
// apart so that other programs (the handbook benchmark) measure the very same conversion. It is the
// "PDF document" export filter fed from the stored pages, as the viewer's export runs it.

#include "tools/PageSource.h"

#include <string>

namespace pagimo::tools {

// Writes every page of document to the PDF file at path ("-": standard output), under a temporary
// name put in place at the end. Needs the Qt application object (EnsureGuiApplication). Throws
// EQRError when the file cannot be written or, unless the policy goes on past them, a page is damaged.
void WritePdf(pagestore::TPageDocument& document, const std::string& path);
void WritePdf(pagestore::TPageDocument& document, const std::string& path, TDamagePolicy& damage, int first = 1,
              int last = 0);

} // namespace pagimo::tools
