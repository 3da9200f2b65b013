#include "preview/PreviewWindowRules.h"

namespace pagimo::preview {

QString PageInfoText(int32_t pageNumber, int32_t pageTotal) {
    return QStringLiteral("Page %1 of %2").arg(pageNumber).arg(pageTotal);
}

TPreviewKeyAction PreviewKeyAction(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers state = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool ctrlAlone = state == Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Escape: return kaExit;
    case Qt::Key_PageUp: return ctrlAlone ? kaFirstPage : kaPrevPage;
    case Qt::Key_PageDown: return ctrlAlone ? kaLastPage : kaNextPage;
    case Qt::Key_Home: return kaFirstPage;
    case Qt::Key_End: return kaLastPage;
    default: return kaNone;
    }
}

void TProgressPanel::Update(int32_t progress) {
    if (progress >= FShownProgress + 5) {
        FText = QString::number(progress) + QLatin1Char('%');
        FShownProgress = progress;
    }
    if (progress == 0 || progress == 100) FText.clear();
}

} // namespace pagimo::preview
