#pragma once
// The messages between the report printer and its windows. They are QEvents whose type numbers are
// the window-message numbers (WM_USER = 1024 and up); wParam and lParam travel with the event.
// Receivers are any QObject: handle them in event() or customEvent().

#include <QCoreApplication>
#include <QEvent>

#include <cstdint>

namespace pagimo::printer {

constexpr int WM_USER = 1024;
constexpr int MsgProgressUpdate = WM_USER;    // to NotifyWindow; wParam: Progress (percent)
constexpr int MsgPageAvailable = WM_USER + 1; // to NotifyWindow; wParam: PagesAvailable
constexpr int MsgPrintReport = WM_USER + 2;   // to ReportWindow
constexpr int MsgPreviewClosed = WM_USER + 4; // to ReportWindow, sent; lParam: the TQRPrinter

class TQRMessageEvent : public QEvent {
public:
    TQRMessageEvent(int message, intptr_t wParam, intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(message)), WParam(wParam), LParam(lParam) {}
    int Message() const { return static_cast<int>(type()); }
    const intptr_t WParam;
    const intptr_t LParam;
};

// Queues the message for receiver (PostMessage); nothing when receiver is null.
inline void PostMessage(QObject* receiver, int message, intptr_t wParam, intptr_t lParam) {
    if (receiver) QCoreApplication::postEvent(receiver, new TQRMessageEvent(message, wParam, lParam));
}

// Delivers the message at once and returns when the receiver has handled it (SendMessage).
inline void SendMessage(QObject* receiver, int message, intptr_t wParam, intptr_t lParam) {
    if (!receiver) return;
    TQRMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(receiver, &event);
}

// Handles the pending window messages of this thread (ProcessMessages); nothing without an application.
inline void ProcessMessages() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

} // namespace pagimo::printer
