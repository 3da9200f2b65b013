#pragma once
// Data sets over SQLite databases: a query with ":name" parameters and a whole table.

#include "engine/DataSet.h"

namespace pagimo::engine {

// Shared by the query and the table: the database file, taken relative to the description's folder
// unless absolute, opened read-only while the data set is open; rows are read one at a time as the
// report asks for them. Only statements that read are run (a description cannot make the report
// write a database or a copy of one, see SQLiteGuard.h), at most MaxRows rows are read (a recursive
// query cannot grow without end) and no value longer than MaxValueSize bytes; the author raises the
// limits for larger data.
class TQRSQLiteDataSet : public TQRDataSet {
public:
    std::string DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const std::string& name);
    // The file that opens: DatabaseName resolved against the folder of the description it came from.
    std::string DatabasePath() const { return ResolvePath(FBaseFolder, FDatabaseName); }
    void SetBaseFolder(const std::string& folder) { FBaseFolder = folder; }
    static constexpr int64_t DefaultMaxRows = 10'000'000;
    int64_t MaxRows() const { return FMaxRows; }
    void SetMaxRows(int64_t value) { FMaxRows = value > 0 ? value : DefaultMaxRows; }
    int64_t MaxValueSize() const { return FMaxValueSize; }
    void SetMaxValueSize(int64_t value) { FMaxValueSize = value > 0 ? value : DefaultMaxValueSize; }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    // Prepares sql with the given parameters and returns a cursor over its rows; the database stays
    // open, read-only, as long as the cursor. Throws EQRError.
    std::unique_ptr<TRowCursor> Query(const std::string& sql, const std::vector<TQRParam>& params,
                                      std::vector<TColumn>& columns);
    // Every row at once (through the cursor).

private:
    std::string FDatabaseName;
    std::string FBaseFolder;
    int64_t FMaxRows = DefaultMaxRows;
    int64_t FMaxValueSize = DefaultMaxValueSize;
};

class TQRSQLiteQuery : public TQRSQLiteDataSet {
public:
    static const char* StaticClassName() { return "TQRSQLiteQuery"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::vector<std::string> SQL() const { return FSQL; }
    // Closes the query and rebuilds the parameter list from the ":name" markers of the text.
    void SetSQL(const std::vector<std::string>& lines);
    std::vector<TQRParam>* Params() override { return &FParams; }
    void SetParamValue(std::string_view name, TFieldValue value); // throws EQRError for an unknown name

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    std::unique_ptr<TRowCursor> OpenCursor(std::vector<TColumn>& columns) override;

private:
    std::vector<std::string> FSQL;
    std::vector<TQRParam> FParams;
};

class TQRSQLiteTable : public TQRSQLiteDataSet {
public:
    static const char* StaticClassName() { return "TQRSQLiteTable"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::string TableName() const { return FTableName; }
    void SetTableName(const std::string& name);

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    std::unique_ptr<TRowCursor> OpenCursor(std::vector<TColumn>& columns) override;

private:
    std::string FTableName;
};

// The parameter names of an SQL text, in order of first appearance, without duplicates (ignoring
// case): ":name" outside string literals, quoted identifiers and comments; "::" is no parameter.
std::vector<std::string> SQLParamNames(const std::string& sql);

} // namespace pagimo::engine
