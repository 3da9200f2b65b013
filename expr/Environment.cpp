#include "expr/Environment.h"

#include "expr/Locale.h"
#include "platform/system/Errors.h"
#include "platform/system/ScopeGuard.h"

#include <cerrno>
#include <ctime>

namespace pagimo::expr {

namespace {

// Unprepare requests for the global environment that arrive while an environment is being
// unprepared are ignored (its entries' evaluators may reach it while they are released).
int UnprepareRunning = 0;

std::string UpperName(std::string_view name) {
    return Utf8Upper(name);
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

EvResult TQREvEmbeddedFunction::Evaluate() {
    if (FInEvaluation) return EvResult::Error("Recursive calls not allowed");
    if (!FEvaluator.Prepared()) return EvResult::Error("Evaluator not prepared");
    // A long chain of names that use each other (A2 = A1 + 1, A3 = A2 + 1 ...) nests one
    // evaluation per link; bound it like the parser bounds nesting inside one text.
    thread_local int chainDepth = 0;
    if (chainDepth >= MaxChain) return EvResult::Error("Expression nested too deeply");
    FInEvaluation = true;
    ++chainDepth;
    system::TScopeGuard clear([this] {
        FInEvaluation = false;
        --chainDepth;
    });
    return FEvaluator.Value();
}

EvResult TQREvElementWrapper::Value(TQRFiFo&) {
    if (auto function = FFunction.lock()) return function->Evaluate();
    return EvResult::Error(FormatMessage("Unknown function : %s", FName));
}

TQREvEnvironment::~TQREvEnvironment() = default;

const TQREvEnvironment::TEntry* TQREvEnvironment::Find(std::string_view name) const {
    const std::string upper = UpperName(name);
    for (const auto& entry : FEntries) {
        if (entry.Name == upper) return &entry;
    }
    return nullptr;
}

void TQREvEnvironment::PrepareEntry(TEntry& entry) {
    TQREvaluator& evaluator = entry.Function->Evaluator();
    evaluator.SetDataSets(FDataSets);
    evaluator.SetEnvironment(this);
    evaluator.Prepare(entry.Function->Expression());
}

void TQREvEnvironment::Add(std::string_view name, std::string expression) {
    if (Find(name)) return;
    FEntries.push_back({UpperName(name), std::make_shared<TQREvEmbeddedFunction>(std::move(expression))});
    if (Prepared()) PrepareEntry(FEntries.back());
}

void TQREvEnvironment::Delete(std::string_view name) {
    const std::string upper = UpperName(name);
    std::erase_if(FEntries, [&](const TEntry& entry) { return entry.Name == upper; });
}

void TQREvEnvironment::Clear() {
    FEntries.clear();
}

void TQREvEnvironment::Prepare() {
    if (++FPrepareCount != 1) return;
    for (auto& entry : FEntries)
        PrepareEntry(entry);
}

void TQREvEnvironment::PrepareOnce() {
    if (!Prepared()) Prepare();
}

void TQREvEnvironment::Unprepare() {
    if (FPrepareCount == 0) return;
    if (this == &QRGlobalEnvironment() && UnprepareRunning > 0) return;
    if (--FPrepareCount != 0) return;
    ++UnprepareRunning;
    for (auto& entry : FEntries)
        entry.Function->Evaluator().Unprepare();
    --UnprepareRunning;
}

std::unique_ptr<TQREvElement> TQREvEnvironment::Element(std::string_view name) const {
    if (const TEntry* entry = Find(name)) return std::make_unique<TQREvElementWrapper>(entry->Function, entry->Name);
    return std::make_unique<TQREvElementError>(FormatMessage("Unknown function : %s", std::string(name)));
}

std::vector<std::pair<std::string, std::string>> TQREvEnvironment::UnknownNames() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& entry : FEntries)
        for (std::string& name : entry.Function->Evaluator().UnknownNames())
            out.emplace_back(entry.Name, std::move(name));
    return out;
}

std::vector<std::pair<std::string, std::string>> TQREvEnvironment::ParseErrors() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& entry : FEntries)
        for (std::string& message : entry.Function->Evaluator().ParseErrors())
            out.emplace_back(entry.Name, std::move(message));
    return out;
}

EvResult TQREvEnvironment::Value(std::string_view name) const {
    if (const TEntry* entry = Find(name)) return entry->Function->Evaluate();
    return EvResult::Error({});
}

TQREvElement* TQREvEnvironment::Constant(std::string_view name) const {
    const TEntry* entry = Find(name);
    if (!entry) return nullptr;
    TQRFiFo* elements = entry->Function->Evaluator().Elements();
    if (!elements || elements->Count() == 0) return nullptr;
    return elements->Element(0);
}

void TQREvEnvironment::SetIntegerConstant(TQREvElement* element, int32_t value) {
    if (auto* constant = dynamic_cast<TQREvElementConstant*>(element)) constant->SetValue(EvResult::Int(value));
}

void TQREvEnvironment::SetStringConstant(TQREvElement* element, std::string text) {
    if (auto* string = dynamic_cast<TQREvElementString*>(element)) string->SetText(std::move(text));
}

void TQREvEnvironment::SetConstant(TQREvElement* element, const EvResult& value) {
    if (auto* constant = dynamic_cast<TQREvElementConstant*>(element)) {
        constant->SetValue(value);
    } else if (auto* string = dynamic_cast<TQREvElementString*>(element); string && value.Kind == resString) {
        string->SetText(value.StrResult);
    }
}

void TQREvEnvironment::ReadData(const std::vector<std::string>& names, const std::vector<std::string>& expressions) {
    Clear();
    for (std::size_t i = 0; i < names.size() && i < expressions.size(); ++i)
        Add(names[i], expressions[i]);
}

namespace {

// Its entries are string literals made once, at start-up.
class TGlobalEnvironment : public TQREvEnvironment {
public:
    TGlobalEnvironment() {
        const std::time_t now = std::time(nullptr);
        Add("AppStartTime", Quoted(FormatTime(now, CurrentLocale())));
        Add("AppStartDate", Quoted(FormatDate(now, CurrentLocale())));
        Add("AppName", Quoted(program_invocation_short_name ? program_invocation_short_name : ""));
    }
};

} // namespace

TQREvEnvironment& QRGlobalEnvironment() {
    static TGlobalEnvironment global;
    return global;
}

} // namespace pagimo::expr
