#include "platform/component.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/properties.h"

namespace pagewright {
namespace {

// Runs `f` and returns "<class>: <message>" of the exception it raised, or "" when none.
template <class F>
std::string Raised(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return std::string(e.ClassName()) + ": " + e.Message();
  }
  return "";
}

TEST(Component, NamesMustBeIdentifiers) {
  struct Case {
    WideString name;
    std::string error;
  } cases[] = {
      {u"", ""},
      {u"Memo1", ""},
      {u"_x9", ""},
      {u"a_B_c", ""},
      {u"1Memo", "EComponentError: '1Memo' is not a valid component name"},
      {u"Memo 1", "EComponentError: 'Memo 1' is not a valid component name"},
      {u"Memo.1", "EComponentError: 'Memo.1' is not a valid component name"},
      // Letters of every script, as expressions read them.
      {u"Almac\u00E9n", ""},
      {u"MemoA\u00F1o", ""},
      {u"\u0421\u043A\u043B\u0430\u0434", ""},
      {u"\u00E91", ""},
  };
  for (const auto& c : cases) {
    TComponent comp;
    comp.SetName(u"Old");
    EXPECT_EQ(Raised([&] { comp.SetName(c.name); }), c.error) << std::string(c.name.begin(), c.name.end());
    EXPECT_EQ(comp.Name(), c.error.empty() ? c.name : WideString(u"Old"));
  }
}

TEST(Component, NamesAreUniqueAmongTheOwnersComponentsIgnoringCase) {
  TComponent owner;
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName(u"Memo1");
  EXPECT_EQ(Raised([&] { b->SetName(u"MEMO1"); }), "EDuplicateName: A component named MEMO1 already exists");
  EXPECT_EQ(b->Name(), u"");
  EXPECT_EQ(owner.FindComponent(u"memo1"), a);
  EXPECT_EQ(owner.FindComponent(u""), nullptr);

  // A change of letter case is a rename to the same name.
  a->SetName(u"MEMO1");
  EXPECT_EQ(a->Name(), u"MEMO1");
  EXPECT_EQ(owner.FindComponent(u"Memo1"), a);

  // Renaming frees the old name.
  a->SetName(u"Title");
  b->SetName(u"Memo1");
  EXPECT_EQ(owner.FindComponent(u"memo1"), b);
  EXPECT_EQ(owner.FindComponent(u"title"), a);

  // Components of different owners (or none) may share a name.
  TComponent other;
  other.SetName(u"Memo1");
  auto* c = new TComponent(&other);
  c->SetName(u"Title");

  // Moving into an owner that already has the name is refused; the component stays put.
  EXPECT_EQ(Raised([&] { owner.InsertComponent(c); }),
            "EDuplicateName: A component named Title already exists");
  EXPECT_EQ(c->Owner(), &other);
  c->SetName(u"Footer");
  owner.InsertComponent(c);
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_EQ(other.ComponentCount(), 0);
  EXPECT_EQ(owner.FindComponent(u"FOOTER"), c);
  EXPECT_EQ(c->ComponentIndex(), 2);
}

// Records destruction and keeps a non-owning pointer cleared through free notification.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::vector<std::string>* log, std::string id,
         TLifetime lifetime = TLifetime::ByOwner)
      : TComponent(owner, lifetime), FLog(log), FId(std::move(id)) {}
  ~TProbe() override {
    if (FLog) FLog->push_back("~" + FId);
  }
  void SetTarget(TComponent* t) {
    if (FTarget) RemoveFreeNotification(FTarget);
    FTarget = t;
    if (t) FreeNotification(t);
  }
  TComponent* Target() const { return FTarget; }
  std::vector<std::string> Events;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    if (op == opRemove && c == FTarget) FTarget = nullptr;
    Events.push_back(std::string(op == opInsert ? "insert " : "remove ") +
                     std::string(c->Name().begin(), c->Name().end()));
    TComponent::Notification(c, op);
  }

 private:
  std::vector<std::string>* FLog;
  std::string FId;
  TComponent* FTarget = nullptr;
};

TEST(Component, FreeNotificationClearsPointersToDestroyedComponents) {
  auto holder = std::make_unique<TProbe>(nullptr, nullptr, "holder");
  auto target = std::make_unique<TComponent>();
  target->SetName(u"DataSet1");
  holder->SetTarget(target.get());
  target.reset();
  EXPECT_EQ(holder->Target(), nullptr);
  EXPECT_EQ(holder->Events, std::vector<std::string>{"remove DataSet1"});

  // The holder going first leaves nothing behind in the target.
  auto target2 = std::make_unique<TComponent>();
  holder->SetTarget(target2.get());
  holder.reset();
  target2.reset();  // must not reach the destroyed holder (the sanitizer build checks)

  // Unregistered pointers are not touched; RemoveFreeNotification unregisters.
  TProbe keeper(nullptr, nullptr, "keeper");
  auto t3 = std::make_unique<TComponent>();
  keeper.SetTarget(t3.get());
  keeper.SetTarget(nullptr);
  t3.reset();
  EXPECT_TRUE(keeper.Events.empty());
}

TEST(Component, OwnerBroadcastsInsertAndRemoveToItsComponents) {
  TComponent owner;
  auto* watcher = new TProbe(&owner, nullptr, "w");
  auto* a = new TComponent(&owner);
  a->SetName(u"A");
  auto* b = new TComponent(&owner);
  b->SetName(u"B");
  delete a;
  EXPECT_EQ(watcher->Events, (std::vector<std::string>{"insert ", "insert ", "remove A"}));
  EXPECT_EQ(owner.ComponentCount(), 2);
  EXPECT_EQ(owner.FindComponent(u"A"), nullptr);
  EXPECT_EQ(owner.FindComponent(u"B"), b);
}

TEST(Component, OwnerDestroysItsComponentsLastFirstAndForgetsExternallyHeldOnes) {
  std::vector<std::string> log;
  std::unique_ptr<TProbe> held;
  {
    TProbe owner(nullptr, &log, "owner");
    new TProbe(&owner, &log, "a");
    auto* b = new TProbe(&owner, &log, "b");
    new TProbe(b, &log, "b.child");
    held = std::make_unique<TProbe>(&owner, &log, "held", TLifetime::External);
    held->SetName(u"Held");
    new TProbe(&owner, &log, "c");
    EXPECT_EQ(owner.FindComponent(u"held"), held.get());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"~owner", "~c", "~b", "~b.child", "~a"}));
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->Owner(), nullptr);
  EXPECT_EQ(held->Name(), u"Held");

  // An externally held component destroyed by its holder leaves its owner's list.
  TComponent owner2;
  auto node = std::make_unique<TProbe>(&owner2, nullptr, "node", TLifetime::External);
  node->SetName(u"Node");
  node.reset();
  EXPECT_EQ(owner2.ComponentCount(), 0);
  EXPECT_EQ(owner2.FindComponent(u"Node"), nullptr);
}

TEST(Component, ClassNameComesFromTheDescription) {
  TComponent c;
  EXPECT_EQ(c.ClassName(), "TComponent");
  EXPECT_TRUE(c.InheritsFrom(TPersistent::StaticClassInfo()));
  EXPECT_EQ(Raised([&] {
              TComponent d;
              d.Assign(c);
            }),
            "EConvertError: Cannot assign a TComponent to a TComponent");
  c.SetTag(-7);
  EXPECT_EQ(GetPropValue(c, "tag").Int, -7);
}

}  // namespace
}  // namespace pagewright
