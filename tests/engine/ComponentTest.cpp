// The ownership tree: names found by index as they change, and who is told of a component going.

#include "platform/system/Component.h"
#include "platform/system/Errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pagimo;
using system::TComponent;

namespace {

// Records the removals it is told of, in a log shared by the test.
class TWatcher : public TComponent {
public:
    explicit TWatcher(std::vector<std::string>* log = nullptr) : FLog(log) {}
    ~TWatcher() override { BeginDestroy(); }
    const char* ClassName() const override { return "TWatcher"; }
    using TComponent::SetQuietInTeardown;
    using TComponent::SetTakesNotifications;

protected:
    void Notification(TComponent* c, system::TOperation op) override {
        if (FLog && op == system::opRemove) FLog->push_back(Name() + " told " + c->Name());
    }

private:
    std::vector<std::string>* FLog;
};

TEST(Component, NamesAreFoundAsTheyChangeAndComponentsGo) {
    TWatcher owner;
    auto* a = TComponent::Create<TWatcher>(&owner);
    a->SetName("Alpha");
    auto* b = TComponent::Create<TWatcher>(&owner);
    b->SetName("Beta");
    EXPECT_EQ(owner.FindComponent("ALPHA"), a) << "case does not matter";
    EXPECT_THROW(b->SetName("alpha"), EQRError) << "a name is taken once per owner";
    EXPECT_EQ(b->Name(), "Beta");

    a->SetName("Gamma");
    EXPECT_EQ(owner.FindComponent("alpha"), nullptr) << "the old name is free again";
    EXPECT_EQ(owner.FindComponent("gamma"), a);
    b->SetName("Alpha");
    EXPECT_EQ(owner.FindComponent("Alpha"), b);

    owner.FreeComponent(b);
    EXPECT_EQ(owner.FindComponent("Alpha"), nullptr);
    EXPECT_EQ(owner.Components().size(), 1u);

    // A component named elsewhere and adopted under a name already taken: the first one is found
    // while it stays, the adopted one once the first has gone.
    auto adopted = std::make_unique<TWatcher>();
    adopted->SetName("Gamma");
    TComponent* second = owner.InsertComponent(std::move(adopted));
    EXPECT_EQ(owner.FindComponent("Gamma"), a);
    owner.FreeComponent(a);
    EXPECT_EQ(owner.FindComponent("Gamma"), second);
}

TEST(Component, RemovalsAreToldToTheSiblingsThatListen) {
    std::vector<std::string> log;
    {
        TWatcher owner;
        auto make = [&](const std::string& name) {
            auto* w = TComponent::Create<TWatcher>(&owner, &log);
            w->SetName(name);
            return w;
        };
        TWatcher* listener = make("Listener");
        TWatcher* deaf = make("Deaf");
        deaf->SetTakesNotifications(false);
        TWatcher* quiet = make("Quiet");
        quiet->SetQuietInTeardown(true);
        TWatcher* gone = make("Gone");
        owner.FreeComponent(gone);
        EXPECT_EQ(log, (std::vector<std::string>{"Listener told Gone", "Quiet told Gone"}));

        deaf->SetTakesNotifications(true);
        TWatcher* late = make("Late");
        owner.FreeComponent(late);
        EXPECT_EQ(log.size(), 5u) << "listening again, in order of creation";
        EXPECT_EQ(log[2], "Listener told Late");
        EXPECT_EQ(log[3], "Deaf told Late");
        EXPECT_EQ(log[4], "Quiet told Late");
        static_cast<void>(listener);
        log.clear();
    }
    // Freed with its owner in reverse order: the quiet one hears nothing of the others going.
    EXPECT_EQ(log, (std::vector<std::string>{"Listener told Quiet", "Deaf told Quiet", "Listener told Deaf"}));
}

} // namespace
