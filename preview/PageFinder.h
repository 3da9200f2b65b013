#pragma once
// A search through the pages of a document in steps, so that the window stays usable while a long
// document is searched: each step plays pages through the text-collecting device for a given time
// and collects the hits. The search starts at a given page and wraps round to it; the hits are kept
// by page, so that they read in document order whatever page the search began at.

#include "platform/emf/EmfPicture.h"
#include "preview/PageText.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace pagimo::preview {

class TPageFinder {
public:
    // Page n's picture, or none when it cannot be drawn (the page then has no hits).
    using TFetch = std::function<std::shared_ptr<const emf::TEmfPicture>(int32_t n)>;

    void Start(int32_t pageCount, int32_t fromPage, const QString& needle, const TFindOptions& options, TFetch fetch);
    // Searches pages for about budgetMs milliseconds (at least one page); returns whether the search
    // has ended.
    bool Step(int budgetMs);
    void Cancel();

    bool Running() const { return FNext < FPageCount && FNeedle.size() > 0; }
    int32_t PagesSearched() const { return FNext; }
    int32_t PageCount() const { return FPageCount; }
    const QString& Needle() const { return FNeedle; }
    const TFindOptions& Options() const { return FOptions; }
    // Pages with hits, each with its hits in drawing order.
    const std::map<int32_t, std::vector<QRectF>>& Hits() const { return FHits; }
    int32_t HitCount() const { return FHitCount; }
    // The hits of one page (none when it has none or has not been searched yet).
    const std::vector<QRectF>& HitsOn(int32_t page) const;

private:
    int32_t FPageCount = 0, FFrom = 1, FNext = 0; // FNext: pages searched so far
    QString FNeedle;
    TFindOptions FOptions;
    TFetch FFetch;
    std::map<int32_t, std::vector<QRectF>> FHits;
    int32_t FHitCount = 0;
};

} // namespace pagimo::preview
