#pragma once
// Pages to a vector PDF, one PDF page per page at the page's own size: qrptool convert's work, kept
// apart so that other programs (the handbook benchmark) measure the very same conversion.

#include "tools/PageSource.h"

#include <string>

namespace pagimo::tools {

// Writes every page of source to the PDF file at path (under a temporary name, renamed at the end).
// Needs the Qt application object (EnsureGuiApplication). Throws EQRError when the file cannot be
// written or a page is damaged.
void WritePdf(TPageSource& source, const std::string& path);

} // namespace pagimo::tools
