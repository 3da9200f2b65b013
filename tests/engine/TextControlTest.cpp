// Text controls printed by a report onto a page canvas: lines growing their band and continuing on
// the next page, OnPrint, system data, expressions with aggregates, masks and errors, export of
// lines, and text controls loaded from a description. Real fonts through the offscreen platform.

#include "ReportBuilder.h"

#include "controls/TextControls.h"
#include "engine/CSVTable.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "engine/TraceTarget.h"
#include "expr/Locale.h"
#include "platform/gdi/Canvas.h"

#include <gtest/gtest.h>

#include <QString>

using namespace pagimo;
using namespace pagimo::engine;
using controls::TQRExpr;
using controls::TQRLabel;
using controls::TQRSysData;
using controls::TQRUnit;
using system::TComponent;

namespace {

struct TPrintedText {
    size_t Page;
    int32_t X, Y;
    std::string Text;
};

// A report target whose pages have a canvas that writes down the text drawn on it.
class TTextTarget : public TQRTraceTarget {
public:
    TTextTarget() : FDevice(*this), FCanvas(FDevice) {}
    void StartDocument() override {
        TQRTraceTarget::StartDocument();
        Texts.clear();
    }
    gdi::TCanvas* PageCanvas() const override { return Pages().empty() ? nullptr : &FCanvas; }
    std::vector<std::string> TextsOnPage(size_t page) const {
        std::vector<std::string> out;
        for (const auto& t : Texts) {
            if (t.Page == page) out.push_back(t.Text);
        }
        return out;
    }
    std::vector<std::string> AllTexts() const {
        std::vector<std::string> out;
        for (const auto& t : Texts)
            out.push_back(t.Text);
        return out;
    }
    std::vector<TPrintedText> Texts;

private:
    class TDevice : public gdi::TDevice {
    public:
        explicit TDevice(TTextTarget& target) : FTarget(target) {}
        void DrawShape(const gdi::TShape&, const gdi::TDrawState&) override {}
        void DrawText(const gdi::TTextRun& run, const gdi::TDrawState&) override {
            FTarget.Texts.push_back({FTarget.Pages().size(), run.Reference.x(), run.Reference.y(),
                                     QString::fromStdU16String(run.Text).toStdString()});
        }
        void DrawDib(const gdi::TDibDraw&, const gdi::TDrawState&) override {}
        gdi::TDeviceCaps Caps() const override { return gdi::TDeviceCaps::Screen(1920, 1440); }

    private:
        TTextTarget& FTarget;
    };
    TDevice FDevice;
    mutable gdi::TCanvas FCanvas;
};

class TextControls : public ::testing::Test {
protected:
    std::unique_ptr<TQRReport> R = std::make_unique<TQRReport>();
    TTextTarget Target;

    void SetUp() override {
        R->SetName("QRReport1");
        R->SetUnits(TQRUnit::Native);
        // A short page: 800 tenths of a millimetre between the margins.
        R->Page()->SetPaperSize(TQRPaperSize::Custom);
        R->Page()->SetStoredValues({100, 1000, 100, 2100, 100, 100, 0});
        R->SetPrintTarget(&Target);
    }

    template <class B = TQRBand> B* Band(const std::string& name, TQRBandType type, Extended height) {
        B* b = test::AddBand<B>(*R, name, type, height);
        b->Size()->SetWidth(1900);
        return b;
    }

    template <class C> C* Control(TQRCustomBand* band, int left, int top, int width, int height) {
        auto* c = TComponent::Create<C>(R.get());
        c->SetParentComponent(band);
        c->SetBounds(left, top, width, height);
        return c;
    }

    TQRLabel* Label(TQRCustomBand* band, const std::string& caption, int width, bool autoSize = true) {
        auto* l = Control<TQRLabel>(band, 0, 0, width, 10);
        l->SetAutoSize(autoSize);
        l->SetCaption(caption);
        return l;
    }

    TQRExpr* Expr(TQRCustomBand* band, const std::string& expression, const std::string& mask = "") {
        auto* e = Control<TQRExpr>(band, 0, 0, 100, 10);
        e->SetExpression(expression);
        e->SetMask(mask);
        return e;
    }

    TQRMemoryTable* Table(const std::string& name, std::vector<std::string> lines) {
        auto* t = TComponent::Create<TQRMemoryTable>(R.get());
        t->SetName(name);
        t->SetLines(lines);
        t->Open();
        return t;
    }
};

std::string Words(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, "w%03d", i);
        if (!text.empty()) text += ' ';
        text += word;
    }
    return text;
}

// The printed lines joined with single spaces (lines end with the space they broke at).
std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) {
        if (!text.empty() && text.back() != ' ') text += ' ';
        text += l;
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

TEST_F(TextControls, StretchingTextGrowsTheBandAndContinuesAtTheTopOfTheNextPage) {
    auto* title = Band("Title", rbTitle, 60);
    TQRLabel* l = Label(title, Words(120), 120, false);
    l->SetAutoStretch(true);
    l->SetColor(0x00FF00);
    R->CreateReport(false);
    ASSERT_GE(Target.Pages().size(), 2u) << "120 words in a narrow column need more than one page";
    // The page has room for 800 tenths of a millimetre; the band grows line by line into all of it.
    ASSERT_GE(Target.TextsOnPage(1).size(), 15u);
    EXPECT_EQ(Joined(Target.AllTexts()), Words(120)) << "every word once, in order";

    const auto& texts = Target.Texts;
    int32_t lastY = -1;
    size_t page = 1;
    for (const auto& t : texts) {
        EXPECT_LT(t.Y, 900) << "inside the bottom margin: " << t.Text;
        if (t.Page != page) {
            page = t.Page;
            EXPECT_GE(t.Y, 100) << "continues at the control's top on the next page";
            EXPECT_LT(t.Y, 110);
        } else {
            EXPECT_GT(t.Y, lastY) << "one line under the other";
        }
        lastY = t.Y;
    }
    EXPECT_TRUE(l->PrintFinished());
    // The control's background grows strip by strip under the lines it adds.
    int32_t filledTo = 0, lastLine = 0;
    for (const auto& f : Target.Pages()[0]) {
        if (f.Color == 0x00FF00) filledTo = std::max(filledTo, f.Rect.Bottom);
    }
    for (const auto& t : texts) {
        if (t.Page == 1) lastLine = t.Y;
    }
    EXPECT_GT(filledTo, lastLine);
}

TEST_F(TextControls, WithoutAutoStretchLinesBeyondTheHeightAreDropped) {
    auto* title = Band("Title", rbTitle, 200);
    TQRLabel* l = Control<TQRLabel>(title, 0, 0, 120, 60);
    l->SetAutoSize(false);
    l->SetCaption(Words(120));
    R->CreateReport(false);
    EXPECT_EQ(Target.Pages().size(), 1u);
    ASSERT_FALSE(Target.Texts.empty());
    EXPECT_LT(Target.Texts.size(), l->WrappedLines().size());
    for (const auto& t : Target.Texts)
        EXPECT_LT(t.Y, 100 + l->Size()->NativeValue(controls::TQRPrintableSize::HeightIndex)) << t.Text;
    EXPECT_EQ(Words(120).rfind(Joined(Target.AllTexts()), 0), 0u) << "the first lines, in order";
}

TEST_F(TextControls, AutoSizeKeepsOneLinePerSourceLineAndItsAnchor) {
    auto* title = Band("Title", rbTitle, 100);
    TQRLabel* l = Control<TQRLabel>(title, 200, 0, 5, 10);
    l->Frame()->SetDrawLeft(true);
    l->Frame()->SetDrawRight(true);
    l->Frame()->SetWidth(2);
    l->SetCaption("two words");
    ASSERT_EQ(l->WrappedLines(), std::vector<std::string>{"two words"}) << "however narrow the control";
    EXPECT_EQ(l->Width(), l->TextWidth("two words") + 4) << "the line plus both frame edges";
    EXPECT_GT(l->Height(), l->LineHeight()) << "raised to a line's height";

    TQRLabel* right = Control<TQRLabel>(title, 300, 20, 100, 10);
    right->SetAlignment(controls::taRightJustify);
    right->SetCaption("x");
    EXPECT_EQ(right->Left() + right->Width(), 400) << "right-aligned text keeps its right edge";
    right->SetCaption("a much longer caption");
    EXPECT_EQ(right->Left() + right->Width(), 400);

    auto* memo = Control<controls::TQRMemo>(title, 0, 40, 60, 10);
    memo->SetLines({"one two three four", "", "five"});
    memo->BuildLines();
    EXPECT_EQ(memo->WrappedLines(), (std::vector<std::string>{"one two three four", "", "five"}))
        << "a memo with AutoSize prints its lines as they are";
    memo->SetAutoSize(false);
    memo->SetBounds(0, 40, 60, 10);
    memo->BuildLines();
    EXPECT_GT(memo->WrappedLines().size(), 3u) << "without AutoSize each line is broken";
    EXPECT_EQ(Joined(memo->WrappedLines()), "one two three four five");
}

TEST_F(TextControls, OnPrintChangesTheTextOfOnePrintOnly) {
    auto* detail = Band("Detail", rbDetail, 60);
    TQRLabel* l = Label(detail, "Original", 200);
    int calls = 0;
    l->OnPrint = [&calls](controls::TQRCustomLabel&, std::string& value) {
        ++calls;
        value += "!";
    };
    R->SetDataSet(Table("T", {"n", "1", "2"}));
    R->CreateReport(false);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(Target.AllTexts(), (std::vector<std::string>{"Original!", "Original!"}));
    EXPECT_EQ(l->Caption(), "Original");
    EXPECT_EQ(l->PrintText(), "Original");
}

TEST_F(TextControls, SystemDataPrintsPageNumberTitleAndDetailCount) {
    auto* header = Band("Header", rbPageHeader, 60);
    auto* page = Control<TQRSysData>(header, 0, 0, 100, 10);
    page->SetData(controls::qrsPageNumber);
    page->SetText("Page ");
    EXPECT_EQ(page->Caption(), "Page (Page#)");
    auto* detail = Band("Detail", rbDetail, 700);
    auto* no = Control<TQRSysData>(detail, 0, 0, 100, 10);
    no->SetData(controls::qrsDetailNo);
    R->SetDataSet(Table("T", {"n", "1", "2", "3"}));
    R->CreateReport(false);
    ASSERT_EQ(Target.Pages().size(), 3u) << "one detail per page";
    EXPECT_EQ(Target.TextsOnPage(3), (std::vector<std::string>{"Page 3", "3"}));
    EXPECT_EQ(Target.TextsOnPage(1), (std::vector<std::string>{"Page 1", "1"}));
}

TEST_F(TextControls, DetailCountWithoutADataSetIsOne) {
    auto* title = Band("Title", rbTitle, 200);
    auto* count = Control<TQRSysData>(title, 0, 0, 100, 10);
    count->SetData(controls::qrsDetailCount);
    count->SetText("Count: ");
    auto* name = Control<TQRSysData>(title, 0, 50, 100, 10);
    name->SetData(controls::qrsReportTitle);
    name->SetText("Title: ");
    R->SetReportTitle("Sales");
    R->CreateReport(false);
    EXPECT_EQ(Target.AllTexts(), (std::vector<std::string>{"Count: 1", "Title: Sales"}));
}

TEST_F(TextControls, SumInAGroupFooterResetsAfterPrintAndCountFillsTheSummary) {
    auto* group = Band<TQRGroup>("G", rbGroupHeader, 50);
    group->SetExpression("[G]");
    auto* footer = Band("F", rbGroupFooter, 50);
    group->SetFooterBand(footer);
    Band("D", rbDetail, 50);
    auto* summary = Band("S", rbSummary, 50);
    TQRExpr* sum = Expr(footer, "SUM([V])");
    sum->SetResetAfterPrint(true);
    TQRExpr* count = Expr(summary, "COUNT");
    TQRExpr* plain = Expr(summary, "[G]");
    bool sumRegistered = false, countRegistered = false, plainRegistered = true;
    summary->BeforePrint = [&](TQRCustomBand&, bool&) {
        sumRegistered = sum->Registered();
        countRegistered = count->Registered();
        plainRegistered = plain->Registered();
    };
    R->SetDataSet(Table("T", {"G,V", "A,1", "A,2", "B,10", "B,20"}));
    R->CreateReport(false);
    EXPECT_EQ(Target.AllTexts(), (std::vector<std::string>{"3", "30", "4", "B"}));
    EXPECT_TRUE(sumRegistered);
    EXPECT_TRUE(countRegistered);
    EXPECT_FALSE(plainRegistered) << "a plain expression without Master gets no record notifications";
    EXPECT_EQ(sum->Caption(), "SUM([V])") << "after the run the caption shows the expression again";

    // Without ResetAfterPrint the sum runs on over the groups.
    sum->SetResetAfterPrint(false);
    R->CreateReport(false);
    EXPECT_EQ(Target.AllTexts(), (std::vector<std::string>{"3", "33", "4", "B"}));
}

TEST_F(TextControls, MasterChoosesTheRecordsThatFeedTheAggregate) {
    Band("D", rbDetail, 50);
    auto* sub = Band<TQRSubDetail>("Sub", rbSubDetail, 50);
    sub->SetMaster(R.get());
    sub->SetDataSet(Table("S", {"x", "1", "2", "3"}));
    auto* footer = Band("SubFooter", rbGroupFooter, 50);
    sub->SetFooterBand(footer);
    TQRExpr* perSub = Expr(footer, "COUNT");
    perSub->SetMaster(sub);
    perSub->SetResetAfterPrint(true);
    TQRExpr* perMaster = Expr(footer, "COUNT");
    perMaster->SetMaster(R.get());
    R->SetDataSet(Table("M", {"n", "1", "2"}));
    R->CreateReport(false);
    EXPECT_EQ(Target.AllTexts(), (std::vector<std::string>{"3", "1", "3", "2"}));
}

TEST_F(TextControls, ValuesPrintByKindWithMaskAndErrors) {
    auto* title = Band("Title", rbTitle, 400);
    Expr(title, "DIV(1, 0)");
    Expr(title, "1234", "#,##0.00");
    Expr(title, "2.5*2", "0.0");
    Expr(title, "1=1");
    Expr(title, "'text'");
    TQRExpr* none = Expr(title, "");
    EXPECT_EQ(none->Caption(), "(none)");
    {
        expr::TScopedLocale locale({".", ",", "%H:%M:%S", "%m/%d/%y"});
        R->CreateReport(false);
        EXPECT_EQ(Target.AllTexts(),
                  (std::vector<std::string>{"Division by Zero", "1,234.00", "5.0", "True", "text", " "}))
            << "an empty expression is a string of one space";
    }
    {
        expr::TScopedLocale locale({",", ".", "%H:%M:%S", "%d.%m.%Y"});
        R->CreateReport(false);
        ASSERT_GE(Target.Texts.size(), 3u);
        EXPECT_EQ(Target.Texts[1].Text, "1.234,00") << "the locale's separators";
        EXPECT_EQ(Target.Texts[2].Text, "5,0");
    }
}

// An export filter that keeps the texts it is given.
class TTextFilter : public printer::TQRExporter {
public:
    TTextFilter() : TQRExporter("texts") {}
    std::vector<std::string> Texts;
    std::vector<printer::TAlignment> Alignments;
    void StartExport(int32_t, int32_t, const gdi::TFont&) override { Started = true; }
    void EndExportPage() override {}
    void FinishExport() override {}
    void NewExportPage() override {}
    void ExportText(long double, long double, const gdi::TFont&, uint32_t, printer::TAlignment alignment,
                    const std::string& text) override {
        Texts.push_back(text);
        Alignments.push_back(alignment);
    }
};

TEST_F(TextControls, ExportHandsEveryLineToTheFilterAndDrawsNothing) {
    auto* title = Band("Title", rbTitle, 200);
    TQRLabel* l = Control<TQRLabel>(title, 0, 0, 300, 60);
    l->SetAlignment(controls::taCenter);
    l->SetCaption("first\r\nsecond");
    TTextFilter filter;
    R->ExportTo(filter);
    EXPECT_EQ(filter.Texts, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(filter.Alignments, (std::vector<printer::TAlignment>{printer::taCenter, printer::taCenter}));
    EXPECT_TRUE(Target.Texts.empty());
}

TEST(TextControlForm, DescriptionsLoadTheTextControls) {
    system::TClassRegistry registry;
    RegisterReportClasses(registry);
    controls::RegisterTextControlClasses(registry);
    const std::string text = R"(object Report: TQRReport
  Units = Native
  ReportTitle = 'Help'
  Page.PaperSize = Custom
  Page.Values = (
    100
    1000
    100
    2100
    100
    100
    0)
  object Title: TQRBand
    BandType = rbTitle
    Size.Values = (
      400
      1900)
    object Label1: TQRLabel
      Size.Values = (
        47.625
        26.4583333333333
        10.5833333333333
        817.5625)
      Alignment = taCenter
      AutoSize = True
      BiDiMode = bdLeftToRight
      ParentBiDiMode = False
      Caption = 'Popis ovl'#225'd'#225'n'#237' :'
      Color = clWhite
      Font.Charset = EASTEUROPE_CHARSET
      Font.Color = clWindowText
      Font.Height = -24
      Font.Name = 'Arial'
      Font.Style = [fsBold]
      ParentFont = False
      FontSize = 12
      Transparent = False
      WordWrap = True
    end
    object Memo1: TQRMemo
      Size.Values = (
        150
        26.4583333333333
        100
        400)
      Lines.Strings = (
        'first'
        'second')
    end
    object Sys1: TQRSysData
      Size.Values = (
        47.625
        26.4583333333333
        200
        400)
      Data = qrsReportTitle
      Text = 'T: '
    end
    object Expr1: TQRExpr
      Size.Values = (
        47.625
        26.4583333333333
        300
        400)
      Expression = '2*3'
      Mask = '0.0'
      Master = Report
      ResetAfterPrint = True
    end
  end
end
)";
    auto root = ReadForm(text, registry);
    auto* report = dynamic_cast<TQRReport*>(root.get());
    ASSERT_NE(report, nullptr);
    auto* label = dynamic_cast<TQRLabel*>(report->FindComponent("Label1"));
    auto* memo = dynamic_cast<controls::TQRMemo*>(report->FindComponent("Memo1"));
    auto* sys = dynamic_cast<TQRSysData*>(report->FindComponent("Sys1"));
    auto* expr = dynamic_cast<TQRExpr*>(report->FindComponent("Expr1"));
    ASSERT_TRUE(label && memo && sys && expr);
    EXPECT_EQ(label->Caption(), "Popis ovládání :");
    EXPECT_EQ(label->Alignment(), controls::taCenter);
    EXPECT_FALSE(label->ParentFont());
    EXPECT_FALSE(label->ParentBiDiMode());
    EXPECT_EQ(label->Font()->Size(), 12) << "FontSize wins over the stored height";
    EXPECT_EQ(label->Font()->Height(), -16);
    EXPECT_EQ(label->Font()->Style(), controls::fsBold);
    EXPECT_EQ(memo->Lines()->Lines(), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(memo->ParentFont());
    EXPECT_EQ(sys->Data(), controls::qrsReportTitle);
    EXPECT_EQ(sys->Caption(), "T: (Report title)");
    EXPECT_EQ(expr->Master(), report);
    EXPECT_TRUE(expr->ResetAfterPrint());
    EXPECT_EQ(expr->Caption(), "2*3");

    // What is written reads back the same.
    const std::string written = WriteForm(*root);
    auto again = ReadForm(written, registry);
    auto* label2 = dynamic_cast<TQRLabel*>(again->FindComponent("Label1"));
    auto* memo2 = dynamic_cast<controls::TQRMemo*>(again->FindComponent("Memo1"));
    auto* sys2 = dynamic_cast<TQRSysData*>(again->FindComponent("Sys1"));
    auto* expr2 = dynamic_cast<TQRExpr*>(again->FindComponent("Expr1"));
    ASSERT_TRUE(label2 && memo2 && sys2 && expr2) << written;
    EXPECT_EQ(label2->Caption(), label->Caption());
    EXPECT_TRUE(*label2->Font() == *label->Font()) << written;
    EXPECT_FALSE(label2->ParentFont());
    EXPECT_EQ(memo2->Lines()->Lines(), memo->Lines()->Lines());
    EXPECT_EQ(sys2->Text(), "T: ");
    EXPECT_EQ(sys2->Data(), controls::qrsReportTitle);
    EXPECT_EQ(expr2->Expression(), "2*3");
    EXPECT_EQ(expr2->Mask(), "0.0");
    EXPECT_EQ(expr2->Master(), again.get());

    TTextTarget target;
    report->SetPrintTarget(&target);
    report->CreateReport(false);
    EXPECT_EQ(target.AllTexts(), (std::vector<std::string>{"Popis ovládání :", "first", "second", "T: Help", "6.0"}));
}

} // namespace
