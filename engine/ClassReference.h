#pragma once
// The reference of the description language, made from the class registry itself so it cannot
// drift from what the reader accepts: every registered class with its published properties (dotted
// names of nested objects included), their types, defaults, and the values of the enumerations and
// sets they use, and the functions of the expression library with their arguments. `qrptool classes`
// prints it; docs/REPORTS.md carries the Markdown form.

#include "platform/system/Component.h"

#include <string>
#include <vector>

namespace pagimo::engine {

struct TPropertyReference {
    std::string Name;    // dotted for nested objects: Font.Height
    std::string Type;    // Integer, Boolean, String, Strings, TQRBandType, set of TFontStyle ...
    std::string Default; // as a description spells it; empty when a fresh object stores nothing
    bool Stored = true;  // false: read from descriptions, never written back
    std::string Note;    // where the default depends on the machine: what else it may be
    const system::TEnumInfo* Enum = nullptr;
};

struct TClassReference {
    std::string ClassName;
    std::vector<TPropertyReference> Properties;
};

// Every class a report description may name: reports, bands, groups, data sets, controls, forms.
void RegisterDescriptionClasses(system::TClassRegistry& registry);

// The classes of registry in alphabetical order, each described from a freshly created instance.
std::vector<TClassReference> DescribeClasses(const system::TClassRegistry& registry);

// The reference as plain text (one block per class) or as Markdown (a table per class, then the
// enumerations and sets).
std::string ClassReferenceText(const system::TClassRegistry& registry);
std::string ClassReferenceMarkdown(const system::TClassRegistry& registry);

} // namespace pagimo::engine
