#include "expr/Elements.h"

#include <limits>

namespace pagimo::expr {

namespace {

const char* const OperatorNames[] = {"<", "<=", ">", ">=", "=", "<>", "+", "-", "OR", "*", "/", "AND"};

std::string Fill(std::string pattern, std::string_view first, std::string_view second = {}) {
    if (auto at = pattern.find("%s"); at != std::string::npos) {
        pattern.replace(at, 2, first);
        if (auto next = pattern.find("%s", at + first.size()); next != std::string::npos) {
            pattern.replace(next, 2, second);
        }
    }
    return pattern;
}

EvResult NotCompatible(TQREvOperator op, const char* kind) {
    return EvResult::Error(Fill("Operator %s is not compatible with %s expressions", OperatorNames[op], kind));
}

EvResult Cannot(const char* verb, const char* kind) {
    return EvResult::Error(Fill("Cannot %s %s expressions", verb, kind));
}

template <class T> EvResult Compare(TQREvOperator op, const T& a, const T& b) {
    switch (op) {
    case opLess:
        return EvResult::Bool(a < b);
    case opLessOrEqual:
        return EvResult::Bool(a <= b);
    case opGreater:
        return EvResult::Bool(a > b);
    case opGreaterOrEqual:
        return EvResult::Bool(a >= b);
    case opEqual:
        return EvResult::Bool(a == b);
    default:
        return EvResult::Bool(a != b);
    }
}

// Integer arithmetic that leaves the 32-bit range continues in floating point instead of wrapping.
EvResult IntegerOrFloat(int64_t value) {
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
        return EvResult::Float(static_cast<double>(value));
    }
    return EvResult::Int(static_cast<int32_t>(value));
}

EvResult ApplyInt(TQREvOperator op, int32_t a, int32_t b) {
    switch (op) {
    case opPlus:
        return IntegerOrFloat(int64_t{a} + b);
    case opMinus:
        return IntegerOrFloat(int64_t{a} - b);
    case opMul:
        return IntegerOrFloat(int64_t{a} * b);
    case opDiv:
        if (b == 0) return EvResult::Error("Cannot divide by 0");
        return EvResult::Float(static_cast<double>(a) / b);
    case opOr:
        return EvResult::Int(a | b);
    case opAnd:
        return EvResult::Int(a & b);
    default:
        return Compare(op, a, b);
    }
}

EvResult ApplyFloat(TQREvOperator op, double a, double b) {
    switch (op) {
    case opPlus:
        return EvResult::Float(a + b);
    case opMinus:
        return EvResult::Float(a - b);
    case opMul:
        return EvResult::Float(a * b);
    case opDiv:
        if (b == 0.0) return EvResult::Error("Cannot divide by 0");
        return EvResult::Float(a / b);
    case opOr:
    case opAnd:
        return NotCompatible(op, "numeric");
    default:
        return Compare(op, a, b);
    }
}

EvResult ApplyString(TQREvOperator op, const std::string& a, const std::string& b) {
    switch (op) {
    case opPlus:
        return EvResult::String(a + b);
    case opMinus:
        return Cannot("subtract", "string");
    case opMul:
        return Cannot("multiply", "string");
    case opDiv:
        return Cannot("divide", "string");
    case opOr:
    case opAnd:
        return NotCompatible(op, "string");
    default:
        // std::string compares bytes as unsigned values; a prefix sorts first.
        return Compare(op, a, b);
    }
}

EvResult ApplyBool(TQREvOperator op, bool a, bool b) {
    switch (op) {
    case opEqual:
        return EvResult::Bool(a == b);
    case opUnequal:
        return EvResult::Bool(a != b);
    case opPlus:
        return Cannot("add", "boolean");
    case opMinus:
        return Cannot("subtract", "boolean");
    case opMul:
        return Cannot("multiply", "boolean");
    case opDiv:
        return Cannot("divide", "boolean");
    case opOr:
        return EvResult::Bool(a || b);
    case opAnd:
        return EvResult::Bool(a && b);
    default:
        return NotCompatible(op, "boolean");
    }
}

} // namespace

EvResult NextValue(TQRFiFo& fifo) {
    TQREvElement* element = fifo.Next();
    if (!element) return EvResult::Error("Error in expression : missing operand");
    return element->Value(fifo);
}

EvResult ApplyOperator(TQREvOperator op, const EvResult& left, const EvResult& right) {
    if (left.Kind == resError) return left;
    if (right.Kind == resError) return right;
    if (left.Kind != right.Kind) {
        if (left.IsNumeric() && right.IsNumeric()) return ApplyFloat(op, left.AsDouble(), right.AsDouble());
        EvResult r = ApplyString(op, ResultText(left), ResultText(right));
        if (r.Kind == resString) r.Cut = r.Cut || left.Cut || right.Cut;
        return r;
    }
    switch (left.Kind) {
    case resInt:
        return ApplyInt(op, left.IntResult, right.IntResult);
    case resDouble:
        return ApplyFloat(op, left.DblResult, right.DblResult);
    case resString: {
        EvResult r = ApplyString(op, left.StrResult, right.StrResult);
        if (r.Kind == resString) r.Cut = r.Cut || left.Cut || right.Cut;
        return r;
    }
    case resBool:
        return ApplyBool(op, left.BooResult, right.BooResult);
    case resError:
        break;
    }
    return left;
}

EvResult TQREvElementOperator::Value(TQRFiFo& fifo) {
    // Both operands are always evaluated: there is no short cut, so aggregates on either side
    // accumulate on every pass.
    const EvResult left = NextValue(fifo);
    const EvResult right = NextValue(fifo);
    return ApplyOperator(FOperator, left, right);
}

EvResult TQREvElementNot::Value(TQRFiFo& fifo) {
    EvResult operand = NextValue(fifo);
    if (operand.Kind == resBool) return EvResult::Bool(!operand.BooResult);
    if (operand.Kind == resError) return operand;
    return EvResult::Error("Invalid use of NOT");
}

void TQREvElementFunction::CollectArguments(TQRFiFo& fifo) {
    ArgList.clear();
    while (TQREvElement* element = fifo.Next()) {
        if (element->IsArgumentEnd()) break;
        ArgList.push_back(element->Value(fifo));
    }
}

EvResult TQREvElementFunction::Value(TQRFiFo& fifo) {
    CollectArguments(fifo);
    if (fifo.Aggregate) Accumulate();
    EvResult result = Compute();
    ArgList.clear();
    return result;
}

} // namespace pagimo::expr
