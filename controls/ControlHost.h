#pragma once
// What the printable controls ask of the panels and the report they sit on, beyond the printable
// base: the panel's effective font, the growth of a band under stretching text, the run's data
// for system data and expressions, and the controllers that feed aggregating expressions. The
// engine implements these; a control finds them with dynamic_cast on its parent and report, so a
// control placed on something else simply does without.

#include "controls/Graphics.h"
#include "controls/UnitBase.h"
#include "expr/EvDataSet.h"

#include <string>
#include <string_view>

namespace pagimo::printer {
class TQRExporter;
}
namespace pagimo::expr {
class TQREvEnvironment;
class TQREvaluator;
} // namespace pagimo::expr
namespace pagimo::system {
class TComponent;
}

namespace pagimo::controls {

class TQRPrintable;

// A panel whose font a control with ParentFont on takes.
class TQRFontParent {
public:
    virtual ~TQRFontParent() = default;
    // The panel's own font, or the font it inherits itself.
    virtual const TFont& EffectiveFont() const = 0;
};

// A band that a stretching control may grow while it prints.
class TQRStretchParent {
public:
    virtual ~TQRStretchParent() = default;
    // Whether the page has room for the band to grow by amount (tenths of a millimetre).
    virtual bool CanExpand(Extended amount) const = 0;
    // Grows the band by amount; newExpansion receives the band's total growth so far.
    virtual bool ExpandBand(Extended amount, Extended& newExpansion, bool& hasExpanded) = 0;
};

// A mistake of a description that a run finds but its pages show, if at all, only as text: a data
// set the report reads that is not open, an expression that does not parse or names what neither a
// field nor a function is (found when the run is prepared, before any page), an expression error
// printed into the report, a value cut short, a picture or barcode that cannot be drawn. The run
// goes on as before; a program that wants to hear of these installs a receiver on the report.
// Component and Property say where the description holds the mistake, so that a caller who read the
// description can name its line.
struct TQRRunDiagnostic {
    enum TKind { UnknownName, ExpressionError, InactiveDataSet, SyntaxError, TextCut, NotDrawn };
    TKind Kind = ExpressionError;
    std::string Source;                            // the control, group, report function or data set it concerns
    int Page = 0;                                  // the page it printed on; 0 when found before the pages
    std::string Text;                              // the unknown name, the error message, or the data set's name
    const system::TComponent* Component = nullptr; // the component whose property holds it, if known
    std::string Property;                          // that property (Expression, PrintCondition ...)
};

// The report as text, system-data and expression controls see it during a run.
class TQRControlReport {
public:
    virtual ~TQRControlReport() = default;
    virtual std::string ReportTitle() const = 0;
    // Pages begun so far in the current run: the current page number.
    virtual int CurrentPageCount() const = 0;
    // The page number as printed (counted from the first page of the group when a group restarts
    // the page numbers), and the number of pages it counts up to (0 while it is not known).
    virtual int PageNumber() const { return CurrentPageCount(); }
    virtual int PageTotal() const { return 0; }
    // The record count of the report's data set; 1 when it has none that can be counted.
    virtual int RecordCount() const = 0;
    // Whether the report is a band report (not a composite one); only such a report has details.
    virtual bool IsBandReport() const = 0;
    // The detail number of the report's main controller.
    virtual int DetailNumber() const = 0;
    // The export filter of an export run; null otherwise.
    virtual printer::TQRExporter* ExportFilter() const = 0;
    // The data sets and named expressions of the current run, for expression controls.
    virtual expr::TQREvDataSets EvDataSets() const = 0;
    virtual expr::TQREvEnvironment* Environment() const = 0;
    // Registers a control for a notification (BandNotify, operation 0) per printed detail.
    virtual void AddNotifyExpr(TQRPrintable* control) = 0;
    // Text measurement on the report's reference device: width of the text plus 1, and the
    // height of a one-character text, in screen pixels of the font; 0 when it cannot be measured.
    virtual int MeasureTextWidth(const TFont& font, std::string_view text) const = 0;
    virtual int TextHeight(const TFont& font, std::string_view text) const = 0;
    // Passes a diagnostic of the run to whoever listens; nobody by default.
    virtual void Diagnose(const TQRRunDiagnostic&) {}
};

// A band with a controller of its own (a sub-detail) that feeds expression controls its records.
class TQRRecordSource {
public:
    virtual ~TQRRecordSource() = default;
    virtual void AddRecordListener(TQRPrintable* control) = 0;
};

// Whether an expression text calls TOTALPAGES (a name outside quotes, any case): a report that
// does runs a counting pass first.
bool NamesPageTotal(std::string_view expression);

// Prepares evaluator with text for a run of report (its data sets and named expressions) and tells
// the report what the text gets wrong: errors of the parse first, then names that are neither
// fields nor functions, each as a diagnostic of source's property. Without a report the evaluator
// is prepared with no data sets. True when it told something: the errors such an expression prints
// later are the same fault and need not be told again.
bool PrepareForRun(expr::TQREvaluator& evaluator, const std::string& text, TQRControlReport* report,
                   const system::TComponent& source, const char* property);

} // namespace pagimo::controls
