// What a report author writes in a description and sees on the pages: forced page breaks, page N
// of M (also per group), print conditions and highlighting, and sizes by name in either unit and
// line order. Each description runs onto the band trace.

#include "controls/ControlClasses.h"
#include "controls/ExprControl.h"
#include "controls/GraphicControls.h"
#include "controls/SysData.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"

#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace pagimo;
using namespace pagimo::engine;

namespace {

std::unique_ptr<system::TComponent> Read(const std::string& text) {
    system::TClassRegistry r;
    RegisterReportClasses(r);
    RegisterFormHostClasses(r);
    controls::RegisterControlClasses(r);
    return ReadForm(text, r);
}

// A report over the records (group letter, number) of a memory table, with the given bands.
std::string Report(const std::string& bands, const std::string& records = "'A,1' 'A,2' 'A,3' 'B,4' 'B,5'") {
    return "object R: TQRReport\n  DataSet = T\n  Units = MM\n"
           "  object T: TQRMemoryTable\n    Lines = ('g,n' " +
           records + ")\n    Active = True\n  end\n" + bands + "end\n";
}

// A band of the type (or "group": a group on [g]); `more` properties come after the 1 cm height.
std::string Band(const std::string& name, const char* type, const std::string& more = "",
                 const std::string& controls = "") {
    const bool group = std::string(type) == "group";
    return "  object " + name + ": " + (group ? "TQRGroup" : "TQRBand") + "\n" +
           (group ? "    Expression = '[g]'\n" : "    BandType = " + std::string(type) + "\n") +
           "    Size.Height = 10\n" + more + controls + "  end\n";
}

std::string Expr(const std::string& name, const std::string& expression, const std::string& more = "") {
    return "    object " + name + ": TQRExpr\n      Size.Width = 60\n      Expression = '" + expression + "'\n" + more +
           "    end\n";
}

// For every printed band that holds the control E: page and E's value, as "page:value" ...
std::string RunReport(const std::string& text, int* detailPrints = nullptr, TQRTraceTarget* target = nullptr) {
    auto root = Read(text);
    TQRReport* report = FindFirstReport(*root);
    std::ostringstream log;
    int details = 0;
    for (TQRCustomBand* b : report->BandList()) {
        b->AfterPrint = [&](TQRCustomBand& band, bool printed) {
            if (printed && band.BandType() == rbDetail) ++details;
            if (!printed || (report->Generation() && report->Generation()->Counting())) return;
            for (controls::TQRPrintable* p : band.Printables()) {
                if (auto* e = dynamic_cast<controls::TQRExpr*>(p))
                    log << report->PageCount() << ":" << e->ValueText() << " ";
                if (auto* s = dynamic_cast<controls::TQRSysData*>(p))
                    log << report->PageCount() << ":" << s->Caption() << " ";
            }
        };
    }
    TQRTraceTarget own;
    TQRTraceTarget& t = target ? *target : own;
    report->SetPrintTarget(&t);
    report->CreateReport(false);
    if (detailPrints) *detailPrints = details;
    std::string s = log.str();
    if (!s.empty()) s.pop_back();
    return s + " (" + std::to_string(t.Pages().size()) + " pages)";
}

TEST(Toolbox, ForceNewPagePutsEachRecordOnItsOwnPageWithOrWithoutATitle) {
    const std::string title = Band("Title", "rbTitle");
    const std::string detail = Band("D", "rbDetail", "    ForceNewPage = True\n", Expr("E", "[n]"));
    const std::string group = Band("G", "group", "    ForceNewPage = True\n", Expr("E", "[g]"));
    const std::string plain = Band("D", "rbDetail");
    struct {
        std::string Bands;
        const char* Expected;
        const char* Reason;
    } rows[] = {
        {detail, "1:1 2:2 3:3 4:4 5:5 (5 pages)", "the first record's page holds nothing yet: no empty page"},
        {title + detail, "1:1 2:2 3:3 4:4 5:5 (5 pages)", "the break after the title is swallowed once"},
        {group + plain, "1:A 2:B (2 pages)", "a group header starts each group value on a page"},
        {title + group + plain, "1:A 2:B (2 pages)", ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RunReport(Report(row.Bands)), row.Expected) << row.Reason;
}

TEST(Toolbox, TotalPagesCountsTheFinishedReportOrEachGroupWithResetPageNumber) {
    const std::string footer = Band("F", "rbPageFooter", "", Expr("E", "STR(PAGENUMBER) + ''/'' + STR(TOTALPAGES)"));
    const std::string sysData = "    object S: TQRSysData\n      Data = qrsPageCount\n      Text = 'of '\n    end\n";
    // Details 10 cm high: two to a page.
    const std::string tall = "    Size.Height = 100\n";
    const std::string five = "'A,1' 'A,2' 'A,3' 'B,4' 'B,5'", three = "'A,1' 'A,2' 'B,3'";
    struct {
        std::string Bands, Records;
        const char* Expected;
        int DetailPrints;
        const char* Reason;
    } rows[] = {
        {Band("D", "rbDetail", "    ForceNewPage = True\n") + footer, five, "1:1/5 2:2/5 3:3/5 4:4/5 5:5/5 (5 pages)",
         10, "two passes: the first counts, and its pages are not printed"},
        {Band("G", "group", "    ForceNewPage = True\n") + Band("D", "rbDetail", tall) + footer, five,
         "1:1/3 2:2/3 3:3/3 (3 pages)", 10, "group A takes two pages, B one"},
        {Band("G", "group", "    ForceNewPage = True\n    ResetPageNumber = True\n") + Band("D", "rbDetail", tall) +
             footer,
         five, "1:1/2 2:2/2 3:1/1 (3 pages)", 10, "each group value counts its own pages"},
        {Band("D", "rbDetail", "    ForceNewPage = True\n", sysData), three, "1:of 3 2:of 3 3:of 3 (3 pages)", 6,
         "system data's page count"},
        {Band("D", "rbDetail", "", Expr("E", "PAGENUMBER")), three, "1:1 1:1 1:1 (1 pages)", 3,
         "a report that prints no total runs once"},
    };
    for (const auto& row : rows) {
        int details = 0;
        EXPECT_EQ(RunReport(Report(row.Bands, row.Records), &details), row.Expected) << row.Reason;
        EXPECT_EQ(details, row.DetailPrints) << row.Reason;
    }
}

TEST(Toolbox, PrintConditionsSkipBandsAndControlsAndHighlightChangesTheColour) {
    // Fills on the trace: the label's own colour, red, when it prints; yellow when highlighted.
    const std::string label = "    object L: TQRLabel\n      Size.Width = 20\n      Caption = 'x'\n"
                              "      Color = clRed\n      PrintCondition = '[n] > 1'\n"
                              "      HighlightCondition = '[n] = 3'\n      HighlightColor = clYellow\n    end\n";
    const std::string text = Report(Band("D", "rbDetail", "    PrintCondition = '[n] <> 4'\n", label));
    TQRTraceTarget target;
    int details = 0;
    RunReport(text, &details, &target);
    EXPECT_EQ(details, 4) << "record 4 vetoed by the band's condition";
    int red = 0, yellow = 0;
    for (const auto& page : target.Pages())
        for (const auto& fill : page) {
            red += fill.Color == 0x0000FF;
            yellow += fill.Color == 0x00FFFF;
        }
    EXPECT_EQ(red, 2) << "records 2 and 5: record 1 fails the label's condition, 3 is highlighted";
    EXPECT_EQ(yellow, 1);
}

TEST(Toolbox, LabelsFillDownThenAcrossOrAcrossFirstWithColumnOrder) {
    // Two columns 9 cm apart; where each detail lands (left, top in tenths of a millimetre).
    auto places = [](const std::string& order) {
        auto root = Read("object R: TQRReport\n  DataSet = T\n  Units = MM\n  Page.Columns = 2\n" + order +
                         "  object T: TQRMemoryTable\n    Lines = ('n' '1' '2' '3')\n    Active = True\n  end\n" +
                         Band("D", "rbDetail", "    Size.Width = 90\n") + Band("S", "rbSummary") + "end\n");
        TQRReport* report = FindFirstReport(*root);
        std::ostringstream log;
        for (TQRCustomBand* b : report->BandList())
            b->AfterPrint = [&log](TQRCustomBand& band, bool) {
                log << band.Name() << "@" << band.BandOutline().Left << "," << band.BandOutline().Top << " ";
            };
        TQRTraceTarget target;
        report->SetPrintTarget(&target);
        report->CreateReport(false);
        return log.str();
    };
    EXPECT_EQ(places(""), "D@100,100 D@100,200 D@100,300 S@100,400 ") << "down the first column";
    EXPECT_EQ(places("  ColumnOrder = coAcross\n"), "D@100,100 D@1050,100 D@100,200 S@100,300 ")
        << "along the row; the summary starts below the last row";
}

TEST(Toolbox, SizesByNameAreReadInTheReportsUnitsWhateverTheLineOrder) {
    const std::string sizes = "  Page.LeftMargin = 1\n  object B: TQRBand\n    BandType = rbDetail\n"
                              "    Size.Height = 0.5\n    object L: TQRShape\n      Size.Left = 0.25\n"
                              "      Size.Top = 0.1\n      Size.Width = 2\n      Size.Height = 0.2\n    end\n  end\n";
    auto stored = [](const std::string& text) {
        auto root = Read(text);
        TQRReport* r = FindFirstReport(*root);
        auto* label = dynamic_cast<controls::TQRPrintable*>(root->FindComponent("L"));
        auto* band = dynamic_cast<TQRCustomBand*>(root->FindComponent("B"));
        std::ostringstream s;
        s << r->Page()->NativeValue(TQRPage::LeftMarginIndex) << " " << band->Size()->NativeValue(0);
        for (Extended v : label->Size()->StoredValues())
            s << " " << v;
        return s.str();
    };
    const std::string inches = "254 127 50.8 63.5 25.4 508";
    EXPECT_EQ(stored("object R: TQRReport\n  Units = Inches\n" + sizes + "end\n"), inches);
    EXPECT_EQ(stored("object R: TQRReport\n" + sizes + "  Units = Inches\nend\n"), inches) << "Units last";
    EXPECT_EQ(stored("object R: TQRReport\n  Units = MM\n" + sizes + "end\n"), "10 5 2 2.5 1 20");
    EXPECT_EQ(stored("object R: TQRReport\n" + sizes + "  Units = MM\nend\n"), "10 5 2 2.5 1 20");
}

TEST(Toolbox, PngPictureDataIsReadAndWrittenBackAsTPngImage) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(200, 10, 10));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    std::string hex = "0954506E67496D616765"; // 9, "TPngImage"
    char digits[3];
    for (int i = 0; i < 4; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned>((png.size() >> (8 * i)) & 0xFF));
        hex += digits;
    }
    for (unsigned char c : png) {
        std::snprintf(digits, sizeof digits, "%02X", c);
        hex += digits;
    }
    auto root = Read("object R: TQRReport\n  object B: TQRBand\n    object I: TQRImage\n      Picture.Data = {" + hex +
                     "}\n    end\n  end\nend\n");
    auto* control = dynamic_cast<controls::TQRImage*>(root->FindComponent("I"));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Picture()->Width(), 3);
    EXPECT_EQ(control->Picture()->Graphic()->Image().pixel(1, 1), qRgb(200, 10, 10));
    std::string written = WriteForm(*root);
    written.erase(std::remove_if(written.begin(), written.end(), [](char c) { return c == ' ' || c == '\n'; }),
                  written.end());
    EXPECT_NE(written.find(hex), std::string::npos) << "the same bytes, class name and count: " << written;
}

TEST(Toolbox, LoadErrorsNameTheClassOfReportsAndBands) {
    for (const char* cls : {"TQRReport", "TQRBand", "TQRGroup"}) {
        const std::string text = std::string("object R: TQRReport\n") +
                                 (std::string(cls) == "TQRReport" ? "" : "  object B: " + std::string(cls) + "\n") +
                                 "    PrintConditio = 'x'\n" + (std::string(cls) == "TQRReport" ? "" : "  end\n") +
                                 "end\n";
        try {
            Read(text);
            ADD_FAILURE() << cls;
        } catch (const EFormError& e) {
            EXPECT_NE(std::string(e.what()).find("unknown property 'PrintConditio' of " + std::string(cls)),
                      std::string::npos)
                << e.what();
        }
    }
}

} // namespace
