// qrptool printers and qrptool print against the private queue, as a user runs them.

#include "CupsFixture.h"
#include "DamagedFiles.h"
#include "PdfProbe.h"
#include "pagestore/PageListFixture.h"

#include "platform/gdi/Canvas.h"
#include "platform/gdi/Gdi.h"
#include "printer/QRPrinter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::printer;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string Qrptool = PAGIMO_BINARY_DIR "/tools/qrptool";

class QrptoolCups : public ::testing::Test {
protected:
    void SetUp() override {
        Fixture = test::TCupsFixture::Shared();
        if (!Fixture) GTEST_SKIP() << "no private CUPS: " << test::TCupsFixture::Error();
        if (!fs::exists(Qrptool)) GTEST_SKIP() << "qrptool is not built";
    }
    test::TCupsFixture* Fixture = nullptr;
};

fs::path RecordLetterFile(int pages) {
    const fs::path file = fs::temp_directory_path() / ("pagimo-qrptool-" + std::to_string(getpid()) + "-letter.qrp");
    TQRPrinter p;
    p.SetPaperSize(TQRPaperSize::Letter);
    p.StartDocument();
    for (int i = 1; i <= pages; ++i) {
        p.NewPage();
        gdi::TCanvas& c = *p.PageCanvas();
        c.Font.SetSize(14, c.GetDeviceCaps(gdi::LOGPIXELSY));
        c.TextOut(p.DeviceX(250), p.DeviceY(300), "Tool page " + std::to_string(i));
    }
    p.FinishDocument();
    p.SaveReportFile(file.string());
    return file;
}

} // namespace

TEST_F(QrptoolCups, PrintersListsTheQueueWithPapersAndMargins) {
    std::string out, err;
    ASSERT_EQ(Fixture->Run({Qrptool, "printers", "--json"}, &out, &err), 0) << out << err;
    EXPECT_EQ(out.rfind("{\"default\": \"" + Fixture->Queue() + "\"", 0), 0u) << out;
    EXPECT_NE(out.find("\"resolution_dpi\": 1200"), std::string::npos) << out;
    EXPECT_NE(out.find("{\"name\": \"A4\", \"code\": 9, \"size_mm\": [210, 297]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"sources\": [\"auto\", \"main\", \"manual\", \"by-pass-tray\"]"), std::string::npos) << out;
    EXPECT_NE(out.find("\"duplex\": true"), std::string::npos) << out;
    ASSERT_EQ(Fixture->Run({Qrptool, "printers"}, &out, &err), 0);
    EXPECT_NE(out.find("* " + Fixture->Queue() + "  (default)"), std::string::npos) << out;
}

TEST_F(QrptoolCups, PrintAppliesTheOptionsToTheJob) {
    const fs::path file = RecordLetterFile(5);
    const size_t before = Fixture->Documents().size();
    std::string out, err;
    ASSERT_EQ(Fixture->Run({Qrptool, "print", file.string(), "-P", Fixture->Queue(), "--pages", "2-4", "--copies", "3",
                            "--duplex", "--bin", "Manual"},
                           &out, &err),
              0)
        << err;
    EXPECT_EQ(out.rfind(Fixture->Queue() + "-", 0), 0u) << out;
    const auto docs = Fixture->WaitForDocuments(before + 1, 30s);
    ASSERT_EQ(docs.size(), before + 1);
    const auto pages = test::PdfPages(*Fixture, docs.back());
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_TRUE(test::NearPt(pages[0].WidthPt, 215.9) && test::NearPt(pages[0].HeightPt, 279.4))
        << "Letter detected from the pages: " << pages[0].WidthPt << " x " << pages[0].HeightPt;
    const auto job = Fixture->PrinterJob(static_cast<int>(docs.size()));
    EXPECT_EQ(job.at("copies"), "3");
    EXPECT_EQ(job.at("sides"), "two-sided-short-edge");
    EXPECT_NE(job.at("media-col").find("media-source=manual"), std::string::npos) << job.at("media-col");
    EXPECT_NE(job.at("media-col").find("x-dimension=21590 y-dimension=27940"), std::string::npos);

    // Paper and orientation given on the command line win over the detected ones.
    ASSERT_EQ(
        Fixture->Run({Qrptool, "print", file.string(), "--pages", "1", "--paper", "A4", "--landscape"}, &out, &err), 0)
        << err;
    const auto more = Fixture->WaitForDocuments(before + 2, 30s);
    ASSERT_EQ(more.size(), before + 2);
    const auto a4 = test::PdfPages(*Fixture, more.back());
    ASSERT_EQ(a4.size(), 1u);
    EXPECT_TRUE(test::NearPt(a4[0].WidthPt, 210) && test::NearPt(a4[0].HeightPt, 297));
    const int cupsJob = std::stoi(out.substr(out.rfind('-') + 1));
    const auto submitted = test::PdfPages(*Fixture, Fixture->SubmittedDocument(cupsJob));
    ASSERT_EQ(submitted.size(), 1u);
    EXPECT_GT(submitted[0].WidthPt, submitted[0].HeightPt) << "landscape sheet";

    // Errors: exit 1 with a message, nothing printed.
    EXPECT_EQ(Fixture->Run({Qrptool, "print", file.string(), "-P", "no-such-queue"}, &out), 1);
    EXPECT_NE(out.find("no-such-queue is not installed"), std::string::npos) << out;
    EXPECT_EQ(Fixture->Run({Qrptool, "print", file.string(), "--pages", "9-12"}, &out), 1);
    EXPECT_EQ(Fixture->Run({Qrptool, "print", (file.string() + ".missing")}, &out), 1);
    EXPECT_NE(out.find("Cannot open file"), std::string::npos) << out;
    EXPECT_EQ(Fixture->Run({Qrptool, "print", file.string(), "--copies", "0"}, &out), 2);
    EXPECT_EQ(Fixture->Run({Qrptool, "print", file.string(), "--paper", "A0"}, &out), 2);
    EXPECT_EQ(Fixture->Documents().size(), before + 2);
    fs::remove(file);
}

// Every chosen page is checked before the job is opened: a range with a damaged page sends nothing.
TEST_F(QrptoolCups, PrintOfARangeWithADamagedPageSendsNothing) {
    const fs::path file = RecordLetterFile(20);
    auto bytes = test::FileBytes(file.string());
    test::BreakRecordInsidePage(bytes, 16);
    test::WriteFileBytes(file.string(), bytes);
    const size_t before = Fixture->Documents().size();
    std::string out, err;
    EXPECT_EQ(Fixture->Run({Qrptool, "print", file.string(), "--pages", "15-17"}, &out, &err), 1);
    EXPECT_NE(err.find("Page 16 cannot be drawn: Metafile is not valid"), std::string::npos) << err;
    EXPECT_TRUE(out.empty()) << out;
    EXPECT_EQ(Fixture->Run({Qrptool, "print", file.string(), "--pages", "17-18"}, &out, &err), 0) << err;
    const auto documents = Fixture->WaitForDocuments(before + 1, 30s);
    EXPECT_EQ(documents.size(), before + 1) << "only the print without the damaged page arrived";
    fs::remove(file);
}

// A full temporary folder leaves the spool document incomplete: it is not sent, and the message says
// what failed instead of blaming the printer.
TEST_F(QrptoolCups, ASpoolFileThatCannotBeWrittenWholeIsNotSent) {
    const fs::path file = RecordLetterFile(30);
    const size_t before = Fixture->Documents().size();
    std::string out, err;
    const std::string command = "trap '' XFSZ; ulimit -f 12; exec " + Qrptool + " print " + file.string();
    EXPECT_EQ(Fixture->Run({"bash", "-c", command}, &out, &err), 1);
    EXPECT_NE(err.find("the job could not be written to"), std::string::npos) << err;
    EXPECT_TRUE(out.empty()) << out;
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(Fixture->Documents().size(), before);
    fs::remove(file);
}

// A report whose description names no paper takes the paper of the current printer (the queue's
// default is Letter); one that names its paper keeps it.
TEST_F(QrptoolCups, NewReportTakesThePaperOfTheCurrentPrinter) {
    const fs::path dir = fs::temp_directory_path() / ("pagimo-qrptool-paper-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto run = [&](const std::string& paperLine) {
        const fs::path form = dir / "paper.form", out = dir / "paper.qrp";
        std::ofstream(form) << "object Report: TQRReport\n  Units = MM\n" << paperLine
                            << "  object Detail: TQRBand\n    BandType = rbDetail\n    Size.Height = 20\n"
                               "    object Text: TQRLabel\n      Caption = 'Paper'\n    end\n  end\nend\n";
        std::string stdOut, stdErr;
        EXPECT_EQ(Fixture->Run({Qrptool, "report", form.string(), "-o", out.string()}, &stdOut, &stdErr), 0) << stdErr;
        EXPECT_EQ(Fixture->Run({Qrptool, "info", out.string(), "--json"}, &stdOut, &stdErr), 0) << stdErr;
        const size_t at = stdOut.find("\"frame_mm\": [");
        return at == std::string::npos ? stdOut : stdOut.substr(at + 13, 13);
    };
    EXPECT_EQ(run("").rfind("215.", 0), 0u) << "Letter is 215.9 mm wide: " << run("");
    EXPECT_EQ(run("  Page.PaperSize = A4\n").rfind("210.", 0), 0u) << run("  Page.PaperSize = A4\n");
    fs::remove_all(dir);
}
