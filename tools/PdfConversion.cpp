#include "tools/PdfConversion.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/system/Errors.h"
#include "tools/OutputFile.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace pagimo::tools {

namespace {

QPageSize PageSizeOf(const emf::TEmfPicture& picture) {
    return QPageSize(QSizeF(picture.WidthMM(), picture.HeightMM()), QPageSize::Millimeter, QString(),
                     QPageSize::ExactMatch);
}

} // namespace

void WritePdf(TPageSource& source, const std::string& path) {
    TOutputFile file(path);
    {
        QPdfWriter writer(file.TempPath());
        writer.setCreator(QStringLiteral("qrptool"));
        writer.setResolution(1200);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        emf::TEmfPicture picture = source.Page(1);
        writer.setPageSize(PageSizeOf(picture));
        QPainter painter;
        if (!painter.begin(&writer)) throw EQRError(FormatMessage("Cannot create file %s", path));
        for (int n = 1; n <= source.Count(); ++n) {
            if (n > 1) {
                picture = source.Page(n);
                writer.setPageSize(PageSizeOf(picture));
                writer.newPage();
            }
            const QRectF target(0, 0, picture.WidthMM() / 25.4 * writer.resolution(),
                                picture.HeightMM() / 25.4 * writer.resolution());
            gdi::TPlayResult result;
            {
                gdi::TPainterDevice device(painter);
                result = gdi::TEmfPlayer::Play(picture, device, target);
            }
            if (!result.Complete)
                throw EQRError("page " + std::to_string(n) + ": Metafile is not valid (its record chain is broken)");
        }
        painter.end();
    }
    file.Commit();
}

} // namespace pagimo::tools
