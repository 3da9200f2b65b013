#pragma once
// Plays the EMF+ records of a picture (EMR_COMMENT records with the "EMF+" signature) onto a TDevice.
// TEmfPlayer asks Prepare first: when the picture has EMF+ records and the player knows every one of
// them, the EMF+ records are drawn, and of the GDI records only those between a GetDC record and the
// next EMF+ record are played (the rest is the GDI fallback of dual pictures). Otherwise (unknown EMF+
// records, counted by Unknown()) the picture is played from its GDI records alone, unless it has no
// GDI records to fall back to: then its known EMF+ records are drawn and the unknown ones skipped.
// Records are read through their layouts (EmfPlusLayouts.h) and dispatched through a table of type,
// minimum size and handler: a record shorter than its fixed fields counts as damaged, one of an unknown
// kind as skipped; object ids are 0..63.
// Drawing goes through the GDI player's TPageGuard, so EMF+ figures get the same coordinate bound and
// count against the same work budget as GDI records (EPageOverBudget leaves Intercept).

#include "platform/emf/EmfPicture.h"
#include "platform/emf/RecordReader.h"
#include "platform/gdi/Device.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PageGuard.h"

#include <memory>
#include <span>

namespace pagimo::gdi {

class TEmfPlusPlayer {
public:
    TEmfPlusPlayer(TPageGuard& device, const TPlayOptions& options, const emf::TEmfHeader& header);
    ~TEmfPlusPlayer();
    // True when bytes hold EMF+ records to draw: every one known, or no GDI records beside them.
    // Unknown() counts the unknown ones.
    bool Prepare(std::span<const uint8_t> bytes);
    // Called by the GDI player for every record after the header: true when the record is consumed
    // here (an EMF+ comment) or belongs to the GDI fallback and must not be played.
    bool Intercept(const emf::TRecordReader& record);
    uint32_t Records() const;
    uint32_t Unknown() const;
    uint32_t Damaged() const;
    uint32_t Skipped() const; // EMF+ records of kinds not known, passed over while playing

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

} // namespace pagimo::gdi
