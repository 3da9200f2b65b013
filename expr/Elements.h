#pragma once
// The elements a prepared expression is made of, and the list that holds them.
//
// A prepared expression is a list in prefix order: an operator precedes its two operands, a
// function precedes its arguments and the argument-end marker. Evaluating an element takes its
// operands from the list, so each element consumes exactly the elements of its own subtree.

#include "expr/EvDataSet.h"
#include "expr/EvResult.h"

#include <memory>
#include <string>
#include <vector>

namespace pagimo::expr {

class TQRFiFo;
class TQREvEnvironment;

class TQREvElement {
public:
    virtual ~TQREvElement() = default;
    // Computes the value, taking operands from the list positioned just after this element.
    virtual EvResult Value(TQRFiFo& fifo) = 0;
    // Aggregate functions forget what they accumulated; embedded functions reset their evaluator.
    virtual void Restart() {}
    virtual bool IsAggregate() const { return false; }
    virtual bool IsArgumentEnd() const { return false; }
};

// The prepared expression: owned elements, a read cursor and the aggregation-pass flag.
class TQRFiFo {
public:
    void Append(std::unique_ptr<TQREvElement> element) { FItems.push_back(std::move(element)); }
    void Rewind() { FCursor = 0; }
    // The element at the cursor (advancing it), or null at the end.
    TQREvElement* Next() { return FCursor < FItems.size() ? FItems[FCursor++].get() : nullptr; }
    std::size_t Count() const { return FItems.size(); }
    TQREvElement* Element(std::size_t index) const { return FItems[index].get(); }

    bool Aggregate = false; // set during an aggregation pass

private:
    std::vector<std::unique_ptr<TQREvElement>> FItems;
    std::size_t FCursor = 0;
};

// The value of the next element of the list; an error result when the list ended early.
EvResult NextValue(TQRFiFo& fifo);

enum TQREvOperator {
    opLess,
    opLessOrEqual,
    opGreater,
    opGreaterOrEqual,
    opEqual,
    opUnequal,
    opPlus,
    opMinus,
    opOr,
    opMul,
    opDiv,
    opAnd
};

// Applies a binary operator to two evaluated operands (errors, kind mixing and the operator table).
EvResult ApplyOperator(TQREvOperator op, const EvResult& left, const EvResult& right);

class TQREvElementOperator : public TQREvElement {
public:
    explicit TQREvElementOperator(TQREvOperator op) : FOperator(op) {}
    EvResult Value(TQRFiFo& fifo) override;
    TQREvOperator Operator() const { return FOperator; }

private:
    TQREvOperator FOperator;
};

// NOT written as a prefix: negates the boolean value of its one operand.
class TQREvElementNot : public TQREvElement {
public:
    EvResult Value(TQRFiFo& fifo) override;
};

// A numeric constant; live report constants (PAGENUMBER ...) overwrite it while a report runs.
class TQREvElementConstant : public TQREvElement {
public:
    explicit TQREvElementConstant(EvResult value) : FValue(std::move(value)) {}
    EvResult Value(TQRFiFo&) override { return FValue; }
    void SetValue(EvResult value) { FValue = std::move(value); }

private:
    EvResult FValue;
};

// A string literal; REPORTTITLE's text is overwritten while a report runs.
class TQREvElementString : public TQREvElement {
public:
    explicit TQREvElementString(std::string text) : FValue(EvResult::String(std::move(text))) {}
    EvResult Value(TQRFiFo&) override { return FValue; }
    void SetText(std::string text) { FValue = EvResult::String(std::move(text)); }

private:
    EvResult FValue;
};

class TQREvElementArgumentEnd : public TQREvElement {
public:
    EvResult Value(TQRFiFo&) override { return EvResult::Error({}); }
    bool IsArgumentEnd() const override { return true; }
};

// A data set field, borrowed; its current value at each evaluation.
class TQREvElementDataField : public TQREvElement {
public:
    explicit TQREvElementDataField(const TQREvField* field) : FField(field) {}
    EvResult Value(TQRFiFo&) override { return FField->Value(); }

private:
    const TQREvField* FField;
};

class TQREvElementError : public TQREvElement {
public:
    explicit TQREvElementError(std::string message) : FMessage(std::move(message)) {}
    EvResult Value(TQRFiFo&) override { return EvResult::Error(FMessage); }
    const std::string& Message() const { return FMessage; }

private:
    std::string FMessage;
};

// A name that is neither a field of the data sets nor a function of an environment: the same error
// as any other, with the name kept so that a run can tell which names its expressions do not know
// before it prints anything.
class TQREvElementUnknownName : public TQREvElementError {
public:
    TQREvElementUnknownName(std::string name, std::string message)
        : TQREvElementError(std::move(message)), FName(std::move(name)) {}
    const std::string& Name() const { return FName; }

private:
    std::string FName;
};

// Base of every function. Value collects the arguments (each evaluated, up to the argument-end
// marker), calls Accumulate during an aggregation pass, then Compute; the argument list is
// emptied afterwards.
class TQREvElementFunction : public TQREvElement {
public:
    EvResult Value(TQRFiFo& fifo) override;
    bool IsAggregate() const override { return FIsAggregate; }
    // The environment of the expression that calls the function (borrowed, may be null), for the
    // functions that read the run of a report (TOTALPAGES).
    virtual void Bind(TQREvEnvironment*) {}

protected:
    explicit TQREvElementFunction(bool isAggregate = false) : FIsAggregate(isAggregate) {}
    void CollectArguments(TQRFiFo& fifo);
    virtual void Accumulate() {}
    virtual EvResult Compute() = 0;

    std::vector<EvResult> ArgList;

private:
    bool FIsAggregate;
};

} // namespace pagimo::expr
