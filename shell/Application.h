#pragma once
// The application object: its title, and the boundary where an error raised by a command ends. A
// command that fails is not handled by the window that ran it: its exception comes back here, the
// text is shown in a message box and the program goes on with its windows as they are.

#include <QApplication>
#include <QString>

#include <functional>

namespace pagimo::shell {

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // Shown on the task bar and as the caption of the error display.
    static QString Title() { return QStringLiteral("Pagimo"); }

    // The default error display: a message box with the text. Tests may watch it instead of
    // clicking it away; the box is shown only when no watcher is installed.
    void ShowException(const QString& message);
    std::function<void(const QString&)> ExceptionWatcher;

    bool notify(QObject* receiver, QEvent* event) override;

    // SIGINT, SIGTERM and SIGHUP (a log-out) end every event loop as "Konec" does, so windows close
    // and page stores remove their files; exec() then returns 128 + the signal's number.
    void EndOnTerminationSignals();
};

} // namespace pagimo::shell
