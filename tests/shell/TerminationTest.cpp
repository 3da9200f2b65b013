// Ending the program: these tests end the application's event loops, so they run last.

#include "preview/StandardPreviewInterface.h"
#include "shell/MainForm.h"
#include "shell/ViewSession.h"

#include <QEventLoop>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::shell;

namespace {

TEST(Termination, ProgramEndClosesThePreviewsStillOpen) {
    preview::InstallStandardPreviewInterface();
    auto session = std::make_unique<TViewSession>();
    QPointer<QWidget> window;
    QTimer::singleShot(0, [&window, &session] {
        ASSERT_EQ(session->OpenWindows().size(), 1u);
        window = session->OpenWindows().front();
        QCoreApplication::exit(0); // as Konec does: the nested loop ends with the program
    });
    session->View();
    ASSERT_FALSE(window.isNull()) << "still open when the loop ended";
    session->CloseAll();
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(session->OpenWindows().empty());
}

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
