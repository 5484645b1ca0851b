// TMatrix and TVector: 1-based access, resizing, cloning, bounds.
#include <gtest/gtest.h>

#include "marovia/zylmath/math1.h"
#include "marovia/zylmath/matrix.h"
#include "marovia/zylmath/vector.h"

using namespace marovia;

TEST(TMatrix, ResizeKeepsOverlappingCellsColumnFirst) {
  TMatrix m;
  m.Resize(5, 2);
  EXPECT_EQ(m.NrOfColumns(), 5);
  EXPECT_EQ(m.NrOfRows(), 2);
  for (int c = 1; c <= 5; ++c)
    for (int r = 1; r <= 2; ++r) m.SetVal(c, r, 10 * c + r);
  m.Resize(4, 3);
  for (int c = 1; c <= 4; ++c) {
    EXPECT_EQ(m.GetVal(c, 1), 10 * c + 1);
    EXPECT_EQ(m.GetVal(c, 2), 10 * c + 2);
    EXPECT_EQ(m.GetVal(c, 3), 0);
  }
  TMatrix copy;
  copy.Clone(m);
  m.Fill(7);
  EXPECT_EQ(copy.NrOfColumns(), 4);
  EXPECT_EQ(copy.GetVal(2, 2), 22);
  EXPECT_EQ(m.GetVal(4, 3), 7);
}

TEST(TMatrix, RejectsCellsOutsideAndAbsurdSizes) {
  TMatrix m(5, 1);
  EXPECT_THROW(m.GetVal(0, 1), EZYLIndexError);
  EXPECT_THROW(m.GetVal(6, 1), EZYLIndexError);
  EXPECT_THROW(m.SetVal(1, 2, 0), EZYLIndexError);
  EXPECT_THROW(m.Resize(-1, 3), EZYLIndexError);
  EXPECT_THROW(m.Resize(100000, 100000), EZYLMathError);
  EXPECT_EQ(m.NrOfColumns(), 5);  // a refused resize changes nothing
}

TEST(TVector, OneBasedWithBounds) {
  TVector v;
  v.SetVecSize(3);
  v.SetVal(3, 2.5);
  EXPECT_EQ(v.GetVal(3), 2.5);
  EXPECT_EQ(v.GetVal(1), 0);
  v.SetVecSize(4);
  EXPECT_EQ(v.GetVal(3), 2.5);
  EXPECT_THROW(v.GetVal(5), EZYLIndexError);
  EXPECT_THROW(v.SetVal(0, 1), EZYLIndexError);
  EXPECT_THROW(v.SetVecSize(-2), EZYLIndexError);
}
