#include "preview/ThumbnailPanel.h"

#include "platform/gdi/PainterDevice.h"
#include "printer/QRPrinter.h"

#include <QAbstractListModel>
#include <QPainter>
#include <QPointer>

#include <memory>

namespace pagimo::preview {

class TThumbnailModel : public QAbstractListModel {
public:
    explicit TThumbnailModel(TThumbnailPanel* panel) : QAbstractListModel(panel), FPanel(panel) {}
    int rowCount(const QModelIndex& parent) const override {
        if (parent.isValid()) return 0;
        printer::TQRPrinter* p = FPanel->FPrinter ? FPanel->FPrinter() : nullptr;
        return p ? p->PageTotal() : 0;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const int32_t n = index.row() + 1;
        if (role == Qt::DisplayRole) return QString::number(n);
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignHCenter | Qt::AlignBottom);
        if (role == Qt::DecorationRole) {
            // Asked for only while the row is in view: that is what makes the rendering lazy.
            const QImage image = FPanel->Thumbnail(n);
            if (!image.isNull()) return image;
            static const QImage blank = [] {
                QImage i(TThumbnailPanel::ThumbnailWidth, TThumbnailPanel::ThumbnailWidth * 297 / 210,
                         QImage::Format_RGB32);
                i.fill(QColor(235, 235, 235));
                return i;
            }();
            return blank;
        }
        return {};
    }
    void Changed(int32_t n) {
        const QModelIndex i = index(n - 1);
        if (i.isValid()) emit dataChanged(i, i, {Qt::DecorationRole});
    }
    void ResetAll() {
        beginResetModel();
        endResetModel();
    }

private:
    TThumbnailPanel* FPanel;
};

TThumbnailPanel::TThumbnailPanel(QWidget* parent, std::function<printer::TQRPrinter*()> printer)
    : QDockWidget(QStringLiteral("Pages"), parent), FPrinter(std::move(printer)) {
    setObjectName(QStringLiteral("ThumbnailPanel"));
    setFeatures(QDockWidget::DockWidgetClosable);
    // One worker: thumbnails come in the order asked, and the viewer leaves a core to the rest.
    FPool.setMaxThreadCount(1);
    List = new QListView(this);
    List->setObjectName(QStringLiteral("ThumbnailList"));
    List->setViewMode(QListView::IconMode);
    List->setWrapping(false);
    List->setMovement(QListView::Static);
    List->setResizeMode(QListView::Adjust);
    List->setUniformItemSizes(true);
    List->setIconSize(QSize(ThumbnailWidth, ThumbnailWidth * 297 / 210));
    List->setSpacing(4);
    List->setSelectionMode(QAbstractItemView::SingleSelection);
    List->setFocusPolicy(Qt::NoFocus);
    List->setFlow(QListView::TopToBottom);
    FModel = new TThumbnailModel(this);
    List->setModel(FModel);
    connect(List, &QListView::clicked, this, [this](const QModelIndex& i) {
        if (OnPageClicked) OnPageClicked(i.row() + 1);
    });
    setWidget(List);
    setMinimumWidth(ThumbnailWidth + 40);
}

TThumbnailPanel::~TThumbnailPanel() {
    FPool.clear();
    FPool.waitForDone();
}

void TThumbnailPanel::hideEvent(QHideEvent* event) {
    FPool.clear();
    FPool.waitForDone();
    // Pages whose rendering was dropped are asked for again when they are shown; the renderings
    // that finished still arrive and fill the cache.
    FPending.clear();
    QDockWidget::hideEvent(event);
}

void TThumbnailPanel::Reset() {
    ++FGeneration; // renderings of the old document are dropped when they come back
    FPool.clear();
    FCache.clear();
    FPending.clear();
    FModel->ResetAll();
}

void TThumbnailPanel::SetCurrent(int32_t n) {
    const QModelIndex i = FModel->index(n - 1);
    if (!i.isValid()) return;
    List->setCurrentIndex(i);
    List->scrollTo(i);
}

QImage TThumbnailPanel::Thumbnail(int32_t n) {
    if (const QImage* image = FCache.object(n)) return *image;
    Request(n);
    return {};
}

void TThumbnailPanel::Request(int32_t n) {
    // A hidden panel draws nothing: the list still asks for an item's picture when it lays itself out
    // (its uniform item size), and a worker started then could outlive the window and the fonts.
    if (FPending.contains(n) || !isVisible()) return;
    printer::TQRPrinter* p = FPrinter ? FPrinter() : nullptr;
    if (!p) return;
    std::shared_ptr<emf::TEmfPicture> picture(p->FetchPage(n).release());
    if (!picture) return;
    FPending.insert(n);
    const int generation = FGeneration;
    QPointer<TThumbnailPanel> self(this);
    const qreal ratio = devicePixelRatioF();
    FPool.start([self, picture, generation, n, ratio] {
        const int w = ThumbnailWidth;
        const int h = std::max(1, static_cast<int>(std::lround(w * static_cast<double>(picture->Height()) /
                                                               std::max(1, picture->Width()))));
        QImage image(QSize(w, h) * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            gdi::PlayEnhMetaFile(painter, *picture, QRectF(0, 0, w, h));
            painter.setPen(QColor(120, 120, 120));
            painter.drawRect(QRectF(0, 0, w - 1, h - 1));
        }
        QMetaObject::invokeMethod(
            self.data(), [self, generation, n, image] {
                if (self) self->Rendered(generation, n, image);
            },
            Qt::QueuedConnection);
    });
}

void TThumbnailPanel::Rendered(int generation, int32_t n, const QImage& image) {
    if (generation != FGeneration) return;
    FPending.remove(n);
    FCache.insert(n, new QImage(image));
    FModel->Changed(n);
}

} // namespace pagimo::preview
