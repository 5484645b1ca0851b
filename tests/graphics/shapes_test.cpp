// Rectangles, ellipses, polygons, fills, pixels and copies.
#include <gtest/gtest.h>

#include <vector>

#include "marovia/platform/graphics.h"
#include "test_util.h"

namespace marovia {
namespace {

// Rows of the bitmap as text: '#' pen (black), 'o' brush (red), '.' white.
std::vector<std::string> Picture(const TBitmap& b) {
  std::vector<std::string> rows;
  for (int y = 0; y < b.Height(); ++y) {
    std::string r;
    for (int x = 0; x < b.Width(); ++x) {
      uint32_t p = b.ScanLine(y)[x];
      r += p == 0 ? '#' : p == 0xFF0000 ? 'o' : p == 0xFFFFFF ? '.' : '?';
    }
    rows.push_back(r);
  }
  return rows;
}

TEST(Rectangle, OutlinesWithPenFillsWithBrushAndExcludesRightAndBottom) {
  TBitmap b(9, 7);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clRed);
  c.Rectangle(6, 5, 1, 1);  // corners in any order
  EXPECT_EQ(Picture(b), (std::vector<std::string>{
                            ".........",
                            ".#####...",
                            ".#ooo#...",
                            ".#ooo#...",
                            ".#####...",
                            ".........",
                            ".........",
                        }));
}

TEST(Rectangle, WidePenBandsInsideAndDashedPenFollowsTheBorder) {
  TBitmap b(8, 7);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clRed);
  c.Pen().SetWidth(2);
  c.Rectangle(0, 0, 8, 7);
  EXPECT_EQ(Picture(b), (std::vector<std::string>{
                            "########",
                            "########",
                            "##oooo##",
                            "##oooo##",
                            "##oooo##",
                            "########",
                            "########",
                        }));
  TBitmap d(30, 30);
  d.Canvas().Pen().SetStyle(psDash);
  d.Canvas().Brush().SetStyle(bsClear);
  d.Canvas().Rectangle(0, 0, 30, 30);
  EXPECT_EQ(d.Canvas().Pixels(17, 0), clBlack);
  EXPECT_EQ(d.Canvas().Pixels(18, 0), clWhite);  // first gap of the dash pattern
  EXPECT_EQ(d.Canvas().Pixels(29, 17), clBlack);
  EXPECT_EQ(d.Canvas().Pixels(29, 18), clWhite);
  EXPECT_EQ(d.Canvas().Pixels(15, 15), clWhite);
}

TEST(Rectangle, ClearBrushLeavesTheInsideAndAColourMakesItSolid) {
  TBitmap b(6, 6);
  TCanvas& c = b.Canvas();
  c.Brush().SetStyle(bsClear);
  c.Rectangle(0, 0, 5, 5);
  EXPECT_EQ(c.Pixels(2, 2), clWhite);
  c.Brush().SetColor(clRed);
  EXPECT_EQ(c.Brush().Style(), bsSolid);
  c.Rectangle(0, 0, 5, 5);
  EXPECT_EQ(c.Pixels(2, 2), clRed);
}

TEST(Rectangle, HugeRectangleFillsTheSurfaceOnly) {
  TBitmap b(30, 20);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clRed);
  c.Rectangle(-2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_EQ(test::CountPixels(b, 0xFF0000), 600);
}

TEST(Ellipse, StaysInItsBoundingBoxAndIsSymmetric) {
  TBitmap b(14, 12);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clRed);
  c.Ellipse(0, 0, 10, 10);
  int minX = 99, maxX = -1, minY = 99, maxY = -1;
  for (auto [x, y] : test::PixelsNot(b, 0xFFFFFF)) {
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
    maxY = std::max(maxY, y);
    EXPECT_EQ(c.Pixels(9 - x, y), c.Pixels(x, y));
    EXPECT_EQ(c.Pixels(x, 9 - y), c.Pixels(x, y));
  }
  EXPECT_EQ(minX, 0);
  EXPECT_EQ(maxX, 9);
  EXPECT_EQ(minY, 0);
  EXPECT_EQ(maxY, 9);
  EXPECT_EQ(c.Pixels(4, 4), clRed);
  EXPECT_EQ(c.Pixels(0, 4), clBlack);
  EXPECT_EQ(c.Pixels(0, 0), clWhite);
  // The outline is closed: every row of the figure starts and ends with pen.
  for (int y = 0; y < 10; ++y) {
    int first = 0;
    while (c.Pixels(first, y) == clWhite) ++first;
    EXPECT_EQ(c.Pixels(first, y), clBlack);
    EXPECT_EQ(c.Pixels(9 - first, y), clBlack);
  }
}

TEST(Ellipse, DegenerateAndHugeBoxes) {
  TBitmap b(8, 8);
  TCanvas& c = b.Canvas();
  c.Ellipse(3, 3, 4, 4);
  EXPECT_EQ(test::PixelsNot(b, 0xFFFFFF), (test::PixelSet{{3, 3}}));
  c.Ellipse(5, 5, 5, 9);  // empty box draws nothing
  EXPECT_EQ(test::CountPixels(b, 0), 1);

  TBitmap h(20, 20);
  h.Canvas().Brush().SetColor(clRed);
  h.Canvas().Ellipse(-2000000000, -2000000000, 2000000000, 2000000000);
  EXPECT_EQ(test::CountPixels(h, 0xFF0000), 400);
}

TEST(Polygon, FillsTheTriangleWithTopLeftRule) {
  TBitmap b(16, 16);
  TCanvas& c = b.Canvas();
  c.Pen().SetStyle(psClear);
  c.Brush().SetColor(clRed);
  c.Polygon({{0, 0}, {10, 0}, {0, 10}});
  // Row y holds x < 10 - y: 10 + 9 + ... + 1 pixels.
  EXPECT_EQ(test::CountPixels(b, 0xFF0000), 55);
  EXPECT_EQ(c.Pixels(9, 0), clRed);
  EXPECT_EQ(c.Pixels(10, 0), clWhite);
  EXPECT_EQ(c.Pixels(0, 10), clWhite);
}

TEST(Polygon, ConcaveAndSelfIntersectingFigures) {
  TBitmap b(12, 12);
  TCanvas& c = b.Canvas();
  c.Pen().SetStyle(psClear);
  c.Brush().SetColor(clRed);
  c.Polygon({{0, 0}, {9, 0}, {9, 9}, {6, 9}, {6, 3}, {3, 3}, {3, 9}, {0, 9}});
  EXPECT_EQ(test::CountPixels(b, 0xFF0000), 3 * 9 + 6 * 6);
  EXPECT_EQ(c.Pixels(4, 5), clWhite);

  // A five-pointed star: alternate filling leaves the centre empty.
  TBitmap s(100, 100);
  s.Canvas().Pen().SetStyle(psClear);
  s.Canvas().Brush().SetColor(clRed);
  s.Canvas().Polygon({{50, 0}, {79, 90}, {2, 34}, {97, 34}, {21, 90}});
  EXPECT_EQ(s.Canvas().Pixels(50, 50), clWhite);
  EXPECT_EQ(s.Canvas().Pixels(50, 10), clRed);
  EXPECT_EQ(s.Canvas().Pixels(10, 36), clRed);
}

TEST(Polygon, OutlineClosesTheFigureAndKeepsThePenPosition) {
  TBitmap b(13, 13);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clRed);
  c.MoveTo(12, 12);
  c.Polygon({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
  EXPECT_EQ(c.PenPos(), Point(12, 12));
  EXPECT_EQ(test::CountPixels(b, 0), 40);
  EXPECT_EQ(test::CountPixels(b, 0xFF0000), 81);
  EXPECT_EQ(c.Pixels(10, 10), clBlack);
}

TEST(XorDrawing, TwiceRestoresThePixelsExactly) {
  for (TPixelFormat f : {pf32bit, pf24bit, pf15bit, pf16bit}) {
    TBitmap b(60, 40);
    b.SetPixelFormat(f);
    test::FillNoise(b, 3);
    TBitmap before;
    before.Assign(b);
    TCanvas& c = b.Canvas();
    c.Pen().SetMode(pmXor);
    c.Pen().SetColor(RGB(0x37, 0x9A, 0xC5));
    c.Brush().SetColor(RGB(0x11, 0x80, 0xF0));
    for (int k = 0; k < 2; ++k) {
      c.MoveTo(-5, 3);
      c.LineTo(70, 33);
      c.LineTo(20, -8);
      c.Rectangle(5, 5, 30, 20);
      c.Ellipse(10, 8, 50, 38);
      c.Polygon({{0, 0}, {55, 10}, {5, 35}, {40, 39}});
      c.Pen().SetStyle(psDot);
      c.MoveTo(1, 39);
      c.LineTo(59, 0);
      c.Pen().SetStyle(psSolid);
    }
    EXPECT_TRUE(test::SamePixels(b, before)) << "pixel format " << f;
  }
}

TEST(FillAndFrame, UseTheBrushOnly) {
  TBitmap b(8, 8);
  TCanvas& c = b.Canvas();
  c.Pen().SetColor(clRed);
  c.Brush().SetColor(clBlack);
  c.FrameRect(Rect(1, 1, 5, 4));
  EXPECT_EQ(test::CountPixels(b, 0), 10);
  c.FillRect(Rect(6, 6, 20, 20));
  EXPECT_EQ(test::CountPixels(b, 0), 14);
  c.Brush().SetStyle(bsClear);
  c.FillRect(Rect(0, 0, 8, 8));
  EXPECT_EQ(test::CountPixels(b, 0), 14);
}

TEST(Pixels, OutsideReadsMinusOneAndWritesAreIgnored) {
  TBitmap b(4, 3);
  TCanvas& c = b.Canvas();
  EXPECT_EQ(c.Pixels(4, 0), -1);
  EXPECT_EQ(c.Pixels(-1, 0), -1);
  EXPECT_EQ(c.Pixels(0, 3), -1);
  c.SetPixels(4, 0, clBlack);
  c.SetPixels(0, -1, clBlack);
  EXPECT_EQ(test::CountPixels(b, 0), 0);
  c.SetPixels(3, 2, clBlue);
  EXPECT_EQ(c.Pixels(3, 2), clBlue);
  EXPECT_EQ(b.ScanLine(2)[3], 0x0000FFu);
  TCanvas none;
  EXPECT_EQ(none.Pixels(0, 0), -1);
  none.LineTo(5, 5);  // no surface: nothing to draw, no failure
}

TEST(CopyRect, HonoursTheCopyModeAndOverlappingCopies) {
  TBitmap src(4, 4), dst(4, 4);
  src.Canvas().Brush().SetColor(clRed);
  src.Canvas().FillRect(Rect(0, 0, 4, 4));
  dst.Canvas().Brush().SetColor(clLime);
  dst.Canvas().FillRect(Rect(0, 0, 4, 4));
  dst.Canvas().CopyRect(Rect(0, 0, 2, 2), src.Canvas(), Rect(0, 0, 2, 2));
  EXPECT_EQ(dst.Canvas().Pixels(1, 1), clRed);
  EXPECT_EQ(dst.Canvas().Pixels(2, 2), clLime);
  dst.Canvas().SetCopyMode(cmSrcInvert);
  dst.Canvas().CopyRect(Rect(2, 2, 4, 4), src.Canvas(), Rect(0, 0, 2, 2));
  EXPECT_EQ(dst.Canvas().Pixels(3, 3), clYellow);
  dst.Canvas().SetCopyMode(cmDstInvert);
  dst.Canvas().CopyRect(Rect(0, 0, 1, 1), src.Canvas(), Rect(0, 0, 1, 1));
  EXPECT_EQ(dst.Canvas().Pixels(0, 0), clAqua);

  // Shifting a row right by one within the same bitmap reads the original.
  TBitmap r(5, 1);
  for (int x = 0; x < 5; ++x) r.ScanLine(0)[x] = static_cast<uint32_t>(x);
  r.Canvas().CopyRect(Rect(1, 0, 5, 1), r.Canvas(), Rect(0, 0, 4, 1));
  EXPECT_EQ((std::vector<uint32_t>(r.ScanLine(0), r.ScanLine(0) + 5)),
            (std::vector<uint32_t>{0, 0, 1, 2, 3}));
}

TEST(Draw, PutsABitmapAtItsPlaceAndScaled) {
  TBitmap pic(2, 2), b(8, 8);
  pic.Canvas().Brush().SetColor(clBlue);
  pic.Canvas().FillRect(Rect(0, 0, 2, 2));
  b.Canvas().Draw(3, 4, pic);
  EXPECT_EQ(test::PixelsNot(b, 0xFFFFFF), (test::PixelSet{{3, 4}, {4, 4}, {3, 5}, {4, 5}}));
  b.Canvas().StretchDraw(Rect(0, 0, 8, 2), pic);
  EXPECT_EQ(test::CountPixels(b, 0x0000FF), 16 + 4);
}

}  // namespace
}  // namespace marovia
