#include "engine/SQLQuery.h"

#include "engine/RunInterrupted.h"
#include "engine/SQLiteDataSet.h"
#include "engine/SQLiteGuard.h"
#include "platform/system/Errors.h"
#include "platform/system/Termination.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QUuid>
#include <QVariant>

#include <dlfcn.h>
#include <sqlite3.h>

#include <cctype>
#include <functional>
#include <memory>
#include <optional>

namespace pagimo::engine {

namespace {

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

TFieldType TypeOf(QMetaType type) {
    switch (type.id()) {
    case QMetaType::Bool:
        return TFieldType::ftBoolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return TFieldType::ftInteger;
    case QMetaType::Double:
    case QMetaType::Float:
        return TFieldType::ftFloat;
    case QMetaType::QDate:
        return TFieldType::ftDate;
    case QMetaType::QTime:
        return TFieldType::ftTime;
    case QMetaType::QDateTime:
        return TFieldType::ftDateTime;
    case QMetaType::QByteArray:
        return TFieldType::ftBlob;
    case QMetaType::QString:
        return TFieldType::ftString;
    default:
        return TFieldType::ftUnknown;
    }
}

// Days since 30 December 1899, the date values expressions take.
double Days(const QDate& date) {
    return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

TFieldValue ValueOf(const QVariant& v, TFieldType type) {
    if (v.isNull() || !v.isValid()) return std::monostate{};
    switch (type) {
    case TFieldType::ftBoolean:
        return v.toBool();
    case TFieldType::ftInteger:
        return static_cast<int64_t>(v.toLongLong());
    case TFieldType::ftFloat:
        return v.toDouble();
    case TFieldType::ftDate:
        return Days(v.toDate());
    case TFieldType::ftTime:
        return v.toTime().msecsSinceStartOfDay() / 86400000.0;
    case TFieldType::ftDateTime: {
        const QDateTime t = v.toDateTime();
        return Days(t.date()) + t.time().msecsSinceStartOfDay() / 86400000.0;
    }
    case TFieldType::ftBlob: {
        const QByteArray b = v.toByteArray();
        return std::string(b.constData(), static_cast<size_t>(b.size()));
    }
    default:
        return v.toString().toStdString();
    }
}

QVariant BindValue(const TFieldValue& value) {
    return std::visit(
        [](const auto& v) -> QVariant {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return QVariant();
            else if constexpr (std::is_same_v<T, std::string>)
                return Q(v);
            else
                return QVariant::fromValue(v);
        },
        value);
}

// A connection of the query's own for the time of one read, removed again on every way out.

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines)
        text += l + "\n";
    return text;
}

} // namespace

std::vector<TQRParam> ParamsOfSQL(const std::vector<std::string>& lines, const std::vector<TQRParam>& old) {
    std::vector<TQRParam> params;
    for (auto& name : SQLParamNames(JoinLines(lines))) {
        TQRParam p;
        p.Name = name;
        for (const TQRParam& o : old)
            if (system::SameText(o.Name, name)) p.Value = o.Value;
        params.push_back(std::move(p));
    }
    return params;
}

void TQRSQLQuery::SetDriver(const std::string& value) {
    Close();
    FDriver = value;
}
void TQRSQLQuery::SetDatabaseName(const std::string& value) {
    Close();
    FDatabaseName = value;
}
void TQRSQLQuery::SetHostName(const std::string& value) {
    Close();
    FHostName = value;
}
void TQRSQLQuery::SetPort(int64_t value) {
    Close();
    FPort = value;
}
void TQRSQLQuery::SetUserName(const std::string& value) {
    Close();
    FUserName = value;
}
void TQRSQLQuery::SetPassword(const std::string& value) {
    Close();
    FPassword = value;
}
void TQRSQLQuery::SetConnectOptions(const std::string& value) {
    Close();
    FConnectOptions = value;
}
void TQRSQLQuery::SetMaxRows(int64_t value) {
    FMaxRows = value > 0 ? value : TQRSQLiteDataSet::DefaultMaxRows;
}
void TQRSQLQuery::SetMaxValueSize(int64_t value) {
    FMaxValueSize = value > 0 ? value : DefaultMaxValueSize;
}

void TQRSQLQuery::SetSQL(const std::vector<std::string>& lines) {
    Close();
    FSQL = lines;
    FParams = ParamsOfSQL(lines, FParams);
}

// A named connection of Qt's SQL module, removed again with the object. A connection whose driver
// needs it holds an open transaction, rolled back (never committed) when the connection goes.
class TQRSQLConnection {
public:
    TQRSQLConnection(const QString& driver) : FName(QUuid::createUuid().toString()) {
        FDatabase = QSqlDatabase::addDatabase(driver, FName);
    }
    ~TQRSQLConnection() {
        if (FRollBack) FDatabase.rollback();
        FDatabase.close();
        FDatabase = QSqlDatabase();
        QSqlDatabase::removeDatabase(FName);
    }
    QSqlDatabase& Database() { return FDatabase; }
    void RollBackAtEnd() { FRollBack = true; }

private:
    QString FName;
    QSqlDatabase FDatabase;
    bool FRollBack = false;
};

namespace {

// The QSQLITE driver's connect options, read exactly as the driver reads them: the file always opens
// read-only, and options that would load extensions or open another file through a URI are refused.
QString SQLiteConnectOptions(const std::string& name, const QString& given) {
    QStringList kept;
    for (const QString& raw : given.split(QLatin1Char(';'))) {
        const QString option = raw.trimmed();
        if (option.isEmpty() || option == QLatin1String("QSQLITE_OPEN_READONLY")) continue;
        const QString key = option.section(QLatin1Char('='), 0, 0).trimmed();
        const bool allowed = key == QLatin1String("QSQLITE_BUSY_TIMEOUT") ||
                             option == QLatin1String("QSQLITE_ENABLE_SHARED_CACHE") ||
                             key == QLatin1String("QSQLITE_ENABLE_REGEXP") ||
                             option == QLatin1String("QSQLITE_NO_USE_EXTENDED_RESULT_CODES");
        if (!allowed)
            throw EQRError(name + ": the connect option '" + option.toStdString() +
                           "' is not allowed (a report opens SQLite files read-only)");
        kept.push_back(option);
    }
    kept.push_back(QStringLiteral("QSQLITE_OPEN_READONLY"));
    return kept.join(QLatin1Char(';'));
}

// The ODBC options with the driver's read-only access mode in place of any access mode given.
QString OdbcConnectOptions(const QString& given) {
    QStringList kept;
    for (const QString& raw : given.split(QLatin1Char(';'))) {
        const QString option = raw.trimmed();
        if (option.isEmpty() ||
            option.section(QLatin1Char('='), 0, 0).trimmed() == QLatin1String("SQL_ATTR_ACCESS_MODE"))
            continue;
        kept.push_back(option);
    }
    kept.push_back(QStringLiteral("SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY"));
    return kept.join(QLatin1Char(';'));
}

// The native handle a driver hands out (sqlite3*, the ODBC connection handle); null when it is of
// another kind.
void* NativeHandle(const QVariant& handle, const char* typeName) {
    if (!handle.isValid() || !handle.data() || qstrcmp(handle.typeName(), typeName) != 0) return nullptr;
    return *static_cast<void* const*>(handle.constData());
}

// Whether the ODBC driver reports its connection as read-only (SQLGetConnectAttr of the access mode,
// through the driver manager that Qt's ODBC driver has loaded).
bool OdbcConnectionReadOnly(QSqlDatabase& db) {
    // Qt names the handle's type by SQLHANDLE's own, void*.
    void* hdbc = NativeHandle(db.driver()->handle(), "void*");
    if (!hdbc) hdbc = NativeHandle(db.driver()->handle(), "SQLHANDLE");
    if (!hdbc) return false;
    void* manager = ::dlopen("libodbc.so.2", RTLD_NOW | RTLD_NOLOAD);
    if (!manager) return false;
    using TGetConnectAttr = short (*)(void*, int, void*, int, int*);
    auto get = reinterpret_cast<TGetConnectAttr>(::dlsym(manager, "SQLGetConnectAttr"));
    uint64_t mode = 0; // SQLUINTEGER; some drivers write a whole SQLULEN
    const short rc = get ? get(hdbc, 101 /* SQL_ATTR_ACCESS_MODE */, &mode, 0, nullptr) : -1;
    ::dlclose(manager);
    return (rc == 0 || rc == 1) && static_cast<uint32_t>(mode) == 1 /* SQL_MODE_READ_ONLY */;
}

void Execute(QSqlDatabase& db, const QString& sql, const std::string& name) {
    QSqlQuery q(db);
    if (!q.exec(sql)) throw EQRError(name + ": " + q.lastError().text().toStdString());
}

} // namespace

std::unique_ptr<TQRSQLConnection> TQRSQLQuery::Connect() const {
    if (!QCoreApplication::instance()) throw EQRError(Name() + ": database drivers need the application object");
    const QString driver = Q(FDriver);
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw EQRError(Name() + ": no database driver " + FDriver + " is installed (" +
                       QSqlDatabase::drivers().join(QStringLiteral(", ")).toStdString() + " are)");
    const bool postgres = driver == QLatin1String("QPSQL"), mysql = driver == QLatin1String("QMYSQL"),
               odbc = driver == QLatin1String("QODBC"), sqlite = driver == QLatin1String("QSQLITE");
    if (!postgres && !mysql && !odbc && !sqlite)
        throw EQRError(Name() + ": the driver " + FDriver +
                       " cannot be held to reading (QPSQL, QMYSQL, QODBC and QSQLITE can)");
    auto connection = std::make_unique<TQRSQLConnection>(driver);
    QSqlDatabase& db = connection->Database();
    db.setDatabaseName(Q(FDatabaseName));
    if (!FHostName.empty()) db.setHostName(Q(FHostName));
    if (FPort > 0) db.setPort(static_cast<int>(FPort));
    if (!FUserName.empty()) db.setUserName(Q(FUserName));
    if (!FPassword.empty()) db.setPassword(Q(FPassword));
    // A server that does not answer must not hold the run: a connect timeout unless one is given.
    QString options = Q(FConnectOptions);
    if (postgres && !options.contains(QLatin1String("connect_timeout")))
        options += (options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("connect_timeout=10");
    if (mysql && !options.contains(QLatin1String("MYSQL_OPT_CONNECT_TIMEOUT")))
        options += (options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=10");
    if (sqlite) options = SQLiteConnectOptions(Name(), options);
    if (odbc) options = OdbcConnectOptions(options);
    db.setConnectOptions(options);
    if (!db.open()) throw EQRError(Name() + ": " + db.lastError().text().toStdString());
    // A report only reads: every statement runs where it cannot write.
    if (postgres || mysql) {
        Execute(db, QStringLiteral("START TRANSACTION READ ONLY"), Name());
    } else if (odbc) {
        if (!OdbcConnectionReadOnly(db))
            throw EQRError(Name() + ": the ODBC driver does not offer read-only connections (a report only reads)");
        // Whatever a driver lets through is never committed.
        if (!db.transaction()) throw EQRError(Name() + ": " + db.lastError().text().toStdString());
        connection->RollBackAtEnd();
    } else {
        auto* handle = static_cast<sqlite3*>(NativeHandle(db.driver()->handle(), "sqlite3*"));
        if (!handle) throw EQRError(Name() + ": the SQLite connection cannot be held to reading");
        GuardSQLiteConnection(handle, FMaxValueSize);
    }
    return connection;
}

namespace {

// A forward-only query on a connection of its own: the driver hands rows over as they come (the
// PostgreSQL driver in single-row mode), so only the rows the report stands on are in memory.
// Columns whose type the driver does not tell take it from the first rows (read ahead until each
// has shown a value, at most ReadAhead rows).
class TSQLCursor : public TQRDataSet::TRowCursor {
public:
    static constexpr size_t ReadAhead = 1000;

    TSQLCursor(std::string name, std::function<std::unique_ptr<TQRSQLConnection>()> connect, QString sql,
               std::vector<TQRParam> params, int64_t maxRows, int64_t maxValueSize)
        : FName(std::move(name)), FConnect(std::move(connect)), FSQL(std::move(sql)), FParams(std::move(params)),
          FMaxRows(maxRows), FMaxValueSize(maxValueSize) {}
    ~TSQLCursor() override { FQuery.reset(); }

    void Start(std::vector<TQRDataSet::TColumn>& columns) {
        FConnection = FConnect();
        FQuery.emplace(FConnection->Database());
        Run(*FQuery, FSQL);
        const QSqlRecord record = FQuery->record();
        columns.clear();
        for (int i = 0; i < record.count(); ++i)
            columns.push_back({record.fieldName(i).toStdString(), TypeOf(record.field(i).metaType())});
        FTypes.clear();
        for (const auto& c : columns)
            FTypes.push_back(c.Type);
        std::vector<size_t> unknown;
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].Type == TFieldType::ftUnknown) unknown.push_back(i);
        while (!unknown.empty() && FAhead.size() < ReadAhead) {
            std::vector<TFieldValue> row;
            if (!Step(row)) break;
            FAhead.push_back(std::move(row));
            std::erase_if(unknown, [&](size_t i) { return !std::holds_alternative<std::monostate>(FAhead.back()[i]); });
        }
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i].Type == TFieldType::ftUnknown) columns[i].Type = InferFieldType(FAhead, i);
    }

    bool Fetch(std::vector<TFieldValue>& row) override {
        if (FNextAhead < FAhead.size()) {
            row = std::move(FAhead[FNextAhead++]);
            if (FNextAhead == FAhead.size()) {
                FAhead.clear();
                FAhead.shrink_to_fit();
                FNextAhead = 0;
            }
            return true;
        }
        return Step(row);
    }

    // Counted by the server on a second connection (the first is busy handing out rows), up to one
    // past MaxRows; none beyond the limit or when the statement cannot be wrapped.
    int64_t Count() override try {
        auto connection = FConnect();
        int64_t n = -1;
        {
            QSqlQuery count(connection->Database());
            count.setForwardOnly(true);
            const QString sql = QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 AS one FROM (") + FSQL +
                                QStringLiteral(") AS pagimo_rows LIMIT ") + QString::number(FMaxRows + 1) +
                                QStringLiteral(") AS pagimo_count");
            if (count.prepare(sql)) {
                for (const TQRParam& p : FParams)
                    count.bindValue(QLatin1Char(':') + Q(p.Name), BindValue(p.Value));
                if (count.exec() && count.next()) n = count.value(0).toLongLong();
            }
        }
        return n > FMaxRows ? -1 : n;
    } catch (const EQRError&) {
        return -1;
    }

private:
    std::string FName;
    std::function<std::unique_ptr<TQRSQLConnection>()> FConnect;
    QString FSQL;
    std::vector<TQRParam> FParams;
    int64_t FMaxRows;
    int64_t FMaxValueSize;
    std::unique_ptr<TQRSQLConnection> FConnection;
    std::optional<QSqlQuery> FQuery;
    std::vector<TFieldType> FTypes;
    int64_t FRead = 0;
    bool FDone = false;
    std::vector<std::vector<TFieldValue>> FAhead;
    size_t FNextAhead = 0;

    void Run(QSqlQuery& query, const QString& sql) {
        query.setForwardOnly(true);
        ForgetSQLiteDenial();
        if (!query.prepare(sql)) Fail(query.lastError());
        // A statement of the QSQLITE driver is the SQLite query's: only one that SQLite calls read-only.
        if (query.driver()->handle().typeName() == QByteArrayLiteral("sqlite3*"))
            RefuseWritingStatement(static_cast<sqlite3_stmt*>(NativeHandle(query.result()->handle(), "sqlite3_stmt*")),
                                   FName);
        for (const TQRParam& p : FParams)
            query.bindValue(QLatin1Char(':') + Q(p.Name), BindValue(p.Value));
        if (!query.exec()) Fail(query.lastError());
    }

    // A driver's error in the words of a run: a statement refused for writing, a value too large, an
    // interrupted statement, else the driver's own message.
    [[noreturn]] void Fail(const QSqlError& error) const {
        const QString code = error.nativeErrorCode();
        const QString driver = FConnection ? FConnection->Database().driverName() : QString();
        // A failed statement aborts the server's transaction: ended here, so that the prepared
        // statement can still be freed.
        if (driver == QLatin1String("QPSQL") || driver == QLatin1String("QMYSQL"))
            QSqlQuery(FConnection->Database()).exec(QStringLiteral("ROLLBACK"));
        if (driver == QLatin1String("QSQLITE")) {
            bool number = false;
            const int rc = code.toInt(&number);
            if (number && rc != SQLITE_OK) ThrowSQLiteGuardError(rc, FName, FMaxValueSize);
        }
        // read_only_sql_transaction (PostgreSQL), ER_CANT_EXECUTE_IN_READ_ONLY_TRANSACTION (MySQL).
        if ((driver == QLatin1String("QPSQL") && code == QLatin1String("25006")) ||
            (driver == QLatin1String("QMYSQL") && code == QLatin1String("1792"))) {
            // The server's first line, without its "ERROR:" and code.
            QString said = error.databaseText().section(QLatin1Char('\n'), 0, 0).trimmed();
            if (said.startsWith(QLatin1String("ERROR:"))) said = said.mid(6).trimmed();
            throw EQRError(FName + ": only statements that read are allowed (the server says: " + said.toStdString() +
                           ")");
        }
        throw EQRError(FName + ": " + error.text().toStdString());
    }

    // A value as the row holds it, refused beyond the size limit before it is copied again.
    TFieldValue Value(const QVariant& v, TFieldType type) const {
        const int id = v.metaType().id();
        const int64_t units = id == QMetaType::QString      ? static_cast<const QString*>(v.constData())->size()
                              : id == QMetaType::QByteArray ? static_cast<const QByteArray*>(v.constData())->size()
                                                            : 0;
        if (units > FMaxValueSize) throw EQRError(ValueTooLarge(FName, FMaxValueSize));
        TFieldValue value = ValueOf(v, type);
        if (const auto* text = std::get_if<std::string>(&value);
            text && static_cast<int64_t>(text->size()) > FMaxValueSize)
            throw EQRError(ValueTooLarge(FName, FMaxValueSize));
        return value;
    }

    bool Step(std::vector<TFieldValue>& row) {
        if (FDone) return false;
        if (!FQuery->next()) {
            FDone = true;
            if (FQuery->lastError().isValid()) Fail(FQuery->lastError());
            return false;
        }
        if (FRead >= FMaxRows)
            throw EQRError(FName + ": the query gives more than " + std::to_string(FMaxRows) +
                           " rows (MaxRows sets the limit)");
        ++FRead;
        row.assign(FTypes.size(), TFieldValue{});
        for (size_t i = 0; i < FTypes.size(); ++i)
            row[i] = Value(FQuery->value(static_cast<int>(i)), FTypes[i]);
        return true;
    }
};

} // namespace

// The SQL of one statement: a ';' before its end is refused, since some drivers hand the text on in
// a way that runs every statement it holds, beyond the transaction the first one runs in.
QString SingleStatement(const std::string& name, const std::string& text) {
    size_t end = text.size();
    while (end > 0 && (std::isspace(static_cast<unsigned char>(text[end - 1])) || text[end - 1] == ';'))
        --end;
    if (text.find(';') < end)
        throw EQRError(name + ": the SQL must be one statement without ';' (write a ';' in a string as chr(59))");
    return Q(text.substr(0, end));
}

std::unique_ptr<TQRDataSet::TRowCursor> TQRSQLQuery::OpenCursor(std::vector<TColumn>& columns) {
    auto cursor = std::make_unique<TSQLCursor>(
        Name(), [this] { return Connect(); }, SingleStatement(Name(), JoinLines(FSQL)), FParams, FMaxRows,
        FMaxValueSize);
    cursor->Start(columns);
    return cursor;
}

const system::TPropertyList& TQRSQLQuery::ClassProperties() {
    using namespace system;
    using Q = TQRSQLQuery;
    const auto integer = [](std::string name, int64_t (Q::*get)() const, void (Q::*set)(int64_t), int64_t def) {
        return TPropertyInfo{std::move(name),
                             [set](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                 (static_cast<Q&>(o).*set)(IntegerValue(v));
                             },
                             [get, def](const TPersistent& o) -> std::optional<TFormValue> {
                                 const int64_t value = (static_cast<const Q&>(o).*get)();
                                 if (value == def) return std::nullopt;
                                 return TFormValue::Int(value);
                             },
                             nullptr, "Integer", nullptr, false, TFormValue::Int(def)};
    };
    static const TPropertyList list(
        &TQRDataSet::ClassProperties(),
        {StringProperty<Q>("Driver", &Q::Driver, &Q::SetDriver),
         StringProperty<Q>("DatabaseName", &Q::DatabaseName, &Q::SetDatabaseName),
         StringProperty<Q>("HostName", &Q::HostName, &Q::SetHostName), integer("Port", &Q::Port, &Q::SetPort, 0),
         StringProperty<Q>("UserName", &Q::UserName, &Q::SetUserName),
         StringProperty<Q>("Password", &Q::Password, &Q::SetPassword),
         StringProperty<Q>("ConnectOptions", &Q::ConnectOptions, &Q::SetConnectOptions),
         integer("MaxRows", &Q::MaxRows, &Q::SetMaxRows, TQRSQLiteDataSet::DefaultMaxRows),
         integer("MaxValueSize", &Q::MaxValueSize, &Q::SetMaxValueSize, DefaultMaxValueSize),
         StringListProperty<Q>("SQL", &Q::SQL, &Q::SetSQL)});
    return list;
}

} // namespace pagimo::engine
