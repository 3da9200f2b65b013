#include "preview/PreviewStatusBar.h"

#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QEvent>
#include <QFrame>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

namespace pagimo::preview {

namespace {

// Rows of the bar above and below its widgets.
constexpr int FieldInset = 4;

QLabel* Panel(QStatusBar* bar, const QString& name, const QString& text = QString()) {
    auto* panel = new QLabel(text, bar);
    panel->setObjectName(name);
    return panel;
}

} // namespace

TPreviewStatusBar::TPreviewStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar"));
    FProgress = Panel(this, QStringLiteral("Panel0"), QStringLiteral("0%"));
    FProgress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FPage = Panel(this, QStringLiteral("Panel1"), QStringLiteral("Page"));
    FPage->setMinimumWidth(50);
    for (QLabel* panel : {FProgress, FPage})
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    addWidget(FProgress);
    addWidget(FPage, 1); // the last panel reaches the window's right edge
    FLive = Panel(this, QStringLiteral("LiveStatusPanel"));
    FDone = Panel(this, QStringLiteral("JobPanel"));
    FReload = Panel(this, QStringLiteral("ReloadPanel"));
    for (QLabel* panel : {FLive, FDone, FReload}) {
        panel->hide();
        addPermanentWidget(panel);
    }
    FZoom = Panel(this, QStringLiteral("ZoomPanel"));
    FZoom->setMinimumWidth(44);
    FZoom->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FZoom->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    addPermanentWidget(FZoom);
    FGoTo = new QLineEdit(this);
    FGoTo->setObjectName(QStringLiteral("GoToPageField"));
    FGoTo->setPlaceholderText(QStringLiteral("Go to page"));
    FGoTo->setToolTip(QStringLiteral("Go to page (Ctrl+G)"));
    FGoTo->setValidator(new QIntValidator(1, 999999, FGoTo));
    FGoTo->installEventFilter(this);
    connect(FGoTo, &QLineEdit::returnPressed, this, [this] { GoToPageEntered(); });
    addPermanentWidget(FGoTo);
    FitToFont();
}

void TPreviewStatusBar::FitToFont() {
    const QFontMetrics metrics(font());
    // The usual font keeps the designed sizes; a larger one takes what its text needs. The bar's own
    // layout keeps a few pixels above its widgets, so the page field is that much lower than the bar.
    const int line = metrics.height();
    const int bar = std::max(19, line + 5);
    const int field = bar - FieldInset;
    setFixedHeight(bar);
    FProgress->setFixedWidth(std::max(40, metrics.horizontalAdvance(QStringLiteral("100%")) + 4));
    FGoTo->setFixedWidth(std::max(80, metrics.horizontalAdvance(FGoTo->placeholderText()) + 16));
    FGoTo->setFixedHeight(field);
}

void TPreviewStatusBar::changeEvent(QEvent* event) {
    QStatusBar::changeEvent(event);
    if (event->type() == QEvent::FontChange) FitToFont();
}

void TPreviewStatusBar::SetProgress(const QString& text) {
    FProgress->setText(text);
}

void TPreviewStatusBar::SetPageInfo(const QString& text) {
    FPage->setText(text);
}

void TPreviewStatusBar::SetZoom(int32_t zoom) {
    FZoom->setText(QString::number(zoom) + QLatin1Char('%'));
}

void TPreviewStatusBar::SetLiveStatus(const QString& text) {
    FLive->setText(text);
    FLive->setVisible(!text.isEmpty());
}

void TPreviewStatusBar::MissingFont(int32_t page, const QString& face, uint32_t glyphs) {
    if (FMissingFontsTold.contains(face)) return;
    FMissingFontsTold.push_back(face);
    showMessage(QStringLiteral("Page %1 needs the font \"%2\": its text is set in that font's glyph numbers and the "
                               "font is not installed (%3 glyphs left out)")
                    .arg(page)
                    .arg(face)
                    .arg(glyphs));
}

void TPreviewStatusBar::ShowDone(const QString& text) {
    FDone->setText(text);
    FDone->setToolTip(text);
    FDone->show();
    QTimer::singleShot(6000, FDone, [panel = FDone, text] {
        if (panel->text() == text) panel->hide();
    });
}

void TPreviewStatusBar::SetReloadProblem(const QString& text) {
    FReload->setText(text);
    FReload->setToolTip(text);
    FReload->setVisible(!text.isEmpty());
}

void TPreviewStatusBar::FocusGoToField() {
    FGoTo->setFocus(Qt::ShortcutFocusReason);
    FGoTo->selectAll();
}

void TPreviewStatusBar::GoToPageEntered() {
    if (!FPreview) return;
    bool ok = false;
    const int n = FGoTo->text().trimmed().toInt(&ok);
    const printer::TQRPrinter* p = FPreview->ReportPrinter();
    if (ok && p && n >= 1 && n <= p->PageTotal()) FPreview->SetPageNumber(n);
    if (FPreview->OnPageNumberChanged) FPreview->OnPageNumberChanged();
    FGoTo->clear();
    FPreview->setFocus();
}

bool TPreviewStatusBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FGoTo && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        FGoTo->clear();
        if (FPreview) FPreview->setFocus();
        return true;
    }
    return QStatusBar::eventFilter(watched, event);
}

} // namespace pagimo::preview
