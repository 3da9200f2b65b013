#pragma once
// The small window a report shows while it prints or exports: a progress bar, a percentage line and
// a Cancel button. It is the NotifyWindow of the report printer that drives the run, follows its
// progress notifications and turns Cancel into a cancel request on that printer.

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QString>

#include <cstdint>

namespace pagimo::printer {

class TQRPrinter;

class TQRProgressForm : public QDialog {
public:
    explicit TQRProgressForm(QWidget* owner = nullptr);

    // The report printer whose run is shown; borrowed, set by the report right after creation.
    TQRPrinter* ReportPrinter = nullptr;

    QProgressBar* Gauge = nullptr;
    QLabel* Info = nullptr;
    QPushButton* CancelButton = nullptr;

    void CancelButtonClick();

    // The text shown for a progress value: "45%  Completed" (the word begins with a blank).
    static QString InfoText(int32_t progress);

protected:
    bool event(QEvent* e) override;
    // Esc does not close the window: only the run's end does, or the close box.
    void keyPressEvent(QKeyEvent* e) override;

private:
    void ProgressUpdate();
};

} // namespace pagimo::printer
