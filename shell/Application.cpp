#include "shell/Application.h"

#include <QMessageBox>

#include <exception>

namespace pagimo::shell {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Only the name, not the display name: Qt appends a display name to every window caption.
    setApplicationName(Title());
    setDesktopFileName(QStringLiteral("pagimo"));
    setApplicationVersion(QStringLiteral("1.2"));
}

void TApplication::ShowException(const QString& message) {
    if (ExceptionWatcher) {
        ExceptionWatcher(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, Title(), message, QMessageBox::Ok, activeWindow());
    box.exec();
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ShowException(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    return true;
}

} // namespace pagimo::shell
