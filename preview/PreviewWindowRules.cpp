#include "preview/PreviewWindowRules.h"

#include <algorithm>
#include <utility>

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

QString HintWithKeys(const QString& buttonName, const QString& hint) {
    static const std::pair<const char*, const char*> keys[] = {{"FirstPage", "Home, Ctrl+Page Up"},
                                                               {"PreviousPage", "Page Up"},
                                                               {"ToolButton2", "Page Down"},
                                                               {"LastPage", "End, Ctrl+Page Down"},
                                                               {"Zoom100", "Ctrl+0"},
                                                               {"Print", "Ctrl+P"},
                                                               {"SaveReport", "Ctrl+S"},
                                                               {"LoadReport", "Ctrl+O"},
                                                               {"ExitButton", "Esc, Ctrl+W"}};
    for (const auto& [name, key] : keys)
        if (buttonName == QLatin1String(name))
            return hint + QStringLiteral(" (") + QLatin1String(key) + QLatin1Char(')');
    return hint;
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

TScreenStep ScreenStep(int value, int maximum, int view, int direction, bool turns) {
    const int step = std::max(1, view - view / 10);
    if (direction > 0 && value >= maximum) return {value, turns ? 1 : 0};
    if (direction < 0 && value <= 0) return {value, turns ? -1 : 0};
    return {std::clamp(value + (direction > 0 ? step : -step), 0, std::max(0, maximum)), 0};
}

int TWheelTurn::Turn(int angle, Qt::ScrollPhase phase, bool atStart, bool atEnd) {
    if (phase == Qt::ScrollMomentum || angle == 0) return 0;
    const int direction = angle < 0 ? 1 : -1;
    if (!(direction > 0 ? atEnd : atStart) || FPast * direction < 0) FPast = 0;
    if (!(direction > 0 ? atEnd : atStart)) return 0;
    FPast -= angle;
    if (FPast * direction < Resistance) return 0;
    FPast = 0;
    return direction;
}

void TProgressPanel::Update(int32_t progress) {
    if (progress >= FShownProgress + 5) {
        FText = QString::number(progress) + QLatin1Char('%');
        FShownProgress = progress;
    }
    if (progress == 0 || progress == 100) FText.clear();
}

} // namespace pagimo::preview
