#include "printer/QRProgressForm.h"

#include <QKeyEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace pagimo::printer;

namespace {

TEST(QRProgressForm, HasItsSmallFixedLayout) {
    TQRProgressForm form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Printing progress"));
    EXPECT_EQ(form.size(), QSize(149, 97));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(form.Gauge->geometry(), QRect(16, 18, 114, 16));
    EXPECT_EQ(form.Gauge->minimum(), 0);
    EXPECT_EQ(form.Gauge->maximum(), 100);
    EXPECT_EQ(form.Gauge->value(), 0);
    EXPECT_EQ(form.Info->geometry(), QRect(0, 44, 145, 13));
    EXPECT_TRUE(form.Info->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_TRUE(form.Info->text().isEmpty());
    EXPECT_EQ(form.CancelButton->geometry(), QRect(36, 60, 75, 25));
    EXPECT_EQ(form.CancelButton->text(), QStringLiteral("Cancel"));
}

TEST(QRProgressForm, CancelButtonIsFirstInTheTabOrder) {
    TQRProgressForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.focusWidget(), form.CancelButton);
}

TEST(QRProgressForm, InfoTextHasTwoBlanksBeforeCompleted) {
    EXPECT_EQ(TQRProgressForm::InfoText(45), QStringLiteral("45%  Completed"));
    EXPECT_EQ(TQRProgressForm::InfoText(0), QStringLiteral("0%  Completed"));
}

TEST(QRProgressForm, WithoutAPrinterNotificationsAndCancelDoNothing) {
    TQRProgressForm form;
    QEvent progress(static_cast<QEvent::Type>(1024));
    QCoreApplication::sendEvent(&form, &progress);
    QTest::mouseClick(form.CancelButton, Qt::LeftButton);
    EXPECT_EQ(form.Gauge->value(), 0);
    EXPECT_TRUE(form.Info->text().isEmpty());
}

TEST(QRProgressForm, EscapeDoesNotCloseIt) {
    TQRProgressForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
}

} // namespace
