#include "engine/SQLiteDataSet.h"

#include "engine/SQLQuery.h"

#include "platform/system/Errors.h"

#include <sqlite3.h>

#include <cctype>
#include <memory>

namespace pagimo::engine {

namespace {

struct TDbClose {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct TStmtFinalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

bool Contains(const std::string& upper, const char* what) {
    return upper.find(what) != std::string::npos;
}

// A declared column type to a field type, by SQLite's own affinity rules; NUMERIC and undeclared
// columns take their type from the values.
TFieldType DeclaredType(const char* decl) {
    if (!decl) return TFieldType::ftUnknown;
    std::string u(decl);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (Contains(u, "BOOL")) return TFieldType::ftBoolean;
    if (Contains(u, "INT")) return TFieldType::ftInteger;
    if (Contains(u, "CHAR") || Contains(u, "CLOB") || Contains(u, "TEXT")) return TFieldType::ftString;
    if (Contains(u, "REAL") || Contains(u, "FLOA") || Contains(u, "DOUB")) return TFieldType::ftFloat;
    if (Contains(u, "DATETIME") || Contains(u, "TIMESTAMP")) return TFieldType::ftDateTime;
    if (Contains(u, "DATE")) return TFieldType::ftDate;
    if (Contains(u, "TIME")) return TFieldType::ftTime;
    if (Contains(u, "BLOB")) return TFieldType::ftBlob;
    return TFieldType::ftUnknown;
}

} // namespace

void TQRSQLiteDataSet::SetDatabaseName(const std::string& name) {
    if (name == FDatabaseName) return;
    Close();
    FDatabaseName = name;
}

void TQRSQLiteDataSet::RunQuery(const std::string& sql, const std::vector<TQRParam>& params,
                                std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) {
    const std::string path = DatabasePath();
    if (path.empty()) throw EQRError(Name() + ": no database name");
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    std::unique_ptr<sqlite3, TDbClose> db(raw);
    if (rc != SQLITE_OK) throw EQRError(FormatMessage("Cannot open file %s", path));
    sqlite3_stmt* rawStmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), static_cast<int>(sql.size()), &rawStmt, nullptr) != SQLITE_OK) {
        throw EQRError(Name() + ": " + sqlite3_errmsg(db.get()));
    }
    std::unique_ptr<sqlite3_stmt, TStmtFinalize> stmt(rawStmt);
    if (!stmt) throw EQRError(Name() + ": no SQL statement");
    // The database is opened read-only, but some statements write other files (VACUUM INTO,
    // ATTACH of a new database): only statements that SQLite itself calls read-only are run.
    if (!sqlite3_stmt_readonly(stmt.get())) throw EQRError(Name() + ": only statements that read are allowed");
    for (const TQRParam& p : params) {
        const int index = sqlite3_bind_parameter_index(stmt.get(), (":" + p.Name).c_str());
        if (index == 0) continue;
        std::visit(
            [&](const auto& v) {
                using T = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<T, std::monostate>)
                    sqlite3_bind_null(stmt.get(), index);
                else if constexpr (std::is_same_v<T, int64_t>)
                    sqlite3_bind_int64(stmt.get(), index, v);
                else if constexpr (std::is_same_v<T, double>)
                    sqlite3_bind_double(stmt.get(), index, v);
                else if constexpr (std::is_same_v<T, bool>)
                    sqlite3_bind_int(stmt.get(), index, v ? 1 : 0);
                else
                    sqlite3_bind_text(stmt.get(), index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
            },
            p.Value);
    }
    const int n = sqlite3_column_count(stmt.get());
    columns.clear();
    for (int i = 0; i < n; ++i) {
        const char* name = sqlite3_column_name(stmt.get(), i);
        columns.push_back({name ? name : "", DeclaredType(sqlite3_column_decltype(stmt.get(), i))});
    }
    for (;;) {
        const int step = sqlite3_step(stmt.get());
        if (step == SQLITE_DONE) break;
        if (step != SQLITE_ROW) throw EQRError(Name() + ": " + sqlite3_errmsg(db.get()));
        if (static_cast<int64_t>(rows.size()) >= FMaxRows)
            throw EQRError(Name() + ": the query gives more than " + std::to_string(FMaxRows) +
                           " rows (MaxRows sets the limit)");
        std::vector<TFieldValue> row(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            TFieldValue& v = row[static_cast<size_t>(i)];
            switch (sqlite3_column_type(stmt.get(), i)) {
            case SQLITE_INTEGER:
                v = static_cast<int64_t>(sqlite3_column_int64(stmt.get(), i));
                break;
            case SQLITE_FLOAT:
                v = sqlite3_column_double(stmt.get(), i);
                break;
            case SQLITE_TEXT: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), i));
                v = std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(stmt.get(), i)));
                break;
            }
            case SQLITE_BLOB: {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt.get(), i));
                v = std::string(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(stmt.get(), i)));
                break;
            }
            default:
                break;
            }
        }
        rows.push_back(std::move(row));
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        TColumn& c = columns[i];
        if (c.Type == TFieldType::ftUnknown) c.Type = InferFieldType(rows, i);
        // A Boolean column holds 0 and 1 in SQLite.
        if (c.Type == TFieldType::ftBoolean) {
            for (auto& row : rows) {
                if (auto* iv = std::get_if<int64_t>(&row[i])) row[i] = *iv != 0;
            }
        }
    }
}

const system::TPropertyList& TQRSQLiteDataSet::ClassProperties() {
    using namespace system;
    static const TPropertyList list(&TQRDataSet::ClassProperties(),
                                    {{"DatabaseName",
                                      [](TPersistent& o, const TFormValue& v, TLoadContext& ctx) {
                                          auto& d = static_cast<TQRSQLiteDataSet&>(o);
                                          d.SetDatabaseName(StringValue(v));
                                          d.SetBaseFolder(ctx.BaseFolder());
                                      },
                                      [](const TPersistent& o) -> std::optional<TFormValue> {
                                          const auto& d = static_cast<const TQRSQLiteDataSet&>(o);
                                          if (d.DatabaseName().empty()) return std::nullopt;
                                          return TFormValue::Str(d.DatabaseName());
                                      },
                                      nullptr, "String", nullptr, false, TFormValue::Str({})},
                                     {"MaxRows",
                                      [](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                          static_cast<TQRSQLiteDataSet&>(o).SetMaxRows(IntegerValue(v));
                                      },
                                      [](const TPersistent& o) -> std::optional<TFormValue> {
                                          const auto& d = static_cast<const TQRSQLiteDataSet&>(o);
                                          if (d.MaxRows() == DefaultMaxRows) return std::nullopt;
                                          return TFormValue::Int(d.MaxRows());
                                      },
                                      nullptr, "Integer", nullptr, false, TFormValue::Int(DefaultMaxRows)}});
    return list;
}

std::vector<std::string> SQLParamNames(const std::string& sql) {
    std::vector<std::string> names;
    const size_t n = sql.size();
    auto isStart = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; };
    auto isChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    for (size_t i = 0; i < n;) {
        const char c = sql[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            const char close = c == '[' ? ']' : c;
            for (++i; i < n; ++i) {
                if (sql[i] == close) {
                    if (close != ']' && i + 1 < n && sql[i + 1] == close) {
                        ++i;
                        continue;
                    }
                    break;
                }
            }
            ++i;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            while (i < n && sql[i] != '\n')
                ++i;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const size_t end = sql.find("*/", i + 2);
            i = end == std::string::npos ? n : end + 2;
        } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            i += 2;
        } else if (c == ':' && i + 1 < n && isStart(sql[i + 1])) {
            size_t j = i + 1;
            while (j < n && isChar(sql[j]))
                ++j;
            std::string name = sql.substr(i + 1, j - i - 1);
            bool seen = false;
            for (const auto& s : names)
                seen = seen || system::SameText(s, name);
            if (!seen) names.push_back(std::move(name));
            i = j;
        } else {
            ++i;
        }
    }
    return names;
}

void TQRSQLiteQuery::SetSQL(const std::vector<std::string>& lines) {
    Close();
    FSQL = lines;
    FParams = ParamsOfSQL(lines, FParams);
}

void TQRSQLiteQuery::SetParamValue(std::string_view name, TFieldValue value) {
    TQRParam* p = FindParam(name);
    if (!p) throw EQRError(this->Name() + ": Parameter '" + std::string(name) + "' not found");
    p->Value = std::move(value);
}

void TQRSQLiteQuery::ReadRecords(std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) {
    std::string text;
    for (const auto& l : FSQL)
        text += l + "\n";
    RunQuery(text, FParams, columns, rows);
}

const system::TPropertyList& TQRSQLiteQuery::ClassProperties() {
    static const system::TPropertyList list(
        &TQRSQLiteDataSet::ClassProperties(),
        {system::StringListProperty<TQRSQLiteQuery>("SQL", &TQRSQLiteQuery::SQL, &TQRSQLiteQuery::SetSQL)});
    return list;
}

void TQRSQLiteTable::SetTableName(const std::string& name) {
    if (name == FTableName) return;
    Close();
    FTableName = name;
}

void TQRSQLiteTable::ReadRecords(std::vector<TColumn>& columns, std::vector<std::vector<TFieldValue>>& rows) {
    if (FTableName.empty()) throw EQRError(Name() + ": no table name");
    // The name is quoted as an identifier, so no text of it reaches the SQL as SQL.
    std::string quoted = "\"";
    for (char c : FTableName) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    quoted += '"';
    RunQuery("SELECT * FROM " + quoted, {}, columns, rows);
}

const system::TPropertyList& TQRSQLiteTable::ClassProperties() {
    static const system::TPropertyList list(
        &TQRSQLiteDataSet::ClassProperties(),
        {system::StringProperty<TQRSQLiteTable>("TableName", &TQRSQLiteTable::TableName,
                                                &TQRSQLiteTable::SetTableName)});
    return list;
}

} // namespace pagimo::engine
