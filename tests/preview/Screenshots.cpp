// Screenshots of the preview window for the documentation, taken on a real X server with a window
// manager (scripts/screenshots.sh runs this program under Xvfb and openbox). Not a test: each case
// arranges a window, waits until the window manager has framed it and grabs the whole screen into
// $PAGIMO_SCREENSHOT_DIR/NAME.png. Printing shots use the private CUPS of the printing tests.

#include "preview/StandardPreview.h"
#include "preview/TextSelection.h"
#include "printer/CupsFixture.h"
#include "printer/QRPrinter.h"

#include "DamagedFiles.h"
#include "MixedSheets.h"
#include "RecordedPages.h"
#include "TestPaths.h"
#include "WindowParts.h"
#include "pagestore/PageListFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

using namespace pagimo;

namespace {

QString ShotPath(const char* name) {
    return QString::fromLocal8Bit(std::getenv("PAGIMO_SCREENSHOT_DIR")) + QLatin1Char('/') + QString::fromLatin1(name) +
           QStringLiteral(".png");
}

// Waits for the window manager, then grabs the screen.
void Shoot(const char* name, int wait = 700) {
    QTest::qWait(wait);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen->grabWindow(0).save(ShotPath(name)));
}

// Runs f on the next modal window once it is up (polled from the event loop it runs).
void WhenModal(std::function<void(QWidget*)> f, int tries = 100) {
    QTimer::singleShot(50, [f, tries] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            f(modal);
        } else if (tries > 0) {
            WhenModal(f, tries - 1);
        } else {
            ADD_FAILURE() << "no modal window appeared";
        }
    });
}

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("PAGIMO_SCREENSHOT_DIR")) GTEST_SKIP() << "PAGIMO_SCREENSHOT_DIR is not set";
        QCoreApplication::setApplicationName(QStringLiteral("Pagimo")); // message boxes' caption
        // The printers are read when a report printer is made: the private CUPS comes first.
        test::TCupsFixture::Shared();
        File = Dir.File("invoices-2026.qrp");
        test::PrinterWithPages(12)->SaveReportFile(File);
        Printer = std::make_unique<printer::TQRPrinter>();
        Shown = std::make_unique<preview::TQRStandardPreview>(nullptr, Printer.get());
        Shown->setWindowTitle(QStringLiteral("invoices-2026.qrp \u2013 Pagimo"));
        Shown->setWindowState(Qt::WindowNoState);
        Shown->setGeometry(60, 40, 1000, 860);
        Shown->show();
        Shown->LoadReportFile(QString::fromStdString(File));
    }
    void TearDown() override {
        Shown.reset();
        Printer.reset();
    }
    test::TTempDir Dir;
    std::string File;
    std::unique_ptr<printer::TQRPrinter> Printer;
    std::unique_ptr<preview::TQRStandardPreview> Shown;
};

TEST_F(Screenshots, LoadedFileAtWholePage) {
    QTest::mouseClick(test::Part<QAbstractButton>(*Shown, "ZoomFit"), Qt::LeftButton);
    Shown->NextPageClick();
    Shoot("opened-file-fit");
}

TEST_F(Screenshots, PrintDialogOfALoadedFile) {
    if (!test::TCupsFixture::Shared()) GTEST_SKIP() << test::TCupsFixture::Error();
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        // With its options open, so that the page range shows.
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text().contains(QStringLiteral("Options"))) b->click();
        dialog->setPrintRange(QAbstractPrintDialog::PageRange);
        dialog->setFromTo(3, 7);
        Shoot("opened-file-print-dialog");
        dialog->reject();
    });
    Shown->PrintSetupClick();
}

TEST_F(Screenshots, DamagedFileMessage) {
    auto bytes = test::FileBytes(File);
    test::BreakRecordInsidePage(bytes, 2);
    const std::string damaged = Dir.File("ledger-damaged.qrp");
    test::WriteFileBytes(damaged, test::CutInsidePage(bytes, 9));
    WhenModal([](QWidget* box) {
        Shoot("damaged-file-message");
        static_cast<QDialog*>(box)->accept();
    });
    Shown->setWindowTitle(QStringLiteral("ledger-damaged.qrp \u2013 Pagimo"));
    QTest::mouseClick(test::Part<QAbstractButton>(*Shown, "ZoomFit"), Qt::LeftButton);
    Shown->LoadReportFile(QString::fromStdString(damaged));
    Shown->NextPageClick(); // page 2 cannot be drawn; the file's message has told already
    Shoot("damaged-page");
}

} // namespace

namespace {

TEST_F(Screenshots, ViewerContinuousPages) {
    test::Part<QAbstractButton>(*Shown, "ZoomFit")->click();
    Shown->Action(preview::pcContinuous)->trigger();
    Shown->QRPreview()->verticalScrollBar()->setValue(Shown->QRPreview()->ContinuousPageTop(3) + 300);
    Shoot("viewer-continuous");
}

TEST_F(Screenshots, ViewerFindBarWithHits) {
    Shown->ZoomTo100Click();
    Shown->Action(preview::pcFind)->trigger();
    QTest::keyClicks(test::Part<QLineEdit>(*Shown, "FindField"), QStringLiteral("words"));
    QTest::qWait(300);
    Shown->Action(preview::pcFindNext)->trigger();
    Shown->Action(preview::pcFindNext)->trigger();
    Shoot("viewer-find");
}

TEST_F(Screenshots, ViewerThumbnailPanel) {
    Shown->Action(preview::pcThumbnails)->trigger();
    test::Part<QAbstractButton>(*Shown, "ZoomFit")->click();
    test::Part<QLineEdit>(*Shown, "GoToPageField")->setText(QStringLiteral("4"));
    emit test::Part<QLineEdit>(*Shown, "GoToPageField")->returnPressed();
    QTest::qWait(500);
    Shoot("viewer-thumbnails");
}

TEST_F(Screenshots, ViewerSelection) {
    Shown->ZoomTo100Click();
    Shown->Selection().SelectArea(1, QRectF(0.07, 0.12, 0.5, 0.1));
    Shoot("viewer-selection");
}

} // namespace

namespace {

// Pages on sheets of three sizes (the middle one a real printed page of 200 x 188 mm when the corpus
// is at hand) one below the other.
TEST_F(Screenshots, ViewerSheetsOfThreeSizesInContinuousMode) {
    const std::string mixed = Dir.File("mixed.qrp");
    test::MixedSheetsReport(mixed);
    pagestore::TQRPageList source;
    source.OpenFile(mixed);
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    list.StorePage(*source.FetchPage(1));
    const auto corpus = test::CorpusDir() / "emf" / "windows-print-nt4" / "nt4_l_image001.emf";
    if (std::ifstream in{corpus, std::ios::binary}) {
        list.StorePage(emf::TEmfPicture(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})));
    } else {
        list.StorePage(*source.FetchPage(2));
    }
    list.StorePage(*source.FetchPage(3));
    const std::string file = Dir.File("sheets.qrp");
    test::SaveRecording(list, file);
    Shown->setGeometry(60, 10, 1000, 990);
    Shown->setWindowTitle(QStringLiteral("sheets.qrp – Pagimo"));
    Shown->LoadReportFile(QString::fromStdString(file));
    Shown->Action(preview::pcContinuous)->trigger();
    Shown->QRPreview()->SetZoom(30);
    Shown->QRPreview()->WaitForPages();
    Shoot("viewer-sheets-continuous");
}

// A page near its work budget while it is being drawn: white, with the busy mark.
TEST_F(Screenshots, ViewerPageBeingDrawn) {
    const std::string file = Dir.File("slow.qrp");
    pagestore::TQRPageList list;
    list.SetPageStream(std::make_shared<pagestore::TQRStream>(100000));
    list.StorePage(test::TroublePage(false));
    list.StorePage(test::TroublePage(true, 1'400'000));
    test::SaveRecording(list, file);
    Shown->LoadReportFile(QString::fromStdString(file));
    test::Part<QAbstractButton>(*Shown, "ZoomFit")->click();
    QTest::qWait(700);
    Shown->NextPageClick();
    Shoot("viewer-page-being-drawn", 60);
}

} // namespace

namespace {

TEST_F(Screenshots, ViewerMenuBarOpen) {
    test::Part<QAbstractButton>(*Shown, "ZoomFit")->click();
    Shown->activateWindow();
    QTest::qWait(300);
    Shown->menuBar()->setActiveAction(Shown->menuBar()->actions().at(2)); // View
    Shoot("viewer-menu-view");
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
}

TEST_F(Screenshots, ViewerFacingPages) {
    test::Part<QAbstractButton>(*Shown, "ZoomFit")->click();
    Shown->Action(preview::pcFacing)->trigger();
    Shown->NextPageClick();
    Shown->QRPreview()->WaitForPages();
    Shoot("viewer-facing");
}

TEST_F(Screenshots, ViewerRotatedPage) {
    test::Part<QAbstractButton>(*Shown, "ZoomFit")->click();
    Shown->Action(preview::pcRotateRight)->trigger();
    Shown->QRPreview()->WaitForPages();
    Shoot("viewer-rotated");
}

TEST_F(Screenshots, ViewerPropertiesDialog) {
    WhenModal([](QWidget* dialog) {
        Shoot("viewer-properties", 1200);
        static_cast<QDialog*>(dialog)->accept();
    });
    Shown->Action(preview::pcProperties)->trigger();
}

TEST_F(Screenshots, ViewerPrintToFile) {
    WhenModal([this](QWidget* modal) {
        auto* dialog = qobject_cast<QPrintDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        for (auto* printers : dialog->findChildren<QComboBox*>(QStringLiteral("printers")))
            if (const int pdf = printers->findText(QStringLiteral("PDF"), Qt::MatchContains); pdf >= 0)
                printers->setCurrentIndex(pdf);
        dialog->setPrintRange(QAbstractPrintDialog::CurrentPage);
        Shoot("viewer-print-to-file");
        dialog->reject();
    });
    Shown->PrintSetupClick();
}

} // namespace
