#include "printer/QRProgressForm.h"
#include "printer/QRPrinter.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace pagimo::printer;

namespace {

// A print run's window as the report sets it up: the printer's NotifyWindow, told of progress by posts.
class ProgressRun : public ::testing::Test {
protected:
    void SetUp() override {
        Form.ReportPrinter = &Printer;
        Printer.SetNotifyWindow(&Form);
    }
    void Progress(int32_t value) {
        Printer.SetProgress(value);
        QCoreApplication::processEvents();
    }
    TQRPrinter Printer;
    TQRProgressForm Form;
};

TEST_F(ProgressRun, OnlyMultiplesOfFiveMoveTheBar) {
    Progress(3);
    Progress(7);
    Progress(12);
    EXPECT_EQ(Form.Gauge->value(), 0);
    EXPECT_TRUE(Form.Info->text().isEmpty());
    Progress(5);
    EXPECT_EQ(Form.Gauge->value(), 5);
    EXPECT_EQ(Form.Info->text(), QStringLiteral("5%  Completed"));
    Progress(10);
    EXPECT_EQ(Form.Info->text(), QStringLiteral("10%  Completed"));
    Progress(100);
    EXPECT_EQ(Form.Gauge->value(), 100);
    EXPECT_EQ(Form.Info->text(), QStringLiteral("100%  Completed"));
}

TEST_F(ProgressRun, ZeroIsAMultipleOfFive) {
    Progress(0);
    EXPECT_EQ(Form.Gauge->value(), 0);
    EXPECT_EQ(Form.Info->text(), QStringLiteral("0%  Completed"));
}

TEST_F(ProgressRun, QueuedUpdatesShowTheLatestValue) {
    Printer.SetProgress(20);
    Printer.SetProgress(23);
    Printer.SetProgress(25);
    // the three posts are handled only now, when the printer already says 25
    QCoreApplication::processEvents();
    EXPECT_EQ(Form.Gauge->value(), 25);
    EXPECT_EQ(Form.Info->text(), QStringLiteral("25%  Completed"));
}

TEST_F(ProgressRun, PageCountsAreIgnored) {
    Printer.SetPagesAvailable(7);
    QCoreApplication::processEvents();
    EXPECT_EQ(Form.Gauge->value(), 0);
    EXPECT_TRUE(Form.Info->text().isEmpty());
}

TEST_F(ProgressRun, CancelAsksThePrinterToStopAndNothingElse) {
    Form.show();
    ASSERT_FALSE(Printer.CancelRequested());
    QTest::mouseClick(Form.CancelButton, Qt::LeftButton);
    EXPECT_TRUE(Printer.CancelRequested());
    EXPECT_TRUE(Form.isVisible());
    EXPECT_EQ(Printer.JobState(), jsReady);
}

TEST_F(ProgressRun, AHiddenWindowStillFollows) {
    ASSERT_FALSE(Form.isVisible());
    Progress(45);
    EXPECT_EQ(Form.Info->text(), QStringLiteral("45%  Completed"));
}

} // namespace
