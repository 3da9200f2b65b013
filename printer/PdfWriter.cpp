#include "printer/PdfWriter.h"

#include "platform/gdi/PainterDevice.h"
#include "platform/system/Errors.h"
#include "platform/system/OutputFile.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace pagimo::printer {

namespace {

constexpr int Resolution = 1200; // device units per inch of the PDF pages

QPageSize PageSizeMM(double widthMM, double heightMM) {
    return QPageSize(QSizeF(widthMM, heightMM), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
}

} // namespace

TPdfPagesWriter::TPdfPagesWriter(const std::string& path, const std::string& title)
    : FPath(path), FTitle(title), FOutput(std::make_unique<TOutputFile>(path)), FFile(std::make_unique<QFile>()) {
    // Qt writes through a file of ours, so that every write error is seen (QFile keeps it).
    if (!FFile->open(FOutput->Fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        throw EQRError(FormatMessage("Cannot create file %s", path));
    FWriter = std::make_unique<QPdfWriter>(FFile.get());
    FWriter->setCreator(QStringLiteral("Pagimo"));
    if (!title.empty()) FWriter->setTitle(QString::fromStdString(title));
    FWriter->setResolution(Resolution);
    FWriter->setPageMargins(QMarginsF(0, 0, 0, 0));
    FPainter = std::make_unique<QPainter>();
}

TPdfPagesWriter::~TPdfPagesWriter() {
    if (FPainter && FPainter->isActive()) FPainter->end();
}

void TPdfPagesWriter::BeginPage(double widthMM, double heightMM) {
    if (!(widthMM > 0.1) || !(heightMM > 0.1)) widthMM = 210, heightMM = 297;
    FWriter->setPageSize(PageSizeMM(widthMM, heightMM));
    if (FPages == 0) {
        if (!FPainter->begin(FWriter.get())) throw EQRError(FormatMessage("Cannot create file %s", FPath));
    } else if (!FWriter->newPage()) {
        throw EQRError(FormatMessage("Cannot create file %s", FPath));
    }
    ++FPages;
}

gdi::TPlayResult TPdfPagesWriter::AddPage(const emf::TEmfPicture& picture) {
    BeginPage(picture.WidthMM(), picture.HeightMM());
    const QRectF target(0, 0, picture.WidthMM() / 25.4 * Resolution, picture.HeightMM() / 25.4 * Resolution);
    gdi::TPainterDevice device(*FPainter);
    return gdi::TEmfPlayer::Play(picture, device, target);
}

void TPdfPagesWriter::AddBlankPage(double widthMM, double heightMM) {
    BeginPage(widthMM, heightMM);
}

void TPdfPagesWriter::Finish() {
    if (FPages == 0) throw EQRError("There are no pages to write");
    const bool ended = FPainter->end();
    const bool written = ended && FFile->flush() && FFile->error() == QFileDevice::NoError;
    FFile->close();
    if (!written) throw EQRError(FormatMessage("Cannot create file %s", FPath));
    FOutput->Commit();
}

} // namespace pagimo::printer
