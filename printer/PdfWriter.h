#pragma once
// Page pictures as a vector PDF: one PDF page per picture at the picture's own paper size, drawn by
// the metafile player through the PDF device, so text stays text (selectable, found by search): one
// text object per text record, fonts subset once per document.
// qrptool convert, the "PDF document" export filter and the report command's PDF output all write
// through here.
//
// The file is written under a temporary name beside the target and put in place by Finish, which
// checks every write, the end of the document and the sync: a failure raises "Cannot create file %s"
// and leaves any old file as it was. Needs the Qt application object (fonts).

#include "platform/emf/EmfPicture.h"
#include "platform/gdi/EmfPlayer.h"

#include <memory>
#include <string>

namespace pagimo {
class TOutputFile;
}

namespace pagimo::gdi {
class TPdfDocument;
}

namespace pagimo::printer {

class TPdfPagesWriter {
public:
    // path "-" writes to standard output on Finish. title becomes the document's title.
    explicit TPdfPagesWriter(const std::string& path, const std::string& title = {});
    ~TPdfPagesWriter();
    TPdfPagesWriter(const TPdfPagesWriter&) = delete;
    TPdfPagesWriter& operator=(const TPdfPagesWriter&) = delete;

    // Draws picture as the next page, on its own sheet, through the page painter; returns what the
    // player reported.
    gdi::TPlayResult AddPage(const emf::TEmfPicture& picture);
    // An empty page of the given size (a page that could not be drawn keeps its place).
    void AddBlankPage(double widthMM, double heightMM);
    int32_t PageCount() const { return FPages; }
    // Ends the document and puts the file in place. Raises "Cannot create file %s"; a document
    // without pages raises "There are no pages to write".
    void Finish();

private:
    void BeginPage(double widthMM, double heightMM);

    std::string FPath, FTitle;
    std::unique_ptr<TOutputFile> FOutput;
    std::unique_ptr<gdi::TPdfDocument> FDocument;
    double FPageHeightPt = 0;
    int32_t FPages = 0;
};

} // namespace pagimo::printer
