#pragma once
// One generation run of a report. CreateReport makes it, and it lives exactly as long as the run:
// it owns the run's state (where the next band goes, the column being filled, the pages begun, the
// top of the later columns, the page-footer area, the break flags, the final pass and export state,
// the run's data sets, the prepared environment with its page and column constants, one record per
// group) and does the page and column machinery that bands and controllers call. Its destructor
// restores what every run restores, on every way out: the report's units, the run preparation of
// controls and controllers, the environment, the document of a run that failed (aborted, never
// finished as if it were complete), and the report's readiness for the next run.
//
// Distances are whole tenths of a millimetre (the report runs in Native units); 64 bits, so that
// hostile sizes and column counts cannot overflow them.

#include "controls/UnitBase.h"
#include "engine/DataSet.h"
#include "engine/ReportTarget.h"
#include "expr/Environment.h"
#include "expr/Evaluator.h"
#include "platform/system/Errors.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pagimo::printer {
class TQRExporter;
}

namespace pagimo::engine {

class TCustomQRReport;
class TQRCustomBand;
class TQRGroup;
class TQRPage;

// The value a group compares between records: a different kind is a change, equal kinds compare
// by value (strings byte for byte).
using TQRGroupValue = TFieldValue;

// Where a run starts and where it ended: the top of the next band, the pages begun so far and the
// column. A composite document carries it from one report's run to the next.
struct TQRRunPosition {
    int64_t CurrentY = -1;
    int PageCount = 0;
    int CurrentColumn = 1;
};

// How the pages of a run are numbered: the number of pages and the first pages of the sections that
// groups with ResetPageNumber begin (each section counts its pages from 1). A counting pass fills
// it; the run that draws the pages reads it, so that page 1 of 3 knows its 3 before it prints.
struct TQRPageNumbering {
    bool Known = false;
    int Total = 0;
    std::vector<int> SectionStarts; // ascending page numbers; page 1 always starts a section
};

// A group's state during one run.
struct TQRGroupRun {
    bool HasValue = false;
    bool Changed = false;
    bool GroupOpen = false; // header printed, footer not yet
    int HeaderPage = 1;     // page of the last header print
    TQRGroupValue LastValue;

    // Parses the group's expression against the run's data sets and environment, and tells report
    // what the expression gets wrong.
    void Prepare(const TQRGroup& group, TCustomQRReport& report);
    void Release();
    TQRGroupValue Evaluate() const;
    // Stores the current value; Changed tells whether it differs from the last one.
    void TestGroupValue();
    void StoreCurrentValue();

private:
    std::unique_ptr<expr::TQREvaluator> FEvaluator;
};

// A run ended by a terminating signal of the process (see InstallTerminationRequest): the run unwinds
// like any failed one, leaving nothing behind.
class ERunInterrupted : public EQRError {
public:
    ERunInterrupted(int signal, int page)
        : EQRError("the run was interrupted at page " + std::to_string(page)), Signal(signal) {}
    int Signal;
};

class TQRGeneration {
public:
    // Begins a run of report on target: the report is busy from here on (a further CreateReport is
    // refused), its Cancelled flag is cleared and the data sets of its form are collected. A
    // composite part (continueAt set) starts at that position on a document someone else opened
    // and closes; an export run (exportFilter set) is no final pass and tells the filter of every
    // page; otherwise the run is a final pass when the report's FinalPass says so. Throws EQRError
    // when the report is already generating.
    TQRGeneration(TCustomQRReport& report, TQRReportTarget& target, const TQRRunPosition* continueAt = nullptr,
                  printer::TQRExporter* exportFilter = nullptr);
    ~TQRGeneration();
    TQRGeneration(const TQRGeneration&) = delete;
    TQRGeneration& operator=(const TQRGeneration&) = delete;

    // Before Begin: makes this run a counting pass, which draws nothing, calls no page events, tells
    // no diagnostics and leaves the page numbering it found in into.
    void CountPages(TQRPageNumbering& into);
    // Before Begin: the numbering a counting pass found, for TOTALPAGES and the page numbers.
    void NumberPages(const TQRPageNumbering& numbering) { FNumbering = numbering; }
    bool Counting() const { return FCountInto != nullptr; }
    // The page number as printed (from the first page of the current section) and the number of
    // pages of the section (0 while it is not known).
    int PageNumber() const { return FPageCount - FSectionFirst + 1; }
    int PageTotal() const;
    // A section of page numbers begins on the page where band (a group header with a new value)
    // is placed; BandPlaced starts it once the band has made its room.
    void StartSectionAt(const TQRCustomBand* band) { FSectionBand = band; }
    void BandPlaced(const TQRCustomBand& band) {
        if (&band != FSectionBand) return;
        FSectionBand = nullptr;
        StartSection();
    }

    // The steps of a run, in order; CreateReport drives them with the main controller's Execute
    // between them, tests drive pagination with PrintBand between them.
    // Switches the report to Native units, opens the document (not for a composite part), starts
    // the export, sizes the page-footer area, prepares the environment, the controllers and the
    // controls.
    void Begin();
    // Closes the final page (unless cancelled; a composite part only when it is the last, Tag 999),
    // finishes the export, undoes the preparation and closes the document: aborted when cancelled
    // or on an export pass, finished otherwise; a composite part leaves it open.
    void Finish();

    // State.
    TCustomQRReport& Report() const { return FReport; }
    TQRReportTarget& Target() const { return FTarget; }
    int64_t CurrentX() const { return FCurrentX; }
    int64_t CurrentY() const { return FCurrentY; }
    int CurrentColumn() const { return FCurrentColumn; }
    int64_t ColumnTopPosition() const { return FColumnTopPosition; }
    int PageCount() const { return FPageCount; }
    Extended PageFooterSize() const { return FPageFooterSize; }
    bool LastPage() const { return FLastPage; }
    TQRRunPosition Position() const { return {FCurrentY, FPageCount, FCurrentColumn}; }
    bool Composite() const { return FComposite; }
    // False while exporting (or when the report asked for a pass that is not final): pages after
    // the first are not begun on the target, bands and the report draw no fills or frames, and the
    // document is aborted at the end.
    bool FinalPass() const { return FFinalPass; }
    bool Exporting() const { return FExportFilter != nullptr; }
    printer::TQRExporter* ExportFilter() const { return FExportFilter; }
    // The next forced page break is swallowed (the title and the first column header set this).
    void SuppressNextPageBreak() { FSuppressNextPageBreak = true; }

    // Page and column machinery.
    // Places a band at the current position (bottom-aligned bands lower) and lets it print.
    void PrintBand(TQRCustomBand* band);
    void NewPage();
    void NewColumn();
    void EndPage();
    // Forced breaks of bands with ForceNewPage and ForceNewColumn.
    void RequestNewPage();
    void RequestNewColumn();
    // Tenths of a millimetre left above the page-footer area; 0 before the first page.
    int32_t AvailableSpace() const;

    // The steps of a band's print that move the run.
    // Before the band prints: its forced page or column break, or else its space check.
    void MakeRoom(const TQRCustomBand& band);
    // A new column (or page) when the band does not fit; page 1 when none is begun yet.
    void MakeSpace(const TQRCustomBand& band);
    // The break that carries a band whose controls did not finish onto the next column or page.
    void ContinueBand();
    // Moves the position below a printed band of that height; with ColumnOrder coAcross a detail
    // band moves to the next column of its row instead, and the last column ends the row.
    void Advance(const TQRCustomBand& band, Extended height);
    // Every band print ends here, its child bands included.
    void EndBand() { FBreakFollowsDetail = false; }
    // A band that printed (enabled, not vetoed) counts here.
    void BandPrinted() { ++FBandsPrinted; }
    int BandsPrinted() const { return FBandsPrinted; }

    // Data and expressions of the run.
    const std::vector<TQRDataSet*>& AllDataSets() const { return FAllDataSets; }
    expr::TQREvDataSets EvDataSets() const;
    // The report's named expressions prepared for this run (null before Begin).
    expr::TQREvEnvironment* Environment() const { return FEnvironment.get(); }
    // A component going away during the run is dropped from the run's data sets.
    void Forget(const system::TComponent* component);
    // The run record of group, made on first use.
    TQRGroupRun& Group(const TQRGroup& group) { return FGroups[&group]; }
    // Whether band's PrintCondition lets it print now (true without one; a condition that gives no
    // true/false value prints the band and is told once).
    bool BandConditionHolds(const TQRCustomBand& band);

private:
    TCustomQRReport& FReport;
    TQRReportTarget& FTarget;
    TQRPage& FPage;
    const bool FComposite;
    printer::TQRExporter* const FExportFilter;
    bool FFinalPass;
    TQRPageNumbering* FCountInto = nullptr;
    TQRPageNumbering FNumbering;
    int FSectionFirst = 1;
    const TQRCustomBand* FSectionBand = nullptr;

    int64_t FCurrentX = 0;
    int64_t FCurrentY = -1;
    int FCurrentColumn = 1;
    int64_t FColumnTopPosition = 0;
    int FPageCount = 0;
    Extended FPageFooterSize = 0;
    bool FLastPage = false;
    bool FSuppressNextPageBreak = false;
    bool FColumnBreakSeen = false;
    // Set while a detail band's new column or a band's continuation break runs: a band with
    // ForceNewPage printed from inside it forces no second page.
    bool FBreakFollowsDetail = false;
    int FBandsPrinted = 0;
    // Across-first columns: the height of the row of details being filled (0: no row open).
    int64_t FRowHeight = 0;

    std::vector<TQRDataSet*> FAllDataSets;
    std::unique_ptr<expr::TQREvEnvironment> FEnvironment;
    expr::TQREvElement* FPageNumberConst = nullptr;
    expr::TQREvElement* FColumnNumberConst = nullptr;
    std::unordered_map<const TQRGroup*, TQRGroupRun> FGroups;
    struct TBandCondition {
        std::unique_ptr<expr::TQREvaluator> Evaluator;
        bool Told = false;
    };
    std::unordered_map<const TQRCustomBand*, TBandCondition> FBandConditions;

    // What the run has to undo; each step undoes itself once.
    std::optional<controls::TQRUnit> FSavedUnits; // switched to Native; the units to restore
    bool FPrinting = false;                       // controllers and controls prepared
    bool FDocumentOpen = false;                   // this run began the document and has not closed it

    int32_t PaperLengthForSpace(bool alignToBottom) const;
    void PrepareEnvironment();
    void PrepareBandConditions();
    // Sets PAGENUMBER and TOTALPAGES for the current page.
    void UpdatePageConstants();
    void StartSection();
    bool Across(const TQRCustomBand& band) const;
    // The distance from one column's left edge to the next one's.
    int64_t ColumnStep() const;
    // Ends the open row of across-first details: the next band goes below it, in column 1.
    void CloseRow();
    void RestoreUnits();
    void EndPrinting();
    void ReleaseEnvironment();
};

} // namespace pagimo::engine
