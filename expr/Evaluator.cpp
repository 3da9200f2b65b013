#include "expr/Evaluator.h"

#include "expr/Environment.h"
#include "expr/FunctionLibrary.h"
#include "expr/Locale.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

namespace pagimo::expr {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Letters start names; UTF-8 lead bytes count as letters so that names may be non-English.
bool IsLetter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0xC2;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// Walks text[0 .. size-2] keeping the quote, bracket and parenthesis states (each character
// updates them before it is considered) and asks isOperator at every position from the second
// character on that lies at depth 0 outside quotes and brackets. Returns the first position
// accepted, or npos.
template <class F> std::size_t FindOperator(std::string_view text, F&& isOperator) {
    bool inQuote = false;
    bool inBracket = false;
    int depth = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') {
            if (!inBracket) inQuote = !inQuote;
        } else if (c == '[') {
            if (!inQuote) inBracket = true;
        } else if (c == ']') {
            if (!inQuote) inBracket = false;
        } else if (c == '(') {
            if (!inQuote && !inBracket) ++depth;
        } else if (c == ')') {
            if (!inQuote && !inBracket) --depth;
        }
        if (i >= 1 && depth == 0 && !inQuote && !inBracket && isOperator(i)) return i;
    }
    return std::string_view::npos;
}

// " or " / " and " at position i (the leading space).
bool IsWordOperator(std::string_view text, std::size_t i, std::string_view word) {
    if (text[i] != ' ' || i + word.size() + 1 >= text.size()) return false;
    if (text[i + word.size() + 1] != ' ') return false;
    return SameTextIgnoringCase(text.substr(i + 1, word.size()), word);
}

// A sign with nothing or an operator before it is the sign of a number, not an operator.
bool IsSignPosition(char previous) {
    return previous == 0 || std::string_view("+-*/<>=(,").find(previous) != std::string_view::npos;
}

// Exchanges a and b at depth 0 outside quotes and brackets: the right operand of "-" (or "/") is
// parsed with its operators inverted, so that a - b + c is computed as a - (b - c). Signs of
// numbers keep their meaning (5--3 stays 8) and bracketed names are left as written.
std::string SwapOperators(std::string_view text, char a, char b, bool keepSigns) {
    std::string out(text);
    bool inQuote = false;
    bool inBracket = false;
    int depth = 0;
    char previous = 0;
    for (char& c : out) {
        const char original = c;
        if (c == '\'') {
            if (!inBracket) inQuote = !inQuote;
        } else if (c == '[') {
            if (!inQuote) inBracket = true;
        } else if (c == ']') {
            if (!inQuote) inBracket = false;
        } else if (c == '(') {
            if (!inQuote && !inBracket) ++depth;
        } else if (c == ')') {
            if (!inQuote && !inBracket) --depth;
        } else if ((c == a || c == b) && !inQuote && !inBracket && depth == 0 &&
                   !(keepSigns && IsSignPosition(previous))) {
            c = c == a ? b : a;
        }
        if (original != ' ') previous = original;
    }
    return out;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

class TParser {
public:
    TParser(TQRFiFo& out, const TQREvDataSets& dataSets, TQREvEnvironment* environment)
        : FOut(out), FDataSets(dataSets), FEnvironment(environment) {}

    void Comparison(std::string_view text);

private:
    // Counts one nesting step for the lifetime of a parse call.
    class TDepth {
    public:
        explicit TDepth(int& depth) : FDepth(++depth) {}
        ~TDepth() { --FDepth; }
        bool TooDeep() const { return FDepth > TQREvaluator::MaxNesting; }

    private:
        int& FDepth;
    };

    void Addition(std::string_view text);
    void Multiplication(std::string_view text);
    void Factor(std::string_view text);
    void Number(std::string_view text);
    void Name(std::string_view text);
    void Variable(std::string_view name);
    void Function(std::string_view name) {
        std::unique_ptr<TQREvElement> element = QRFunctionLibrary().GetFunction(name);
        if (auto* function = dynamic_cast<TQREvElementFunction*>(element.get())) function->Bind(FEnvironment);
        FOut.Append(std::move(element));
    }
    void Error(std::string message) { FOut.Append(std::make_unique<TQREvElementError>(std::move(message))); }
    void Operator(TQREvOperator op) { FOut.Append(std::make_unique<TQREvElementOperator>(op)); }
    bool TooDeep(const TDepth& depth) {
        if (!depth.TooDeep()) return false;
        Error("Expression nested too deeply");
        return true;
    }

    TQRFiFo& FOut;
    const TQREvDataSets& FDataSets;
    TQREvEnvironment* FEnvironment;
    int FDepth = 0;
};

void TParser::Comparison(std::string_view text) {
    TDepth depth(FDepth);
    if (TooDeep(depth)) return;
    TQREvOperator op = opEqual;
    std::size_t length = 1;
    const std::size_t at = FindOperator(text, [&](std::size_t i) {
        const char c = text[i];
        const char next = text[i + 1];
        if (c == '<') {
            op = next == '>' ? opUnequal : next == '=' ? opLessOrEqual : opLess;
            length = next == '>' || next == '=' ? 2 : 1;
            return true;
        }
        if (c == '>') {
            op = next == '=' ? opGreaterOrEqual : opGreater;
            length = next == '=' ? 2 : 1;
            return true;
        }
        if (c == '=') {
            op = opEqual;
            length = 1;
            return true;
        }
        return false;
    });
    if (at == std::string_view::npos) {
        Addition(text);
        return;
    }
    Operator(op);
    Addition(text.substr(0, at));
    Addition(text.substr(at + length));
}

void TParser::Addition(std::string_view text) {
    TDepth depth(FDepth);
    if (TooDeep(depth)) return;
    TQREvOperator op = opPlus;
    const std::size_t at = FindOperator(text, [&](std::size_t i) {
        if (text[i] == '+' || text[i] == '-') {
            op = text[i] == '+' ? opPlus : opMinus;
            return true;
        }
        if (IsWordOperator(text, i, "or")) {
            op = opOr;
            return true;
        }
        return false;
    });
    if (at == std::string_view::npos) {
        Multiplication(text);
        return;
    }
    Operator(op);
    if (op == opOr) {
        Multiplication(text.substr(0, at + 1));
        Addition(text.substr(at + 3));
    } else if (op == opMinus) {
        Multiplication(text.substr(0, at));
        Addition(SwapOperators(text.substr(at + 1), '+', '-', true));
    } else {
        Multiplication(text.substr(0, at));
        Addition(text.substr(at + 1));
    }
}

void TParser::Multiplication(std::string_view text) {
    TDepth depth(FDepth);
    if (TooDeep(depth)) return;
    TQREvOperator op = opMul;
    const std::size_t at = FindOperator(text, [&](std::size_t i) {
        if (text[i] == '*' || text[i] == '/') {
            op = text[i] == '*' ? opMul : opDiv;
            return true;
        }
        if (IsWordOperator(text, i, "and")) {
            op = opAnd;
            return true;
        }
        return false;
    });
    if (at == std::string_view::npos) {
        Factor(text);
        return;
    }
    Operator(op);
    if (op == opAnd) {
        Factor(text.substr(0, at + 1));
        Multiplication(text.substr(at + 4));
    } else if (op == opDiv) {
        Factor(text.substr(0, at));
        Multiplication(SwapOperators(text.substr(at + 1), '*', '/', false));
    } else {
        Factor(text.substr(0, at));
        Multiplication(text.substr(at + 1));
    }
}

void TParser::Factor(std::string_view text) {
    TDepth depth(FDepth);
    if (TooDeep(depth)) return;
    text = Trim(text);
    if (text.size() >= 3 && SameTextIgnoringCase(text.substr(0, 3), "not")) {
        FOut.Append(std::make_unique<TQREvElementNot>());
        Addition(text.substr(3));
        return;
    }
    const char first = text.empty() ? 0 : text[0];
    if (first == '\'') {
        if (text.size() >= 2 && text.back() == '\'') {
            FOut.Append(std::make_unique<TQREvElementString>(std::string(text.substr(1, text.size() - 2))));
        } else {
            Error("Missing '");
        }
    } else if (first == '(') {
        if (text.size() >= 2 && text.back() == ')') {
            Comparison(text.substr(1, text.size() - 2));
        } else {
            Error("Missing )");
        }
    } else if (first == '+') {
        Factor(text.substr(1));
    } else if (first == '-') {
        Addition("0-" + std::string(text.substr(1)));
    } else if (IsDigit(first)) {
        Number(text);
    } else if (IsLetter(first)) {
        Name(text);
    } else if (first == '[') {
        if (text.size() >= 2 && text.back() == ']') {
            Variable(text.substr(1, text.size() - 2));
        } else {
            Error("Missing ]");
        }
    } else {
        Error(FormatMessage("Error in expression : %s", std::string(text)));
    }
}

void TParser::Number(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i;
    const std::size_t digitsEnd = i;
    while (i < text.size() && std::string_view("+-.0123456789Ee").find(text[i]) != std::string_view::npos)
        ++i;
    const bool isFloat = i > digitsEnd;
    const auto illegal = [&] { Error("Illegal character in numeric contant \"" + std::string(text) + "\""); };
    if (i < text.size()) return illegal();
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (!isFloat) {
        int32_t value = 0;
        const auto [stop, ec] = std::from_chars(begin, end, value);
        if (ec == std::errc() && stop == end) {
            FOut.Append(std::make_unique<TQREvElementConstant>(EvResult::Int(value)));
            return;
        }
    }
    // The literal's "." is the decimal point whatever the locale says.
    double value = 0.0;
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop != end) return illegal();
    FOut.Append(std::make_unique<TQREvElementConstant>(EvResult::Float(value)));
}

void TParser::Name(std::string_view text) {
    const std::size_t open = text.find('(');
    const TQRFunctionLibrary& library = QRFunctionLibrary();
    if (open == std::string_view::npos) {
        if (library.Find(text)) {
            Function(text);
            FOut.Append(std::make_unique<TQREvElementArgumentEnd>());
        } else {
            Variable(text);
        }
        return;
    }
    if (text.back() != ')') return Error("Missing )");
    const std::string_view name = text.substr(0, open);
    if (!library.Find(name)) return Error(FormatMessage("Unknown function : %s", std::string(name)));
    Function(name);
    // Arguments are split at commas outside quotes and parentheses; brackets are not considered,
    // and a comma as the very last character does not split.
    const std::string_view args = text.substr(open + 1, text.size() - open - 2);
    if (!args.empty()) {
        bool inQuote = false;
        int parens = 0;
        std::size_t start = 0;
        for (std::size_t i = 0; i < args.size(); ++i) {
            const char c = args[i];
            if (c == '\'') {
                inQuote = !inQuote;
            } else if (!inQuote && c == '(') {
                ++parens;
            } else if (!inQuote && c == ')') {
                --parens;
            } else if (!inQuote && c == ',' && parens == 0 && i + 1 < args.size()) {
                Comparison(args.substr(start, i - start));
                start = i + 1;
            }
        }
        Comparison(args.substr(start));
    }
    FOut.Append(std::make_unique<TQREvElementArgumentEnd>());
}

void TParser::Variable(std::string_view name) {
    if (!FDataSets.empty()) {
        const std::size_t dot = name.find('.');
        const std::string_view table = dot == std::string_view::npos ? std::string_view() : name.substr(0, dot);
        const std::string_view field = dot == std::string_view::npos ? name : name.substr(dot + 1);
        for (const TQREvDataSet* dataSet : FDataSets) {
            if (!dataSet) continue;
            if (dot != std::string_view::npos && !SameTextIgnoringCase(dataSet->Name(), table)) continue;
            if (const TQREvField* found = dataSet->FindField(field)) {
                FOut.Append(std::make_unique<TQREvElementDataField>(found));
                return;
            }
            if (dot != std::string_view::npos) break; // only the first data set of that name is searched
        }
    }
    std::unique_ptr<TQREvElement> element;
    if (FEnvironment) element = FEnvironment->Element(name);
    if (!element || dynamic_cast<TQREvElementError*>(element.get())) element = QRGlobalEnvironment().Element(name);
    if (auto* error = dynamic_cast<TQREvElementError*>(element.get()))
        element = std::make_unique<TQREvElementUnknownName>(std::string(name), error->Message());
    FOut.Append(std::move(element));
}

} // namespace

TQREvaluator::TQREvaluator() = default;

TQREvaluator::~TQREvaluator() = default;

void TQREvaluator::Prepare(std::string_view text) {
    if (FPrepared) Unprepare();
    QRGlobalEnvironment().PrepareOnce();
    FElements = std::make_unique<TQRFiFo>();
    TParser parser(*FElements, FDataSets, FEnvironment);
    parser.Comparison(text.empty() ? std::string_view("' '") : text);
    FPrepared = true;
}

void TQREvaluator::Unprepare() {
    FElements.reset();
    FPrepared = false;
}

EvResult TQREvaluator::Value() {
    if (!FPrepared) throw EQRError("Evaluator not prepared");
    FElements->Rewind();
    TQREvElement* first = FElements->Next();
    if (!first) return EvResult::Error({});
    return first->Value(*FElements);
}

void TQREvaluator::Reset() {
    if (!FElements) return;
    for (std::size_t i = 0; i < FElements->Count(); ++i)
        FElements->Element(i)->Restart();
}

void TQREvaluator::DoAggregate() {
    if (!FPrepared) throw EQRError("Evaluator not prepared");
    system::TScopeGuard flag([this] { FElements->Aggregate = false; });
    FElements->Aggregate = true;
    Value();
}

std::vector<std::string> TQREvaluator::UnknownNames() const {
    std::vector<std::string> names;
    if (!FElements) return names;
    for (std::size_t i = 0; i < FElements->Count(); ++i) {
        const auto* unknown = dynamic_cast<const TQREvElementUnknownName*>(FElements->Element(i));
        if (unknown && std::find(names.begin(), names.end(), unknown->Name()) == names.end())
            names.push_back(unknown->Name());
    }
    return names;
}

std::vector<std::string> TQREvaluator::ParseErrors() const {
    std::vector<std::string> messages;
    if (!FElements) return messages;
    for (std::size_t i = 0; i < FElements->Count(); ++i) {
        const auto* error = dynamic_cast<const TQREvElementError*>(FElements->Element(i));
        if (!error || dynamic_cast<const TQREvElementUnknownName*>(error)) continue;
        const std::string message = error->Message().empty() ? std::string("syntax error") : error->Message();
        if (std::find(messages.begin(), messages.end(), message) == messages.end()) messages.push_back(message);
    }
    return messages;
}

bool TQREvaluator::IsAggregate() const {
    if (!FElements) return false;
    for (std::size_t i = 0; i < FElements->Count(); ++i) {
        if (FElements->Element(i)->IsAggregate()) return true;
    }
    return false;
}

} // namespace pagimo::expr
