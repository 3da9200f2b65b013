#pragma once
// The pages qrptool's drawing commands work on: a QRP file's pages or a bare enhanced metafile.

#include "platform/emf/EmfPicture.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace pagimo::tools {

class TPageSource {
public:
    virtual ~TPageSource() = default;
    // Opens a QRP file or a bare .emf file (told apart by content); throws EQRError with the system's
    // message when the file cannot be opened or is not valid.
    static std::unique_ptr<TPageSource> Open(const std::string& path);

    virtual int Count() const = 0;
    // Page n (1-based); throws EQRError("Metafile is not valid") for a damaged page.
    virtual emf::TEmfPicture Page(int n) = 0;
};

// Creates the Qt application object the drawing commands need (offscreen unless a platform is
// chosen) and points fontconfig at the project's font aliases unless FONTCONFIG_FILE is set.
void EnsureGuiApplication();

// Parses "--page N" / "--pages A-B" against a page count; throws EUsage for malformed or
// out-of-range values. Returns the inclusive range.
std::pair<int, int> PageRange(const std::optional<std::string>& page, const std::optional<std::string>& pages,
                              int count);

} // namespace pagimo::tools
