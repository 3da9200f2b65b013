// The diagnostics a run tells its report's listener: names the expressions do not know (before any
// page), the first expression error each control prints (with its page), and data sets the report
// reads that are not open.

#include "ReportBuilder.h"

#include "controls/ExprControl.h"
#include "engine/CSVTable.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pagimo;
using namespace pagimo::engine;
using controls::TQRExpr;
using controls::TQRRunDiagnostic;
using controls::TQRUnit;
using system::TComponent;

namespace {

class Diagnostics : public ::testing::Test {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    TQRTraceTarget Target;
    // "kind source page text" per diagnostic, and "start N" when page N begins, in order.
    std::vector<std::string> Log;

    void SetUp() override {
        R->SetName("R");
        R->SetUnits(TQRUnit::Native);
        R->Page()->SetPaperSize(TQRPaperSize::A4);
        R->Page()->SetStoredValues({127, 2970, 127, 2100, 127, 127, 0});
        R->SetPrintTarget(&Target);
        R->OnStartPage = [this](TCustomQRReport& r) { Log.push_back("start " + std::to_string(r.PageCount())); };
        R->OnDiagnostic = [this](TCustomQRReport& sender, const TQRRunDiagnostic& d) {
            EXPECT_EQ(&sender, R.get());
            static const char* kinds[] = {"unknown", "error", "inactive", "syntax", "cut", "undrawn"};
            Log.push_back(std::string(kinds[d.Kind]) + " " + d.Source + " " + std::to_string(d.Page) + " " + d.Text);
        };
    }

    TQRMemoryTable* Table(const std::string& name, std::vector<std::string> lines, bool open = true) {
        auto* t = TComponent::Create<TQRMemoryTable>(R.get());
        t->SetName(name);
        t->SetLines(lines);
        if (open) t->Open();
        return t;
    }

    TQRExpr* Expr(TQRCustomBand* band, const std::string& name, const std::string& expression) {
        auto* e = TComponent::Create<TQRExpr>(R.get());
        e->SetName(name);
        e->SetParentComponent(band);
        e->SetBounds(0, 0, 300, 40);
        e->SetExpression(expression);
        return e;
    }

    // The diagnostics of the log that start with prefix.
    std::vector<std::string> Only(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const std::string& l : Log)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
};

TEST_F(Diagnostics, UnknownNamesAreToldBeforeTheFirstPageOncePerNameAndRun) {
    R->SetDataSet(Table("T", {"region,value", "A,1", "B,2"}));
    auto* detail = test::AddBand(*R, "Detail", rbDetail, 50);
    // Known: a field, a qualified field, a report function, a global one; unknown: the rest, each
    // once however often it is written, with or without brackets and qualifier.
    Expr(detail, "E1", "[prize] + [T.value] + [prize] + [U.value] + [value] + Cost + PAGENUMBER");
    Expr(detail, "E2", "[region] + [T.region] + AppName");
    Expr(detail, "E3", "IF([value] > 1, [T.valeu], 0)");
    auto* group = test::AddBand<TQRGroup>(*R, "G", rbGroupHeader, 50);
    group->SetExpression("[regio]");
    R->Functions()->Set("PRICE", "[cost] * 2");
    R->Functions()->Set("GOOD", "[value] * 2");

    R->CreateReport(false);
    const std::vector<std::string> expected = {
        "unknown function PRICE 0 cost", "unknown G 0 regio",       "unknown E1 0 prize",
        "unknown E1 0 U.value",          "unknown E1 0 Cost",       "unknown E3 0 T.valeu",
    };
    EXPECT_EQ(Only("unknown"), expected);
    // All of them before page 1 begins.
    ASSERT_GE(Log.size(), expected.size() + 1);
    EXPECT_EQ(Log[expected.size()], "start 1");

    // A second run tells them again: the listener decides what it keeps.
    Log.clear();
    R->CreateReport(false);
    EXPECT_EQ(Only("unknown"), expected);
}

TEST_F(Diagnostics, PrintedErrorsAreToldOncePerControlWithThePageTheyPrintOn) {
    R->SetDataSet(Table("T", {"n", "1", "2", "3", "4", "5"}));
    // Two details a page: records 3 and 4 on page 2, record 5 on page 3.
    auto* detail = test::AddBand(*R, "Detail", rbDetail, 1300);
    Expr(detail, "Unclosed", "SUM([n]");
    Expr(detail, "Late", "IF([n] > 2, SQRT(0-[n]), [n])");
    Expr(detail, "Silent", "COPY([n], 1, 1)"); // an error without message: prints nothing
    Expr(detail, "Fine", "[n] * 2 + SUM([n])");
    auto* summary = test::AddBand(*R, "Summary", rbSummary, 50);
    Expr(summary, "Quotient", "DIV(SUM([n]), 0)");

    R->CreateReport(false);
    ASSERT_EQ(Target.Pages().size(), 3u);
    EXPECT_EQ(Only("unknown"), std::vector<std::string>{});
    // A text that does not parse is told before the pages, and not again when it prints.
    EXPECT_EQ(Only("syntax"), std::vector<std::string>{"syntax Unclosed 0 Missing )"});
    EXPECT_EQ(Only("error"), (std::vector<std::string>{
                                 "error Silent 1 an error without message (wrong arguments?)",
                                 "error Late 2 Invalid argument to SQRT function",
                                 "error Quotient 3 Division by Zero",
                             }));
}

TEST_F(Diagnostics, DataSetsThatAreNotOpenAreToldForTheReportAndItsSubDetails) {
    R->SetDataSet(Table("Closed", {"n", "1"}, false));
    test::AddBand(*R, "Detail", rbDetail, 50);
    auto* sub = test::AddBand<TQRSubDetail>(*R, "Sub", rbSubDetail, 50);
    sub->SetMaster(R.get());
    sub->SetDataSet(Table("AlsoClosed", {"x", "1"}, false));
    auto* open = test::AddBand<TQRSubDetail>(*R, "OpenSub", rbSubDetail, 50);
    open->SetMaster(R.get());
    open->SetDataSet(Table("Open", {"x", "1"}));

    R->CreateReport(false);
    EXPECT_EQ(Only("inactive"), (std::vector<std::string>{"inactive Sub 0 AlsoClosed", "inactive R 0 Closed"}));

    // Records from a handler need no open data set.
    Log.clear();
    R->OnNeedData = [](TComponent&, bool& more) { more = false; };
    R->CreateReport(false);
    EXPECT_EQ(Only("inactive"), std::vector<std::string>{"inactive Sub 0 AlsoClosed"});
}

TEST_F(Diagnostics, AWellFormedReportTellsNothingAndNobodyListeningIsNoFault) {
    R->SetDataSet(Table("T", {"region,n", "A,1", "A,2", "B,3"}));
    auto* group = test::AddBand<TQRGroup>(*R, "G", rbGroupHeader, 50);
    group->SetExpression("[region]");
    auto* detail = test::AddBand(*R, "Detail", rbDetail, 50);
    Expr(detail, "E", "[T.region] + ' ' + FORMATNUMERIC('0.00', [n] / 3) + ' ' + REPORTTITLE");
    auto* footer = test::AddBand(*R, "Footer", rbGroupFooter, 50);
    group->SetFooterBand(footer);
    Expr(footer, "Sum", "SUM([n])")->SetResetAfterPrint(true);
    R->CreateReport(false);
    EXPECT_EQ(Log, (std::vector<std::string>{"start 1"}));

    R->OnDiagnostic = nullptr;
    Expr(detail, "Bad", "[nothing] + (1");
    EXPECT_NO_THROW(R->CreateReport(false));
    EXPECT_EQ(Target.Pages().size(), 1u);
}

} // namespace
