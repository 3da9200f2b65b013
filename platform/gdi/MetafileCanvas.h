#pragma once
// Recording pages as enhanced metafiles. The reference device is the 96 pixels-per-inch screen; logical
// units are its pixels. Every text run is stored with the dx array of our own measurement, so a player
// elsewhere puts each glyph where we measured it.

#include "platform/emf/EmfPicture.h"
#include "platform/emf/EmfWriter.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/Device.h"

#include <memory>

namespace pagimo::gdi {

// A device that writes EMF records: it compares each call's state with what it has selected and emits
// the object, mode and transform records for what changed, then the drawing record.
class TEmfRecorder : public TDevice {
public:
    // A picture of widthPx x heightPx reference-device pixels (the frame is that size in 0.01 mm).
    TEmfRecorder(int32_t widthPx, int32_t heightPx);
    ~TEmfRecorder() override;

    void DrawShape(const TShape& shape, const TDrawState& state) override;
    void DrawText(const TTextRun& run, const TDrawState& state) override;
    void DrawDib(const TDibDraw& draw, const TDrawState& state) override;
    TDeviceCaps Caps() const override;

    // Ends recording: writes EOF and the final header. The recorder is empty afterwards.
    emf::TEmfPicture Finish();

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

// The recording canvas of one page: OpenPictureCanvas makes one, ClosePictureCanvas calls Finish.
namespace detail {
struct TRecorderHolder {
    TRecorderHolder(int32_t widthPx, int32_t heightPx) : Recorder(widthPx, heightPx) {}
    TEmfRecorder Recorder;
};
} // namespace detail

class TMetafileCanvas : private detail::TRecorderHolder, public TCanvas {
public:
    TMetafileCanvas(int32_t widthPx, int32_t heightPx);
    ~TMetafileCanvas() override;
    // Ends the page; the canvas must not be drawn on afterwards.
    emf::TEmfPicture Finish() { return Recorder.Finish(); }
};

} // namespace pagimo::gdi
