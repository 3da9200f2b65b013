#include "controls/ExprControl.h"

#include "controls/ControlHost.h"
#include "expr/DateTime.h"
#include "expr/NumberFormat.h"
#include "expr/Utf8.h"

namespace pagimo::controls {

TQRExpr::TQRExpr() {
    // It links to its master controller, a sibling, but never looks at it when it goes.
    SetTakesNotifications(true);
    SetQuietInTeardown(true);
    SetExpression("");
}

TQRExpr::~TQRExpr() {
    BeginDestroy();
}

void TQRExpr::SetExpression(const std::string& expression) {
    FExpression = expression;
    SetCaption(expression.empty() ? std::string("(none)") : expression);
}

void TQRExpr::SetMask(const std::string& mask) {
    FMask = mask;
    SetExpression(FExpression);
}

void TQRExpr::Notification(system::TComponent* component, system::TOperation operation) {
    TQRCustomLabel::Notification(component, operation);
    if (operation == system::opRemove && component == FMaster) FMaster = nullptr;
}

void TQRExpr::Reset() {
    if (FEvaluator.Prepared()) FEvaluator.Reset();
}

void TQRExpr::StartPrinting() {
    TQRCustomLabel::StartPrinting();
    auto* report = dynamic_cast<TQRControlReport*>(ParentReport());
    FErrorReported = PrepareForRun(FEvaluator, FExpression, report, *this, "Expression");
    FCutReported = false;
    FRegistered = false;
    if (FMaster) {
        if (auto* masterReport = dynamic_cast<TQRControlReport*>(FMaster)) {
            masterReport->AddNotifyExpr(this);
            FRegistered = true;
        } else if (auto* source = dynamic_cast<TQRRecordSource*>(FMaster)) {
            source->AddRecordListener(this);
            FRegistered = true;
        }
    } else if (report && FEvaluator.IsAggregate()) {
        report->AddNotifyExpr(this);
        FRegistered = true;
    }
    FEvaluator.Reset();
}

void TQRExpr::BandNotify(system::TComponent* sender, int operation) {
    TQRCustomLabel::BandNotify(sender, operation);
    if (operation == 0 && FEvaluator.Prepared()) FEvaluator.DoAggregate();
}

std::string TQRExpr::ValueText() {
    return TextOf(FEvaluator.Value());
}

std::string TQRExpr::TextOf(const expr::EvResult& value) const {
    // A date mask shows day counts and date texts as dates; a text that is no date stays as it is.
    if (!FMask.empty() && (value.IsNumeric() || value.Kind == expr::resString) && expr::IsDateMask(FMask)) {
        if (const std::optional<expr::TQRDateTime> when = expr::DateTimeOf(value))
            if (std::optional<std::string> text = expr::FormatDateTime(FMask, *when)) return std::move(*text);
        if (value.Kind == expr::resString) return value.StrResult;
    }
    switch (value.Kind) {
    case expr::resInt:
    case expr::resDouble:
        return expr::FormatFloat(FMask, value.AsDouble(), expr::CurrentLocale()).value_or(std::string());
    case expr::resString:
    case expr::resError:
        return value.StrResult;
    case expr::resBool:
        return value.BooResult ? "True" : "False";
    }
    return std::string();
}

void TQRExpr::PrintAt(int32_t ofsX, int32_t ofsY) {
    if (!PrintEnabled()) return;
    if (FEvaluator.Prepared()) {
        const expr::EvResult value = FEvaluator.Value();
        // The first error this control prints in a run is told to the report's listener, and so is
        // the first text cut short.
        TQRControlReport* report = ControlReport();
        if (value.Kind == expr::resError && !FErrorReported) {
            FErrorReported = true;
            if (report)
                report->Diagnose({TQRRunDiagnostic::ExpressionError, Name(), report->CurrentPageCount(),
                                  value.StrResult.empty() ? std::string("an error without message (wrong arguments?)")
                                                          : value.StrResult,
                                  this, "Expression"});
        }
        if (value.Cut && !FCutReported) {
            FCutReported = true;
            if (report)
                report->Diagnose({TQRRunDiagnostic::TextCut, Name(), report->CurrentPageCount(),
                                  "text longer than " + std::to_string(expr::MaxResultBytes) + " bytes was cut there",
                                  this, "Expression"});
        }
        SetPrintText(TextOf(value));
    }
    TQRCustomLabel::PrintAt(ofsX, ofsY);
    // A text continued on the next page still shows the value it started with.
    if (FResetAfterPrint && PrintFinished()) Reset();
}

bool TQRExpr::UsesPageTotal() const {
    return TQRCustomLabel::UsesPageTotal() || NamesPageTotal(FExpression);
}

void TQRExpr::EndPrinting() {
    FEvaluator.SetDataSets({});
    FEvaluator.Unprepare();
    FRegistered = false;
    TQRCustomLabel::EndPrinting();
    SetExpression(FExpression);
}

const system::TPropertyList& TQRExpr::ClassProperties() {
    using namespace system;
    using E = TQRExpr;
    static const TPropertyList list = [] {
        std::vector<TPropertyInfo> own =
            LabelProperties({"Alignment", "AlignToBand", "AutoSize", "AutoStretch", "BiDiMode", "Color", "Font",
                             "FontSize", "ParentBiDiMode", "ParentFont", "Transparent", "WordWrap",
                             "HighlightCondition", "HighlightColor", "HighlightFont"});
        own.push_back(ComponentProperty<E, TComponent>("Master", &E::Master, &E::SetMaster));
        own.push_back(BoolProperty<E>("ResetAfterPrint", &E::ResetAfterPrint, &E::SetResetAfterPrint, false));
        own.push_back(StringProperty<E>("Expression", &E::Expression, &E::SetExpression));
        own.push_back(StringProperty<E>("Mask", &E::Mask, &E::SetMask));
        return TPropertyList(&TQRPrintable::ClassProperties(), std::move(own));
    }();
    return list;
}

} // namespace pagimo::controls
