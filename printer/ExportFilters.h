#pragma once
// The export filters the program offers besides the QRP file: plain text, CSV and HTML. Each collects
// the texts of one page and writes that page when the page ends, so memory stays that of one page
// however long the report is.
//
// Files are written safely: StartExport creates a temporary file beside the target (so a target that
// cannot be written fails before the report runs), FinishExport fills it and renames it into place.
// A run that fails or is abandoned (the filter is destroyed without FinishExport) leaves neither the
// temporary file nor a half-written target behind; an existing target is kept until the rename.
// Every failure raises EQRError("Cannot create file <FileName>").

#include "platform/gdi/Canvas.h"
#include "printer/ExportFilter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo {
class TOutputFile;
} // namespace pagimo

namespace pagimo::printer {

// One line of text as a text control handed it over; Text is valid UTF-8.
struct TExportedText {
    long double X = 0, Y = 0; // tenths of a millimetre; X is the anchor of Alignment
    gdi::TFont Font;
    uint32_t Background = gdi::clWhite; // COLORREF; values above 0xFFFFFF (none, system colours) are clear
    TAlignment Alignment = taLeftJustify;
    std::string Text;
    size_t Order = 0; // arrival order on its page
};

struct TExportedPage {
    std::vector<TExportedText> Texts;
};

// Base of the filters that write one file: page bookkeeping and the safe file write.
class TQRFileExportFilter : public TQRExporter {
public:
    explicit TQRFileExportFilter(const std::string& fileName);
    ~TQRFileExportFilter() override;

    void StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont& font) override;
    // A page that was not begun (the report ends a page before opening its first one) is ignored.
    void EndExportPage() override;
    // Writes the rest of the file and puts it in place; raises EQRError when it cannot, and then
    // leaves nothing behind.
    void FinishExport() override;
    // A page still open is written first.
    void NewExportPage() override;
    // Invalid UTF-8 in text becomes U+FFFD. A text arriving outside a page opens one.
    void ExportText(long double x, long double y, const gdi::TFont& font, uint32_t background, TAlignment alignment,
                    const std::string& text) override;

    // Grid the report font gives (tenths of a millimetre): the height of one text row, 1.15 em, and
    // the width of one character cell, half an em, a fair average for proportional faces.
    long double RowHeight() const;
    long double CellWidth() const;

protected:
    // Writes one finished page through Emit.
    virtual void WritePage(const TExportedPage& page) = 0;
    // What comes before the first page and after the last one (nothing by default); the head is
    // written when the first page ends, or at the finish of a run without pages.
    virtual void WriteHead() {}
    virtual void WriteTail() {}
    // Called after everything is written to the temporary file of size bytes, before it is put in
    // place: a filter that must revise what it wrote (the text filter drops the margin columns) does
    // it here and returns the new size.
    virtual int64_t Complete(int fd, int64_t size) { (void)fd; return size; }
    // Appends to the output file (buffered); raises EQRError("Cannot create file ...") on failure.
    void Emit(std::string_view text);

    // Texts of one page grouped into printed lines: texts whose Y lies within tolerance of the
    // line's first Y share the line. Lines by Y, texts in a line by X (arrival order on ties).
    static std::vector<std::vector<const TExportedText*>> LinesOfPage(const TExportedPage& page, long double tolerance);
    // Tolerance for "the same printed line": well below the distance of two lines of the report font.
    long double LineTolerance() const { return RowHeight() * 0.4L; }
    // The title for documents that carry one: the report printer's document title, else the file's
    // base name.
    std::string Title() const;

    int32_t PaperWidth = 2100, PaperLength = 2970; // tenths of a millimetre
    gdi::TFont ReportFont;
    size_t PagesWritten = 0;

private:
    void OpenTarget();
    void Discard();
    void ClosePage();
    void FlushOutput();

    bool FPageOpen = false, FHeadWritten = false;
    TExportedPage FPage;
    std::string FBuffer;
    int64_t FWritten = 0;
    std::unique_ptr<TOutputFile> FOutput;
};

// "Text file": texts placed on a character grid by their positions. Rows follow Y (RowHeight apart,
// counted from the first line of each page; nearly equal Ys share a row, and distinct lines never
// share one), columns follow X (CellWidth wide; X anchors the right end of right-aligned and the
// middle of centred texts). A text that would overlap its left neighbour is pushed right, keeping one
// space between them, so no character is lost. The columns left of the leftmost text of the whole
// document are dropped (the report's left margin). Columns count characters, not bytes; combining
// marks take none. Pages are separated by a form feed at the start of every page after the first;
// lines end with LF; trailing spaces are dropped; control characters become spaces.
class TQRTextExportFilter : public TQRFileExportFilter {
public:
    using TQRFileExportFilter::TQRFileExportFilter;
    void StartExport(int32_t paperWidth, int32_t paperLength, const gdi::TFont& font) override;

protected:
    // Pages are written with their columns counted from the paper's left edge; Complete then drops
    // the leftmost text's columns from every line, in place.
    void WritePage(const TExportedPage& page) override;
    int64_t Complete(int fd, int64_t size) override;

private:
    long FLeftmost = -1;
};

// "CSV file": one record per printed line of a page (texts sharing a Y), its fields the line's texts
// in X order, so records may differ in their number of fields. Quoting as RFC 4180: a field holding
// a comma, a double quote, CR or LF is enclosed in double quotes, inner quotes doubled. UTF-8 without
// a byte order mark; records end with CRLF. Lines made only of empty texts are left out.
class TQRCSVExportFilter : public TQRFileExportFilter {
public:
    using TQRFileExportFilter::TQRFileExportFilter;

protected:
    void WritePage(const TExportedPage& page) override;
};

// "HTML document": a standalone UTF-8 HTML5 document with one box per page, sized to the paper in
// millimetres, and every text absolutely positioned in it (right and centred texts shifted back by
// their own width or half of it), with its face, size, weight, slant, underline and strike-out,
// colour and a background colour when it is neither white nor clear. The title is the report's.
class TQRHTMLExportFilter : public TQRFileExportFilter {
public:
    using TQRFileExportFilter::TQRFileExportFilter;

protected:
    void WriteHead() override;
    void WritePage(const TExportedPage& page) override;
    void WriteTail() override;
};

// Appends "Text file" (txt), "CSV file" (csv), "HTML document" (html) and "PDF document" (pdf,
// printer/StoredPageExport.h) to library, in this order;
// entries already there (same description and extension) are not added twice.
void RegisterStandardExportFilters(TQRExportFilterLibrary& library);

} // namespace pagimo::printer
