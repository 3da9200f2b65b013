// Batches as users run them: qrptool report --burst, its manifest, resume and shards, manifest check,
// and the progress line of long commands.

#include "QrptoolRun.h"
#include "TempDir.h"
#include "TestPaths.h"
#include "tools/Batch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using pagimo::test::RunQrptool;
using pagimo::test::TRun;

const std::string Examples = (pagimo::test::SourceDir() / "examples").string();
const std::string ExampleDb = PAGIMO_BINARY_DIR "/examples/invoices.db";

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The command through sh with stdout and stderr together.
TRun Shell(const std::string& command) {
    TRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    for (size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Out.append(buffer, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// key -> sha256 of a burst's outputs, from its manifests (read as qrptool manifest check reads them).
std::map<std::string, std::string> Listed(const fs::path& dir) {
    std::map<std::string, std::string> rows;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (!entry.path().filename().string().starts_with("manifest")) continue;
        for (const auto& row : pagimo::tools::ReadManifest(entry.path().string())) {
            EXPECT_TRUE(rows.emplace(row.Key, row.Sha256).second) << "listed twice: " << row.Key;
        }
    }
    return rows;
}

class QrptoolBatch : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();
    std::string In(const std::string& name) const { return (Dir / name).string(); }

    // The example database grown to 150 invoices, made once per test program.
    static const std::string& ManyInvoices() {
        static const std::string db = [] {
            const std::string path =
                (fs::temp_directory_path() / ("pagimo-batch-" + std::to_string(::getpid()) + ".db")).string();
            const std::string script =
                "(cat " + Examples + "/invoices.sql; echo 'CREATE TABLE batch_size AS SELECT 150 AS invoices;'; cat " +
                Examples + "/batch/more-invoices.sql) | sqlite3 " + path;
            EXPECT_EQ(std::system(script.c_str()), 0);
            std::atexit(
                [] { fs::remove(fs::temp_directory_path() / ("pagimo-batch-" + std::to_string(::getpid()) + ".db")); });
            return path;
        }();
        return db;
    }
    TRun BurstInvoices(const std::string& pattern, const std::string& more = {}) {
        return RunQrptool(Dir, "report " + Examples + "/invoice-pages.form --db " + ManyInvoices() +
                                   " --burst '[L.number]' -o '" + pattern + "' " + more);
    }
};

// A burst gives each customer what a run over that customer's data alone gives: the invoice list's
// own title, summary and page numbers, for every output type.
TEST_F(QrptoolBatch, BurstEqualsRunsOnFilteredData) {
    for (int customer = 1; customer <= 3; ++customer) {
        const std::string db = In("c" + std::to_string(customer) + ".db");
        fs::copy_file(ExampleDb, db);
        const std::string others = "<> " + std::to_string(customer);
        ASSERT_EQ(Shell("sqlite3 " + db +
                        " 'DELETE FROM invoice_lines WHERE invoice IN (SELECT id FROM invoices WHERE customer " +
                        others + "); DELETE FROM invoices WHERE customer " + others + ";'")
                      .Status,
                  0);
    }
    for (const std::string ext : {".pdf", ".txt", ".csv", ".html", ".qrp"}) {
        SCOPED_TRACE(ext);
        const std::string form = Examples + "/invoice.form";
        const TRun burst = RunQrptool(Dir, "report " + form + " --db " + ExampleDb +
                                               " --burst '[Invoices.customer]' -o '" + In("b/{n}-{key}" + ext) + "'");
        ASSERT_EQ(burst.Status, 0) << burst.Err;
        const auto rows = pagimo::tools::ReadManifest(In("b/manifest.csv"));
        ASSERT_EQ(rows.size(), 3u);
        for (int customer = 1; customer <= 3; ++customer) {
            const std::string alone = In("alone" + std::to_string(customer) + ext);
            const TRun run = RunQrptool(Dir, "report " + form + " --db " + In("c" + std::to_string(customer) + ".db") +
                                                 " -o " + alone);
            ASSERT_EQ(run.Status, 0) << run.Err;
            const std::string made = In("b/" + rows[customer - 1].File);
            EXPECT_EQ(rows[customer - 1].Key, std::to_string(customer));
            EXPECT_EQ(rows[customer - 1].File, std::to_string(customer) + "-" + std::to_string(customer) + ext);
            if (ext != ".qrp") {
                EXPECT_EQ(Read(made), Read(alone)) << made;
                continue;
            }
            // A QRP file carries the time it was written: its pages and text are compared.
            const TRun a = RunQrptool(Dir, "text " + made), b = RunQrptool(Dir, "text " + alone);
            EXPECT_EQ(a.Out, b.Out);
            EXPECT_NE(a.Out.find("Celkem / Grand total"), std::string::npos);
            EXPECT_EQ(RunQrptool(Dir, "info --json " + made)
                              .Out.substr(0, 200)
                              .find("\"page_count\": " + std::to_string(rows[customer - 1].Pages)) != std::string::npos,
                      true);
        }
        fs::remove_all(In("b"));
    }
}

// Keys as file names, the output patterns and shard options: what is made of them, or the refusal.
TEST(QrptoolBatchNames, KeysPatternsAndShards) {
    using pagimo::tools::FileNameOfKey;
    const std::string longKey(300, 'k');
    const struct {
        std::string Key, Name, Why;
    } keys[] = {
        {"Smith, Jones & Co", "Smith, Jones & Co", "commas, spaces and ampersands stay"},
        {"a/b\\c", "a_b_c", "path separators"},
        {"..", "__", "no way up"},
        {".hidden.x", "_hidden.x", "no hidden files: leading dots only"},
        {"tab\there\nnew", "tab_here_new", "control characters"},
        {"Žofie Šťastná", "Žofie Šťastná", "UTF-8 stays"},
        {std::string("bad\xff", 4), "bad_", "a byte that is not UTF-8"},
        {"a:b*c?\"<>|", "a_b_c_____", "what Windows shares refuse"},
        {"", "_", "an empty key"},
        {longKey,
         std::string(190, 'k') + "~" +
             [] {
                 char hex[9];
                 std::snprintf(hex, sizeof hex, "%08x",
                               unsigned(pagimo::tools::StableHash(std::string(300, 'k')) & 0xFFFFFFFF));
                 return std::string(hex);
             }(),
         "cut, with a hash of the whole key"},
    };
    for (const auto& k : keys)
        EXPECT_EQ(FileNameOfKey(k.Key), k.Name) << k.Why;
    EXPECT_NE(FileNameOfKey(longKey), FileNameOfKey(longKey + "!")) << "long keys that differ late stay apart";
    EXPECT_EQ(FileNameOfKey(std::string(189, 'x') + "é" + std::string(110, 'x')).size(), 198u)
        << "cut before a character";

    const struct {
        std::string Pattern, Error;
    } patterns[] = {
        {"out/{key}.pdf", ""},
        {"out/{n}-{key}.pdf", ""},
        {"out/invoice.pdf", "needs {key} or {n}"},
        {"out/{Key}.pdf", "unknown placeholder {Key}"},
        {"{key}/x.pdf", "not in its folder"},
    };
    for (const auto& p : patterns) {
        try {
            const pagimo::tools::TOutputPattern pattern(p.Pattern);
            EXPECT_EQ(p.Error, "") << p.Pattern;
            EXPECT_EQ(pattern.Path("a/b", 7), p.Pattern == "out/{key}.pdf" ? "out/a_b.pdf" : "out/7-a_b.pdf");
        } catch (const pagimo::tools::EUsage& e) {
            EXPECT_NE(p.Error, "") << p.Pattern;
            EXPECT_NE(e.Message.find(p.Error), std::string::npos) << e.Message;
        }
    }

    const struct {
        std::string Text, Slurm, Kubernetes;
        int Index, Count; // -1: refused
    } shards[] = {
        {"2/3", "", "", 2, 3},     {"3/3", "", "", -1, 0},
        {"x/3", "", "", -1, 0},    {"auto", "5 1 2 4", "", 2, 4}, // ids 1, 3, 5, 7: the third task
        {"auto/4", "", "3", 3, 4}, {"auto", "", "3", -1, 0},      // Kubernetes does not say how many
        {"auto", "", "", -1, 0},
    };
    for (const auto& s : shards) {
        ::unsetenv("SLURM_ARRAY_TASK_ID"), ::unsetenv("JOB_COMPLETION_INDEX");
        if (!s.Slurm.empty()) {
            int id, min, step, count;
            std::sscanf(s.Slurm.c_str(), "%d %d %d %d", &id, &min, &step, &count);
            ::setenv("SLURM_ARRAY_TASK_ID", std::to_string(id).c_str(), 1);
            ::setenv("SLURM_ARRAY_TASK_MIN", std::to_string(min).c_str(), 1);
            ::setenv("SLURM_ARRAY_TASK_STEP", std::to_string(step).c_str(), 1);
            ::setenv("SLURM_ARRAY_TASK_COUNT", std::to_string(count).c_str(), 1);
        }
        if (!s.Kubernetes.empty()) ::setenv("JOB_COMPLETION_INDEX", s.Kubernetes.c_str(), 1);
        try {
            const pagimo::tools::TShard shard = pagimo::tools::ParseShard(s.Text);
            EXPECT_EQ(shard.Index, s.Index) << s.Text << " " << s.Slurm;
            EXPECT_EQ(shard.Count, s.Count) << s.Text;
        } catch (const pagimo::tools::EUsage& e) {
            EXPECT_EQ(s.Index, -1) << s.Text << ": " << e.Message;
        }
    }
    ::unsetenv("SLURM_ARRAY_TASK_ID"), ::unsetenv("JOB_COMPLETION_INDEX");
}

// Keys that need cleaning go into the file names as cleaned and into the manifest as they are.
TEST_F(QrptoolBatch, BurstOfKeysThatNeedCleaning) {
    std::ofstream(In("k.form"))
        << "object R: TQRReport\n  DataSet = Q\n"
           "  object Q: TQRSQLiteQuery\n    DatabaseName = '"
        << ExampleDb
        << "'\n"
           "    SQL = ('SELECT ''a/b'' AS k UNION ALL SELECT ''..'' UNION ALL SELECT char(9) || ''t'''\n"
           "           'UNION ALL SELECT '''' UNION ALL SELECT printf(''%.300c'', ''k'')')\n"
           "    Active = True\n  end\n"
           "  object D: TQRBand\n    BandType = rbDetail\n    Size.Values = (50 1900)\n"
           "    object E: TQRExpr\n      Expression = '[k]'\n    end\n  end\nend\n";
    const TRun run = RunQrptool(Dir, "report " + In("k.form") + " --burst '[k]' -o '" + In("out/{key}.txt") + "'");
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::set<std::string> keys;
    for (const auto& row : pagimo::tools::ReadManifest(In("out/manifest.csv"))) {
        keys.insert(row.Key);
        EXPECT_EQ(row.File, pagimo::tools::FileNameOfKey(row.Key) + ".txt");
        EXPECT_TRUE(fs::exists(In("out/" + row.File))) << row.File;
    }
    EXPECT_EQ(keys, (std::set<std::string>{"a/b", "..", "\tt", "", std::string(300, 'k')}));
}

// What is refused leaves no output and no folder behind.
TEST_F(QrptoolBatch, RefusalsBeforeAnyOutput) {
    std::ofstream(In("file")) << "x";
    const std::string form = Examples + "/invoice.form --db " + ExampleDb;
    const struct {
        std::string Burst, Pattern;
        int Status;
        std::string Says;
    } cases[] = {
        {"[Invoices.name", "out/{key}.pdf", 2, "--burst [Invoices.name: Missing ]"},
        {"[Invoices.nosuch]", "out/{key}.pdf", 2, "unknown field or function [Invoices.nosuch]"},
        {"SUM([Invoices.total])", "out/{key}.pdf", 2, "cannot aggregate"},
        {"[Invoices.name]", "out/all.pdf", 2, "needs {key} or {n}"},
        {"IF([Invoices.customer] = 1, 'a/b', IF([Invoices.customer] = 2, 'a_b', 'c'))", "out/{key}.pdf", 1,
         "the keys 'a/b' and 'a_b' both give the file"},
        {"IF([Invoices.customer] = 2, 'b', 'a')", "out/{key}.pdf", 1,
         "the key 'a' comes again at record 6 after other keys (first at record 1)"},
        {"[Invoices.name]", "file/out/{key}.pdf", 1, "Cannot create folder"},
    };
    for (const auto& c : cases) {
        const TRun run = RunQrptool(Dir, "report " + form + " --burst \"" + c.Burst + "\" -o '" + In(c.Pattern) + "'");
        EXPECT_EQ(run.Status, c.Status) << c.Burst << "\n" << run.Err;
        EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(In("out"))) << c.Burst;
    }
}

// SIGTERM ends a burst between pages; what was finished stays listed, and --resume makes the rest:
// the same files as a run that was not stopped, each key listed once.
TEST_F(QrptoolBatch, InterruptedBurstResumes) {
    ASSERT_EQ(BurstInvoices(In("whole/{key}.pdf")).Status, 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int err = ::open(In("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, 2);
        const std::string db = "--db=" + ManyInvoices(), out = In("cut/{key}.pdf"),
                          form = Examples + "/invoice-pages.form";
        ::execl(QRPTOOL_PATH, QRPTOOL_PATH, "report", form.c_str(), db.c_str(), "--burst", "[L.number]", "-o",
                out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Stopped once a few outputs are listed.
    int status = 0;
    bool running = true;
    while (running && Read(In("cut/manifest.csv")).find("2027-000010") == std::string::npos) {
        running = ::waitpid(child, &status, WNOHANG) == 0;
        ::usleep(2000);
    }
    ASSERT_TRUE(running) << Read(In("err.txt"));
    ::kill(child, SIGTERM);
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << Read(In("err.txt"));
    EXPECT_NE(Read(In("err.txt")).find("interrupted: "), std::string::npos) << Read(In("err.txt"));
    const size_t listed = Listed(In("cut")).size();
    EXPECT_LT(listed, 150u);
    for (const auto& entry : fs::directory_iterator(In("cut")))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "a temporary file stayed: " << entry.path();
    EXPECT_EQ(RunQrptool(Dir, "manifest check " + In("cut")).Status, 0);

    const TRun resumed = BurstInvoices(In("cut/{key}.pdf"), "--resume --progress");
    ASSERT_EQ(resumed.Status, 0) << resumed.Err;
    EXPECT_NE(resumed.Err.find("/" + std::to_string(150 - listed) + " outputs (100 %)"), std::string::npos)
        << resumed.Err;
    const TRun check = RunQrptool(Dir, "manifest check " + In("cut") + " --against " + In("whole"));
    EXPECT_EQ(check.Status, 0) << check.Out;
    EXPECT_EQ(Listed(In("cut")), Listed(In("whole")));
}

// Three shards make disjoint outputs whose union is the whole run, byte for byte; manifest check
// then finds what goes missing or is damaged afterwards.
TEST_F(QrptoolBatch, ShardsMakeTheWholeRunAndCheckFindsDamage) {
    ASSERT_EQ(BurstInvoices(In("whole/{key}.pdf")).Status, 0);
    size_t made = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(BurstInvoices(In("shards/{key}.pdf"), "--shard " + std::to_string(i) + "/3").Status, 0);
        const size_t rows =
            pagimo::tools::ReadManifest(In("shards/manifest." + std::to_string(i) + "-of-3.csv")).size();
        EXPECT_GT(rows, 20u) << "shards of 150 keys are near 50 each";
        made += rows;
    }
    EXPECT_EQ(made, 150u);
    EXPECT_EQ(Listed(In("shards")), Listed(In("whole")));
    for (const auto& [key, sha] : Listed(In("whole")))
        ASSERT_EQ(Read(In("shards/" + key + ".pdf")), Read(In("whole/" + key + ".pdf"))) << key;

    fs::remove(In("shards/2027-000100.pdf"));
    std::ofstream(In("shards/2027-000120.pdf"), std::ios::app) << " ";
    std::ofstream(In("shards/manifest.0-of-3.csv"), std::ios::app) << "2027-000007,2027-000007.pdf,1,3";
    const TRun check = RunQrptool(Dir, "manifest check " + In("shards") + " --against " + In("whole"));
    EXPECT_EQ(check.Status, 1);
    for (const std::string& says : std::vector<std::string>{
             "missing " + In("shards/2027-000100.pdf"), "damaged " + In("shards/2027-000120.pdf"),
             "manifest.0-of-3.csv:", "a row cut short", "1 missing, 1 damaged, 0 duplicate, 1 bad row"})
        EXPECT_NE(check.Out.find(says), std::string::npos) << says << "\n" << check.Out;
}

// A disk that fills: the output being written goes, the manifest lists only whole outputs.
TEST_F(QrptoolBatch, FullDiskLeavesTheManifestWhole) {
    // Files beyond 16 KiB cannot be written (the effect of a full disk on each output).
    const TRun run =
        Shell("ulimit -f 16; trap '' XFSZ; " + std::string(QRPTOOL_PATH) + " report " + Examples +
              "/invoice-pages.form --db " + ExampleDb + " --burst '[L.number]' -o '" + In("out/{key}.pdf") + "'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("Cannot create file " + In("out/2026-0001.pdf")), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("stopped: 0 of 6 outputs made, listed in " + In("out/manifest.csv")), std::string::npos)
        << run.Out;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(In("out")))
        left.push_back(entry.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"manifest.csv"});
    EXPECT_EQ(Read(In("out/manifest.csv")), "key,file,pages,bytes,sha256\n");
}

// Progress on a terminal is one line redrawn and cleared at the end; nothing goes through a pipe
// unless --progress asks for plain lines; --quiet silences the terminal.
TEST_F(QrptoolBatch, ProgressOnATerminalOnly) {
    ASSERT_EQ(RunQrptool(Dir, "sample " + In("s.qrp") + " --pages 40").Status, 0);
    const std::string convert = std::string(QRPTOOL_PATH) + " convert " + In("s.qrp") + " " + In("s.pdf");
    const std::string burst = std::string(QRPTOOL_PATH) + " report " + Examples + "/invoice.form --db " + ExampleDb +
                              " --burst '[Invoices.customer]' -o " + In("b/{key}.txt");
    const auto terminal = [](const std::string& command) {
        return Shell("script -qfec \"" + command + "\" /dev/null");
    };
    const struct {
        TRun Run;
        std::string Has, Lacks;
    } cases[] = {
        {terminal(convert), "\rqrptool convert: 0/40 pages (0 %)", "\n"},
        {Shell(convert), "", "qrptool"},
        {Shell(convert + " --progress"), "qrptool convert: 4/40 pages (10 %)", "\r"},
        {terminal(convert + " --quiet"), "", "qrptool"},
        {Shell(burst + " --progress"), "qrptool report: 3/3 outputs (100 %)", "\r"},
        {terminal(burst), "outputs", "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.Run.Status, 0) << c.Run.Out;
        if (!c.Has.empty()) {
            EXPECT_NE(c.Run.Out.find(c.Has), std::string::npos) << c.Run.Out;
        }
        EXPECT_EQ(c.Run.Out.find(c.Lacks), std::string::npos) << c.Run.Out;
        if (c.Has.starts_with("\r") || c.Has == "outputs") {
            EXPECT_TRUE(c.Run.Out.ends_with("\r\033[K")) << "cleared at the end";
        }
    }
}

} // namespace
