// The window's parts as a user meets them: every menu item does what its button or key does, Space
// turns the page at the end of one, and the reader's place comes back in the next window.

#include "preview/StandardPreview.h"
#include "preview/ThumbnailPanel.h"
#include "preview/ViewerMemory.h"
#include "printer/QRPrinter.h"

#include "RecordedPages.h"
#include "WindowParts.h"
#include "pagestore/PageListFixture.h"

#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

// What a command may change, as the user sees it.
struct TViewState {
    int32_t Page;
    int32_t Zoom;
    bool Continuous, Facing, Thumbnails;
    int Rotation;
    bool operator==(const TViewState&) const = default;
};

TViewState StateOf(const TQRStandardPreview& w) {
    const TQRPreview& p = *w.QRPreview();
    return {p.PageNumber(), p.Zoom(), p.Continuous(), p.Facing(), w.Thumbnails().isVisible(), p.Rotation()};
}

std::ostream& operator<<(std::ostream& out, const TViewState& s) {
    return out << "page " << s.Page << ", zoom " << s.Zoom << ", continuous " << s.Continuous << ", facing " << s.Facing
               << ", thumbnails " << s.Thumbnails << ", turns " << s.Rotation;
}

class ViewerParts : public ::testing::Test {
protected:
    void SetUp() override {
        File = QString::fromStdString(Dir.File("nine.qrp"));
        test::PrinterWithPages(9)->SaveReportFile(File.toStdString());
    }
    // A shown, active window on page 3 at 150 %.
    std::unique_ptr<TQRStandardPreview> Open(printer::TQRPrinter& printer) {
        auto w = std::make_unique<TQRStandardPreview>(nullptr, &printer);
        w->setWindowState(Qt::WindowNoState);
        w->resize(800, 700);
        w->show();
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        w->LoadReportFile(File);
        w->QRPreview()->SetZoom(150);
        w->QRPreview()->SetPageNumber(3);
        return w;
    }
    test::TTempDir Dir;
    QString File;
};

TEST_F(ViewerParts, EveryMenuItemDoesWhatItsButtonOrKeyDoes) {
    const auto button = [](const char* name) {
        return
            [name](TQRStandardPreview& w) { QTest::mouseClick(test::Part<QAbstractButton>(w, name), Qt::LeftButton); };
    };
    const auto key = [](const char* keys) {
        return [keys](TQRStandardPreview& w) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keySequence(focus ? focus : &w, QKeySequence(QString::fromLatin1(keys)));
        };
    };
    const struct {
        TPreviewCommand Command;
        std::function<void(TQRStandardPreview&)> Other;
    } cases[] = {
        {pcFirstPage, button("FirstPage")},  {pcPreviousPage, button("PreviousPage")},
        {pcNextPage, button("ToolButton2")}, {pcLastPage, button("LastPage")},
        {pcZoomFit, button("ZoomFit")},      {pcZoomToWidth, button("ZoomToWidth")},
        {pcZoom100, key("Ctrl+0")},          {pcContinuous, button("ContinuousButton")},
        {pcZoomIn, key("Ctrl+=")},           {pcZoomOut, key("Ctrl+-")},
        {pcRotateLeft, key("Ctrl+L")},       {pcRotateRight, key("Ctrl+R")},
        {pcFacing, key("Ctrl+Shift+D")},     {pcThumbnails, key("F4")},
        {pcNextPage, key("PgDown")},         {pcLastPage, key("End")},
    };
    for (const auto& c : cases) {
        printer::TQRPrinter a, b;
        const auto byMenu = Open(a);
        const auto byOther = Open(b);
        const TViewState before = StateOf(*byMenu);
        byMenu->Action(c.Command)->trigger();
        byOther->QRPreview()->setFocus();
        c.Other(*byOther);
        EXPECT_NE(StateOf(*byMenu), before) << byMenu->Action(c.Command)->objectName().toStdString();
        EXPECT_EQ(StateOf(*byMenu), StateOf(*byOther)) << byMenu->Action(c.Command)->objectName().toStdString();
    }
}

// Space scrolls a screen down and turns to the top of the next page at the end of one; Shift+Space
// goes back to the end of the page before.
TEST_F(ViewerParts, SpaceTurnsThePageAtTheEndOfOne) {
    printer::TQRPrinter p;
    const auto w = Open(p);
    QScrollBar* bar = w->QRPreview()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    w->QRPreview()->setFocus();
    QTest::keyClick(w->QRPreview(), Qt::Key_Space);
    EXPECT_EQ(w->QRPreview()->PageNumber(), 3);
    EXPECT_GT(bar->value(), 0);
    for (int i = 0; i < 10 && bar->value() < bar->maximum(); ++i)
        QTest::keyClick(w->QRPreview(), Qt::Key_Space);
    EXPECT_EQ(w->QRPreview()->PageNumber(), 3) << "a screen at a time to the end of the page";
    QTest::keyClick(w->QRPreview(), Qt::Key_Space);
    EXPECT_EQ(w->QRPreview()->PageNumber(), 4);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(w->QRPreview(), Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_EQ(w->QRPreview()->PageNumber(), 3);
    EXPECT_EQ(bar->value(), bar->maximum());
}

// The reader's place (page, zoom, facing pages, turn) comes back in a second window for the same
// file, and not for the file once it has changed.
TEST_F(ViewerParts, TheReadersPlaceComesBackUnlessTheFileChanged) {
    QTemporaryDir config;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const auto reopen = [this] {
        auto p = std::make_unique<printer::TQRPrinter>();
        auto w = std::make_unique<TQRStandardPreview>(nullptr, p.get());
        w->Memory().SetRemembers(true);
        w->Memory().RestoreSettings();
        w->resize(800, 700);
        w->LoadReportFile(File);
        return std::make_pair(std::move(p), std::move(w));
    };
    {
        auto [p, w] = reopen();
        w->QRPreview()->SetZoom(150);
        w->QRPreview()->SetPageNumber(6);
        w->Action(pcRotateRight)->trigger();
        w->Action(pcFacing)->trigger();
        w->Memory().Leaving();
    }
    const TViewState left{6, 150, false, true, false, 1};
    EXPECT_EQ(StateOf(*reopen().second), left);
    test::PrinterWithPages(8)->SaveReportFile(File.toStdString());
    const TViewState fresh = StateOf(*reopen().second);
    EXPECT_EQ(fresh.Page, 1) << "a changed file starts on its first page";
    EXPECT_EQ(fresh.Rotation, 0);
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

} // namespace
