#pragma once
// The report object: the root of a banded report. It owns the page setup, the bands laid on it and
// the controller that walks the data, and on request generates the report onto a report printer:
// pages and columns, page headers and footers, page and column numbers.

#include "controls/TextMeasure.h"
#include "engine/Controller.h"
#include "engine/Page.h"
#include "engine/ReportTarget.h"
#include "expr/Environment.h"
#include "printer/ExportFilter.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

namespace pagimo::engine {

// A position handed to a control, whose protocol takes 32-bit offsets.
inline int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

enum TQRReportOption { FirstPageHeader, LastPageFooter, Compression };
const system::TEnumInfo& ReportOptionInfo();
constexpr uint32_t OptionBit(TQRReportOption o) {
    return 1u << o;
}

// The printer wishes a report stores with itself.
class TQRReportPrinterSettings : public system::TPersistent {
public:
    const char* ClassName() const override { return "TQRReportPrinterSettings"; }
    int Copies() const { return FCopies; }
    void SetCopies(int v) { FCopies = v; }
    bool Duplex() const { return FDuplex; }
    void SetDuplex(bool v) { FDuplex = v; }
    int FirstPage() const { return FFirstPage; }
    void SetFirstPage(int v) { FFirstPage = v; }
    int LastPage() const { return FLastPage; }
    void SetLastPage(int v) { FLastPage = v; }
    TQRBin OutputBin() const { return FOutputBin; }
    void SetOutputBin(TQRBin v) { FOutputBin = v; }
    int PrinterIndex = -1; // not published: the system's default printer

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

private:
    int FCopies = 1;
    bool FDuplex = false;
    int FFirstPage = 0;
    int FLastPage = 0;
    TQRBin FOutputBin = TQRBin::Auto;
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
    void ArrangeBands();
    TQRCustomController* Controller() const { return FController.get(); }

    // Generation. The target is the report printer of the run (borrowed).
    void SetPrintTarget(TQRReportTarget* target) { FTarget = target; }
    TQRReportTarget* Target() const { return FTarget; }
    // Runs the report on the target. Refused (returns at once) while a run is in progress. Throws
    // what the run throws, with Available, the units and the document restored.
    void CreateReport(bool composite);
    void Cancel();
    // Runs the report again through an export filter on the current target: no fills or frames,
    // pages after the first not begun on the target, the filter told of every page.
    void ExportTo(printer::TQRExporter& filter);
    printer::TQRExporter* ExportFilter() const override { return FExportFilter; }
    void PrintBand(TQRCustomBand* band);
    void NewPage();
    void NewColumn();
    void EndPage();
    void RequestNewPage();
    void RequestNewColumn();
    int32_t AvailableSpace() const;
    void AddNotifyExpr(controls::TQRPrintable* control) override { FController->AddNotifyExpr(control); }
    int RecordCount() const override;
    int CurrentPageCount() const override { return PageCount; }
    bool IsBandReport() const override;
    int DetailNumber() const override;
    // Text measurement on a screen-compatible canvas, for text controls: the text's width plus 1,
    // and the height of "A", in screen pixels of the font; 0 when the font cannot be measured
    // (no graphical application).
    int MeasureTextWidth(const controls::TFont& font, std::string_view text) const override;
    int TextHeight(const controls::TFont& font, std::string_view text) const override;

    // Run state.
    bool Available() const { return FAvailable; }
    bool Cancelled() const { return FCancelled; }
    // Positions are whole tenths of a millimetre; 64 bits, so that hostile sizes and column counts
    // cannot overflow them.
    int64_t CurrentX = 0;
    int64_t CurrentY = -1;
    int CurrentColumn = 1;
    int64_t ColumnTopPosition = 0;
    int PageCount = 0;
    Extended PageFooterSize = 0;
    bool LastPage = false;
    bool IsExporting = false;
    bool SuppressNextPageBreak = false;
    bool ColumnBreakSeen = false;
    // Set while a detail band's new column or a band's continuation break runs.
    bool BreakFollowsDetail = false;
    const std::vector<TQRDataSet*>& AllDataSets() const { return FAllDataSets; }
    // The data sets as expressions of this run reach them.
    expr::TQREvDataSets EvDataSets() const override;
    // The report's named expressions, prepared for the current run (null between runs).
    expr::TQREvEnvironment* Environment() const override { return FEnvironment.get(); }
    // The live constants of the run.
    int PageNumberValue() const { return FPageNumber; }
    int ColumnNumberValue() const { return FColumnNumber; }
    // The value of a report function (query parameters take it): evaluated in the run's
    // environment; between runs only literals and the live constants. None for an unknown name or
    // an expression in error.
    std::optional<TFieldValue> FunctionValue(std::string_view name) const;

    // TQRPrintableReport
    controls::TQRPrintTarget* PrintTarget() const override { return FTarget; }
    bool FinalPass() const override { return FFinalPass; }
    void SetFinalPass(bool v) { FFinalPass = v; }
    bool Exporting() const override { return IsExporting; }
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
    std::unique_ptr<TQRPage> FPage;
    std::unique_ptr<TQRReportPrinterSettings> FPrinterSettings;
    std::unique_ptr<TQRFunctions> FFunctions;
    std::unique_ptr<TQRReportBands> FBandFlags;
    std::vector<TQRCustomBand*> FBands;    // every band on the report, in the order they came
    std::vector<TQRCustomBand*> FBandList; // band-list order
    std::vector<TQRDataSet*> FAllDataSets;
    TQRDataSet* FDataSet = nullptr;
    TQRReportTarget* FTarget = nullptr;
    system::TComponent* FParentComponent = nullptr;
    uint32_t FOptions = OptionBit(FirstPageHeader) | OptionBit(LastPageFooter);
    std::string FReportTitle;
    std::vector<std::string> FDescription;
    bool FShowProgress = true;
    bool FSnapToGrid = true;
    bool FAvailable = true;
    bool FFinalPass = true;
    bool FCancelled = false;
    int FPageNumber = 0;
    int FColumnNumber = 0;
    std::unique_ptr<expr::TQREvEnvironment> FEnvironment;
    printer::TQRExporter* FExportFilter = nullptr;
    controls::TQRTextMeasure FMeasure;
    expr::TQREvElement* FPageNumberConst = nullptr;
    expr::TQREvElement* FColumnNumberConst = nullptr;

    void PrepareEnvironment();
    void ReleaseEnvironment();

    void CollectDataSets();
    void ResetPageFooterSize();
    void ForEachPrintable(const std::function<void(controls::TQRPrintable&)>& f) const;
    int32_t PaperLengthForSpace(bool alignToBottom) const;
    void SendPrinterValues();
    void EndPageObjects();
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
