// The built-in functions other than the aggregates, and the registration of all of them in order.

#include "expr/Aggregates.h"
#include "expr/DateTime.h"
#include "expr/Environment.h"
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

// COPY counts characters: St and Len are character positions, so a character is never cut.
class TQREvCopyFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 3 || ArgList[0].Kind != resString || ArgList[1].Kind != resInt ||
            ArgList[2].Kind != resInt) {
            return EvResult::Error({});
        }
        const std::string& x = ArgList[0].StrResult;
        const std::size_t start = ArgList[1].IntResult < 1 ? 0 : static_cast<std::size_t>(ArgList[1].IntResult) - 1;
        const int32_t length = ArgList[2].IntResult;
        if (length <= 0) return EvResult::String({});
        const std::size_t from = Utf8Offset(x, start);
        const std::size_t to = from + Utf8Offset(std::string_view(x).substr(from), static_cast<std::size_t>(length));
        return EvResult::String(x.substr(from, to - from));
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

// ROUND(X) and ROUND(X, DIGITS): half away from zero on the decimal digits as written; an integer
// stays an integer.
class TQREvRoundFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.empty() || ArgList.size() > 2 || !ArgList[0].IsNumeric() ||
            (ArgList.size() == 2 && ArgList[1].Kind != resInt))
            return WrongArgumentsFor("ROUND");
        const int digits = ArgList.size() == 2 ? ArgList[1].IntResult : 0;
        const double rounded = RoundDecimal(ArgList[0].AsDouble(), digits);
        if (ArgList[0].Kind == resInt) {
            if (digits >= 0) return ArgList[0];
            if (FitsInt32(rounded)) return EvResult::Int(static_cast<int32_t>(rounded));
        }
        return EvResult::Float(rounded);
    }
};

class TQREvLengthFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 1 || ArgList[0].Kind != resString) return WrongArgumentsFor("LENGTH");
        return EvResult::Int(static_cast<int32_t>(Utf8Length(ArgList[0].StrResult)));
    }
};

// Removes spaces and control characters at both ends.
class TQREvTrimFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 1 || ArgList[0].Kind != resString) return WrongArgumentsFor("TRIM");
        std::string_view text = ArgList[0].StrResult;
        while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
            text.remove_prefix(1);
        while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
            text.remove_suffix(1);
        return EvResult::String(std::string(text));
    }
};

// POS(SUB, S): the character position (from 1) of the first SUB in S; 0 when there is none.
class TQREvPosFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 2 || ArgList[0].Kind != resString || ArgList[1].Kind != resString)
            return WrongArgumentsFor("POS");
        const std::string& sub = ArgList[0].StrResult;
        const std::string& text = ArgList[1].StrResult;
        const std::size_t at = sub.empty() ? std::string::npos : text.find(sub);
        if (at == std::string::npos) return EvResult::Int(0);
        return EvResult::Int(static_cast<int32_t>(Utf8Length(std::string_view(text).substr(0, at)) + 1));
    }
};

// MOD(X, Y): the remainder of DIV(X, Y), with the sign of X.
class TQREvModFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 2 || !ArgList[0].IsNumeric() || !ArgList[1].IsNumeric()) return WrongArgumentsFor("MOD");
        int32_t operands[2];
        for (int i = 0; i < 2; ++i) {
            const EvResult& x = ArgList[i];
            if (x.Kind == resInt) {
                operands[i] = x.IntResult;
            } else {
                if (!FitsInt32(std::nearbyint(x.DblResult))) return WrongArgumentsFor("MOD");
                operands[i] = Rnd(x.DblResult);
            }
        }
        if (operands[1] == 0) return EvResult::Error("Division by Zero");
        return EvResult::Int(static_cast<int32_t>(int64_t{operands[0]} % operands[1]));
    }
};

class TQREvFormatDateTimeFunction : public TQREvElementFunction {
protected:
    EvResult Compute() override {
        if (ArgList.size() != 2 || ArgList[0].Kind != resString) return WrongArgumentsFor("FORMATDATETIME");
        const std::optional<TQRDateTime> when = DateTimeOf(ArgList[1]);
        if (!when) {
            if (ArgList[1].Kind == resError) return ArgList[1];
            return EvResult::Error("Not a date: " +
                                   (ArgList[1].Kind == resString ? ArgList[1].StrResult : ResultText(ArgList[1])));
        }
        std::optional<std::string> text = FormatDateTime(ArgList[0].StrResult, *when);
        if (!text) return EvResult::Error("Invalid format or value specified");
        return EvResult::String(std::move(*text));
    }
};

// The number of pages of the finished report, or of the current section when a group restarts the
// page numbers; 0 outside a report run and while the pages are still being counted.
class TQREvTotalPagesFunction : public TQREvElementFunction {
public:
    void Bind(TQREvEnvironment* environment) override { FEnvironment = environment; }

protected:
    EvResult Compute() override {
        if (!ArgList.empty()) return EvResult::Error("Too many arguments");
        return EvResult::Int(FEnvironment ? FEnvironment->PageTotal() : 0);
    }

private:
    TQREvEnvironment* FEnvironment = nullptr;
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
    // Functions of this system beyond the classic set; they follow it, so its order stays.
    add(Make<TQREvRoundFunction>(), "ROUND", "ROUND(<X>, <Digits>)",
        "Rounds <X> to <Digits> decimal places (0 when left out), halves away from zero", "2NN");
    add(Make<TQREvModFunction>(), "MOD", "MOD(<X>, <Y>)", "Remainder of the integer division of <X> by <Y>", "2NN");
    add(Make<TQREvLengthFunction>(), "LENGTH", "LENGTH(<X>)", "Returns the number of characters of string <X>", "7S");
    add(Make<TQREvTrimFunction>(), "TRIM", "TRIM(<X>)", "Removes spaces at both ends of string <X>", "7S");
    add(Make<TQREvPosFunction>(), "POS", "POS(<Sub>, <X>)",
        "Returns the position of <Sub> in string <X> (from 1), 0 when it is not there", "7SS");
    add(Make<TQREvFormatDateTimeFunction>(), "FORMATDATETIME", "FORMATDATETIME(<F>, <D>)",
        "Formats the date <D> (a day count or YYYY-MM-DD text) using the date mask in <F>", "1SV");
    add(Make<TQREvTotalPagesFunction>(), "TOTALPAGES", "TOTALPAGES",
        "Returns the number of pages of the finished report (of the group, with ResetPageNumber)", "6");
}

} // namespace pagimo::expr
