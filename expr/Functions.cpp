// The built-in functions other than the aggregates, and the registration of all 21 in order.

#include "expr/Aggregates.h"
#include "expr/FunctionLibrary.h"
#include "expr/Locale.h"
#include "expr/NumberFormat.h"
#include "expr/Utf8.h"
#include "platform/system/Errors.h"
#include "platform/system/Rnd.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

namespace pagimo::expr {

namespace {

EvResult WrongArgumentsFor(const char* name) {
    return EvResult::Error(FormatMessage("Wrong arguments for %s", name));
}

bool FitsInt32(double value) {
    return value >= -2147483648.0 && value <= 2147483647.0;
}

} // namespace

class TQREvIfFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 3 || ArgList[0].Kind != resBool) return WrongArgumentsFor("IF");
        return std::move(ArgList[ArgList[0].BooResult ? 1 : 2]);
    }
};

class TQREvStrFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() == 1) {
            const EvResult& x = ArgList[0];
            if (x.Kind == resInt || x.Kind == resDouble || x.Kind == resBool) return EvResult::String(ResultText(x));
        }
        return EvResult::Error("Conversion error");
    }
};

// UPPER, LOWER and PRETTY share their argument rules.
class TQREvCaseFunction : public TQREvElementFunction {
protected:
    explicit TQREvCaseFunction(const char* name) : FName(name) {}
    virtual std::string Map(const std::string& text) const = 0;
    EvResult Compute() override {
        if (ArgList.size() != 1) return EvResult::Error(FormatMessage("Missing argument for %s", FName));
        if (ArgList[0].Kind != resString) return EvResult::Error(ArgList[0].StrResult);
        return EvResult::String(Map(ArgList[0].StrResult));
    }

private:
    const char* FName;
};

class TQREvUpperFunction : public TQREvCaseFunction {
public:
    TQREvUpperFunction() : TQREvCaseFunction("UPPER") {}

protected:
    std::string Map(const std::string& text) const override { return Utf8Upper(text); }
};

class TQREvLowerFunction : public TQREvCaseFunction {
public:
    TQREvLowerFunction() : TQREvCaseFunction("LOWER") {}

protected:
    std::string Map(const std::string& text) const override { return Utf8Lower(text); }
};

class TQREvPrettyFunction : public TQREvCaseFunction {
public:
    TQREvPrettyFunction() : TQREvCaseFunction("PRETTY") {}

protected:
    std::string Map(const std::string& text) const override {
        if (text.empty()) return text;
        const std::size_t first = Utf8SequenceLength(text, 0);
        return Utf8Upper(std::string_view(text).substr(0, first)) + Utf8Lower(std::string_view(text).substr(first));
    }
};

class TQREvTimeFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (!ArgList.empty()) return EvResult::Error({});
        return EvResult::String(FormatTime(std::time(nullptr), CurrentLocale()));
    }
};

class TQREvDateFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (!ArgList.empty()) return EvResult::Error({});
        return EvResult::String(FormatDate(std::time(nullptr), CurrentLocale()));
    }
};

// COPY counts bytes; a start inside a UTF-8 sequence moves to the next character and an end
// inside one moves back before it, so a character is never cut.
class TQREvCopyFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 3 || ArgList[0].Kind != resString || ArgList[1].Kind != resInt ||
            ArgList[2].Kind != resInt) {
            return EvResult::Error({});
        }
        const std::string& x = ArgList[0].StrResult;
        const int64_t size = static_cast<int64_t>(x.size());
        int64_t start = ArgList[1].IntResult < 1 ? 0 : int64_t{ArgList[1].IntResult} - 1;
        const int64_t length = ArgList[2].IntResult;
        if (start >= size || length <= 0) return EvResult::String({});
        int64_t end = std::min(size, start + length);
        while (start < end && IsUtf8Continuation(static_cast<unsigned char>(x[start])))
            ++start;
        while (end < size && end > start && IsUtf8Continuation(static_cast<unsigned char>(x[end])))
            --end;
        return EvResult::String(x.substr(start, end - start));
    }
};

class TQREvTrue : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        return ArgList.empty() ? EvResult::Bool(true) : EvResult::Error("Too many arguments");
    }
};

class TQREvFalse : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        return ArgList.empty() ? EvResult::Bool(false) : EvResult::Error("Too many arguments");
    }
};

class TQREvIntFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() == 1) {
            const EvResult& x = ArgList[0];
            if (x.Kind == resInt) return x;
            if (x.Kind == resDouble && FitsInt32(std::trunc(x.DblResult))) {
                return EvResult::Int(static_cast<int32_t>(std::trunc(x.DblResult)));
            }
        }
        return WrongArgumentsFor("INT");
    }
};

class TQREvFracFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() == 1 && ArgList[0].Kind == resInt) return EvResult::Float(0.0);
        if (ArgList.size() == 1 && ArgList[0].Kind == resDouble) {
            return EvResult::Float(ArgList[0].DblResult - std::trunc(ArgList[0].DblResult));
        }
        return EvResult::Error({});
    }
};

class TQREvSQRTFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() == 1 && ArgList[0].IsNumeric() && ArgList[0].AsDouble() >= 0.0) {
            return EvResult::Float(std::sqrt(ArgList[0].AsDouble()));
        }
        return EvResult::Error("Invalid argument to SQRT function");
    }
};

class TQREvDivFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 2 || !ArgList[0].IsNumeric() || !ArgList[1].IsNumeric()) return WrongArgumentsFor("DIV");
        int32_t operands[2];
        for (int i = 0; i < 2; ++i) {
            const EvResult& x = ArgList[i];
            if (x.Kind == resInt) {
                operands[i] = x.IntResult;
            } else {
                const double rounded = std::nearbyint(x.DblResult); // halves to even
                if (!FitsInt32(rounded)) return WrongArgumentsFor("DIV");
                operands[i] = Rnd(x.DblResult);
            }
        }
        if (operands[1] == 0) return EvResult::Error("Division by Zero");
        const int64_t quotient = int64_t{operands[0]} / operands[1];
        if (quotient > std::numeric_limits<int32_t>::max()) return EvResult::Float(static_cast<double>(quotient));
        return EvResult::Int(static_cast<int32_t>(quotient));
    }
};

class TQREvTypeOfFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 1) return WrongArgumentsFor("TypeOf");
        return EvResult::String(ResultKindName(ArgList[0].Kind));
    }
};

class TQREvFormatNumericFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 2 || ArgList[0].Kind != resString || !ArgList[1].IsNumeric()) {
            return EvResult::Error({});
        }
        auto text = FormatFloat(ArgList[0].StrResult, ArgList[1].AsDouble(), CurrentLocale());
        if (!text) return EvResult::Error("Invalid format or value specified");
        return EvResult::String(std::move(*text));
    }
};

namespace {

template <class T> TQRFunctionFactory Make() {
    return [] { return std::make_unique<T>(); };
}

constexpr const char* Vendor = "Pagimo";

} // namespace

void RegisterBuiltInFunctions(TQRFunctionLibrary& library) {
    auto add = [&library](TQRFunctionFactory factory, const char* name, std::string syntax, const char* explanation,
                          const char* codes) {
        // DIV's syntax already ends in " | "; every other description gets its bar here.
        std::string description = syntax.ends_with("| ") ? syntax + explanation : syntax + "|" + explanation;
        library.Add({name, std::move(description), codes, Vendor, std::move(factory)});
    };
    add(Make<TQREvIfFunction>(), "IF", "IF(<Exp>, <X>, <Y>)",
        "Returns <X> or <Y> depending on the boolean expression <Exp>", "5BVV");
    add(Make<TQREvStrFunction>(), "STR", "STR(<X>)", "Convert a numeric <X> to a string", "7N");
    add(Make<TQREvUpperFunction>(), "UPPER", "UPPER(<X>)", "Converts a string to upper case letters", "7S");
    add(Make<TQREvLowerFunction>(), "LOWER", "LOWER(<X>)", "Converts a string to lower case letters", "7S");
    add(Make<TQREvPrettyFunction>(), "PRETTY", "PRETTY(<X>)",
        "Makes the first character upper case and the rest lower case", "7S");
    add(Make<TQREvTimeFunction>(), "TIME", "TIME", "Return current time as a string", "1");
    add(Make<TQREvDateFunction>(), "DATE", "DATE", "Return current date as a string", "1");
    add(Make<TQREvCopyFunction>(), "COPY", "COPY(<X>, <St>,<Len>)", "Returns a substring of string X", "7SNN");
    add(Make<TQREvSumFunction>(), "SUM", "SUM(<X>)", "Sums the numeric <X>", "3N");
    add(Make<TQREvCountFunction>(), "COUNT", "COUNT", "Increments for each iteration", "3");
    add(Make<TQREvMaxFunction>(), "MAX", "MAX(<X>)", "Returns the highest <X>", "3V");
    add(Make<TQREvMinFunction>(), "MIN", "MIN(<X>)", "Returns the lowest <X>", "3V");
    add(Make<TQREvAverageFunction>(), "AVERAGE", "AVERAGE(<X>)", "Returns the average of numeric <X>", "3N");
    add(Make<TQREvTrue>(), "TRUE", "TRUE", "boolean value", "5");
    add(Make<TQREvFalse>(), "FALSE", "FALSE", "boolean value", "5");
    add(Make<TQREvIntFunction>(), "INT", "INT(<X>)", "Returns the integer part of <X>", "2N");
    add(Make<TQREvFracFunction>(), "FRAC", "FRAC(<X>)", "Returns the fractional part of <X>", "2N");
    add(Make<TQREvSQRTFunction>(), "SQRT", "SQRT(<X>)", "Returns square root of <X>", "2N");
    add(Make<TQREvDivFunction>(), "DIV", "DIV(<X>, <Y>) | ", "Integer division of <X> by <Y>", "2NN");
    add(Make<TQREvTypeOfFunction>(), "TYPEOF", "TYPEOF(<Exp>)", "Returns the data type of <Exp>", "6N");
    add(Make<TQREvFormatNumericFunction>(), "FORMATNUMERIC", "FORMATNUMERIC(<F>,<N>)",
        "Formats numeric <N> using the mask in <F>", "7SN");
}

} // namespace pagimo::expr
