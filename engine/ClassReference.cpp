#include "engine/ClassReference.h"

#include "controls/ControlClasses.h"
#include "controls/UnitBase.h"
#include "engine/FormHost.h"
#include "engine/FormReader.h"
#include "engine/Report.h"
#include "expr/FunctionLibrary.h"

#include <map>

namespace pagimo::engine {

using system::TFormValue;
using system::TPersistent;
using system::TPropertyInfo;

namespace {

// Nested objects reached by dotted names are a few levels deep (Page.Values, Pen.Color); a bound
// keeps an object that reaches itself from recursing.
constexpr int MaxNesting = 4;

// The type of a property that does not declare one, from the value a fresh object stores.
std::string TypeOfValue(const TFormValue& v) {
    switch (v.Kind) {
    case TFormValue::fvInteger:
        return "Integer";
    case TFormValue::fvFloat:
        return "Number";
    case TFormValue::fvString:
        return "String";
    case TFormValue::fvIdent:
        return system::SameText(v.Text, "True") || system::SameText(v.Text, "False") ? "Boolean" : "name";
    case TFormValue::fvSet:
        return "set";
    case TFormValue::fvList:
        return "list";
    case TFormValue::fvBinary:
        return "binary data";
    case TFormValue::fvCollection:
        return "collection";
    }
    return "value";
}

void Describe(TPersistent& object, const std::string& prefix, int depth, std::vector<TPropertyReference>& out) {
    for (const TPropertyInfo& p : object.Properties().All()) {
        if (p.Object) {
            TPersistent* sub = p.Object(object);
            if (sub && depth < MaxNesting) Describe(*sub, prefix + p.Name + ".", depth + 1, out);
            continue;
        }
        TPropertyReference row;
        row.Name = prefix + p.Name;
        row.Enum = p.Enum;
        row.Stored = static_cast<bool>(p.Read);
        std::optional<TFormValue> value = p.Read ? p.Read(object) : std::nullopt;
        if (!value) value = p.Default;
        if (value) row.Default = FormValueText(*value);
        row.Type = !p.Type.empty() ? p.Type : value ? TypeOfValue(*value) : std::string("value");
        // A fresh report measures in the units of the locale, so the reference shows the metric
        // default and names the other: the same text on every machine.
        if (p.Enum == &controls::QRUnitInfo()) {
            row.Default = "MM";
            row.Note = "Inches where the locale measures in U.S. units";
        }
        out.push_back(std::move(row));
    }
}

std::string Cell(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '|') out += '\\';
        out += c;
    }
    return out;
}

// The enumerations the classes use, by type name.
std::map<std::string, const system::TEnumInfo*> Enumerations(const std::vector<TClassReference>& classes) {
    std::map<std::string, const system::TEnumInfo*> enums;
    for (const TClassReference& c : classes)
        for (const TPropertyReference& p : c.Properties)
            if (p.Enum) enums.emplace(p.Enum->TypeName, p.Enum);
    return enums;
}

std::string Joined(const std::vector<std::string>& names, const char* separator) {
    std::string s;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) s += separator;
        s += names[i];
    }
    return s;
}

struct TFunctionReference {
    std::string Syntax, Explanation, Arguments, Group;
};

// The functions of the expression library, as its entries describe them: syntax | explanation, and
// the argument codes (group digit, then N numeric, S string, B boolean, V any per argument).
std::vector<TFunctionReference> DescribeFunctions() {
    std::vector<TFunctionReference> out;
    for (const expr::TQRLibraryEntry& e : expr::QRFunctionLibrary().Entries()) {
        TFunctionReference f;
        const size_t bar = e.Description.find('|');
        f.Syntax = e.Description.substr(0, bar);
        f.Explanation = bar == std::string::npos ? std::string() : e.Description.substr(bar + 1);
        while (!f.Syntax.empty() && f.Syntax.back() == ' ')
            f.Syntax.pop_back();
        while (!f.Explanation.empty() && f.Explanation.front() == ' ')
            f.Explanation.erase(0, 1);
        for (size_t i = 1; i < e.Data.size(); ++i) {
            const char c = e.Data[i];
            const char* kind = c == 'N' ? "number" : c == 'S' ? "string" : c == 'B' ? "boolean" : "any";
            f.Arguments += std::string(f.Arguments.empty() ? "" : ", ") + kind;
        }
        if (f.Arguments.empty()) f.Arguments = "none";
        const int group = e.Data.empty() ? 0 : e.Data[0] - '0';
        f.Group = group >= 0 && group < 8 ? expr::FunctionGroups[group] : "Other";
        out.push_back(std::move(f));
    }
    return out;
}

// Markdown would take <X> for a tag.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '<' ? std::string("&lt;") : c == '>' ? std::string("&gt;") : std::string(1, c);
    return Cell(out);
}

} // namespace

void RegisterDescriptionClasses(system::TClassRegistry& registry) {
    RegisterReportClasses(registry);
    RegisterFormHostClasses(registry);
    controls::RegisterControlClasses(registry);
}

std::vector<TClassReference> DescribeClasses(const system::TClassRegistry& registry) {
    std::vector<TClassReference> classes;
    for (const std::string& name : registry.ClassNames()) {
        std::unique_ptr<system::TComponent> instance = registry.Create(name);
        if (!instance) continue;
        TClassReference c{name, {}};
        Describe(*instance, "", 0, c.Properties);
        classes.push_back(std::move(c));
    }
    return classes;
}

std::string ClassReferenceText(const system::TClassRegistry& registry) {
    const std::vector<TClassReference> classes = DescribeClasses(registry);
    std::string out;
    for (const TClassReference& c : classes) {
        out += c.ClassName;
        out += '\n';
        for (const TPropertyReference& p : c.Properties) {
            std::string line = "  ";
            line += p.Name;
            line.resize(std::max<size_t>(line.size() + 1, 30), ' ');
            line += p.Type;
            line.resize(std::max<size_t>(line.size() + 1, 62), ' ');
            line += p.Stored ? (p.Default.empty() ? std::string("-") : p.Default) : std::string("(read, never written)");
            if (!p.Note.empty()) line += " (" + p.Note + ")";
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            out += line;
            out += '\n';
        }
        out += "\n";
    }
    out += "Enumerations and sets\n";
    for (const auto& [name, info] : Enumerations(classes)) {
        out += "  ";
        out += name;
        out += ": ";
        out += Joined(info->Names, ", ");
        out += '\n';
    }
    out += "\nFunctions\n";
    for (const TFunctionReference& f : DescribeFunctions())
        out += "  " + f.Syntax + "  (" + f.Arguments + "; " + f.Group + ")\n      " + f.Explanation + "\n";
    return out;
}

std::string ClassReferenceMarkdown(const system::TClassRegistry& registry) {
    const std::vector<TClassReference> classes = DescribeClasses(registry);
    std::string out = "## Class reference\n\n"
                      "Made by `qrptool classes --markdown` from the classes the reader knows. A default is the\n"
                      "value a freshly created object holds; a property shown as read, never written, is accepted\n"
                      "from descriptions but not stored back.\n";
    for (const TClassReference& c : classes) {
        out += "\n### ";
        out += c.ClassName;
        out += "\n\n";
        if (c.Properties.empty()) {
            out += "No published properties.\n";
            continue;
        }
        out += "| Property | Type | Default |\n|---|---|---|\n";
        for (const TPropertyReference& p : c.Properties) {
            out += "| `";
            out += p.Name;
            out += "` | ";
            out += Cell(p.Type);
            out += " | ";
            if (!p.Stored) {
                out += "(read, never written)";
            } else if (!p.Default.empty()) {
                out += '`';
                out += Cell(p.Default);
                out += '`';
                if (!p.Note.empty()) out += " (" + Cell(p.Note) + ")";
            }
            out += " |\n";
        }
    }
    out += "\n### Enumerations and sets\n\n| Type | Values, in order |\n|---|---|\n";
    for (const auto& [name, info] : Enumerations(classes)) {
        out += "| ";
        out += name;
        out += " | ";
        out += Joined(info->Names, ", ");
        out += " |\n";
    }
    out += "\n### Functions\n\n| Function | Arguments | Group | Gives |\n|---|---|---|---|\n";
    for (const TFunctionReference& f : DescribeFunctions())
        out +=
            "| `" + Cell(f.Syntax) + "` | " + f.Arguments + " | " + f.Group + " | " + Escaped(f.Explanation) + " |\n";
    return out;
}

} // namespace pagimo::engine
