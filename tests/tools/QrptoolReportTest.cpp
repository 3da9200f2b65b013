// qrptool report as a user runs it: the band trace of stored descriptions, and its failures.

#include "QrptoolRun.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;
using pagimo::test::TRun;

class QrptoolReport : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();

    TRun Run(const std::string& args) { return RunQrptool(Dir, "report " + args); }
};

TEST_F(QrptoolReport, TracesTheHelpReport) {
    const TRun r = Run((pagimo::test::DataDir() / "help-report.form").string() + " --trace");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "page 1\n"
                     "  TitleBand1                  127    127   1847    107\n"
                     "  DetailBand1                 127    233   1847   1525\n"
                     "  PageFooterBand1             127   2764   1847     80\n"
                     "1 page(s)\n");
}

TEST_F(QrptoolReport, DatabaseAndParametersFromTheCommandLine) {
    std::ofstream(Dir / "s.sql") << "CREATE TABLE t (region TEXT, n INTEGER);"
                                    "INSERT INTO t VALUES ('A', 1), ('B', 2), ('B', 3);";
    ASSERT_EQ(std::system(("sqlite3 " + (Dir / "data.sqlite").string() + " < " + (Dir / "s.sql").string()).c_str()), 0);
    std::ofstream(Dir / "r.form") << "object R: TQRReport\n"
                                     "  DataSet = Q\n"
                                     "  Units = Native\n"
                                     "  Page.Values = (100 2970 100 2100 100 100 0)\n"
                                     "  object Q: TQRSQLiteQuery\n"
                                     "    DatabaseName = 'elsewhere.sqlite'\n"
                                     "    SQL = ('SELECT n FROM t WHERE region = :REGION')\n"
                                     "    Active = True\n"
                                     "  end\n"
                                     "  object D: TQRBand\n"
                                     "    BandType = rbDetail\n"
                                     "    Size.Values = (50 1900)\n"
                                     "  end\n"
                                     "end\n";
    const TRun r =
        Run((Dir / "r.form").string() + " --trace --db " + (Dir / "data.sqlite").string() + " --param REGION=B");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_NE(r.Out.find("  D                           100    100"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("  D                           100    150"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("  D                           100    200"), std::string::npos) << "two records of B";
}

TEST_F(QrptoolReport, RecordsPagesAsQrpAndPdf) {
    const std::string form = (pagimo::test::DataDir() / "help-report.form").string();
    const std::string qrp = (Dir / "help.qrp").string();
    const TRun r = Run(form + " -o " + qrp + " --compress");
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string command = std::string(QRPTOOL_PATH) + " info " + qrp;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string info;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        info.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << info;
    EXPECT_NE(info.find("Pages:       1"), std::string::npos) << info;
    EXPECT_NE(info.find("Compressed:  yes"), std::string::npos) << info;
    EXPECT_NE(info.find("794 x 1123"), std::string::npos) << "an A4 page at 96 pixels per inch: " << info;

    const fs::path pdf = Dir / "help.pdf";
    const TRun p = Run(form + " -o " + pdf.string());
    ASSERT_EQ(p.Status, 0) << p.Err;
    std::ifstream in(pdf, std::ios::binary);
    std::string head(5, '\0');
    in.read(head.data(), 5);
    EXPECT_EQ(head, "%PDF-");
    EXPECT_FALSE(fs::exists(Dir / "help.pdf.tmp")) << "nothing left behind";
    EXPECT_EQ(Run(form + " -o " + (Dir / "x.doc").string()).Status, 2) << "no filter writes .doc";
    EXPECT_EQ(Run(form + " -o " + (Dir / "x.txt").string() + " --compress").Status, 2) << "exports are not compressed";
}

// A form holding a composite report records all of its reports as one document, and says which
// event handlers of the description have no code behind them.
TEST_F(QrptoolReport, CompositeReportRecordsItsReportsAsOneDocument) {
    const std::string form = (pagimo::test::DataDir() / "descriptions.form").string();
    const TRun t = Run(form + " --trace");
    ASSERT_EQ(t.Status, 0) << t.Err;
    EXPECT_EQ(t.Out, "3 page(s)\n");
    EXPECT_NE(t.Err.find("warning: event handlers not connected"), std::string::npos) << t.Err;
    EXPECT_NE(t.Err.find("First.BeforePrint = FirstBeforePrint"), std::string::npos) << t.Err;

    const std::string qrp = (Dir / "both.qrp").string();
    ASSERT_EQ(Run(form + " -o " + qrp).Status, 0);
    const std::string command = std::string(QRPTOOL_PATH) + " info " + qrp;
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string info;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        info.append(buffer, n);
    EXPECT_EQ(::pclose(pipe), 0) << info;
    EXPECT_NE(info.find("Pages:       3"), std::string::npos) << info;
    EXPECT_EQ(Run(form + " -o " + (Dir / "both.txt").string()).Status, 2) << "exports run single reports";
}

TEST_F(QrptoolReport, BrokenDescriptionFailsWithFileAndLine) {
    std::ofstream(Dir / "bad.form") << "object R: TQRReport\n  Units = Feet\nend\n";
    const TRun r = Run((Dir / "bad.form").string() + " --trace");
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, "qrptool report: " + (Dir / "bad.form").string() +
                         ":2: invalid value for Units: 'Feet' is not a value of TQRUnit (MM, Inches, Pixels, "
                         "Characters, Native)\n");
}

TEST_F(QrptoolReport, UsageErrors) {
    EXPECT_EQ(Run("").Status, 2);
    EXPECT_EQ(Run("a.form b.form --trace").Status, 2);
    EXPECT_EQ(Run("a.form --trace -o x.qrp").Status, 2);
    EXPECT_EQ(Run("a.form --trace --param NOEQUALS").Status, 2);
    EXPECT_EQ(Run("missing.form --trace").Status, 1);
}

} // namespace
