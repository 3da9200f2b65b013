// qrptool report over descriptions made to be large: everything still comes out in order, a run
// that would never stop breaking pages, printing bands, reading records or listing reports ends at
// its limit, and a terminating signal ends any run through its own path with nothing left behind.

#include "QrptoolRun.h"
#include "TempDir.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;

// An empty file (an empty SQLite database, too).
void EmptyFile(const fs::path& path) {
    std::ofstream{path};
}

// Processor time a running process has taken, in clock ticks (0 when it cannot be read).
long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}
using pagimo::test::TRun;

class QrptoolBounds : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();

    // A title band followed by a chain of count - 1 child bands, each with a label naming it.
    std::string ChildChain(int count) { return Write("chain.form", ChildChainBody(count) + "end\n"); }
    std::string ChildChainBody(int count, const std::string& props = "") {
        std::ostringstream o;
        o << "object F: TForm\n  object Report: TQRReport\n    Units = Native\n    Page.PaperSize = A4\n"
          << props
          << "    object B0: TQRBand\n      BandType = rbTitle\n      Size.Values = (\n        100\n        1900)\n"
          << "    end\n";
        for (int i = 1; i < count; ++i) {
            o << "    object B" << i << ": TQRChildBand\n      ParentBand = B" << i - 1
              << "\n      Size.Values = (\n        100\n        1900)\n"
              << "      object L" << i << ": TQRLabel\n        Caption = 'Band " << i
              << "'\n        Size.Values = (\n          50\n          10\n          10\n          500)\n"
              << "      end\n    end\n";
        }
        o << "  end\n";
        return o.str();
    }
    // A title band holding one stretching memo of lines lines.
    std::string LongMemo(int lines) {
        std::ostringstream o;
        o << "object F: TForm\n  object Report: TQRReport\n    Units = Native\n    Page.PaperSize = A4\n"
          << "    object T: TQRBand\n      BandType = rbTitle\n      Size.Values = (\n        100\n        1900)\n"
          << "      object M: TQRMemo\n        AutoStretch = True\n"
          << "        Size.Values = (\n          50\n          10\n          10\n          1800)\n"
          << "        Lines.Strings = (";
        for (int i = 0; i < lines; ++i)
            o << "\n          'Line " << i << " of the memo'";
        o << ")\n      end\n    end\n  end\nend\n";
        return Write("memo.form", o.str());
    }
    // A report over table T0 and a chain of sub-details under it (S1 under the report, S2 under S1 ...),
    // levels in all, each over a table of rows records, every band height tall; props go on the report.
    std::string SubDetails(int levels, int rows, int height, const std::string& props = "") {
        std::ostringstream o;
        o << "object F: TForm\n";
        for (int i = 0; i < levels; ++i) {
            o << "  object T" << i << ": TQRMemoryTable\n    Lines = (\n      'n'";
            for (int r = 0; r < rows; ++r)
                o << "\n      '" << r << "'";
            o << ")\n    Active = True\n  end\n";
        }
        o << "  object Report: TQRReport\n    DataSet = T0\n    Units = Native\n"
          << props << "    object D: TQRBand\n      BandType = rbDetail\n      Size.Values = (\n        " << height
          << "\n        1800)\n    end\n";
        for (int i = 1; i < levels; ++i) {
            o << "    object S" << i << ": TQRSubDetail\n      DataSet = T" << i << "\n      Master = ";
            if (i == 1)
                o << "Report";
            else
                o << "S" << i - 1;
            o << "\n      Size.Values = (\n        " << height << "\n        1800)\n    end\n";
        }
        o << "  end\n";
        return o.str();
    }
    // SubDetails as a form, or with a composite listing its report count times.
    std::string Form(const std::string& name, const std::string& body, int composite = 0,
                     const std::string& props = "") {
        std::string text = body;
        if (composite) {
            text += "  object Composite: TQRCompositeReport\n" + props + "    Reports = (";
            for (int i = 0; i < composite; ++i)
                text += "\n      Report";
            text += ")\n  end\n";
        }
        return Write(name, text + "end\n");
    }
    std::string Write(const std::string& name, const std::string& text) {
        const fs::path path = Dir / name;
        std::ofstream(path) << text;
        return path.string();
    }
    size_t Entries() { return static_cast<size_t>(std::distance(fs::directory_iterator(Dir), {})); }
};

TEST_F(QrptoolBounds, LongBandChainsAndMemosComeOutWholeAndInOrder) {
    const std::string chain = ChildChain(3000);
    const TRun trace = RunQrptool(Dir, "report " + chain + " --trace");
    ASSERT_EQ(trace.Status, 0) << trace.Err;
    // Every band once, in the order of the chain.
    std::istringstream lines(trace.Out);
    int expected = 0;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        if (name.size() > 1 && name[0] == 'B' && std::isdigit(static_cast<unsigned char>(name[1]))) {
            EXPECT_EQ(name, "B" + std::to_string(expected)) << line;
            ++expected;
        }
    }
    EXPECT_EQ(expected, 3000);

    const std::string memo = LongMemo(4000);
    const std::string out = (Dir / "memo.qrp").string();
    const TRun run = RunQrptool(Dir, "report " + memo + " -o " + out);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const TRun text = RunQrptool(Dir, "text " + out);
    ASSERT_EQ(text.Status, 0) << text.Err;
    // Each line printed once, on the pages in turn: the memo's lines are broken once per run and
    // each page goes on where the last one stopped.
    size_t at = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string want = "Line " + std::to_string(i) + " of the memo";
        const size_t found = text.Out.find(want, at);
        ASSERT_NE(found, std::string::npos) << want;
        at = found + want.size();
    }
    EXPECT_EQ(text.Out.find("Line 0 of the memo", 1), std::string::npos) << "printed once";
}

TEST_F(QrptoolBounds, ARunStopsAtItsPageLimitAndKeepsTheOldOutput) {
    const std::string memo = LongMemo(2000);
    const std::string out = Write("old.qrp", "the old file");
    const TRun limited = RunQrptool(Dir, "report " + memo + " -o " + out + " --max-pages 5");
    EXPECT_EQ(limited.Status, 1);
    EXPECT_NE(limited.Err.find("Report: the report gives more than 5 pages (MaxPages sets the limit)"),
              std::string::npos)
        << limited.Err;
    std::ifstream in(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the old file");

    for (const char* bad : {"0", "-3", "x", "5x"}) {
        const TRun r = RunQrptool(Dir, "report " + memo + " -o " + out + " --max-pages " + bad);
        EXPECT_EQ(r.Status, 2) << bad;
        EXPECT_NE(r.Err.find("--max-pages"), std::string::npos) << r.Err;
    }
    const TRun enough = RunQrptool(Dir, "report " + memo + " -o " + out + " --max-pages 1000");
    EXPECT_EQ(enough.Status, 0) << enough.Err;
}

TEST_F(QrptoolBounds, ATerminatingSignalEndsTheRunWithNothingLeft) {
    const std::string memo = LongMemo(60000);
    const std::string out = (Dir / "out.qrp").string();
    const fs::path tmp = Dir / "tmp";
    fs::create_directory(tmp);
    const std::string tmpdir = "TMPDIR=" + tmp.string();
    const std::string err = (Dir / "err.txt").string();
    char* const argv[] = {const_cast<char*>(QRPTOOL_PATH), const_cast<char*>("report"), const_cast<char*>(memo.c_str()),
                          const_cast<char*>("-o"), const_cast<char*>(out.c_str()), nullptr};
    char* const envp[] = {const_cast<char*>(tmpdir.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, QRPTOOL_PATH, &actions, nullptr, argv, envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    // The recorded pages spill to a page-store file once the run has made a few dozen pages.
    bool running = false;
    for (int i = 0; i < 6000 && !running; ++i) {
        for (const auto& e : fs::directory_iterator(tmp))
            running = running || e.path().filename().string().starts_with("QRP");
        if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(running);
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "ends as signalled";
    std::ifstream in(err);
    const std::string said(std::istreambuf_iterator<char>(in), {});
    EXPECT_NE(said.find("the run was interrupted at page"), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_TRUE(fs::is_empty(tmp)) << "no page store left";
    EXPECT_EQ(Entries(), 3u) << "the description, the error text and the empty temporary folder";
}

// Runs are bounded by their work, not only by their pages, with limits the author can raise.
// With PAGIMO_HOSTILE_DIR set, descriptions made to run long under the default limits are written
// there too, for scripts/hostile-pages.sh to time.
TEST_F(QrptoolBounds, EachRunLimitEndsTheRunWithItsMessage) {
    if (const char* keep = std::getenv("PAGIMO_HOSTILE_DIR")) {
        const fs::path to(keep);
        const auto put = [&](const std::string& name, const std::string& text) { std::ofstream(to / name) << text; };
        put("subdetails-30-levels.form", SubDetails(30, 2, 0) + "end\n");
        put("subdetails-8-levels-of-10.form", SubDetails(8, 10, 0) + "end\n");
        std::string composite = SubDetails(1, 1, 0) + "  object Composite: TQRCompositeReport\n    Reports = (";
        for (int i = 0; i < 200'000; ++i)
            composite += "\n      Report";
        put("composite-200000.form", composite + ")\n  end\nend\n");
        std::ofstream wide(to / "wide.csv");
        for (int c = 0; c < 200'000; ++c)
            wide << (c ? ",c" : "c") << c;
        wide << "\n" << std::string(199'999, ',') << "\n";
        put("csv-200000-columns.form", "object F: TForm\n  object D: TQRCSVTable\n    FileName = 'wide.csv'\n"
                                       "    Active = True\n  end\n  object Report: TQRReport\n    DataSet = D\n"
                                       "    MaxBands = 1\n  end\nend\n");
        EmptyFile(to / "empty.sqlite");
        put("sqlite-zeroblob.form", "object F: TForm\n  object D: TQRSQLiteQuery\n    DatabaseName = 'empty.sqlite'\n"
                                    "    SQL = (\n      'SELECT zeroblob(1000000000)')\n    Active = True\n  end\n"
                                    "  object Report: TQRReport\n    DataSet = D\n  end\nend\n");
    }
    struct TCase {
        std::string Form;
        int Status;
        std::string Said;
    };
    const TCase cases[] = {
        {Form("deep.form", SubDetails(18, 1, 0)), 1, "S17: sub-details nest more than 16 deep"},
        {Form("deepest.form", SubDetails(17, 2, 0)), 0, ""},
        {Form("bands.form", SubDetails(4, 10, 0, "    MaxBands = 1000\n")), 1,
         "Report: the report prints more than 1000 bands and controls (MaxBands sets the limit)"},
        {Form("labels.form", ChildChainBody(60, "    MaxBands = 100\n")), 1,
         "Report: the report prints more than 100 bands and controls"},
        {Form("records.form", SubDetails(4, 10, 0, "    MaxRecords = 500\n")), 1,
         "Report: the report reads more than 500 records (MaxRecords sets the limit)"},
        {Form("reports.form", SubDetails(1, 1, 0), 1001), 1,
         "Composite: the composite runs 1001 reports, more than 1000 (MaxReports sets the limit)"},
        {Form("more.form", SubDetails(1, 1, 0), 1001, "    MaxReports = 1001\n"), 0, ""},
        // The reports of a composite share the limits of each.
        {Form("shared.form", SubDetails(2, 10, 0, "    MaxBands = 2000\n"), 30), 1,
         "Report: the report prints more than 2000 bands and controls"},
    };
    for (const TCase& c : cases) {
        const TRun run = RunQrptool(Dir, "report " + c.Form + " -o " + (Dir / "out.qrp").string());
        EXPECT_EQ(run.Status, c.Status) << c.Form << "\n" << run.Err;
        EXPECT_NE(run.Err.find(c.Said), std::string::npos) << c.Form << "\n" << run.Err;
        fs::remove(Dir / "out.qrp");
    }
}

// One SIGTERM ends a run wherever it is: reading a query that gives no rows, between the reports of a
// composite, and printing bands that never make a page.
TEST_F(QrptoolBounds, OneSignalStopsRunsThatMakeNoPages) {
    {
        std::ofstream(Dir / "endless.sqlite"); // an empty file is an empty database
    }
    const std::string endless =
        Write("query.form", "object F: TForm\n  object Q: TQRSQLiteQuery\n    DatabaseName = 'endless.sqlite'\n"
                            "    SQL = (\n      'WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n)"
                            " SELECT i FROM n WHERE i < 0')\n    Active = True\n  end\n"
                            "  object Report: TQRReport\n    DataSet = Q\n  end\nend\n");
    const std::string noPages = "    MaxBands = 1000000000000\n    MaxRecords = 1000000000000\n";
    const struct {
        std::string Form, Said;
    } cases[] = {
        {endless, "the run was interrupted while reading Q"},
        {Form("composite.form", SubDetails(3, 40, 0, noPages), 100000, "    MaxReports = 100000\n"),
         "the run was interrupted"},
        {Form("bands.form", SubDetails(8, 40, 0, noPages)), "the run was interrupted at page 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Form);
        const std::string err = (Dir / "err.txt").string(), out = (Dir / "out.qrp").string();
        char* const argv[] = {const_cast<char*>(QRPTOOL_PATH),   const_cast<char*>("report"),
                              const_cast<char*>(c.Form.c_str()), const_cast<char*>("-o"),
                              const_cast<char*>(out.c_str()),    nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, QRPTOOL_PATH, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        // Signalled once it is well into its run: after half a second of processor time.
        for (int i = 0; i < 6000 && CpuTicks(pid) < sysconf(_SC_CLK_TCK) / 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ::kill(pid, SIGTERM);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "ends as signalled";
        std::ifstream in(err);
        const std::string said(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(said.find(c.Said), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(out));
    }
}

// Data sets stay within bounds: a CSV table takes little more memory than its file, whatever its
// shape, and a value beyond the limit ends the run with a message.
TEST_F(QrptoolBounds, LargeDataEndsInBoundedMemoryOrWithAMessage) {
    {
        std::ofstream wide(Dir / "wide.csv");
        for (int c = 0; c < 200'000; ++c)
            wide << (c ? ",c" : "c") << c;
        wide << "\n";
        std::ofstream tall(Dir / "tall.csv");
        tall << "a,b\n";
        for (int r = 0; r < 2'000'000; ++r)
            tall << r % 10 << ",x\n";
        std::ofstream(Dir / "big.csv") << "a\n\"" << std::string(300'000, 'x') << "\"\n";
        EmptyFile(Dir / "data.sqlite");
    }
    const auto table = [&](const std::string& name, const std::string& set) {
        return Write(name, "object F: TForm\n" + set + "  object Report: TQRReport\n    DataSet = D\n  end\nend\n");
    };
    const auto csv = [&](const std::string& file, const std::string& props = "") {
        return "  object D: TQRCSVTable\n    FileName = '" + file + "'\n" + props + "    Active = True\n  end\n";
    };
    const auto query = [&](const std::string& sql) {
        return "  object D: TQRSQLiteQuery\n    DatabaseName = 'data.sqlite'\n    SQL = (\n      '" + sql +
               "')\n    Active = True\n  end\n";
    };
    const struct {
        std::string Form;
        int Status;
        std::string Said;
        long PeakMb;
    } cases[] = {
        {table("wide.form", csv("wide.csv")), 0, "", 300},
        {table("tall.form", csv("tall.csv")), 0, "", 300},
        {table("big.form", csv("big.csv", "    MaxValueSize = 100000\n")), 1,
         "big.csv:2: a record is longer than 100000 bytes (MaxValueSize sets the limit)", 300},
        {table("zeroblob.form", query("SELECT zeroblob(1000000000)")), 1,
         "D: a value is larger than 16777216 bytes (MaxValueSize sets the limit)", 300},
    };
    for (const auto& c : cases) {
        const TRun run = RunQrptool(Dir, "report " + c.Form + " --fields");
        EXPECT_EQ(run.Status, c.Status) << c.Form << "\n" << run.Err;
        EXPECT_NE(run.Err.find(c.Said), std::string::npos) << c.Form << "\n" << run.Err;
        EXPECT_LT(run.PeakKb, c.PeakMb * 1024 * pagimo::test::MemoryFactor) << c.Form;
    }
}

} // namespace
