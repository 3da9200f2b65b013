#include "preview/PageRenderer.h"

#include "preview/PageLayout.h"

#include <QCoreApplication>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace pagimo::preview {

namespace {

size_t BytesOf(const QImage& image) {
    return static_cast<size_t>(image.sizeInBytes());
}

} // namespace

TPageRenderer::TPageRenderer(QObject* parent, size_t cacheBytes, size_t cachePages, int threads)
    : QObject(parent), FCacheLimit(cacheBytes), FCachePages(std::max<size_t>(cachePages, 1)) {
    FPool.setMaxThreadCount(std::max(1, threads));
}

TPageRenderer::~TPageRenderer() {
    Stop();
}

void TPageRenderer::SetDocument(std::shared_ptr<pagestore::TPageDocument> document) {
    for (auto& [n, request] : FRequests)
        request.Cancel->store(true);
    FRequests.clear();
    FCache.clear();
    FCachedBytes = 0;
    ++FGeneration; // what is still being drawn of the old document is dropped when it comes back
    FDocument = std::move(document);
}

const TPageImage* TPageRenderer::LastImage(int32_t n) const {
    const auto it = FCache.find(n);
    return it == FCache.end() ? nullptr : &it->second.Page;
}

const TPageImage* TPageRenderer::Image(int32_t n, QSize size, qreal ratio, const QRect& area, bool* exact, int turns) {
    turns = NormalTurns(turns);
    *exact = false;
    const QRect sheet(QPoint(0, 0), size);
    const QRect want = area.intersected(sheet);
    auto cached = FCache.find(n);
    if (cached != FCache.end()) {
        const TPageImage& image = cached->second.Page;
        if (image.Size == size && qFuzzyCompare(image.Ratio, ratio) && image.Turns == turns &&
            image.Area.contains(want)) {
            cached->second.Used = ++FClock;
            *exact = true;
            return &image;
        }
    }
    if (!FDocument || want.isEmpty()) return cached == FCache.end() ? nullptr : &cached->second.Page;

    auto running = FRequests.find(n);
    const bool covered = running != FRequests.end() && running->second.Size == size &&
                         qFuzzyCompare(running->second.Ratio, ratio) && running->second.Turns == turns &&
                         running->second.Area.contains(want);
    if (!covered) {
        if (running != FRequests.end()) running->second.Cancel->store(true);
        // A page of ordinary size is drawn whole; a larger one in the part asked for with a view's worth
        // of room around it, so that scrolling a little finds it drawn.
        QRect draw = sheet;
        const double pixels = static_cast<double>(size.width()) * size.height() * ratio * ratio;
        if (pixels > MaxWholePixels) {
            draw = want.adjusted(-want.width() / 2, -want.height() / 2, want.width() / 2, want.height() / 2)
                       .intersected(sheet);
            const double limit = std::sqrt(MaxWholePixels / (ratio * ratio));
            if (draw.width() * static_cast<double>(draw.height()) > limit * limit) draw = want;
        }
        TRequest request{size, ratio, draw, turns, std::make_shared<std::atomic<bool>>(false)};
        FRequests[n] = request;
        ++FRequestsMade;
        const int generation = FGeneration;
        std::shared_ptr<pagestore::TPageDocument> document = FDocument;
        FPool.start([this, document, n, request, generation] {
            TPageImage image{request.Size, request.Ratio, request.Area, request.Turns, {}, {}};
            if (request.Cancel->load()) {
                image.Result.Outcome = printer::pgCancelled;
            } else {
                const pagestore::TDocumentPage page = document->Page(n);
                image.Image = QImage(request.Area.size() * request.Ratio, QImage::Format_ARGB32_Premultiplied);
                if (image.Image.isNull()) {
                    image.Result.Outcome = printer::pgCancelled; // no memory for it now: asked for again later
                } else {
                    image.Image.setDevicePixelRatio(request.Ratio);
                    image.Image.fill(Qt::white);
                    QPainter painter(&image.Image);
                    painter.translate(-request.Area.topLeft());
                    // A turned sheet: the page is drawn upright at its own size and turned into place.
                    const QSize upright = TurnedSize(request.Size, request.Turns);
                    painter.setTransform(TurnTransform(upright, request.Turns), true);
                    printer::TPaintOptions options;
                    options.Cancel = request.Cancel.get();
                    image.Result = printer::PaintPage(page, n, painter, QRectF(QPointF(0, 0), upright), options);
                }
            }
            QMetaObject::invokeMethod(
                this,
                [this, generation, n, cancel = request.Cancel, image = std::move(image)]() mutable {
                    const auto it = FRequests.find(n);
                    if (it != FRequests.end() && it->second.Cancel == cancel) FRequests.erase(it);
                    Drawn(generation, n, std::move(image));
                },
                Qt::QueuedConnection);
        });
    }
    return cached == FCache.end() ? nullptr : &cached->second.Page;
}

void TPageRenderer::Drawn(int generation, int32_t n, TPageImage image) {
    if (generation != FGeneration) return;
    const printer::TPageOutcome outcome = image.Result.Outcome;
    // Neither an abandoned page nor one not stored yet is kept: both are asked for again.
    if (outcome == printer::pgCancelled || outcome == printer::pgPending) return;
    auto it = FCache.find(n);
    if (it != FCache.end()) {
        FCachedBytes -= BytesOf(it->second.Page.Image);
        FCache.erase(it);
    }
    FCachedBytes += BytesOf(image.Image);
    TEntry& entry = FCache[n];
    entry.Page = std::move(image);
    entry.Used = ++FClock;
    Trim();
    if (OnDrawn) {
        const auto kept = FCache.find(n);
        if (kept != FCache.end()) OnDrawn(n, kept->second.Page);
    }
}

// The images used longest ago go first; the one just drawn always stays.
void TPageRenderer::Trim() {
    while ((FCachedBytes > FCacheLimit || FCache.size() > FCachePages) && FCache.size() > 1) {
        auto oldest = std::min_element(FCache.begin(), FCache.end(),
                                       [](const auto& a, const auto& b) { return a.second.Used < b.second.Used; });
        FCachedBytes -= BytesOf(oldest->second.Page.Image);
        FCache.erase(oldest);
    }
}

void TPageRenderer::CancelUnless(const std::function<bool(int32_t)>& keep) {
    for (auto it = FRequests.begin(); it != FRequests.end();) {
        if (keep(it->first)) {
            ++it;
            continue;
        }
        it->second.Cancel->store(true);
        it = FRequests.erase(it);
    }
}

void TPageRenderer::Stop() {
    for (auto& [n, request] : FRequests)
        request.Cancel->store(true);
    FRequests.clear();
    FPool.clear();
    FPool.waitForDone();
}

void TPageRenderer::WaitUntilIdle() {
    while (!FRequests.empty()) {
        FPool.waitForDone();
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

} // namespace pagimo::preview
