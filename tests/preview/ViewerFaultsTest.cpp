// What the file viewer's user ran into and must not again: full screen with thumbnails, Esc in full
// screen, a file caught half written on reload, saving nothing.

#include "preview/StandardPreview.h"
#include "preview/ViewerMemory.h"
#include "printer/QRPrinter.h"

#include "RecordedPages.h"
#include "WindowParts.h"
#include "pagestore/PageListFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

template <typename F> bool PumpUntil(F done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

class ViewerFaults : public ::testing::Test {
protected:
    void SetUp() override {
        OldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
        File = Dir.File("ten.qrp");
        test::PrinterWithPages(10)->SaveReportFile(File);
        Window.OnMessage = [this](const QString& text) { Messages << text; };
        Window.setWindowState(Qt::WindowNoState);
        Window.setGeometry(40, 50, 700, 600);
        Window.show();
        Window.LoadReportFile(QString::fromStdString(File));
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", OldConfig); }
    QByteArray OldConfig;
    QTemporaryDir Config;
    test::TTempDir Dir;
    std::string File;
    printer::TQRPrinter Printer;
    TQRStandardPreview Window{nullptr, &Printer};
    QStringList Messages;
};

TEST_F(ViewerFaults, FullScreenWithTheThumbnailsOpenKeepsThePage) {
    Window.Action(pcThumbnails)->trigger();
    for (bool continuous : {false, true}) {
        SCOPED_TRACE(continuous);
        if (continuous) Window.Action(pcContinuous)->trigger();
        test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("3"));
        emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
        for (int i = 0; i < 2; ++i) {
            Window.Action(pcFullScreen)->trigger();
            QTest::qWait(50);
            EXPECT_EQ(Window.QRPreview()->PageNumber(), 3);
            EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 3 of 10"));
        }
    }
}

TEST_F(ViewerFaults, EscLeavesFullScreenAndTheNextWindowOpensAsTheLastWasLeft) {
    Window.Memory().SetRemembers(true);
    Window.Action(pcFullScreen)->trigger();
    ASSERT_TRUE(Window.isFullScreen());
    Window.FormKeyDown(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(Window.isFullScreen());
    EXPECT_TRUE(Window.isVisible()) << "the window stays";
    // Closed while full screen, it is remembered in its normal state.
    Window.Action(pcFullScreen)->trigger();
    Window.close();
    printer::TQRPrinter p;
    TQRStandardPreview next(nullptr, &p);
    next.Memory().SetRemembers(true);
    next.Memory().RestoreSettings();
    EXPECT_FALSE(next.windowState() & Qt::WindowFullScreen);
    EXPECT_EQ(next.size(), QSize(700, 600));
}

// A file caught while it is being written is left alone until it is whole: the pages and the place
// stay, the status bar says why, and no box interrupts the reader.
TEST_F(ViewerFaults, AFileCaughtHalfWrittenKeepsThePagesAndThePlaceUntilItIsWhole) {
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("8"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    const std::vector<uint8_t> whole = test::FileBytes(File);
    test::WriteFileBytes(File, std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
    ASSERT_TRUE(PumpUntil([&] { return test::Part<QLabel>(Window, "ReloadPanel")->isVisible(); }));
    EXPECT_TRUE(Messages.isEmpty());
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 8 of 10"));
    test::PrinterWithPages(12)->SaveReportFile(File + ".new");
    std::rename((File + ".new").c_str(), File.c_str());
    ASSERT_TRUE(PumpUntil([&] { return Printer.PageTotal() == 12; }));
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 8 of 12"));
    EXPECT_FALSE(test::Part<QLabel>(Window, "ReloadPanel")->isVisible());
    EXPECT_TRUE(Messages.isEmpty());
}

TEST_F(ViewerFaults, SavingAWindowWithoutPagesIsRefusedWithAMessage) {
    printer::TQRPrinter empty;
    TQRStandardPreview w(nullptr, &empty);
    w.OnMessage = [this](const QString& text) { Messages << text; };
    w.SaveClick();
    EXPECT_EQ(Messages, QStringList{QStringLiteral("There are no pages to save")});
}

} // namespace
