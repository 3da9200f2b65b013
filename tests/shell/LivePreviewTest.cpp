// pagimo REPORT.form: the live preview runs the description's report into the window, runs it again
// when the description or its data change (written in place, or replaced by renaming as editors
// do), keeps the page and zoom, and shows a broken description's error in the window until the next
// good save.

#include "shell/LivePreview.h"
#include "shell/CommandLine.h"

#include "preview/LiveMode.h"
#include "preview/PageText.h"
#include "preview/StandardPreview.h"
#include "preview/StandardPreviewInterface.h"
#include "preview/WindowParts.h"
#include "printer/QRPrinter.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

using namespace pagimo;
using namespace pagimo::shell;
namespace fs = std::filesystem;

namespace {

TEST(ViewerCommandLine, TakesTheReportOptionsOfQrptoolForADescription) {
    const TViewerCommandLine cl =
        ParseViewerCommandLine({"r.form", "--db", "data.sqlite", "--param", "YEAR=2026", "--param=WHO=Anna O'Neil"});
    EXPECT_EQ(cl.Error, "");
    EXPECT_EQ(cl.Files, std::vector<std::string>{"r.form"});
    EXPECT_EQ(cl.Run.Database, fs::absolute("data.sqlite").string()) << "relative to where the user typed it";
    using TF = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(cl.Run.Functions, (TF{{"YEAR", "2026"}, {"WHO", "'Anna O''Neil'"}})) << "as qrptool report sets them";
    EXPECT_EQ(ParseViewerCommandLine({"--db=x.sqlite", "R.FORM"}).Run.Database, fs::absolute("x.sqlite").string());

    struct TBad {
        std::vector<std::string> Args;
        std::string Error;
    };
    const TBad bad[] = {
        {{"r.form", "--param", "YEAR"}, "--param needs NAME=VALUE: YEAR"},
        {{"r.form", "--param", "=1"}, "--param needs NAME=VALUE: =1"},
        {{"r.form", "--db"}, "option '--db' needs a value"},
        {{"a.qrp", "--db", "x.sqlite"}, "--db and --param apply to a report description (REPORT.form)"},
        {{"--param", "A=1"}, "--db and --param apply to a report description (REPORT.form)"},
        {{"r.form", "--dbx", "y"}, "unknown option '--dbx'"},
    };
    for (const TBad& b : bad)
        EXPECT_EQ(ParseViewerCommandLine(b.Args).Error, b.Error) << b.Args.back();

    EXPECT_TRUE(IsReportDescription("dir/Report.Form"));
    EXPECT_FALSE(IsReportDescription("report.qrp"));
    EXPECT_FALSE(IsReportDescription(".form"));
    EXPECT_FALSE(IsReportDescription("form.d/x"));
}

// A title with a heading and a detail band per CSV row.
std::string Description(const std::string& heading, int detailHeight) {
    return "object Form: TForm\n"
           "  object Rows: TQRCSVTable\n"
           "    FileName = 'rows.csv'\n"
           "    Active = True\n"
           "  end\n"
           "  object Report: TQRReport\n"
           "    DataSet = Rows\n"
           "    Units = MM\n"
           "    Page.PaperSize = A4\n"
           "    object Title: TQRBand\n"
           "      BandType = rbTitle\n"
           "      Size.Height = 20\n"
           "      object Heading: TQRLabel\n"
           "        Caption = '" +
           heading +
           "'\n"
           "        AutoSize = True\n"
           "      end\n"
           "    end\n"
           "    object Detail: TQRBand\n"
           "      BandType = rbDetail\n"
           "      Size.Height = " +
           std::to_string(detailHeight) +
           "\n"
           "      object Name: TQRExpr\n"
           "        Expression = '[name]'\n"
           "      end\n"
           "    end\n"
           "  end\n"
           "end\n";
}

// Two reports over the same rows printed as one document.
std::string CompositeDescription() {
    return "object Form: TForm\n"
           "  object Rows: TQRCSVTable\n    FileName = 'rows.csv'\n    Active = True\n  end\n"
           "  object First: TQRReport\n    DataSet = Rows\n    Units = MM\n    Page.PaperSize = A4\n"
           "    object Detail1: TQRBand\n      BandType = rbDetail\n      Size.Height = 100\n    end\n  end\n"
           "  object Second: TQRReport\n    DataSet = Rows\n    Units = MM\n    Page.PaperSize = A4\n"
           "    object Detail2: TQRBand\n      BandType = rbDetail\n      Size.Height = 250\n    end\n  end\n"
           "  object Both: TQRCompositeReport\n    Reports = (\n      First\n      Second)\n  end\n"
           "end\n";
}

bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 1000 && !done(); ++i)
        QTest::qWait(20);
    return done();
}

class LivePreview : public ::testing::Test {
protected:
    void SetUp() override {
        preview::InstallStandardPreviewInterface();
        ASSERT_TRUE(Dir.isValid());
        Form = fs::path(Dir.path().toStdString()) / "live.form";
        WriteRows(10);
    }

    void Write(const fs::path& file, const std::string& text, bool byRename = false) {
        const fs::path target = byRename ? fs::path(file.string() + ".new") : file;
        std::ofstream(target, std::ios::binary | std::ios::trunc) << text;
        if (byRename) fs::rename(target, file);
    }
    void WriteRows(int count) {
        std::string rows = "name\n";
        for (int i = 1; i <= count; ++i)
            rows += "Row" + std::to_string(i) + "\n";
        Write(Form.parent_path() / "rows.csv", rows);
    }
    // Opens the live preview and waits for its first run.
    void Open() {
        Live = std::make_unique<TLivePreview>(Form, engine::TReportRunOptions{});
        Live->Show();
        ASSERT_NE(Live->Window(), nullptr);
        ASSERT_TRUE(WaitFor([this] { return Live->FinishedRuns() >= 1; }));
    }
    // Waits for the run after run `before` (a change is reported once it has settled).
    bool WaitForRunAfter(int before) {
        return WaitFor([this, before] { return Live->FinishedRuns() > before && !Live->Running(); });
    }
    preview::TQRStandardPreview& Window() const { return *Live->Window(); }
    int32_t Pages() const { return Window().ReportPrinter() ? Window().ReportPrinter()->PageTotal() : -1; }
    QString PageText(int32_t n) const {
        auto picture = Window().ReportPrinter()->FetchPage(n);
        return picture ? preview::TextInArea(preview::PageTextOf(*picture), QRectF(0, 0, 1, 1)) : QString();
    }

    QTemporaryDir Dir;
    fs::path Form;
    std::unique_ptr<TLivePreview> Live;
};

TEST_F(LivePreview, RunsAgainWhenTheDescriptionOrItsDataChangeKeepingPageAndZoom) {
    Write(Form, Description("Alpha heading", 60));
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Window().windowTitle(), QStringLiteral("live.form \u2013 Pagimo"));
    EXPECT_EQ(Live->Error(), QString());
    ASSERT_EQ(Pages(), 3);
    EXPECT_TRUE(PageText(1).contains(QStringLiteral("Alpha heading"))) << PageText(1).toStdString();
    const QStringList watched = Window().Live().WatchedFiles();
    EXPECT_EQ(watched, (QStringList{QString::fromStdString(Form.string()),
                                    QString::fromStdString((Form.parent_path() / "rows.csv").string())}));

    Window().QRPreview()->SetPageNumber(3);
    Window().QRPreview()->SetZoom(150);
    // Written in place: a new heading and shorter bands, so fewer pages; the last page is shown.
    int runs = Live->FinishedRuns();
    Write(Form, Description("Beta heading", 30));
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_EQ(Live->Error(), QString());
    ASSERT_EQ(Pages(), 2);
    EXPECT_TRUE(PageText(1).contains(QStringLiteral("Beta heading"))) << PageText(1).toStdString();
    EXPECT_EQ(Window().QRPreview()->PageNumber(), 2);
    EXPECT_EQ(Window().QRPreview()->Zoom(), 150);

    // The data file changes: more rows, more pages, the page shown stays.
    Window().QRPreview()->SetPageNumber(1);
    runs = Live->FinishedRuns();
    WriteRows(40);
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_EQ(Pages(), 5);
    EXPECT_EQ(Window().QRPreview()->PageNumber(), 1);

    // Replaced by renaming, twice: the watch follows the name each time.
    for (const char* heading : {"Gamma heading", "Delta heading"}) {
        runs = Live->FinishedRuns();
        Write(Form, Description(heading, 60), true);
        ASSERT_TRUE(WaitForRunAfter(runs)) << heading;
        EXPECT_TRUE(PageText(1).contains(QString::fromUtf8(heading))) << PageText(1).toStdString();
        EXPECT_EQ(Pages(), 10);
    }

    // F5 runs it again too.
    runs = Live->FinishedRuns();
    Window().ReloadClick();
    EXPECT_EQ(Live->FinishedRuns(), runs + 1);
    EXPECT_EQ(Pages(), 10);
}

TEST_F(LivePreview, ABrokenDescriptionShowsItsErrorInTheWindowUntilTheNextGoodSave) {
    Write(Form, Description("Alpha heading", 60));
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(Pages(), 3);
    Window().QRPreview()->SetPageNumber(2);

    // A property the class does not have, on line 13.
    std::string broken = Description("Alpha heading", 60);
    broken.replace(broken.find("        AutoSize = True"), 23, "        AutoSise = True");
    int runs = Live->FinishedRuns();
    Write(Form, broken);
    ASSERT_TRUE(WaitForRunAfter(runs));
    const QString expected =
        QString::fromStdString(Form.string()) + QStringLiteral(":15: unknown property 'AutoSise' of TQRLabel");
    EXPECT_EQ(Live->Error(), expected);
    EXPECT_EQ(Window().Live().Error(), expected);
    EXPECT_TRUE(Window().isVisible()) << "the window stays";
    EXPECT_TRUE(test::Part<QLabel>(Window(), "LiveErrorPanel")->isVisible());
    EXPECT_TRUE(
        test::Part<QLabel>(Window(), "LiveErrorPanel")
            ->text()
            .contains(QStringLiteral("unknown property &#39;AutoSise&#39;")) ||
        test::Part<QLabel>(Window(), "LiveErrorPanel")->text().contains(QStringLiteral("unknown property 'AutoSise'")))
        << test::Part<QLabel>(Window(), "LiveErrorPanel")->text().toStdString();
    EXPECT_FALSE(Window().QRPreview()->isVisible());

    // An error of the run (a data file that is not there) is shown the same way, named after the description.
    runs = Live->FinishedRuns();
    std::string missingData = Description("Alpha heading", 60);
    missingData.replace(missingData.find("rows.csv"), 8, "none.csv");
    Write(Form, missingData, true);
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_TRUE(Live->Error().startsWith(QString::fromStdString(Form.string()) + QStringLiteral(":")))
        << Live->Error().toStdString();
    EXPECT_TRUE(Live->Error().contains(QStringLiteral("none.csv"))) << Live->Error().toStdString();

    // Mended: the pages come back where they were.
    runs = Live->FinishedRuns();
    Write(Form, Description("Mended heading", 60));
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_EQ(Live->Error(), QString());
    EXPECT_FALSE(test::Part<QLabel>(Window(), "LiveErrorPanel")->isVisible());
    EXPECT_TRUE(Window().QRPreview()->isVisible());
    ASSERT_EQ(Pages(), 3);
    EXPECT_EQ(Window().QRPreview()->PageNumber(), 2);
    EXPECT_TRUE(PageText(1).contains(QStringLiteral("Mended heading")));
}

// Mistakes that still give pages (an unknown field prints "Unknown") are shown above the pages, as
// qrptool report words them on stderr, until a save mends them.
TEST_F(LivePreview, WhatARunReportsBesidesItsPagesIsShownAboveThem) {
    std::string unknownField = Description("Alpha heading", 60);
    unknownField.replace(unknownField.find("'[name]'"), 8, "'[prize]'");
    Write(Form, unknownField);
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Live->Error(), QString());
    EXPECT_EQ(Pages(), 3);
    // Found when the expression is prepared, with the line that holds it; what it prints later is the
    // same fault and is not told again.
    const auto line = std::count(unknownField.begin(), unknownField.begin() + unknownField.find("[prize]"), '\n') + 1;
    EXPECT_EQ(Live->Warnings(),
              QStringList{QStringLiteral("line %1: report Report, Name: unknown field or function [prize]").arg(line)});
    EXPECT_TRUE(test::Part<QLabel>(Window(), "LiveWarningPanel")->isVisible());
    EXPECT_EQ(test::Part<QLabel>(Window(), "LiveWarningPanel")->text(), Live->Warnings().join(QLatin1Char('\n')));
    EXPECT_TRUE(Window().QRPreview()->isVisible());

    const int runs = Live->FinishedRuns();
    Write(Form, Description("Alpha heading", 60));
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_TRUE(Live->Warnings().isEmpty());
    EXPECT_FALSE(test::Part<QLabel>(Window(), "LiveWarningPanel")->isVisible());
}

TEST_F(LivePreview, ADescriptionBrokenFromTheStartShowsPagesOnceMended) {
    Write(Form, "object Form: TForm\n  object Report: TQRReport\n    Units = Furlongs\n  end\nend\n");
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_TRUE(Live->Error().contains(QStringLiteral("live.form:3: invalid value for Units")))
        << Live->Error().toStdString();
    EXPECT_TRUE(test::Part<QLabel>(Window(), "LiveErrorPanel")->isVisible());
    EXPECT_EQ(Pages(), 0);
    const int runs = Live->FinishedRuns();
    Write(Form, Description("First pages", 60));
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_EQ(Live->Error(), QString());
    EXPECT_EQ(Pages(), 3);
    EXPECT_EQ(Window().QRPreview()->PageNumber(), 1);
}

// Deleted and written anew (as some editors save), or not there at first: the folder's watch brings
// the description back under watch by name.
TEST_F(LivePreview, ADescriptionDeletedOrNotYetWrittenIsRunOnceItIsThere) {
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Live->Error(), QStringLiteral("Cannot open file ") + QString::fromStdString(Form.string()));
    int runs = Live->FinishedRuns();
    Write(Form, Description("Now there", 60));
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_EQ(Live->Error(), QString());
    EXPECT_EQ(Pages(), 3);

    fs::remove(Form);
    QTest::qWait(50);
    runs = Live->FinishedRuns();
    Write(Form, Description("Written anew", 60));
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_TRUE(PageText(1).contains(QStringLiteral("Written anew"))) << PageText(1).toStdString();
}

TEST_F(LivePreview, ACompositeReportRunsLiveAsOneDocument) {
    WriteRows(3);
    Write(Form, CompositeDescription());
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(Live->Error(), QString());
    // Three 100 mm bands fill one A4 page and a bit of the next; three 250 mm bands one page each.
    const int32_t first = Pages();
    EXPECT_GE(first, 4);
    const int runs = Live->FinishedRuns();
    WriteRows(6);
    ASSERT_TRUE(WaitForRunAfter(runs));
    EXPECT_GT(Pages(), first);
}

// A run handles window messages as it goes: the window shows the last good pages meanwhile, and a
// change that arrives during the run cancels it and runs the new description instead.
TEST_F(LivePreview, AChangeDuringARunRunsTheNewDescriptionAndTheOldPagesStayMeanwhile) {
    Write(Form, Description("Alpha heading", 60));
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_EQ(Pages(), 3);
    const int runs = Live->FinishedRuns();
    bool sawRun = false;
    int32_t pagesDuringRun = -1;
    QString statusDuringRun;
    // Comes from the event loop the run itself processes.
    QTimer::singleShot(0, [&] {
        sawRun = Live->Running();
        pagesDuringRun = Pages();
        Write(Form, Description("Second change", 30));
        Live->Run();
    });
    QTimer watchStatus;
    watchStatus.setInterval(0);
    QObject::connect(&watchStatus, &QTimer::timeout, [&] {
        if (!test::Part<QLabel>(Window(), "LiveStatusPanel")->isHidden())
            statusDuringRun = test::Part<QLabel>(Window(), "LiveStatusPanel")->text();
    });
    watchStatus.start();
    Write(Form, Description("First change", 60));
    Live->Run();
    watchStatus.stop();
    EXPECT_TRUE(sawRun);
    EXPECT_EQ(pagesDuringRun, 3);
    EXPECT_TRUE(statusDuringRun.startsWith(QStringLiteral("Running: page "))) << "the status bar follows the run";
    EXPECT_TRUE(test::Part<QLabel>(Window(), "LiveStatusPanel")->isHidden());
    EXPECT_EQ(Live->FinishedRuns(), runs + 1) << "the cancelled run shows nothing";
    EXPECT_TRUE(PageText(1).contains(QStringLiteral("Second change"))) << PageText(1).toStdString();
    EXPECT_EQ(Pages(), 2);
}

// Closing the window ends the live preview: no run follows a later change.
TEST_F(LivePreview, ClosingTheWindowStopsWatching) {
    Write(Form, Description("Alpha heading", 60));
    ASSERT_NO_FATAL_FAILURE(Open());
    Window().close();
    QTest::qWait(50);
    EXPECT_EQ(Live->Window(), nullptr);
    const int runs = Live->FinishedRuns();
    Write(Form, Description("Beta heading", 60));
    QTest::qWait(600);
    EXPECT_EQ(Live->FinishedRuns(), runs);
}

// Closed while a run is under way: the run is cancelled and nothing touches the window afterwards.
TEST_F(LivePreview, ClosingTheWindowDuringARunCancelsIt) {
    WriteRows(400);
    Write(Form, Description("Alpha heading", 10));
    ASSERT_NO_FATAL_FAILURE(Open());
    const int runs = Live->FinishedRuns();
    QTimer::singleShot(0, [this] { Window().close(); });
    Live->Run();
    EXPECT_FALSE(Live->Running());
    EXPECT_EQ(Live->FinishedRuns(), runs);
    QTest::qWait(20);
    EXPECT_EQ(Live->Window(), nullptr);
}

} // namespace
