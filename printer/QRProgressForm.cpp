#include "printer/QRProgressForm.h"

#include "printer/QRPrinter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>

namespace pagimo::printer {

TQRProgressForm::TQRProgressForm(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("QRProgressForm"));
    setWindowTitle(QStringLiteral("Printing progress"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::CustomizeWindowHint);
    setFixedSize(149, 97);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(36, 60, 75, 25);
    CancelButton->setAutoDefault(false);

    Gauge = new QProgressBar(this);
    Gauge->setObjectName(QStringLiteral("Gauge"));
    Gauge->setGeometry(16, 18, 114, 16);
    Gauge->setRange(0, 100);
    Gauge->setValue(0);
    Gauge->setTextVisible(false);

    Info = new QLabel(this);
    Info->setObjectName(QStringLiteral("Info"));
    Info->setGeometry(0, 44, 145, 13);
    Info->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // The button is first in the tab order: it was created first.
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

QString TQRProgressForm::InfoText(int32_t progress) {
    return QString::number(progress) + QStringLiteral("% ") + QStringLiteral(" Completed");
}

void TQRProgressForm::CancelButtonClick() {
    if (ReportPrinter) ReportPrinter->RequestCancel();
}

void TQRProgressForm::ProgressUpdate() {
    // Queued notifications are read against the printer's current value, so a burst shows the latest.
    if (!ReportPrinter) return;
    const int32_t progress = ReportPrinter->Progress();
    if (progress % 5 != 0) return;
    Gauge->setValue(std::clamp(progress, 0, 100));
    Info->setText(InfoText(progress));
    // Lets a click on Cancel through while the report is busy.
    QCoreApplication::processEvents();
}

void TQRProgressForm::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool TQRProgressForm::event(QEvent* e) {
    if (e->type() == MsgProgressUpdate) {
        ProgressUpdate();
        return true;
    }
    // Page counts are of no interest here.
    if (e->type() == MsgPageAvailable) return true;
    return QDialog::event(e);
}

} // namespace pagimo::printer
