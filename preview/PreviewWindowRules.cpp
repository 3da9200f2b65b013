#include "preview/PreviewWindowRules.h"

namespace pagimo::preview {

QStringList DialogFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString masks = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        const QString suffix = QLatin1Char('(') + masks + QLatin1Char(')');
        result << (description.endsWith(suffix) ? description : description + QLatin1Char(' ') + suffix);
    }
    return result;
}

QString PageInfoText(int32_t pageNumber, int32_t pageTotal) {
    return QStringLiteral("Page %1 of %2").arg(pageNumber).arg(pageTotal);
}

TPreviewKeyAction PreviewKeyAction(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers state = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool ctrlAlone = state == Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Escape:
        return kaExit;
    case Qt::Key_PageUp:
        return ctrlAlone ? kaFirstPage : kaPrevPage;
    case Qt::Key_PageDown:
        return ctrlAlone ? kaLastPage : kaNextPage;
    case Qt::Key_Home:
        return kaFirstPage;
    case Qt::Key_End:
        return kaLastPage;
    default:
        return kaNone;
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
