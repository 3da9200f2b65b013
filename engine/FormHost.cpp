#include "engine/FormHost.h"

#include "engine/Report.h"

namespace pagimo::engine {

using namespace system;

std::vector<TComponent*> TQRFormHost::GetChildren() const {
    // Everything the form owns that is not nested in another component.
    std::vector<TComponent*> out;
    for (TComponent* c : Components()) {
        TComponent* parent = c->GetParentComponent();
        if (!parent || parent == this) out.push_back(c);
    }
    return out;
}

const TPropertyList& TQRFormHost::ClassProperties() {
    auto number = [](const char* name) {
        return TPropertyInfo{name,
                             [n = std::string(name)](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                 const int64_t i = IntegerValue(v);
                                 if (i < INT32_MIN || i > INT32_MAX) throw EPropertyValue("integer out of range");
                                 static_cast<TQRFormHost&>(o).Numbers[n] = static_cast<int>(i);
                             },
                             [n = std::string(name)](const TPersistent& o) -> std::optional<TFormValue> {
                                 const auto& f = static_cast<const TQRFormHost&>(o);
                                 auto it = f.Numbers.find(n);
                                 if (it == f.Numbers.end()) return std::nullopt;
                                 return TFormValue::Int(it->second);
                             },
                             nullptr, "Integer"};
    };
    auto flag = [](const char* name) {
        return TPropertyInfo{name,
                             [n = std::string(name)](TPersistent& o, const TFormValue& v, TLoadContext&) {
                                 static_cast<TQRFormHost&>(o).Flags[n] = BooleanValue(v);
                             },
                             [n = std::string(name)](const TPersistent& o) -> std::optional<TFormValue> {
                                 const auto& f = static_cast<const TQRFormHost&>(o);
                                 auto it = f.Flags.find(n);
                                 if (it == f.Flags.end()) return std::nullopt;
                                 return TFormValue::Ident(it->second ? "True" : "False");
                             },
                             nullptr, "Boolean"};
    };
    static const TPropertyList list(
        &TComponent::ClassProperties(),
        {number("Left"), number("Top"), number("Width"), number("Height"), number("ClientWidth"),
         number("ClientHeight"), number("PixelsPerInch"), number("TextHeight"),
         controls::ColorProperty<TQRFormHost>("Color", &TQRFormHost::Color, &TQRFormHost::SetColor,
                                              static_cast<controls::TColor>(0x8000000F)),
         StringProperty<TQRFormHost>("Caption", &TQRFormHost::Caption, &TQRFormHost::SetCaption),
         ObjectProperty<TQRFormHost, controls::TFont>("Font", &TQRFormHost::Font), flag("OldCreateOrder"),
         flag("Scaled"), flag("Visible")});
    return list;
}

TQRReport* FindFirstReport(TComponent& root) {
    if (auto* r = dynamic_cast<TQRReport*>(&root)) return r;
    for (TComponent* c : root.Components()) {
        if (TQRReport* r = FindFirstReport(*c)) return r;
    }
    return nullptr;
}

void RegisterFormHostClasses(TClassRegistry& registry) {
    registry.Register("TForm", [] { return std::make_unique<TQRFormHost>("TForm"); });
    registry.Register("TQRListForm", [] { return std::make_unique<TQRFormHost>("TQRListForm"); });
}

} // namespace pagimo::engine
