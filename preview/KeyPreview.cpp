#include "preview/KeyPreview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace pagimo::preview {

TKeyPreview::TKeyPreview(QWidget& window, std::function<bool(int, Qt::KeyboardModifiers)> handler)
    : QObject(&window), FWindow(window), FHandler(std::move(handler)) {
    // Seen before any control of the window sees it.
    qApp->installEventFilter(this);
}

TKeyPreview::~TKeyPreview() {
    qApp->removeEventFilter(this);
}

bool TKeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    auto* widget = static_cast<QWidget*>(watched);
    const QWidget* focus = QApplication::focusWidget();
    const bool firstReceiver = focus ? widget == focus : widget == &FWindow;
    if (!firstReceiver || widget->window() != &FWindow) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (qobject_cast<QLineEdit*>(widget) &&
        (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Home || key->key() == Qt::Key_End))
        return false;
    return FHandler(key->key(), key->modifiers());
}

} // namespace pagimo::preview
