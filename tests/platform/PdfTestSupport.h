#pragma once
// PDF output for the drawing tests: pictures written through the PDF device, pages read back with
// poppler's tools (pdftoppm, pdftotext) and, where installed, checked with qpdf.

#include "RenderCompare.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PdfDevice.h"

#include <QImage>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace pagimo::test {

inline bool HaveTool(const char* name) {
    return QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("command -v %1 >/dev/null")
                                                                              .arg(QString::fromUtf8(name))}) == 0;
}

// Writes the pages as qrptool convert does: each picture's frame at 1200 units per inch on a page of
// its own size. Returns the document's write error (0 when every write succeeded).
inline int WritePdfPages(const std::vector<const emf::TEmfPicture*>& pages, const std::string& path) {
    gdi::TPdfDocument document(path, "test");
    for (const emf::TEmfPicture* picture : pages) {
        const double widthPt = picture->WidthMM() / 25.4 * 72, heightPt = picture->HeightMM() / 25.4 * 72;
        const QRectF target(0, 0, picture->WidthMM() / 25.4 * 1200, picture->HeightMM() / 25.4 * 1200);
        const auto caps = gdi::TDeviceCaps::Screen(static_cast<int32_t>(target.width()),
                                                   static_cast<int32_t>(target.height()), 1200);
        document.BeginPage(widthPt, heightPt);
        {
            gdi::TPdfDevice device(document, caps, heightPt,
                                   gdi::ScaleOf(gdi::TEmfPlayer::FrameTransform(picture->Header(), target)));
            gdi::TEmfPlayer::Play(*picture, device, target);
        }
        document.EndPage();
    }
    document.Finish();
    return document.WriteError();
}

struct TToolRun {
    int Exit = -1;
    std::string Out, Err;
};

inline TToolRun RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

// Page n of a PDF rasterised by poppler at w x h pixels.
inline QImage RasterisePdf(const std::string& pdf, int page, int w, int h) {
    const QString base = QString::fromStdString(pdf) + QStringLiteral("-raster");
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-singlefile"), QStringLiteral("-f"),
                                         QString::number(page), QStringLiteral("-l"), QString::number(page),
                                         QStringLiteral("-scale-to-x"), QString::number(w), QStringLiteral("-scale-to-y"),
                                         QString::number(h), QString::fromStdString(pdf), base});
    return QImage(base + QStringLiteral(".png"));
}

} // namespace pagimo::test
