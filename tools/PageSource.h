#pragma once
// The pages qrptool's drawing commands work on: a QRP file's pages or a bare enhanced metafile as a page
// document, and the damaged-page policy they share.

#include "pagestore/PageDocument.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

namespace pagimo::tools {

class TProgress;

// Opens a QRP file (its page list) or a bare .emf file (a document of one page), told apart by
// content; throws EQRError with the system's message when the file cannot be opened or is not valid.
// A stand-alone metafile cut short is drawn up to its last whole record: its page is ready, with
// Partial saying what is missing.
std::unique_ptr<pagestore::TPageDocument> OpenDocument(const std::string& path);

// Page n's picture; throws EQRError("Page N cannot be drawn: REASON") for a page that cannot be drawn.
std::shared_ptr<const emf::TEmfPicture> DrawablePage(pagestore::TPageDocument& document, int n);

// document, with its pages counted on progress as they are asked for: asking for page n tells that the
// pages from first up to it are done (commands that go through pages once in order: convert, export).
std::unique_ptr<pagestore::TPageDocument> CountedPages(std::unique_ptr<pagestore::TPageDocument> document,
                                                       TProgress& progress, int first);

// What a command does with pages that cannot be drawn. Without --keep-going the first one stops the
// command (an error, exit status 1, no output). With it, each is named on standard error, takes its
// place as an empty page of the previous page's size, and the command ends with exit status 1.
class TDamagePolicy {
public:
    // skipped: what becomes of a damaged page when going on, as stderr says it.
    TDamagePolicy(const char* command, bool keepGoing, const char* skipped = "left empty")
        : FCommand(command), FSkipped(skipped), FKeepGoing(keepGoing) {}
    bool KeepGoing() const { return FKeepGoing; }
    // Page n of the document; a damaged one when going on (reported), which the command draws marked
    // or leaves empty; throws otherwise.
    pagestore::TDocumentPage Take(pagestore::TPageDocument& document, int n);
    // The same for page n read already (by a worker thread).
    pagestore::TDocumentPage Take(pagestore::TDocumentPage page, int n);
    // Without --keep-going, checks pages first..last before anything is written (commands that write
    // one file per page); throws for the first damaged one.
    void CheckFirst(pagestore::TPageDocument& document, int first, int last) const;
    // Reports a damaged page found by other means (the export driver).
    void Damaged(int n, const std::string& reason);
    // A page that was drawn only in part (over its work budget): named on standard error with
    // --keep-going; otherwise it stops the command like a damaged page. Either way exit status 1.
    void Incomplete(int n, const std::string& reason);
    // A page that holds less than its file promised (TDocumentPage::Partial) and was drawn as far as it
    // goes: named on standard error, exit status 1, whether or not going on.
    void Partial(int n, const std::string& reason);
    int DamagedPages() const { return FDamaged; }
    int ExitStatus() const; // ExitOk, or ExitFailure when a page was damaged

private:
    const char* FCommand;
    const char* FSkipped;
    bool FKeepGoing;
    int FDamaged = 0;
};

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
