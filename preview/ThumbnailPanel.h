#pragma once
// The thumbnail panel of the preview window: one small picture per page in a list beside the pages,
// each of its own sheet's shape, drawn only when its row comes into view by the page painter on a
// worker thread (TPageRenderer). A bounded cache keeps the thumbnails last made; the page shown is the
// current row; a click goes to a page.

#include <QCache>
#include <QDockWidget>
#include <QImage>
#include <QListView>

#include <cstdint>
#include <functional>

namespace pagimo::printer {
class TQRPrinter;
}

namespace pagimo::preview {

class TPageRenderer;
struct TPageImage;
class TThumbnailModel;

class TThumbnailPanel : public QDockWidget {
public:
    static constexpr int ThumbnailWidth = 120;
    static constexpr int CacheSize = 200; // thumbnails kept

    // printer: asked for each time, since the window's printer may go away.
    TThumbnailPanel(QWidget* parent, std::function<printer::TQRPrinter*()> printer);
    ~TThumbnailPanel() override;

    QListView* List = nullptr;
    std::function<void(int32_t page)> OnPageClicked;

    // The document changed (loaded, reloaded, more pages recorded): everything is made again.
    void Reset();
    // Marks page n as the current one and scrolls it into view.
    void SetCurrent(int32_t n);
    // The thumbnail of page n if it has been rendered (a null image otherwise); asks for it when it
    // has not.
    QImage Thumbnail(int32_t n);
    bool IsRendered(int32_t n) const { return FCache.contains(n); }
    int RenderedCount() const { return static_cast<int>(FCache.size()); }
    // Waits for the renderings under way (for tests and benchmarks).
    void WaitForRendering();
    // A worker is drawing a thumbnail now.
    bool Rendering() const;

protected:
    // Renderings stop when the panel is hidden (also when its window closes): a window left for the
    // application's end to delete must not have a worker drawing text while the fonts go away.
    void hideEvent(QHideEvent* event) override;

private:
    void Rendered(int32_t n, const TPageImage& image);
    // The size of page n's thumbnail: ThumbnailWidth wide, its sheet's shape.
    QSize ThumbnailSize(int32_t n) const;

    std::function<printer::TQRPrinter*()> FPrinter;
    TThumbnailModel* FModel = nullptr;
    QCache<int32_t, QImage> FCache{CacheSize};
    TPageRenderer* FRenderer = nullptr;
    friend class TThumbnailModel;
};

} // namespace pagimo::preview
