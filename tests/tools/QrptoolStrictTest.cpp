// qrptool report as an author checks a description: the mistakes a run finds on stderr, --strict
// failing the run on them (the output still made), and --fields listing the data sets' fields.

#include "QrptoolRun.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;
using pagimo::test::TRun;

class QrptoolStrict : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();
    void SetUp() override {
        std::ofstream(Dir / "s.sql") << "CREATE TABLE sales (region TEXT, value REAL, n INTEGER, day DATE);"
                                        "INSERT INTO sales VALUES ('A', 1.5, 1, '2026-01-02'), ('B', 2, 2, NULL),"
                                        "('B', 3, 3, '2026-01-04');";
        EXPECT_EQ(std::system(("sqlite3 " + (Dir / "d.sqlite").string() + " < " + (Dir / "s.sql").string()).c_str()), 0);
        std::ofstream(Dir / "c.csv") << "name,qty,price\nbolt,10,0.5\nnut,,1\n";
    }

    TRun Run(const std::string& args) { return RunQrptool(Dir, "report " + args); }

    // A report (with more properties) over the SQLite data set Q (its SQL and whether it is active
    // as given), more components, and the detail band's controls, written to r.form.
    std::string Form(const std::string& controls, const std::string& sql = "SELECT region, value, n FROM sales",
                     bool active = true, const std::string& more = "", const std::string& properties = "") {
        std::ofstream(Dir / "r.form") << "object R: TQRReport\n"
                                      << properties << "  DataSet = Q\n"
                                         "  Units = Native\n"
                                         "  Page.Values = (100 2970 100 2100 100 100 0)\n"
                                         "  object Q: TQRSQLiteQuery\n"
                                         "    DatabaseName = 'd.sqlite'\n"
                                         "    SQL = ('" + sql + "')\n"
                                      << (active ? "    Active = True\n" : "")
                                      << "  end\n" << more
                                      << "  object D: TQRBand\n"
                                         "    BandType = rbDetail\n"
                                         "    Size.Values = (50 1900)\n"
                                      << controls << "  end\n"
                                      << "end\n";
        return (Dir / "r.form").string();
    }

    static std::string Expr(const std::string& name, const std::string& expression) {
        return "    object " + name + ": TQRExpr\n      Size.Values = (40 0 0 400)\n      Expression = '" + expression +
               "'\n    end\n";
    }
};

TEST_F(QrptoolStrict, MistakesGoToStderrOnceAndFailOnlyAStrictRunWhoseOutputIsStillMade) {
    const std::string form = Form(Expr("Prize", "[prize]") + Expr("Total", "SUM([value]") + Expr("Fine", "[n] * 2"),
                                  "SELECT region, value, n FROM sales",
                                  true,
                                  "  object G: TQRGroup\n    Expression = '[regio]'\n    Size.Values = (50 1900)\n  end\n");
    const std::string qrp = (Dir / "out.qrp").string();
    // Each with the line that holds it, found before the first page; what they print later is the
    // same fault and is not told again.
    const std::string expected = form + ":11: warning: report R, G: unknown field or function [regio]\n" +
                                 form + ":19: warning: report R, Prize: unknown field or function [prize]\n" +
                                 form + ":23: warning: report R, Total: expression does not parse: Missing )\n";

    const TRun lenient = Run(form + " -o " + qrp);
    EXPECT_EQ(lenient.Status, 0) << lenient.Err;
    EXPECT_EQ(lenient.Err, expected) << "three records, each mistake once";
    EXPECT_TRUE(fs::exists(qrp));
    fs::remove(qrp);

    const TRun strict = Run(form + " -o " + qrp + " --strict");
    EXPECT_EQ(strict.Status, 1);
    EXPECT_EQ(strict.Err, expected + "qrptool: report: --strict: 3 problem(s) in the description; the output was "
                                     "made as usual\n");
    EXPECT_TRUE(fs::exists(qrp)) << "a strict run still writes its pages";

    // The trace and the export filters run the same way.
    const TRun trace = Run(form + " --trace --strict");
    EXPECT_EQ(trace.Status, 1);
    EXPECT_NE(trace.Out.find("1 page(s)"), std::string::npos) << trace.Out;
    EXPECT_EQ(trace.Err, strict.Err);
    const TRun text = Run(form + " -o " + (Dir / "out.txt").string() + " --strict");
    EXPECT_EQ(text.Status, 1) << text.Err;
    EXPECT_TRUE(fs::exists(Dir / "out.txt"));
}

TEST_F(QrptoolStrict, MistakesThatNoPageShowsAreFoundToo) {
    // No record: the detail never prints, so no page shows the unknown field.
    const std::string form = Form(Expr("Prize", "[Q.prize] + [value]"), "SELECT region, value, n FROM sales WHERE 0",
                                  true, "", "  PrintIfEmpty = False\n");
    const TRun r = Run(form + " --trace --strict");
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, form + ":16: warning: report R, Prize: unknown field or function [Q.prize]\n"
                            "qrptool: report: --strict: 1 problem(s) in the description; the output was made as usual\n");

    // A data set without Active = True prints one empty detail.
    const std::string closed = Form(Expr("Fine", "PAGENUMBER"), "SELECT region FROM sales", false);
    const TRun c = Run(closed + " --trace");
    EXPECT_EQ(c.Status, 0);
    EXPECT_EQ(c.Err, form + ":5: warning: report R: data set Q is not active (Active = True is missing): no records "
                            "are read\n");
    EXPECT_EQ(Run(closed + " --trace --strict").Status, 1);

    // A correct description stays silent and succeeds.
    const TRun ok = Run(Form(Expr("Fine", "[Q.value] + [n]")) + " --trace --strict");
    EXPECT_EQ(ok.Status, 0) << ok.Err;
    EXPECT_EQ(ok.Err, "");
}

TEST_F(QrptoolStrict, FieldsListsEveryDataSetWithItsTypesAndWritesNoPages) {
    const std::string more = "  object Parts: TQRCSVTable\n    FileName = 'c.csv'\n    Active = True\n  end\n"
                             "  object Later: TQRCSVTable\n    FileName = 'c.csv'\n  end\n";
    const std::string form =
        Form(Expr("Prize", "[prize]"), "SELECT region, value, n, day, n * 1.5 AS weighted FROM sales WHERE region = :REGION", true, more);
    const std::string listing = "Q: TQRSQLiteQuery\n"
                                "  region                   ftString\n"
                                "  value                    ftFloat\n"
                                "  n                        ftInteger\n"
                                "  day                      ftDate\n"
                                "  weighted                 ftFloat\n"
                                "Parts: TQRCSVTable\n"
                                "  name                     ftString\n"
                                "  qty                      ftInteger\n"
                                "  price                    ftFloat\n"
                                "Later: TQRCSVTable, not active (Active = True is missing): a run reads no records\n";
    const TRun r = Run(form + " --fields --param REGION=B");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, listing);
    EXPECT_EQ(r.Err, "") << "no run: the expressions are not looked at";
    EXPECT_EQ(Run(form + " --fields --param REGION=B --strict").Status, 1) << "a data set is not active";
    // Without the parameter the query has no rows to tell the computed column's type by.
    const TRun unset = Run(form + " --fields");
    EXPECT_EQ(unset.Status, 0) << unset.Err;
    EXPECT_NE(unset.Out.find("  weighted                 ftString\n"), std::string::npos) << unset.Out;

    // --db takes another database for the SQLite data sets, as a run would.
    fs::rename(Dir / "d.sqlite", Dir / "other.sqlite");
    const TRun moved = Run(form + " --fields --param REGION=B --db " + (Dir / "other.sqlite").string());
    EXPECT_EQ(moved.Status, 0) << moved.Err;
    EXPECT_EQ(moved.Out, listing);
    const TRun missing = Run(form + " --fields");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("d.sqlite"), std::string::npos) << missing.Err;

    // A misspelt --param is a usage error that names what the description has.
    const TRun misspelt = Run(form + " --trace --param REGIO=B --db " + (Dir / "other.sqlite").string());
    EXPECT_EQ(misspelt.Status, 2);
    EXPECT_NE(misspelt.Err.find("no parameter REGIO in the description (it has REGION)"), std::string::npos)
        << misspelt.Err;

    // --fields lists instead of running: no output file with it.
    const TRun both = Run(form + " --fields -o " + (Dir / "x.qrp").string());
    EXPECT_EQ(both.Status, 2);
    EXPECT_FALSE(fs::exists(Dir / "x.qrp"));
}

TEST_F(QrptoolStrict, EveryReportOfACompositeIsHeardAndNamed) {
    std::ofstream(Dir / "c.form") << "object F: TForm\n"
                                     "  object T: TQRMemoryTable\n    Lines = ('n' '1' '2')\n    Active = True\n  end\n"
                                     "  object First: TQRReport\n    DataSet = T\n    Units = Native\n"
                                     "    object D1: TQRBand\n      BandType = rbDetail\n      Size.Values = (50 1900)\n"
                                  << Expr("A", "[m]") << "    end\n  end\n"
                                  << "  object Second: TQRReport\n    DataSet = T\n    Units = Native\n"
                                     "    object D2: TQRBand\n      BandType = rbDetail\n      Size.Values = (50 1900)\n"
                                  << Expr("B", "[n] + (1") << "    end\n  end\n"
                                  << "  object Both: TQRCompositeReport\n    Reports = (First Second)\n  end\n"
                                     "end\n";
    const std::string form = (Dir / "c.form").string();
    const TRun r = Run(form + " -o " + (Dir / "c.qrp").string() + " --strict");
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Err, form + ":14: warning: report First, A: unknown field or function [m]\n" + form +
                         ":26: warning: report Second, B: expression does not parse: Missing )\n"
                         "qrptool: report: --strict: 2 problem(s) in the description; the output was made as usual\n");
    EXPECT_TRUE(fs::exists(Dir / "c.qrp"));
}

} // namespace
