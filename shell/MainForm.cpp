#include "shell/MainForm.h"

#include "shell/Application.h"
#include "shell/ShellGlyphs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QPalette>

namespace pagimo::shell {

namespace {

bool TerminateRequested = false;

QFont FormFont(int pixelHeight, bool bold) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(pixelHeight); // pixels, not points: the layout stays as drawn at any resolution
    font.setBold(bold);
    return font;
}

QPushButton* GlyphButton(QWidget* parent, const QString& caption, const QString& hint, const QIcon& glyph, int left) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(left, 5, 100, 25);
    button->setFont(FormFont(13, true));
    button->setToolTip(hint);
    button->setIcon(glyph);
    button->setIconSize(QSize(16, 16));
    return button;
}

} // namespace

void Terminate() {
    TerminateRequested = true;
    QCoreApplication::exit(0); // leaves every running event loop of the main thread
}

bool Terminated() {
    return TerminateRequested;
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pagimo 1.2"));
    setWindowIcon(AppIcon());
    setFixedSize(211, 34);
    setWindowFlags(windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    move(339, 146);
    setFont(FormFont(11, false));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    // "Konec" comes first in the tab order although it stands on the right: it is created first.
    BitBtn2 =
        GlyphButton(this, QStringLiteral("Konec"), QStringLiteral("Kliknutím ukončíte program"), ExitGlyph(), 108);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn3 = GlyphButton(this, QStringLiteral("Prohlížet"), QStringLiteral("Kliknutím spustíte režim prohlížení"),
                          ViewGlyph(), 5);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn2->setFocus();

    connect(BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
}

void TForm1::BitBtn3Click() {
    if (OnView) OnView();
}

void TForm1::BitBtn2Click() {
    Terminate();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The main window's close box ends the program, also while a preview is open.
    event->accept();
    Terminate();
}

} // namespace pagimo::shell
