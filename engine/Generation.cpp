#include "engine/Generation.h"

#include "engine/Report.h"
#include "platform/gdi/Canvas.h"
#include "platform/system/Errors.h"
#include "platform/system/Termination.h"
#include "printer/ExportFilter.h"

#include <algorithm>

namespace pagimo::engine {

namespace {

// Bands of these types never take a forced break.
bool NeverBreaks(TQRBandType t) {
    return t == rbTitle || t == rbPageHeader || t == rbPageFooter || t == rbOverlay;
}

// A forced page break walks the columns up to the next page; bounded against hostile column counts.
constexpr int MaxColumnSteps = 100000;

} // namespace

void TQRGroupRun::Prepare(const TQRGroup& group, TCustomQRReport& report) {
    FEvaluator = std::make_unique<expr::TQREvaluator>();
    controls::PrepareForRun(*FEvaluator, group.Expression(), &report, group, "Expression");
}

void TQRGroupRun::Release() {
    if (FEvaluator) FEvaluator->Unprepare();
    FEvaluator.reset();
}

TQRGroupValue TQRGroupRun::Evaluate() const {
    if (!FEvaluator || !FEvaluator->Prepared()) return TQRGroupValue{};
    return FromEvResult(FEvaluator->Value());
}

void TQRGroupRun::StoreCurrentValue() {
    LastValue = Evaluate();
    HasValue = true;
}

void TQRGroupRun::TestGroupValue() {
    Changed = false;
    if (!HasValue) {
        StoreCurrentValue();
        Changed = true;
        return;
    }
    TQRGroupValue now = Evaluate();
    if (now != LastValue) {
        Changed = true;
        LastValue = std::move(now);
    }
}

TQRGeneration::TQRGeneration(TCustomQRReport& report, TQRReportTarget& target, const TQRRunPosition* continueAt,
                             printer::TQRExporter* exportFilter)
    : FReport(report), FTarget(target), FPage(*report.Page()), FComposite(continueAt != nullptr),
      FExportFilter(exportFilter), FFinalPass(!exportFilter && report.FinalPass()) {
    if (FReport.FGeneration) throw EQRError("The report is already generating");
    if (continueAt) {
        FCurrentY = continueAt->CurrentY;
        FPageCount = continueAt->PageCount;
        FCurrentColumn = continueAt->CurrentColumn;
    }
    FReport.CollectDataSets(FAllDataSets);
    FReport.FGeneration = this;
    FReport.FCancelled = false;
}

TQRGeneration::~TQRGeneration() {
    // Only a run that threw gets here with work left; what it would throw now must not replace
    // the exception on its way out.
    if (FDocumentOpen) {
        try {
            FTarget.AbortDocument();
        } catch (...) {
        }
    }
    try {
        RestoreUnits();
    } catch (...) {
    }
    try {
        EndPrinting();
    } catch (...) {
    }
    try {
        ReleaseEnvironment();
    } catch (...) {
    }
    FReport.FGeneration = nullptr;
}

void TQRGeneration::CountPages(TQRPageNumbering& into) {
    FCountInto = &into;
    FFinalPass = false;
    into = TQRPageNumbering{};
}

int TQRGeneration::PageTotal() const {
    if (!FNumbering.Known) return 0;
    int end = FNumbering.Total + 1;
    for (int start : FNumbering.SectionStarts)
        if (start > FSectionFirst) {
            end = start;
            break;
        }
    return end - FSectionFirst;
}

void TQRGeneration::UpdatePageConstants() {
    expr::TQREvEnvironment::SetIntegerConstant(FPageNumberConst, PageNumber());
    if (FEnvironment) FEnvironment->SetPageTotal(PageTotal());
}

void TQRGeneration::StartSection() {
    if (FPageCount < 1) return;
    if (FCountInto && (FCountInto->SectionStarts.empty() || FCountInto->SectionStarts.back() != FPageCount))
        FCountInto->SectionStarts.push_back(FPageCount);
    if (FSectionFirst == FPageCount) return;
    FSectionFirst = FPageCount;
    UpdatePageConstants();
}

void TQRGeneration::Begin() {
    FSavedUnits = FReport.Units();
    FReport.SetUnits(controls::TQRUnit::Native);
    if (FComposite) {
        // The document is shared: its paper is what the report prints on.
        FPage.SetPaperSize(FTarget.PaperSize());
        FPage.SetOrientation(FTarget.Orientation());
        FCurrentColumn = 1;
    } else {
        FTarget.Configure(FReport.DocumentSettings());
        FTarget.StartDocument();
        FDocumentOpen = true;
        // Starting in the last column makes the first band's space check open page 1 through
        // NewColumn.
        FCurrentY = -1;
        FPageCount = 0;
        FCurrentColumn = FPage.Columns();
    }
    if (FExportFilter && !FExportFilter->Started) {
        FExportFilter->StartExport(Rnd(FPage.NativeValue(TQRPage::WidthIndex)),
                                   Rnd(FPage.NativeValue(TQRPage::LengthIndex)), controls::ToGdiFont(*FReport.Font()));
    }
    FPageFooterSize = FReport.PageFooterArea();
    FReport.AttachBands();
    FCurrentX = Rnd(FPage.NativeValue(TQRPage::LeftMarginIndex));
    FReport.Execute(); // binds the report's bands to the main controller
    TQRCustomController& controller = *FReport.Controller();
    controller.CollectControllers();
    // A data set that is not open comes first: the unknown fields it causes are told after it.
    controller.CheckDataSets();
    PrepareEnvironment();
    PrepareBandConditions();
    controller.PrepareRun();
    FPrinting = true;
    FReport.ForEachPrintable([](controls::TQRPrintable& p) { p.StartPrinting(); });
}

void TQRGeneration::Finish() {
    if (FCountInto) {
        FCountInto->Total = FPageCount;
        FCountInto->Known = !FReport.Cancelled();
        if (FCountInto->SectionStarts.empty() || FCountInto->SectionStarts.front() != 1)
            FCountInto->SectionStarts.insert(FCountInto->SectionStarts.begin(), 1);
    }
    if (!FComposite) {
        FCurrentX = Rnd(FPage.NativeValue(TQRPage::LeftMarginIndex));
        FLastPage = true;
        if (!FReport.Cancelled()) EndPage();
        if (FExportFilter) FExportFilter->FinishExport();
    } else if (FReport.Tag() == 999) {
        // The last report of a composite document closes its final page.
        FLastPage = true;
        EndPage();
    }
    RestoreUnits();
    EndPrinting();
    ReleaseEnvironment();
    if (FReport.Cancelled()) {
        FTarget.AbortDocument();
    } else if (!FComposite) {
        // An export pass leaves no document behind.
        if (FinalPass())
            FTarget.FinishDocument();
        else
            FTarget.AbortDocument();
    }
    FDocumentOpen = false;
}

void TQRGeneration::RestoreUnits() {
    if (!FSavedUnits) return;
    const controls::TQRUnit units = *FSavedUnits;
    FSavedUnits.reset();
    FReport.SetUnits(units);
}

void TQRGeneration::EndPrinting() {
    if (!FPrinting) return;
    FPrinting = false;
    FReport.ForEachPrintable([](controls::TQRPrintable& p) { p.EndPrinting(); });
    FReport.Controller()->ReleaseRun();
}

expr::TQREvDataSets TQRGeneration::EvDataSets() const {
    expr::TQREvDataSets sets;
    for (TQRDataSet* d : FAllDataSets)
        sets.push_back(&d->EvDataSet());
    return sets;
}

void TQRGeneration::Forget(const system::TComponent* component) {
    FAllDataSets.erase(std::remove(FAllDataSets.begin(), FAllDataSets.end(), component), FAllDataSets.end());
}

void TQRGeneration::PrepareEnvironment() {
    ReleaseEnvironment();
    expr::QRGlobalEnvironment().Prepare();
    FEnvironment = std::make_unique<expr::TQREvEnvironment>();
    FEnvironment->ReadData(FReport.Functions()->Names(), FReport.Functions()->Expressions());
    FEnvironment->SetDataSets(EvDataSets());
    FEnvironment->Prepare();
    FPageNumberConst = FEnvironment->Constant("PAGENUMBER");
    FColumnNumberConst = FEnvironment->Constant("COLUMNNUMBER");
    // A composite part continues the numbers of the document it continues.
    UpdatePageConstants();
    expr::TQREvEnvironment::SetStringConstant(FEnvironment->Constant("REPORTTITLE"), FReport.ReportTitle());
    for (auto& [function, message] : FEnvironment->ParseErrors())
        FReport.Diagnose({controls::TQRRunDiagnostic::SyntaxError, "function " + function, 0, std::move(message),
                          &FReport, "Functions.DATA"});
    for (auto& [function, name] : FEnvironment->UnknownNames())
        FReport.Diagnose({controls::TQRRunDiagnostic::UnknownName, "function " + function, 0, std::move(name), &FReport,
                          "Functions.DATA"});
}

void TQRGeneration::PrepareBandConditions() {
    for (TQRCustomBand* band : FReport.BandList()) {
        if (band->PrintCondition().empty()) continue;
        TBandCondition& condition = FBandConditions[band];
        condition.Evaluator = std::make_unique<expr::TQREvaluator>();
        condition.Told =
            controls::PrepareForRun(*condition.Evaluator, band->PrintCondition(), &FReport, *band, "PrintCondition");
    }
}

bool TQRGeneration::BandConditionHolds(const TQRCustomBand& band) {
    auto it = FBandConditions.find(&band);
    if (it == FBandConditions.end() || !it->second.Evaluator) return true;
    const expr::EvResult value = it->second.Evaluator->Value();
    if (value.Kind == expr::resBool) return value.BooResult;
    if (!it->second.Told) {
        it->second.Told = true;
        FReport.Diagnose({controls::TQRRunDiagnostic::ExpressionError, band.Name(), FPageCount,
                          value.Kind == expr::resError ? value.StrResult : std::string("not a true/false value"), &band,
                          "PrintCondition"});
    }
    return true;
}

void TQRGeneration::ReleaseEnvironment() {
    FBandConditions.clear();
    if (!FEnvironment) return;
    FPageNumberConst = FColumnNumberConst = nullptr;
    FEnvironment->Unprepare();
    FEnvironment.reset();
    expr::QRGlobalEnvironment().Unprepare();
}

int32_t TQRGeneration::PaperLengthForSpace(bool alignToBottom) const {
    const bool landscape = FPage.Orientation() == poLandscape;
    if (alignToBottom) return landscape ? FTarget.SheetWidth() : FTarget.SheetLength();
    if (!landscape || FPage.PaperSize() == TQRPaperSize::Custom) return FTarget.SheetLength();
    return FTarget.SheetWidth();
}

int32_t TQRGeneration::AvailableSpace() const {
    if (FCurrentY == -1) return 0;
    if (FExportFilter && FExportFilter->IsContinuous()) return FTarget.SheetLength();
    return Rnd(PaperLengthForSpace(false) - FPage.NativeValue(TQRPage::BottomMarginIndex) - FPageFooterSize -
               FCurrentY);
}

void TQRGeneration::PrintBand(TQRCustomBand* band) {
    if (!band) return;
    if (band->AlignToBottom()) {
        if (band->BandType() == rbSummary && !FReport.HasOption(LastPageFooter)) FPageFooterSize = 0;
        const int32_t target = Rnd(PaperLengthForSpace(true) - FPage.NativeValue(TQRPage::BottomMarginIndex) -
                                   band->Size()->NativeValue(TQRBandSize::HeightIndex) - FPageFooterSize);
        if (FCurrentY < target) FCurrentY = target;
    }
    band->Print();
}

void TQRGeneration::NewPage() {
    if (const int signal = TerminationRequested()) throw ERunInterrupted(signal, FPageCount);
    if (FPageCount >= FReport.MaxPages()) {
        const std::string name = FReport.Name().empty() ? std::string("Report") : FReport.Name();
        throw EQRError(name + ": the report gives more than " + std::to_string(FReport.MaxPages()) +
                       " pages (MaxPages sets the limit)");
    }
    EndPage();
    FRowHeight = 0;
    if (FExportFilter) FExportFilter->NewExportPage();
    ++FPageCount;
    // A page that the counting pass saw begin a section starts its page numbers again, before its
    // page header prints.
    if (FNumbering.Known &&
        std::binary_search(FNumbering.SectionStarts.begin(), FNumbering.SectionStarts.end(), FPageCount))
        FSectionFirst = FPageCount;
    UpdatePageConstants();
    if (FinalPass() || FPageCount == 1) FTarget.NewPage();
    FCurrentY = Rnd(FPage.NativeValue(TQRPage::TopMarginIndex));
    if (FReport.OnStartPage && !Counting()) FReport.OnStartPage(FReport);
    if (FPageCount > 1 || FReport.HasOption(FirstPageHeader)) PrintBand(FReport.BandOfType(rbPageHeader));
    FColumnTopPosition = FCurrentY;
    if (FPageCount == 1) {
        // Later columns of page 1 start below the title.
        if (TQRCustomBand* title = FReport.BandOfType(rbTitle)) {
            FColumnTopPosition += Rnd(title->Size()->NativeValue(TQRBandSize::HeightIndex));
        }
    }
}

int64_t TQRGeneration::ColumnStep() const {
    int64_t columnWidth;
    if (TQRCustomBand* detail = FReport.BandOfType(rbDetail)) {
        columnWidth = Rnd(detail->Size()->NativeValue(TQRBandSize::WidthIndex));
    } else {
        const int64_t columns = std::max(1, FPage.Columns());
        columnWidth =
            (int64_t{Rnd(FPage.NativeValue(TQRPage::WidthIndex) - (FPage.NativeValue(TQRPage::LeftMarginIndex) +
                                                                   FPage.NativeValue(TQRPage::RightMarginIndex)))} -
             int64_t{Rnd(FPage.NativeValue(TQRPage::ColumnSpaceIndex))} * (columns - 1)) /
            columns;
    }
    return Rnd(FPage.NativeValue(TQRPage::ColumnSpaceIndex)) + columnWidth;
}

void TQRGeneration::NewColumn() {
    if (FCurrentColumn >= FPage.Columns()) {
        FCurrentColumn = 1;
        FCurrentX = Rnd(FPage.NativeValue(TQRPage::LeftMarginIndex));
        NewPage();
    } else {
        FCurrentX += ColumnStep();
        FCurrentY = FColumnTopPosition;
        ++FCurrentColumn;
    }
    expr::TQREvEnvironment::SetIntegerConstant(FColumnNumberConst, FCurrentColumn);
    if (!(FCurrentColumn == 1 && FPageCount == 1)) {
        PrintBand(FReport.BandOfType(rbColumnHeader));
        FReport.Controller()->ReprintGroupHeaders();
    }
}

void TQRGeneration::EndPage() {
    if (FPageCount > 0) {
        FCurrentY = Rnd(FPage.NativeValue(TQRPage::LengthIndex) - FPage.NativeValue(TQRPage::BottomMarginIndex) -
                        FPageFooterSize);
        FCurrentX = Rnd(FPage.NativeValue(TQRPage::LeftMarginIndex));
        if (!(FLastPage && !FReport.HasOption(LastPageFooter))) PrintBand(FReport.BandOfType(rbPageFooter));
        // The page objects: controls placed on the report itself, and the report's frame.
        for (controls::TQRPrintable* p : std::vector<controls::TQRPrintable*>(FReport.Printables()))
            if (p->PrintConditionHolds()) p->PrintAt(0, 0);
        if (FinalPass()) {
            auto n = [&](size_t i) { return FPage.NativeValue(i); };
            const controls::TRect area{FTarget.DeviceX(n(TQRPage::LeftMarginIndex)),
                                       FTarget.DeviceY(n(TQRPage::TopMarginIndex)),
                                       FTarget.DeviceX(n(TQRPage::WidthIndex) - n(TQRPage::RightMarginIndex)),
                                       FTarget.DeviceY(n(TQRPage::LengthIndex) - n(TQRPage::BottomMarginIndex))};
            FReport.Frame()->StrokeFrameEdges([this](const controls::TRect& r, TColor c) { FTarget.FillRect(r, c); },
                                              area, FTarget.ScaleX(), FTarget.ScaleY());
        }
        if (FReport.OnEndPage && !Counting()) FReport.OnEndPage(FReport);
    }
    // The filter hears of the page's end also when no page was begun.
    if (FExportFilter) FExportFilter->EndExportPage();
}

void TQRGeneration::RequestNewPage() {
    if (FSuppressNextPageBreak) {
        FSuppressNextPageBreak = false;
        return;
    }
    int steps = 0;
    do {
        NewColumn();
    } while (FCurrentColumn != 1 && ++steps < MaxColumnSteps);
}

void TQRGeneration::RequestNewColumn() {
    // The first forced column break seen in column 1 of a run is swallowed.
    if (FColumnBreakSeen || FCurrentColumn > 1)
        NewColumn();
    else
        FColumnBreakSeen = true;
}

void TQRGeneration::MakeRoom(const TQRCustomBand& band) {
    const TQRBandType type = band.BandType();
    // A band other than a detail starts below the row of across-first details it meets.
    if (type != rbDetail && type != rbPageFooter && type != rbPageHeader && type != rbOverlay) CloseRow();
    if (band.ForceNewPage() && !FBreakFollowsDetail && !NeverBreaks(type) && FPageCount > 0) {
        RequestNewPage();
        FBreakFollowsDetail = false;
    } else if (band.ForceNewColumn() && !NeverBreaks(type) && FPageCount > 0) {
        RequestNewColumn();
    } else {
        MakeSpace(band);
    }
}

void TQRGeneration::MakeSpace(const TQRCustomBand& band) {
    const int32_t need = Rnd(band.StretchHeight(true));
    const Extended printable =
        FPage.NativeValue(TQRPage::LengthIndex) -
        (FPage.NativeValue(TQRPage::TopMarginIndex) + FPage.NativeValue(TQRPage::BottomMarginIndex));
    // A band taller than a whole page prints where it stands rather than leave empty pages behind.
    if (FPageCount == 0 || (band.BandType() != rbPageFooter && need > AvailableSpace() && need <= printable)) {
        FBreakFollowsDetail = band.BandType() == rbDetail;
        // Across-first details that do not fit start the next page, not the next column.
        if (Across(band) && FPageCount > 0) FCurrentColumn = FPage.Columns();
        NewColumn();
    } else if (band.BandType() == rbDetail) {
        FBreakFollowsDetail = false;
    }
}

void TQRGeneration::ContinueBand() {
    FBreakFollowsDetail = true;
    NewColumn();
    FBreakFollowsDetail = false;
}

bool TQRGeneration::Across(const TQRCustomBand& band) const {
    return FReport.ColumnOrder() == coAcross && FPage.Columns() > 1 && band.BandType() == rbDetail;
}

void TQRGeneration::CloseRow() {
    if (FRowHeight == 0) return;
    FCurrentY += FRowHeight;
    FRowHeight = 0;
    FCurrentColumn = 1;
    FCurrentX = Rnd(FPage.NativeValue(TQRPage::LeftMarginIndex));
    expr::TQREvEnvironment::SetIntegerConstant(FColumnNumberConst, FCurrentColumn);
}

void TQRGeneration::Advance(const TQRCustomBand& band, Extended height) {
    if (!Across(band)) {
        FCurrentY += Rnd(height);
        return;
    }
    FRowHeight = std::max<int64_t>(FRowHeight, Rnd(height));
    if (FCurrentColumn < FPage.Columns()) {
        FCurrentX += ColumnStep();
        ++FCurrentColumn;
        expr::TQREvEnvironment::SetIntegerConstant(FColumnNumberConst, FCurrentColumn);
    } else {
        CloseRow();
    }
}

} // namespace pagimo::engine
