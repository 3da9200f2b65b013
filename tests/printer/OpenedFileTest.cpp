// Opening QRP files into a report printer: the file is checked before the pages shown are dropped,
// damaged files open as far as they go, and prints are checked before they are sent.

#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"

#include "DamagedFiles.h"
#include "pagestore/PageListFixture.h"
#include "preview/RecordedPages.h"

#include "platform/system/Errors.h"

#include <gtest/gtest.h>

using namespace pagimo;
using namespace pagimo::printer;

namespace {

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EQRError& e) {
        return e.what();
    }
    return {};
}

class OpenedFile : public ::testing::Test {
protected:
    void SetUp() override {
        Good = Dir.File("twenty.qrp");
        test::PrinterWithPages(20)->SaveReportFile(Good);
        Bytes = test::FileBytes(Good);
    }
    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = Dir.File(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }
    test::TTempDir Dir;
    std::string Good;
    std::vector<uint8_t> Bytes;
};

// What cannot be opened at all leaves the document that was shown as it was.
TEST_F(OpenedFile, AFileThatCannotBeOpenedLeavesTheShownPagesAlone) {
    TQRPrinter p;
    p.OpenReportFile(Good);
    const std::string foreign = Write("program.qrp", test::ForeignFile());
    EXPECT_EQ(ErrorOf([&] { p.OpenReportFile(foreign); }), "File " + foreign + " is not a QRP file");
    EXPECT_EQ(ErrorOf([&] { p.OpenReportFile(Dir.File("missing.qrp")); }),
              "Cannot open file " + Dir.File("missing.qrp"));
    // A file cut inside its first page has no page to offer.
    const std::string cut = Write("cut1.qrp", test::CutInsidePage(Bytes, 1));
    EXPECT_NE(ErrorOf([&] { p.OpenReportFile(cut); }).find("is damaged: the record of page 1"), std::string::npos);
    EXPECT_EQ(p.JobState(), jsFinished);
    EXPECT_EQ(p.PageTotal(), 20);
    EXPECT_EQ(p.FileName(), Good);
    EXPECT_NE(p.FetchPage(20), nullptr);
}

TEST_F(OpenedFile, ATruncatedFileOpensWithThePagesBeforeTheCutAndSaysSo) {
    const std::string cut = Write("cut.qrp", test::CutInsidePage(Bytes, 13));
    TQRPrinter p;
    p.OpenReportFile(cut);
    EXPECT_EQ(p.PageTotal(), 12);
    EXPECT_EQ(p.DeclaredPages(), 20);
    EXPECT_TRUE(p.OpenProblem().starts_with("File " + cut + " is damaged: only 12 of 20 pages can be read"))
        << p.OpenProblem();
    std::string reason;
    EXPECT_NE(p.FetchPage(12, reason), nullptr);
    EXPECT_EQ(p.FetchPage(13, reason), nullptr);
    EXPECT_EQ(reason, p.OpenProblem());
    // The whole file cannot be printed or exported; the pages before the cut can.
    EXPECT_TRUE(ErrorOf([&] { p.CheckPages(1, 0); }).starts_with("Page 13 cannot be drawn: File " + cut));
    EXPECT_EQ(ErrorOf([&] { p.CheckPages(1, 12); }), "");
}

TEST_F(OpenedFile, ABrokenRecordInsideOnePageDamagesThatPageOnly) {
    test::BreakRecordInsidePage(Bytes, 7);
    const std::string damaged = Write("seven.qrp", Bytes);
    TQRPrinter p;
    p.OpenReportFile(damaged);
    EXPECT_EQ(p.PageTotal(), 20);
    EXPECT_TRUE(p.OpenProblem().empty());
    std::string reason;
    EXPECT_EQ(p.FetchPage(7, reason), nullptr);
    EXPECT_TRUE(reason.starts_with("Metafile is not valid (its record chain is broken at record 3")) << reason;
    EXPECT_NE(p.FetchPage(8, reason), nullptr);
    EXPECT_TRUE(reason.empty());
    EXPECT_TRUE(ErrorOf([&] { p.CheckPages(5, 9); }).starts_with("Page 7 cannot be drawn: Metafile is not valid"));
    EXPECT_EQ(ErrorOf([&] { p.CheckPages(8, 20); }), "");
    // Pages are named after the file for print jobs and exported documents.
    EXPECT_EQ(p.DocumentTitle(), "seven.qrp");
}

} // namespace
