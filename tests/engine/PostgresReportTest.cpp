// Reports over a database server: a private PostgreSQL server, a data set loaded into it, the query
// data set reading it and grouped reports over it with totals checked against SQL; servers that are
// down or refuse the login.

#include "PostgresFixture.h"
#include "QrptoolRun.h"
#include "TempDir.h"

#include "engine/SQLQuery.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

using namespace pagimo;
using namespace pagimo::engine;
using namespace pagimo::test;
namespace fs = std::filesystem;

namespace {

class Postgres : public ::testing::Test {
protected:
    void SetUp() override {
        Server = TPostgresFixture::Shared();
        if (!Server) GTEST_SKIP() << "no private PostgreSQL server: " << TPostgresFixture::Error();
        static bool loaded = false;
        if (!loaded) {
            std::string err;
            ASSERT_TRUE(Server->Sql("CREATE DATABASE sales;", nullptr, &err)) << err;
            ASSERT_TRUE(Server->Sql("CREATE TABLE orders (id serial PRIMARY KEY, region text, customer text,"
                                    " amount numeric(10, 2), placed date, vip boolean);"
                                    "INSERT INTO orders (region, customer, amount, placed, vip)"
                                    " SELECT chr(65 + i % 4), 'Customer ' || (i % 37), (i * 7 % 1000) / 4.0,"
                                    " DATE '2026-01-01' + i % 90, i % 5 = 0 FROM generate_series(1, 600) AS i;",
                                    nullptr, &err, "sales"))
                << err;
            loaded = true;
        }
    }
    std::unique_ptr<TQRSQLQuery> Query(const std::vector<std::string>& sql) {
        auto query = std::make_unique<TQRSQLQuery>();
        TQRSQLQuery& q = *query;
        q.SetName("Orders");
        q.SetHostName(TPostgresFixture::Host());
        q.SetPort(Server->Port());
        q.SetUserName(TPostgresFixture::User());
        q.SetPassword(TPostgresFixture::Password());
        q.SetDatabaseName("sales");
        q.SetSQL(sql);
        return query;
    }
    // The connection lines of a description's query on the server.
    std::string Connection(const std::string& password = TPostgresFixture::Password()) const {
        return "    Driver = 'QPSQL'\n    HostName = '127.0.0.1'\n    Port = " + std::to_string(Server->Port()) +
               "\n    UserName = 'postgres'\n" + (password.empty() ? "" : "    Password = '" + password + "'\n") +
               "    DatabaseName = 'sales'\n";
    }
    // What a write would change: the rows and the sequence behind their ids.
    std::string State() {
        std::string out, err;
        EXPECT_TRUE(Server->Sql("SELECT count(*) || ' ' || sum(amount) || ' ' || max(id) FROM orders;"
                                "SELECT last_value FROM orders_id_seq;",
                                &out, &err, "sales"))
            << err;
        return out;
    }
    TPostgresFixture* Server = nullptr;
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();
};

TEST_F(Postgres, TheQueryReadsTypedRowsWithItsParameters) {
    auto query = Query({"SELECT id, customer, amount, placed, vip FROM orders", "WHERE region = :REGION ORDER BY id"});
    TQRSQLQuery& q = *query;
    ASSERT_EQ(q.Params()->size(), 1u);
    q.Params()->front().Value = std::string("B");
    q.Open();
    EXPECT_EQ(q.RecordCount(), 150);
    EXPECT_EQ(q.FieldByName("id").DataType(), TFieldType::ftInteger);
    EXPECT_EQ(q.FieldByName("amount").DataType(), TFieldType::ftFloat);
    EXPECT_EQ(q.FieldByName("placed").DataType(), TFieldType::ftDate);
    EXPECT_EQ(q.FieldByName("vip").DataType(), TFieldType::ftBoolean);
    q.First();
    EXPECT_EQ(q.FieldByName("id").AsString(), "1");
    EXPECT_EQ(q.FieldByName("customer").AsString(), "Customer 1");
    EXPECT_EQ(std::get<double>(q.FieldByName("amount").FieldValue()), 1.75);
    EXPECT_EQ(std::get<double>(q.FieldByName("placed").FieldValue()), 46024.0) << "2026-01-02 as days since 1899-12-30";
    q.SetMaxRows(100);
    q.Close();
    try {
        // Rows come as the report walks them, so the limit stops the walk.
        q.Open();
        EXPECT_EQ(q.RecordCount(), 0) << "no count beyond the limit";
        for (q.First(); !q.Eof(); q.Next()) {
        }
        ADD_FAILURE() << "more rows than allowed were read";
    } catch (const EQRError& e) {
        EXPECT_STREQ(e.what(), "Orders: the query gives more than 100 rows (MaxRows sets the limit)");
    }
}

// A grouped report over the server: each region's total printed in its footer equals SQL's sum.
TEST_F(Postgres, AGroupedReportsTotalsAreThoseOfSql) {
    const fs::path form = Dir / "regions.form";
    std::ofstream(form) << "object Form: TForm\n"
                           "  object Orders: TQRSQLQuery\n" + Connection() +
                               "    SQL = (\n      'SELECT region, customer, amount FROM orders ORDER BY region, id')\n"
                               "    Active = True\n  end\n"
                               "  object Report: TQRReport\n    DataSet = Orders\n    Units = Native\n"
                               "    object RegionHeader: TQRGroup\n      Expression = '[Orders.region]'\n"
                               "      FooterBand = RegionFooter\n      Size.Values = (\n        60\n        1800)\n    end\n"
                               "    object Detail: TQRBand\n      BandType = rbDetail\n      Size.Values = (\n        50\n        1800)\n"
                               "      object Customer: TQRExpr\n        Expression = '[Orders.customer]'\n"
                               "        Size.Values = (\n          40\n          0\n          5\n          900)\n      end\n    end\n"
                               "    object RegionFooter: TQRBand\n      BandType = rbGroupFooter\n"
                               "      Size.Values = (\n        60\n        1800)\n"
                               "      object Caption: TQRExpr\n        Expression = #39'Total '#39' + [Orders.region]'\n"
                               "        Size.Values = (\n          40\n          0\n          5\n          600)\n      end\n"
                               "      object Total: TQRExpr\n        Expression = 'SUM([Orders.amount])'\n"
                               "        Master = Report\n        ResetAfterPrint = True\n        Mask = '0.00'\n"
                               "        Size.Values = (\n          40\n          1000\n          5\n          600)\n      end\n    end\n"
                               "  end\nend\n";
    const fs::path csv = Dir / "regions.csv";
    const TRun run = RunQrptool(Dir, "report " + form.string() + " -o " + csv.string());
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::ifstream in(csv);
    std::map<std::string, std::string> printed;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("Total ", 0) == 0) printed[line.substr(6, line.find(',') - 6)] = line.substr(line.find(',') + 1);
    }
    std::string sums, err;
    ASSERT_TRUE(Server->Sql("SELECT region || ',' || to_char(sum(amount), 'FM99999990.00') FROM orders"
                            " GROUP BY region ORDER BY region;",
                            &sums, &err, "sales"))
        << err;
    std::map<std::string, std::string> expected;
    std::istringstream lines(sums);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) expected[line.substr(0, line.find(','))] = line.substr(line.find(',') + 1);
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(printed, expected);
}

// A server that is not there, and one that refuses the login, end the run with the driver's message.
TEST_F(Postgres, ADownServerOrARefusedLoginEndsTheRunWithTheDriversMessage) {
    auto query = Query({"SELECT 1"});
    TQRSQLQuery& q = *query;
    q.SetPassword("wrong");
    try {
        q.Open();
        ADD_FAILURE() << "a wrong password was accepted";
    } catch (const EQRError& e) {
        EXPECT_NE(std::string(e.what()).find("password authentication failed"), std::string::npos) << e.what();
    }
    q.SetPassword("");
    ::setenv("PGPASSWORD", TPostgresFixture::Password(), 1);
    q.Open(); // an empty password leaves it to the driver's own sources
    // The count comes from the server on a connection of its own, made with the same sources.
    EXPECT_EQ(q.RecordCount(), 1);
    ::unsetenv("PGPASSWORD");

    const fs::path form = Dir / "down.form";
    std::string connection = Connection();
    connection.replace(connection.find(std::to_string(Server->Port())), std::to_string(Server->Port()).size(), "1");
    std::ofstream(form) << "object Form: TForm\n  object Orders: TQRSQLQuery\n" + connection +
                               "    SQL = (\n      'SELECT 1')\n    Active = True\n  end\n"
                               "  object Report: TQRReport\n    DataSet = Orders\n  end\nend\n";
    const TRun run = RunQrptool(Dir, "report " + form.string() + " -o " + (Dir / "down.qrp").string());
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Orders: "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("connect"), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(Dir / "down.qrp"));
}

// A report only reads: a statement that writes, through the server's own driver and through ODBC,
// ends with a message and changes nothing, and so does a run or a --fields listing of a description
// holding one.
TEST_F(Postgres, StatementsThatWriteAreRefusedAndChangeNothing) {
    const std::string before = State();
    const std::string odbc = "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=" + std::to_string(Server->Port()) +
                             ";Database=sales;Uid=postgres;Pwd=" + TPostgresFixture::Password();
    struct TCase {
        const char* Sql;
        const char* Said; // by the server's own driver
    };
    const TCase cases[] = {
        {"WITH d AS (DELETE FROM orders RETURNING *) SELECT count(*) FROM d",
         "Orders: only statements that read are allowed (the server says: cannot execute"},
        {"UPDATE orders SET amount = 0 RETURNING id", "cannot execute UPDATE in a read-only transaction"},
        {"INSERT INTO orders (region) VALUES ('Z') RETURNING id", "cannot execute INSERT in a read-only transaction"},
        {"SELECT nextval('orders_id_seq')", "cannot execute nextval() in a read-only transaction"},
        {"SELECT set_config('transaction_read_only', 'off', true)", "read-write mode must be set before any query"},
        {"SELECT 1; DELETE FROM orders", "the SQL must be one statement without ';'"},
    };
    for (const TCase& c : cases) {
        for (const bool viaOdbc : {false, true}) {
            SCOPED_TRACE(std::string(c.Sql) + (viaOdbc ? " (ODBC)" : ""));
            auto query = Query({c.Sql});
            if (viaOdbc) {
                query->SetDriver("QODBC");
                query->SetDatabaseName(odbc);
            }
            try {
                query->Open();
                ADD_FAILURE() << "ran";
            } catch (const EQRError& e) {
                // The ODBC driver here cannot make its connection read-only, so it is refused.
                const std::string said = std::string(c.Said).find(';') != std::string::npos || !viaOdbc
                                             ? c.Said
                                             : "the ODBC driver does not offer read-only connections";
                EXPECT_NE(std::string(e.what()).find(said), std::string::npos) << e.what();
            }
        }
    }
    for (const char* mode : {"--fields", "-o out.qrp"}) {
        const fs::path form = Dir / "delete.form";
        std::ofstream(form)
            << "object Form: TForm\n  object Orders: TQRSQLQuery\n" + Connection() +
                   "    SQL = (\n      'WITH d AS (DELETE FROM orders RETURNING *) SELECT count(*) FROM d')\n"
                   "    Active = True\n  end\n  object Report: TQRReport\n    DataSet = Orders\n  end\nend\n";
        const TRun run = RunQrptool(Dir, "report " + form.string() + " " + mode);
        EXPECT_EQ(run.Status, 1) << mode;
        EXPECT_NE(run.Err.find("Orders: only statements that read are allowed"), std::string::npos) << run.Err;
        EXPECT_FALSE(fs::exists(Dir / "out.qrp"));
    }
    EXPECT_EQ(State(), before);

    // A value beyond the data set's limit ends the read instead of taking the memory it claims.
    auto query = Query({"SELECT repeat('x', 5000) AS big"});
    query->SetMaxValueSize(4096);
    EXPECT_THROW(
        try { query->Open(); } catch (const EQRError& e) {
            EXPECT_STREQ(e.what(), "Orders: a value is larger than 4096 bytes (MaxValueSize sets the limit)");
            throw;
        },
        EQRError);
}

} // namespace
