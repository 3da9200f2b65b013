#include "preview/PreviewDialogs.h"

#include "platform/system/Version.h"
#include "printer/QRPrinter.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio> // before jpeglib.h, which needs FILE

#include <cups/cups.h>
#include <fontconfig/fontconfig.h>
#include <jpeglib.h>
#include <png.h>
#include <sqlite3.h>
#include <zlib.h>

namespace pagimo::preview {

TPropertiesDialog::TPropertiesDialog(QWidget* parent, printer::TQRPrinter& printer)
    : QDialog(parent), FPrinter(printer), FSurvey(printer.Document()) {
    setObjectName(QStringLiteral("PropertiesDialog"));
    setWindowTitle(QStringLiteral("Properties"));
    auto* layout = new QVBoxLayout(this);
    FForm = new QFormLayout;
    FForm->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);
    layout->addLayout(FForm);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // The pages are read in slices between which the dialog answers.
    FTimer = new QTimer(this);
    FTimer->setInterval(0);
    connect(FTimer, &QTimer::timeout, this, [this] {
        if (FSurvey.Step(20)) FTimer->stop();
        Refresh();
    });
    Refresh();
    FTimer->start();
}

TPropertiesDialog::~TPropertiesDialog() = default;

void TPropertiesDialog::Refresh() {
    const auto facts = DocumentFacts(FPrinter, FSurvey);
    for (size_t i = 0; i < facts.size(); ++i) {
        if (static_cast<int>(i) >= FForm->rowCount()) {
            auto* value = new QLabel(this);
            value->setTextInteractionFlags(Qt::TextSelectableByMouse);
            value->setObjectName(facts[i].first);
            FForm->addRow(facts[i].first + QLatin1Char(':'), value);
        }
        static_cast<QLabel*>(FForm->itemAt(static_cast<int>(i), QFormLayout::FieldRole)->widget())
            ->setText(facts[i].second);
    }
}

QString AboutText() {
    const QStringList libraries = {
        QStringLiteral("Qt %1").arg(QLatin1String(qVersion())),
        QStringLiteral("fontconfig %1.%2.%3").arg(FC_MAJOR).arg(FC_MINOR).arg(FC_REVISION),
        QStringLiteral("libjpeg-turbo %1.%2.%3")
            .arg(LIBJPEG_TURBO_VERSION_NUMBER / 1000000)
            .arg(LIBJPEG_TURBO_VERSION_NUMBER / 1000 % 1000)
            .arg(LIBJPEG_TURBO_VERSION_NUMBER % 1000),
        QStringLiteral("libpng %1").arg(QLatin1String(PNG_LIBPNG_VER_STRING)),
        QStringLiteral("CUPS %1.%2").arg(CUPS_VERSION_MAJOR).arg(CUPS_VERSION_MINOR),
        QStringLiteral("SQLite %1").arg(QLatin1String(SQLITE_VERSION)),
        QStringLiteral("libzint"),
        QStringLiteral("zlib %1").arg(QLatin1String(ZLIB_VERSION)),
    };
    return QStringLiteral("<h3>Pagimo %1</h3>"
                          "<p>A viewer of prepared-report files (QRP) and the banded report engine behind it.</p>"
                          "<p>Licence: proprietary. Copyright 2026 the Pagimo developers; all rights reserved.</p>"
                          "<p>Built with %2.</p>")
        .arg(QLatin1String(ProgramVersion()), libraries.join(QStringLiteral(", ")));
}

void ShowAbout(QWidget* parent) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("About Pagimo"), AboutText(), QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setTextFormat(Qt::RichText);
    box.exec();
}

} // namespace pagimo::preview
