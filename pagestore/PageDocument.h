#pragma once
// TPageDocument: what everything that shows, prints, exports or converts pages reads them through.
// A document has a page count; page n comes as its picture or as the reason it cannot be had, and each
// page has its own sheet (the frame its picture was recorded on), which need not be any other page's.
//
// The page list implements it for recorded and loaded pages; qrptool adds a stand-alone metafile.
// Page and Sheet may be called from any thread (a preview draws pages on a worker); implementations
// guard their own state.

#include "platform/emf/EmfPicture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace pagimo::pagestore {

// A page's sheet in tenths of a millimetre and in pixels of the 96-pixels-per-inch reference device.
struct TPageSheet {
    int32_t WidthTenths = 0, HeightTenths = 0;
    int32_t WidthPixels = 0, HeightPixels = 0;
    bool operator==(const TPageSheet&) const = default;
};

// The sheet a picture's header describes: its frame, or its bounds when the frame is unusable.
// None when neither gives a sheet of at least a pixel.
std::optional<TPageSheet> SheetOf(const emf::TEmfHeader& header);

// What a document gives for page n.
struct TDocumentPage {
    enum TState {
        dpReady,   // Picture holds the page
        dpPending, // not stored yet (a report still recording it)
        dpDamaged, // cannot be drawn; Problem says why
    };
    TState State = dpPending;
    std::shared_ptr<const emf::TEmfPicture> Picture;
    std::string Problem;
    // Set for a ready page that holds less than its file promised (a stand-alone metafile cut short,
    // drawn up to its last whole record): what is missing.
    std::string Partial;
};

// A page whose picture has been read: ready when its records can be walked to the end, damaged (with
// the reason) otherwise. The one check both page lists and stand-alone metafiles go through.
TDocumentPage CheckedDocumentPage(std::shared_ptr<const emf::TEmfPicture> picture);

class TPageDocument {
public:
    virtual ~TPageDocument() = default;
    // The pages the document declares (those that cannot be read included).
    virtual int32_t PageCount() = 0;
    // Page n (1-based) as drawing needs it: reached, decoded and its records walkable to the end.
    // Never throws for damaged data.
    virtual TDocumentPage Page(int32_t n) = 0;
    // Page n's own sheet; none when it cannot be read (not stored yet, or damaged). Cheap: only the
    // page's header is read, once.
    virtual std::optional<TPageSheet> Sheet(int32_t n) = 0;
};

} // namespace pagimo::pagestore
