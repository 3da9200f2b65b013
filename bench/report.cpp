// A grouped report over SQLite: 10,000 customers in 5 regions; a title, a group header per region, a
// detail band per customer (name and amount), a group footer with the region's running sum and a page
// footer with the page number. Generated to QRP (plain and compressed) and to PDF, as a sub-detail
// variant (regions as master, customers as sub-detail), and drawn by ReportLab's canvas straight to
// PDF as the peer (bench/report_reportlab.py, run with Debian's /usr/bin/python3 in the same run).
//
// Peak memory: the report runs in a child process (this program re-run with --child) at 1,000 and
// 10,000 records and prints its resident high-water mark. The data sets alone (open the query, walk
// every record, as the report's controller does) are measured the same way (--walk) at 1,000 and
// 100,000 records: rows stream, so the two stay close.
//
// PostgreSQL: the same grouped report over TQRSQLQuery on a private server started for the run
// (initdb and pg_ctl in a temporary folder, as the tests do), next to SQLite; skipped with a
// message when the server programs are not installed.
//
// BM_ReportToPdf and BM_ReportLabPdfAt run both at 1,000, 10,000 and 100,000 records, the report going
// to PDF through the PDF export filter as `qrptool report -o x.pdf` writes it; BM_PeakMemory measures
// the same PDF runs' peak memory in a child.
//
// Run with: bench_report --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
//
// The detail texts are drawn by a small printable of this benchmark (TText): the text controls are
// not part of the engine library.

#include "engine/Report.h"
#include "PostgresFixture.h"
#include "controls/Printable.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/ReportRun.h"
#include "engine/SQLiteDataSet.h"
#include "platform/emf/EmfPicture.h"
#include "platform/gdi/Canvas.h"
#include "platform/gdi/EmfPlayer.h"
#include "platform/gdi/PainterDevice.h"
#include "platform/system/Errors.h"
#include "printer/QRPrinter.h"
#include "printer/StoredPageExport.h"

#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::engine;
namespace fs = std::filesystem;

namespace {

constexpr int Records = 10000;
constexpr int Regions = 5;

fs::path WorkDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("pagimo-bench-report-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// customers(id, name, region, amount) with `records` rows, regions(region) with 5 rows.
fs::path Database(int records) {
    const fs::path path = WorkDir() / ("sales-" + std::to_string(records) + ".sqlite");
    if (fs::exists(path)) return path;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) throw EQRError("cannot create " + path.string());
    sqlite3_exec(db,
                 "CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT, region TEXT, amount REAL);"
                 "CREATE TABLE regions (region TEXT PRIMARY KEY);"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    for (int r = 1; r <= Regions; ++r) {
        const std::string sql = "INSERT INTO regions VALUES ('Region " + std::to_string(r) + "');";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO customers VALUES (?, ?, ?, ?)", -1, &st, nullptr);
    for (int i = 1; i <= records; ++i) {
        const std::string name = "Customer " + std::to_string(i * 7919 % 100000);
        const std::string region = "Region " + std::to_string((i - 1) * Regions / records + 1);
        sqlite3_bind_int(st, 1, i);
        sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, region.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(st, 4, (i * 37 % 100000) / 100.0);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return path;
}

std::string Band(const std::string& name, const std::string& kind, int height) {
    return "    object " + name + ": " + kind + "\n      Size.Values = (\n        " + std::to_string(height) +
           "\n        1900)\n";
}

// The grouped report (or its sub-detail variant) as a form description over the database.
std::string Description(const fs::path& db, bool subDetail) {
    std::string f = "object Form1: TForm\n";
    f += "  object Customers: TQRSQLiteQuery\n    DatabaseName = '" + db.string() + "'\n";
    f += subDetail ? "    SQL = ('SELECT id, name, region, amount FROM customers WHERE region = :REGION ORDER BY id')\n"
                   : "    SQL = ('SELECT id, name, region, amount FROM customers ORDER BY region, id')\n";
    f += "    Active = True\n  end\n";
    if (subDetail) {
        f += "  object Regions: TQRSQLiteQuery\n    DatabaseName = '" + db.string() + "'\n";
        f += "    SQL = ('SELECT region FROM regions ORDER BY region')\n    Active = True\n  end\n";
    }
    f += "  object Report: TQRReport\n    DataSet = ";
    f += subDetail ? "Regions\n" : "Customers\n";
    f += "    Functions.Strings = ('PAGENUMBER' 'COLUMNNUMBER' 'REPORTTITLE' 'REGION')\n";
    f += "    Functions.DATA = ('0' '0' '''''' '[Regions.region]')\n";
    f += "    Page.PaperSize = A4\n    Page.Values = (100 2970 100 2100 100 100 0)\n    Units = Native\n";
    f += "    ReportTitle = 'Sales by region'\n";
    f += Band("Title", "TQRBand", 120) + "      BandType = rbTitle\n    end\n";
    if (subDetail) {
        f += Band("RegionHeader", "TQRBand", 60) + "      BandType = rbDetail\n    end\n";
        f += Band("Detail", "TQRSubDetail", 46) +
             "      DataSet = Customers\n      Master = Report\n      FooterBand = RegionFooter\n    end\n";
    } else {
        f += Band("RegionHeader", "TQRGroup", 60) +
             "      Expression = '[region]'\n      FooterBand = RegionFooter\n    end\n";
        f += Band("Detail", "TQRBand", 46) + "      BandType = rbDetail\n    end\n";
    }
    f += Band("RegionFooter", "TQRBand", 60) + "      BandType = rbGroupFooter\n    end\n";
    f += Band("PageFooter", "TQRBand", 60) + "      BandType = rbPageFooter\n    end\n";
    f += "  end\nend\n";
    return f;
}

// The customers of Database(records) on the private PostgreSQL server, in database sales_N; the
// server once per run. Null (with the reason in error) when it cannot run.
test::TPostgresFixture* PostgresWith(int records, std::string& error) {
    test::TPostgresFixture* server = test::TPostgresFixture::Shared();
    if (!server) {
        error = test::TPostgresFixture::Error();
        return nullptr;
    }
    static std::vector<int> loaded;
    if (std::find(loaded.begin(), loaded.end(), records) != loaded.end()) return server;
    const std::string db = "sales_" + std::to_string(records);
    std::string err;
    if (!server->Sql("DROP DATABASE IF EXISTS " + db + "; CREATE DATABASE " + db + ";", nullptr, &err) ||
        !server->Sql("CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT, region TEXT, amount DOUBLE PRECISION);"
                     "INSERT INTO customers SELECT i, 'Customer ' || (i * 7919 % 100000), 'Region ' || ((i - 1) * " +
                         std::to_string(Regions) + " / " + std::to_string(records) +
                         " + 1), (i * 37 % 100000) / 100.0 FROM generate_series(1, " + std::to_string(records) +
                         ") AS i;",
                     nullptr, &err, db)) {
        error = "cannot load the data set: " + err;
        return nullptr;
    }
    loaded.push_back(records);
    return server;
}

std::string PostgresDataSet(int port, int records) {
    return "  object Customers: TQRSQLQuery\n    Driver = 'QPSQL'\n    HostName = '127.0.0.1'\n    Port = " +
           std::to_string(port) + "\n    UserName = 'postgres'\n    Password = '" + test::TPostgresFixture::Password() +
           "'\n    DatabaseName = 'sales_" + std::to_string(records) + "'\n";
}

// The grouped report's description with its customers from PostgreSQL instead of SQLite.
std::string PostgresDescription(int port, int records) {
    std::string f = Description(Database(1), false);
    const size_t from = f.find("  object Customers: TQRSQLiteQuery\n");
    const size_t to = f.find("    SQL = ", from);
    return f.replace(from, to - from, PostgresDataSet(port, records));
}

// A line of text whose content is asked for at print time, in 10-point Arial at the band offset.
class TText : public controls::TQRPrintable {
public:
    std::function<std::string()> Text;
    int32_t Right = 0; // tenths of a millimetre from the band's left edge; 0: left aligned at Left
    void PrintAt(int32_t ofsX, int32_t ofsY) override {
        controls::TQRPrintable::PrintAt(ofsX, ofsY);
        controls::TQRPrintTarget* target = PrintTarget();
        if (!target || !target->PageCanvas()) return;
        gdi::TCanvas& canvas = *target->PageCanvas();
        canvas.Font.Height = -static_cast<int32_t>(35 * target->ScaleY() + 0.5);
        const std::string text = Text();
        const controls::TRect r = DeviceRect(ofsX, ofsY);
        int32_t x = r.Left;
        if (Right) x = r.Left + static_cast<int32_t>(Right * target->ScaleX()) - canvas.TextWidth(text);
        canvas.TextOut(x, r.Top, text);
    }
};

std::string Str(const TFieldValue& v) {
    if (auto* s = std::get_if<std::string>(&v)) return *s;
    if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
    if (auto* d = std::get_if<double>(&v)) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", *d);
        return buf;
    }
    return {};
}

system::TComponent* Find(system::TComponent& root, const std::string& name) {
    if (auto* c = root.FindComponent(name)) return c;
    for (system::TComponent* child : root.Components())
        if (auto* c = Find(*child, name)) return c;
    return nullptr;
}

const system::TClassRegistry& Registry() {
    static const system::TClassRegistry registry = [] {
        system::TClassRegistry r;
        RegisterReportClasses(r);
        RegisterFormHostClasses(r);
        return r;
    }();
    return registry;
}

// A loaded report with its texts attached; owns the form.
struct TBenchReport {
    std::unique_ptr<system::TComponent> Root;
    TQRReport* Report = nullptr;
    double Sum = 0;

    TBenchReport(int records, bool subDetail, bool compress)
        : TBenchReport(Description(Database(records), subDetail), subDetail, compress) {}

    TBenchReport(const std::string& description, bool subDetail, bool compress) {
        Root = ReadForm(description, Registry());
        Report = FindFirstReport(*Root);
        if (compress) Report->SetOptions(Report->Options() | OptionBit(Compression));
        auto* customers = dynamic_cast<TQRDataSet*>(Find(*Root, "Customers"));
        auto field = [customers](const char* name) { return Str(customers->FieldByName(name).FieldValue()); };
        Text("Title", 0, [this] { return Report->ReportTitle(); });
        Text("RegionHeader", 0, [this, customers, subDetail] {
            Sum = 0;
            if (!subDetail) return Str(customers->FieldByName("region").FieldValue());
            auto* regions = dynamic_cast<TQRDataSet*>(Find(*Root, "Regions"));
            return Str(regions->FieldByName("region").FieldValue());
        });
        Text("Detail", 0, [field] { return field("name"); });
        Text("Detail", 1800, [this, customers] {
            const TFieldValue v = customers->FieldByName("amount").FieldValue();
            if (auto* d = std::get_if<double>(&v)) Sum += *d;
            return Str(v);
        });
        Text("RegionFooter", 1800, [this] { return Str(Sum); });
        Text("PageFooter", 0, [this] { return "Page " + std::to_string(Report->PageCount()); });
    }

    void Text(const std::string& band, int32_t right, std::function<std::string()> text) {
        auto* b = dynamic_cast<TQRCustomBand*>(Find(*Root, band));
        if (!b) throw EQRError("no band " + band);
        auto* t = system::TComponent::Create<TText>(Report);
        t->SetParentComponent(b);
        t->Size()->SetUnits(controls::TQRUnit::Native);
        t->Size()->SetLeft(right ? 100 : 20);
        t->Size()->SetTop(5);
        t->Size()->SetWidth(right ? 1750 : 900);
        t->Size()->SetHeight(40);
        t->Right = right ? 1700 : 0;
        t->Text = std::move(text);
    }

    std::unique_ptr<printer::TQRPrinter> Record() {
        TQRReportRunner runner(*Report);
        return runner.Record();
    }
};

QPageSize PageSizeOf(const emf::TEmfPicture& picture) {
    return QPageSize(QSizeF(picture.WidthMM(), picture.HeightMM()), QPageSize::Millimeter, QString(),
                     QPageSize::ExactMatch);
}

// The recorded pages as a vector PDF, as qrptool convert writes it.
void WritePdf(printer::TQRPrinter& pages, const fs::path& file) {
    QPdfWriter writer(QString::fromStdString(file.string()));
    writer.setResolution(1200);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    for (int32_t n = 1; n <= pages.PageTotal(); ++n) {
        std::unique_ptr<emf::TEmfPicture> picture = pages.FetchPage(n);
        if (!picture) throw EQRError("page " + std::to_string(n) + " missing");
        writer.setPageSize(PageSizeOf(*picture));
        if (n == 1) {
            if (!painter.begin(&writer)) throw EQRError("cannot write " + file.string());
        } else {
            writer.newPage();
        }
        const QRectF target(0, 0, picture->WidthMM() / 25.4 * writer.resolution(),
                            picture->HeightMM() / 25.4 * writer.resolution());
        gdi::TPainterDevice device(painter);
        gdi::TEmfPlayer::Play(*picture, device, target);
    }
    painter.end();
}

enum TOutput { outQrp, outQrpCompressed, outPdf, outPdfFilter };

// One whole run: load, generate, save. Returns the page count.
int RunOnce(int records, bool subDetail, TOutput output) {
    TBenchReport report(records, subDetail, output == outQrpCompressed);
    std::unique_ptr<printer::TQRPrinter> pages = report.Record();
    const int total = pages->PageTotal();
    if (output == outPdf) {
        WritePdf(*pages, WorkDir() / "report.pdf");
    } else if (output == outPdfFilter) {
        printer::TQRPDFExportFilter filter((WorkDir() / ("report-" + std::to_string(records) + ".pdf")).string());
        pages->ExportPages(filter);
    } else
        pages->SaveReportFile((WorkDir() / "report.qrp").string());
    return total;
}

void Report(benchmark::State& state, bool subDetail, TOutput output) {
    Database(Records);
    int pages = 0;
    for (auto _ : state)
        pages = RunOnce(Records, subDetail, output);
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_kB"] =
        static_cast<double>(fs::file_size(WorkDir() / (output == outPdf ? "report.pdf" : "report.qrp"))) / 1024;
}

void BM_ReportQrp(benchmark::State& state) {
    Report(state, false, outQrp);
}
void BM_ReportQrpCompressed(benchmark::State& state) {
    Report(state, false, outQrpCompressed);
}
void BM_ReportPdf(benchmark::State& state) {
    Report(state, false, outPdf);
}
void BM_ReportSubDetailQrp(benchmark::State& state) {
    Report(state, true, outQrp);
}

// The report to PDF as qrptool report writes it, at range(0) records.
void BM_ReportToPdf(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    Database(records);
    int pages = 0;
    for (auto _ : state)
        pages = RunOnce(records, false, outPdfFilter);
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_kB"] =
        static_cast<double>(fs::file_size(WorkDir() / ("report-" + std::to_string(records) + ".pdf"))) / 1024;
}

// The peer: ReportLab drawing the same grouped report to PDF; the script prints its page count.
void ReportLab(benchmark::State& state, int records) {
    const std::string out = (WorkDir() / "reportlab.pdf").string();
    const std::string command =
        "/usr/bin/python3 " PAGIMO_SOURCE_DIR "/bench/report_reportlab.py " + Database(records).string() + " " + out;
    int pages = 0;
    // The script's processor time, user and system, from the children's usage: comparable with the
    // process CPU time the Pagimo rows report.
    const auto childCpu = [] {
        rusage u{};
        ::getrusage(RUSAGE_CHILDREN, &u);
        return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    };
    const double before = childCpu();
    for (auto _ : state) {
        FILE* p = popen(command.c_str(), "r");
        if (!p || std::fscanf(p, "%d", &pages) != 1) pages = 0;
        if (!p || pclose(p) != 0) {
            state.SkipWithError("/usr/bin/python3 bench/report_reportlab.py failed (is python3-reportlab installed?)");
            return;
        }
    }
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_kB"] = static_cast<double>(fs::file_size(out)) / 1024;
    state.counters["child_cpu_s"] = (childCpu() - before) / static_cast<double>(state.iterations());
}
void BM_ReportLabPdf(benchmark::State& state) {
    ReportLab(state, Records);
}
void BM_ReportLabPdfAt(benchmark::State& state) {
    ReportLab(state, static_cast<int>(state.range(0)));
}

// The grouped report over PostgreSQL to QRP: the counterpart of BM_ReportQrp in the same run.
void BM_ReportQrpPostgres(benchmark::State& state) {
    std::string error;
    test::TPostgresFixture* server = PostgresWith(Records, error);
    if (!server) {
        state.SkipWithError(error.c_str());
        return;
    }
    const std::string description = PostgresDescription(server->Port(), Records);
    int pages = 0;
    for (auto _ : state) {
        TBenchReport report(description, false, false);
        std::unique_ptr<printer::TQRPrinter> recorded = report.Record();
        pages = recorded->PageTotal();
        recorded->SaveReportFile((WorkDir() / "report-pg.qrp").string());
    }
    state.counters["pages"] = pages;
    state.counters["pages_per_s"] = benchmark::Counter(pages, benchmark::Counter::kIsIterationInvariantRate);
}

long ChildPeak(const std::string& arguments, benchmark::State& state) {
    const std::string command = fs::read_symlink("/proc/self/exe").string() + " " + arguments;
    long hwm = 0;
    FILE* p = popen(command.c_str(), "r");
    if (!p || std::fscanf(p, "%ld", &hwm) != 1) hwm = 0;
    if (!p || pclose(p) != 0 || hwm == 0) state.SkipWithError("the child failed");
    return hwm;
}

// Peak resident memory of a child that opens the customers query and walks every record, reading
// each field as the report's texts do: SQLite (range(1) 0) or PostgreSQL (1).
void BM_DataSetPeakMemory(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    std::string source = "sqlite";
    if (state.range(1)) {
        std::string error;
        test::TPostgresFixture* server = PostgresWith(records, error);
        if (!server) {
            state.SkipWithError(error.c_str());
            return;
        }
        source = std::to_string(server->Port());
    } else {
        Database(records);
    }
    long hwm = 0;
    for (auto _ : state)
        hwm = ChildPeak("--walk " + std::to_string(records) + " " + WorkDir().string() + " " + source, state);
    state.counters["peak_rss_kB"] = static_cast<double>(hwm);
}

// The child of BM_DataSetPeakMemory; prints VmHWM in kB.
int WalkChild(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int records = std::atoi(argv[2]);
    const std::string source = argv[4];
    try {
        std::string description;
        if (source == "sqlite") {
            description = "object Customers: TQRSQLiteQuery\n    DatabaseName = '" +
                          (fs::path(argv[3]) / ("sales-" + std::to_string(records) + ".sqlite")).string() + "'\n";
        } else {
            description = PostgresDataSet(std::atoi(source.c_str()), records).substr(2);
        }
        description += "  SQL = ('SELECT id, name, region, amount FROM customers ORDER BY region, id')\n"
                       "  Active = True\nend\n";
        auto root = ReadForm(description, Registry());
        auto* data = dynamic_cast<TQRDataSet*>(root.get());
        size_t characters = 0;
        int rows = 0;
        for (data->First(); !data->Eof(); data->Next()) {
            for (size_t i = 0; i < data->FieldCount(); ++i)
                characters += Str(data->Fields(i).FieldValue()).size();
            ++rows;
        }
        if (rows != records || characters == 0) throw EQRError("walked " + std::to_string(rows) + " records");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) std::printf("%ld\n", std::atol(line.c_str() + 6));
    return 0;
}

// Peak resident memory of a child process generating the report to compressed QRP. The child reports
// its own high-water mark (VmHWM): the rusage of a spawned child also counts the parent's pages it
// shared before exec.
void BM_PeakMemory(benchmark::State& state) {
    Database(static_cast<int>(state.range(0)));
    const std::string command = fs::read_symlink("/proc/self/exe").string() + " --child " +
                                std::to_string(state.range(0)) + " " + WorkDir().string() +
                                (state.range(1) ? " pdf" : "");
    long hwm = 0;
    for (auto _ : state) {
        FILE* p = popen(command.c_str(), "r");
        if (!p || std::fscanf(p, "%ld", &hwm) != 1) hwm = 0;
        if (!p || pclose(p) != 0 || hwm == 0) {
            state.SkipWithError("the child failed");
            return;
        }
    }
    state.counters["peak_rss_kB"] = static_cast<double>(hwm);
}

// The child of BM_PeakMemory: one run to compressed QRP (or with "pdf" to PDF through the export
// filter) in the parent's work folder; prints VmHWM in kB.
int Child(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int records = std::atoi(argv[2]);
    const fs::path dir = argv[3];
    const bool pdf = argc == 5 && std::strcmp(argv[4], "pdf") == 0;
    try {
        TBenchReport report(records, false, !pdf);
        std::unique_ptr<printer::TQRPrinter> pages = report.Record();
        if (pdf) {
            printer::TQRPDFExportFilter filter((dir / ("child-" + std::to_string(records) + ".pdf")).string());
            pages->ExportPages(filter);
        } else {
            pages->SaveReportFile((dir / ("child-" + std::to_string(records) + ".qrp")).string());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) std::printf("%ld\n", std::atol(line.c_str() + 6));
    return 0;
}

} // namespace

BENCHMARK(BM_ReportQrp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportQrpCompressed)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportSubDetailQrp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportLabPdf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportToPdf)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_ReportLabPdfAt)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeakMemory)
    ->Args({Records / 10, 0})
    ->Args({Records, 0})
    ->Args({1000, 1})
    ->Args({100000, 1})
    ->ArgNames({"records", "pdf"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ReportQrpPostgres)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DataSetPeakMemory)
    ->Args({1000, 0})
    ->Args({100000, 0})
    ->Args({1000, 1})
    ->Args({100000, 1})
    ->ArgNames({"records", "postgres"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("FONTCONFIG_FILE", PAGIMO_SOURCE_DIR "/resources/fonts/fonts.conf", 0);
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--child") == 0) return Child(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--walk") == 0) return WalkChild(argc, argv);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(WorkDir(), ec);
    return 0;
}
