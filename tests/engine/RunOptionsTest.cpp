// The options of a stand-alone run (--db, --param) and the data files of a description, as qrptool
// report and the viewer's live preview read them.

#include "engine/RunOptions.h"
#include "controls/ControlClasses.h"
#include "engine/CompositeReport.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/SQLiteDataSet.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace pagimo;
using namespace pagimo::engine;

namespace {

system::TClassRegistry Registry() {
    system::TClassRegistry r;
    RegisterReportClasses(r);
    RegisterFormHostClasses(r);
    controls::RegisterControlClasses(r);
    return r;
}

TEST(RunOptions, ParamValuesBecomeNumbersOrQuotedStrings) {
    struct TCase {
        const char* Assignment;
        const char* Name;
        const char* Expression;
    };
    const TCase cases[] = {
        {"YEAR=2026", "YEAR", "2026"}, {"RATE=0.25", "RATE", "0.25"},
        {"NEG=-3", "NEG", "-3"},       {"WHO=O'Neil", "WHO", "'O''Neil'"},
        {"EMPTY=", "EMPTY", "''"},     {"EQ=a=b", "EQ", "'a=b'"}, // the first = splits
        {"HEX=0x10", "HEX", "'0x10'"},                            // not a decimal number
        {"EXP=1e3", "EXP", "'1e3'"}, // fixed notation only, as the report language writes numbers
        {"SPACE= 1", "SPACE", "' 1'"},
    };
    for (const TCase& c : cases) {
        TReportRunOptions options;
        EXPECT_EQ(options.AddParam(c.Assignment), "") << c.Assignment;
        ASSERT_EQ(options.Functions.size(), 1u);
        EXPECT_EQ(options.Functions[0].first, c.Name);
        EXPECT_EQ(options.Functions[0].second, c.Expression) << c.Assignment;
    }
    for (const char* bad : {"YEAR", "=1", ""}) {
        TReportRunOptions options;
        EXPECT_EQ(options.AddParam(bad), std::string("--param needs NAME=VALUE: ") + bad);
        EXPECT_TRUE(options.Functions.empty());
    }
}

TEST(RunOptions, DataFilesDatabaseAndFunctionsOfADescription) {
    const auto registry = Registry();
    const std::string text =
        "object Form: TForm\n"
        "  object Orders: TQRSQLiteQuery\n    DatabaseName = 'shop.sqlite'\n  end\n"
        "  object Again: TQRSQLiteTable\n    DatabaseName = 'shop.sqlite'\n  end\n"
        "  object Rows: TQRCSVTable\n    FileName = 'data/rows.csv'\n  end\n"
        "  object Served: TQRSQLQuery\n    Driver = 'QSQLITE'\n    DatabaseName = '/srv/other.db'\n  end\n"
        "  object Memory: TQRSQLQuery\n    Driver = 'QSQLITE'\n    DatabaseName = ':memory:'\n  end\n"
        "  object Remote: TQRSQLQuery\n    Driver = 'QPSQL'\n    DatabaseName = 'sales'\n  end\n"
        "  object A: TQRReport\n  end\n"
        "  object B: TQRReport\n  end\n"
        "end\n";
    TFormReadOptions read;
    read.FileName = "/reports/shop.form";
    read.BaseFolder = "/reports";
    {
        auto root = ReadForm(text, registry, read);
        EXPECT_EQ(DescriptionDataFiles(*root),
                  (std::vector<std::string>{"/reports/shop.sqlite", "/reports/data/rows.csv", "/srv/other.db"}))
            << "each file once; server databases and in-memory ones are no files";
        EXPECT_EQ(FindCompositeReport(*root), nullptr);
    }

    TReportRunOptions options;
    options.SetDatabase("/tmp/elsewhere.sqlite");
    ASSERT_EQ(options.AddParam("YEAR=2026"), "");
    read.BeforeLoaded = [&options](system::TComponent& c) { options.ApplyToComponent(c); };
    auto root = ReadForm(text, registry, read);
    EXPECT_EQ(DescriptionDataFiles(*root),
              (std::vector<std::string>{"/tmp/elsewhere.sqlite", "/reports/data/rows.csv", "/srv/other.db"}))
        << "--db replaces the SQLite data sets' database only";
    options.ApplyFunctions(*root);
    for (const char* name : {"A", "B"}) {
        auto* report = dynamic_cast<TQRReport*>(root->FindComponent(name));
        ASSERT_NE(report, nullptr);
        EXPECT_EQ(report->Functions()->Find("YEAR"), std::optional<std::string>("2026")) << name;
    }
}

} // namespace
