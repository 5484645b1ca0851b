// TSymbolRepository as a list: indexing, counts and capacity, backup and
// restore, assignment.
#include <gtest/gtest.h>

#include <string>

#include "marovia/geomap/symbol_repository.h"
#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

using namespace marovia;

namespace {

TSymbol Named(const std::string& name, TLandMarkElement kind = lmCircle) {
  TSymbol s = DefaultSymbolRecord();
  s.Name = name;
  s.Properties.Kind = kind;
  return s;
}

// A repository holding entries named by the letters of `names`.
void FillWith(TSymbolRepository& r, const std::string& names) {
  r.SetNEntries(static_cast<int32_t>(names.size()));
  for (size_t i = 0; i < names.size(); ++i)
    r.SetValues(static_cast<int32_t>(i) + 1, Named(std::string(1, names[i])));
}

std::string NamesOf(const TSymbolRepository& r) {
  std::string s;
  for (int32_t i = 1; i <= r.NumEntries(); ++i) s += r.GetValues(i).Name;
  return s;
}

}  // namespace

TEST(SymbolRepository, IndexesOutsideTheListGiveTheDefaultAndChangeNothing) {
  TSymbolRepository r(nullptr);
  FillWith(r, "abc");
  EXPECT_EQ(r.GetValues(0), DefaultSymbolRecord());
  EXPECT_EQ(r.GetValues(4), DefaultSymbolRecord());
  EXPECT_EQ(r.Symbols(-7), DefaultSymbolRecord());
  r.SetValues(0, Named("x"));
  r.SetValues(4, Named("x"));
  r.SetSymbols(INT32_MIN, Named("x"));
  EXPECT_EQ(NamesOf(r), "abc");
  EXPECT_EQ(r.NumEntries(), 3);
  r.SetSymbols(2, Named("y", lmSpade));
  EXPECT_EQ(r.Symbols(2), Named("y", lmSpade));
}

TEST(SymbolRepository, SetNEntriesAddsZeroEntriesAndFixesTheCapacity) {
  TSymbolRepository r(nullptr);
  EXPECT_EQ(r.Capacity(), 1000);
  r.SetNEntries(3);
  EXPECT_EQ(r.NumEntries(), 3);
  EXPECT_EQ(r.Capacity(), 3);
  EXPECT_EQ(r.GetValues(1), TSymbol{});  // all zero, shape lmPlus: not the default
  EXPECT_EQ(r.GetValues(1).Properties.Kind, lmPlus);

  r.SetNEntries(-1);  // ignored
  EXPECT_EQ(r.NumEntries(), 3);

  // Entries dropped by shrinking do not come back when the list grows.
  FillWith(r, "abc");
  r.SetNumEntries(1);
  EXPECT_EQ(r.Capacity(), 1);
  r.SetNumEntries(3);
  EXPECT_EQ(NamesOf(r), "a");
  EXPECT_EQ(r.GetValues(3), TSymbol{});
}

TEST(SymbolRepository, CutsNamesToFortyCharacters) {
  TSymbolRepository r(nullptr);
  r.SetNEntries(1);
  std::string longName;
  for (int i = 0; i < 50; ++i) longName += "\xC3\xA9";  // two bytes, one character
  r.SetValues(1, Named(longName));
  EXPECT_EQ(Utf8Length(r.GetValues(1).Name), 40);
  EXPECT_EQ(r.GetValues(1).Name, longName.substr(0, 80));
}

TEST(SymbolRepository, ClearSetsEveryEntryToTheDefault) {
  TSymbolRepository r(nullptr);
  FillWith(r, "abc");
  r.Clear();
  EXPECT_EQ(r.NumEntries(), 3);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(r.GetValues(i), DefaultSymbolRecord());
}

TEST(SymbolRepository, RestoreGivesBackTheBackupAsOftenAsAsked) {
  TSymbolRepository r(nullptr);
  FillWith(r, "abc");
  r.Backup();
  FillWith(r, "wxyz");
  r.Restore();
  EXPECT_EQ(NamesOf(r), "abc");
  EXPECT_EQ(r.Capacity(), 3);
  r.SetValues(1, Named("q"));
  r.Restore();
  EXPECT_EQ(NamesOf(r), "abc");

  TSymbolRepository empty(nullptr);
  FillWith(empty, "ab");
  empty.Restore();  // never backed up: an empty list
  EXPECT_EQ(empty.NumEntries(), 0);
}

TEST(SymbolRepository, AssignCopiesEntriesAndBackup) {
  TSymbolRepository source(nullptr), dest(nullptr);
  FillWith(source, "ab");
  source.Backup();
  FillWith(source, "cde");
  dest.Assign(source);
  EXPECT_EQ(NamesOf(dest), "cde");
  // Value semantics: later changes on either side stay there.
  source.SetValues(1, Named("z"));
  dest.SetValues(2, Named("y"));
  EXPECT_EQ(NamesOf(dest), "cye");
  EXPECT_EQ(NamesOf(source), "zde");
  dest.Restore();
  EXPECT_EQ(NamesOf(dest), "ab");

  TSymbolRepository third(nullptr);
  source.AssignTo(third);
  EXPECT_EQ(NamesOf(third), "zde");
  dest.Assign(dest);
  EXPECT_EQ(NamesOf(dest), "ab");
}

TEST(SymbolRepository, RefusesToAssignOtherClasses) {
  TSymbolRepository r(nullptr);
  TComponent other(nullptr);
  EXPECT_THROW(r.Assign(other), EConvertError);
  // Regression: handing a plain component its own Assign would come back
  // here and recurse without end.
  EXPECT_THROW(r.AssignTo(other), EConvertError);
  EXPECT_THROW(other.Assign(r), EConvertError);
}
