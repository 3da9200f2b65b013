#pragma once
// The pages qrptool's drawing commands work on: a QRP file's pages or a bare enhanced metafile, and
// the damaged-page policy they share.

#include "platform/emf/EmfPicture.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace pagimo::printer {
struct TStoredPages;
}

namespace pagimo::tools {

class TProgress;

class TPageSource {
public:
    virtual ~TPageSource() = default;
    // Opens a QRP file or a bare .emf file (told apart by content); throws EQRError with the system's
    // message when the file cannot be opened or is not valid.
    static std::unique_ptr<TPageSource> Open(const std::string& path);

    virtual int Count() const = 0;
    // Page n (1-based) as drawing needs it: reached, decoded and its records walkable to the end; none
    // and the reason when it cannot be drawn.
    virtual std::unique_ptr<emf::TEmfPicture> Checked(int n, std::string& reason) = 0;
    // Why page n, though it can be drawn, holds less than its file promised (an .emf file cut short,
    // drawn up to its last whole record); empty for a whole page.
    virtual std::string Incomplete(int) const { return {}; }
    // Page n; throws EQRError("Page N cannot be drawn: REASON") for a damaged page.
    emf::TEmfPicture Page(int n);
    // The pages as the export driver takes them.
    printer::TStoredPages Stored();
};

// What a command does with pages that cannot be drawn. Without --keep-going the first one stops the
// command (an error, exit status 1, no output). With it, each is named on standard error, takes its
// place as an empty page of the previous page's size, and the command ends with exit status 1.
class TDamagePolicy {
public:
    TDamagePolicy(const char* command, bool keepGoing) : FCommand(command), FKeepGoing(keepGoing) {}
    bool KeepGoing() const { return FKeepGoing; }
    // Page n of source, or none for a damaged page when going on (reported); throws otherwise.
    std::unique_ptr<emf::TEmfPicture> Take(TPageSource& source, int n);
    // Without --keep-going, checks pages first..last before anything is written (commands that write
    // one file per page); throws for the first damaged one.
    void CheckFirst(TPageSource& source, int first, int last) const;
    // Reports a damaged page found by other means (the export driver).
    void Damaged(int n, const std::string& reason);
    // A page that was drawn only in part (over its work budget): named on standard error with
    // --keep-going; otherwise it stops the command like a damaged page. Either way exit status 1.
    void Incomplete(int n, const std::string& reason);
    // A page that holds less than its file promised (TPageSource::Incomplete) and was drawn as far as it
    // goes: named on standard error, exit status 1, whether or not going on.
    void Partial(int n, const std::string& reason);
    int DamagedPages() const { return FDamaged; }
    int ExitStatus() const; // ExitOk, or ExitFailure when a page was damaged

private:
    const char* FCommand;
    bool FKeepGoing;
    int FDamaged = 0;
};

// source, with its pages counted on progress as they are asked for: asking for page n tells that the
// pages from first up to it are done (commands that go through pages once in order: convert, export).
std::unique_ptr<TPageSource> CountedPages(std::unique_ptr<TPageSource> source, TProgress& progress, int first);

// Pages whose glyph-index text needs a font that is not installed (only a substitute is, whose glyph
// order differs): the first page naming a face is told on standard error, once per face and command.
class TMissingFontNotice {
public:
    explicit TMissingFontNotice(const char* command) : FCommand(command) {}
    void Note(int page, const std::string& face, uint32_t droppedGlyphs);

private:
    const char* FCommand;
    std::set<std::string> FTold;
};

// Creates the Qt application object the drawing commands need (offscreen unless a platform is
// chosen) and points fontconfig at the project's font aliases unless FONTCONFIG_FILE is set.
void EnsureGuiApplication();

// A page range as commands take it: "N" or "A-B" with 1 <= A <= B; throws EUsage naming option.
std::pair<int, int> ParsePageRange(const std::string& text, const std::string& option);

// Parses "--page N" / "--pages A-B" against a page count; throws EUsage for malformed or
// out-of-range values. Returns the inclusive range (all pages when neither is given).
std::pair<int, int> PageRange(const std::optional<std::string>& page, const std::optional<std::string>& pages,
                              int count);

} // namespace pagimo::tools
