// Pagination as tables: a short list of bands (type, height, break flags) printed one after
// another through a generation run's PrintBand, without a controller or data, on a page of 1000
// tenths of a millimetre with 100 margins; out come each printed band's page, column and top. The
// whole-run tests of ReportTest.cpp cover the same machinery driven by the controllers.

#include "ReportBuilder.h"

#include "engine/Generation.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace pagimo;
using namespace pagimo::engine;
using controls::TQRUnit;

namespace {

enum TBandFlag : uint32_t {
    bfNone = 0,
    bfForceNewPage = 1,
    bfForceNewColumn = 2,
    bfAlignToBottom = 4,
    bfDisabled = 8,
    bfChild = 16, // gets a 50-high child band named <name>C
};

struct TBandRow {
    const char* Name;
    TQRBandType Type;
    int Height;
    uint32_t Flags = bfNone;
    const char* LinkBand = nullptr;
};

struct TPaginationCase {
    const char* Reason;
    std::vector<TBandRow> Bands;
    const char* Prints;   // band names in print order
    const char* Expected; // name@page/column:top of every printed band, in print order
    int Columns = 1;
    uint32_t Options = OptionBit(FirstPageHeader) | OptionBit(LastPageFooter);
};

std::ostream& operator<<(std::ostream& out, const TPaginationCase& c) {
    return out << c.Reason;
}

class Pagination : public ::testing::TestWithParam<TPaginationCase> {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    TQRTraceTarget Target;
    std::map<std::string, TQRCustomBand*> Bands;
    std::ostringstream Log;

    void SetUp() override {
        R->SetUnits(TQRUnit::Native);
        R->Page()->SetPaperSize(TQRPaperSize::Custom);
        R->Page()->SetStoredValues({100, 1000, 100, 2100, 100, 100, 0});
        R->SetPrintTarget(&Target);
    }

    void Trace(TQRCustomBand* b) {
        b->AfterPrint = [this](TQRCustomBand& s, bool printed) {
            if (printed)
                Log << s.Name() << "@" << R->PageCount() << "/" << R->CurrentColumn() << ":" << s.BandOutline().Top
                    << " ";
        };
    }

    void Build(const TPaginationCase& c) {
        R->Page()->SetColumns(c.Columns);
        R->SetOptions(c.Options);
        for (const TBandRow& row : c.Bands) {
            TQRCustomBand* b = test::AddBand(*R, row.Name, row.Type, row.Height);
            b->SetForceNewPage(row.Flags & bfForceNewPage);
            b->SetForceNewColumn(row.Flags & bfForceNewColumn);
            b->SetAlignToBottom(row.Flags & bfAlignToBottom);
            b->SetEnabled(!(row.Flags & bfDisabled));
            if (row.Flags & bfChild) {
                b->SetHasChild(true);
                TQRCustomBand* child = b->GetChildBand();
                child->SetName(std::string(row.Name) + "C");
                child->Size()->SetUnits(TQRUnit::Native);
                child->Size()->SetHeight(50);
                Trace(child);
                Bands[child->Name()] = child;
            }
            Trace(b);
            Bands[row.Name] = b;
        }
        for (const TBandRow& row : c.Bands) {
            if (row.LinkBand) Bands.at(row.Name)->SetLinkBand(Bands.at(row.LinkBand));
        }
    }

    std::string Printed() {
        std::string s = Log.str();
        if (!s.empty()) s.pop_back();
        return s;
    }
};

TEST_P(Pagination, PlacesBandsOnPagesAndColumns) {
    const TPaginationCase& c = GetParam();
    Build(c);
    {
        TQRGeneration run(*R, Target);
        run.Begin();
        std::istringstream names(c.Prints);
        for (std::string name; names >> name;)
            run.PrintBand(Bands.at(name));
        run.Finish();
    }
    EXPECT_EQ(Printed(), c.Expected);
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsFinished);
    EXPECT_TRUE(R->Available());
}

// Page: 100 top and bottom margin, 1000 long: bands from 100, 800 printable above the bottom margin.
INSTANTIATE_TEST_SUITE_P(
    Table, Pagination,
    ::testing::Values(
        TPaginationCase{"bands stack from the top margin; the first that does not fit opens a page",
                        {{"D", rbDetail, 300}},
                        "D D D",
                        "D@1/1:100 D@1/1:400 D@2/1:100"},
        TPaginationCase{"a band that fills the page exactly stays on it",
                        {{"D", rbDetail, 400}},
                        "D D D",
                        "D@1/1:100 D@1/1:500 D@2/1:100"},
        TPaginationCase{"the page footer's height is kept free and the footer closes every page",
                        {{"D", rbDetail, 300}, {"PF", rbPageFooter, 100}},
                        "D D D",
                        "D@1/1:100 D@1/1:400 PF@1/1:800 D@2/1:100 PF@2/1:800"},
        TPaginationCase{"without LastPageFooter the last page closes without its footer",
                        {{"D", rbDetail, 300}, {"PF", rbPageFooter, 100}},
                        "D D D",
                        "D@1/1:100 D@1/1:400 PF@1/1:800 D@2/1:100",
                        1,
                        OptionBit(FirstPageHeader)},
        TPaginationCase{"a page footer's child prints below it and counts in the footer area",
                        {{"D", rbDetail, 300}, {"PF", rbPageFooter, 100, bfChild}},
                        "D D D",
                        "D@1/1:100 D@1/1:400 PF@1/1:750 PFC@1/1:850 D@2/1:100 PF@2/1:750 PFC@2/1:850"},
        TPaginationCase{"the page header tops every page, page 1 included with FirstPageHeader",
                        {{"PH", rbPageHeader, 100}, {"D", rbDetail, 400}},
                        "D D",
                        "PH@1/1:100 D@1/1:200 PH@2/1:100 D@2/1:200"},
        TPaginationCase{"without FirstPageHeader page 1 has no page header, later pages do",
                        {{"PH", rbPageHeader, 100}, {"D", rbDetail, 500}},
                        "D D",
                        "D@1/1:100 PH@2/1:100 D@2/1:200",
                        1,
                        OptionBit(LastPageFooter)},
        TPaginationCase{"a band taller than the printable height prints where it stands",
                        {{"D", rbDetail, 100}, {"Big", rbDetail, 900}},
                        "D Big",
                        "D@1/1:100 Big@1/1:200"},
        TPaginationCase{"the page footer prints in its area, also over a band that ran into it",
                        {{"D", rbDetail, 700}, {"PF", rbPageFooter, 300}},
                        "D",
                        "D@1/1:100 PF@1/1:600"},
        TPaginationCase{"a zero-height band is placed but does not move the next one",
                        {{"Z", rbTitle, 0}, {"D", rbDetail, 100}},
                        "Z D",
                        "Z@1/1:100 D@1/1:100"},
        TPaginationCase{"a disabled band neither prints nor takes room",
                        {{"X", rbDetail, 300, bfDisabled}, {"D", rbDetail, 300}},
                        "D X D",
                        "D@1/1:100 D@1/1:400"},
        TPaginationCase{"a forced page break on the first band makes no empty page, later ones break",
                        {{"D", rbDetail, 100, bfForceNewPage}},
                        "D D",
                        "D@1/1:100 D@2/1:100"},
        TPaginationCase{"a title never takes a forced page break",
                        {{"D", rbDetail, 100}, {"T", rbTitle, 100, bfForceNewPage}},
                        "D T",
                        "D@1/1:100 T@1/1:200"},
        TPaginationCase{"a band and its linked band must fit together",
                        {{"D", rbDetail, 300}, {"E", rbDetail, 300, bfNone, "L"}, {"L", rbGroupFooter, 300}},
                        "D E L",
                        "D@1/1:100 E@2/1:100 L@2/1:400"},
        TPaginationCase{"a bottom-aligned summary sits just above the page-footer area",
                        {{"D", rbDetail, 100}, {"S", rbSummary, 200, bfAlignToBottom}, {"PF", rbPageFooter, 100}},
                        "D S",
                        "D@1/1:100 S@1/1:600 PF@1/1:800"},
        TPaginationCase{"without LastPageFooter an aligned summary takes the footer area",
                        {{"D", rbDetail, 100}, {"S", rbSummary, 200, bfAlignToBottom}, {"PF", rbPageFooter, 100}},
                        "D S",
                        "D@1/1:100 S@1/1:700",
                        1,
                        OptionBit(FirstPageHeader)},
        TPaginationCase{"a band that does not fit goes to the next column, then to the next page",
                        {{"D", rbDetail, 500}},
                        "D D D",
                        "D@1/1:100 D@1/2:100 D@2/1:100",
                        2},
        TPaginationCase{"later columns of page 1 start below the title",
                        {{"T", rbTitle, 200}, {"D", rbDetail, 400}},
                        "T D D D",
                        "T@1/1:100 D@1/1:300 D@1/2:300 D@2/1:100",
                        2},
        TPaginationCase{"the column header tops every column but the first of page 1",
                        {{"CH", rbColumnHeader, 100}, {"D", rbDetail, 500}},
                        "D D D",
                        "D@1/1:100 CH@1/2:100 D@1/2:200 CH@2/1:100 D@2/1:200",
                        2},
        TPaginationCase{"the first forced column break in column 1 is swallowed, the next one breaks",
                        {{"D", rbDetail, 100, bfForceNewColumn}},
                        "D D D D",
                        "D@1/1:100 D@1/1:200 D@1/2:100 D@2/1:100",
                        2},
        TPaginationCase{"a forced page break from column 1 of 3 goes past the other columns",
                        {{"D", rbDetail, 100}, {"P", rbDetail, 100, bfForceNewPage}},
                        "D P",
                        "D@1/1:100 P@2/1:100",
                        3}));

// A composite part starts where the previous report stopped, on a document it does not own, and
// hands on where it ended.
TEST(GenerationRun, CompositePartStartsAtTheCarriedPositionAndHandsOnWhereItEnded) {
    TQRReport report;
    report.SetUnits(TQRUnit::Native);
    report.Page()->SetPaperSize(TQRPaperSize::Custom);
    report.Page()->SetStoredValues({100, 1000, 100, 2100, 100, 100, 0});
    TQRTraceTarget target;
    TQRDocumentSettings settings;
    settings.SetPaperSize(TQRPaperSize::Custom);
    settings.PaperWidth = 2100;
    settings.PaperLength = 1000;
    target.Configure(settings);
    target.StartDocument();
    target.NewPage();
    report.SetPrintTarget(&target);
    TQRCustomBand* d = test::AddBand(report, "D", rbDetail, 300);
    std::vector<std::pair<int, int32_t>> placed;
    d->AfterPrint = [&](TQRCustomBand& b, bool) { placed.emplace_back(report.PageCount(), b.BandOutline().Top); };

    const TQRRunPosition at{600, 1, 0};
    TQRRunPosition ended;
    {
        TQRGeneration run(report, target, &at);
        EXPECT_EQ(run.CurrentY(), 600) << "the position is there before the run begins";
        run.Begin();
        EXPECT_EQ(run.CurrentColumn(), 1) << "a part always starts in column 1";
        run.PrintBand(d);
        run.PrintBand(d);
        run.Finish();
        ended = run.Position();
    }
    EXPECT_EQ(placed, (std::vector<std::pair<int, int32_t>>{{1, 600}, {2, 100}}));
    EXPECT_EQ(ended.CurrentY, 400);
    EXPECT_EQ(ended.PageCount, 2);
    EXPECT_EQ(ended.CurrentColumn, 1);
    EXPECT_EQ(target.State(), TQRTraceTarget::tsBusy) << "the composite's document stays open";
    EXPECT_EQ(target.Pages().size(), 2u);
}

// Every way out of a run restores the report: a run left without Finish (an exception on its way
// out) aborts its document, restores the units and frees the environment.
TEST(GenerationRun, LeavingARunWithoutFinishRestoresTheReport) {
    TQRReport report;
    report.SetUnits(TQRUnit::MM);
    TQRTraceTarget target;
    report.SetPrintTarget(&target);
    TQRCustomBand* d = test::AddBand(report, "D", rbDetail, 100);
    d->Size()->SetUnits(TQRUnit::MM);
    {
        TQRGeneration run(report, target);
        EXPECT_FALSE(report.Available());
        EXPECT_THROW((void)TQRGeneration(report, target), EQRError) << "one run at a time";
        run.Begin();
        EXPECT_EQ(report.Units(), TQRUnit::Native);
        EXPECT_NE(report.Environment(), nullptr);
        run.PrintBand(d);
        EXPECT_EQ(report.PageCount(), 1) << "the report forwards its run's state";
    }
    EXPECT_TRUE(report.Available());
    EXPECT_EQ(report.Units(), TQRUnit::MM);
    EXPECT_EQ(d->Size()->Units(), TQRUnit::MM);
    EXPECT_EQ(report.Environment(), nullptr);
    EXPECT_EQ(target.State(), TQRTraceTarget::tsAborted);
    EXPECT_EQ(report.PageCount(), 0) << "between runs there is no page";
    EXPECT_EQ(report.CurrentY(), -1);
}

} // namespace
