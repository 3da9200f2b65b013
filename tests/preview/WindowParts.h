#pragma once
// The controls of a preview window as its tests reach them: by their names, as a user finds them by
// their place on the window.

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QObject>
#include <QPushButton>
#include <QStatusBar>
#include <QString>
#include <QToolButton>

#include <gtest/gtest.h>

namespace pagimo::test {

template <typename T> T* Part(const QObject& window, const char* name) {
    T* part = window.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(part, nullptr) << name;
    return part;
}

// Types a page number into the status bar's page field and presses Enter.
inline void GoToPage(const QObject& window, const QString& text) {
    auto* field = Part<QLineEdit>(window, "GoToPageField");
    field->setText(text);
    emit field->returnPressed();
}

} // namespace pagimo::test
