#include "platform/system/Persistent.h"

#include <algorithm>
#include <cctype>

namespace pagimo::system {

TFormValue TFormValue::Int(int64_t v) {
    TFormValue f;
    f.Kind = fvInteger;
    f.Integer = v;
    return f;
}
TFormValue TFormValue::Flt(long double v) {
    TFormValue f;
    f.Kind = fvFloat;
    f.Float = v;
    return f;
}
TFormValue TFormValue::Str(std::string v) {
    TFormValue f;
    f.Kind = fvString;
    f.Text = std::move(v);
    return f;
}
TFormValue TFormValue::Ident(std::string v) {
    TFormValue f;
    f.Kind = fvIdent;
    f.Text = std::move(v);
    return f;
}
TFormValue TFormValue::Set(std::vector<std::string> names) {
    TFormValue f;
    f.Kind = fvSet;
    f.Names = std::move(names);
    return f;
}
TFormValue TFormValue::List(std::vector<TFormValue> items) {
    TFormValue f;
    f.Kind = fvList;
    f.Items = std::move(items);
    return f;
}
TFormValue TFormValue::Binary(std::vector<uint8_t> bytes) {
    TFormValue f;
    f.Kind = fvBinary;
    f.Bytes = std::move(bytes);
    return f;
}

const char* TFormValue::KindName() const {
    switch (Kind) {
    case fvInteger:
        return "an integer";
    case fvFloat:
        return "a number";
    case fvString:
        return "a string";
    case fvIdent:
        return "a name";
    case fvSet:
        return "a set";
    case fvList:
        return "a list";
    case fvBinary:
        return "binary data";
    case fvCollection:
        return "a collection";
    }
    return "a value";
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::optional<int> TEnumInfo::Find(std::string_view name) const {
    for (size_t i = 0; i < Names.size(); ++i) {
        if (SameText(Names[i], name)) return static_cast<int>(i);
    }
    return std::nullopt;
}

const std::string& TEnumInfo::NameOf(int value) const {
    if (value < 0 || static_cast<size_t>(value) >= Names.size()) throw std::out_of_range(TypeName);
    return Names[static_cast<size_t>(value)];
}

TPropertyList::TPropertyList(const TPropertyList* base, std::vector<TPropertyInfo> own) {
    if (base) FAll = base->FAll;
    for (auto& p : own) {
        // A class may redeclare a base property (to change its default); the last one wins.
        auto it =
            std::find_if(FAll.begin(), FAll.end(), [&](const TPropertyInfo& q) { return SameText(q.Name, p.Name); });
        if (it != FAll.end())
            *it = std::move(p);
        else
            FAll.push_back(std::move(p));
    }
}

const TPropertyInfo* TPropertyList::Find(std::string_view name) const {
    for (const auto& p : FAll) {
        if (SameText(p.Name, name)) return &p;
    }
    return nullptr;
}

static std::string Expected(const char* what, const TFormValue& v) {
    return std::string("expected ") + what + ", found " + v.KindName();
}

long double NumberValue(const TFormValue& v) {
    if (!v.IsNumber()) throw EPropertyValue(Expected("a number", v));
    return v.AsNumber();
}

int64_t IntegerValue(const TFormValue& v) {
    if (v.Kind != TFormValue::fvInteger) throw EPropertyValue(Expected("an integer", v));
    return v.Integer;
}

bool BooleanValue(const TFormValue& v) {
    if (v.Kind == TFormValue::fvIdent) {
        if (SameText(v.Text, "True")) return true;
        if (SameText(v.Text, "False")) return false;
    }
    throw EPropertyValue("expected True or False");
}

const std::string& StringValue(const TFormValue& v) {
    if (v.Kind != TFormValue::fvString) throw EPropertyValue(Expected("a string", v));
    return v.Text;
}

std::vector<std::string> StringListValue(const TFormValue& v) {
    if (v.Kind != TFormValue::fvList) throw EPropertyValue(Expected("a list of strings", v));
    std::vector<std::string> out;
    for (const auto& item : v.Items)
        out.push_back(StringValue(item));
    return out;
}

static std::string NameList(const TEnumInfo& info) {
    std::string s;
    for (const auto& n : info.Names)
        s += (s.empty() ? "" : ", ") + n;
    return s;
}

int EnumValue(const TFormValue& v, const TEnumInfo& info) {
    if (v.Kind == TFormValue::fvIdent) {
        if (auto i = info.Find(v.Text)) return *i;
        throw EPropertyValue("'" + v.Text + "' is not a value of " + info.TypeName + " (" + NameList(info) + ")");
    }
    throw EPropertyValue(Expected("a name", v));
}

uint32_t SetValue(const TFormValue& v, const TEnumInfo& info) {
    if (v.Kind != TFormValue::fvSet) throw EPropertyValue(Expected("a set", v));
    uint32_t bits = 0;
    for (const auto& n : v.Names) {
        auto i = info.Find(n);
        if (!i) throw EPropertyValue("'" + n + "' is not a value of " + info.TypeName + " (" + NameList(info) + ")");
        bits |= 1u << *i;
    }
    return bits;
}

TFormValue SetToValue(uint32_t bits, const TEnumInfo& info) {
    std::vector<std::string> names;
    for (size_t i = 0; i < info.Names.size() && i < 32; ++i) {
        if (bits & (1u << i)) names.push_back(info.Names[i]);
    }
    return TFormValue::Set(std::move(names));
}

TFormValue StringListToValue(const std::vector<std::string>& lines) {
    std::vector<TFormValue> items;
    for (const auto& l : lines)
        items.push_back(TFormValue::Str(l));
    return TFormValue::List(std::move(items));
}

TPropertyInfo Described(TPropertyInfo info, std::string type, std::optional<TFormValue> def) {
    info.Type = std::move(type);
    info.Default = std::move(def);
    return info;
}

TPropertyInfo DescribedEnum(TPropertyInfo info, const TEnumInfo& e, bool isSet, std::optional<TFormValue> def) {
    info.Type = isSet ? std::string("set of ") + e.TypeName : std::string(e.TypeName);
    info.Enum = &e;
    info.IsSet = isSet;
    info.Default = std::move(def);
    return info;
}

} // namespace pagimo::system
