#include "expr/FunctionLibrary.h"

#include "platform/system/Errors.h"

namespace pagimo::expr {

namespace {

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

} // namespace

const TQRLibraryEntry* TQRLibrary::Find(std::string_view name) const {
    for (const auto& entry : FEntries) {
        if (SameTextIgnoringCase(entry.Name, name)) return &entry;
    }
    return nullptr;
}

std::unique_ptr<TQREvElement> TQRFunctionLibrary::GetFunction(std::string_view name) const {
    if (const TQRLibraryEntry* entry = Find(name)) return entry->Factory();
    return std::make_unique<TQREvElementError>(FormatMessage("Unknown function : %s", std::string(name)));
}

TQRFunctionLibrary& QRFunctionLibrary() {
    static TQRFunctionLibrary library = [] {
        TQRFunctionLibrary filled;
        RegisterBuiltInFunctions(filled);
        return filled;
    }();
    return library;
}

void RegisterQRFunction(TQRFunctionFactory factory, std::string name, std::string description, std::string vendor,
                        std::string argumentCodes) {
    QRFunctionLibrary().Add(
        {std::move(name), std::move(description), std::move(argumentCodes), std::move(vendor), std::move(factory)});
}

} // namespace pagimo::expr
