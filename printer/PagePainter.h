#pragma once
// The page painter: the one way a page of a document is drawn, into a target rectangle of any device.
// The preview (single page and continuous), the thumbnails, printing, the PDF writer and qrptool's
// render and thumbnail all draw pages through it, so a page looks the same, is clipped to its sheet
// the same way and is marked the same way when it cannot be drawn completely, wherever it is shown.
//
// The page's sheet is mapped onto the target rectangle (its frame onto the rectangle, as a metafile
// is played); the caller chooses the rectangle, and with it the scale and the aspect.

#include "pagestore/PageDocument.h"
#include "platform/gdi/EmfPlayer.h"

#include <QRectF>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

class QPainter;

namespace pagimo::gdi {
class TDevice;
}

namespace pagimo::printer {

enum TPageOutcome {
    pgComplete,   // drawn whole
    pgIncomplete, // drawn only in part: over its work budget (Reason)
    pgDamaged,    // cannot be drawn (Reason)
    pgPending,    // not stored yet: nothing drawn
    pgCancelled,  // abandoned by the caller's flag: what was drawn is of no use
};

struct TPaintResult {
    TPageOutcome Outcome = pgPending;
    std::string Reason;
    gdi::TPlayResult Play; // the player's own report (damaged records skipped, glyphs left out)
    bool Marked() const { return Outcome == pgIncomplete || Outcome == pgDamaged; }
};

struct TPaintOptions {
    // Polled by the player between records; once set the page is abandoned (pgCancelled).
    const std::atomic<bool>* Cancel = nullptr;
    // Views mark a page that cannot be drawn completely (DrawPageMark); printing and export, which
    // refuse such pages or leave them empty, do not.
    bool Mark = true;
};

// The core: picture played onto device, its frame mapped onto target (device coordinates) and
// clipped to it. Nothing is filled or marked: the device's page is the sheet.
TPaintResult PlayPage(const emf::TEmfPicture& picture, gdi::TDevice& device, const QRectF& target,
                      const std::atomic<bool>* cancel = nullptr);

// Page n onto a QPainter: the sheet filled white, the page played into target (painter coordinates)
// clipped to it with fixed render hints, and, for a page that cannot be drawn completely, the mark.
// The painter's state is as it was afterwards. A pending page draws nothing.
TPaintResult PaintPage(const pagestore::TDocumentPage& page, int32_t n, QPainter& painter, const QRectF& target,
                       const TPaintOptions& options = {});
TPaintResult PaintPage(pagestore::TPageDocument& document, int32_t n, QPainter& painter, const QRectF& target,
                       const TPaintOptions& options = {});

// The look of a page that cannot be drawn completely, over whatever of it was drawn: the sheet
// crossed out in red from corner to corner, the reason in a white box across its middle.
void DrawPageMark(QPainter& painter, const QRectF& sheet, const QString& text);
// The mark's text: "Page N cannot be drawn" and the reason, or "Page N cannot be drawn completely: REASON".
QString PageMarkText(int32_t n, const TPaintResult& result);

// The rectangle a page of the given size (any unit) takes inside area when it is scaled to fit with
// its aspect kept, at area's top-left corner: how a stored page is placed on the printable area.
QRectF FitInto(const QSizeF& page, const QRectF& area);

} // namespace pagimo::printer
