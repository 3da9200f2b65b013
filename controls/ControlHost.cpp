#include "controls/ControlHost.h"

#include "expr/Evaluator.h"
#include "platform/system/Component.h"

namespace pagimo::controls {

bool NamesPageTotal(std::string_view expression) {
    constexpr std::string_view name = "TOTALPAGES";
    auto isNameChar = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    bool inQuote = false;
    for (std::size_t i = 0; i < expression.size(); ++i) {
        const char c = expression[i];
        if (c == '\'') inQuote = !inQuote;
        if (inQuote || (i > 0 && isNameChar(expression[i - 1])) || i + name.size() > expression.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < name.size() && same; ++k)
            same = (expression[i + k] & ~0x20) == name[k];
        if (same && (i + name.size() == expression.size() || !isNameChar(expression[i + name.size()]))) return true;
    }
    return false;
}

bool PrepareForRun(expr::TQREvaluator& evaluator, const std::string& text, TQRControlReport* report,
                   const system::TComponent& source, const char* property) {
    evaluator.SetDataSets(report ? report->EvDataSets() : expr::TQREvDataSets{});
    evaluator.SetEnvironment(report ? report->Environment() : nullptr);
    evaluator.Prepare(text);
    if (!report) return false;
    const std::string name = source.Name().empty() ? std::string(source.ClassName()) : source.Name();
    bool told = false;
    for (std::string& message : evaluator.ParseErrors()) {
        report->Diagnose({TQRRunDiagnostic::SyntaxError, name, 0, std::move(message), &source, property});
        told = true;
    }
    for (std::string& unknown : evaluator.UnknownNames()) {
        report->Diagnose({TQRRunDiagnostic::UnknownName, name, 0, std::move(unknown), &source, property});
        told = true;
    }
    return told;
}

} // namespace pagimo::controls
