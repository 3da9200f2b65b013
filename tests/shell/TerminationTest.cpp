// Ending the program: these tests end the application's event loops, so their file is linked last.

#include "shell/MainForm.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::shell;

namespace {

// "Konec" pressed while "Prohlížet" waits for its preview ends the nested wait and the program.
TEST(Termination, KonecEndsANestedLoopAndTheMainLoop) {
    TForm1 form;
    form.show();
    bool nestedReturned = false;
    form.OnView = [&] {
        QEventLoop previewLoop;
        QTimer::singleShot(0, form.BitBtn2, [&form] { QTest::mouseClick(form.BitBtn2, Qt::LeftButton); });
        previewLoop.exec();
        nestedReturned = true;
    };
    QTimer::singleShot(0, form.BitBtn3, [&form] { QTest::mouseClick(form.BitBtn3, Qt::LeftButton); });
    QTimer failsafe;
    failsafe.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&failsafe, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    failsafe.start(10000);
    const int rc = QCoreApplication::exec();
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(nestedReturned);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(Terminated());
}

TEST(Termination, TheCloseBoxEndsTheProgramLikeKonec) {
    TForm1 form;
    form.show();
    QTimer::singleShot(0, &form, [&form] { form.close(); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(Terminated());
}

} // namespace
