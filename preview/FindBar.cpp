#include "preview/FindBar.h"

#include "preview/PreviewActions.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

namespace pagimo::preview {

std::shared_ptr<const emf::TEmfPicture> PageForText(const TQRPreview& preview, int32_t n) {
    printer::TQRPrinter* p = preview.ReportPrinter();
    const auto document = p ? p->Document() : nullptr;
    return document && n <= p->PageTotal() ? document->Page(n).Picture : nullptr;
}

TFindBar::TFindBar(QWidget* parent, TQRPreview& preview) : QToolBar(parent), FPreview(preview) {
    setObjectName(QStringLiteral("FindBar"));
    setMovable(false);
    setFloatable(false);
    toggleViewAction()->setVisible(false);
    FField = new QLineEdit(this);
    FField->setObjectName(QStringLiteral("FindField"));
    FField->setPlaceholderText(QStringLiteral("Find"));
    FField->setToolTip(QStringLiteral("Find: Enter next, Shift+Enter previous, Esc closes"));
    FField->setFixedWidth(220);
    FField->installEventFilter(this);
    addWidget(FField);
    QAction* previous = addAction(QStringLiteral("Previous"), this, [this] { Previous(); });
    previous->setObjectName(QStringLiteral("FindPrevious"));
    previous->setToolTip(QStringLiteral("Previous hit (Shift+F3)"));
    QAction* next = addAction(QStringLiteral("Next"), this, [this] { Next(); });
    next->setObjectName(QStringLiteral("FindNext"));
    next->setToolTip(QStringLiteral("Next hit (F3)"));
    FMatchCase = new QCheckBox(QStringLiteral("Match case"), this);
    FMatchCase->setObjectName(QStringLiteral("MatchCase"));
    FWholeWords = new QCheckBox(QStringLiteral("Whole words"), this);
    FWholeWords->setObjectName(QStringLiteral("WholeWords"));
    addWidget(FMatchCase);
    addWidget(FWholeWords);
    FStatus = new QLabel(this);
    FStatus->setObjectName(QStringLiteral("FindStatus"));
    FStatus->setContentsMargins(8, 0, 8, 0);
    addWidget(FStatus);
    FTimer = new QTimer(this);
    FTimer->setInterval(0);
    connect(FTimer, &QTimer::timeout, this, [this] { Step(); });
    connect(FField, &QLineEdit::textEdited, this, [this] { Start(); });
    connect(FMatchCase, &QCheckBox::toggled, this, [this] { Start(); });
    connect(FWholeWords, &QCheckBox::toggled, this, [this] { Start(); });
    hide();
}

void TFindBar::BindCommands(TPreviewActions& actions) {
    actions.Bind(pcFind, [this] { Open(); });
    actions.Bind(pcFindNext, [this] { Next(); });
    actions.Bind(pcFindPrevious, [this] { Previous(); });
}

void TFindBar::Open() {
    show();
    FField->setFocus(Qt::ShortcutFocusReason);
    FField->selectAll();
}

void TFindBar::Close() {
    FFinder.Cancel();
    FTimer->stop();
    FFinder.Start(0, 1, QString(), {}, nullptr);
    FHitPage = 0;
    FHitIndex = -1;
    FStatus->clear();
    hide();
    FPreview.setFocus();
    Repaint();
}

void TFindBar::Repaint() {
    FPreview.viewport()->update();
    FPreview.PageImage()->update();
}

void TFindBar::Start() {
    FHitPage = 0;
    FHitIndex = -1;
    const printer::TQRPrinter* p = FPreview.ReportPrinter();
    FFinder.Start(p ? p->PageTotal() : 0, FPreview.PageNumber(), FField->text(),
                  {FMatchCase->isChecked(), FWholeWords->isChecked()},
                  [this](int32_t n) { return PageForText(FPreview, n); });
    if (FFinder.Running())
        FTimer->start();
    else
        FTimer->stop();
    UpdateStatus();
    Repaint();
}

void TFindBar::PagesChanged() {
    if (!FFinder.Needle().isEmpty()) Start();
}

// One slice of the search; the event loop runs between slices, so the window answers meanwhile.
void TFindBar::Step() {
    if (FFinder.Step(15)) FTimer->stop();
    // The first hit found (at or after the page shown, where the search began) is gone to at once.
    if (FHitPage == 0 && !FFinder.Hits().empty()) {
        auto it = FFinder.Hits().lower_bound(FPreview.PageNumber());
        if (it == FFinder.Hits().end()) it = FFinder.Hits().begin();
        GoToHit(it->first, 0);
    }
    UpdateStatus();
    Repaint();
}

void TFindBar::UpdateStatus() {
    if (FFinder.Needle().isEmpty()) {
        FStatus->clear();
        return;
    }
    QString text;
    if (FHitPage > 0) {
        int ordinal = 0;
        for (const auto& [page, hits] : FFinder.Hits()) {
            if (page >= FHitPage) break;
            ordinal += static_cast<int>(hits.size());
        }
        text = QStringLiteral("%1 of %2").arg(ordinal + FHitIndex + 1).arg(FFinder.HitCount());
    } else {
        text = FFinder.Running() ? QString() : QStringLiteral("Not found");
    }
    if (FFinder.Running()) {
        const int percent = FFinder.PageCount() ? FFinder.PagesSearched() * 100 / FFinder.PageCount() : 0;
        text += (text.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("searching %1%").arg(percent);
    }
    FStatus->setText(text);
}

void TFindBar::GoToHit(int32_t page, int index) {
    const auto& hits = FFinder.HitsOn(page);
    if (index < 0 || index >= static_cast<int>(hits.size())) return;
    FHitPage = page;
    FHitIndex = index;
    FPreview.ShowPlace(page, hits[static_cast<size_t>(index)]);
    UpdateStatus();
    if (FPreview.OnPageNumberChanged) FPreview.OnPageNumberChanged();
}

void TFindBar::Next() {
    if (!isVisible()) Open();
    const auto& all = FFinder.Hits();
    if (all.empty()) return;
    if (FHitPage > 0 && FHitIndex + 1 < static_cast<int>(FFinder.HitsOn(FHitPage).size())) {
        GoToHit(FHitPage, FHitIndex + 1);
        return;
    }
    auto it = all.upper_bound(FHitPage > 0 ? FHitPage : FPreview.PageNumber() - 1);
    if (it == all.end()) it = all.begin(); // round the end
    GoToHit(it->first, 0);
}

void TFindBar::Previous() {
    if (!isVisible()) Open();
    const auto& all = FFinder.Hits();
    if (all.empty()) return;
    if (FHitPage > 0 && FHitIndex > 0) {
        GoToHit(FHitPage, FHitIndex - 1);
        return;
    }
    auto it = all.lower_bound(FHitPage > 0 ? FHitPage : FPreview.PageNumber());
    if (it == all.begin()) it = all.end(); // round the start
    --it;
    GoToHit(it->first, static_cast<int>(it->second.size()) - 1);
}

void TFindBar::PaintHits(QPainter& painter, int32_t page, QSize sheet) const {
    const auto& hits = FFinder.HitsOn(page);
    for (size_t i = 0; i < hits.size(); ++i) {
        const QRectF& r = hits[i];
        const bool current = page == FHitPage && static_cast<int>(i) == FHitIndex;
        painter.setBrush(current ? QColor(255, 150, 30) : QColor(255, 235, 60));
        painter.drawRect(QRectF(r.x() * sheet.width(), r.y() * sheet.height(), r.width() * sheet.width(),
                                r.height() * sheet.height()));
    }
}

// In the field, Enter goes to the next hit and Shift+Enter to the previous one; Esc stops the search
// and closes the bar; Home and End move the cursor (rather than paging).
bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FField || event->type() != QEvent::KeyPress) return QToolBar::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
        Close();
        return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (FFinder.Needle() != FField->text()) Start();
        if (key->modifiers() & Qt::ShiftModifier)
            Previous();
        else
            Next();
        return true;
    }
    return false;
}

} // namespace pagimo::preview
