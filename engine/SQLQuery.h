#pragma once
// A query on a database server through Qt's SQL drivers: PostgreSQL (QPSQL), MySQL and MariaDB
// (QMYSQL), ODBC sources (QODBC) and SQLite files (QSQLITE), with ":name" parameters taken from the
// report's functions of the same name, as the SQLite query has them.
//
// Each open connects (a connection of its own, closed again when the records are read), runs SQL
// forward-only and reads at most MaxRows rows and no value longer than MaxValueSize bytes. A report
// only reads: the SQL is one statement, run in a read-only transaction (PostgreSQL, MySQL), on a
// connection the ODBC driver reports read-only (in a transaction never committed), or on a SQLite file
// opened read-only with the guard of SQLiteGuard.h; other drivers are refused, and so is a statement
// that writes, with the run's error. An empty Password leaves it to the driver's own
// sources (PGPASSWORD, ~/.pgpass for PostgreSQL). A server that is down or refuses the login fails
// the open with the driver's message, within the connect timeout (10 seconds unless ConnectOptions
// say otherwise). Needs the Qt application object, which loads the drivers.

#include "engine/DataSet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pagimo::engine {

class TQRSQLConnection;

class TQRSQLQuery : public TQRDataSet {
public:
    static const char* StaticClassName() { return "TQRSQLQuery"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::string Driver() const { return FDriver; }
    void SetDriver(const std::string& value);
    std::string DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const std::string& value);
    std::string HostName() const { return FHostName; }
    void SetHostName(const std::string& value);
    int64_t Port() const { return FPort; }
    void SetPort(int64_t value);
    std::string UserName() const { return FUserName; }
    void SetUserName(const std::string& value);
    std::string Password() const { return FPassword; }
    void SetPassword(const std::string& value);
    std::string ConnectOptions() const { return FConnectOptions; }
    void SetConnectOptions(const std::string& value);
    int64_t MaxRows() const { return FMaxRows; }
    void SetMaxRows(int64_t value);
    int64_t MaxValueSize() const { return FMaxValueSize; }
    void SetMaxValueSize(int64_t value);

    std::vector<std::string> SQL() const { return FSQL; }
    // Closes the query and rebuilds the parameter list from the ":name" markers of the text.
    void SetSQL(const std::vector<std::string>& lines);
    std::vector<TQRParam>* Params() override { return &FParams; }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    // Rows are fetched as the report walks them, on a connection held while the data set is open.
    std::unique_ptr<TRowCursor> OpenCursor(std::vector<TColumn>& columns) override;

private:
    std::unique_ptr<TQRSQLConnection> Connect() const; // throws EQRError with the driver's message

    std::string FDriver = "QPSQL";
    std::string FDatabaseName, FHostName, FUserName, FPassword, FConnectOptions;
    int64_t FPort = 0; // 0: the driver's default
    int64_t FMaxRows = 10'000'000; // as the SQLite data sets
    int64_t FMaxValueSize = DefaultMaxValueSize;
    std::vector<std::string> FSQL;
    std::vector<TQRParam> FParams;
};

// The parameters of SQL lines: one per ":name" marker (SQLParamNames), keeping the values that
// parameters of the same name had in old.
std::vector<TQRParam> ParamsOfSQL(const std::vector<std::string>& lines, const std::vector<TQRParam>& old);

} // namespace pagimo::engine
