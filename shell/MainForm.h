#pragma once
// The main window: a fixed strip with "Prohlížet" (view the help report, from whose preview the user
// loads any report file) and "Konec" (end the program). Laid out in pixels for 96 pixels per inch
// and deliberately not rescaled on screens of other resolutions.

#include <QPushButton>
#include <QWidget>

#include <functional>

namespace pagimo::shell {

class TForm1 : public QWidget {
public:
    explicit TForm1(QWidget* parent = nullptr);

    QPushButton* BitBtn3 = nullptr; // "Prohlížet"
    QPushButton* BitBtn2 = nullptr; // "Konec"

    // What "Prohlížet" runs; it returns when its preview has closed or the program is ending.
    std::function<void()> OnView;

    void BitBtn3Click();
    void BitBtn2Click();

protected:
    void closeEvent(QCloseEvent* event) override;
};

// Ends the program: every message loop returns once the current message is handled, nested ones
// (a preview waiting for its window) included.
void Terminate();
bool Terminated();

} // namespace pagimo::shell
