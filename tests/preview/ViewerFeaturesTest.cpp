// What the preview window offers a file viewer's user on top of paging: zoom steps, going to a
// page, reloading a file rewritten on disk, remembered settings and the keys shown in the hints.

#include "preview/StandardPreview.h"
#include "preview/ThumbnailPanel.h"
#include "preview/ViewerMemory.h"
#include "printer/QRPrinter.h"

#include "RecordedPages.h"
#include "WindowParts.h"
#include "pagestore/PageListFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

// Runs the event loop until done() holds or five seconds have passed.
template <typename F> bool PumpUntil(F done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 5000)
        QTest::qWait(20);
    return done();
}

void WriteReport(const std::string& file, int pages) {
    test::PrinterWithPages(pages)->SaveReportFile(file + ".new");
    // Written next to it and renamed over it, as editors and report programs replace files.
    std::rename((file + ".new").c_str(), file.c_str());
}

class ViewerFeatures : public ::testing::Test {
protected:
    void SetUp() override {
        File = Dir.File("ten.qrp");
        WriteReport(File, 10);
        Window.resize(800, 700);
        Window.LoadReportFile(QString::fromStdString(File));
    }
    test::TTempDir Dir;
    std::string File;
    printer::TQRPrinter Printer;
    TQRStandardPreview Window{nullptr, &Printer};
};

TEST_F(ViewerFeatures, ZoomStepsWalkFromTenToEightHundredPercentAndShowTheZoom) {
    Window.ZoomTo100Click();
    EXPECT_EQ(test::Part<QLabel>(Window, "ZoomPanel")->text(), QStringLiteral("100%"));
    Window.Action(pcZoomIn)->trigger();
    EXPECT_EQ(Window.QRPreview()->Zoom(), 110);
    EXPECT_EQ(Window.QRPreview()->ZoomMode(), zmCustom);
    EXPECT_EQ(test::Part<QLabel>(Window, "ZoomPanel")->text(), QStringLiteral("110%"));
    for (int i = 0; i < 30; ++i)
        Window.Action(pcZoomIn)->trigger();
    EXPECT_EQ(Window.QRPreview()->Zoom(), 800) << "the top step holds";
    for (int i = 0; i < 30; ++i)
        Window.Action(pcZoomOut)->trigger();
    EXPECT_EQ(Window.QRPreview()->Zoom(), 10) << "the bottom step holds";
    Window.Action(pcZoom100)->trigger();
    EXPECT_EQ(Window.QRPreview()->Zoom(), 100);
    // The property keeps its own wider limits.
    Window.QRPreview()->SetZoom(2000);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 2000);
    EXPECT_EQ(test::Part<QLabel>(Window, "ZoomPanel")->text(), QStringLiteral("2000%"));
    Window.QRPreview()->SetZoom(2001);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 2000);
}

TEST_F(ViewerFeatures, CtrlWheelZoomsInStepsAndTheWheelAloneDoesNot) {
    Window.ZoomTo100Click();
    QWidget* view = Window.QRPreview()->viewport();
    const QPointF at(100, 100);
    const auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(at, view->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase,
                      false);
        QApplication::sendEvent(view, &e);
    };
    wheel(120, Qt::ControlModifier);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 110);
    wheel(-240, Qt::ControlModifier);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 90);
    // A touchpad's small turns add up to one step.
    wheel(60, Qt::ControlModifier);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 90);
    wheel(60, Qt::ControlModifier);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 100);
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(Window.QRPreview()->Zoom(), 100);
}

TEST_F(ViewerFeatures, GoToPageGoesThereAndIgnoresNumbersOutsideTheDocument) {
    const auto go = [&](const QString& text) {
        Window.Action(pcGoToPage)->trigger();
        test::Part<QLineEdit>(Window, "GoToPageField")->setText(text);
        emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    };
    go(QStringLiteral("7"));
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 7);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 7 of 10"));
    for (const char* ignored : {"0", "11", "-3", "", "99999999999", "x"}) {
        go(QString::fromLatin1(ignored));
        EXPECT_EQ(Window.QRPreview()->PageNumber(), 7) << ignored;
        EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 7 of 10")) << ignored;
    }
    go(QStringLiteral("10"));
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 10);
    EXPECT_TRUE(test::Part<QLineEdit>(Window, "GoToPageField")->text().isEmpty())
        << "the field is emptied for the next number";
}

TEST_F(ViewerFeatures, TheKeysOfTheWindowsActionsAreTheUsualOnes) {
    EXPECT_TRUE(Window.Action(pcZoomIn)->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl++"))));
    EXPECT_EQ(Window.Action(pcZoomOut)->shortcut(), QKeySequence(QStringLiteral("Ctrl+-")));
    EXPECT_EQ(Window.Action(pcZoom100)->shortcut(), QKeySequence(QStringLiteral("Ctrl+0")));
    EXPECT_EQ(Window.Action(pcGoToPage)->shortcut(), QKeySequence(QStringLiteral("Ctrl+G")));
    EXPECT_EQ(Window.Action(pcReload)->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(Window.Action(pcFullScreen)->shortcut(), QKeySequence(Qt::Key_F11));
}

TEST_F(ViewerFeatures, HintsShowTheirKeysWhileTheButtonsKeepTheirHints) {
    EXPECT_EQ(test::Part<QAbstractButton>(Window, "ToolButton2")->toolTip(), QStringLiteral("Next page"));
    EXPECT_EQ(HintWithKeys(QStringLiteral("ToolButton2"), QStringLiteral("Next page")),
              QStringLiteral("Next page (Page Down)"));
    EXPECT_EQ(HintWithKeys(QStringLiteral("FirstPage"), QStringLiteral("First page")),
              QStringLiteral("First page (Home, Ctrl+Page Up)"));
    EXPECT_EQ(HintWithKeys(QStringLiteral("LastPage"), QStringLiteral("Last page")),
              QStringLiteral("Last page (End, Ctrl+Page Down)"));
    EXPECT_EQ(HintWithKeys(QStringLiteral("ExitButton"), QStringLiteral("Close")),
              QStringLiteral("Close (Esc, Ctrl+W)"));
    EXPECT_EQ(HintWithKeys(QStringLiteral("ZoomFit"), QStringLiteral("Zoom to fit")), QStringLiteral("Zoom to fit"))
        << "no key of its own";
}

TEST_F(ViewerFeatures, InContinuousModeTheCounterFollowsTheScrolledPage) {
    Window.ZoomTo100Click();
    Window.Action(pcContinuous)->trigger();
    ASSERT_TRUE(Window.QRPreview()->Continuous());
    EXPECT_FALSE(Window.QRPreview()->PageImage()->isVisible());
    QScrollBar* bar = Window.QRPreview()->verticalScrollBar();
    const int32_t pitch = Window.QRPreview()->ContinuousPageTop(2) - Window.QRPreview()->ContinuousPageTop(1);
    EXPECT_EQ(pitch, Window.QRPreview()->Sheet().Height + TQRPreview::ContinuousGap);
    EXPECT_GE(bar->maximum(), 9 * pitch) << "the scroll bar reaches through the whole document";
    bar->setValue(4 * pitch + 5);
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 5);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 5 of 10"));
    bar->setValue(bar->value() - pitch);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 4 of 10"));
    // Paging keys and buttons scroll to the page; the last page stays the counted one at the end.
    Window.LastPageClick();
    EXPECT_EQ(bar->value(),
              std::min(bar->maximum(), Window.QRPreview()->ContinuousPageTop(10) - TQRPreview::ContinuousGap));
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 10 of 10"));
    bar->setValue(bar->maximum());
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 10 of 10"))
        << "the end of the document";
    Window.FirstPageClick();
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 1 of 10"));
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("6"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    EXPECT_EQ(bar->value(), Window.QRPreview()->ContinuousPageTop(6) - TQRPreview::ContinuousGap);
    // A zoom keeps the page in view.
    Window.Action(pcZoomIn)->trigger();
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 6 of 10"));
    EXPECT_EQ(bar->value(), Window.QRPreview()->ContinuousPageTop(6) - TQRPreview::ContinuousGap);
    // Off again: one page, the one that was in view.
    Window.Action(pcContinuous)->trigger();
    EXPECT_FALSE(Window.QRPreview()->Continuous());
    EXPECT_EQ(Window.QRPreview()->PageImage()->PageNumber(), 6);
}

TEST_F(ViewerFeatures, ContinuousModeDrawsThePagesTextInItsPlace) {
    Window.show();
    Window.ZoomTo100Click();
    Window.Action(pcContinuous)->trigger();
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("2"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    Window.QRPreview()->WaitForPages();
    QImage view(Window.QRPreview()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    view.fill(Qt::gray);
    Window.QRPreview()->viewport()->render(&view);
    // The heading "Page 2" lies 20 mm across and down from the page's corner (76 px at 100 %).
    const int left = Window.QRPreview()->Sheet().Left - Window.QRPreview()->horizontalScrollBar()->value();
    const int top = Window.QRPreview()->ContinuousPageTop(2) - Window.QRPreview()->verticalScrollBar()->value();
    int dark = 0;
    for (int y = top + 70; y < top + 110; ++y)
        for (int x = left + 70; x < left + 160; ++x)
            if (x >= 0 && y >= 0 && x < view.width() && y < view.height() && view.pixelColor(x, y).lightness() < 100)
                ++dark;
    EXPECT_GT(dark, 40) << "the heading is drawn on page 2's sheet";
}

TEST_F(ViewerFeatures, ContinuousModeHoldsOnlyThePagesNearTheView) {
    WriteReport(File, 60);
    Window.Action(pcReload)->trigger();
    Window.show();
    Window.Action(pcContinuous)->trigger();
    test::Part<QAbstractButton>(Window, "ZoomFit")->click();
    QScrollBar* bar = Window.QRPreview()->verticalScrollBar();
    QImage target(Window.QRPreview()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    size_t most = 0;
    for (int v = 0; v <= bar->maximum(); v += bar->pageStep() / 2) {
        bar->setValue(v);
        Window.QRPreview()->WaitForPages();
        Window.QRPreview()->viewport()->render(&target);
        most = std::max(most, Window.QRPreview()->HeldPages());
    }
    bar->setValue(bar->maximum());
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 60);
    EXPECT_GT(most, 0U);
    EXPECT_LE(most, TQRPreview::MaxHeldPages);
    // The painted view shows sheets: white paper and the border.
    EXPECT_EQ(target.pixelColor(target.width() / 2, target.height() / 2).lightness() > 200, true);
}

TEST_F(ViewerFeatures, ThumbnailsAppearWhileTheEventLoopKeepsRunning) {
    Window.show();
    Window.Action(pcThumbnails)->trigger();
    ASSERT_TRUE(Window.Thumbnails().isVisible());
    TThumbnailPanel& panel = Window.Thumbnails();
    EXPECT_EQ(panel.List->model()->rowCount(), 10);
    // Asking does not wait for the picture: it comes later, from the worker.
    EXPECT_TRUE(panel.Thumbnail(1).isNull());
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    ASSERT_TRUE(PumpUntil([&] { return panel.IsRendered(1); }));
    EXPECT_GT(ticks, 0) << "the event loop ran while thumbnails were made";
    const QImage first = panel.Thumbnail(1);
    EXPECT_EQ(first.width(), TThumbnailPanel::ThumbnailWidth);
    EXPECT_NEAR(first.height(), TThumbnailPanel::ThumbnailWidth * 297 / 210, 2);
    // Lazy: rows far out of view are not rendered.
    EXPECT_LT(panel.RenderedCount(), 10 + 1);
    // The page shown is the current row; a click goes to a page.
    Window.LastPageClick();
    EXPECT_EQ(panel.List->currentIndex().row(), 9);
    const QModelIndex third = panel.List->model()->index(2, 0);
    QTest::mouseClick(panel.List->viewport(), Qt::LeftButton, {}, panel.List->visualRect(third).center());
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 3);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 3 of 10"));
    // A reload makes them again.
    WriteReport(File, 4);
    Window.Action(pcReload)->trigger();
    EXPECT_EQ(panel.List->model()->rowCount(), 4);
    EXPECT_FALSE(panel.IsRendered(1));
    Window.Action(pcThumbnails)->trigger();
    EXPECT_FALSE(Window.Thumbnails().isVisible());
}

// Hiding the panel (also when its window closes) waits for its workers: none may still paint when
// the program ends and Qt's painting state goes with the application.
TEST_F(ViewerFeatures, AHiddenThumbnailPanelLeavesNoWorkerPainting) {
    Window.show();
    Window.Action(pcThumbnails)->trigger();
    TThumbnailPanel& panel = Window.Thumbnails();
    for (int32_t n = 1; n <= 10; ++n)
        panel.Thumbnail(n);
    Window.Action(pcThumbnails)->trigger();
    ASSERT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.Rendering());
    // Shown again, the rows in view are made again.
    Window.Action(pcThumbnails)->trigger();
    ASSERT_TRUE(PumpUntil([&] { return !panel.Thumbnail(1).isNull(); }));
}

TEST_F(ViewerFeatures, AFileRewrittenOnDiskIsReloadedKeepingThePage) {
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("7"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    WriteReport(File, 12);
    ASSERT_TRUE(PumpUntil([&] { return Printer.PageTotal() == 12; })) << "not reloaded";
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 7);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 7 of 12"));
    EXPECT_TRUE(Window.QRPreview()->PageImage()->HasPage());
    // Shorter now: the last page stands in for the one that is gone; still watched after a rename.
    WriteReport(File, 5);
    ASSERT_TRUE(PumpUntil([&] { return Printer.PageTotal() == 5; })) << "not reloaded a second time";
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 5 of 5"));
}

TEST_F(ViewerFeatures, AFileThatIsBrokenWhileWatchedKeepsThePagesShown) {
    Window.LastPageClick();
    {
        QFile f(QString::fromStdString(File));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("not a report");
    }
    QTest::qWait(800);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 10 of 10"));
    // Once good again, it is shown.
    WriteReport(File, 3);
    ASSERT_TRUE(PumpUntil([&] { return Printer.PageTotal() == 3; }));
}

TEST_F(ViewerFeatures, F5ReloadsTheFileKeepingThePage) {
    test::Part<QLineEdit>(Window, "GoToPageField")->setText(QStringLiteral("4"));
    emit test::Part<QLineEdit>(Window, "GoToPageField")->returnPressed();
    Window.Action(pcReload)->trigger();
    EXPECT_EQ(Window.QRPreview()->PageNumber(), 4);
    EXPECT_EQ(test::Part<QLabel>(Window, "Panel1")->text(), QStringLiteral("Page 4 of 10"));
}

// Settings live in the settings folder that XDG_CONFIG_HOME names, here a temporary one.
class RememberedSettings : public ::testing::Test {
protected:
    void SetUp() override {
        OldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", Config.path().toLocal8Bit());
        for (int i = 1; i <= 12; ++i) {
            Files << QString::fromStdString(Dir.File("file" + std::to_string(i) + ".qrp"));
            WriteReport(Files.back().toStdString(), 2);
        }
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", OldConfig); }
    QByteArray OldConfig;
    QTemporaryDir Config;
    test::TTempDir Dir;
    QStringList Files;
};

TEST_F(RememberedSettings, ASecondWindowComesBackAsTheFirstWasLeft) {
    {
        printer::TQRPrinter p;
        auto* w = new TQRStandardPreview(nullptr, &p);
        w->Memory().SetRemembers(true);
        w->Memory().RestoreSettings();
        w->setWindowState(Qt::WindowNoState);
        w->setGeometry(30, 40, 720, 610);
        w->show();
        for (const QString& f : Files)
            w->LoadReportFile(f);
        test::Part<QAbstractButton>(*w, "ZoomFit")->click();
        w->Action(pcContinuous)->trigger();
        w->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(QFile::exists(Config.filePath(QStringLiteral("pagimo/pagimo.conf"))));
    const QStringList recent = RecentFileList();
    ASSERT_EQ(recent.size(), 10) << "the last ten";
    EXPECT_EQ(recent.front(), Files.back()) << "newest first";
    EXPECT_EQ(recent.back(), Files[2]);

    // A document not opened before opens in the view the last window was left in.
    const QString fresh = QString::fromStdString(Dir.File("fresh.qrp"));
    WriteReport(fresh.toStdString(), 2);
    printer::TQRPrinter p;
    TQRStandardPreview second(nullptr, &p);
    second.Memory().SetRemembers(true);
    second.Memory().RestoreSettings();
    second.LoadReportFile(fresh);
    EXPECT_EQ(second.size(), QSize(720, 610));
    EXPECT_EQ(second.QRPreview()->ZoomMode(), zmFitPage) << "also for the first file loaded";
    EXPECT_TRUE(test::Part<QAbstractButton>(second, "ZoomFit")->isChecked());
    EXPECT_TRUE(second.QRPreview()->Continuous());
    EXPECT_TRUE(second.Action(pcContinuous)->isChecked());
    ASSERT_EQ(test::Part<QMenu>(second, "RecentMenu")->actions().size(), 10);
    EXPECT_EQ(test::Part<QMenu>(second, "RecentMenu")->actions().front()->text(), QStringLiteral("fresh.qrp"))
        << "just loaded";
    // A recent file is loaded from the menu.
    test::Part<QMenu>(second, "RecentMenu")->actions()[3]->trigger();
    EXPECT_EQ(QString::fromStdString(p.FileName()), Files[11 - 2]);
}

TEST_F(RememberedSettings, AReportsPreviewNeitherReadsNorWritesSettings) {
    printer::TQRPrinter p;
    TQRStandardPreview w(nullptr, &p);
    w.LoadReportFile(Files[0]);
    w.close();
    EXPECT_FALSE(QFile::exists(Config.filePath(QStringLiteral("pagimo/pagimo.conf"))));
    EXPECT_FALSE(test::Part<QToolButton>(w, "RecentFiles")->isEnabled());
}

} // namespace
