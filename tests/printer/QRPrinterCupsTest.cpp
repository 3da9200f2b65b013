// The report printer printing for real: stored pages of a QRP file and pages drawn straight onto the
// printer, through a private CUPS queue; what arrived at the printer is read back.

#include "CupsFixture.h"
#include "PdfProbe.h"

#include "platform/gdi/Canvas.h"
#include "platform/gdi/Gdi.h"
#include "platform/printing/Printer.h"
#include "printer/QRPrinter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::printer;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

class QRPrinterCups : public ::testing::Test {
protected:
    void SetUp() override {
        Fixture = test::TCupsFixture::Shared();
        if (!Fixture) GTEST_SKIP() << "no private CUPS: " << test::TCupsFixture::Error();
        Before = Fixture->Documents().size();
    }
    void TearDown() override {
        for (const auto& f : Files)
            fs::remove(f);
    }
    fs::path Temp(const std::string& name) {
        Files.push_back(fs::temp_directory_path() / ("pagimo-cups-" + std::to_string(getpid()) + "-" + name));
        return Files.back();
    }
    // The next document the printer receives.
    fs::path NextDocument() {
        const auto docs = Fixture->WaitForDocuments(Before + 1, 30s);
        if (docs.size() <= Before) return {};
        Before = docs.size();
        return docs.back();
    }
    test::TCupsFixture* Fixture = nullptr;
    size_t Before = 0;
    std::vector<fs::path> Files;
};

void DrawText(TQRPrinter& p, const std::string& text) {
    gdi::TCanvas& c = *p.PageCanvas();
    c.Font.Name = "Arial";
    c.Font.SetSize(14, c.GetDeviceCaps(gdi::LOGPIXELSY));
    c.TextOut(p.DeviceX(250), p.DeviceY(300), text);
}

// A recorded document of pages "<prefix> N", saved as a QRP file.
void RecordFile(const fs::path& file, int pages, const std::string& prefix, TPrinterOrientation orientation) {
    TQRPrinter p;
    p.SetPaperSize(TQRPaperSize::A4);
    p.SetOrientation(orientation);
    p.StartDocument();
    for (int i = 1; i <= pages; ++i) {
        p.NewPage();
        DrawText(p, prefix + " " + std::to_string(i));
    }
    p.FinishDocument();
    p.SaveReportFile(file.string());
}

} // namespace

TEST_F(QRPrinterCups, StoredPagesOfAFilePrintStretchedWithTheirPaper) {
    const fs::path file = Temp("stored.qrp");
    RecordFile(file, 4, "Stored", poPortrait);

    TQRPrinter p;
    ASSERT_TRUE(p.HasPrinters());
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::Letter); // the queue's default
    p.OpenReportFile(file.string());
    // A4 pages: A4Small would follow, but this printer does not list it, so A4 stays.
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(p.Orientation(), poPortrait);
    p.SetDocumentTitle("Stored pages");
    p.SetCopies(2);
    p.SetFirstPage(2);
    p.SetLastPage(3);
    p.Print();

    const fs::path pdf = NextDocument();
    ASSERT_FALSE(pdf.empty());
    const auto pages = test::PdfPages(*Fixture, pdf);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_TRUE(test::NearPt(pages[0].WidthPt, 210) && test::NearPt(pages[0].HeightPt, 297));
    if (test::PdfHasFonts(*Fixture, pdf)) {
        const std::string text = test::PdfText(*Fixture, pdf);
        EXPECT_EQ(text.find("Stored 1"), std::string::npos) << text;
        EXPECT_NE(text.find("Stored 2"), std::string::npos) << text;
        EXPECT_NE(text.find("Stored 3"), std::string::npos) << text;
        EXPECT_EQ(text.find("Stored 4"), std::string::npos) << text;
    }
    const auto job = Fixture->PrinterJob(static_cast<int>(Before));
    EXPECT_EQ(job.at("copies"), "2");
    EXPECT_EQ(job.at("job-name"), "Stored pages");
    EXPECT_NE(job.at("media-col").find("x-dimension=21000 y-dimension=29700"), std::string::npos);

    // A range past the end prints what exists; an empty range prints nothing.
    p.SetFirstPage(3);
    p.SetLastPage(99);
    p.Print();
    const fs::path tail = NextDocument();
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(test::PdfPages(*Fixture, tail).size(), 2u);
    const int lastJob = p.Device().LastJobId();
    ASSERT_GT(lastJob, 0);
    p.SetFirstPage(9);
    p.SetLastPage(0);
    p.Print();
    EXPECT_EQ(p.Device().LastJobId(), lastJob) << "no new job";

    // A cancel request stops the job after the current page: nothing reaches the printer.
    p.SetFirstPage(0);
    p.RequestCancel();
    p.Print();
    EXPECT_TRUE(p.Device().Aborted());
}

TEST_F(QRPrinterCups, LandscapePagesRecordRotatedAndPrintLandscape) {
    const fs::path file = Temp("landscape.qrp");
    {
        TQRPrinter p;
        p.SetPaperSize(TQRPaperSize::A4);
        p.SetOrientation(poLandscape);
        EXPECT_EQ(p.OrientedWidth(), 2970);
        p.StartDocument();
        p.NewPage();
        DrawText(p, "Landscape");
        p.FinishDocument();
        auto picture = p.FetchPage(1);
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->Width(), 1123);
        EXPECT_EQ(picture->Height(), 794);
        p.SaveReportFile(file.string());
    }
    TQRPrinter p;
    p.OpenReportFile(file.string());
    EXPECT_EQ(p.PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(p.Orientation(), poLandscape);
    p.SetDocumentTitle("Landscape");
    p.Print();
    const fs::path pdf = NextDocument();
    ASSERT_FALSE(pdf.empty());
    const auto pages = test::PdfPages(*Fixture, pdf);
    ASSERT_EQ(pages.size(), 1u);
    // The job is a landscape A4 sheet; the printer gets it turned onto its portrait paper, so the
    // line of text runs along the paper's long side.
    const auto submitted = test::PdfPages(*Fixture, Fixture->SubmittedDocument(p.Device().LastJobId()));
    ASSERT_EQ(submitted.size(), 1u);
    EXPECT_TRUE(test::NearPt(submitted[0].WidthPt, 297) && test::NearPt(submitted[0].HeightPt, 210))
        << submitted[0].WidthPt << " x " << submitted[0].HeightPt;
    EXPECT_TRUE(test::NearPt(pages[0].WidthPt, 210) && test::NearPt(pages[0].HeightPt, 297));
    if (test::PdfHasFonts(*Fixture, pdf)) {
        EXPECT_TRUE(test::PdfWordRunsVertically(*Fixture, pdf, "Landscape"));
    }
}

TEST_F(QRPrinterCups, DirectPrintingSendsOnlyThePrintRange) {
    TQRPrinter p;
    TQRPrinter* finished = nullptr;
    p.AfterPrintHook = [&](TQRPrinter& sender) { finished = &sender; };
    p.SetOutput(okPrinter);
    p.SetPaperSize(TQRPaperSize::A4);
    p.SetFirstPage(3);
    p.SetLastPage(5);
    p.SetDocumentTitle("Direct range");
    p.StartDocument();
    EXPECT_EQ(p.OriginLeft(), p.Settings().UnprintableLeft());
    EXPECT_EQ(p.DeviceX(p.OriginLeft()), 0);
    EXPECT_NEAR(static_cast<double>(p.ScaleX()), p.Settings().DotsPerInchX() / 254.0, 1e-9);
    for (int i = 1; i <= 7; ++i) {
        p.NewPage();
        EXPECT_EQ(p.Device().Printing(), i >= 3) << "the document begins with page 3";
        DrawText(p, "Direct " + std::to_string(i));
    }
    p.FinishDocument();
    EXPECT_EQ(p.PagesAvailable(), 7);
    EXPECT_EQ(finished, &p);

    const fs::path pdf = NextDocument();
    ASSERT_FALSE(pdf.empty());
    EXPECT_EQ(test::PdfPages(*Fixture, pdf).size(), 3u);
    if (test::PdfHasFonts(*Fixture, pdf)) {
        const std::string text = test::PdfText(*Fixture, pdf);
        for (int i = 1; i <= 7; ++i) {
            EXPECT_EQ(text.find("Direct " + std::to_string(i)) != std::string::npos, i >= 3 && i <= 5) << i << text;
        }
    }

    // A range beyond the document opens no printer document at all.
    TQRPrinter q;
    q.SetOutput(okPrinter);
    q.SetFirstPage(5);
    q.StartDocument();
    for (int i = 1; i <= 2; ++i) {
        q.NewPage();
        DrawText(q, "Never");
    }
    q.FinishDocument();
    EXPECT_EQ(q.Device().LastJobId(), 0);
    EXPECT_FALSE(q.Device().Printing());

    // An aborted direct run discards the job.
    TQRPrinter r;
    r.SetOutput(okPrinter);
    r.StartDocument();
    r.NewPage();
    DrawText(r, "Discarded");
    r.AbortDocument();
    EXPECT_TRUE(r.Device().Aborted());
    EXPECT_EQ(r.JobState(), jsFinished);
}

TEST_F(QRPrinterCups, SelectPrinterReadsTheModeAfresh) {
    TQRPrinter p;
    p.SetCopies(4);
    EXPECT_EQ(p.Copies(), 4);
    p.SelectPrinter(0);
    EXPECT_EQ(p.Copies(), 1);
    p.SelectPrinter(7); // no such printer: the default
    EXPECT_EQ(p.Settings().DeviceName(), Fixture->Queue());
}

// The words of a page stay words on their way to the printer (stored pages and direct printing both
// draw through the device-context layer onto the printer's PDF). Other tests check the words only
// where the document carries fonts; this one says so when it does not.
TEST_F(QRPrinterCups, TextReachesThePrinterAsText) {
    const fs::path file = Temp("text.qrp");
    RecordFile(file, 1, "Searchable", poPortrait);
    TQRPrinter p;
    p.OpenReportFile(file.string());
    p.Print();
    const fs::path pdf = NextDocument();
    ASSERT_FALSE(pdf.empty());
    if (!test::PdfHasFonts(*Fixture, pdf)) {
        GTEST_SKIP() << "the device-context layer draws text as outlines into PDF (its fonts are loaded from "
                        "data, which Qt's PDF engine cannot embed), so pdftotext finds no words";
    }
    EXPECT_NE(test::PdfText(*Fixture, pdf).find("Searchable 1"), std::string::npos);
}
