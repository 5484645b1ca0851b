// The string list behind the combo box items.
#include <gtest/gtest.h>

#include "marovia/platform/stringlist.h"

namespace marovia {
namespace {

TEST(StringListTest, EditsKeepOrderAndCheckIndexes) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(l.Add("b"), 0);
  l.Insert(0, "a");
  l.Insert(2, "c");  // at Count: appends
  EXPECT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Strings(0), "a");
  EXPECT_EQ(l.Strings(2), "c");
  EXPECT_EQ(l.IndexOf("B"), 1);  // without regard to case
  EXPECT_EQ(l.IndexOf("d"), -1);
  l.Delete(1);
  EXPECT_EQ(l.Strings(1), "c");
  EXPECT_EQ(changes, 4);
  EXPECT_THROW(l.Strings(2), EStringListError);
  EXPECT_THROW(l.Strings(-1), EStringListError);
  EXPECT_THROW(l.Insert(5, "x"), EStringListError);
  EXPECT_THROW(l.Delete(2), EStringListError);
  EXPECT_EQ(changes, 4);  // failed edits change nothing
}

TEST(StringListTest, UpdatesAreBatchedAndAssignCopies) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TObject*) { ++changes; };
  l.BeginUpdate();
  l.BeginUpdate();
  l.Add("x");
  l.Add("y");
  l.EndUpdate();
  EXPECT_EQ(changes, 0);
  l.EndUpdate();
  EXPECT_EQ(changes, 1);
  TObject tag;
  l.SetObjects(1, &tag);
  TStringList copy;
  copy.Assign(l);
  EXPECT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Objects(1), &tag);
  l.Clear();
  EXPECT_EQ(copy.Strings(0), "x");
}

}  // namespace
}  // namespace marovia
