// Objects, persistent objects and components of the host framework.
//
// Ownership: a TComponent created with an owner is deleted by that owner's
// destructor (owned components go first, in reverse order of insertion). A
// component deleted directly removes itself from its owner. A component
// without an owner belongs to whoever created it (use std::unique_ptr).
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace marovia {

class TObject {
 public:
  virtual ~TObject() = default;
  // The class name as the framework shows it, for example "TGeoMap".
  virtual std::string ClassName() const { return "TObject"; }
};

// An object whose state can be copied from another by Assign. A class that
// can copy itself from a source overrides Assign; a class that can copy itself
// into other classes overrides AssignTo. An unsupported pair raises
// EConvertError "Cannot assign a <source class> to a <destination class>".
class TPersistent : public TObject {
 public:
  std::string ClassName() const override { return "TPersistent"; }
  // Copies Source into this object. The default passes the work to
  // Source.AssignTo(*this).
  virtual void Assign(const TPersistent& Source);

 protected:
  // Copies this object into Dest. The default raises the conversion error.
  virtual void AssignTo(TPersistent& Dest) const;
};

enum class TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = std::set<TComponentStateItem>;
constexpr TComponentStateItem csLoading = TComponentStateItem::csLoading;
constexpr TComponentStateItem csReading = TComponentStateItem::csReading;
constexpr TComponentStateItem csWriting = TComponentStateItem::csWriting;
constexpr TComponentStateItem csDestroying = TComponentStateItem::csDestroying;
constexpr TComponentStateItem csDesigning = TComponentStateItem::csDesigning;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string ClassName() const override { return "TComponent"; }

  const std::string& Name() const { return name_; }
  // Renames the component. Names are identifiers (letters, digits, '_', not
  // starting with a digit) or empty; among the components of one owner they
  // are unique without regard to case. Violations raise EConvertError.
  virtual void SetName(const std::string& NewName);

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // Owned component i, 0-based, in order of insertion.
  TComponent* Components(int i) const;
  // Owned component by name (case-insensitive), or nullptr.
  TComponent* FindComponent(const std::string& AName) const;
  // Frees all owned components now, last inserted first. A derived class
  // whose owned components call back into it calls this first thing in its
  // destructor, while its own members are still alive.
  void DestroyComponents();

  const TComponentState& ComponentState() const { return state_; }
  bool InState(TComponentStateItem s) const { return state_.count(s) != 0; }

  // Streaming protocol: BeginLoading sets csLoading; EndLoading clears it and
  // calls Loaded. A host that sets published properties from a form file
  // brackets them by these two calls.
  void BeginLoading();
  void EndLoading();
  // Marks the component as being edited in a designer (csDesigning).
  void SetDesigning(bool Value);

  // Asks to be told (Notification with opRemove) when AComponent is
  // destroyed. Both sides forget the link when either goes.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

 protected:
  enum class TOperation { opInsert, opRemove };
  // Called after all properties of a loaded component have been set.
  virtual void Loaded() {}
  // Told when a component that this one owns or watches is inserted or
  // removed. The base passes the news on to the owned components, so
  // overrides call it. An insertion is reported from inside the new
  // component's constructor and a removal on destruction from inside its
  // destructor: AComponent is then only a TComponent (a dynamic_cast to the
  // derived class yields nullptr), so compare pointers.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  void InsertComponent(TComponent* c);
  void RemoveComponent(TComponent* c);

  std::string name_;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_;
};

}  // namespace marovia
