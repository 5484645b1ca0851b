// Lines: the end-point rule in every octant, styles, widths, raster
// operations and clipping.
#include <gtest/gtest.h>

#include <vector>

#include "marovia/platform/graphics.h"
#include "test_util.h"

namespace marovia {
namespace {

using test::PixelSet;

PixelSet DrawLine(int x0, int y0, int x1, int y1) {
  TBitmap b(30, 30);
  b.Canvas().MoveTo(x0, y0);
  b.Canvas().LineTo(x1, y1);
  EXPECT_EQ(b.Canvas().PenPos(), Point(x1, y1));
  return test::PixelsNot(b, 0xFFFFFF);
}

TEST(LineTo, StepsEveryOctantAndExcludesTheEndPoint) {
  struct Case {
    int dx, dy;
    PixelSet expected;
  };
  // Minor coordinate: the exact one rounded, halves toward +infinity.
  const std::vector<Case> cases = {
      {4, 1, {{10, 10}, {11, 10}, {12, 11}, {13, 11}}},
      {1, 4, {{10, 10}, {10, 11}, {11, 12}, {11, 13}}},
      {-1, 4, {{10, 10}, {10, 11}, {10, 12}, {9, 13}}},
      {-4, 1, {{10, 10}, {9, 10}, {8, 11}, {7, 11}}},
      {-4, -1, {{10, 10}, {9, 10}, {8, 10}, {7, 9}}},
      {-1, -4, {{10, 10}, {10, 9}, {10, 8}, {9, 7}}},
      {1, -4, {{10, 10}, {10, 9}, {11, 8}, {11, 7}}},
      {4, -1, {{10, 10}, {11, 10}, {12, 10}, {13, 9}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DrawLine(10, 10, 10 + c.dx, 10 + c.dy), c.expected) << c.dx << "," << c.dy;
}

TEST(LineTo, AxisAlignedDiagonalAndEmptyLines) {
  EXPECT_EQ(DrawLine(2, 5, 6, 5), (PixelSet{{2, 5}, {3, 5}, {4, 5}, {5, 5}}));
  EXPECT_EQ(DrawLine(5, 6, 5, 3), (PixelSet{{5, 6}, {5, 5}, {5, 4}}));
  EXPECT_EQ(DrawLine(3, 3, 6, 6), (PixelSet{{3, 3}, {4, 4}, {5, 5}}));
  EXPECT_EQ(DrawLine(6, 3, 3, 6), (PixelSet{{6, 3}, {5, 4}, {4, 5}}));
  EXPECT_TRUE(DrawLine(7, 7, 7, 7).empty());
}

TEST(LineTo, ConnectedSegmentsDrawEveryVertexOnce) {
  // XOR makes a pixel drawn twice vanish, so a closed figure of LineTo
  // calls must leave all four corners set.
  TBitmap b(20, 20);
  TCanvas& c = b.Canvas();
  c.Pen().SetMode(pmXor);
  c.Pen().SetColor(clWhite);
  c.MoveTo(2, 2);
  c.LineTo(12, 2);
  c.LineTo(12, 9);
  c.LineTo(2, 9);
  c.LineTo(2, 2);
  EXPECT_EQ(test::CountPixels(b, 0x000000), 2 * 10 + 2 * 7);
  for (auto [x, y] : {std::pair{2, 2}, {12, 2}, {12, 9}, {2, 9}})
    EXPECT_EQ(c.Pixels(x, y), clBlack);
}

TEST(LineTo, ClippedLinesMatchTheUnclippedOnes) {
  // Lines with ends far outside a 40 x 40 surface, drawn again on a surface
  // three times as large with the same part at an offset: the visible
  // pixels must agree exactly.
  uint32_t s = 7;
  auto rnd = [&](int lo, int hi) {
    s = s * 1103515245u + 12345u;
    return lo + static_cast<int>((s >> 8) % static_cast<uint32_t>(hi - lo + 1));
  };
  for (int k = 0; k < 300; ++k) {
    int x0 = rnd(-40, 79), y0 = rnd(-40, 79), x1 = rnd(-40, 79), y1 = rnd(-40, 79);
    TBitmap small(40, 40), big(120, 120);
    small.Canvas().MoveTo(x0, y0);
    small.Canvas().LineTo(x1, y1);
    big.Canvas().MoveTo(x0 + 40, y0 + 40);
    big.Canvas().LineTo(x1 + 40, y1 + 40);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        ASSERT_EQ(small.ScanLine(y)[x], big.ScanLine(y + 40)[x + 40])
            << "line " << x0 << "," << y0 << " -> " << x1 << "," << y1 << " at " << x << "," << y;
  }
}

TEST(LineTo, HugeCoordinatesCostOnlyTheVisiblePixels) {
  // Stepping two billion pixels would take seconds; the analytic clip makes
  // these immediate.
  TBitmap b(100, 20);
  TCanvas& c = b.Canvas();
  c.MoveTo(0, 5);
  c.LineTo(2000000000, 5);
  for (int x = 0; x < 100; ++x) EXPECT_EQ(c.Pixels(x, 5), clBlack);
  EXPECT_EQ(test::CountPixels(b, 0), 100);

  TBitmap d(50, 50);
  d.Canvas().MoveTo(-2000000000, -2000000000);
  d.Canvas().LineTo(2000000000, 2000000000);
  EXPECT_EQ(test::CountPixels(d, 0), 50);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(d.Canvas().Pixels(i, i), clBlack);

  TBitmap e(50, 50);
  e.Canvas().MoveTo(INT32_MIN, 25);
  e.Canvas().LineTo(INT32_MAX, 26);  // crosses the surface almost flat
  EXPECT_EQ(test::CountPixels(e, 0), 50);
}

TEST(LineTo, PenModesCombinePenAndDestination) {
  struct Case {
    TPenMode mode;
    TColor expected;
  };
  // Destination lime, pen red.
  const std::vector<Case> cases = {
      {pmBlack, clBlack},         {pmWhite, clWhite},    {pmNop, clLime},
      {pmNot, clFuchsia},         {pmCopy, clRed},       {pmNotCopy, clAqua},
      {pmMergePenNot, clFuchsia}, {pmMaskPenNot, clRed}, {pmMergeNotPen, clAqua},
      {pmMaskNotPen, clLime},     {pmMerge, clYellow},   {pmNotMerge, clBlue},
      {pmMask, clBlack},          {pmNotMask, clWhite},  {pmXor, clYellow},
      {pmNotXor, clBlue},
  };
  for (const Case& k : cases) {
    TBitmap b(4, 1);
    TCanvas& c = b.Canvas();
    c.Brush().SetColor(clLime);
    c.FillRect(Rect(0, 0, 4, 1));
    c.Pen().SetColor(clRed);
    c.Pen().SetMode(k.mode);
    c.MoveTo(0, 0);
    c.LineTo(4, 0);
    EXPECT_EQ(c.Pixels(2, 0), k.expected) << "mode " << k.mode;
  }
}

TEST(LineTo, StylesAndWidths) {
  TBitmap b(30, 10);
  TCanvas& c = b.Canvas();
  c.Pen().SetStyle(psDot);
  c.MoveTo(0, 1);
  c.LineTo(12, 1);
  std::string dots;
  for (int x = 0; x < 13; ++x) dots += c.Pixels(x, 1) == clBlack ? '#' : '.';
  EXPECT_EQ(dots, "###...###....");

  c.Pen().SetStyle(psClear);
  c.MoveTo(0, 3);
  c.LineTo(20, 3);
  EXPECT_EQ(c.PenPos(), Point(20, 3));
  for (int x = 0; x < 20; ++x) EXPECT_EQ(c.Pixels(x, 3), clWhite);

  c.Pen().SetStyle(psSolid);
  c.Pen().SetWidth(3);
  c.MoveTo(5, 6);
  c.LineTo(10, 6);
  for (int y = 4; y <= 8; ++y)
    EXPECT_EQ(c.Pixels(7, y), (y >= 5 && y <= 7) ? clBlack : clWhite) << "row " << y;
  EXPECT_EQ(c.Pixels(10, 6), clWhite);
}

TEST(LineTo, ClipRectLimitsDrawing) {
  TBitmap b(20, 20);
  TCanvas& c = b.Canvas();
  c.SetClipRect(Rect(5, 0, 10, 20));
  EXPECT_EQ(c.ClipRect(), Rect(5, 0, 10, 20));
  c.MoveTo(0, 3);
  c.LineTo(20, 3);
  EXPECT_EQ(test::CountPixels(b, 0), 5);
  c.ResetClipRect();
  EXPECT_EQ(c.ClipRect(), Rect(0, 0, 20, 20));
}

}  // namespace
}  // namespace marovia
