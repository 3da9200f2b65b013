#pragma once
// Published properties by name: the small run-time type information that stored form descriptions
// need. A class lists its published properties once (name, how to write a value from a description,
// how to read it back for storing, or the nested object behind a dotted name); writing goes through
// the class's own setters, so loading a description runs the setters' behaviour.

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pagimo::system {

class TPersistent;
class TComponent;

// One value as a form description spells it, before it meets a property.
struct TFormValue;

// A collection item: the property assignments between "item" and "end".
struct TFormItem {
    struct TAssignment;
    std::vector<TAssignment> Properties;
    int Line = 0;
};

struct TFormValue {
    enum TKind { fvInteger, fvFloat, fvString, fvIdent, fvSet, fvList, fvBinary, fvCollection };
    TKind Kind = fvInteger;
    int64_t Integer = 0;
    long double Float = 0;
    std::string Text;                // fvString (UTF-8) and fvIdent
    std::vector<std::string> Names;  // fvSet
    std::vector<TFormValue> Items;   // fvList
    std::vector<uint8_t> Bytes;      // fvBinary
    std::vector<TFormItem> Elements; // fvCollection
    int Line = 0;                    // where the value starts in its description

    static TFormValue Int(int64_t v);
    static TFormValue Flt(long double v);
    static TFormValue Str(std::string v);
    static TFormValue Ident(std::string v);
    static TFormValue Set(std::vector<std::string> names);
    static TFormValue List(std::vector<TFormValue> items);
    static TFormValue Binary(std::vector<uint8_t> bytes);

    const char* KindName() const; // "integer", "string" ... for error messages
    bool IsNumber() const { return Kind == fvInteger || Kind == fvFloat; }
    long double AsNumber() const { return Kind == fvInteger ? static_cast<long double>(Integer) : Float; }
};

struct TFormItem::TAssignment {
    std::string Name; // possibly dotted: Font.Height
    TFormValue Value;
};

// A value a property refuses; the reader adds the file and line.
class EPropertyValue : public std::runtime_error {
public:
    explicit EPropertyValue(const std::string& reason) : std::runtime_error(reason) {}
};

// Names of an enumeration in value order (TQRUnit: MM, Inches, ...). Lookup ignores case, as
// descriptions were always matched.
struct TEnumInfo {
    const char* TypeName;
    std::vector<std::string> Names;

    std::optional<int> Find(std::string_view name) const;
    const std::string& NameOf(int value) const; // throws std::out_of_range for a value outside the type
};

bool SameText(std::string_view a, std::string_view b);

// Component references are resolved after the whole description has been read, because a
// property may name a component defined further down. The loader collects them here.
class TLoadContext {
public:
    virtual ~TLoadContext() = default;
    virtual void AddReference(const std::string& name, int line, std::function<void(TComponent*)> assign) = 0;
    // The folder of the description being read (for relative file names), empty when none.
    virtual const std::string& BaseFolder() const = 0;
    // Applies one assignment of a collection item to the item's object (dotted names included).
    virtual void AssignItemProperty(TPersistent& target, const TFormItem::TAssignment& assignment) = 0;
};

struct TPropertyInfo {
    std::string Name;
    // Sets the property from a description's value; throws EPropertyValue.
    std::function<void(TPersistent&, const TFormValue&, TLoadContext&)> Write;
    // The value to store, or nullopt when the property holds its default and is not stored.
    std::function<std::optional<TFormValue>(const TPersistent&)> Read;
    // For nested objects (Page, Font, Frame): the object dotted names continue in.
    std::function<TPersistent*(TPersistent&)> Object;
    // For the reference of the description language (qrptool classes): the type as an author
    // spells its values ("Integer", "String", an enumeration's or set's type name), the
    // enumeration behind an enumeration or set, and the default when the property declares one
    // (otherwise a fresh object's stored value is shown).
    std::string Type = {};
    const TEnumInfo* Enum = nullptr;
    bool IsSet = false;
    std::optional<TFormValue> Default = {};
};

// Adds the reference's description to a property built elsewhere.
TPropertyInfo Described(TPropertyInfo info, std::string type, std::optional<TFormValue> def = std::nullopt);
TPropertyInfo DescribedEnum(TPropertyInfo info, const TEnumInfo& e, bool isSet, std::optional<TFormValue> def);

class TPropertyList {
public:
    TPropertyList() = default;
    TPropertyList(const TPropertyList* base, std::vector<TPropertyInfo> own);
    const TPropertyInfo* Find(std::string_view name) const;
    const std::vector<TPropertyInfo>& All() const { return FAll; }

private:
    std::vector<TPropertyInfo> FAll; // the base class's first, then the class's own
};

// Everything with published properties: components and their nested objects (page, font, frame).
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual const char* ClassName() const = 0;
    virtual const TPropertyList& Properties() const = 0;
    // Called for "Values = (...)"-style properties that a holder streams itself; see TPropertyInfo.
};

// ---- Property builders: most properties are a getter and a setter of a plain type. ----

template <class C, class T> using TGetter = T (C::*)() const;
template <class C, class T> using TSetter = void (C::*)(T);

long double NumberValue(const TFormValue& v); // integer or float, else EPropertyValue
int64_t IntegerValue(const TFormValue& v);    // integer, else EPropertyValue
bool BooleanValue(const TFormValue& v);       // True / False
const std::string& StringValue(const TFormValue& v);
std::vector<std::string> StringListValue(const TFormValue& v); // ( 'a' 'b' )
int EnumValue(const TFormValue& v, const TEnumInfo& info);
uint32_t SetValue(const TFormValue& v, const TEnumInfo& info);
TFormValue SetToValue(uint32_t bits, const TEnumInfo& info);
TFormValue StringListToValue(const std::vector<std::string>& lines);

template <class C>
TPropertyInfo IntProperty(std::string name, TGetter<C, int> get, TSetter<C, int> set, std::optional<int> def) {
    return Described({std::move(name),
            [set](TPersistent& o, const TFormValue& v, TLoadContext&) {
                const int64_t i = IntegerValue(v);
                if (i < INT32_MIN || i > INT32_MAX) throw EPropertyValue("integer out of range");
                (static_cast<C&>(o).*set)(static_cast<int>(i));
            },
            [get, def](const TPersistent& o) -> std::optional<TFormValue> {
                const int i = (static_cast<const C&>(o).*get)();
                if (def && *def == i) return std::nullopt;
                return TFormValue::Int(i);
            },
            nullptr},
                     "Integer", def ? std::optional(TFormValue::Int(*def)) : std::nullopt);
}

template <class C>
TPropertyInfo BoolProperty(std::string name, TGetter<C, bool> get, TSetter<C, bool> set, std::optional<bool> def) {
    return Described({std::move(name),
            [set](TPersistent& o, const TFormValue& v, TLoadContext&) { (static_cast<C&>(o).*set)(BooleanValue(v)); },
            [get, def](const TPersistent& o) -> std::optional<TFormValue> {
                const bool b = (static_cast<const C&>(o).*get)();
                if (def && *def == b) return std::nullopt;
                return TFormValue::Ident(b ? "True" : "False");
            },
            nullptr},
                     "Boolean", def ? std::optional(TFormValue::Ident(*def ? "True" : "False")) : std::nullopt);
}

template <class C>
TPropertyInfo StringProperty(std::string name, TGetter<C, std::string> get, TSetter<C, const std::string&> set) {
    return Described({std::move(name),
            [set](TPersistent& o, const TFormValue& v, TLoadContext&) { (static_cast<C&>(o).*set)(StringValue(v)); },
            [get](const TPersistent& o) -> std::optional<TFormValue> {
                std::string s = (static_cast<const C&>(o).*get)();
                if (s.empty()) return std::nullopt;
                return TFormValue::Str(std::move(s));
            },
            nullptr},
                     "String", TFormValue::Str({}));
}

template <class C>
TPropertyInfo StringListProperty(std::string name, TGetter<C, std::vector<std::string>> get,
                                 TSetter<C, const std::vector<std::string>&> set) {
    return Described(
        {std::move(name),
        [set](TPersistent& o, const TFormValue& v, TLoadContext&) { (static_cast<C&>(o).*set)(StringListValue(v)); },
        [get](const TPersistent& o) -> std::optional<TFormValue> {
            auto lines = (static_cast<const C&>(o).*get)();
            if (lines.empty()) return std::nullopt;
            return StringListToValue(lines);
        },
        nullptr},
        "Strings");
}

// Enumerations are stored by name; E is an enum type whose values index info.Names.
template <class C, class E>
TPropertyInfo EnumProperty(std::string name, const TEnumInfo& info, TGetter<C, E> get, TSetter<C, E> set,
                           std::optional<E> def) {
    return DescribedEnum({std::move(name),
            [set, &info](TPersistent& o, const TFormValue& v, TLoadContext&) {
                (static_cast<C&>(o).*set)(static_cast<E>(EnumValue(v, info)));
            },
            [get, def, &info](const TPersistent& o) -> std::optional<TFormValue> {
                const E e = (static_cast<const C&>(o).*get)();
                if (def && *def == e) return std::nullopt;
                return TFormValue::Ident(info.NameOf(static_cast<int>(e)));
            },
            nullptr},
                         info, false, def ? std::optional(TFormValue::Ident(info.NameOf(static_cast<int>(*def)))) : std::nullopt);
}

// Sets are stored as [Name, Name]; bit i stands for info.Names[i].
template <class C>
TPropertyInfo SetProperty(std::string name, const TEnumInfo& info, TGetter<C, uint32_t> get, TSetter<C, uint32_t> set,
                          std::optional<uint32_t> def) {
    return DescribedEnum({std::move(name),
            [set, &info](TPersistent& o, const TFormValue& v, TLoadContext&) {
                (static_cast<C&>(o).*set)(SetValue(v, info));
            },
            [get, def, &info](const TPersistent& o) -> std::optional<TFormValue> {
                const uint32_t bits = (static_cast<const C&>(o).*get)();
                if (def && *def == bits) return std::nullopt;
                return SetToValue(bits, info);
            },
            nullptr},
                         info, true, def ? std::optional(SetToValue(*def, info)) : std::nullopt);
}

// A nested object reached by a dotted name (Page.Values, Font.Height).
template <class C, class P> TPropertyInfo ObjectProperty(std::string name, P* (C::*get)() const) {
    return Described({std::move(name), nullptr, nullptr,
                      [get](TPersistent& o) -> TPersistent* { return (static_cast<C&>(o).*get)(); }},
                     "object");
}

} // namespace pagimo::system
