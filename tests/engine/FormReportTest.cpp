// Reports read from stored descriptions and run onto the band trace.

#include "TempDir.h"
#include "TestPaths.h"
#include "controls/ControlClasses.h"
#include "engine/CompositeReport.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"
#include "printer/Messages.h"
#include "printer/QRPrinter.h"
#include "printer/ReportWindow.h"

#include <QEvent>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace pagimo;
using namespace pagimo::engine;
namespace fs = std::filesystem;

namespace {

system::TClassRegistry Registry() {
    system::TClassRegistry r;
    RegisterReportClasses(r);
    RegisterFormHostClasses(r);
    controls::RegisterControlClasses(r);
    return r;
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Band name, page and top of every printed band, in print order.
std::string Trace(TCustomQRReport& report, TQRTraceTarget& target) {
    std::ostringstream log;
    for (TQRCustomBand* b : report.BandList()) {
        b->AfterPrint = [&](TQRCustomBand& s, bool printed) {
            if (printed) log << s.Name() << "@" << report.PageCount() << ":" << s.BandOutline().Top << " ";
        };
    }
    report.SetPrintTarget(&target);
    report.CreateReport(false);
    std::string s = log.str();
    if (!s.empty()) s.pop_back();
    return s;
}

TEST(FormReport, HelpReportDescriptionGivesOnePage) {
    auto root = ReadFormFile(test::DataDir() / "help-report.form", Registry());
    TQRReport* report = FindFirstReport(*root);
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Units(), controls::TQRUnit::MM);
    EXPECT_NEAR(static_cast<double>(report->Page()->TopMargin()), 12.7, 1e-9);
    EXPECT_EQ(report->Width(), 794);
    EXPECT_EQ(report->Height(), 1123);
    ASSERT_EQ(report->BandList().size(), 4u);
    EXPECT_EQ(report->BandList()[0]->Name(), "TitleBand1") << "bands are ordered by type, not by creation";
    EXPECT_EQ(report->BandList()[0]->Width(), 698);
    EXPECT_EQ(report->BandList()[2]->Height(), 576);
    TQRTraceTarget target;
    EXPECT_EQ(Trace(*report, target), "TitleBand1@1:127 DetailBand1@1:233 PageFooterBand1@1:2764");
    EXPECT_EQ(target.Pages().size(), 1u);
    EXPECT_EQ(report->Units(), controls::TQRUnit::MM) << "units come back after the run";
}

TEST(FormReport, HelpReportWritesBackToWhatReadsTheSame) {
    auto root = ReadFormFile(test::DataDir() / "help-report.form", Registry());
    const std::string written = WriteForm(*root);
    auto again = ReadForm(written, Registry());
    EXPECT_EQ(WriteForm(*again), written);
    EXPECT_NE(written.find("    object DetailBand1: TQRBand\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Functions.DATA = (\n      '0'\n      '0'\n      '''''')"), std::string::npos) << written;
}

// Page values, band sizes, HasChild, a sub-detail's Bands, Description.Strings and event handlers,
// read from a description and laid out as they say; the composite's Reports run as one document.
class Descriptions : public ::testing::Test {
protected:
    std::unique_ptr<system::TComponent> Root = ReadFormFile(test::DataDir() / "descriptions.form", Registry());
    TQRReport* Report(const char* name) { return dynamic_cast<TQRReport*>(Root->FindComponent(name)); }
};

TEST_F(Descriptions, NamedValuesAndBandsLoadAsWritten) {
    TQRReport* first = Report("First");
    ASSERT_NE(first, nullptr);
    EXPECT_DOUBLE_EQ(static_cast<double>(first->Page()->LeftMargin()), 20);
    EXPECT_DOUBLE_EQ(static_cast<double>(first->Page()->TopMargin()), 15);
    EXPECT_DOUBLE_EQ(static_cast<double>(first->Page()->NativeValue(TQRPage::RightMarginIndex)), 200);
    EXPECT_DOUBLE_EQ(static_cast<double>(first->Page()->NativeValue(TQRPage::LengthIndex)), 2970)
        << "named margins leave the paper alone";
    EXPECT_EQ(first->Description(), (std::vector<std::string>{"One band an item, a child band under each,",
                                                              "and the parts with a header and a footer"}));
    auto* detail = dynamic_cast<TQRCustomBand*>(Root->FindComponent("Detail"));
    ASSERT_NE(detail, nullptr);
    EXPECT_DOUBLE_EQ(static_cast<double>(detail->Size()->NativeValue(TQRBandSize::HeightIndex)), 600);
    ASSERT_TRUE(detail->HasChild());
    EXPECT_EQ(detail->GetChildBand()->Name(), "ChildBand1");
    auto* parts = dynamic_cast<TQRSubDetail*>(Root->FindComponent("PartBand"));
    ASSERT_NE(parts, nullptr);
    ASSERT_NE(parts->HeaderBand(), nullptr);
    ASSERT_NE(parts->FooterBand(), nullptr);
    EXPECT_EQ(parts->HeaderBand()->BandType(), rbGroupHeader);
    EXPECT_EQ(parts->FooterBand()->BandType(), rbGroupFooter);
    EXPECT_EQ(EventHandlerNames(*Root),
              (std::vector<std::string>{"Shop.OnCreate = ShopCreate", "First.BeforePrint = FirstBeforePrint",
                                        "Detail.AfterPrint = DetailAfterPrint", "Both.OnAddReports = BothAddReports"}));

    TQRTraceTarget target;
    const std::string trace = Trace(*first, target);
    // Each item: its band at the top margin (150), the child below it, the parts between header and footer.
    const std::string child = detail->GetChildBand()->Name();
    const std::string header = parts->HeaderBand()->Name(), footer = parts->FooterBand()->Name();
    EXPECT_EQ(trace.substr(0, trace.find(' ')), "Detail@1:150") << trace;
    for (const std::string& name : {child, header, footer, std::string("PartBand")})
        EXPECT_NE(trace.find(name + "@1:"), std::string::npos) << name << " in " << trace;
    EXPECT_LT(trace.find(header), trace.find("PartBand")) << trace;
    EXPECT_LT(trace.find("PartBand"), trace.find(footer)) << trace;
    EXPECT_EQ(first->BandList().front()->BandOutline().Left, 200) << "the left margin by name";
}

TEST_F(Descriptions, WritingBackKeepsHandlersAndReadsTheSame) {
    const std::string written = WriteForm(*Root);
    EXPECT_NE(written.find("    BeforePrint = FirstBeforePrint\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Reports = (\n      First\n      Second)"), std::string::npos) << written;
    EXPECT_EQ(written.find("HasChild"), std::string::npos) << "the child band is written, not the flag";
    auto again = ReadForm(written, Registry());
    EXPECT_EQ(WriteForm(*again), written);
    auto* detail = dynamic_cast<TQRCustomBand*>(again->FindComponent("Detail"));
    ASSERT_NE(detail, nullptr);
    int children = 0;
    for (TQRCustomBand* b : FindFirstReport(*again)->BandList())
        children += b->BandType() == rbChild;
    EXPECT_EQ(children, 1) << "reading back does not add a second child";
}

TEST_F(Descriptions, CompositeReportsContinueFromReportToReport) {
    auto* both = dynamic_cast<TQRCompositeReport*>(Root->FindComponent("Both"));
    ASSERT_NE(both, nullptr);
    ASSERT_EQ(both->ReportList().size(), 2u);
    std::vector<std::string> log;
    for (TQRReport* r : both->ReportList()) {
        for (TQRCustomBand* b : r->BandList()) {
            if (b->BandType() != rbDetail) continue;
            b->AfterPrint = [&log, r](TQRCustomBand& s, bool) {
                log.push_back(s.Name() + "@" + std::to_string(r->PageCount()) + ":" +
                              std::to_string(s.BandOutline().Top));
            };
        }
    }
    TQRTraceTarget target;
    both->Run(target);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], "Detail@1:150");
    // The second report's first item goes on below the first report's last band when it fits, else
    // on the next page; its page numbers go on from the first report's.
    EXPECT_EQ(log[3].substr(0, 8), "Detail2@");
    const int lastOfFirst = std::stoi(log[2].substr(log[2].find('@') + 1));
    const int firstOfSecond = std::stoi(log[3].substr(log[3].find('@') + 1));
    EXPECT_TRUE(firstOfSecond == lastOfFirst || firstOfSecond == lastOfFirst + 1) << log[2] << " " << log[3];
    EXPECT_NE(log[3], "Detail2@1:150") << "not a fresh document";
    EXPECT_EQ(static_cast<int>(target.Pages().size()), std::stoi(log[5].substr(log[5].find('@') + 1)));
    EXPECT_EQ(target.Documents, 1);
}

// The recorded pages name the composite behind them; the preview's closing message discards them.
TEST_F(Descriptions, CompositeRecordsPagesThatNameItAndDiscardsThemWhenThePreviewCloses) {
    auto* both = dynamic_cast<TQRCompositeReport*>(Root->FindComponent("Both"));
    ASSERT_NE(both, nullptr);
    std::unique_ptr<printer::TQRPrinter> pages = both->Record();
    ASSERT_NE(pages, nullptr);
    EXPECT_EQ(pages->PageTotal(), 3);
    auto* window = dynamic_cast<printer::TQRReportWindow*>(pages->ReportWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->IsCompositeReport());
    EXPECT_EQ(both->QRPrinter(), nullptr) << "the recorded printer was handed over";
    QEvent closed(static_cast<QEvent::Type>(printer::MsgPreviewClosed));
    EXPECT_TRUE(both->MessageWindow()->event(&closed));
    EXPECT_FALSE(both->Generating());
}

class SalesForm : public ::testing::Test {
protected:
    pagimo::test::TTempDir Temp;
    fs::path Dir = Temp.Path();
    void SetUp() override {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((Dir / "sales.sqlite").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, ReadText(test::DataDir() / "sales.sql").c_str(), nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        fs::copy_file(test::DataDir() / "sales.form", Dir / "sales.form");
    }
};

TEST_F(SalesForm, GroupsAndSubDetailsNestedTwoDeep) {
    auto root = ReadFormFile(Dir / "sales.form", Registry());
    TQRReport* report = FindFirstReport(*root);
    ASSERT_NE(report, nullptr);
    TQRTraceTarget target;
    const std::string first = Trace(*report, target);
    EXPECT_EQ(first, "Title@1:100 RegionHeader@1:300 Detail@1:400 OrderBand@1:460 ItemBand@1:510 ItemBand@1:550 "
                     "OrderBand@1:590 ItemBand@1:640 Detail@1:680 RegionFooter@1:740 RegionHeader@1:820 Detail@1:920 "
                     "OrderBand@1:980 ItemBand@1:1030 RegionFooter@1:1070 PageFooter@1:2770");
    EXPECT_EQ(target.Settings().JobTitle(), "Prodeje podle oblast\u00ed");
    // A second run gives the same pages: the queries are refreshed per master record.
    EXPECT_EQ(Trace(*report, target), first);
}

// Three reports of three 1000-high details each, two to a page.
class Composite : public ::testing::Test {
protected:
    std::vector<std::unique_ptr<TQRReport>> Reports;
    std::vector<std::string> Log;
    TQRCompositeReport C;
    TQRTraceTarget Target;

    void SetUp() override {
        for (int i = 0; i < 3; ++i) {
            auto r = std::make_unique<TQRReport>();
            r->SetName(std::string(1, 'R') + static_cast<char>('1' + i));
            r->SetUnits(controls::TQRUnit::Native);
            r->Page()->SetStoredValues({127, 2970, 127, 2100, 127, 127, 0});
            auto* d = system::TComponent::Create<TQRBand>(r.get());
            d->SetName("D");
            d->SetParentComponent(r.get());
            d->SetBandType(rbDetail);
            d->Size()->SetUnits(controls::TQRUnit::Native);
            d->Size()->SetHeight(1000);
            TQRReport* raw = r.get();
            d->AfterPrint = [this, raw](TQRCustomBand& b, bool) {
                std::ostringstream entry;
                entry << raw->Name() << "@" << raw->PageCount() << ":" << b.BandOutline().Top;
                Log.push_back(entry.str());
            };
            auto calls = std::make_shared<int>(0);
            r->OnNeedData = [calls](system::TComponent&, bool& more) { more = ++*calls % 4 != 0; };
            Reports.push_back(std::move(r));
        }
        C.OnAddReports = [this](system::TComponent&) {
            for (auto& r : Reports)
                C.Reports.push_back(r.get());
        };
    }
};

TEST_F(Composite, ContinuousPagesEachReportGoingOnWhereThePreviousStopped) {
    std::vector<std::string> finished;
    C.OnFinished = [&](system::TComponent& s) { finished.push_back(s.Name().empty() ? "composite" : s.Name()); };
    C.PrinterSettings()->SetPaperSize(TQRPaperSize::A4);
    C.Run(Target);
    EXPECT_EQ(Log, (std::vector<std::string>{"R1@1:127", "R1@1:1127", "R1@2:127", "R2@2:1127", "R2@3:127", "R2@3:1127",
                                             "R3@4:127", "R3@4:1127", "R3@5:127"}));
    EXPECT_EQ(Target.Pages().size(), 5u);
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsFinished);
    EXPECT_EQ(finished, (std::vector<std::string>{"R1", "R2", "R3", "composite"}));
    EXPECT_EQ(Reports[2]->Tag(), 0) << "the last report's tag is restored";
}

TEST_F(Composite, CancellingTheSecondReportStopsAndDiscards) {
    std::vector<std::string> finished;
    C.OnFinished = [&](system::TComponent& s) { finished.push_back(s.Name().empty() ? "composite" : s.Name()); };
    Reports[1]->BandList()[0]->BeforePrint = [this](TQRCustomBand&, bool&) { C.Cancel(); };
    C.Run(Target);
    EXPECT_EQ(finished, (std::vector<std::string>{"R1", "composite"}));
    EXPECT_EQ(Target.State(), TQRTraceTarget::tsAborted);
    for (const auto& entry : Log)
        EXPECT_NE(entry.substr(0, 2), "R3");
    EXPECT_FALSE(C.Generating());
}

TEST_F(Composite, NoReportsBeginsNoDocument) {
    C.OnAddReports = nullptr;
    bool finished = false;
    C.OnFinished = [&](system::TComponent& s) { finished = &s == &C; };
    C.Run(Target);
    EXPECT_EQ(Target.Documents, 0);
    EXPECT_TRUE(finished);
}

} // namespace

namespace {

// The form fuzzer's seeds replay here: each reads, writes back to text that reads the same, and its
// report runs to the end.
TEST(FormReport, FuzzSeedsReadWriteBackAndRun) {
    const fs::path seeds = test::SourceDir() / "fuzz" / "corpus" / "form";
    int count = 0;
    for (const auto& entry : fs::directory_iterator(seeds)) {
        ++count;
        SCOPED_TRACE(entry.path().string());
        auto root = ReadForm(ReadText(entry.path()), Registry());
        const std::string written = WriteForm(*root);
        EXPECT_EQ(WriteForm(*ReadForm(written, Registry())), written);
        if (TQRReport* report = FindFirstReport(*root)) {
            TQRTraceTarget target;
            target.PageLimit = 200;
            report->SetPrintTarget(&target);
            EXPECT_NO_THROW(report->CreateReport(false));
            EXPECT_EQ(target.State(), TQRTraceTarget::tsFinished);
        }
    }
    EXPECT_GE(count, 2);
}

} // namespace
