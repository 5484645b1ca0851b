// TComponent: names, ownership, component state and free notifications.
//
// Invariants: c->owner_ == this exactly when c is in components_; A is in
// B->freeNotifies_ exactly when B is in A->freeNotifies_ (the link is
// symmetric, so whichever side goes first tells the other).
#include <algorithm>

#include "marovia/platform/classes.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

// ASCII letters, digits and '_', not starting with a digit; independent of
// the process locale.
bool IsValidIdent(const std::string& s) {
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (s.empty() || !alpha(s[0])) return false;
  return std::all_of(s.begin(), s.end(), [&](char c) { return alpha(c) || digit(c); });
}

void Erase(std::vector<TComponent*>& v, TComponent* c) {
  v.erase(std::remove(v.begin(), v.end(), c), v.end());
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Mark the whole subtree first so that notification handlers can tell a
  // component being torn down from one removed on purpose.
  std::vector<TComponent*> stack{this};
  while (!stack.empty()) {
    TComponent* c = stack.back();
    stack.pop_back();
    c->state_.insert(csDestroying);
    stack.insert(stack.end(), c->components_.begin(), c->components_.end());
  }

  // Tell every component linked by FreeNotification; each forgets us.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    Erase(other->freeNotifies_, this);
    other->Notification(this, TOperation::opRemove);
  }

  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    RemoveComponent(c);
    delete c;
  }
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == name_) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EConvertError("'" + NewName + "' is not a valid component name");
  if (owner_ != nullptr && !SameText(NewName, name_)) {
    TComponent* other = owner_->FindComponent(NewName);
    if (other != nullptr && other != this)
      throw EConvertError("A component named " + NewName + " already exists");
  }
  name_ = NewName;
}

TComponent* TComponent::Components(int i) const {
  if (i < 0 || i >= ComponentCount())
    throw ERangeError("List index out of bounds (" + std::to_string(i) + ")");
  return components_[static_cast<size_t>(i)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, AName)) return c;
  return nullptr;
}

void TComponent::BeginLoading() {
  state_.insert(csLoading);
}

void TComponent::EndLoading() {
  state_.erase(csLoading);
  Loaded();
}

void TComponent::SetDesigning(bool Value) {
  if (Value)
    state_.insert(csDesigning);
  else
    state_.erase(csDesigning);
  for (TComponent* c : components_) c->SetDesigning(Value);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) != freeNotifies_.end())
    return;
  freeNotifies_.push_back(AComponent);
  AComponent->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  Erase(freeNotifies_, AComponent);
  Erase(AComponent->freeNotifies_, this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove) RemoveFreeNotification(AComponent);
  // Pass the news on to the owned components; a handler may free some of
  // them, so walk by index from the end and re-check the bound each time.
  for (size_t i = components_.size(); i > 0;) {
    --i;
    if (i >= components_.size()) {
      i = components_.size();
      continue;
    }
    TComponent* c = components_[i];
    if (c != AComponent) c->Notification(AComponent, Operation);
  }
}

void TComponent::InsertComponent(TComponent* c) {
  components_.push_back(c);
  c->owner_ = this;
  if (InState(csDesigning)) c->SetDesigning(true);
  Notification(c, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
  Notification(c, TOperation::opRemove);
  Erase(components_, c);
  c->owner_ = nullptr;
}

}  // namespace marovia
