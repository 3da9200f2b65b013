#include "printer/PdfWriter.h"

#include "pagestore/PageDocument.h"
#include "platform/gdi/PdfDevice.h"
#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"
#include "printer/PagePainter.h"

#include <QPageSize>

#include <cmath>

namespace pagimo::printer {

namespace {

constexpr int Resolution = 1200; // device units per inch of the PDF pages

} // namespace

TPdfPagesWriter::TPdfPagesWriter(const std::string& path, const std::string& title)
    : FPath(path), FTitle(title), FOutput(std::make_unique<TOutputFile>(path)) {
    // Written through the output file's descriptor; the document keeps the first write error.
    FDocument = std::make_unique<gdi::TPdfDocument>(FOutput->Fd(), "Pagimo", title);
}

TPdfPagesWriter::~TPdfPagesWriter() = default;

void TPdfPagesWriter::BeginPage(double widthMM, double heightMM) {
    if (!(widthMM > 0.1) || !(heightMM > 0.1)) widthMM = 210, heightMM = 297;
    // Whole points, as page sizes have always been written.
    const QSize points =
        QPageSize(QSizeF(widthMM, heightMM), QPageSize::Millimeter, QString(), QPageSize::ExactMatch).sizePoints();
    FPageHeightPt = points.height();
    FDocument->BeginPage(points.width(), points.height());
    ++FPages;
}

gdi::TPlayResult TPdfPagesWriter::AddPage(const emf::TEmfPicture& picture) {
    // The page's own sheet is its media box.
    const auto sheet = pagestore::SheetOf(picture.Header());
    const double widthMM = sheet ? sheet->WidthTenths / 10.0 : 210, heightMM = sheet ? sheet->HeightTenths / 10.0 : 297;
    BeginPage(widthMM, heightMM);
    const QRectF target(0, 0, widthMM / 25.4 * Resolution, heightMM / 25.4 * Resolution);
    gdi::TDeviceCaps caps = gdi::TDeviceCaps::Screen(static_cast<int32_t>(std::lround(target.width())),
                                                     static_cast<int32_t>(std::lround(target.height())), Resolution);
    caps.HorzSizeMM = static_cast<int32_t>(std::lround(widthMM));
    caps.VertSizeMM = static_cast<int32_t>(std::lround(heightMM));
    // Thin pens and hatches in pixels of the picture's own reference device.
    const double pixel = gdi::ScaleOf(gdi::TEmfPlayer::FrameTransform(picture.Header(), target));
    TPaintResult result;
    {
        gdi::TPdfDevice device(*FDocument, caps, FPageHeightPt, pixel);
        result = PlayPage(picture, device, target);
    }
    FDocument->EndPage();
    return result.Play;
}

void TPdfPagesWriter::AddBlankPage(double widthMM, double heightMM) {
    BeginPage(widthMM, heightMM);
    FDocument->EndPage();
}

void TPdfPagesWriter::Finish() {
    if (FPages == 0) throw EQRError("There are no pages to write");
    FDocument->Finish();
    if (FDocument->WriteError() != 0) throw EQRError(FormatMessage("Cannot create file %s", FPath));
    FOutput->Commit();
}

} // namespace pagimo::printer
