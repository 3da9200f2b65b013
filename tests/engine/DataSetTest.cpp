#define LLVMFuzzerTestOneInput FuzzCsvOneInput
#include "fuzz/csv.cpp"
#undef LLVMFuzzerTestOneInput

#include "FuzzReplay.h"
#include "TempDir.h"
#include "engine/CSVTable.h"
#include "engine/FormReader.h"
#include "engine/SQLiteDataSet.h"
#include "platform/system/Errors.h"

#include "engine/SQLQuery.h"

#include <QCoreApplication>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <unistd.h>

using namespace pagimo;
using namespace pagimo::engine;
namespace fs = std::filesystem;

namespace {

using pagimo::test::TTempDir;

void Exec(const fs::path& db, const std::string& sql) {
    sqlite3* h = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
    char* err = nullptr;
    const int rc = sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err);
    const std::string message = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(h);
    ASSERT_EQ(rc, SQLITE_OK) << message;
}

class DataSets : public ::testing::Test {
protected:
    TTempDir Dir;
    fs::path Db = Dir.Path() / "sales.sqlite";
    void SetUp() override {
        Exec(Db, "CREATE TABLE customers (id INTEGER, name TEXT, region TEXT, amount REAL, vip BOOLEAN, note);"
                 "INSERT INTO customers VALUES (1, 'Nov\xC3\xA1k', 'A', 10.5, 1, NULL),"
                 " (2, 'Dvo\xC5\x99\xC3\xA1k', 'A', 20, 0, 'x'), (3, 'Svoboda', 'B', 7.25, 0, 3);");
    }
};

std::vector<std::string> Names(TQRDataSet& d) {
    std::vector<std::string> out;
    for (d.First(); !d.Eof(); d.Next())
        out.push_back(d.FieldByName("name").AsString());
    return out;
}

TEST_F(DataSets, TableReadsEveryRecordWithDeclaredTypes) {
    TQRSQLiteTable t;
    t.SetDatabaseName(Db.string());
    t.SetTableName("customers");
    t.Open();
    EXPECT_EQ(t.RecordCount(), 3);
    EXPECT_EQ(t.FieldByName("ID").DataType(), TFieldType::ftInteger);
    EXPECT_EQ(t.FieldByName("amount").DataType(), TFieldType::ftFloat);
    EXPECT_EQ(t.FieldByName("vip").DataType(), TFieldType::ftBoolean);
    EXPECT_EQ(t.FieldByName("vip").FieldValue(), TFieldValue(true));
    EXPECT_EQ(t.FieldByName("note").DataType(), TFieldType::ftString) << "mixed values make a string column";
    EXPECT_TRUE(t.FieldByName("note").IsNull());
    EXPECT_EQ(Names(t), (std::vector<std::string>{"Nov\xC3\xA1k", "Dvo\xC5\x99\xC3\xA1k", "Svoboda"}));
}

TEST_F(DataSets, PriorStepsBackFromTheEndOfData) {
    TQRSQLiteTable t;
    t.SetDatabaseName(Db.string());
    t.SetTableName("customers");
    t.Open();
    t.Next();
    t.Next();
    t.Next();
    ASSERT_TRUE(t.Eof());
    t.Prior();
    EXPECT_FALSE(t.Eof());
    EXPECT_EQ(t.FieldByName("id").AsString(), "3") << "end of data leaves the cursor on the last record";
    t.Prior();
    EXPECT_EQ(t.FieldByName("id").AsString(), "2");
    t.Next();
    EXPECT_EQ(t.FieldByName("id").AsString(), "3");
    t.Next();
    EXPECT_TRUE(t.Eof());
}

// Rows come one at a time: one step back is kept (a group change prints its footer with the record
// before), First runs the query again and so sees what changed in the database, and the count
// comes from the database.
TEST_F(DataSets, QueryStreamsRowsForwardWithOneStepBack) {
    TQRSQLiteQuery q;
    q.SetName("Query1");
    q.SetDatabaseName(Db.string());
    q.SetSQL({"SELECT id, CASE WHEN id > 1 THEN amount * 2 END AS twice FROM customers ORDER BY id"});
    q.Open();
    EXPECT_EQ(q.RecordCount(), 3);
    EXPECT_EQ(q.FieldByName("twice").DataType(), TFieldType::ftFloat) << "typed from the rows read ahead";
    EXPECT_TRUE(q.FieldByName("twice").IsNull());
    q.Next();
    q.Next();
    EXPECT_EQ(q.FieldByName("id").AsString(), "3");
    q.Prior();
    EXPECT_EQ(q.FieldByName("id").AsString(), "2");
    EXPECT_EQ(std::get<double>(q.FieldByName("twice").FieldValue()), 40.0);
    q.Prior();
    EXPECT_TRUE(q.Bof()) << "only one record back is kept";
    q.Next();
    EXPECT_EQ(q.FieldByName("id").AsString(), "3");
    q.Next();
    EXPECT_TRUE(q.Eof());
    q.Next();
    EXPECT_TRUE(q.Eof()) << "a finished statement is not started over by stepping on";

    Exec(Db, "INSERT INTO customers VALUES (4, 'Nov\xC3\xBD', 'B', 1, 0, NULL);");
    q.First();
    EXPECT_EQ(q.FieldByName("id").AsString(), "1");
    int rows = 0;
    for (; !q.Eof(); q.Next())
        ++rows;
    EXPECT_EQ(rows, 4) << "First reads the database again";
    q.First();
    q.First();
    EXPECT_EQ(q.FieldByName("id").AsString(), "1");
    q.SetSQL({"SELECT id FROM customers WHERE id > 100"});
    q.Open();
    EXPECT_TRUE(q.Eof());
    EXPECT_EQ(q.RecordCount(), 0);
    q.Next();
    q.Prior();
    q.First();
    EXPECT_TRUE(q.Eof());
    EXPECT_TRUE(q.FieldByName("id").IsNull());
}

TEST_F(DataSets, QueryBindsNamedParameters) {
    TQRSQLiteQuery q;
    q.SetName("Query1");
    q.SetDatabaseName(Db.string());
    q.SetSQL({"SELECT name FROM customers", "WHERE region = :Region AND amount > :min -- not :this", "ORDER BY id"});
    ASSERT_EQ(q.Params()->size(), 2u);
    EXPECT_EQ((*q.Params())[0].Name, "Region");
    q.SetParamValue("region", std::string("A"));
    q.SetParamValue("MIN", int64_t{15});
    q.Open();
    EXPECT_EQ(Names(q), (std::vector<std::string>{"Dvo\xC5\x99\xC3\xA1k"}));
    EXPECT_THROW(q.SetParamValue("nope", int64_t{1}), EQRError);
}

TEST_F(DataSets, TableNameIsQuotedNotSpliced) {
    TQRSQLiteTable t;
    t.SetName("T");
    t.SetDatabaseName(Db.string());
    t.SetTableName("customers; DROP TABLE customers");
    try {
        t.Open();
        FAIL();
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "T: no such table: customers; DROP TABLE customers");
    }
}

TEST_F(DataSets, MissingDatabaseAndBadSqlNameTheProblem) {
    TQRSQLiteQuery q;
    q.SetName("Query1");
    q.SetDatabaseName((Dir.Path() / "none.sqlite").string());
    q.SetSQL({"SELECT 1"});
    try {
        q.Open();
        FAIL();
    } catch (const EQRError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + (Dir.Path() / "none.sqlite").string());
    }
    EXPECT_FALSE(fs::exists(Dir.Path() / "none.sqlite")) << "opening read-only creates nothing";
    q.SetDatabaseName(Db.string());
    q.SetSQL({"SELEC name FROM customers"});
    try {
        q.Open();
        FAIL();
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Query1: near \"SELEC\": syntax error");
    }
    EXPECT_FALSE(q.Active());
}

// A description may only read, through the SQLite classes and through the server query's SQLite
// driver alike: a statement that writes (the temporary database, a copy of the database, another
// database), sets a pragma or loads an extension is refused before it runs, a value beyond the
// limit ends the read, and the file stays as it was.
TEST_F(DataSets, QueriesOnlyReadAndStopAtTheLimits) {
    Exec(Db, "CREATE TABLE blobs (b BLOB); INSERT INTO blobs VALUES (zeroblob(300000));");
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "test_engine";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // the SQL drivers need it; lives as long as the tests
    }
    const auto bytes = [&] {
        std::ifstream in(Db, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytes();
    const fs::path copy = Dir.Path() / "copy.sqlite";
    const std::string refused = "Query1: only statements that read are allowed";
    struct TCase {
        std::string Sql, Said, Options;
    };
    const TCase cases[] = {
        {"VACUUM INTO '" + copy.string() + "'", refused, ""},
        {"DELETE FROM customers", refused, ""},
        {"UPDATE customers SET amount = 0", refused, ""},
        {"INSERT INTO customers (id) VALUES (9)", refused, ""},
        {"WITH c AS (SELECT 1) DELETE FROM customers", refused, ""},
        {"ATTACH DATABASE '" + copy.string() + "' AS other", refused, ""},
        {"CREATE TEMP TABLE t (x)", refused, ""},
        {"PRAGMA user_version = 7", refused, ""},
        {"SELECT load_extension('" + copy.string() + "')", refused, ""},
        {"SELECT zeroblob(1000000000)", "Query1: a value is larger than 100000 bytes (MaxValueSize sets the limit)",
         ""},
        {"SELECT b FROM blobs", "Query1: a value is larger than 100000 bytes (MaxValueSize sets the limit)", ""},
        // The read-only option is read exactly: a longer name is no such option.
        {"DELETE FROM customers",
         "Query1: the connect option 'QSQLITE_OPEN_READONLY_PLEASE' is not allowed (a report opens SQLite files "
         "read-only)",
         "QSQLITE_OPEN_READONLY_PLEASE"},
        {"DELETE FROM customers", "Query1: the connect option 'QSQLITE_ENABLE_LOAD_EXTENSION' is not allowed",
         "QSQLITE_BUSY_TIMEOUT=10;QSQLITE_ENABLE_LOAD_EXTENSION"},
    };
    for (const TCase& c : cases) {
        for (const bool server : {false, true}) {
            if (!server && !c.Options.empty()) continue;
            SCOPED_TRACE(c.Sql + (server ? " (QSQLITE)" : ""));
            std::unique_ptr<TQRDataSet> set;
            if (server) {
                auto q = std::make_unique<TQRSQLQuery>();
                q->SetDriver("QSQLITE");
                q->SetDatabaseName(Db.string());
                q->SetConnectOptions(c.Options);
                q->SetSQL({c.Sql});
                q->SetMaxValueSize(100000);
                set = std::move(q);
            } else {
                auto q = std::make_unique<TQRSQLiteQuery>();
                q->SetDatabaseName(Db.string());
                q->SetSQL({c.Sql});
                q->SetMaxValueSize(100000);
                set = std::move(q);
            }
            set->SetName("Query1");
            try {
                set->Open();
                ADD_FAILURE() << "ran";
            } catch (const EQRError& e) {
                EXPECT_EQ(std::string(e.what()).substr(0, c.Said.size()), c.Said);
            }
            EXPECT_FALSE(fs::exists(copy));
        }
    }
    EXPECT_EQ(bytes(), before) << "the database file is unchanged";

    TQRSQLiteQuery q;
    q.SetName("Query1");
    q.SetDatabaseName(Db.string());
    q.SetSQL({"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n"});
    q.SetMaxRows(5000);
    try {
        // Rows are read as the report walks them, so the limit stops the walk.
        q.Open();
        EXPECT_EQ(q.RecordCount(), 0) << "counting stops at the limit too";
        for (q.First(); !q.Eof(); q.Next()) {
        }
        ADD_FAILURE() << "a query without end was read";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Query1: the query gives more than 5000 rows (MaxRows sets the limit)");
    }
    q.SetSQL({"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000) SELECT i FROM n"});
    q.Open();
    int rows = 0;
    for (q.First(); !q.Eof(); q.Next())
        ++rows;
    EXPECT_EQ(rows, 5000) << "exactly MaxRows rows are allowed";
}

TEST(SQLParams, NamesOutsideLiteralsAndComments) {
    EXPECT_EQ(SQLParamNames("select ':no', \"x:no\", [a:no] from t where a = :a and b::int = :B and c = :a "
                            "/* :no */ -- :no\n and d = :d_2"),
              (std::vector<std::string>{"a", "B", "d_2"}));
    EXPECT_TRUE(SQLParamNames("select 'unterminated :x").empty());
}

struct TCSVRow {
    const char* Text;
    std::vector<std::string> Header;
    std::vector<std::vector<TFieldValue>> Rows;
    const char* Why;
};

class CSV : public ::testing::TestWithParam<TCSVRow> {};

TEST_P(CSV, Parses) {
    std::vector<std::string> header;
    std::vector<std::vector<TFieldValue>> rows;
    ParseCSV(GetParam().Text, ',', "t.csv", header, rows);
    EXPECT_EQ(header, GetParam().Header) << GetParam().Why;
    EXPECT_EQ(rows, GetParam().Rows) << GetParam().Why;
}

using V = TFieldValue;
INSTANTIATE_TEST_SUITE_P(
    DataSets, CSV,
    ::testing::Values(
        TCSVRow{"a,b\n1,x\n2,y\n", {"a", "b"}, {{V(int64_t{1}), V("x")}, {V(int64_t{2}), V("y")}}, "typed columns"},
        TCSVRow{"a\r\n1\r\n2.5\r\n", {"a"}, {{V(1.0)}, {V(2.5)}}, "CR LF; integers join a float column"},
        TCSVRow{"a\n1\nx\n", {"a"}, {{V("1")}, {V("x")}}, "one text value makes the column text, keeping the digits"},
        TCSVRow{"\xEF\xBB\xBFn,q\n\"a, \"\"b\"\"\",\"line\nbreak\"\n",
                {"n", "q"},
                {{V("a, \"b\""), V("line\nbreak")}},
                "byte-order mark, quotes, delimiter and line break inside quotes"},
        TCSVRow{"a,b\n1\n\n",
                {"a", "b"},
                {{V(int64_t{1}), V()}},
                "short records are padded with null; blank lines skipped"},
        TCSVRow{"a,b\n,\n", {"a", "b"}, {{V(), V()}}, "empty fields are null"},
        TCSVRow{"a\n01\n-7\n", {"a"}, {{V(int64_t{1})}, {V(int64_t{-7})}}, "signed integers"}));

TEST(CSVErrors, SayWhereAndWhat) {
    std::vector<std::string> h;
    std::vector<std::vector<TFieldValue>> r;
    auto message = [&](const char* text) {
        try {
            ParseCSV(text, ',', "t.csv", h, r);
        } catch (const EQRError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message("a\n\"open\n\n"), "t.csv:2: unterminated quoted field");
    EXPECT_EQ(message("a\n\"q\"x\n"), "t.csv:2: text after a quoted field");
    EXPECT_EQ(message("a\n1,2\n"), "t.csv: record 1 has 2 fields, the header 1");
    EXPECT_EQ(message(""), "t.csv:1: no header line");
    // A record longer than the data set's MaxValueSize ends the reading where it starts.
    try {
        IndexCSV("a\nshort\n\"a field far too long\"\n", ',', "t.csv", 10, {});
        ADD_FAILURE();
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "t.csv:3: a record is longer than 10 bytes (MaxValueSize sets the limit)");
    }
}

// The CSV fuzzer's saved inputs, replayed through its entry point.
TEST(CSVErrors, FuzzInputsEndInAnIndexOrAnError) {
    EXPECT_GT(test::ReplayFuzzInputs("csv", FuzzCsvOneInput), 0);
}

// Columns cost linear time: a file of many columns opens, and opens again taking its fields back.
TEST_F(DataSets, ACsvTableOfManyColumnsOpensAndReopens) {
    constexpr int columns = 100'000;
    std::string header, row;
    for (int c = 0; c < columns; ++c) {
        const std::string n = std::to_string(c);
        header.append(c ? ",c" : "c").append(n);
        row.append(c ? "," : "").append(n);
    }
    std::ofstream(Dir.Path() / "wide.csv") << header << "\n" << row << "\n" << row << "\n";
    TQRCSVTable t;
    t.SetFileName((Dir.Path() / "wide.csv").string());
    t.Open();
    TQRField& last = t.FieldByName("c99999");
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(t.FieldCount(), static_cast<size_t>(columns));
        EXPECT_EQ(t.RecordCount(), 2);
        t.Next();
        EXPECT_EQ(last.FieldValue(), TFieldValue(int64_t{99999}));
        t.Close();
        t.Open();
    }
    EXPECT_EQ(&t.FieldByName("C99999"), &last) << "the field object is kept across a reopen";
}

TEST(DataFields, FoundByNameOrQualifiedName) {
    TQRMemoryTable a, b;
    a.SetName("Orders");
    b.SetName("Customers");
    a.SetLines({"id,name", "1,order"});
    b.SetLines({"name,city", "Novak,Brno"});
    a.Open();
    b.Open();
    std::vector<TQRDataSet*> sets{&a, &b};
    ASSERT_NE(FindDataField(sets, "name"), nullptr);
    EXPECT_EQ(FindDataField(sets, "name")->AsString(), "order") << "the first data set with the field";
    EXPECT_EQ(FindDataField(sets, "customers.NAME")->AsString(), "Novak");
    EXPECT_EQ(FindDataField(sets, "city")->AsString(), "Brno");
    EXPECT_EQ(FindDataField(sets, "Orders.city"), nullptr);
    EXPECT_EQ(FindDataField(sets, "zip"), nullptr);
}

TEST_F(DataSets, DescriptionOpensRelativeToItsFolderAfterLoading) {
    system::TClassRegistry registry;
    registry.Register<TQRSQLiteQuery>();
    registry.Register<TQRCSVTable>();
    std::ofstream(Dir.Path() / "regions.csv") << "code;label\nA;Alpha\n";
    std::ofstream(Dir.Path() / "r.form") << "object Query1: TQRSQLiteQuery\n"
                                          "  Active = True\n"
                                          "  DatabaseName = 'sales.sqlite'\n"
                                          "  SQL = (\n    'select * from customers')\n"
                                          "  object Regions: TQRCSVTable\n"
                                          "    Active = True\n"
                                          "    Delimiter = ';'\n"
                                          "    FileName = 'regions.csv'\n"
                                          "  end\n"
                                          "end\n";
    auto root = ReadFormFile(Dir.Path() / "r.form", registry);
    auto& q = static_cast<TQRSQLiteQuery&>(*root);
    EXPECT_TRUE(q.Active()) << "Active written before DatabaseName still opens, after loading";
    EXPECT_EQ(q.RecordCount(), 3);
    auto* regions = static_cast<TQRCSVTable*>(root->FindComponent("Regions"));
    EXPECT_EQ(regions->FieldByName("label").AsString(), "Alpha");
}

TEST_F(DataSets, DescriptionNamingAMissingDatabaseFailsAtTheComponentsLine) {
    system::TClassRegistry registry;
    registry.Register<TQRSQLiteQuery>();
    std::ofstream(Dir.Path() / "bad.form") << "object Query1: TQRSQLiteQuery\n"
                                            "  Active = True\n"
                                            "  DatabaseName = 'missing.sqlite'\n"
                                            "  SQL = ('select 1')\n"
                                            "end\n";
    try {
        ReadFormFile(Dir.Path() / "bad.form", registry);
        FAIL();
    } catch (const EQRError& e) {
        EXPECT_EQ(std::string(e.what()),
                  (Dir.Path() / "bad.form").string() + ":1: Cannot open file " + (Dir.Path() / "missing.sqlite").string());
    }
}

} // namespace

namespace {

TEST(DataFields, SurviveAReopenSoPreparedExpressionsKeepThem) {
    TQRMemoryTable t;
    t.SetLines({"a,b", "1,2"});
    t.Open();
    TQRField* a = t.FindField("a");
    t.Close();
    EXPECT_TRUE(a->IsNull()) << "a closed data set's fields read as null";
    t.SetLines({"b,a", "3,4"});
    t.Open();
    EXPECT_EQ(t.FindField("a"), a) << "the same field object after reopening";
    EXPECT_EQ(a->AsString(), "4");
    t.SetLines({"c", "5"});
    t.Open();
    EXPECT_EQ(t.FindField("a"), nullptr);
    EXPECT_TRUE(a->IsNull()) << "a field whose column is gone reads as null";
    EXPECT_EQ(t.FieldCount(), 1u);
}

} // namespace
