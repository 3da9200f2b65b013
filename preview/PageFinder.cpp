#include "preview/PageFinder.h"

#include <QElapsedTimer>

#include <algorithm>

namespace pagimo::preview {

void TPageFinder::Start(int32_t pageCount, int32_t fromPage, const QString& needle, const TFindOptions& options,
                        TFetch fetch) {
    FPageCount = std::max(0, pageCount);
    FFrom = std::clamp(fromPage, 1, std::max(1, FPageCount));
    FNext = 0;
    FNeedle = needle;
    FOptions = options;
    FFetch = std::move(fetch);
    FHits.clear();
    FHitCount = 0;
}

bool TPageFinder::Step(int budgetMs) {
    QElapsedTimer timer;
    timer.start();
    while (Running()) {
        const int32_t page = (FFrom - 1 + FNext) % FPageCount + 1;
        ++FNext;
        if (std::shared_ptr<const emf::TEmfPicture> picture = FFetch ? FFetch(page) : nullptr) {
            std::vector<QRectF> hits = FindOnPage(PageTextOf(*picture), FNeedle, FOptions);
            if (!hits.empty()) {
                FHitCount += static_cast<int32_t>(hits.size());
                FHits[page] = std::move(hits);
            }
        }
        if (timer.elapsed() >= budgetMs) break;
    }
    return !Running();
}

void TPageFinder::Cancel() {
    FNext = FPageCount;
    FFetch = nullptr;
}

const std::vector<QRectF>& TPageFinder::HitsOn(int32_t page) const {
    static const std::vector<QRectF> none;
    const auto it = FHits.find(page);
    return it == FHits.end() ? none : it->second;
}

} // namespace pagimo::preview
