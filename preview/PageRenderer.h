#pragma once
// Pages drawn off the user-interface thread: a view asks for page n at a size, a device-pixel ratio
// and (for a page too large to draw whole) a part of the sheet, and gets an image back later, drawn by
// the page painter on a worker thread. Requests are objects with a cancellation flag that the player
// polls between records, so a page scrolled out of view stops being drawn. The images last drawn are
// kept in a cache bounded in bytes; while a page is being drawn anew its previous image, drawn at
// another size, may stand in for it.
//
// The page picture is read from the document on the worker too (the page list is safe to read from
// several threads), so neither decoding nor drawing holds up the event loop.

#include "pagestore/PageDocument.h"
#include "printer/PagePainter.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace pagimo::preview {

// A page image: page n's sheet drawn at Size (device-independent pixels) and Ratio, turned by Turns
// quarters clockwise (Size is the turned sheet's), or the part Area of it (in sheet pixels at that
// size; the whole sheet for a page of ordinary size).
struct TPageImage {
    QSize Size;
    qreal Ratio = 1;
    QRect Area;
    int Turns = 0;
    QImage Image; // Area.size() x Ratio device pixels
    printer::TPaintResult Result;
};

class TPageRenderer : public QObject {
public:
    // cacheBytes: what the images kept may take together; cachePages: how many pages they may be.
    // threads: the workers drawing at once.
    explicit TPageRenderer(QObject* parent = nullptr, size_t cacheBytes = 160u << 20, size_t cachePages = 16,
                           int threads = 2);
    ~TPageRenderer() override;

    // The pages come from document from now on; everything drawn or asked for so far is dropped.
    void SetDocument(std::shared_ptr<pagestore::TPageDocument> document);
    const std::shared_ptr<pagestore::TPageDocument>& Document() const { return FDocument; }

    // The image of page n drawn at size and ratio covering area (sheet pixels), turned by turns quarters:
    // when it is drawn, that image (*exact set); otherwise the request is made (once) and the page's
    // last image at another size or of another part, if any, comes back as a stand-in (*exact
    // cleared), or none. A stand-in may be turned otherwise than asked.
    const TPageImage* Image(int32_t n, QSize size, qreal ratio, const QRect& area, bool* exact, int turns = 0);
    // The last image drawn of page n, whatever its size; none when there is none.
    const TPageImage* LastImage(int32_t n) const;
    // A request for page n is under way.
    bool Drawing(int32_t n) const { return FRequests.count(n) != 0; }
    bool Idle() const { return FRequests.empty(); }
    // Abandons the requests for pages keep does not want (scrolled out of view).
    void CancelUnless(const std::function<bool(int32_t)>& keep);
    // Abandons every request and waits for the workers; images already drawn stay.
    void Stop();
    // Runs the event loop until every request has come back (tests and benchmarks).
    void WaitUntilIdle();

    // Runs on the user-interface thread when a page has been drawn (and cached).
    std::function<void(int32_t n, const TPageImage& image)> OnDrawn;

    size_t CachedBytes() const { return FCachedBytes; }
    size_t CachedPages() const { return FCache.size(); }
    uint64_t RequestsMade() const { return FRequestsMade; }

    // Above this many device pixels a page is drawn in parts, the part in view.
    static constexpr int64_t MaxWholePixels = 12'000'000;

private:
    struct TRequest {
        QSize Size;
        qreal Ratio = 1;
        QRect Area;
        int Turns = 0;
        std::shared_ptr<std::atomic<bool>> Cancel;
    };
    struct TEntry {
        TPageImage Page;
        uint64_t Used = 0;
    };
    void Drawn(int generation, int32_t n, TPageImage image);
    void Trim();

    std::shared_ptr<pagestore::TPageDocument> FDocument;
    QThreadPool FPool;
    std::map<int32_t, TRequest> FRequests;
    std::map<int32_t, TEntry> FCache;
    size_t FCacheLimit;
    size_t FCachePages;
    size_t FCachedBytes = 0;
    uint64_t FClock = 0;
    uint64_t FRequestsMade = 0;
    int FGeneration = 0;
};

} // namespace pagimo::preview
