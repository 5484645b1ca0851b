// An ordered list of strings with an optional object pointer per entry, as
// the list boxes and combo boxes of the framework hold them.
//
// Indexes are 0-based. An index outside the list raises EStringListError
// "List index out of bounds (<index>)". The list never owns the objects
// attached to its entries.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "marovia/platform/classes.h"
#include "marovia/platform/sysutils.h"

namespace marovia {

// Event of a changed object (the same declaration as in graphics.h).
using TNotifyEvent = std::function<void(TObject* Sender)>;

class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStringList : public TPersistent {
 public:
  TStringList() = default;
  std::string ClassName() const override { return "TStringList"; }
  // From another TStringList: strings and objects; fires OnChange once.
  void Assign(const TPersistent& Source) override;

  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Strings(int Index) const;
  void SetStrings(int Index, const std::string& S);
  TObject* Objects(int Index) const;
  void SetObjects(int Index, TObject* AObject);

  // Appends and answers the new entry's index.
  int Add(const std::string& S);
  int AddObject(const std::string& S, TObject* AObject);
  // Inserts before Index; Index == Count appends.
  void Insert(int Index, const std::string& S);
  void Delete(int Index);
  void Clear();
  // First entry equal to S without regard to ASCII case, or -1.
  int IndexOf(const std::string& S) const;

  // Suspends OnChange between BeginUpdate and the matching EndUpdate; the
  // last EndUpdate fires it once if anything changed meanwhile.
  void BeginUpdate();
  void EndUpdate();

  // Fired after every change of the strings or their order.
  TNotifyEvent OnChange;

 private:
  struct Item {
    std::string Text;
    TObject* Object = nullptr;
  };
  void CheckIndex(int Index) const;
  void Changed();

  std::vector<Item> items_;
  int updateCount_ = 0;
  bool changedWhileUpdating_ = false;
};

}  // namespace marovia
