#include "platform/system/Component.h"

#include "platform/system/Errors.h"

#include <algorithm>
#include <cctype>

namespace pagimo::system {

TComponent::TComponent() = default;

TComponent::~TComponent() {
    BeginDestroy();
    // Owned components go in reverse order of creation, each telling the remaining ones.
    while (!FComponents.empty()) {
        auto last = std::move(FComponents.back());
        FComponents.pop_back();
        FComponentsView.pop_back();
        last->FOwner = nullptr;
        NotifyOwned(last.get(), opRemove);
        last.reset();
    }
}

void TComponent::BeginDestroy() {
    if (FDestroying) return;
    FDestroying = true;
    if (FOwner) {
        TComponent* owner = FOwner;
        owner->NotifyOwned(this, opRemove);
        // Release our own unique_ptr from the owner without deleting (we are being destroyed already).
        auto it = std::find_if(owner->FComponents.begin(), owner->FComponents.end(),
                               [this](const auto& p) { return p.get() == this; });
        if (it != owner->FComponents.end()) {
            (void)it->release();
            owner->FComponents.erase(it);
            owner->FComponentsView.erase(std::find(owner->FComponentsView.begin(), owner->FComponentsView.end(), this));
        }
        FOwner = nullptr;
    }
}

void TComponent::NotifyOwned(TComponent* about, TOperation operation) {
    Notification(about, operation);
    for (TComponent* c : FComponentsView) {
        if (c != about) c->Notification(about, operation);
    }
}

TComponent* TComponent::InsertComponent(std::unique_ptr<TComponent> c) {
    TComponent* raw = c.get();
    if (raw->FOwner) throw EQRError("component already has an owner");
    raw->FOwner = this;
    FComponents.push_back(std::move(c));
    FComponentsView.push_back(raw);
    NotifyOwned(raw, opInsert);
    return raw;
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* c) {
    auto it = std::find_if(FComponents.begin(), FComponents.end(), [c](const auto& p) { return p.get() == c; });
    if (it == FComponents.end()) return nullptr;
    auto owned = std::move(*it);
    FComponents.erase(it);
    FComponentsView.erase(std::find(FComponentsView.begin(), FComponentsView.end(), c));
    owned->FOwner = nullptr;
    return owned;
}

void TComponent::FreeComponent(TComponent* c) {
    if (!c || c->FOwner != this) return;
    c->BeginDestroy();
    delete c;
}

static bool ValidIdent(const std::string& name) {
    if (name.empty()) return true;
    if (!(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; });
}

void TComponent::SetName(const std::string& name) {
    if (name == FName) return;
    if (!ValidIdent(name)) throw EQRError("'" + name + "' is not a valid component name");
    if (!name.empty() && FOwner) {
        if (TComponent* other = FOwner->FindComponent(name); other && other != this) {
            throw EQRError("A component named " + name + " already exists");
        }
    }
    FName = name;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponentsView) {
        if (SameText(c->FName, name)) return c;
    }
    return nullptr;
}

void TComponent::EndLoading() {
    FLoading = false;
    Loaded();
}

void TComponent::SetParentComponent(TComponent*) {}

std::vector<TComponent*> TComponent::GetChildren() const {
    // Plain components nest the components they own that have no visual parent.
    std::vector<TComponent*> out;
    for (TComponent* c : FComponentsView) {
        if (!c->GetParentComponent()) out.push_back(c);
    }
    return out;
}

void TComponent::Notification(TComponent*, TOperation) {}

const TPropertyList& TComponent::ClassProperties() {
    static const TPropertyList list(nullptr,
                                    {IntProperty<TComponent>("Tag", &TComponent::Tag, &TComponent::SetTag, 0)});
    return list;
}

const TPropertyList& TComponent::Properties() const {
    return ClassProperties();
}

static std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& ch : u)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return u;
}

void TClassRegistry::Register(const std::string& className, TFactory factory) {
    FFactories[Upper(className)] = std::move(factory);
    FNames[Upper(className)] = className;
}

std::vector<std::string> TClassRegistry::ClassNames() const {
    std::vector<std::string> names;
    for (const auto& [key, name] : FNames)
        names.push_back(name);
    return names;
}

bool TClassRegistry::Contains(std::string_view className) const {
    return FFactories.contains(Upper(className));
}

std::unique_ptr<TComponent> TClassRegistry::Create(std::string_view className) const {
    auto it = FFactories.find(Upper(className));
    if (it == FFactories.end()) return nullptr;
    return it->second();
}

} // namespace pagimo::system
