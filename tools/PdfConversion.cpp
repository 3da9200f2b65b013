#include "tools/PdfConversion.h"

#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PdfDevice.h"
#include "platform/system/Errors.h"
#include "tools/OutputFile.h"

#include <QPageSize>

#include <cmath>

namespace pagimo::tools {

namespace {

// Device units of the PDF pages: as fine as a printer's, so that the pictures' pixel grid maps on
// whole units.
constexpr int PdfResolution = 1200;

} // namespace

void WritePdf(TPageSource& source, const std::string& path) {
    TOutputFile file(path);
    {
        std::unique_ptr<gdi::TPdfDocument> document;
        try {
            document = std::make_unique<gdi::TPdfDocument>(file.TempPath().toStdString(), "qrptool");
        } catch (const EQRError&) {
            throw EQRError(FormatMessage("Cannot create file %s", path));
        }
        for (int n = 1; n <= source.Count(); ++n) {
            const emf::TEmfPicture picture = source.Page(n);
            // Whole points, as page sizes have always been written.
            const QSize points = QPageSize(QSizeF(picture.WidthMM(), picture.HeightMM()), QPageSize::Millimeter,
                                           QString(), QPageSize::ExactMatch)
                                     .sizePoints();
            const double widthPt = points.width(), heightPt = points.height();
            const QRectF target(0, 0, picture.WidthMM() / 25.4 * PdfResolution, picture.HeightMM() / 25.4 * PdfResolution);
            gdi::TDeviceCaps caps = gdi::TDeviceCaps::Screen(static_cast<int32_t>(std::lround(target.width())),
                                                             static_cast<int32_t>(std::lround(target.height())),
                                                             PdfResolution);
            caps.HorzSizeMM = static_cast<int32_t>(std::lround(picture.WidthMM()));
            caps.VertSizeMM = static_cast<int32_t>(std::lround(picture.HeightMM()));
            const double pixel = gdi::ScaleOf(gdi::TEmfPlayer::FrameTransform(picture.Header(), target));
            document->BeginPage(widthPt, heightPt);
            gdi::TPlayResult result;
            {
                gdi::TPdfDevice device(*document, caps, heightPt, pixel);
                result = gdi::TEmfPlayer::Play(picture, device, target);
            }
            document->EndPage();
            if (!result.Complete)
                throw EQRError("page " + std::to_string(n) + ": Metafile is not valid (its record chain is broken)");
        }
        document->Finish();
    }
    file.Commit();
}

} // namespace pagimo::tools
