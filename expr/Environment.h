#pragma once
// Named expressions that other expressions use like variables: each report's own environment
// (its Functions: PAGENUMBER, COLUMNNUMBER, REPORTTITLE ...) and the process-wide global one
// ("AppStartTime", "AppStartDate", "AppName").
//
// Live constants, as the report engine uses them: prepare the environment, take Constant() of an
// entry whose expression is a single literal ("0", "''"), and overwrite it with
// SetIntegerConstant/SetStringConstant/SetConstant as pages and columns begin; every expression
// that names the entry sees the new value at its next evaluation.

#include "expr/Elements.h"
#include "expr/EvDataSet.h"
#include "expr/Evaluator.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pagimo::expr {

class TQREvEnvironment;

// One named expression with its own evaluator. Evaluating it while it is already being evaluated
// (an expression that uses its own name, directly or through other names) yields the error
// "Recursive calls not allowed".
class TQREvEmbeddedFunction : public TQREvElement {
public:
    explicit TQREvEmbeddedFunction(std::string expression) : FExpression(std::move(expression)) {}
    EvResult Value(TQRFiFo&) override { return Evaluate(); }
    EvResult Evaluate();
    void Restart() override { FEvaluator.Reset(); }
    const std::string& Expression() const { return FExpression; }
    TQREvaluator& Evaluator() { return FEvaluator; }

    // Deepest chain of named expressions evaluated inside one another.
    static constexpr int MaxChain = 128;

private:
    std::string FExpression;
    TQREvaluator FEvaluator;
    bool FInEvaluation = false;
};

// Stands for an environment entry inside another expression. It does not keep the entry alive:
// once the entry is deleted the wrapper yields "Unknown function : <name>".
class TQREvElementWrapper : public TQREvElement {
public:
    TQREvElementWrapper(std::weak_ptr<TQREvEmbeddedFunction> function, std::string name)
        : FFunction(std::move(function)), FName(std::move(name)) {}
    EvResult Value(TQRFiFo& fifo) override;

private:
    std::weak_ptr<TQREvEmbeddedFunction> FFunction;
    std::string FName;
};

class TQREvEnvironment {
public:
    TQREvEnvironment() = default;
    ~TQREvEnvironment();
    TQREvEnvironment(const TQREvEnvironment&) = delete;
    TQREvEnvironment& operator=(const TQREvEnvironment&) = delete;

    // Appends NAME (upper-cased) with its expression; a present name keeps its old expression.
    // When the environment is prepared, the new entry is prepared at once.
    void Add(std::string_view name, std::string expression);
    void Delete(std::string_view name);
    void Clear();

    // Counted: only the first Prepare parses the entries (each with this environment's data sets
    // and this environment for names), only the matching last Unprepare releases them.
    void Prepare();
    void Unprepare();
    bool Prepared() const { return FPrepareCount > 0; }
    // Prepares when not prepared yet (the evaluator's guarantee for the global environment).
    void PrepareOnce();

    void SetDataSets(TQREvDataSets dataSets) { FDataSets = std::move(dataSets); }
    const TQREvDataSets& DataSets() const { return FDataSets; }

    // Whether NAME (any case) is an entry (a query parameter of that name takes its value).
    bool Contains(std::string_view name) const { return Find(name) != nullptr; }
    // A wrapper on the named entry (any case), or an error element "Unknown function : <name>".
    std::unique_ptr<TQREvElement> Element(std::string_view name) const;
    // The named expression's value; an error without message for an absent name.
    EvResult Value(std::string_view name) const;
    // The first element of the named expression's prepared list; null when absent or unprepared.
    TQREvElement* Constant(std::string_view name) const;
    static void SetIntegerConstant(TQREvElement* element, int32_t value);
    static void SetStringConstant(TQREvElement* element, std::string text);
    static void SetConstant(TQREvElement* element, const EvResult& value);

    // The number of pages of the finished report (its section, for page numbers per group) that
    // TOTALPAGES reads while a report runs; 0 while it is not known yet.
    int32_t PageTotal() const { return FPageTotal; }
    void SetPageTotal(int32_t pages) { FPageTotal = pages; }

    // Entries in order, for the stored form ("Strings" are the names, "DATA" the expressions).
    std::size_t Count() const { return FEntries.size(); }
    const std::string& Name(std::size_t index) const { return FEntries[index].Name; }
    const std::string& Expression(std::size_t index) const { return FEntries[index].Function->Expression(); }
    // The names the prepared entries' expressions do not know: pairs of entry name and unknown
    // name, in entry order.
    std::vector<std::pair<std::string, std::string>> UnknownNames() const;
    // The errors the entries' parses found: pairs of entry name and message, in entry order.
    std::vector<std::pair<std::string, std::string>> ParseErrors() const;
    // Replaces the entries by names and expressions read from a stored form, paired in order
    // (surplus names or expressions are dropped).
    void ReadData(const std::vector<std::string>& names, const std::vector<std::string>& expressions);

private:
    struct TEntry {
        std::string Name;
        std::shared_ptr<TQREvEmbeddedFunction> Function;
    };
    const TEntry* Find(std::string_view name) const;
    void PrepareEntry(TEntry& entry);

    std::vector<TEntry> FEntries;
    int FPrepareCount = 0;
    TQREvDataSets FDataSets;
    int32_t FPageTotal = 0;
};

// The process-wide environment, created on first use with "AppStartTime", "AppStartDate" and
// "AppName" (the program's file name: the title before the program sets its own). Programs call it
// once at start-up so that the start values are those of program start.
TQREvEnvironment& QRGlobalEnvironment();

} // namespace pagimo::expr
