// DrawFrame: each style's rings, drawn inside the rectangle only.
#include <gtest/gtest.h>

#include <climits>

#include "marovia/zylbase/drawframe.h"

namespace marovia {
namespace {

constexpr TColor C1 = 0x0000F1, C2 = 0x0000F2, C3 = 0x0000F3, C4 = 0x0000F4, C5 = 0x0000F5;
constexpr TColor kBack = 0x123456;

class DrawFrameTest : public ::testing::Test {
 protected:
  DrawFrameTest() : bmp(20, 16) {
    bmp.Canvas().Brush().SetColor(kBack);
    bmp.Canvas().FillRect(Rect(0, 0, 20, 16));
  }
  TColor At(int x, int y) { return bmp.Canvas().Pixels(x, y); }
  void Draw(TFrameStyle s, int l = 2, int t = 3, int r = 15, int b = 12) {
    DrawFrame(bmp.Canvas(), s, l, t, r, b, C1, C2, C3, C4, C5);
  }
  // Colour a ring of the rectangle (l, t)-(r, b), inclusive, should have at
  // (x, y), or kBack off the rings.
  static TColor Expected(int x, int y, int l, int t, int r, int b, int rings,
                         const TColor (*colours)[2]) {
    for (int k = 0; k < rings; ++k) {
      const int L = l + k, T = t + k, R = r - k, B = b - k;
      if (x < L || x > R || y < T || y > B) return kBack;
      if (x == R || y == B) return colours[k][1];
      if (x == L || y == T) return colours[k][0];
    }
    return kBack;
  }
  void ExpectRings(int rings, const TColor (*colours)[2], int l = 2, int t = 3, int r = 15,
                   int b = 12) {
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 20; ++x)
        ASSERT_EQ(At(x, y), Expected(x, y, l, t, r, b, rings, colours)) << x << "," << y;
  }
  TBitmap bmp;
};

TEST_F(DrawFrameTest, EachStyleDrawsItsRingsInsideTheRectangle) {
  struct Case {
    TFrameStyle style;
    int rings;
    TColor colours[2][2];
  };
  const Case cases[] = {
      {fsLowered, 2, {{C3, C1}, {C4, C2}}}, {fsRaised, 2, {{C2, C4}, {C1, C3}}},
      {fsFlat, 1, {{C5, C5}, {0, 0}}},      {fsEtched, 2, {{C3, C1}, {C1, C3}}},
      {fsBump, 2, {{C1, C3}, {C3, C1}}},    {fsNone, 0, {{0, 0}, {0, 0}}},
  };
  for (const Case& c : cases) {
    bmp.Canvas().Brush().SetColor(kBack);
    bmp.Canvas().FillRect(Rect(0, 0, 20, 16));
    Draw(c.style);
    SCOPED_TRACE(static_cast<int>(c.style));
    ExpectRings(c.rings, c.colours);
  }
}

TEST_F(DrawFrameTest, DegenerateRectangles) {
  Draw(fsLowered, 5, 5, 4, 9);  // right < left: nothing
  Draw(fsLowered, 5, 5, 9, 4);
  const TColor none[2][2] = {};
  ExpectRings(0, none);
  Draw(fsRaised, 5, 5, 5, 5);  // one pixel: the outer bottom-right colour
  EXPECT_EQ(At(5, 5), C4);
  EXPECT_EQ(At(4, 5), kBack);
  EXPECT_EQ(At(6, 5), kBack);
  Draw(fsFlat, 1, 1, 6, 1);  // a single row
  for (int x = 1; x <= 6; ++x) EXPECT_EQ(At(x, 1), C5);
  EXPECT_EQ(At(7, 1), kBack);
  EXPECT_EQ(At(0, 1), kBack);
}

TEST_F(DrawFrameTest, HugeCoordinatesAreClippedAndPenIsRestored) {
  bmp.Canvas().Pen().SetColor(clLime);
  bmp.Canvas().Pen().SetMode(pmXor);
  bmp.Canvas().Pen().SetWidth(3);
  Draw(fsFlat, INT_MIN, 4, INT_MAX, INT_MAX);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(At(x, 4), C5) << x;
  EXPECT_EQ(At(5, 5), kBack);
  EXPECT_EQ(bmp.Canvas().Pen().Color(), clLime);
  EXPECT_EQ(bmp.Canvas().Pen().Mode(), pmXor);
  EXPECT_EQ(bmp.Canvas().Pen().Width(), 3);
  Draw(static_cast<TFrameStyle>(99));  // unknown style: nothing
  EXPECT_EQ(At(2, 3), kBack);
}

}  // namespace
}  // namespace marovia
