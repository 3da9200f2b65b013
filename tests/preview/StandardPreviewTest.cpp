#include "preview/StandardPreview.h"
#include "preview/PreviewToolBar.h"
#include "preview/StandardPreviewInterface.h"
#include "printer/ExportFilters.h"
#include "printer/QRPrinter.h"

#include "RecordedPages.h"
#include "TestPaths.h"
#include "WindowParts.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace pagimo;
using namespace pagimo::preview;

namespace {

void Pump() {
    QCoreApplication::processEvents();
}

// Answers the next modal dialog with f, from the event loop the dialog runs.
template <typename F> void WhenModal(F f) {
    QTimer::singleShot(0, [f] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        f(modal);
    });
}

std::vector<char> Bytes(const QString& file) {
    std::ifstream in(file.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Receives what a report would: the preview-closed message.
class TReportStandIn : public QObject {
public:
    int Closed = 0;
    bool event(QEvent* e) override {
        if (e->type() == printer::MsgPreviewClosed) {
            ++Closed;
            return true;
        }
        return QObject::event(e);
    }
};

TEST(StandardPreview, IsBuiltAsTheFormDescribes) {
    auto printer = test::PrinterWithPages(3);
    TQRStandardPreview w(nullptr, printer.get());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Print Preview"));
    EXPECT_TRUE(w.windowState().testFlag(Qt::WindowMaximized));
    const std::pair<const char*, const char*> hints[] = {{"ZoomFit", "Zoom to fit"},
                                                         {"Zoom100", "100%"},
                                                         {"ZoomToWidth", "Zoom to width"},
                                                         {"FirstPage", "First page"},
                                                         {"PreviousPage", "Previous page"},
                                                         {"ToolButton2", "Next page"},
                                                         {"LastPage", "Last page"},
                                                         {"PrintSetup", "Printer setup"},
                                                         {"Print", "Print"},
                                                         {"SaveReport", "Save Report"},
                                                         {"LoadReport", "Load Report"}};
    for (const auto& [name, hint] : hints) {
        const QAbstractButton* button = test::Part<QAbstractButton>(w, name);
        EXPECT_EQ(button->toolTip(), QString::fromUtf8(hint));
        EXPECT_EQ(button->width(), 23);
        EXPECT_FALSE(button->icon().isNull());
    }
    EXPECT_EQ(test::Part<QPushButton>(w, "ExitButton")->text(), QStringLiteral("&Close"));
    EXPECT_EQ(test::Part<QPushButton>(w, "ExitButton")->size(), QSize(40, 22));
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "ZoomToWidth")->isChecked());
    EXPECT_FALSE(test::Part<QAbstractButton>(w, "ZoomFit")->isChecked());
    EXPECT_FALSE(test::Part<QAbstractButton>(w, "Zoom100")->isChecked());
    EXPECT_EQ(static_cast<TPreviewToolBar*>(test::Part<QToolBar>(w, "ToolBar1"))->Images().size(), 11);
    EXPECT_EQ(test::Part<QLabel>(w, "Panel0")->text(), QStringLiteral("0%"));
    EXPECT_EQ(test::Part<QLabel>(w, "Panel0")->width(), 40);
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page"));
    EXPECT_EQ(test::Part<QStatusBar>(w, "StatusBar")->height(), 19);
    EXPECT_EQ(w.QRPreview()->ReportPrinter(), printer.get());
}

// The status bar holds its panels and the page field whole with the usual font and at twice its size.
TEST(StandardPreview, TheStatusBarFitsItsFieldsAtEveryScale) {
    auto printer = test::PrinterWithPages(3);
    TQRStandardPreview w(nullptr, printer.get());
    w.setWindowState(Qt::WindowNoState);
    w.resize(900, 600);
    w.show();
    auto* bar = test::Part<QStatusBar>(w, "StatusBar");
    const QFont usual = bar->font();
    for (const qreal scale : {1.0, 2.0}) {
        QFont font = usual;
        font.setPointSizeF(usual.pointSizeF() * scale);
        bar->setFont(font);
        for (QWidget* field : bar->findChildren<QWidget*>()) {
            if (!field->isVisible()) continue;
            field->setFont(font);
        }
        QCoreApplication::processEvents();
        bar->layout()->activate();
        for (const char* name : {"Panel0", "Panel1", "ZoomPanel", "GoToPageField"}) {
            const QWidget* field = test::Part<QWidget>(*bar, name);
            EXPECT_TRUE(bar->rect().contains(field->geometry())) << name << " at " << scale;
            EXPECT_GE(field->height(), field->fontMetrics().height()) << name << " at " << scale;
        }
    }
}

TEST(StandardPreview, TakesTheReportTitleAsCaption) {
    auto printer = test::PrinterWithPages(1);
    printer->SetDocumentTitle("Invoices of March");
    TQRStandardPreview w(nullptr, printer.get());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Invoices of March"));
}

TEST(StandardPreview, ZoomButtonsActAsOneRadioGroup) {
    auto printer = test::PrinterWithPages(1);
    TQRStandardPreview w(nullptr, printer.get());
    w.show();
    QTest::mouseClick(test::Part<QAbstractButton>(w, "ZoomFit"), Qt::LeftButton);
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "ZoomFit")->isChecked());
    EXPECT_FALSE(test::Part<QAbstractButton>(w, "ZoomToWidth")->isChecked());
    EXPECT_EQ(w.QRPreview()->ZoomMode(), zmFitPage);
    QTest::mouseClick(test::Part<QAbstractButton>(w, "Zoom100"), Qt::LeftButton);
    EXPECT_EQ(w.QRPreview()->Zoom(), 100);
    EXPECT_EQ(w.QRPreview()->ZoomMode(), zmCustom);
    QTest::mouseClick(test::Part<QAbstractButton>(w, "Zoom100"), Qt::LeftButton);
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "Zoom100")->isChecked()) << "one of them is always down";
    QTest::mouseClick(test::Part<QAbstractButton>(w, "ZoomToWidth"), Qt::LeftButton);
    EXPECT_EQ(w.QRPreview()->ZoomMode(), zmFitWidth);
}

TEST(StandardPreview, PagesAndCountsEvenWhenThePageStays) {
    auto printer = test::PrinterWithPages(3);
    TQRStandardPreview w(nullptr, printer.get());
    w.UpdatePageInfo();
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 1 of 3"));
    w.NextPageClick();
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 2 of 3"));
    w.LastPageClick();
    EXPECT_EQ(w.QRPreview()->PageNumber(), 3);
    test::Part<QLabel>(w, "Panel1")->setText(QString());
    w.NextPageClick();
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 3 of 3"))
        << "rewritten although nothing moved";
    w.FirstPageClick();
    test::Part<QLabel>(w, "Panel1")->setText(QString());
    w.PrevPageClick();
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 1 of 3"));
}

TEST(StandardPreview, KeysReachTheWindowBeforeTheFocusedControl) {
    auto printer = test::PrinterWithPages(5);
    TQRStandardPreview w(nullptr, printer.get());
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.QRPreview()->setFocus();
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);

    QTest::keyClick(target, Qt::Key_End);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 5);
    QTest::keyClick(target, Qt::Key_PageUp);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 4) << "Page Up is not swallowed by the scroll box";
    QTest::keyClick(target, Qt::Key_PageUp, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 3) << "Ctrl+Shift is not Ctrl alone";
    QTest::keyClick(target, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 1);
    QTest::keyClick(target, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 5);
    QTest::keyClick(target, Qt::Key_Home);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 1);
    QTest::keyClick(target, Qt::Key_PageDown);
    EXPECT_EQ(w.QRPreview()->PageNumber(), 2);
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 2 of 5"));
}

TEST(StandardPreview, EscapeClosesAndTellsTheReport) {
    auto printer = test::PrinterWithPages(1);
    TReportStandIn report;
    printer->SetReportWindow(&report);
    QPointer<TQRStandardPreview> w = new TQRStandardPreview(nullptr, printer.get());
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(report.Closed, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull()) << "the window frees itself";
    EXPECT_EQ(printer->NotifyWindow(), nullptr);
    EXPECT_FALSE(printer->PreviewShown());
}

TEST(StandardPreview, ProgressPanelShowsStepsOfFiveAndClearsAtTheEnds) {
    printer::TQRPrinter printer;
    TQRStandardPreview w(nullptr, &printer);
    auto progress = [&](int32_t value) {
        printer.SetProgress(value);
        Pump();
        return test::Part<QLabel>(w, "Panel0")->text();
    };
    EXPECT_EQ(progress(0), QString());
    EXPECT_EQ(progress(3), QString());
    EXPECT_EQ(progress(4), QString());
    EXPECT_EQ(progress(5), QStringLiteral("5%"));
    EXPECT_EQ(progress(9), QStringLiteral("5%"));
    EXPECT_EQ(progress(50), QStringLiteral("50%"));
    EXPECT_EQ(progress(100), QString());
    EXPECT_EQ(w.ShownProgress(), 100);
}

TEST(StandardPreview, PrintButtonsFollowTheJob) {
    printer::TQRPrinter printer;
    printer.SetPaperSize(printer::TQRPaperSize::A4);
    TQRStandardPreview w(nullptr, &printer);
    EXPECT_FALSE(test::Part<QAbstractButton>(w, "Print")->isEnabled());
    EXPECT_FALSE(test::Part<QAbstractButton>(w, "PrintSetup")->isEnabled());
    test::RecordPages(printer, 2, false);
    Pump();
    EXPECT_FALSE(test::Part<QAbstractButton>(w, "Print")->isEnabled()) << "still generating";
    printer.FinishDocument();
    Pump();
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "Print")->isEnabled());
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "PrintSetup")->isEnabled());

    auto finished = test::PrinterWithPages(1);
    TQRStandardPreview late(nullptr, finished.get());
    EXPECT_TRUE(test::Part<QAbstractButton>(late, "Print")->isEnabled()) << "a finished printer enables Print at once";
    EXPECT_FALSE(test::Part<QAbstractButton>(late, "PrintSetup")->isEnabled());
}

TEST(StandardPreviewInterface, OpensAShownWindowWithItsPageCounter) {
    auto printer = test::PrinterWithPages(2);
    TQRStandardPreviewInterface preview;
    QPointer<QObject> opened = preview.OpenPreview(*printer);
    auto* w = dynamic_cast<TQRStandardPreview*>(opened.data());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(test::Part<QLabel>(*w, "Panel1")->text(), QStringLiteral("Page 1 of 2"));
    EXPECT_EQ(printer->NotifyWindow(), static_cast<QObject*>(w->QRPreview()));
    w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(opened.isNull());
}

TEST(StandardPreviewInterface, TheModalWindowReturnsWhenClosed) {
    auto printer = test::PrinterWithPages(1);
    bool wasModal = false;
    WhenModal([&wasModal](QWidget* modal) {
        wasModal = dynamic_cast<TQRStandardPreview*>(modal) != nullptr;
        modal->close();
    });
    TQRStandardPreviewInterface().OpenPreviewModal(*printer);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(printer->NotifyWindow(), nullptr);
}

TEST(StandardPreviewInterface, IsWhatAReportPrinterOpensOnceInstalled) {
    InstallStandardPreviewInterface();
    auto printer = test::PrinterWithPages(1);
    printer->ShowPreview();
    auto* control = dynamic_cast<TQRPreview*>(printer->NotifyWindow());
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(printer->PreviewShown());
    QPointer<QWidget> window = control->window();
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(printer->PreviewShown());
}

class StandardPreviewFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Source = test::PrinterWithPages(4);
        Saved = Dir.filePath(QStringLiteral("four.QRP"));
        Source->SaveReportFile(Saved.toStdString());
    }
    QTemporaryDir Dir;
    std::unique_ptr<printer::TQRPrinter> Source;
    QString Saved;
};

TEST_F(StandardPreviewFiles, LoadingAMissingFileSaysSoAndChangesNothing) {
    auto printer = test::PrinterWithPages(2);
    TQRStandardPreview w(nullptr, printer.get());
    QString text;
    WhenModal([&text](QWidget* box) {
        text = static_cast<QMessageBox*>(box)->text();
        static_cast<QMessageBox*>(box)->accept();
    });
    w.LoadReportFile(Dir.filePath(QStringLiteral("absent.QRP")));
    EXPECT_EQ(text, QStringLiteral("File does not exist"));
    EXPECT_EQ(printer->PageTotal(), 2);
    EXPECT_FALSE(printer->LoadedFromFile());
}

TEST_F(StandardPreviewFiles, LoadThroughTheDialogReplacesThePages) {
    auto printer = test::PrinterWithPages(2);
    printer->PrintSetupHook = [](QObject*) {};
    TQRStandardPreview w(nullptr, printer.get());
    Pump();
    w.QRPreviewPageAvailable(nullptr, 2); // as if the last notification came now
    ASSERT_TRUE(test::Part<QAbstractButton>(w, "PrintSetup")->isEnabled());
    QString title;
    QStringList filters;
    WhenModal([&, file = Saved](QWidget* modal) {
        auto* dialog = static_cast<QFileDialog*>(modal);
        title = dialog->windowTitle();
        filters = dialog->nameFilters();
        dialog->selectFile(file);
        static_cast<QDialog*>(dialog)->accept();
    });
    w.LoadClick();
    EXPECT_EQ(title, QStringLiteral("Load report"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("Report file (*.QRP)")});
    EXPECT_EQ(printer->PageTotal(), 4);
    EXPECT_TRUE(printer->LoadedFromFile());
    EXPECT_EQ(w.QRPreview()->PageNumber(), 1);
    EXPECT_TRUE(w.QRPreview()->PageImage()->HasPage());
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 1 of 4"));
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "Print")->isEnabled());
    EXPECT_TRUE(test::Part<QAbstractButton>(w, "PrintSetup")->isEnabled())
        << "a loaded file is printed through the print dialog";
}

// Qt delivers a drop only inside a drag it runs itself; the window's handlers are called directly.
class TDropTarget : public TQRStandardPreview {
public:
    using TQRStandardPreview::dragEnterEvent;
    using TQRStandardPreview::dropEvent;
    using TQRStandardPreview::TQRStandardPreview;
};

// A file loaded where nothing was shown fits the page width, as the first page of a report does.
TEST_F(StandardPreviewFiles, AFileLoadedIntoAnEmptyWindowFitsTheWidth) {
    printer::TQRPrinter empty;
    TQRStandardPreview first(nullptr, &empty);
    first.QRPreview()->resize(644, 501);
    first.LoadReportFile(Saved);
    EXPECT_EQ(first.QRPreview()->ZoomMode(), zmFitWidth);
    EXPECT_EQ(first.QRPreview()->Zoom(), 73);
    EXPECT_EQ(first.QRPreview()->PageImage()->size(), QSize(583, 823));
}

TEST_F(StandardPreviewFiles, AFileDroppedOnTheWindowIsLoaded) {
    printer::TQRPrinter printer;
    TDropTarget w(nullptr, &printer);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Saved)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    w.dragEnterEvent(&enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    w.dropEvent(&drop);
    EXPECT_EQ(printer.PageTotal(), 4);
    EXPECT_EQ(test::Part<QLabel>(w, "Panel1")->text(), QStringLiteral("Page 1 of 4"));
}

TEST_F(StandardPreviewFiles, SaveAsQrpThroughTheDialog) {
    TQRStandardPreview w(nullptr, Source.get());
    const QString target = Dir.filePath(QStringLiteral("copy"));
    QString title, suffix;
    WhenModal([&](QWidget* modal) {
        auto* dialog = static_cast<QFileDialog*>(modal);
        title = dialog->windowTitle();
        suffix = dialog->defaultSuffix();
        dialog->selectNameFilter(dialog->nameFilters().constFirst());
        dialog->selectFile(target);
        static_cast<QDialog*>(dialog)->accept();
    });
    w.SaveClick();
    EXPECT_EQ(title, QStringLiteral("Save report"));
    EXPECT_EQ(suffix, QStringLiteral("QRP"));
    EXPECT_EQ(Bytes(target + QStringLiteral(".QRP")), Bytes(Saved)) << "the default extension is added";
}

// Choosing an export filter's file type exports through a filter of that entry, and a name typed
// without an extension gets the filter's extension.
TEST_F(StandardPreviewFiles, SaveThroughAnExportFilterAddsItsExtension) {
    printer::RegisterStandardExportFilters(printer::QRExportFilterLibrary());
    std::string exportedTo;
    bool csv = false;
    Source->ExportHook = [&](printer::TQRExporter& filter) {
        exportedTo = filter.FileName;
        csv = dynamic_cast<printer::TQRCSVExportFilter*>(&filter) != nullptr;
    };
    TQRStandardPreview w(nullptr, Source.get());
    const QString target = Dir.filePath(QStringLiteral("table"));
    QStringList offered;
    WhenModal([&](QWidget* modal) {
        auto* dialog = static_cast<QFileDialog*>(modal);
        offered = dialog->nameFilters();
        // As the user does it: pick the type in the combo box, then type a name.
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        types->setCurrentIndex(2);
        emit types->activated(2);
        emit types->textActivated(types->itemText(2));
        dialog->selectFile(target);
        static_cast<QDialog*>(dialog)->accept();
    });
    w.SaveClick();
    EXPECT_EQ(offered, (QStringList{QStringLiteral("Report file(*.QRP)"), QStringLiteral("Text file (*.txt)"),
                                    QStringLiteral("CSV file (*.csv)"), QStringLiteral("HTML document (*.html)"),
                                    QStringLiteral("PDF document (*.pdf)")}));
    EXPECT_TRUE(csv);
    EXPECT_EQ(exportedTo, (target + QStringLiteral(".csv")).toStdString());
}

// The save dialog opens in a loaded document's folder with its name; choosing another file type
// changes the name's extension.
TEST_F(StandardPreviewFiles, TheSaveDialogProposesTheDocumentsFolderAndName) {
    printer::RegisterStandardExportFilters(printer::QRExportFilterLibrary());
    printer::TQRPrinter printer;
    TQRStandardPreview w(nullptr, &printer);
    w.LoadReportFile(Saved);
    QString folder, name, renamed;
    WhenModal([&](QWidget* modal) {
        auto* dialog = static_cast<QFileDialog*>(modal);
        folder = dialog->directory().absolutePath();
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name = field->text();
        const qsizetype pdf = dialog->nameFilters().indexOf(QStringLiteral("PDF document (*.pdf)"));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        types->setCurrentIndex(static_cast<int>(pdf));
        emit types->textActivated(types->itemText(static_cast<int>(pdf)));
        renamed = field->text();
        dialog->reject();
    });
    w.SaveClick();
    EXPECT_EQ(folder, QDir(Dir.path()).absolutePath());
    EXPECT_EQ(name, QStringLiteral("four.QRP"));
    EXPECT_EQ(renamed, QStringLiteral("four.pdf"));
}

TEST_F(StandardPreviewFiles, ACancelledDialogDoesNothing) {
    auto printer = test::PrinterWithPages(2);
    TQRStandardPreview w(nullptr, printer.get());
    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    w.LoadClick();
    EXPECT_EQ(printer->PageTotal(), 2);
    WhenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    w.SaveClick();
    EXPECT_TRUE(QDir(Dir.path()).entryList(QDir::Files) == QStringList{QStringLiteral("four.QRP")});
}

} // namespace
