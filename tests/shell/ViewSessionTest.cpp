#include "shell/ViewSession.h"
#include "preview/RecordedPages.h"
#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "preview/WindowParts.h"
#include "shell/Application.h"

#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::shell;

namespace {

class ViewSession : public ::testing::Test {
protected:
    void SetUp() override {
        preview::InstallStandardPreviewInterface();
        ASSERT_TRUE(Dir.isValid());
        File = Dir.filePath(QStringLiteral("three.qrp"));
        test::PrinterWithPages(3)->SaveReportFile(File.toStdString());
    }
    // Runs f with the preview window once the session has opened it and waits in its loop.
    template <typename F> void WithOpenPreview(TViewSession& session, F f) {
        QTimer::singleShot(0, [&session, f] {
            ASSERT_EQ(session.OpenWindows().size(), 1u);
            f(dynamic_cast<preview::TQRStandardPreview*>(session.OpenWindows().front()));
        });
    }
    QTemporaryDir Dir;
    QString File;
};

TEST_F(ViewSession, ProhlizetOpensThePreviewAndReturnsWhenItCloses) {
    TViewSession session;
    QPointer<preview::TQRStandardPreview> window;
    WithOpenPreview(session, [&window](preview::TQRStandardPreview* w) {
        ASSERT_NE(w, nullptr);
        window = w;
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(test::Part<QLabel>(*w, "Panel1")->text(), QStringLiteral("Page 1 of 0"))
            << "an empty printer, ready for a file";
        w->ExitClick();
    });
    session.View();
    EXPECT_TRUE(session.OpenWindows().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST_F(ViewSession, AFileNamedOnTheCommandLineIsShownAtOnce) {
    TViewSession session;
    QString counter;
    bool hasPage = false;
    WithOpenPreview(session, [&](preview::TQRStandardPreview* w) {
        counter = test::Part<QLabel>(*w, "Panel1")->text();
        hasPage = w->QRPreview()->PageImage()->HasPage();
        w->close();
    });
    session.View(File);
    EXPECT_EQ(counter, QStringLiteral("Page 1 of 3"));
    EXPECT_TRUE(hasPage);
}

TEST_F(ViewSession, ASecondProhlizetBringsTheOpenPreviewForward) {
    TViewSession session;
    size_t openInside = 0;
    WithOpenPreview(session, [&](preview::TQRStandardPreview* w) {
        session.View(); // returns at once
        openInside = session.OpenWindows().size();
        w->close();
    });
    session.View();
    EXPECT_EQ(openInside, 1u);
}

TEST_F(ViewSession, AMissingFileIsReportedAndThePreviewStays) {
    TViewSession session;
    QString message;
    QTimer::singleShot(0, [&message] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        message = box->text();
        box->accept();
    });
    WithOpenPreview(session, [](preview::TQRStandardPreview* w) { w->close(); });
    session.View(Dir.filePath(QStringLiteral("gone.qrp")));
    EXPECT_EQ(message, QStringLiteral("File does not exist"));
}

// Ends the event loops as Konec does, so it comes last.
TEST(ViewSessionEnd, ProgramEndClosesThePreviewsStillOpen) {
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

} // namespace
