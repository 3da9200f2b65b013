#include "engine/SQLQuery.h"

#include "engine/SQLiteDataSet.h"
#include "platform/system/Errors.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>
#include <QVariant>

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

void TQRSQLQuery::SetSQL(const std::vector<std::string>& lines) {
    Close();
    FSQL = lines;
    FParams = ParamsOfSQL(lines, FParams);
}

// A named connection of Qt's SQL module, removed again with the object.
class TQRSQLConnection {
public:
    TQRSQLConnection(const QString& driver) : FName(QUuid::createUuid().toString()) {
        FDatabase = QSqlDatabase::addDatabase(driver, FName);
    }
    ~TQRSQLConnection() {
        FDatabase.close();
        FDatabase = QSqlDatabase();
        QSqlDatabase::removeDatabase(FName);
    }
    QSqlDatabase& Database() { return FDatabase; }

private:
    QString FName;
    QSqlDatabase FDatabase;
};

std::unique_ptr<TQRSQLConnection> TQRSQLQuery::Connect() const {
    if (!QCoreApplication::instance()) throw EQRError(Name() + ": database drivers need the application object");
    const QString driver = Q(FDriver);
    if (!QSqlDatabase::isDriverAvailable(driver))
        throw EQRError(Name() + ": no database driver " + FDriver + " is installed (" +
                       QSqlDatabase::drivers().join(QStringLiteral(", ")).toStdString() + " are)");
    auto connection = std::make_unique<TQRSQLConnection>(driver);
    QSqlDatabase& db = connection->Database();
    db.setDatabaseName(Q(FDatabaseName));
    if (!FHostName.empty()) db.setHostName(Q(FHostName));
    if (FPort > 0) db.setPort(static_cast<int>(FPort));
    if (!FUserName.empty()) db.setUserName(Q(FUserName));
    if (!FPassword.empty()) db.setPassword(Q(FPassword));
    // A server that does not answer must not hold the run: a connect timeout unless one is given.
    QString options = Q(FConnectOptions);
    if (driver == QLatin1String("QPSQL") && !options.contains(QLatin1String("connect_timeout")))
        options += (options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("connect_timeout=10");
    if (driver == QLatin1String("QMYSQL") && !options.contains(QLatin1String("MYSQL_OPT_CONNECT_TIMEOUT")))
        options += (options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("MYSQL_OPT_CONNECT_TIMEOUT=10");
    if (driver == QLatin1String("QSQLITE") && !options.contains(QLatin1String("QSQLITE_OPEN_READONLY")))
        options += (options.isEmpty() ? QString() : QStringLiteral(";")) + QStringLiteral("QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open()) throw EQRError(Name() + ": " + db.lastError().text().toStdString());
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
               std::vector<TQRParam> params, int64_t maxRows)
        : FName(std::move(name)), FConnect(std::move(connect)), FSQL(std::move(sql)), FParams(std::move(params)),
          FMaxRows(maxRows) {}
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
    std::unique_ptr<TQRSQLConnection> FConnection;
    std::optional<QSqlQuery> FQuery;
    std::vector<TFieldType> FTypes;
    int64_t FRead = 0;
    bool FDone = false;
    std::vector<std::vector<TFieldValue>> FAhead;
    size_t FNextAhead = 0;

    void Run(QSqlQuery& query, const QString& sql) {
        query.setForwardOnly(true);
        if (!query.prepare(sql)) throw EQRError(FName + ": " + query.lastError().text().toStdString());
        for (const TQRParam& p : FParams)
            query.bindValue(QLatin1Char(':') + Q(p.Name), BindValue(p.Value));
        if (!query.exec()) throw EQRError(FName + ": " + query.lastError().text().toStdString());
    }

    bool Step(std::vector<TFieldValue>& row) {
        if (FDone) return false;
        if (!FQuery->next()) {
            FDone = true;
            if (FQuery->lastError().isValid()) throw EQRError(FName + ": " + FQuery->lastError().text().toStdString());
            return false;
        }
        if (FRead >= FMaxRows)
            throw EQRError(FName + ": the query gives more than " + std::to_string(FMaxRows) +
                           " rows (MaxRows sets the limit)");
        ++FRead;
        row.assign(FTypes.size(), TFieldValue{});
        for (size_t i = 0; i < FTypes.size(); ++i)
            row[i] = ValueOf(FQuery->value(static_cast<int>(i)), FTypes[i]);
        return true;
    }
};

} // namespace

std::unique_ptr<TQRDataSet::TRowCursor> TQRSQLQuery::OpenCursor(std::vector<TColumn>& columns) {
    auto cursor = std::make_unique<TSQLCursor>(
        Name(), [this] { return Connect(); }, Q(JoinLines(FSQL)), FParams, FMaxRows);
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
         StringProperty<Q>("HostName", &Q::HostName, &Q::SetHostName),
         integer("Port", &Q::Port, &Q::SetPort, 0),
         StringProperty<Q>("UserName", &Q::UserName, &Q::SetUserName),
         StringProperty<Q>("Password", &Q::Password, &Q::SetPassword),
         StringProperty<Q>("ConnectOptions", &Q::ConnectOptions, &Q::SetConnectOptions),
         integer("MaxRows", &Q::MaxRows, &Q::SetMaxRows, TQRSQLiteDataSet::DefaultMaxRows),
         StringListProperty<Q>("SQL", &Q::SQL, &Q::SetSQL)});
    return list;
}

} // namespace pagimo::engine
