#include "shell/MainForm.h"
#include "platform/system/Errors.h"
#include "shell/Application.h"
#include "shell/ShellGlyphs.h"

#include <QEventLoop>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::shell;

namespace {

TApplication& App() {
    return *static_cast<TApplication*>(QCoreApplication::instance());
}

TEST(MainForm, HasItsFixedStripLayout) {
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Pagimo 1.2"));
    EXPECT_EQ(form.size(), QSize(211, 34));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the user cannot resize it";
    EXPECT_EQ(form.pos(), QPoint(339, 146));
    EXPECT_EQ(form.font().pixelSize(), 11);

    EXPECT_EQ(form.BitBtn3->text(), QStringLiteral("Prohlížet"));
    EXPECT_EQ(form.BitBtn3->geometry(), QRect(5, 5, 100, 25));
    EXPECT_EQ(form.BitBtn3->toolTip(), QStringLiteral("Kliknutím spustíte režim prohlížení"));
    EXPECT_EQ(form.BitBtn2->text(), QStringLiteral("Konec"));
    EXPECT_EQ(form.BitBtn2->geometry(), QRect(108, 5, 100, 25));
    EXPECT_EQ(form.BitBtn2->toolTip(), QStringLiteral("Kliknutím ukončíte program"));
    for (QPushButton* b : {form.BitBtn2, form.BitBtn3}) {
        EXPECT_TRUE(b->font().bold());
        EXPECT_EQ(b->font().pixelSize(), 13);
        EXPECT_FALSE(b->icon().isNull());
    }
    EXPECT_EQ(App().applicationName(), QStringLiteral("Pagimo"));
}

TEST(MainForm, KonecComesFirstInTheTabOrderAndHasTheFocus) {
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.focusWidget(), form.BitBtn2);
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget(), form.BitBtn3);
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(form.focusWidget(), form.BitBtn2);
}

TEST(MainForm, ProhlizetRunsTheViewAction) {
    TForm1 form;
    int views = 0;
    form.OnView = [&views] { ++views; };
    QTest::mouseClick(form.BitBtn3, Qt::LeftButton);
    EXPECT_EQ(views, 1);
    form.OnView = nullptr;
    QTest::mouseClick(form.BitBtn3, Qt::LeftButton); // nothing to run yet: nothing happens
    EXPECT_EQ(views, 1);
}

TEST(ErrorDisplay, ShowsTheTextOfAFailedCommandAndGoesOn) {
    TForm1 form;
    QStringList shown;
    App().ExceptionWatcher = [&shown](const QString& text) { shown << text; };
    form.OnView = [] { throw EQRError(FormatMessage("Cannot open file %s", "/nowhere/x.qrp")); };
    QTest::mouseClick(form.BitBtn3, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], QStringLiteral("Cannot open file /nowhere/x.qrp"));

    // the program goes on: the next command runs normally
    int views = 0;
    form.OnView = [&views] { ++views; };
    QTest::mouseClick(form.BitBtn3, Qt::LeftButton);
    EXPECT_EQ(views, 1);
    EXPECT_EQ(shown.size(), 1);
    App().ExceptionWatcher = nullptr;
}

TEST(ErrorDisplay, IsAMessageBoxWithTheApplicationTitle) {
    QString title, text;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        auto* mb = qobject_cast<QMessageBox*>(box);
        ASSERT_NE(mb, nullptr);
        text = mb->text();
        mb->accept();
    });
    App().ShowException(QStringLiteral("Metafile is not valid"));
    EXPECT_EQ(title, QStringLiteral("Pagimo"));
    EXPECT_EQ(text, QStringLiteral("Metafile is not valid"));
}

TEST(Glyphs, AreSixteenPixelPicturesWithATransparentLowerLeftCorner) {
    for (const QPixmap& pm : {PageMagnifierPicture(16), PowerPicture(16)}) {
        const QImage img = pm.toImage();
        EXPECT_EQ(img.size(), QSize(16, 16));
        EXPECT_EQ(qAlpha(img.pixel(0, 15)), 0);
    }
    EXPECT_EQ(PageMagnifierPicture(32).size(), QSize(32, 32));
}

TEST(Glyphs, PowerSymbolIsWhiteOnRed) {
    const QImage img = PowerPicture(16).toImage();
    int red = 0, white = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.alpha() < 255) continue;
            if (c.red() > 180 && c.green() < 60 && c.blue() < 60) ++red;
            if (c.red() > 230 && c.green() > 230 && c.blue() > 230) ++white;
        }
    EXPECT_GT(red, 100);
    EXPECT_GT(white, 10);
}

} // namespace
