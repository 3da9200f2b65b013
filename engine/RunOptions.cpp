#include "engine/RunOptions.h"

#include "controls/GraphicControls.h"
#include "engine/CSVTable.h"
#include "engine/CompositeReport.h"
#include "engine/Report.h"
#include "engine/SQLQuery.h"
#include "engine/SQLiteDataSet.h"
#include "platform/system/Persistent.h"

#include <algorithm>
#include <charconv>
#include <filesystem>

namespace pagimo::engine {

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

std::string TReportRunOptions::AddParam(const std::string& assignment) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0) return "--param needs NAME=VALUE: " + assignment;
    Functions.emplace_back(assignment.substr(0, eq), LiteralExpression(assignment.substr(eq + 1)));
    return {};
}

void TReportRunOptions::SetDatabase(const std::string& file) {
    Database = file.empty() ? std::string() : std::filesystem::absolute(file).string();
}

void TReportRunOptions::ApplyToComponent(system::TComponent& component) const {
    if (auto* d = dynamic_cast<TQRSQLiteDataSet*>(&component); d && !Database.empty()) d->SetDatabaseName(Database);
}

namespace {

template <class F> void ForEachComponent(const system::TComponent& root, const F& f) {
    f(root);
    for (const system::TComponent* c : root.Components())
        ForEachComponent(*c, f);
}

} // namespace

void TReportRunOptions::ApplyFunctions(system::TComponent& root) const {
    ForEachComponent(root, [this](const system::TComponent& c) {
        if (const auto* r = dynamic_cast<const TQRReport*>(&c))
            for (const auto& [name, expression] : Functions)
                r->Functions()->Set(name, expression);
    });
}

std::vector<std::string> DescriptionDataFiles(const system::TComponent& root) {
    std::vector<std::string> files;
    ForEachComponent(root, [&files](const system::TComponent& c) {
        std::string file;
        if (const auto* d = dynamic_cast<const TQRSQLiteDataSet*>(&c)) file = d->DatabasePath();
        if (const auto* t = dynamic_cast<const TQRCSVTable*>(&c)) file = t->FilePath();
        // A database server's data set reads a file only through the SQLite driver.
        if (const auto* q = dynamic_cast<const TQRSQLQuery*>(&c);
            q && system::SameText(q->Driver(), "QSQLITE") && q->DatabaseName() != ":memory:")
            file = q->DatabaseName();
        // Pictures printed from files are data too: a changed logo shows at the next run.
        if (const auto* image = dynamic_cast<const controls::TQRImage*>(&c); image && !image->FileName().empty())
            file = image->FilePath();
        if (!file.empty() && std::find(files.begin(), files.end(), file) == files.end()) files.push_back(file);
    });
    return files;
}

namespace {

std::string Named(const std::string& name) {
    return name.empty() ? std::string("(unnamed)") : name;
}

} // namespace

std::string DiagnosticText(const TCustomQRReport& report, const controls::TQRRunDiagnostic& d) {
    using controls::TQRRunDiagnostic;
    std::string where = "report " + Named(report.Name());
    if (d.Page > 0) where += ", page " + std::to_string(d.Page);
    // Expressions are what a control prints; other properties are named.
    const bool expression = d.Property.empty() || d.Property == "Expression";
    switch (d.Kind) {
    case TQRRunDiagnostic::UnknownName:
        return where + ", " + Named(d.Source) + ": unknown field or function [" + d.Text + "]" +
               (expression ? std::string() : " in " + d.Property);
    case TQRRunDiagnostic::SyntaxError:
        return where + ", " + Named(d.Source) + ": " + (expression ? std::string("expression") : d.Property) +
               " does not parse: " + d.Text;
    case TQRRunDiagnostic::ExpressionError:
        return where + ", " + Named(d.Source) + ": " + (expression ? "expression error printed: " : d.Property + ": ") +
               d.Text;
    case TQRRunDiagnostic::InactiveDataSet:
        if (d.Source != report.Name()) where += ", " + Named(d.Source);
        return where + ": data set " + Named(d.Text) + " is not active (Active = True is missing): no records are read";
    case TQRRunDiagnostic::TextCut:
    case TQRRunDiagnostic::NotDrawn:
        break;
    }
    return where + ", " + Named(d.Source) + ": " + d.Text;
}

TQRCompositeReport* FindCompositeReport(system::TComponent& root) {
    if (auto* composite = dynamic_cast<TQRCompositeReport*>(&root)) return composite;
    for (system::TComponent* c : root.Components())
        if (auto* composite = dynamic_cast<TQRCompositeReport*>(c)) return composite;
    return nullptr;
}

} // namespace pagimo::engine
