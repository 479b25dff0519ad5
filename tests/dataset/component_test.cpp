#include "dataset/component.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "dataset/exceptions.h"

namespace dataset_test {

using namespace dataset;

namespace {

// A component that records the notifications it receives and holds one
// reference that it clears when the referenced component goes away.
class TWatcher : public TComponent {
 public:
  explicit TWatcher(TComponent* owner, std::vector<std::string>* log = nullptr)
      : TComponent(owner), log_(log) {}
  ~TWatcher() override {
    if (log_) log_->push_back("destroy " + Name());
  }

  void SetTarget(TComponent* target) {
    target_ = target;
    if (target) target->FreeNotification(this);
  }
  TComponent* Target() const { return target_; }

  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == target_) target_ = nullptr;
    if (log_)
      log_->push_back(Name() + (operation == opRemove ? " removed " : " inserted ") +
                      component->Name());
  }

  void Loaded() override {
    TComponent::Loaded();
    if (log_) log_->push_back("loaded " + Name());
  }

 private:
  TComponent* target_ = nullptr;
  std::vector<std::string>* log_;
};

TEST(Component, OwnerDestroysOwnedComponentsLastFirst) {
  std::vector<std::string> log;
  {
    auto form = std::make_unique<TComponent>(nullptr);
    auto* a = new TWatcher(form.get(), &log);
    a->SetName("A");
    auto* b = new TWatcher(form.get(), &log);
    b->SetName("B");
    EXPECT_EQ(form->ComponentCount(), 2);
    EXPECT_EQ(form->Components(1), b);
    EXPECT_EQ(b->ComponentIndex(), 1);
    EXPECT_EQ(a->Owner(), form.get());
  }
  // B goes first; A hears of it through the common owner.
  auto b_gone = std::find(log.begin(), log.end(), "destroy B");
  ASSERT_NE(b_gone, log.end());
  ASSERT_NE(b_gone + 1, log.end());
  EXPECT_EQ(*(b_gone + 1), "A removed B");
  EXPECT_EQ(log.back(), "destroy A");
}

TEST(Component, DeletingAComponentRemovesItFromItsOwner) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  a->SetName("A");
  delete a;
  EXPECT_EQ(form.ComponentCount(), 0);
  EXPECT_EQ(form.FindComponent("A"), nullptr);
}

TEST(Component, BadIndexIsRefused) {
  TComponent form(nullptr);
  EXPECT_THROW(form.Components(0), EListError);
  EXPECT_THROW(form.Components(-1), EListError);
}

TEST(Component, NamesFollowIdentifierRulesAndAreUniqueAmongSiblings) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  auto* b = new TComponent(&form);
  a->SetName("NdsQuery1");
  EXPECT_EQ(form.FindComponent("ndsquery1"), a);

  for (const char* bad : {"1abc", "a b", "a-b", "ä"}) {
    try {
      b->SetName(bad);
      FAIL() << bad;
    } catch (const EComponentError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid component name");
    }
  }
  try {
    b->SetName("NDSQUERY1");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), "A component named NDSQUERY1 already exists");
  }
  EXPECT_EQ(b->Name(), "");

  // Changing only the letter case of one's own name is allowed; empty names
  // never clash.
  a->SetName("NDSQUERY1");
  EXPECT_EQ(a->Name(), "NDSQUERY1");
  b->SetName("_b2");
  b->SetName("");
  auto* c = new TComponent(&form);
  EXPECT_EQ(c->Name(), "");
}

TEST(Component, InsertingADuplicateNameIsRefused) {
  TComponent form(nullptr);
  auto* a = new TComponent(&form);
  a->SetName("X");
  TComponent other(nullptr);
  auto* x = new TComponent(&other);
  x->SetName("x");
  EXPECT_THROW(form.InsertComponent(x), EComponentError);
  EXPECT_EQ(x->Owner(), &other);
  x->SetName("Y");
  form.InsertComponent(x);
  EXPECT_EQ(x->Owner(), &form);
  EXPECT_EQ(other.ComponentCount(), 0);
}

TEST(Component, FreeNotificationClearsReferencesAcrossOwners) {
  auto target = std::make_unique<TComponent>(nullptr);
  target->SetName("Target");
  TWatcher watcher(nullptr);
  watcher.SetTarget(target.get());
  EXPECT_TRUE(watcher.ComponentState().Contains(csFreeNotification));
  target.reset();
  EXPECT_EQ(watcher.Target(), nullptr);
  EXPECT_FALSE(watcher.ComponentState().Contains(csFreeNotification));
}

TEST(Component, DestroyedWatcherUnlinksItselfFromItsTarget) {
  TComponent target(nullptr);
  {
    TWatcher watcher(nullptr);
    watcher.SetTarget(&target);
  }
  // No dangling link left: destroying the target later must not call the
  // dead watcher (ASan would report it).
  EXPECT_FALSE(target.ComponentState().Contains(csFreeNotification));
}

TEST(Component, RemoveFreeNotificationStopsTheNotice) {
  auto target = std::make_unique<TComponent>(nullptr);
  TWatcher watcher(nullptr);
  watcher.SetTarget(target.get());
  target->RemoveFreeNotification(&watcher);
  TComponent* raw = target.get();
  target.reset();
  EXPECT_EQ(watcher.Target(), raw);  // nobody told it
}

TEST(Component, SiblingsHearOfInsertionAndRemoval) {
  std::vector<std::string> log;
  TComponent form(nullptr);
  auto* a = new TWatcher(&form, &log);
  a->SetName("A");
  auto* b = new TComponent(nullptr);
  b->SetName("B");
  form.InsertComponent(b);
  EXPECT_EQ(log.back(), "A inserted B");
  a->SetTarget(b);
  delete b;
  EXPECT_EQ(a->Target(), nullptr);
}

TEST(Component, StateFlagsAndLoadedStep) {
  std::vector<std::string> log;
  TComponent form(nullptr);
  form.SetDesigning(true);
  auto* a = new TWatcher(&form, &log);
  a->SetName("A");
  EXPECT_TRUE(a->IsDesigning());  // inherited from the owner on insertion
  a->Loading();
  a->SetReading(true);
  EXPECT_TRUE(a->IsLoading());
  EXPECT_TRUE(a->IsReading());
  a->SetReading(false);
  a->Loaded();
  EXPECT_FALSE(a->IsLoading());
  EXPECT_EQ(log.back(), "loaded A");
  a->Updating();
  EXPECT_TRUE(a->ComponentState().Contains(csUpdating));
  a->Updated();
  EXPECT_FALSE(a->ComponentState().Contains(csUpdating));
  form.SetDesigning(false);
  EXPECT_FALSE(a->IsDesigning());
}

TEST(Component, ClassNameAndNamePath) {
  TWatcher w(nullptr);
  EXPECT_EQ(w.ClassName(), "TWatcher");
  w.SetName("W1");
  EXPECT_EQ(w.GetNamePath(), "W1");
}

TEST(Persistent, AssignBetweenUnrelatedClassesIsRefused) {
  TComponent a(nullptr), b(nullptr);
  try {
    a.Assign(&b);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TComponent");
  }
  EXPECT_THROW(a.Assign(nullptr), EConvertError);
}

}  // namespace
}  // namespace dataset_test
