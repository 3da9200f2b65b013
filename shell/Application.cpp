#include "shell/Application.h"

#include "platform/system/Termination.h"
#include "platform/system/Version.h"

#include <QMessageBox>
#include <QSocketNotifier>

#include <unistd.h>

#include <exception>

namespace pagimo::shell {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Only the name, not the display name: Qt appends a display name to every window caption.
    setApplicationName(Title());
    setDesktopFileName(QStringLiteral("pagimo"));
    setApplicationVersion(QString::fromLatin1(ProgramVersion()));
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

void TApplication::EndOnTerminationSignals() {
    const int fd = TerminationSignalFd();
    if (fd < 0) return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [fd] {
        unsigned char sig = 0;
        if (::read(fd, &sig, 1) == 1) QCoreApplication::exit(128 + sig);
    });
}

} // namespace pagimo::shell
