// Pagination of the report object: where bands land, page by page, read from the band trace.

#include "ReportBuilder.h"

#include "engine/Report.h"
#include "engine/CSVTable.h"
#include "engine/TraceTarget.h"
#include "platform/gdi/Canvas.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace pagimo;
using namespace pagimo::engine;
using controls::TQRUnit;
using system::TComponent;

namespace {

// A printable control that needs `Passes` prints before it has put out all of its content.
class TPagedControl : public controls::TQRPrintable {
public:
    int Passes = 1;
    int Printed = 0;
    std::vector<int> Pages;
    void StartPrinting() override {
        TQRPrintable::StartPrinting();
        Printed = 0;
    }
    void PrintAt(int32_t ofsX, int32_t ofsY) override {
        ++Printed;
        Pages.push_back(static_cast<TCustomQRReport*>(ParentReport())->PageCount());
        SetPrintFinished(Printed % Passes == 0);
        TQRPrintable::PrintAt(ofsX, ofsY);
    }
};

class Report : public ::testing::Test {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    TQRTraceTarget Target;
    std::ostringstream Log;

    void SetUp() override {
        R->SetName("QRReport1");
        R->SetUnits(TQRUnit::Native);
        R->Page()->SetPaperSize(TQRPaperSize::A4);
        R->Page()->SetStoredValues({127, 2970, 127, 2100, 127, 127, 0});
        R->SetPrintTarget(&Target);
    }

    template <class B = TQRBand> B* Band(const std::string& name, TQRBandType type, Extended height) {
        B* b = test::AddBand<B>(*R, name, type, height);
        b->AfterPrint = [this](TQRCustomBand& s, bool printed) {
            if (printed) Log << s.Name() << "@" << R->PageCount() << ":" << s.BandOutline().Top << " ";
        };
        return b;
    }

    TQRMemoryTable* Table(const std::string& name, std::vector<std::string> lines) {
        auto* t = TComponent::Create<TQRMemoryTable>(R.get());
        t->SetName(name);
        t->SetLines(lines);
        t->Open();
        return t;
    }

    std::string Run() {
        Log.str("");
        R->CreateReport(false);
        std::string s = Log.str();
        if (!s.empty()) s.pop_back();
        return s;
    }
};

TEST_F(Report, HelpReportIsOnePageTitleDetailAndFooter) {
    Band("Title", rbTitle, 105.83L);
    Band("ColumnHeader", rbColumnHeader, 63.5L);
    Band("Detail", rbDetail, 1524);
    Band("PageFooter", rbPageFooter, 79.38L);
    EXPECT_EQ(Run(), "Title@1:127 Detail@1:233 PageFooter@1:2764");
    EXPECT_EQ(Target.Pages().size(), 1u);
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsFinished);
    EXPECT_TRUE(R->Available());
    EXPECT_EQ(R->Units(), TQRUnit::Native);
}

TEST_F(Report, PrintIfEmptyOffGivesNoPages) {
    Band("Title", rbTitle, 100);
    Band("Detail", rbDetail, 100);
    R->SetPrintIfEmpty(false);
    EXPECT_EQ(Run(), "");
    EXPECT_TRUE(Target.Pages().empty());
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsFinished);
}

TEST_F(Report, HeadersFootersAndTitleAcrossPages) {
    // 2970 - 254 margins - 100 footer leaves 2616 per page: title 500 + header 100 + 20 details of 100
    // fill page 1 up to 2600; the 21st detail goes to page 2 below the page header.
    Band("Header", rbPageHeader, 100);
    Band("Title", rbTitle, 500);
    Band("Detail", rbDetail, 100);
    Band("Footer", rbPageFooter, 100);
    std::vector<std::string> lines{"n"};
    for (int i = 0; i < 22; ++i)
        lines.push_back(std::to_string(i));
    R->SetDataSet(Table("T", lines));
    const std::string trace = Run();
    EXPECT_TRUE(trace.starts_with("Header@1:127 Title@1:227 Detail@1:727 ")) << trace;
    EXPECT_NE(trace.find("Detail@1:2627 Footer@1:2743 Header@2:127 Detail@2:227 Detail@2:327 Footer@2:2743"),
              std::string::npos)
        << trace;
    EXPECT_EQ(Target.Pages().size(), 2u);
    EXPECT_EQ(Target.Progress, 100);
}

TEST_F(Report, WithoutFirstPageHeaderPageOneHasNoHeaderButColumnsStillStartBelowTheTitle) {
    R->SetOptions(OptionBit(LastPageFooter));
    Band("Header", rbPageHeader, 100);
    Band("Title", rbTitle, 500);
    Band("Detail", rbDetail, 1500);
    R->SetDataSet(Table("T", {"n", "1", "2"}));
    EXPECT_EQ(Run(), "Title@1:127 Detail@1:627 Header@2:127 Detail@2:227");
}

TEST_F(Report, WithoutLastPageFooterAnAlignedSummarySitsOnTheBottomMargin) {
    R->SetOptions(OptionBit(FirstPageHeader));
    Band("Detail", rbDetail, 100);
    auto* summary = Band("Summary", rbSummary, 200);
    summary->SetAlignToBottom(true);
    Band("Footer", rbPageFooter, 100);
    // 2970 - 127 - 200 = 2643: the footer area is given up for the summary.
    EXPECT_EQ(Run(), "Detail@1:127 Summary@1:2643");
}

TEST_F(Report, AlignedSummaryStaysAboveTheFooterWithLastPageFooter) {
    Band("Detail", rbDetail, 100);
    Band("Summary", rbSummary, 200)->SetAlignToBottom(true);
    Band("Footer", rbPageFooter, 100);
    EXPECT_EQ(Run(), "Detail@1:127 Summary@1:2543 Footer@1:2743");
}

TEST_F(Report, TwoColumnsWithoutADetailBandSplitThePrintableWidth) {
    R->Page()->SetStoredValues({100, 2970, 100, 2100, 100, 100, 0});
    R->Page()->SetColumns(2);
    auto* sub = Band<TQRSubDetail>("Sub", rbSubDetail, 1500);
    sub->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    std::vector<int32_t> xs;
    sub->AfterPrint = [&](TQRCustomBand& b, bool) { xs.push_back(b.BandOutline().Left); };
    Run();
    EXPECT_EQ(xs, (std::vector<int32_t>{100, 1050, 100}));
    EXPECT_EQ(Target.Pages().size(), 2u);
}

TEST_F(Report, TwoColumnsAdvanceByTheDetailWidth) {
    R->Page()->SetStoredValues({100, 2970, 100, 2100, 100, 100, 100});
    R->Page()->SetColumns(2);
    auto* detail = Band("Detail", rbDetail, 1500);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    std::vector<int32_t> xs;
    detail->AfterPrint = [&](TQRCustomBand& b, bool) { xs.push_back(b.BandOutline().Left); };
    Run();
    // The detail band is laid out to the column width: (1900 - 100) / 2 = 900 tenths.
    ASSERT_EQ(xs.size(), 3u);
    EXPECT_EQ(xs[1], 100 + 100 + Rnd(detail->Size()->NativeValue(TQRBandSize::WidthIndex)));
}

TEST_F(Report, ABandTallerThanThePagePrintsWhereItStands) {
    Band("Title", rbTitle, 100);
    Band("Detail", rbDetail, 3000);
    EXPECT_EQ(Run(), "Title@1:127 Detail@1:227");
    EXPECT_EQ(Target.Pages().size(), 1u);
}

TEST_F(Report, ForcedPageBreakAfterTheTitleIsSwallowedOnce) {
    Band("Title", rbTitle, 100);
    Band("Detail", rbDetail, 100)->SetForceNewPage(true);
    R->SetDataSet(Table("T", {"n", "1", "2"}));
    EXPECT_EQ(Run(), "Title@1:127 Detail@1:227 Detail@2:127");
}

TEST_F(Report, ForcedPageBreakOnTheFirstBandMakesNoEmptyPage) {
    Band("Detail", rbDetail, 100)->SetForceNewPage(true);
    R->SetDataSet(Table("T", {"n", "1"}));
    EXPECT_EQ(Run(), "Detail@1:127");
}

TEST_F(Report, DisabledBandAndBeforePrintVeto) {
    Band("Title", rbTitle, 100)->SetEnabled(false);
    auto* detail = Band("Detail", rbDetail, 100);
    std::vector<bool> afterPrint;
    int n = 0;
    detail->BeforePrint = [&](TQRCustomBand&, bool& print) { print = (n++ % 2) == 0; };
    detail->AfterPrint = [&](TQRCustomBand& b, bool printed) {
        afterPrint.push_back(printed);
        if (printed) Log << b.Name() << "@" << R->PageCount() << ":" << b.BandOutline().Top << " ";
    };
    auto* child = TComponent::Create<TQRChildBand>(R.get());
    child->SetName("Child");
    child->SetParentComponent(R.get());
    child->SetParentBand(detail);
    child->Size()->SetUnits(TQRUnit::Native);
    child->Size()->SetHeight(50);
    child->AfterPrint = [this](TQRCustomBand& s, bool printed) {
        if (printed) Log << s.Name() << "@" << R->PageCount() << ":" << s.BandOutline().Top << " ";
    };
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    EXPECT_EQ(Run(), "Detail@1:127 Child@1:227 Child@1:277 Detail@1:327 Child@1:427");
    EXPECT_EQ(afterPrint, (std::vector<bool>{true, false, true}));
}

TEST_F(Report, PageFooterChildPrintsBelowTheFooterAndCountsInTheFooterArea) {
    Band("Detail", rbDetail, 100);
    auto* footer = Band("Footer", rbPageFooter, 100);
    footer->SetHasChild(true);
    auto* child = static_cast<TQRChildBand*>(footer->GetChildBand());
    ASSERT_NE(child, nullptr);
    child->SetName("FooterChild");
    child->Size()->SetUnits(TQRUnit::Native);
    child->Size()->SetHeight(50);
    child->AfterPrint = [this](TQRCustomBand& s, bool printed) {
        if (printed) Log << s.Name() << "@" << R->PageCount() << ":" << s.BandOutline().Top << " ";
    };
    // 2970 - 127 - 150 = 2693
    EXPECT_EQ(Run(), "Detail@1:127 Footer@1:2693 FooterChild@1:2793");
}

TEST_F(Report, ControlsThatContinueBreakTheBandOntoTheNextPage) {
    auto* detail = Band("Detail", rbDetail, 100);
    auto* control = TComponent::Create<TPagedControl>(R.get());
    control->SetParentComponent(detail);
    control->Passes = 2;
    auto* other = TComponent::Create<TPagedControl>(R.get());
    other->SetParentComponent(detail);
    detail->Frame()->SetDrawTop(true);
    detail->SetColor(0x123456);
    Run();
    EXPECT_EQ(control->Pages, (std::vector<int>{1, 2})) << "the unfinished control prints again on page 2";
    EXPECT_EQ(other->Pages, (std::vector<int>{1})) << "finished controls do not print again";
    ASSERT_EQ(Target.Pages().size(), 2u);
    auto count = [&](int page, controls::TColor c) {
        int n = 0;
        for (const auto& f : Target.Pages()[static_cast<size_t>(page)])
            n += f.Color == c;
        return n;
    };
    EXPECT_EQ(count(0, 0x123456), 1) << "background on the first page";
    EXPECT_EQ(count(1, 0x123456), 0) << "no background after the break";
    EXPECT_EQ(count(0, controls::clBlack), 1) << "frame on each page";
    EXPECT_EQ(count(1, controls::clBlack), 1);
}

TEST_F(Report, NestedGroupsRestartInnerGroupWithTheOuter) {
    auto* ga = Band<TQRGroup>("GA", rbGroupHeader, 10);
    auto* gb = Band<TQRGroup>("GB", rbGroupHeader, 10);
    ga->SetExpression("[A]");
    gb->SetExpression("[B]");
    ga->SetFooterBand(Band("FA", rbGroupFooter, 10));
    gb->SetFooterBand(Band("FB", rbGroupFooter, 10));
    Band("D", rbDetail, 10);
    R->SetDataSet(Table("T", {"A,B", "A1,B1", "A1,B2", "A2,B2"}));
    std::string trace = Run();
    std::string names;
    for (std::istringstream in(trace); in >> trace;)
        names += trace.substr(0, trace.find('@')) + " ";
    EXPECT_EQ(names, "GA GB D FB GB D FB FA GA GB D FB FA ");
}

TEST_F(Report, GroupHeaderReprintsOnNewPageOnlyWhenAsked) {
    Band("PH", rbPageHeader, 100);
    auto* g = Band<TQRGroup>("G", rbGroupHeader, 100);
    g->SetExpression("[A]");
    auto* h = Band<TQRGroup>("H", rbGroupHeader, 100);
    h->SetExpression("[B]");
    g->SetReprintOnNewPage(true);
    Band("D", rbDetail, 1000);
    R->SetDataSet(Table("T", {"A,B", "1,1", "1,1", "1,1"}));
    std::string trace = Run();
    EXPECT_EQ(trace, "PH@1:127 G@1:227 H@1:327 D@1:427 D@1:1427 PH@2:127 G@2:227 H@2:327 D@2:427")
        << "the outer group reprints and takes the inner one with it";
    g->SetReprintOnNewPage(false);
    EXPECT_EQ(Run(), "PH@1:127 G@1:227 H@1:327 D@1:427 D@1:1427 PH@2:127 D@2:227");
}

TEST_F(Report, NeedDataAnsweringTrueThreeTimesGivesThreeDetails) {
    Band("D", rbDetail, 10);
    std::vector<bool> incoming;
    R->OnNeedData = [&](TComponent&, bool& more) {
        incoming.push_back(more);
        more = incoming.size() <= 3;
    };
    EXPECT_EQ(Run(), "D@1:127 D@1:137 D@1:147");
    EXPECT_EQ(incoming, (std::vector<bool>{true, false, false, false}));
}

TEST_F(Report, NeedDataRecordsCloseTheirGroupBeforeTheNextOpens) {
    // The handler walks a table the report does not know as its data set; the group reads it.
    TQRMemoryTable* t = Table("T", {"A", "1", "1", "2"});
    auto* g = Band<TQRGroup>("G", rbGroupHeader, 10);
    g->SetExpression("[A]");
    Band("D", rbDetail, 10);
    g->SetFooterBand(Band("F", rbGroupFooter, 10));
    bool first = true;
    R->OnNeedData = [&](TComponent&, bool& more) {
        if (!first) t->Next();
        first = false;
        more = !t->Eof();
    };
    EXPECT_EQ(Run(), "G@1:127 D@1:137 D@1:147 F@1:157 G@1:167 D@1:177 F@1:187");
    // A single group and a handler with no records at all.
    t->First();
    first = true;
    t->SetLines({"A", "5"});
    t->Open();
    EXPECT_EQ(Run(), "G@1:127 D@1:137 F@1:147");
    R->OnNeedData = [](TComponent&, bool& more) { more = false; };
    EXPECT_EQ(Run(), "");
}

TEST_F(Report, EmptyDataSetRunsOnceWithoutData) {
    Band("Title", rbTitle, 10);
    Band("ColumnHeader", rbColumnHeader, 10);
    Band("D", rbDetail, 10);
    Band("S", rbSummary, 10);
    R->SetDataSet(Table("T", {"n"}));
    EXPECT_EQ(Run(), "Title@1:127 D@1:137 S@1:147");
}

TEST_F(Report, ColumnHeaderPrintsOnPageOneWithDataAndOnLaterPages) {
    Band("CH", rbColumnHeader, 100);
    Band("D", rbDetail, 2000);
    R->SetDataSet(Table("T", {"n", "1", "2"}));
    EXPECT_EQ(Run(), "CH@1:127 D@1:227 CH@2:127 D@2:227");
}

TEST_F(Report, FailedRunLeavesTheReportAvailableWithItsUnits) {
    R->SetUnits(TQRUnit::MM);
    auto* detail = Band("D", rbDetail, 10);
    detail->Size()->SetUnits(TQRUnit::MM);
    detail->BeforePrint = [](TQRCustomBand&, bool&) { throw EQRError("boom"); };
    EXPECT_THROW(R->CreateReport(false), EQRError);
    EXPECT_TRUE(R->Available());
    EXPECT_EQ(R->Units(), TQRUnit::MM);
    EXPECT_EQ(detail->Size()->Units(), TQRUnit::MM);
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsAborted) << "a failed document is aborted, not finished";
    detail->BeforePrint = nullptr;
    EXPECT_EQ(Run(), "D@1:127") << "the next run works";
}

TEST_F(Report, RunRefusedWhileGenerating) {
    auto* detail = Band("D", rbDetail, 10);
    int nested = 0;
    detail->BeforePrint = [&](TQRCustomBand&, bool&) {
        ++nested;
        R->CreateReport(false); // ignored: not Available
    };
    Run();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(Target.Documents, 1);
}

TEST_F(Report, CancelAbortsAndSkipsTheLastPage) {
    auto* d = Band("D", rbDetail, 10);
    Band("F", rbPageFooter, 10);
    d->AfterPrint = [&](TQRCustomBand&, bool) { R->Cancel(); };
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    Run();
    EXPECT_TRUE(R->Cancelled());
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsAborted);
}

TEST_F(Report, MarginsLargerThanThePaperBecomeZero) {
    R->Page()->SetStoredValues({2000, 2970, 2000, 2100, 1500, 1500, 0});
    Band("D", rbDetail, 10);
    EXPECT_EQ(Run(), "D@1:0");
}

TEST_F(Report, ZoomOutsideOneToThreeHundredIsIgnored) {
    R->SetZoom(0);
    EXPECT_EQ(R->Zoom(), 100);
    R->SetZoom(301);
    EXPECT_EQ(R->Zoom(), 100);
    R->SetZoom(300);
    EXPECT_EQ(R->Zoom(), 300);
}

TEST_F(Report, BandListOrderAndCircularLinks) {
    auto* footer = Band("F", rbPageFooter, 10);
    auto* detail = Band("D", rbDetail, 10);
    auto* title = Band("T", rbTitle, 10);
    auto* header = Band("H", rbPageHeader, 10);
    std::vector<std::string> names;
    for (auto* b : R->BandList())
        names.push_back(b->Name());
    EXPECT_EQ(names, (std::vector<std::string>{"H", "T", "D", "F"}));
    detail->SetLinkBand(title);
    title->SetLinkBand(detail);
    EXPECT_EQ(title->LinkBand(), nullptr) << "Circular linking not allowed";
    EXPECT_EQ(detail->LinkBand(), title);
    (void)footer;
    (void)header;
    R->FreeComponent(title);
    EXPECT_EQ(detail->LinkBand(), nullptr) << "removing a band clears links to it";
}

} // namespace

namespace {

TEST_F(Report, LiveConstantsFollowPagesColumnsAndTitle) {
    R->SetReportTitle("Sestava");
    R->Functions()->Set("TWICE", "PAGENUMBER * 2");
    R->Functions()->Set("HEADING", "REPORTTITLE + ' ' + [name]");
    auto* d = Band("D", rbDetail, 2000);
    R->SetDataSet(Table("T", {"name", "x", "y"}));
    std::vector<std::string> seen;
    d->BeforePrint = [&](TQRCustomBand&, bool&) {
        auto show = [](const std::optional<TFieldValue>& v) {
            if (!v) return std::string("none");
            if (auto* i = std::get_if<int64_t>(&*v)) return std::to_string(*i);
            if (auto* s = std::get_if<std::string>(&*v)) return *s;
            return std::string("?");
        };
        seen.push_back(show(R->FunctionValue("pagenumber")) + "/" + show(R->FunctionValue("TWICE")) + "/" +
                       show(R->FunctionValue("HEADING")) + "/" + show(R->FunctionValue("NOPE")));
    };
    Run();
    // The first band's own space check opens page 1 after BeforePrint, so it still sees page 0.
    EXPECT_EQ(seen, (std::vector<std::string>{"0/0/Sestava x/none", "1/2/Sestava y/none"}));
    EXPECT_FALSE(R->FunctionValue("HEADING")) << "between runs only literals are known";
    EXPECT_EQ(R->FunctionValue("REPORTTITLE"), TFieldValue(std::string("Sestava")));
}

} // namespace

namespace {

// An export filter that writes down what the run tells it.
class TListFilter : public printer::TQRExporter {
public:
    TListFilter() : TQRExporter("list") {}
    std::vector<std::string> Calls;
    bool Continuous = false;
    bool IsContinuous() override { return Continuous; }
    void StartExport(int32_t w, int32_t l, const gdi::TFont& font) override {
        Calls.push_back("start " + std::to_string(w) + "x" + std::to_string(l) + " " + font.Name);
        Started = true;
    }
    void EndExportPage() override { Calls.push_back("end page"); }
    void FinishExport() override { Calls.push_back("finish"); }
    void NewExportPage() override { Calls.push_back("new page"); }
    void ExportText(long double, long double, const gdi::TFont&, uint32_t, printer::TAlignment,
                    const std::string&) override {}
};

TEST_F(Report, ExportTellsTheFilterOfEveryPageAndLeavesNoDocument) {
    Band("D", rbDetail, 1500)->SetColor(0x123456);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    TListFilter filter;
    R->ExportTo(filter);
    // One record per page; the end-page operation also comes before page 1, when no page exists.
    EXPECT_EQ(filter.Calls, (std::vector<std::string>{"start 2100x2970 Arial", "end page", "new page", "end page",
                                                      "new page", "end page", "new page", "end page", "finish"}));
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsAborted);
    ASSERT_EQ(Target.Pages().size(), 1u) << "only page 1 is begun on the report printer";
    EXPECT_TRUE(Target.Pages()[0].empty()) << "no fills on an export pass";
    EXPECT_TRUE(R->FinalPass());
    EXPECT_FALSE(R->Exporting());
}

TEST_F(Report, ContinuousExportTreatsThePaperAsEndless) {
    Band("D", rbDetail, 1500);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    TListFilter filter;
    filter.Continuous = true;
    R->ExportTo(filter);
    EXPECT_EQ(Log.str(), "D@1:127 D@1:1627 D@1:3127 ");
}

TEST_F(Report, FirstForcedColumnBreakInColumnOneIsSwallowed) {
    R->Page()->SetColumns(2);
    auto* d = Band("D", rbDetail, 100);
    d->SetForceNewColumn(true);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    std::vector<std::pair<int, int64_t>> placed;
    d->AfterPrint = [&](TQRCustomBand&, bool) { placed.emplace_back(R->CurrentColumn(), R->CurrentY()); };
    Run();
    // Record 1 opens page 1; record 2's break is the first one seen in column 1 and is swallowed;
    // record 3 breaks into column 2.
    EXPECT_EQ(placed, (std::vector<std::pair<int, int64_t>>{{1, 227}, {1, 327}, {2, 227}}));
}

TEST_F(Report, ExpandingABandNeedsRoomOnThePage) {
    auto* d = Band("D", rbDetail, 100);
    std::vector<bool> results;
    Extended expansion = 0;
    d->BeforePrint = [&](TQRCustomBand& b, bool&) {
        bool has = false;
        results.push_back(b.ExpandBand(50, expansion, has));
    };
    d->AfterPrint = [&](TQRCustomBand& b, bool) {
        bool has = true;
        results.push_back(b.ExpandBand(10, expansion, has));
        results.push_back(b.ExpandBand(5000, expansion, has));
    };
    Run();
    EXPECT_EQ(results, (std::vector<bool>{false, true, false})) << "no page yet, then room, then too much";
}

} // namespace

namespace {

// Registers itself for record notifications when a run starts, as expression controls do.
class TListener : public controls::TQRPrintable {
public:
    int Details = 0;
    void StartPrinting() override {
        TQRPrintable::StartPrinting();
        Details = 0;
        static_cast<TCustomQRReport*>(ParentReport())->AddNotifyExpr(this);
    }
    void BandNotify(system::TComponent* sender, int operation) override {
        if (operation == 0) ++Details;
        TQRPrintable::BandNotify(sender, operation);
    }
};

TEST_F(Report, RecordListenersHearDisabledDetailsButNotVetoedOnes) {
    auto* d = Band("D", rbDetail, 10);
    auto* listener = TComponent::Create<TListener>(R.get());
    listener->SetParentComponent(d);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    Run();
    EXPECT_EQ(listener->Details, 3);
    d->SetEnabled(false);
    Run();
    EXPECT_EQ(listener->Details, 3) << "a disabled band still tells its listeners";
    d->SetEnabled(true);
    d->BeforePrint = [](TQRCustomBand&, bool& print) { print = false; };
    Run();
    EXPECT_EQ(listener->Details, 0) << "a band vetoed by BeforePrint does not";
}

TEST_F(Report, ZeroHeightBandIsPlacedButDoesNotAdvance) {
    auto* z = Band("Z", rbTitle, 0);
    z->SetColor(0x654321);
    Band("D", rbDetail, 100);
    EXPECT_EQ(Run(), "Z@1:127 D@1:127");
    for (const auto& f : Target.Pages()[0])
        EXPECT_NE(f.Color, 0x654321) << "nothing drawn";
}

TEST_F(Report, BandFlagsCreateAndDestroyBandsOfTheirType) {
    R->Bands()->Set(rbTitle, true);
    R->Bands()->Set(rbTitle, true);
    ASSERT_TRUE(R->Bands()->Has(rbTitle));
    EXPECT_EQ(R->BandOfType(rbTitle)->Name(), "TitleBand1");
    Band("TitleBand2", rbDetail, 10);
    R->Bands()->Set(rbSummary, true);
    EXPECT_EQ(R->BandOfType(rbSummary)->Name(), "SummaryBand1");
    R->Bands()->Set(rbTitle, false);
    EXPECT_FALSE(R->Bands()->Has(rbTitle));
    R->Bands()->Set(rbTitle, true);
    EXPECT_EQ(R->BandOfType(rbTitle)->Name(), "TitleBand1") << "the smallest free number";
}

TEST_F(Report, LandscapePagesMeasureSpaceAlongTheShortSide) {
    R->Page()->SetOrientation(poLandscape);
    R->Page()->SetStoredValues({100, 2100, 100, 2970, 100, 100, 0});
    auto* d = Band("D", rbDetail, 1000);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    std::vector<int> pages;
    d->AfterPrint = [&](TQRCustomBand&, bool) { pages.push_back(R->PageCount()); };
    Run();
    EXPECT_EQ(pages, (std::vector<int>{1, 2, 3})) << "1900 tenths down a landscape page hold one band, not two";
}

} // namespace

namespace {

// What a run sends before its document starts: the report's printer wishes as they are, the page's
// paper and orientation, the title and the compression option; a Custom sheet goes by its size.
TEST_F(Report, TheDocumentGetsThePrinterWishesAndThePage) {
    Band("D", rbDetail, 100);
    TQRReportPrinterSettings& wishes = *R->PrinterSettings();
    wishes.SetCopies(3);
    wishes.SetDuplex(true);
    wishes.SetOutputBin(TQRBin::Lower);
    wishes.SetFirstPage(2);
    wishes.SetLastPage(5);
    wishes.SetPrinterNumber(1);
    R->SetReportTitle("Faktury");
    R->SetOptions(R->Options() | OptionBit(Compression));
    EXPECT_EQ(Run(), "D@1:127");
    const TQRDocumentSettings& s = Target.Settings();
    EXPECT_EQ(s.Copies(), 3);
    EXPECT_TRUE(s.Duplex());
    EXPECT_EQ(s.OutputBin(), TQRBin::Lower);
    EXPECT_EQ(s.FirstPage(), 2);
    EXPECT_EQ(s.LastPage(), 5);
    EXPECT_EQ(s.PrinterNumber(), 1);
    EXPECT_EQ(s.JobTitle(), "Faktury");
    EXPECT_TRUE(s.Compressed);
    EXPECT_EQ(s.PaperSize(), TQRPaperSize::A4);
    EXPECT_EQ(s.Orientation(), poPortrait);

    R->Page()->SetPaperSize(TQRPaperSize::Custom);
    R->Page()->SetStoredValues({127, 1500.4L, 127, 1000.6L, 127, 127, 0});
    EXPECT_EQ(Run(), "D@1:127");
    EXPECT_EQ(Target.Settings().PaperSize(), TQRPaperSize::Custom);
    EXPECT_EQ(Target.Settings().PaperWidth, 1001);
    EXPECT_EQ(Target.Settings().PaperLength, 1500);
    EXPECT_EQ(Target.Settings().Copies(), 3) << "the wishes stay the report's";
}

} // namespace
