#pragma once
// The report object: the root of a banded report. It owns the page setup, the bands laid on it and
// the controller that walks the data, and on request generates the report onto a report printer:
// pages and columns, page headers and footers, page and column numbers.

#include "controls/TextMeasure.h"
#include "engine/Controller.h"
#include "engine/Generation.h"
#include "engine/Page.h"
#include "engine/ReportTarget.h"
#include "expr/Environment.h"
#include "printer/ExportFilter.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace pagimo::engine {

// A position handed to a control, whose protocol takes 32-bit offsets.
inline int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

enum TQRReportOption { FirstPageHeader, LastPageFooter, Compression };

// How detail bands fill the columns of a page: down the first column, then the next (coDown, as
// bands always have), or along each row from column to column (coAcross: labels in reading order).
enum TQRColumnOrder { coDown, coAcross };
const system::TEnumInfo& ColumnOrderInfo();
const system::TEnumInfo& ReportOptionInfo();
constexpr uint32_t OptionBit(TQRReportOption o) {
    return 1u << o;
}

// The printer wishes a report stores with itself, as its form publishes them: Copies, Duplex,
// FirstPage, LastPage and OutputBin; the printer number is kept but not published (-1: the
// system's default printer). The wishes are the first base, so that the published accessors,
// which are theirs, are called on the object's own address.
class TQRReportPrinterSettings : public printer::TQRPrinterSettings, public system::TPersistent {
public:
    const char* ClassName() const override { return "TQRReportPrinterSettings"; }
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }
};

// The report's own named expressions, stored as two parallel string lists (names and expressions).
class TQRFunctions : public system::TPersistent {
public:
    TQRFunctions();
    const char* ClassName() const override { return "TQREvEnvironment"; }
    std::vector<std::string> Names() const { return FNames; }
    void SetNames(const std::vector<std::string>& names) { FNames = names; }
    std::vector<std::string> Expressions() const { return FExpressions; }
    void SetExpressions(const std::vector<std::string>& e) { FExpressions = e; }
    // NAME (upper-cased) with its expression; a present name gets the new expression.
    void Set(const std::string& name, const std::string& expression);
    std::optional<std::string> Find(std::string_view name) const;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    std::vector<std::string> FNames;
    std::vector<std::string> FExpressions;
};

// Flags that read whether the report has a band of each type; setting one creates or destroys it.
class TQRReportBands : public system::TPersistent {
public:
    explicit TQRReportBands(TCustomQRReport& report) : FReport(report) {}
    const char* ClassName() const override { return "TQRReportBands"; }
    bool Has(TQRBandType type) const;
    void Set(TQRBandType type, bool present);
    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    TCustomQRReport& FReport;
};

class TCustomQRReport : public TQRBasePanel, public controls::TQRPrintableReport, public controls::TQRControlReport {
public:
    using TReportEvent = std::function<void(TCustomQRReport& sender)>;
    using TBeforePrintEvent = std::function<void(TCustomQRReport& sender, bool& printReport)>;

    TCustomQRReport();
    ~TCustomQRReport() override;

    // Setup.
    TQRPage* Page() const { return FPage.get(); }
    uint32_t Options() const { return FOptions; }
    void SetOptions(uint32_t options) { FOptions = options; }
    bool HasOption(TQRReportOption o) const { return (FOptions & OptionBit(o)) != 0; }
    bool PrintIfEmpty() const { return FController->PrintIfEmpty(); }
    virtual void SetPrintIfEmpty(bool v) { FController->SetPrintIfEmpty(v); }
    std::string ReportTitle() const override { return FReportTitle; }
    void SetReportTitle(const std::string& t) { FReportTitle = t; }
    TQRColumnOrder ColumnOrder() const { return FColumnOrder; }
    void SetColumnOrder(TQRColumnOrder order) { FColumnOrder = order; }
    bool ShowProgress() const { return FShowProgress; }
    void SetShowProgress(bool v) { FShowProgress = v; }
    bool SnapToGrid() const { return FSnapToGrid; }
    void SetSnapToGrid(bool v) { FSnapToGrid = v; }
    controls::TQRUnit Units() const { return FPage->Units(); }
    // Sets the unit of the page, every band's size and every printable control's size.
    void SetUnits(controls::TQRUnit units);
    // Values outside 1..300 are ignored.
    void SetZoom(int zoom) override;
    std::vector<std::string> Description() const { return FDescription; }
    void SetDescription(const std::vector<std::string>& d) { FDescription = d; }
    TQRReportPrinterSettings* PrinterSettings() const { return FPrinterSettings.get(); }
    TQRFunctions* Functions() const { return FFunctions.get(); }
    TQRReportBands* Bands() const { return FBandFlags.get(); }
    TQRDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TQRDataSet* dataSet) { FDataSet = dataSet; }

    TBeforePrintEvent BeforePrint;
    // Receives the run's diagnostics (unknown names, printed expression errors, data sets not
    // open), as they are found; a run repeated (an export after a preview) tells them again. Not
    // published: a program installs it, a description cannot.
    std::function<void(TCustomQRReport& sender, const controls::TQRRunDiagnostic& diagnostic)> OnDiagnostic;
    TReportEvent OnStartPage;
    TReportEvent OnEndPage;
    TQRNeedDataEvent OnNeedData;

    // Bands.
    const std::vector<TQRCustomBand*>& BandList() const { return FBandList; }
    void AddBand(TQRCustomBand* band);
    void RemoveBand(TQRCustomBand* band);
    // The first band in the band list of that type.
    TQRCustomBand* BandOfType(TQRBandType type) const;
    TQRCustomBand* NewBandOfType(TQRBandType type);
    void RebuildBandList();
    // The first child band of band in band-list order (null when it has none). Answered from a
    // table built on demand; a child band that changes its parent says so through ChildLinksChanged.
    TQRCustomBand* ChildOf(const TQRCustomBand* band) const;
    void ChildLinksChanged() { FChildOfValid = false; }
    void ArrangeBands();
    TQRCustomController* Controller() const { return FController.get(); }

    // Generation. The target is the report printer of the run (borrowed).
    void SetPrintTarget(TQRReportTarget* target) { FTarget = target; }
    TQRReportTarget* Target() const { return FTarget; }
    // Runs the report on the target. Refused (returns at once) while a run is in progress. Throws
    // what the run throws, with the report ready again, its units restored and the document
    // aborted. A composite part (composite true) runs on a document the composite report opened
    // and closes, starting at *carry (a fresh position when carry is null) and leaving there where
    // it ended.
    void CreateReport(bool composite, TQRRunPosition* carry = nullptr);
    void Cancel();
    // Runs the report again through an export filter on the current target: no fills or frames,
    // pages after the first not begun on the target, the filter told of every page.
    void ExportTo(printer::TQRExporter& filter);
    // The run in progress; null between runs.
    TQRGeneration* Generation() const { return FGeneration; }

    // The page and column machinery, forwarded to the run in progress; nothing between runs.
    void PrintBand(TQRCustomBand* band);
    void NewPage();
    void NewColumn();
    void EndPage();
    void RequestNewPage();
    void RequestNewColumn();
    // 0 between runs.
    int32_t AvailableSpace() const;

    // The run's state in the words of the report object, forwarded to the run in progress; between
    // runs the values a fresh run starts from.
    int64_t CurrentX() const { return FGeneration ? FGeneration->CurrentX() : 0; }
    int64_t CurrentY() const { return FGeneration ? FGeneration->CurrentY() : TQRRunPosition{}.CurrentY; }
    int CurrentColumn() const { return FGeneration ? FGeneration->CurrentColumn() : TQRRunPosition{}.CurrentColumn; }
    int64_t ColumnTopPosition() const { return FGeneration ? FGeneration->ColumnTopPosition() : 0; }
    int PageCount() const { return FGeneration ? FGeneration->PageCount() : 0; }
    Extended PageFooterSize() const { return FGeneration ? FGeneration->PageFooterSize() : 0; }
    bool LastPage() const { return FGeneration && FGeneration->LastPage(); }

    void AddNotifyExpr(controls::TQRPrintable* control) override { FController->AddNotifyExpr(control); }
    int RecordCount() const override;
    int CurrentPageCount() const override { return PageCount(); }
    bool IsBandReport() const override;
    int DetailNumber() const override;
    // Text measurement on a screen-compatible canvas, for text controls: the text's width plus 1,
    // and the height of "A", in screen pixels of the font; 0 when the font cannot be measured
    // (no graphical application).
    int MeasureTextWidth(const controls::TFont& font, std::string_view text) const override;
    int TextHeight(const controls::TFont& font, std::string_view text) const override;
    // A counting pass tells nothing: the run that follows it tells the same.
    void Diagnose(const controls::TQRRunDiagnostic& diagnostic) override {
        if (OnDiagnostic && !(FGeneration && FGeneration->Counting())) OnDiagnostic(*this, diagnostic);
    }
    int PageNumber() const override { return FGeneration ? FGeneration->PageNumber() : 0; }
    int PageTotal() const override { return FGeneration ? FGeneration->PageTotal() : 0; }
    // Whether a run must count its pages first: the report prints its page total (TOTALPAGES,
    // qrsPageCount) or restarts page numbers per group (ResetPageNumber).
    bool NeedsPageNumbering() const;

    bool Available() const { return FGeneration == nullptr; }
    // Set by Cancel during a run; kept after it, for the caller to see how the run ended.
    bool Cancelled() const { return FCancelled; }
    // The most pages a run may make (a description that never stops breaking pages ends with an
    // error instead of filling the disk); 0 or less restores the default.
    static constexpr int DefaultMaxPages = 100'000;
    int MaxPages() const { return FMaxPages; }
    void SetMaxPages(int pages) { FMaxPages = pages > 0 ? pages : DefaultMaxPages; }
    // The data sets of the run's form (empty between runs).
    const std::vector<TQRDataSet*>& AllDataSets() const;
    // The data sets as expressions of this run reach them.
    expr::TQREvDataSets EvDataSets() const override;
    // The report's named expressions, prepared for the current run (null between runs).
    expr::TQREvEnvironment* Environment() const override { return FGeneration ? FGeneration->Environment() : nullptr; }
    printer::TQRExporter* ExportFilter() const override { return FGeneration ? FGeneration->ExportFilter() : nullptr; }
    // The value of a report function (query parameters take it): evaluated in the run's
    // environment; between runs only literals, the title, and 0 for the page and column numbers.
    // None for an unknown name or an expression in error.
    std::optional<TFieldValue> FunctionValue(std::string_view name) const;

    // TQRPrintableReport
    controls::TQRPrintTarget* PrintTarget() const override { return FTarget; }
    // The run's final pass; between runs, whether the next runs are final passes.
    bool FinalPass() const override { return FGeneration ? FGeneration->FinalPass() : FFinalPass; }
    // Makes the next runs final passes or not; an export run is never one.
    void SetFinalPass(bool v) { FFinalPass = v; }
    bool Exporting() const override { return FGeneration && FGeneration->Exporting(); }
    int FontSize() const override { return Font()->Size(); }
    controls::TQRUnit ReportUnits() const override { return Units(); }
    int ReportZoom() const override { return Zoom(); }

    // TQRBasePanel / TQRPrintableParent
    TCustomQRReport* Report() const override { return const_cast<TCustomQRReport*>(this); }
    bool IsBand() const override { return false; }
    controls::TQRUnit PanelUnits() const override { return Units(); }
    std::vector<system::TComponent*> GetChildren() const override;
    void SetParentComponent(system::TComponent* parent) override;
    system::TComponent* GetParentComponent() const override { return FParentComponent; }

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Loaded() override;
    void Notification(system::TComponent* component, system::TOperation operation) override;
    // TQRReport binds its bands to the main controller before it runs.
    virtual void Execute();
    std::unique_ptr<TQRController> FController;

private:
    friend class TQRGeneration;

    std::unique_ptr<TQRPage> FPage;
    std::unique_ptr<TQRReportPrinterSettings> FPrinterSettings;
    std::unique_ptr<TQRFunctions> FFunctions;
    std::unique_ptr<TQRReportBands> FBandFlags;
    std::vector<TQRCustomBand*> FBands;    // every band on the report, in the order they came
    std::unordered_set<const TQRCustomBand*> FBandSet; // the bands of FBands, for membership tests
    std::vector<TQRCustomBand*> FBandList; // band-list order
    mutable std::unordered_map<const TQRCustomBand*, TQRCustomBand*> FChildOf;
    mutable bool FChildOfValid = false;
    TQRDataSet* FDataSet = nullptr;
    TQRReportTarget* FTarget = nullptr;
    system::TComponent* FParentComponent = nullptr;
    uint32_t FOptions = OptionBit(FirstPageHeader) | OptionBit(LastPageFooter);
    std::string FReportTitle;
    std::vector<std::string> FDescription;
    bool FShowProgress = true;
    bool FSnapToGrid = true;
    TQRColumnOrder FColumnOrder = coDown;
    bool FCancelled = false;
    int FMaxPages = DefaultMaxPages;
    bool FFinalPass = true;
    TQRGeneration* FGeneration = nullptr;
    controls::TQRTextMeasure FMeasure;

    void Generate(bool composite, TQRRunPosition* carry, printer::TQRExporter* filter);
    void FitMarginsToPaper();
    // What a run asks of the report it runs.
    void CollectDataSets(std::vector<TQRDataSet*>& out) const;
    // The height of all enabled page footers with their child bands.
    Extended PageFooterArea() const;
    // Every band and every printable control placed on the report learns that it belongs to it.
    void AttachBands();
    void ForEachPrintable(const std::function<void(controls::TQRPrintable&)>& f) const;
    TQRDocumentSettings DocumentSettings() const;
};

// The published report: binds its first detail, title and summary bands to the main controller.
class TQRReport : public TCustomQRReport {
public:
    static const char* StaticClassName() { return "TQRReport"; }
    const char* ClassName() const override { return StaticClassName(); }

protected:
    void Execute() override;
};

// Registers the report classes (reports, bands, groups, sub-details, data sets) under their names.
void RegisterReportClasses(system::TClassRegistry& registry);

} // namespace pagimo::engine
