#pragma once
// TQRExpr: a text control whose text is the value of a report expression, evaluated by its own
// evaluator each time it prints. Aggregating expressions (sums, counts, averages) are fed one
// notification per printed record by the controller of their record source: the report or
// sub-detail named as Master, or the control's own report. Names the expression does not know
// (at the start of a run) and the first error it prints are told to the report as diagnostics.

#include "controls/Label.h"
#include "expr/Evaluator.h"

namespace pagimo::controls {

class TQRExpr : public TQRCustomLabel {
public:
    TQRExpr();
    ~TQRExpr() override;
    static const char* StaticClassName() { return "TQRExpr"; }
    const char* ClassName() const override { return StaticClassName(); }

    std::string Expression() const { return FExpression; }
    // Also shows the expression (or "(none)") as the caption.
    void SetExpression(const std::string& expression);
    std::string Mask() const { return FMask; }
    void SetMask(const std::string& mask);
    system::TComponent* Master() const { return FMaster; }
    void SetMaster(system::TComponent* master) { FMaster = master; }
    bool ResetAfterPrint() const { return FResetAfterPrint; }
    void SetResetAfterPrint(bool reset) { FResetAfterPrint = reset; }

    // Clears the aggregates accumulated so far.
    void Reset();
    // The evaluator's current value as printed text.
    std::string ValueText();
    // A value as printed text: numbers through the mask (a date mask shows day counts and
    // YYYY-MM-DD texts as dates), errors as their message.
    std::string TextOf(const expr::EvResult& value) const;
    expr::TQREvaluator& Evaluator() { return FEvaluator; }
    // Whether the control asked for record notifications in the current run.
    bool Registered() const { return FRegistered; }

    void StartPrinting() override;
    void PrintAt(int32_t ofsX, int32_t ofsY) override;
    void EndPrinting() override;
    bool UsesPageTotal() const override;
    // Operation 0 (a record printed): accumulate the aggregates for the current record.
    void BandNotify(system::TComponent* sender, int operation) override;

    static const system::TPropertyList& ClassProperties();
    const system::TPropertyList& Properties() const override { return ClassProperties(); }

protected:
    void Notification(system::TComponent* component, system::TOperation operation) override;

private:
    std::string FExpression;
    std::string FMask;
    system::TComponent* FMaster = nullptr;
    bool FResetAfterPrint = false;
    bool FRegistered = false;
    bool FErrorReported = false; // the first printed error of the run went to the report's listener
    bool FCutReported = false;   // and the first text cut short
    expr::TQREvaluator FEvaluator;
};

} // namespace pagimo::controls
