// The string list of the list controls.
#include "marovia/platform/stringlist.h"

#include "marovia/platform/strutils.h"

namespace marovia {

void TStringList::Assign(const TPersistent& Source) {
  const auto* src = dynamic_cast<const TStringList*>(&Source);
  if (src == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  items_ = src->items_;
  Changed();
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
}

const std::string& TStringList::Strings(int Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].Text;
}

void TStringList::SetStrings(int Index, const std::string& S) {
  CheckIndex(Index);
  items_[static_cast<size_t>(Index)].Text = S;
  Changed();
}

TObject* TStringList::Objects(int Index) const {
  CheckIndex(Index);
  return items_[static_cast<size_t>(Index)].Object;
}

void TStringList::SetObjects(int Index, TObject* AObject) {
  CheckIndex(Index);
  items_[static_cast<size_t>(Index)].Object = AObject;
}

int TStringList::Add(const std::string& S) {
  return AddObject(S, nullptr);
}

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  items_.push_back(Item{S, AObject});
  Changed();
  return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (Index != Count()) CheckIndex(Index);
  items_.insert(items_.begin() + Index, Item{S, nullptr});
  Changed();
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  items_.erase(items_.begin() + Index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Changed();
}

int TStringList::IndexOf(const std::string& S) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (SameText(items_[i].Text, S)) return static_cast<int>(i);
  return -1;
}

void TStringList::BeginUpdate() {
  ++updateCount_;
}

void TStringList::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0 && changedWhileUpdating_) {
    changedWhileUpdating_ = false;
    if (OnChange) OnChange(this);
  }
}

void TStringList::Changed() {
  if (updateCount_ > 0) {
    changedWhileUpdating_ = true;
    return;
  }
  if (OnChange) OnChange(this);
}

}  // namespace marovia
