#pragma once
// Key preview: every key press meant for a control of a window is seen by the window first, once (at
// its first receiver, the focused control), before the control. The window's handler says whether it
// took the key; a key taken goes no further. In a text field Home and End move the cursor and Esc
// leaves the field, so those keys are left to it.

#include <QObject>
#include <Qt>

#include <functional>

class QWidget;

namespace pagimo::preview {

class TKeyPreview : public QObject {
public:
    // handler: true when the window took the key.
    TKeyPreview(QWidget& window, std::function<bool(int key, Qt::KeyboardModifiers modifiers)> handler);
    ~TKeyPreview() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& FWindow;
    std::function<bool(int, Qt::KeyboardModifiers)> FHandler;
};

} // namespace pagimo::preview
