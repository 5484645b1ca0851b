// TBitFld: positions 1..n, resizing, bounds.
#include <gtest/gtest.h>

#include "marovia/zylbase/bitfld.h"
#include "marovia/zylbase/zylbase.h"

using namespace marovia;

TEST(TBitFld, StoresBitsAtPositionsOneToSize) {
  TBitFld f;
  f.SetSize(130);
  for (int i = 1; i <= 130; ++i) EXPECT_FALSE(f.GetBit(i));
  for (int i : {1, 63, 64, 65, 128, 130}) f.SetBit(i, true);
  for (int i = 1; i <= 130; ++i)
    EXPECT_EQ(f.GetBit(i), i == 1 || i == 63 || i == 64 || i == 65 || i == 128 || i == 130) << i;
  f.SetBit(64, false);
  EXPECT_FALSE(f.GetBit(64));
  f.Clear();
  EXPECT_FALSE(f.GetBit(1));
  EXPECT_EQ(f.Size(), 130);
}

TEST(TBitFld, ShrinkingAndGrowingForgetsCutBits) {
  TBitFld f;
  f.SetSize(70);
  f.SetBit(10, true);
  f.SetBit(69, true);
  f.SetSize(66);
  f.SetSize(70);
  EXPECT_TRUE(f.GetBit(10));
  EXPECT_FALSE(f.GetBit(69));
}

TEST(TBitFld, RejectsPositionsOutsideTheField) {
  TBitFld f;
  EXPECT_THROW(f.GetBit(1), EZYLIndexError);
  f.SetSize(8);
  EXPECT_THROW(f.GetBit(0), EZYLIndexError);
  EXPECT_THROW(f.SetBit(9, true), EZYLIndexError);
  EXPECT_THROW(f.GetBit(-1), EZYLIndexError);
  EXPECT_THROW(f.SetSize(-1), EZYLIndexError);
  EXPECT_NO_THROW(f.SetBit(8, true));
}
