#include "preview/LiveMode.h"

#include "preview/FileWatch.h"
#include "preview/PreviewStatusBar.h"
#include "preview/QRPreview.h"
#include "printer/QRPrinter.h"

#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace pagimo::preview {

namespace {

QLabel* Panel(QWidget* parent, const QString& name, const QColor& ground, int margin) {
    auto* panel = new QLabel(parent);
    panel->setObjectName(name);
    panel->setWordWrap(true);
    panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    panel->setMargin(margin);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::WindowText, QColor(0x20, 0x20, 0x20));
    panel->setPalette(palette);
    panel->hide();
    return panel;
}

} // namespace

TLiveMode::TLiveMode(QWidget* parent, TQRPreview& preview, TFileWatch& watch, TPreviewStatusBar& status,
                     std::function<void(const QString&)> load)
    : QWidget(parent), FPreview(preview), FWatch(watch), FStatus(status), FLoad(std::move(load)) {
    setObjectName(QStringLiteral("PageArea"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    FErrorPanel = Panel(this, QStringLiteral("LiveErrorPanel"), QColor(0xff, 0xf4, 0xf2), 24);
    FErrorPanel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FErrorPanel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    FWarningPanel = Panel(this, QStringLiteral("LiveWarningPanel"), QColor(0xff, 0xf6, 0xd5), 6);
    layout->addWidget(FErrorPanel);
    layout->addWidget(FWarningPanel);
    preview.setParent(this);
    layout->addWidget(&preview);
}

void TLiveMode::SetSource(const QStringList& watchedFiles, std::function<void()> rerun) {
    FRerun = std::move(rerun);
    SetWatchedFiles(watchedFiles);
}

void TLiveMode::Rerun() const {
    if (FRerun) FRerun();
}

void TLiveMode::SetWatchedFiles(const QStringList& files) {
    FWatch.SetFiles(files);
}

const QStringList& TLiveMode::WatchedFiles() const {
    return FWatch.Files();
}

void TLiveMode::ShowPages(const QString& fileName) {
    if (!FPreview.ReportPrinter()) return;
    const int32_t page = FPreview.PageNumber();
    FLoad(fileName);
    if (const printer::TQRPrinter* p = FPreview.ReportPrinter(); p && p->PageTotal() > 0)
        FPreview.SetPageNumber(std::clamp(page, 1, p->PageTotal()));
    FError.clear();
    FErrorPanel->hide();
    FErrorPanel->clear();
    FPreview.show();
    if (FPreview.OnPageNumberChanged) FPreview.OnPageNumberChanged();
}

void TLiveMode::ShowStatus(const QString& text) {
    FStatus.SetLiveStatus(text);
}

void TLiveMode::ShowError(const QString& text) {
    FError = text;
    FErrorPanel->setText(QStringLiteral("<p style='font-size:large'><b>The report could not be run</b></p>"
                                        "<pre style='white-space:pre-wrap'>%1</pre>"
                                        "<p>The pages come back when the description is saved again.</p>")
                             .arg(text.toHtmlEscaped()));
    FErrorPanel->show();
    FWarningPanel->hide();
    FPreview.hide();
}

void TLiveMode::ShowWarnings(const QStringList& warnings) {
    constexpr int Shown = 4;
    QStringList lines = warnings.mid(0, Shown);
    if (warnings.size() > Shown)
        lines << QStringLiteral("and %1 more (all of them on stderr)").arg(warnings.size() - Shown);
    FWarningPanel->setText(lines.join(QLatin1Char('\n')));
    FWarningPanel->setVisible(!warnings.isEmpty() && FError.isEmpty());
}

} // namespace pagimo::preview
