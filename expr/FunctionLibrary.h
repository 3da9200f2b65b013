#pragma once
// The registry of functions that expressions call by name.

#include "expr/Elements.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::expr {

using TQRFunctionFactory = std::function<std::unique_ptr<TQREvElementFunction>()>;

struct TQRLibraryEntry {
    std::string Name;
    std::string Description; // syntax, "|", explanation
    std::string Data;        // argument codes: group digit, then N, S, B or V per argument
    std::string Vendor;
    TQRFunctionFactory Factory;
};

// The groups of the expression builder's category list, indexed by the first argument code.
inline constexpr const char* FunctionGroups[] = {"All",      "Date & time", "Math & trig", "Statistical",
                                                 "Database", "Logical",     "Information", "Other"};

// An ordered list of entries looked up by name, ignoring case.
class TQRLibrary {
public:
    void Add(TQRLibraryEntry entry) { FEntries.push_back(std::move(entry)); }
    const TQRLibraryEntry* Find(std::string_view name) const;
    const std::vector<TQRLibraryEntry>& Entries() const { return FEntries; }

private:
    std::vector<TQRLibraryEntry> FEntries;
};

class TQRFunctionLibrary : public TQRLibrary {
public:
    // A fresh element of the named function, or an error element "Unknown function : <name>".
    std::unique_ptr<TQREvElement> GetFunction(std::string_view name) const;
};

// The process-wide library, filled with the built-in functions on first use and freed at exit.
TQRFunctionLibrary& QRFunctionLibrary();

// Appends an entry to the process-wide library.
void RegisterQRFunction(TQRFunctionFactory factory, std::string name, std::string description, std::string vendor,
                        std::string argumentCodes);

// Registers the built-ins in their fixed order (Functions.cpp, Aggregates.cpp).
void RegisterBuiltInFunctions(TQRFunctionLibrary& library);

} // namespace pagimo::expr
