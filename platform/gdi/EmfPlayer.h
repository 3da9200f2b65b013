#pragma once
// PlayEnhMetaFile: walks a picture's records, keeps the device-context state (object table, selected
// objects, mapping mode and world transform, clip, path, SaveDC stack) and drives a TDevice.
// Records are checked against the file and their own fields before use; a damaged record is skipped
// (or ends playback when the record chain itself is broken), unknown records are skipped by size,
// EMF+ records are drawn by TEmfPlusPlayer when it knows them all (see EmfPlusPlayer.h).

#include "platform/emf/EmfPicture.h"
#include "platform/gdi/Device.h"
#include "platform/gdi/PageGuard.h"

#include <QRectF>
#include <QTransform>

#include <atomic>
#include <cstdint>
#include <span>
#include <string>

namespace pagimo::gdi {

struct TPlayResult {
    uint32_t Records = 0; // records read
    uint32_t Skipped = 0; // unknown or unsupported records
    uint32_t Damaged = 0; // records refused as malformed
    bool Complete = true; // false: playback ended before EOF (broken record chain, or over budget)
    // The page needed more work than its budget allows: it was drawn simplified (Complete) or stopped
    // (not Complete); Problem says what ran out.
    bool OverBudget = false;
    std::string Problem;
    TPlayWork Work; // what the page took
    uint32_t PlusRecords = 0; // EMF+ records drawn
    uint32_t PlusUnknown = 0; // EMF+ records of kinds not drawn; the page was played from its GDI records
    // Glyph-index text (ETO_GLYPH_INDEX) whose indices lie past what the installed face can show: the
    // face the page names is not installed and a substitute's glyph order differs. Those glyphs draw
    // nothing; the face named by the first such text.
    uint32_t DroppedGlyphs = 0;
    std::string DroppedGlyphFace;
    bool Cancelled = false; // the caller's cancellation flag stopped playback (not Complete)
};

struct TPlayOptions {
    // Maps the reference device's pixels (the coordinate space of the picture's frame and bounds) to the
    // device; set by the callers below from the destination rectangle.
    QTransform DeviceTransform;
    // The caller's clip in device pixels, intersected with whatever the picture clips.
    std::shared_ptr<const QPainterPath> Clip;
    // Stops after this many records (hostile files with millions of tiny records); 0: no limit.
    uint32_t MaxRecords = 0;
    // The page's work budget (points, stroked length, clips).
    TWorkLimits Limits;
    // Polled between records: once set, playback stops there (a caller that no longer wants the page).
    const std::atomic<bool>* Cancel = nullptr;
};

class TEmfPlayer {
public:
    // Plays bytes (a whole EMF) onto device. Never throws for malformed data.
    static TPlayResult Play(std::span<const uint8_t> bytes, TDevice& device, const TPlayOptions& options);
    // PlayEnhMetaFile semantics: the picture's frame mapped onto destination (device pixels), after
    // base (an extra transform of the caller, e.g. a canvas's own mapping).
    static TPlayResult Play(const emf::TEmfPicture& picture, TDevice& device, const QRectF& destination,
                            std::shared_ptr<const QPainterPath> clip = nullptr);
    // The transform from the picture's reference-device pixels to destination.
    static QTransform FrameTransform(const emf::TEmfHeader& header, const QRectF& destination);
};

} // namespace pagimo::gdi
