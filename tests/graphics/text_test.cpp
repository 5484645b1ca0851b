// Text: extents, background, styles, rotation, font descriptions.
#include <gtest/gtest.h>

#include <climits>

#include "marovia/platform/graphics.h"
#include "test_util.h"
// The canvas's text engine, for the size of its glyph cache.
#include "../../platform/src/graphics/font_engine.h"

namespace marovia {
namespace {

struct Box {
  int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN, maxY = INT_MIN;
  int count = 0;
};

// Bounds of the pixels darker than mid grey.
Box Ink(const TBitmap& b) {
  Box r;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      uint32_t p = b.ScanLine(y)[x];
      if (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 128) {
        r.minX = std::min(r.minX, x), r.maxX = std::max(r.maxX, x);
        r.minY = std::min(r.minY, y), r.maxY = std::max(r.maxY, y);
        ++r.count;
      }
    }
  return r;
}

TEST(TextExtent, IsPositiveAndGrowsWithTheSize) {
  TBitmap b(1, 1);
  TCanvas& c = b.Canvas();
  c.Font().SetName("DejaVu Sans");
  c.Font().SetSize(10);
  const TSize small = c.TextExtent("Marovia map");
  c.Font().SetSize(20);
  const TSize big = c.TextExtent("Marovia map");
  EXPECT_GT(small.cx, 0);
  EXPECT_GT(small.cy, 0);
  EXPECT_GT(big.cx, small.cx * 17 / 10);
  EXPECT_GT(big.cy, small.cy * 17 / 10);
  EXPECT_EQ(c.TextWidth(""), 0);
  EXPECT_EQ(c.TextHeight(""), big.cy);
  EXPECT_GT(c.TextWidth("\xC3\xA4\xE2\x82\xAC"), 0);  // UTF-8 text
  EXPECT_GT(c.TextWidth("\xFF\xFE"), 0);              // invalid bytes still measure
}

TEST(TextExtent, UnknownNamesFallBackToSansSerif) {
  TCanvas c;
  c.Font().SetSize(12);
  c.Font().SetName("sans-serif");
  const TSize sans = c.TextExtent("Sample text");
  c.Font().SetName("MS Sans Serif");
  EXPECT_EQ(c.TextExtent("Sample text"), sans);
  c.Font().SetName("No Such Face 12345");
  EXPECT_EQ(c.TextExtent("Sample text"), sans);
}

TEST(TextOut, FillsTheCellWithTheBrushUnlessClear) {
  TBitmap b(200, 60);
  TCanvas& c = b.Canvas();
  c.Font().SetSize(12);
  c.Brush().SetColor(clYellow);
  c.TextOut(10, 20, "Hello");
  const TSize e = c.TextExtent("Hello");
  EXPECT_EQ(c.PenPos(), Point(10 + e.cx, 20));
  EXPECT_EQ(c.Pixels(10, 20), clYellow);
  EXPECT_EQ(c.Pixels(10 + e.cx - 1, 20 + e.cy - 1), clYellow);
  EXPECT_EQ(c.Pixels(9, 20), clWhite);
  EXPECT_EQ(c.Pixels(10 + e.cx, 20), clWhite);
  EXPECT_EQ(c.Pixels(10, 20 + e.cy), clWhite);
  const Box ink = Ink(b);
  EXPECT_GT(ink.count, 20);
  EXPECT_GE(ink.minX, 10);
  EXPECT_LT(ink.maxX, 10 + e.cx);
  EXPECT_GE(ink.minY, 20);
  EXPECT_LT(ink.maxY, 20 + e.cy);

  TBitmap t(200, 60);
  t.Canvas().Font().SetSize(12);
  t.Canvas().Brush().SetStyle(bsClear);
  t.Canvas().TextOut(10, 20, "Hello");
  EXPECT_EQ(test::CountPixels(t, ColorToPixel(clYellow)), 0);
  EXPECT_EQ(t.Canvas().Pixels(10, 20), clWhite);
  EXPECT_GT(Ink(t).count, 20);
}

TEST(TextRect, ClipsTextAndBackgroundToTheRectangle) {
  TBitmap b(120, 40);
  TCanvas& c = b.Canvas();
  c.Font().SetSize(12);
  c.Brush().SetColor(clYellow);
  c.TextRect(Rect(10, 5, 40, 25), 12, 6, "A long line of text");
  EXPECT_EQ(c.Pixels(10, 5), clYellow);
  EXPECT_EQ(c.Pixels(39, 24), clYellow);
  const Box ink = Ink(b);
  EXPECT_GT(ink.count, 0);
  EXPECT_GE(ink.minX, 10);
  EXPECT_LT(ink.maxX, 40);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x)
      if (x < 10 || x >= 40 || y < 5 || y >= 25) {
        ASSERT_EQ(c.Pixels(x, y), clWhite) << x << "," << y;
      }
}

TEST(TextOut, StylesChangeTheInk) {
  auto inked = [](TFontStyles s) {
    TBitmap b(200, 50);
    b.Canvas().Font().SetSize(14);
    b.Canvas().Font().SetStyle(s);
    b.Canvas().TextOut(5, 5, "Marovia");
    return Ink(b);
  };
  const Box plain = inked({});
  EXPECT_GT(inked({fsBold}).count, plain.count);
  EXPECT_GT(inked({fsUnderline}).maxY, plain.maxY);
  EXPECT_GT(inked({fsStrikeOut}).count, plain.count);
  EXPECT_GT(inked({fsItalic}).count, 0);
}

TEST(TextOut, EscapementTurnsTheTextCounterClockwiseAboutTheCellCorner) {
  auto draw = [](int tenths) {
    TBitmap b(200, 200);
    TCanvas& c = b.Canvas();
    c.Font().SetSize(14);
    LOGFONTW lf;
    EXPECT_EQ(GetObjectW(c.Font().Handle(), sizeof(lf), &lf), 92);
    lf.lfEscapement = lf.lfOrientation = tenths;
    c.Font().SetHandle(CreateFontIndirectW(lf));
    c.Brush().SetStyle(bsClear);
    c.TextOut(100, 100, "HHHHHH");
    return Ink(b);
  };
  const Box right = draw(0), up = draw(900), down = draw(2700), left = draw(1800);
  // 0: right of and below the corner.
  EXPECT_GE(right.minX, 99);
  EXPECT_GE(right.minY, 99);
  EXPECT_GT(right.maxX - right.minX, right.maxY - right.minY);
  // 90 degrees: the text runs upwards, its cell lies to the right.
  EXPECT_LE(up.maxY, 101);
  EXPECT_GE(up.minX, 99);
  EXPECT_GT(up.maxY - up.minY, up.maxX - up.minX);
  // 270 degrees: downwards, the cell to the left.
  EXPECT_GE(down.minY, 99);
  EXPECT_LE(down.maxX, 101);
  // 180 degrees: upside down to the left, the cell above.
  EXPECT_LE(left.maxX, 101);
  EXPECT_LE(left.maxY, 101);
}

TEST(FontDescription, RoundTripsThroughHandles) {
  TFont f;
  f.SetName("Caf\xC3\xA9 Sans");
  f.SetSize(10);
  f.SetStyle({fsBold, fsUnderline});
  EXPECT_EQ(f.Height(), -13);
  EXPECT_EQ(f.Size(), 10);
  LOGFONTW lf;
  EXPECT_EQ(GetObjectW(f.Handle(), sizeof(lf), &lf), 92);
  EXPECT_EQ(lf.lfWeight, 700);
  EXPECT_EQ(lf.lfUnderline, 1);
  EXPECT_EQ(lf.lfFaceName[3], u'\u00E9');
  lf.lfEscapement = 450;
  TFont g;
  g.SetHandle(CreateFontIndirectW(lf));
  EXPECT_EQ(g.Name(), "Caf\xC3\xA9 Sans");
  EXPECT_EQ(g.Orientation(), 450);
  EXPECT_EQ(g.Style(), (TFontStyles{fsBold, fsUnderline}));
  EXPECT_EQ(GetObjectW(nullptr, sizeof(lf), &lf), 0);
  EXPECT_EQ(GetObjectW(f.Handle(), 0, &lf), 0);
  HFONT h = f.Handle();
  EXPECT_TRUE(DeleteObject(h));
  EXPECT_EQ(h, nullptr);
  // Names longer than the record hold are cut, never overrun it.
  f.SetName(std::string(40, 'x'));
  EXPECT_EQ(f.Name(), std::string(31, 'x'));
}

TEST(FontDescription, AbsurdHeightsStayBounded) {
  TBitmap b(20, 20);
  TCanvas& c = b.Canvas();
  c.Font().SetHeight(INT32_MIN);
  EXPECT_GT(c.TextWidth("W"), 0);
  c.Font().SetHeight(2000000000);
  c.TextOut(-5, -5, "W");
  c.Font().SetHeight(0);
  EXPECT_GT(c.TextHeight("W"), 0);
}

// A caption size comes from a file; the points-to-pixels product used to
// wrap, turning a huge size into a positive (cell) height or overflowing on
// negation.
TEST(FontDescription, HugeSizesSaturateInsteadOfWrapping) {
  TFont f;
  f.SetSize(INT32_MAX);
  EXPECT_EQ(f.Height(), -INT32_MAX);
  f.SetSize(1610612736);  // exactly 2^31 pixels
  EXPECT_EQ(f.Height(), -INT32_MAX);
  f.SetSize(INT32_MIN);
  EXPECT_EQ(f.Height(), INT32_MAX);
  f.SetHeight(INT32_MIN);
  EXPECT_EQ(f.Size(), 1610612736);
  f.SetSize(8);
  EXPECT_EQ(f.Height(), -11);
}

// Captions from a file may ask for the largest font at every angle; the
// glyph cache used to be bounded by count only, about a megabyte per glyph.
TEST(TextOut, GlyphCacheStaysBoundedForHugeRotatedText) {
  TBitmap b(8, 8);
  TCanvas& c = b.Canvas();
  c.Font().SetHeight(-1000);
  for (int angle = 0; angle < 80; ++angle) {
    c.Font().SetOrientation(angle * 45);
    c.TextOut(0, 0, "W");
  }
  EXPECT_LE(GlyphCacheBytes(), size_t{40} << 20);
}

}  // namespace
}  // namespace marovia
