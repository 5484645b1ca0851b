#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "marovia/platform/classes.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

// Records its destruction and the notifications it receives.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::vector<std::string>* log, std::string tag)
      : TComponent(owner), log_(log), tag_(std::move(tag)) {}
  ~Probe() override { log_->push_back("~" + tag_); }
  std::string ClassName() const override { return "TProbe"; }

  TComponent* watched = nullptr;
  int loadedCalls = 0;
  int removals = 0;

 protected:
  void Loaded() override { ++loadedCalls; }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (op == TOperation::opRemove) {
      ++removals;
      if (c == watched) watched = nullptr;
    }
  }

 private:
  std::vector<std::string>* log_;
  std::string tag_;
};

TEST(Component, OwnerFreesOwnedComponentsLastFirst) {
  std::vector<std::string> log;
  {
    auto owner = std::make_unique<Probe>(nullptr, &log, "owner");
    auto* a = new Probe(owner.get(), &log, "a");
    new Probe(owner.get(), &log, "b");
    new Probe(a, &log, "a1");
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(owner->Components(0), a);
    EXPECT_EQ(a->Owner(), owner.get());
  }
  EXPECT_EQ(log, (std::vector<std::string>{"~owner", "~b", "~a", "~a1"}));
}

TEST(Component, DestroyComponentsFreesOwnedComponentsEarly) {
  std::vector<std::string> log;
  Probe owner(nullptr, &log, "owner");
  new Probe(&owner, &log, "a");
  new Probe(&owner, &log, "b");
  owner.DestroyComponents();
  EXPECT_EQ(log, (std::vector<std::string>{"~b", "~a"}));
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(Component, DeletingAnOwnedComponentDetachesIt) {
  std::vector<std::string> log;
  Probe owner(nullptr, &log, "owner");
  auto* a = new Probe(&owner, &log, "a");
  auto* b = new Probe(&owner, &log, "b");
  const int removalsBefore = owner.removals;
  delete a;
  EXPECT_EQ(owner.ComponentCount(), 1);
  EXPECT_EQ(owner.Components(0), b);
  EXPECT_EQ(owner.removals, removalsBefore + 1);  // the owner is told
  EXPECT_THROW(owner.Components(1), ERangeError);
}

TEST(Component, NamesAreValidatedAndUniquePerOwner) {
  TComponent owner(nullptr);
  auto* a = new TComponent(&owner);
  auto* b = new TComponent(&owner);
  a->SetName("GeoMap1");
  EXPECT_THROW(b->SetName("geomap1"), EConvertError);  // case-insensitive clash
  EXPECT_EQ(b->Name(), "");
  a->SetName("GEOMAP1");  // renaming to itself in another case is fine
  EXPECT_EQ(owner.FindComponent("geomap1"), a);
  EXPECT_THROW(b->SetName("1abc"), EConvertError);
  EXPECT_THROW(b->SetName("a b"), EConvertError);
  b->SetName("_x2");
  b->SetName("");
  EXPECT_EQ(owner.FindComponent(""), nullptr);
  try {
    b->SetName("GeoMap1");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "A component named GeoMap1 already exists");
  }
  // Components without an owner may share names.
  TComponent x(nullptr), y(nullptr);
  x.SetName("Same");
  y.SetName("Same");
}

TEST(Component, FreeNotificationTellsTheWatcherAndForgetsBothWays) {
  std::vector<std::string> log;
  auto watcher = std::make_unique<Probe>(nullptr, &log, "w");
  auto watched = std::make_unique<Probe>(nullptr, &log, "m");
  watcher->watched = watched.get();
  watcher->FreeNotification(watched.get());
  watcher->FreeNotification(watched.get());  // twice links once
  watched.reset();
  EXPECT_EQ(watcher->watched, nullptr);
  EXPECT_EQ(watcher->removals, 1);

  // Removing the link before either goes: no notification, and the
  // destruction of the former partner touches no freed memory.
  auto other = std::make_unique<Probe>(nullptr, &log, "o");
  watcher->FreeNotification(other.get());
  watcher->RemoveFreeNotification(other.get());
  other.reset();
  EXPECT_EQ(watcher->removals, 1);

  // The link is symmetric: the watched side hears of the watcher's end.
  auto survivor = std::make_unique<Probe>(nullptr, &log, "s");
  watcher->FreeNotification(survivor.get());
  watcher.reset();
  EXPECT_EQ(survivor->removals, 1);
}

TEST(Component, SiblingsHearOfEachOthersRemovalThroughTheOwner) {
  std::vector<std::string> log;
  TComponent owner(nullptr);
  auto* a = new Probe(&owner, &log, "a");
  auto* b = new Probe(&owner, &log, "b");
  a->watched = b;
  delete b;
  EXPECT_EQ(a->watched, nullptr);
}

TEST(Component, LoadingAndDesigningState) {
  std::vector<std::string> log;
  Probe p(nullptr, &log, "p");
  auto* child = new TComponent(&p);
  p.BeginLoading();
  EXPECT_TRUE(p.InState(csLoading));
  p.EndLoading();
  EXPECT_FALSE(p.InState(csLoading));
  EXPECT_EQ(p.loadedCalls, 1);
  p.SetDesigning(true);
  EXPECT_TRUE(child->InState(csDesigning));
  auto* late = new TComponent(&p);
  EXPECT_TRUE(late->InState(csDesigning));  // inherits the owner's design state
  p.SetDesigning(false);
  EXPECT_TRUE(p.ComponentState().empty());
}

class TPoint3 : public TPersistent {
 public:
  std::string ClassName() const override { return "TPoint3"; }
  void Assign(const TPersistent& src) override {
    if (auto* p = dynamic_cast<const TPoint3*>(&src)) {
      x = p->x;
      return;
    }
    TPersistent::Assign(src);
  }
  int x = 0;
};

TEST(Persistent, AssignCopiesSupportedPairsAndNamesBothClassesOtherwise) {
  TPoint3 a, b;
  a.x = 7;
  b.Assign(a);
  EXPECT_EQ(b.x, 7);
  TComponent c(nullptr);
  try {
    b.Assign(c);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TComponent to a TPoint3");
  }
}

}  // namespace
}  // namespace marovia
