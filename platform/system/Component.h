#pragma once
// Components: named objects in an ownership tree. An owner frees what it owns; a component that goes
// away tells the other components of its owner, so references to it are cleared. Descriptions create
// components by class name through an explicit registry.

#include "platform/system/Persistent.h"

#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

namespace pagimo::system {

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
public:
    TComponent();
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // Creates a component owned by owner (or by nobody when owner is null: the caller then owns it
    // through the returned pointer and must Adopt or delete it).
    template <class T, class... A> static T* Create(TComponent* owner, A&&... args) {
        auto p = std::make_unique<T>(std::forward<A>(args)...);
        T* raw = p.get();
        if (owner)
            owner->InsertComponent(std::move(p));
        else
            p.release();
        return raw;
    }
    // Takes over a component created elsewhere.
    TComponent* InsertComponent(std::unique_ptr<TComponent> c);
    // Destroys an owned component (and what it owns).
    void FreeComponent(TComponent* c);

    const std::string& Name() const { return FName; }
    void SetName(const std::string& name); // throws EQRError for an invalid or duplicate name
    TComponent* Owner() const { return FOwner; }
    const std::vector<TComponent*>& Components() const { return FComponentsView; }
    TComponent* FindComponent(std::string_view name) const; // among owned, case-insensitive
    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // Event properties of a description (BeforePrint = ReportBeforePrint) name program code; the
    // names are kept in the order read and written back, whether or not code is connected to them.
    const std::vector<std::pair<std::string, std::string>>& EventHandlers() const { return FEventHandlers; }
    void SetEventHandler(const std::string& event, const std::string& handler);

    bool Loading() const { return FLoading; }
    bool Destroying() const { return FDestroying; }
    void BeginLoading() { FLoading = true; }
    // Clears the loading state and runs Loaded.
    void EndLoading();

    // The visual parent a description nests a component in (a band on a report, a control on a band).
    virtual void SetParentComponent(TComponent* parent);
    virtual TComponent* GetParentComponent() const { return nullptr; }
    // The components nested inside this one in a description, in order (for the writer).
    virtual std::vector<TComponent*> GetChildren() const;

    const TPropertyList& Properties() const override;
    static const TPropertyList& ClassProperties();

protected:
    virtual void Loaded() {}
    // A component of the same owner is about to be removed (opRemove: told to the owner and to every
    // owned component that takes notifications) or was inserted (opInsert: told to the owner only).
    virtual void Notification(TComponent* component, TOperation operation);
    // Opts this component in or out of its siblings' notifications. Components that never hold
    // references to siblings opt out, so that owners of many thousands of them are built and freed
    // in linear time.
    void SetTakesNotifications(bool takes);
    bool TakesNotifications() const { return FTakesNotifications; }
    // Marks a component whose destructor touches none of its siblings: while the owner frees all it
    // owns, such a component is not told of the others going (nothing of it will look at them), so
    // an owner of thousands of them is freed in linear time.
    void SetQuietInTeardown(bool quiet) { FQuietInTeardown = quiet; }
    // To be called first by destructors of classes whose Notification overrides must not see a
    // half-destroyed object: detaches from the owner and notifies the others.
    void BeginDestroy();

private:
    std::string FName;
    TComponent* FOwner = nullptr;
    std::vector<std::unique_ptr<TComponent>> FComponents;
    std::vector<TComponent*> FComponentsView;
    // The owned components that take notifications, in order of insertion.
    std::vector<TComponent*> FObservers;
    // Owned components by upper-cased name, for FindComponent. A name taken twice (possible only by
    // adopting components named elsewhere) keeps the first one and sets FNameClash.
    std::unordered_map<std::string, TComponent*> FNameIndex;
    bool FNameClash = false;
    bool FTakesNotifications = true;
    bool FQuietInTeardown = false;
    // While the destructor frees the owned components: the observers still told of removals.
    bool FTearingDown = false;
    std::vector<TComponent*> FTeardownObservers;
    int FTag = 0;
    std::vector<std::pair<std::string, std::string>> FEventHandlers;
    bool FLoading = false;
    bool FDestroying = false;

    std::unique_ptr<TComponent> RemoveComponent(TComponent* c);
    // Forgets an owned component in the views, the observers and the name index (not in FComponents).
    void Unlist(TComponent* c);
    void IndexName(TComponent* c);
    void UnindexName(TComponent* c);
    void NotifyOwned(TComponent* about, TOperation operation);
};

// A reference to another component, stored by name and resolved after reading.
template <class C, class T>
TPropertyInfo ComponentProperty(std::string name, T* (C::*get)() const, void (C::*set)(T*)) {
    std::string type = "component";
    if constexpr (requires { T::StaticClassName(); }) type += std::string(" (") + T::StaticClassName() + ")";
    return Described({std::move(name),
            [set](TPersistent& o, const TFormValue& v, TLoadContext& ctx) {
                if (v.Kind != TFormValue::fvIdent) throw EPropertyValue("expected a component name");
                if (SameText(v.Text, "nil")) {
                    (static_cast<C&>(o).*set)(nullptr);
                    return;
                }
                C* target = &static_cast<C&>(o);
                ctx.AddReference(v.Text, v.Line, [target, set, n = v.Text](TComponent* c) {
                    T* typed = c ? dynamic_cast<T*>(c) : nullptr;
                    if (!typed) {
                        throw EPropertyValue("component '" + n + "' has the wrong class" +
                                             (c ? std::string(" ") + c->ClassName() : std::string()));
                    }
                    (target->*set)(typed);
                });
            },
            [get](const TPersistent& o) -> std::optional<TFormValue> {
                T* c = (static_cast<const C&>(o).*get)();
                if (!c || c->Name().empty()) return std::nullopt;
                return TFormValue::Ident(c->Name());
            },
            nullptr},
                     std::move(type), TFormValue::Ident("nil"));
}

// Class names to factories. One registry per program, owned by whoever sets it up (the application,
// a test); nothing registers itself behind the scenes.
class TClassRegistry {
public:
    using TFactory = std::function<std::unique_ptr<TComponent>()>;
    void Register(const std::string& className, TFactory factory);
    template <class T> void Register() {
        Register(T::StaticClassName(), [] { return std::make_unique<T>(); });
    }
    bool Contains(std::string_view className) const;
    // The registered class names as registered, in alphabetical order.
    std::vector<std::string> ClassNames() const;
    std::unique_ptr<TComponent> Create(std::string_view className) const; // nullptr when unknown

private:
    std::map<std::string, TFactory, std::less<>> FFactories; // keys upper-cased
    std::map<std::string, std::string> FNames;              // upper-cased key to the registered name
};

} // namespace pagimo::system
