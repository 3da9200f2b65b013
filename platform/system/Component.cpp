#include "platform/system/Component.h"

#include "platform/system/Errors.h"

#include <algorithm>
#include <cctype>

namespace pagimo::system {

TComponent::TComponent() = default;

namespace {

std::string UpperName(std::string_view s) {
    std::string u(s);
    for (char& ch : u)
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return u;
}

// Components mostly leave in reverse order of coming, so lists are searched from their end.
template <class V, class P> auto FindFromBack(V& v, P pred) {
    auto it = std::find_if(v.rbegin(), v.rend(), pred);
    return it == v.rend() ? v.end() : std::prev(it.base());
}

} // namespace

TComponent::~TComponent() {
    BeginDestroy();
    // Owned components go in reverse order of creation, each telling the remaining ones that listen.
    for (TComponent* c : FObservers) {
        if (!c->FQuietInTeardown) FTeardownObservers.push_back(c);
    }
    FTearingDown = true;
    while (!FComponents.empty()) {
        auto last = std::move(FComponents.back());
        FComponents.pop_back();
        Unlist(last.get());
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
        auto it = FindFromBack(owner->FComponents, [this](const auto& p) { return p.get() == this; });
        if (it != owner->FComponents.end()) {
            (void)it->release();
            owner->FComponents.erase(it);
            owner->Unlist(this);
        }
        FOwner = nullptr;
    }
}

void TComponent::Unlist(TComponent* c) {
    auto view = FindFromBack(FComponentsView, [c](TComponent* p) { return p == c; });
    if (view != FComponentsView.end()) FComponentsView.erase(view);
    if (c->FTakesNotifications) {
        auto observer = FindFromBack(FObservers, [c](TComponent* p) { return p == c; });
        if (observer != FObservers.end()) FObservers.erase(observer);
        auto told = FindFromBack(FTeardownObservers, [c](TComponent* p) { return p == c; });
        if (told != FTeardownObservers.end()) FTeardownObservers.erase(told);
    }
    UnindexName(c);
}

void TComponent::IndexName(TComponent* c) {
    if (c->FName.empty()) return;
    if (!FNameIndex.emplace(UpperName(c->FName), c).second) FNameClash = true;
}

void TComponent::UnindexName(TComponent* c) {
    if (c->FName.empty()) return;
    auto it = FNameIndex.find(UpperName(c->FName));
    if (it == FNameIndex.end() || it->second != c) return;
    FNameIndex.erase(it);
    if (!FNameClash) return;
    // Another component of the same name, adopted while this one was here, is found now.
    for (TComponent* other : FComponentsView) {
        if (other != c && SameText(other->FName, c->FName)) {
            FNameIndex.emplace(UpperName(other->FName), other);
            break;
        }
    }
}

void TComponent::NotifyOwned(TComponent* about, TOperation operation) {
    Notification(about, operation);
    if (operation == opInsert) return;
    // By index: a notified component may free others of the same owner.
    const std::vector<TComponent*>& observers = FTearingDown ? FTeardownObservers : FObservers;
    for (size_t i = 0; i < observers.size(); ++i) {
        if (TComponent* c = observers[i]; c != about) c->Notification(about, operation);
    }
}

void TComponent::SetTakesNotifications(bool takes) {
    if (takes == FTakesNotifications) return;
    FTakesNotifications = takes;
    if (!FOwner) return;
    auto& observers = FOwner->FObservers;
    if (!takes) {
        observers.erase(std::remove(observers.begin(), observers.end(), this), observers.end());
        return;
    }
    // Keep the order of insertion among the observers.
    auto own = std::find(FOwner->FComponentsView.begin(), FOwner->FComponentsView.end(), this);
    auto at = observers.begin();
    for (auto c = FOwner->FComponentsView.begin(); c != own; ++c) {
        if (at != observers.end() && *at == *c) ++at;
    }
    observers.insert(at, this);
}

TComponent* TComponent::InsertComponent(std::unique_ptr<TComponent> c) {
    TComponent* raw = c.get();
    if (raw->FOwner) throw EQRError("component already has an owner");
    raw->FOwner = this;
    FComponents.push_back(std::move(c));
    FComponentsView.push_back(raw);
    if (raw->FTakesNotifications) FObservers.push_back(raw);
    IndexName(raw);
    NotifyOwned(raw, opInsert);
    return raw;
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent* c) {
    auto it = FindFromBack(FComponents, [c](const auto& p) { return p.get() == c; });
    if (it == FComponents.end()) return nullptr;
    auto owned = std::move(*it);
    FComponents.erase(it);
    Unlist(c);
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
    if (FOwner) FOwner->UnindexName(this);
    FName = name;
    if (FOwner) FOwner->IndexName(this);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    auto it = FNameIndex.find(UpperName(name));
    return it == FNameIndex.end() ? nullptr : it->second;
}

void TComponent::SetEventHandler(const std::string& event, const std::string& handler) {
    for (auto& [name, value] : FEventHandlers) {
        if (SameText(name, event)) {
            value = handler;
            return;
        }
    }
    FEventHandlers.emplace_back(event, handler);
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

void TClassRegistry::Register(const std::string& className, TFactory factory) {
    FFactories[UpperName(className)] = std::move(factory);
    FNames[UpperName(className)] = className;
}

std::vector<std::string> TClassRegistry::ClassNames() const {
    std::vector<std::string> names;
    for (const auto& [key, name] : FNames)
        names.push_back(name);
    return names;
}

bool TClassRegistry::Contains(std::string_view className) const {
    return FFactories.contains(UpperName(className));
}

std::unique_ptr<TComponent> TClassRegistry::Create(std::string_view className) const {
    auto it = FFactories.find(UpperName(className));
    if (it == FFactories.end()) return nullptr;
    return it->second();
}

} // namespace pagimo::system
