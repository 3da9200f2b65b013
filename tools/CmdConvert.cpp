// qrptool convert: pages to a vector PDF, one PDF page per page at the page's own size.

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/system/Errors.h"
#include "tools/Commands.h"
#include "tools/OutputFile.h"
#include "tools/PageSource.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>

namespace pagimo::tools {

namespace {

QPageSize PageSizeOf(const emf::TEmfPicture& picture) {
    return QPageSize(QSizeF(picture.WidthMM(), picture.HeightMM()), QPageSize::Millimeter, QString(),
                     QPageSize::ExactMatch);
}

int Run(TArgs& args) {
    const auto files = args.Positionals();
    if (files.size() != 2) throw EUsage{"input file and output PDF expected"};
    EnsureGuiApplication();
    auto source = TPageSource::Open(files[0]);
    TOutputFile file(files[1]);
    {
        QPdfWriter writer(file.TempPath());
        writer.setCreator(QStringLiteral("qrptool"));
        writer.setResolution(1200);
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        emf::TEmfPicture picture = source->Page(1);
        writer.setPageSize(PageSizeOf(picture));
        QPainter painter;
        if (!painter.begin(&writer)) throw EQRError(FormatMessage("Cannot create file %s", files[1]));
        for (int n = 1; n <= source->Count(); ++n) {
            if (n > 1) {
                picture = source->Page(n);
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
    return ExitOk;
}

} // namespace

extern const TCommand CmdConvert = {"convert", "convert pages to a vector PDF",
                                    "usage: qrptool convert FILE OUT.pdf\n"
                                    "  FILE is a QRP file or an .emf file; one PDF page per page, at its own size.\n",
                                    Run};

} // namespace pagimo::tools
