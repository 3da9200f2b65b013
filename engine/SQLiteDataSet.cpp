#include "engine/SQLiteDataSet.h"

#include "engine/SQLQuery.h"
#include "engine/SQLiteGuard.h"

#include "platform/system/Errors.h"

#include <sqlite3.h>

#include <cctype>
#include <memory>
#include <vector>

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

namespace {

// A statement stepped one row at a time. Columns without a declared type take their type from the
// first rows (read ahead until each such column has shown a value, at most ReadAhead rows).
class TSQLiteCursor : public TQRDataSet::TRowCursor {
public:
    static constexpr size_t ReadAhead = 1000;

    TSQLiteCursor(std::string name, std::string path, std::string sql, std::vector<TQRParam> params, int64_t maxRows,
                  int64_t maxValueSize)
        : FName(std::move(name)), FPath(std::move(path)), FSQL(std::move(sql)), FParams(std::move(params)),
          FMaxRows(maxRows), FMaxValueSize(maxValueSize) {}

    void Start(std::vector<TQRDataSet::TColumn>& columns) {
        FStmt = Prepare(FSQL);
        const int n = sqlite3_column_count(FStmt.get());
        FWidth = static_cast<size_t>(n);
        columns.clear();
        for (int i = 0; i < n; ++i) {
            const char* name = sqlite3_column_name(FStmt.get(), i);
            columns.push_back({name ? name : "", DeclaredType(sqlite3_column_decltype(FStmt.get(), i))});
        }
        std::vector<size_t> unknown;
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].Type == TFieldType::ftUnknown) unknown.push_back(i);
        while (!unknown.empty() && FAhead.size() < ReadAhead) {
            std::vector<TFieldValue> row(FWidth);
            if (!Step(row)) break;
            FAhead.push_back(std::move(row));
            std::erase_if(unknown, [&](size_t i) {
                return !std::holds_alternative<std::monostate>(FAhead.back()[i]);
            });
        }
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].Type == TFieldType::ftUnknown) columns[i].Type = InferFieldType(FAhead, i);
            if (columns[i].Type == TFieldType::ftBoolean) FBooleans.push_back(i);
        }
    }

    bool Fetch(std::vector<TFieldValue>& row) override {
        if (FNextAhead < FAhead.size()) {
            row = std::move(FAhead[FNextAhead++]);
            if (FNextAhead == FAhead.size()) {
                FAhead.clear();
                FAhead.shrink_to_fit();
                FNextAhead = 0;
            }
        } else if (!Step(row)) {
            return false;
        }
        // A Boolean column holds 0 and 1 in SQLite.
        for (size_t i : FBooleans)
            if (auto* iv = std::get_if<int64_t>(&row[i])) row[i] = *iv != 0;
        return true;
    }

    // Counted by the database, up to one past MaxRows (a query without end is not counted to its
    // end); beyond the limit there is no count.
    int64_t Count() override try {
        auto stmt = Prepare("SELECT COUNT(*) FROM (SELECT 1 FROM (" + FSQL + ") LIMIT " + std::to_string(FMaxRows + 1) +
                            ")");
        if (sqlite3_step(stmt.get()) != SQLITE_ROW) return -1;
        const int64_t n = sqlite3_column_int64(stmt.get(), 0);
        return n > FMaxRows ? -1 : n;
    } catch (const EQRError&) {
        return -1; // a statement that cannot be wrapped (a trailing ';') has no count
    }

private:
    std::string FName, FPath, FSQL;
    std::vector<TQRParam> FParams;
    int64_t FMaxRows;
    int64_t FMaxValueSize;
    std::unique_ptr<sqlite3, TDbClose> FDb;
    std::unique_ptr<sqlite3_stmt, TStmtFinalize> FStmt;
    size_t FWidth = 0;
    int64_t FRead = 0;
    bool FDone = false;
    std::vector<std::vector<TFieldValue>> FAhead;
    size_t FNextAhead = 0;
    std::vector<size_t> FBooleans;

    std::unique_ptr<sqlite3_stmt, TStmtFinalize> Prepare(const std::string& sql) {
        if (!FDb) {
            sqlite3* raw = nullptr;
            const int rc = sqlite3_open_v2(FPath.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
            FDb.reset(raw);
            if (rc != SQLITE_OK) throw EQRError(FormatMessage("Cannot open file %s", FPath));
            GuardSQLiteConnection(FDb.get(), FMaxValueSize);
        }
        sqlite3_stmt* rawStmt = nullptr;
        ForgetSQLiteDenial();
        if (const int rc = sqlite3_prepare_v2(FDb.get(), sql.c_str(), static_cast<int>(sql.size()), &rawStmt, nullptr);
            rc != SQLITE_OK) {
            ThrowSQLiteError(FDb.get(), rc, FName, FMaxValueSize);
        }
        std::unique_ptr<sqlite3_stmt, TStmtFinalize> stmt(rawStmt);
        if (!stmt) throw EQRError(FName + ": no SQL statement");
        // The database is opened read-only, but some statements write other files (VACUUM INTO,
        // ATTACH of a new database): only statements that SQLite itself calls read-only are run.
        RefuseWritingStatement(stmt.get(), FName);
        for (const TQRParam& p : FParams) {
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
        return stmt;
    }

    // The statement's next row; false once done (a finished statement is not stepped again, which
    // would start it over).
    bool Step(std::vector<TFieldValue>& row) {
        if (FDone) return false;
        const int step = sqlite3_step(FStmt.get());
        if (step == SQLITE_DONE) {
            FDone = true;
            return false;
        }
        if (step != SQLITE_ROW) ThrowSQLiteError(FDb.get(), step, FName, FMaxValueSize);
        if (FRead >= FMaxRows)
            throw EQRError(FName + ": the query gives more than " + std::to_string(FMaxRows) +
                           " rows (MaxRows sets the limit)");
        ++FRead;
        row.assign(FWidth, TFieldValue{});
        for (size_t i = 0; i < FWidth; ++i) {
            const int c = static_cast<int>(i);
            TFieldValue& v = row[i];
            switch (sqlite3_column_type(FStmt.get(), c)) {
            case SQLITE_INTEGER:
                v = static_cast<int64_t>(sqlite3_column_int64(FStmt.get(), c));
                break;
            case SQLITE_FLOAT:
                v = sqlite3_column_double(FStmt.get(), c);
                break;
            case SQLITE_TEXT: {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(FStmt.get(), c));
                v = std::string(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(FStmt.get(), c)));
                break;
            }
            case SQLITE_BLOB: {
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(FStmt.get(), c));
                v = std::string(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(FStmt.get(), c)));
                break;
            }
            default:
                break;
            }
        }
        return true;
    }
};

} // namespace

std::unique_ptr<TQRDataSet::TRowCursor> TQRSQLiteDataSet::Query(const std::string& sql,
                                                               const std::vector<TQRParam>& params,
                                                               std::vector<TColumn>& columns) {
    const std::string path = DatabasePath();
    if (path.empty()) throw EQRError(Name() + ": no database name");
    auto cursor = std::make_unique<TSQLiteCursor>(Name(), path, sql, params, FMaxRows, FMaxValueSize);
    cursor->Start(columns);
    return cursor;
}

const system::TPropertyList& TQRSQLiteDataSet::ClassProperties() {
    using namespace system;
    static const TPropertyList list(
        &TQRDataSet::ClassProperties(),
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
          nullptr, "Integer", nullptr, false, TFormValue::Int(DefaultMaxRows)},
         Int64Property<TQRSQLiteDataSet>("MaxValueSize", &TQRSQLiteDataSet::MaxValueSize,
                                         &TQRSQLiteDataSet::SetMaxValueSize, DefaultMaxValueSize)});
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

std::unique_ptr<TQRDataSet::TRowCursor> TQRSQLiteQuery::OpenCursor(std::vector<TColumn>& columns) {
    std::string text;
    for (const auto& l : FSQL)
        text += l + "\n";
    return Query(text, FParams, columns);
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

std::unique_ptr<TQRDataSet::TRowCursor> TQRSQLiteTable::OpenCursor(std::vector<TColumn>& columns) {
    if (FTableName.empty()) throw EQRError(Name() + ": no table name");
    // The name is quoted as an identifier, so no text of it reaches the SQL as SQL.
    std::string quoted = "\"";
    for (char c : FTableName) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    quoted += '"';
    return Query("SELECT * FROM " + quoted, {}, columns);
}

const system::TPropertyList& TQRSQLiteTable::ClassProperties() {
    static const system::TPropertyList list(
        &TQRSQLiteDataSet::ClassProperties(),
        {system::StringProperty<TQRSQLiteTable>("TableName", &TQRSQLiteTable::TableName,
                                                &TQRSQLiteTable::SetTableName)});
    return list;
}

} // namespace pagimo::engine
