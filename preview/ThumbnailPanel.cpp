#include "preview/ThumbnailPanel.h"

#include "preview/PageRenderer.h"
#include "printer/QRPrinter.h"

#include <QAbstractListModel>
#include <QPainter>
#include <QPointer>

#include <cmath>
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
    // One worker: thumbnails come in the order asked, and the viewer leaves a core to the rest. The
    // thumbnails themselves are kept here; the drawer keeps only a few.
    FRenderer = new TPageRenderer(this, 8u << 20, 8, 1);
    FRenderer->OnDrawn = [this](int32_t n, const TPageImage& image) { Rendered(n, image); };
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
    FRenderer->Stop();
}

void TThumbnailPanel::hideEvent(QHideEvent* event) {
    // Pages whose rendering was dropped are asked for again when they are shown.
    FRenderer->Stop();
    QDockWidget::hideEvent(event);
}

void TThumbnailPanel::WaitForRendering() {
    FRenderer->WaitUntilIdle();
}

bool TThumbnailPanel::Rendering() const {
    return !FRenderer->Idle();
}

void TThumbnailPanel::Reset() {
    printer::TQRPrinter* p = FPrinter ? FPrinter() : nullptr;
    FRenderer->SetDocument(p ? p->Document() : nullptr);
    FCache.clear();
    FModel->ResetAll();
}

void TThumbnailPanel::SetCurrent(int32_t n) {
    const QModelIndex i = FModel->index(n - 1);
    if (!i.isValid()) return;
    List->setCurrentIndex(i);
    List->scrollTo(i);
}

QSize TThumbnailPanel::ThumbnailSize(int32_t n) const {
    const auto& document = FRenderer->Document();
    const auto sheet = document ? document->Sheet(n) : std::nullopt;
    const int w = ThumbnailWidth;
    if (!sheet) return QSize(w, w * 297 / 210);
    return QSize(w, std::max(1, static_cast<int>(std::lround(w * static_cast<double>(sheet->HeightPixels) /
                                                             std::max(1, sheet->WidthPixels)))));
}

QImage TThumbnailPanel::Thumbnail(int32_t n) {
    printer::TQRPrinter* p = FPrinter ? FPrinter() : nullptr;
    if (!p) return {};
    // A document loaded meanwhile: its thumbnails are made afresh (the list learns of it from Reset).
    if (p->Document() != FRenderer->Document()) {
        FRenderer->SetDocument(p->Document());
        FCache.clear();
    }
    if (const QImage* image = FCache.object(n)) return *image;
    // A hidden panel draws nothing: the list still asks for an item's picture when it lays itself out
    // (its uniform item size), and a worker started then could outlive the window and the fonts.
    const auto& document = FRenderer->Document();
    if (!isVisible() || !document || n < 1 || n > document->PageCount()) return {};
    const QSize size = ThumbnailSize(n);
    bool exact = false;
    FRenderer->Image(n, size, devicePixelRatioF(), QRect(QPoint(0, 0), size), &exact);
    return {};
}

void TThumbnailPanel::Rendered(int32_t n, const TPageImage& page) {
    auto* image = new QImage(page.Image);
    {
        QPainter painter(image);
        painter.setPen(QColor(120, 120, 120));
        painter.drawRect(QRectF(0, 0, page.Size.width() - 1, page.Size.height() - 1));
    }
    FCache.insert(n, image);
    FModel->Changed(n);
}

} // namespace pagimo::preview
