#pragma once
// TQREvaluator: turns an expression text once into a list of elements (Prepare) and computes its
// value as often as needed (Value), for example once per printed record.
//
// The grammar is defined by how the text is split, level by level, at the first operator found
// outside quotes, parentheses and brackets (never at the first or last character):
//   level 1  < <= > >= = <>   one comparison; a second one ends up in the right operand's text
//   level 2  + - " or "       right-grouping; after "-" the right text's signs are swapped, so
//                             a - b + c is a - (b - c)
//   level 3  * / " and "      the same with "*" and "/" for "/"
//   factor   not..., '...', (...), +x, -x (as 0-x), numbers, names, name(args), [variable]
// Syntax and type problems never throw: they become error elements and error results that travel
// through the expression like values.
//
// Use by the report engine: set data sets and the report's environment, Prepare, then Reset at the
// start of a run; DoAggregate once per record for aggregate expressions (the controller's record
// notification), Value whenever the value is printed; Unprepare at the end of the run.

#include "expr/Elements.h"
#include "expr/EvDataSet.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::expr {

class TQREvEnvironment;

class TQREvaluator {
public:
    TQREvaluator();
    ~TQREvaluator();
    TQREvaluator(const TQREvaluator&) = delete;
    TQREvaluator& operator=(const TQREvaluator&) = delete;

    // Parses text (an empty text as "' '", a string of one space) into a new element list,
    // discarding any previous one; makes sure the global environment is prepared.
    void Prepare(std::string_view text);
    void Unprepare();
    bool Prepared() const { return FPrepared; }

    // The expression's value. Throws EQRError "Evaluator not prepared" before Prepare.
    EvResult Value();
    // Restarts every element: aggregates forget what they accumulated.
    void Reset();
    // An aggregation pass: evaluates with the aggregate flag set and discards the value.
    void DoAggregate();
    // True when at least one element is an aggregate function.
    bool IsAggregate() const;
    // The names of the prepared text that are neither fields of the data sets nor functions, as
    // written (without brackets), each once, in the order they appear; empty when not prepared.
    std::vector<std::string> UnknownNames() const;
    // The errors the parse found ("Missing )", "Unknown function : X" ...), each once, in order;
    // empty when the text parsed cleanly or is not prepared.
    std::vector<std::string> ParseErrors() const;

    // Data sets searched for "[Field]" and "[Table.Field]" at the next Prepare (borrowed).
    void SetDataSets(TQREvDataSets dataSets) { FDataSets = std::move(dataSets); }
    const TQREvDataSets& DataSets() const { return FDataSets; }
    // The report's environment, searched for names before the global environment (borrowed;
    // must outlive the prepared expression).
    void SetEnvironment(TQREvEnvironment* environment) { FEnvironment = environment; }
    TQREvEnvironment* Environment() const { return FEnvironment; }

    // The prepared list (null when not prepared); live constants overwrite its first element.
    TQRFiFo* Elements() const { return FElements.get(); }

    // Deepest nesting of the parse (each level, factor and argument counts one step); deeper
    // text becomes the error "Expression nested too deeply".
    static constexpr int MaxNesting = 512;

private:
    std::unique_ptr<TQRFiFo> FElements;
    bool FPrepared = false;
    TQREvDataSets FDataSets;
    TQREvEnvironment* FEnvironment = nullptr;
};

} // namespace pagimo::expr
