// Landmark symbols, pixel by pixel on a bitmap canvas.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <utility>

#include "marovia/geomap/symbol_drawing.h"

namespace marovia {
namespace {

constexpr TColor FG = clRed;
constexpr TColor BG = clBlue;
constexpr int kSide = 32;

using Pixels = std::set<std::pair<int, int>>;

class SymbolTest : public ::testing::Test {
 protected:
  SymbolTest() : bmp(kSide, kSide) {}

  void Draw(int x, int y, TLandMarkElement kind, int size, int dir = 0, int len = 0,
            bool transparent = false) {
    DrawLandMarkSymbolOnCanvas(bmp.Canvas(), x, y, kind, FG, BG, size, dir, len, transparent);
  }
  TColor At(int x, int y) { return bmp.Canvas().Pixels(x, y); }

  // Every pixel of the bitmap: FG on fg, else BG on bg, else white.
  void ExpectExactly(const Pixels& fg, const Pixels& bg) {
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) {
        const TColor want = fg.count({x, y}) ? FG : bg.count({x, y}) ? BG : clWhite;
        ASSERT_EQ(At(x, y), want) << "pixel " << x << "," << y;
      }
  }
  Pixels Colour(TColor c) {
    Pixels p;
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x)
        if (At(x, y) == c) p.insert({x, y});
    return p;
  }

  TBitmap bmp;
};

Pixels HLine(int x0, int x1, int y) {
  Pixels p;
  for (int x = x0; x <= x1; ++x) p.insert({x, y});
  return p;
}
Pixels VLine(int x, int y0, int y1) {
  Pixels p;
  for (int y = y0; y <= y1; ++y) p.insert({x, y});
  return p;
}
Pixels Box(int x0, int y0, int x1, int y1) {  // all pixels, inclusive
  Pixels p;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) p.insert({x, y});
  return p;
}
Pixels Outline(int x0, int y0, int x1, int y1) {
  Pixels p = HLine(x0, x1, y0);
  p.merge(HLine(x0, x1, y1));
  p.merge(VLine(x0, y0, y1));
  p.merge(VLine(x1, y0, y1));
  return p;
}
Pixels Minus(Pixels a, const Pixels& b) {
  for (const auto& q : b) a.erase(q);
  return a;
}
Pixels Union(Pixels a, Pixels b) {
  a.merge(b);
  return a;
}

// ----------------------------------------------------------------- plus, cross

TEST_F(SymbolTest, PlusHasArmsOfSizeAndAOnePixelHalo) {
  Draw(10, 10, lmPlus, 3);
  const Pixels fg = Union(HLine(7, 13, 10), VLine(10, 7, 13));
  const Pixels halo = Union(Box(6, 9, 14, 11), Box(9, 6, 11, 14));
  ExpectExactly(fg, Minus(halo, fg));
  EXPECT_EQ(bmp.Canvas().Pen().Color(), FG);
}

TEST_F(SymbolTest, TransparentPlusHasNoHalo) {
  Draw(10, 10, lmPlus, 3, 0, 0, true);
  ExpectExactly(Union(HLine(7, 13, 10), VLine(10, 7, 13)), {});
}

TEST_F(SymbolTest, DiagonalCrossWithHalo) {
  Draw(15, 15, lmCross, 3);
  Pixels fg;
  for (int k = -3; k <= 3; ++k) {
    fg.insert({15 + k, 15 + k});
    fg.insert({15 + k, 15 - k});
  }
  for (const auto& q : fg) EXPECT_EQ(At(q.first, q.second), FG) << q.first << "," << q.second;
  EXPECT_EQ(At(16, 15), BG);  // between the arms near the centre: halo
  EXPECT_EQ(At(13, 12), BG);
  EXPECT_EQ(At(19, 19), BG);  // the halo runs one pixel past the arm
  EXPECT_EQ(At(20, 20), clWhite);
  EXPECT_EQ(At(15, 11), clWhite);
  // Transparent: the two diagonals only.
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 15, lmCross, 3, 0, 0, true);
  EXPECT_EQ(Colour(FG), fg);
  EXPECT_TRUE(Colour(BG).empty());
}

// ------------------------------------------------------------- square shapes

TEST_F(SymbolTest, TransparentSquareIsAnOutline11PixelsWide) {
  Draw(15, 15, lmSquare, 5, 0, 0, true);
  ExpectExactly(Outline(10, 10, 20, 20), {});
}

TEST_F(SymbolTest, FilledSquareHasBackgroundRingForegroundOutlineAndFill) {
  Draw(15, 15, lmSquare, 5);
  const Pixels fg = Outline(11, 11, 19, 19);
  const Pixels bg = Union(Outline(10, 10, 20, 20), Box(12, 12, 18, 18));
  ExpectExactly(fg, bg);
  EXPECT_EQ(bmp.Canvas().Pen().Color(), FG);
  EXPECT_EQ(bmp.Canvas().Brush().Color(), BG);
}

TEST_F(SymbolTest, CrossBoxDrawsBothDiagonals) {
  Draw(15, 15, lmCrossBox, 4, 0, 0, true);
  Pixels fg = Outline(11, 11, 19, 19);
  for (int k = 0; k <= 8; ++k) {
    fg.insert({11 + k, 11 + k});
    fg.insert({11 + k, 19 - k});
  }
  ExpectExactly(fg, {});

  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 15, lmCrossBox, 4);
  Pixels inner = Outline(12, 12, 18, 18);
  for (int k = 0; k <= 6; ++k) {
    inner.insert({12 + k, 12 + k});
    inner.insert({12 + k, 18 - k});
  }
  ExpectExactly(inner, Minus(Union(Outline(11, 11, 19, 19), Box(13, 13, 17, 17)), inner));
}

TEST_F(SymbolTest, SpadeIsADiamond) {
  Draw(15, 15, lmSpade, 5);
  for (auto [x, y] : {std::pair{20, 15}, {15, 20}, {10, 15}, {15, 10}})
    EXPECT_EQ(At(x, y), FG) << x << "," << y;
  EXPECT_EQ(At(15, 15), BG);
  EXPECT_EQ(At(21, 15), clWhite);
  EXPECT_EQ(At(11, 11), clWhite);
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 15, lmSpade, 5, 0, 0, true);
  EXPECT_EQ(At(15, 10), FG);
  EXPECT_EQ(At(20, 15), FG);
  EXPECT_EQ(At(15, 15), clWhite);
  EXPECT_EQ(bmp.Canvas().Brush().Color(), BG);  // set although not used
}

// ------------------------------------------------------ triangle and circle

TEST_F(SymbolTest, TrianglePointsInItsDirection) {
  Draw(15, 15, lmTriangle, 6, 90);
  // Apex D(6, 90) = (21, 15); the others at 210 and -30 degrees.
  for (auto [x, y] : {std::pair{21, 15}, {12, 20}, {12, 10}})
    EXPECT_EQ(At(x, y), FG) << x << "," << y;
  EXPECT_EQ(At(22, 15), clWhite);
  EXPECT_EQ(At(15, 15), BG);
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 15, lmTriangle, 6, 0, 0, true);  // apex straight up
  EXPECT_EQ(At(15, 9), FG);
  EXPECT_EQ(At(15, 8), clWhite);
  EXPECT_EQ(At(15, 15), clWhite);
}

TEST_F(SymbolTest, CircleFillsUnlessTransparentWhichLeavesTheBrushClear) {
  Draw(15, 15, lmCircle, 5);
  EXPECT_EQ(At(15, 15), BG);
  EXPECT_EQ(At(9, 15), clWhite);
  EXPECT_EQ(At(20, 15), clWhite);
  EXPECT_EQ(At(15, 20), clWhite);
  EXPECT_EQ(At(10, 15), FG);
  EXPECT_EQ(At(15, 10), FG);
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 15, lmCircle, 5, 0, 0, true);
  EXPECT_EQ(At(15, 15), clWhite);
  EXPECT_EQ(At(10, 15), FG);
  EXPECT_EQ(bmp.Canvas().Brush().Style(), bsClear);
  EXPECT_EQ(bmp.Canvas().Brush().Color(), BG);
}

// ------------------------------------------------------------------- arrows

TEST_F(SymbolTest, ArrowFromPointsAwayFromTheAnchor) {
  Draw(15, 20, lmArrowFrom, 4, 0, 10);
  // Tip (15, 10); barbs end at (14, 14) and (16, 14).
  for (auto [x, y] : {std::pair{15, 20}, {15, 10}, {14, 14}, {16, 14}})
    EXPECT_EQ(At(x, y), FG) << x << "," << y;
  EXPECT_EQ(At(15, 21), clWhite);
  EXPECT_EQ(At(15, 9), clWhite);
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 20, lmArrowFrom, 4, 0, 10, true);
  // Lines leave out their end points: the barb ends stay empty.
  EXPECT_EQ(At(15, 10), FG);
  EXPECT_EQ(At(15, 20), FG);
  EXPECT_EQ(At(14, 14), clWhite);
  EXPECT_EQ(At(16, 14), clWhite);
  EXPECT_TRUE(Colour(BG).empty());
}

TEST_F(SymbolTest, ArrowToPointsAtTheAnchor) {
  Draw(15, 20, lmArrowTo, 4, 0, 10);
  // Tail (15, 10); barbs end at (16, 16) and (14, 16).
  for (auto [x, y] : {std::pair{15, 10}, {15, 20}, {16, 16}, {14, 16}})
    EXPECT_EQ(At(x, y), FG) << x << "," << y;
  EXPECT_EQ(At(15, 9), clWhite);
  EXPECT_EQ(At(15, 21), clWhite);
  bmp.Canvas().Brush().SetColor(clWhite);
  bmp.Canvas().FillRect(Rect(0, 0, kSide, kSide));
  Draw(15, 20, lmArrowTo, 4, 0, 10, true);
  EXPECT_EQ(At(15, 10), FG);
  EXPECT_EQ(At(15, 20), FG);  // drawn by the first barb
  EXPECT_EQ(At(16, 16), clWhite);
}

TEST_F(SymbolTest, ArrowDirectionIsClockwiseFromUp) {
  Draw(10, 15, lmArrowFrom, 3, 90, 12);
  EXPECT_EQ(At(22, 15), FG);  // tip to the right
  EXPECT_EQ(At(23, 15), clWhite);
}

// ------------------------------------------------------- user and odd kinds

TEST_F(SymbolTest, UserDefinedDrawsAndChangesNothing) {
  bmp.Canvas().Pen().SetColor(clLime);
  bmp.Canvas().Brush().SetColor(clAqua);
  bmp.Canvas().Brush().SetColor(clWhite);
  Draw(15, 15, lmUserDef, 5, 30, 10);
  ExpectExactly({}, {});
  EXPECT_EQ(bmp.Canvas().Pen().Color(), clLime);
  EXPECT_EQ(bmp.Canvas().Brush().Color(), clWhite);
}

TEST_F(SymbolTest, KindOutsideTheEnumerationDrawsASmallFixedPlus) {
  Draw(15, 15, static_cast<TLandMarkElement>(10), 100);
  ExpectExactly(Union(HLine(11, 19, 15), VLine(15, 11, 19)), {});
  Draw(15, 15, static_cast<TLandMarkElement>(255), 1);
  ExpectExactly(Union(HLine(11, 19, 15), VLine(15, 11, 19)), {});
}

TEST_F(SymbolTest, DegenerateAndHugeSizesDoNotOverflow) {
  for (int k = 0; k <= static_cast<int>(lmUserDef); ++k) {
    const auto kind = static_cast<TLandMarkElement>(k);
    for (bool transparent : {false, true}) {
      Draw(15, 15, kind, 0, 0, 0, transparent);
      Draw(15, 15, kind, -7, 45, -9, transparent);
      Draw(15, 15, kind, INT_MAX, 33, INT_MAX, transparent);
      Draw(INT_MIN, INT_MAX, kind, INT_MAX, -720, INT_MIN, transparent);
    }
  }
  // Clipping keeps this cheap; the huge figures still reach the surface.
  EXPECT_FALSE(Colour(FG).empty());
}

TEST(LandMarkTypesTest, NamesFollowTheEnumeration) {
  EXPECT_EQ(LMTypeNames.size(), 10u);
  EXPECT_EQ(LMTypeNames[lmPlus], "Plus");
  EXPECT_EQ(LMTypeNames[lmArrowTo], "ArrowTo");
  EXPECT_EQ(LMTypeNames[lmUserDef], "User-Defined");
  EXPECT_EQ(sizeof(TLandMarkElement), 1u);
}

}  // namespace
}  // namespace marovia
