// qrptool report: loads a stored report description and runs its first report.

#include "engine/CSVTable.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/SQLiteDataSet.h"
#include "engine/TraceTarget.h"
#include "platform/system/Errors.h"
#include "tools/Commands.h"

#include <charconv>
#include <cstdio>
#include <filesystem>

namespace pagimo::tools {

namespace {

// A --param value as a report function: numbers stay numbers, anything else becomes a string.
std::string LiteralExpression(const std::string& value) {
    double d = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), d, std::chars_format::fixed);
    if (!value.empty() && ec == std::errc() && end == value.data() + value.size()) return value;
    std::string quoted = "'";
    for (char c : value) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return quoted + "'";
}

int RunReport(TArgs& args) {
    const auto db = args.Option("--db");
    const auto params = args.Options("--param");
    const bool trace = args.Flag("--trace");
    const auto positionals = args.Positionals();
    if (positionals.size() != 1) throw EUsage{"expected one description file"};
    if (!trace) throw EUsage{"give --trace (page output comes with the report printer)"};
    std::vector<std::pair<std::string, std::string>> functions;
    for (const std::string& p : params) {
        const size_t eq = p.find('=');
        if (eq == std::string::npos || eq == 0) throw EUsage{"--param needs NAME=VALUE: " + p};
        functions.emplace_back(p.substr(0, eq), LiteralExpression(p.substr(eq + 1)));
    }

    system::TClassRegistry registry;
    engine::RegisterReportClasses(registry);
    engine::RegisterFormHostClasses(registry);
    std::string dbPath;
    if (db) dbPath = std::filesystem::absolute(*db).string();
    auto root = engine::ReadFormFile(positionals[0], registry, [&](system::TComponent& c) {
        if (auto* d = dynamic_cast<engine::TQRSQLiteDataSet*>(&c); d && !dbPath.empty()) d->SetDatabaseName(dbPath);
    });
    engine::TQRReport* report = engine::FindFirstReport(*root);
    if (!report) throw EQRError(positionals[0] + ": no report in the description");
    for (const auto& [name, expression] : functions) report->Functions()->Set(name, expression);

    engine::TQRTraceTarget target;
    std::vector<std::string> lines;
    int page = 0;
    for (engine::TQRCustomBand* band : report->BandList()) {
        band->AfterPrint = [&](engine::TQRCustomBand& b, bool printed) {
            if (!printed) return;
            if (report->PageCount != page) {
                page = report->PageCount;
                lines.push_back("page " + std::to_string(page));
            }
            const auto& r = b.BandOutline();
            char buf[160];
            std::snprintf(buf, sizeof buf, "  %-24s %6d %6d %6d %6d", b.Name().c_str(), r.Left, r.Top,
                          r.Right - r.Left, r.Bottom - r.Top);
            lines.push_back(buf);
        };
    }
    report->SetPrintTarget(&target);
    report->CreateReport(false);
    for (const auto& l : lines) std::puts(l.c_str());
    std::printf("%zu page(s)\n", target.Pages().size());
    return ExitOk;
}

} // namespace

extern const TCommand CmdReport = {
    "report", "run a stored report description",
    "usage: qrptool report FILE.form --trace [--db FILE.sqlite] [--param NAME=VALUE ...]\n"
    "  Loads the description (a report alone or a form holding one) and runs its first report.\n"
    "  --trace          print each page's bands: name, left, top, width, height (0.1 mm)\n"
    "  --db FILE        use this database for every SQLite data set of the description\n"
    "  --param N=V      set the report function N to the value V (query parameters :N)\n",
    RunReport};

} // namespace pagimo::tools
