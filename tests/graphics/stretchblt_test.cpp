// Scaled copies in both stretch modes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "marovia/platform/graphics.h"
#include "marovia/platform/stretchblt.h"
#include "test_util.h"

namespace marovia {
namespace {

void Fill(TBitmap& b, TColor c) {
  b.Canvas().Brush().SetColor(c);
  b.Canvas().FillRect(Rect(0, 0, b.Width(), b.Height()));
}

TEST(StretchBlt, ModesAreSetAndAnswered) {
  TBitmap b(1, 1);
  EXPECT_EQ(GetStretchBltMode(b.Canvas()), COLORONCOLOR);
  EXPECT_EQ(SetStretchBltMode(b.Canvas(), HALFTONE), COLORONCOLOR);
  EXPECT_EQ(SetStretchBltMode(b.Canvas(), 9), 0);
  EXPECT_EQ(GetStretchBltMode(b.Canvas()), HALFTONE);
}

TEST(StretchBlt, ConstantImageStaysConstantAtAnyScale) {
  TBitmap src(37, 23);
  Fill(src, RGB(12, 200, 99));
  for (int mode : {COLORONCOLOR, HALFTONE})
    for (auto [w, h] : {std::pair{37, 23}, {10, 7}, {100, 61}, {5, 50}, {1, 1}}) {
      TBitmap dst(w, h);
      SetStretchBltMode(dst.Canvas(), mode);
      EXPECT_TRUE(StretchBlt(dst.Canvas(), 0, 0, w, h, src.Canvas(), 0, 0, 37, 23, SRCCOPY));
      EXPECT_EQ(test::CountPixels(dst, ColorToPixel(RGB(12, 200, 99))), w * h)
          << mode << " " << w << "x" << h;
    }
}

TEST(StretchBlt, ExtremeShrinkKeepsWeightsWhole) {
  // Thousands of source pixels per destination pixel: rounding each weight
  // on its own once let the weights overflow their sum and wrap.
  TBitmap src(5040, 3);
  Fill(src, RGB(200, 100, 50));
  TBitmap dst(2, 1);
  SetStretchBltMode(dst.Canvas(), HALFTONE);
  StretchBlt(dst.Canvas(), 0, 0, 2, 1, src.Canvas(), 0, 0, 5040, 3, SRCCOPY);
  EXPECT_EQ(dst.Canvas().Pixels(0, 0), RGB(200, 100, 50));
  EXPECT_EQ(dst.Canvas().Pixels(1, 0), RGB(200, 100, 50));
}

TEST(StretchBlt, ColorOnColorReplicatesAndDropsPixels) {
  TBitmap src(2, 2);
  src.ScanLine(0)[0] = 0x000001;
  src.ScanLine(0)[1] = 0x000002;
  src.ScanLine(1)[0] = 0x000003;
  src.ScanLine(1)[1] = 0x000004;
  TBitmap dst(4, 4);
  StretchBlt(dst.Canvas(), 0, 0, 4, 4, src.Canvas(), 0, 0, 2, 2, SRCCOPY);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(dst.ScanLine(y)[x], 1u + (x / 2) + 2 * (y / 2)) << x << "," << y;

  TBitmap back(2, 2);
  StretchBlt(back.Canvas(), 0, 0, 2, 2, dst.Canvas(), 0, 0, 4, 4, SRCCOPY);
  EXPECT_TRUE(test::SamePixels(back, src));
}

TEST(StretchBlt, HalftoneAveragesWhenShrinkingAndInterpolatesWhenEnlarging) {
  TBitmap board(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) board.ScanLine(y)[x] = ((x + y) % 2) ? 0xFFFFFF : 0;
  TBitmap grey(4, 4);
  SetStretchBltMode(grey.Canvas(), HALFTONE);
  StretchBlt(grey.Canvas(), 0, 0, 4, 4, board.Canvas(), 0, 0, 8, 8, SRCCOPY);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      uint32_t p = grey.ScanLine(y)[x];
      EXPECT_TRUE(p == 0x7F7F7F || p == 0x808080) << std::hex << p;
    }
  TBitmap dropped(4, 4);
  StretchBlt(dropped.Canvas(), 0, 0, 4, 4, board.Canvas(), 0, 0, 8, 8, SRCCOPY);
  EXPECT_EQ(test::CountPixels(dropped, 0) + test::CountPixels(dropped, 0xFFFFFF), 16);

  TBitmap ramp(2, 1);
  ramp.ScanLine(0)[0] = 0x000000;
  ramp.ScanLine(0)[1] = 0x0000FF;
  TBitmap wide(8, 1);
  SetStretchBltMode(wide.Canvas(), HALFTONE);
  StretchBlt(wide.Canvas(), 0, 0, 8, 1, ramp.Canvas(), 0, 0, 2, 1, SRCCOPY);
  const uint32_t* r = wide.ScanLine(0);
  EXPECT_EQ(r[0], 0u);
  EXPECT_EQ(r[7], 0xFFu);
  for (int x = 1; x < 8; ++x) EXPECT_GE(r[x], r[x - 1]);
  EXPECT_GT(r[4], 0x40u);
  EXPECT_LT(r[3], 0xC0u);
}

TEST(StretchBlt, SourceOutsideItsSurfaceLeavesTheDestinationUntouched) {
  TBitmap src(4, 4);
  Fill(src, clRed);
  for (int mode : {COLORONCOLOR, HALFTONE}) {
    TBitmap dst(8, 8);
    Fill(dst, clLime);
    SetStretchBltMode(dst.Canvas(), mode);
    // Source x from -4 to 4: the left half of the destination has nothing.
    StretchBlt(dst.Canvas(), 0, 0, 8, 8, src.Canvas(), -4, 0, 8, 8, SRCCOPY);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        EXPECT_EQ(dst.Canvas().Pixels(x, y), (x >= 4 && y < 4) ? clRed : clLime)
            << mode << " " << x << "," << y;
  }
}

TEST(StretchBlt, MirrorsClipsAndQuantises) {
  TBitmap src(3, 1);
  for (int x = 0; x < 3; ++x) src.ScanLine(0)[x] = static_cast<uint32_t>(x + 1) << 16;
  TBitmap dst(3, 1);
  StretchBlt(dst.Canvas(), 2, 0, -3, 1, src.Canvas(), 0, 0, 3, 1, SRCCOPY);
  EXPECT_EQ(dst.ScanLine(0)[0], 0x030000u);
  EXPECT_EQ(dst.ScanLine(0)[2], 0x010000u);

  TBitmap big(10, 10);
  Fill(big, clBlue);
  TBitmap small(4, 4);
  small.SetPixelFormat(pf15bit);
  SetStretchBltMode(small.Canvas(), HALFTONE);
  EXPECT_TRUE(StretchBlt(small.Canvas(), -1000000, -1000000, 2000000, 2000000, big.Canvas(), 0, 0,
                         10, 10, SRCCOPY));
  EXPECT_EQ(test::CountPixels(small, 0x0000FF), 16);
  EXPECT_FALSE(StretchBlt(small.Canvas(), 0, 0, 0, 4, big.Canvas(), 0, 0, 10, 10, SRCCOPY));
  big.Canvas().SetPixels(0, 0, RGB(0x12, 0x34, 0x56));
  StretchBlt(small.Canvas(), 0, 0, 1, 1, big.Canvas(), 0, 0, 1, 1, SRCCOPY);
  EXPECT_EQ(small.Canvas().Pixels(0, 0), RGB(0x10, 0x31, 0x52));
}

// Right - Left of these rectangles does not fit 32 bits; the copies used to
// wrap the extent and draw nothing (or overflow).
TEST(StretchBlt, CopyRectWiderThan32BitsDrawsClipped) {
  TBitmap src(20, 1);
  for (int x = 0; x < 20; ++x) src.ScanLine(0)[x] = static_cast<uint32_t>(x + 1);
  TBitmap dst(20, 1);
  // The visible columns 0..19 sit half way across the destination, so they
  // all show the middle source column.
  dst.Canvas().CopyRect(Rect(INT32_MIN, 0, INT32_MAX, 1), src.Canvas(), Rect(0, 0, 20, 1));
  EXPECT_EQ(test::CountPixels(dst, 11u), 20);

  TBitmap wide(4, 1);
  Fill(wide, clBlue);
  wide.Canvas().StretchDraw(Rect(INT32_MIN, 0, INT32_MAX, 1), src);
  EXPECT_EQ(test::CountPixels(wide, 11u), 4);
  wide.Canvas().Draw(INT32_MAX - 5, 0, src);  // starts beyond every surface
  EXPECT_EQ(test::CountPixels(wide, 11u), 4);
}

// Each channel of an enlarged pixel is the linear blend of the two source
// pixels whose centres surround its centre, whatever the other channels
// hold (the two-tap filter works on all channels of a pixel at once).
TEST(StretchBlt, EnlargingBlendsEveryChannelOnItsOwn) {
  const uint32_t src[5] = {0x00FF0010, 0x0010FF80, 0x008010FF, 0x00FFFFFF, 0x00000000};
  TBitmap row(5, 1);
  for (int x = 0; x < 5; ++x) row.ScanLine(0)[x] = src[x];
  for (int dw : {7, 13, 23}) {
    TBitmap wide(dw, 1);
    SetStretchBltMode(wide.Canvas(), HALFTONE);
    StretchBlt(wide.Canvas(), 0, 0, dw, 1, row.Canvas(), 0, 0, 5, 1, SRCCOPY);
    for (int j = 0; j < dw; ++j) {
      const double u = (j + 0.5) * 5 / dw - 0.5;
      int f = static_cast<int>(std::floor(u));
      double frac = u - f;
      if (f < 0) f = 0, frac = 0;
      if (f >= 4) f = 4, frac = 0;
      for (int shift : {0, 8, 16}) {
        const double a = (src[f] >> shift) & 0xFF;
        const double b = frac > 0 ? (src[f + 1] >> shift) & 0xFF : a;
        const double want = a + (b - a) * frac;
        const double got = (wide.ScanLine(0)[j] >> shift) & 0xFF;
        EXPECT_NEAR(got, want, 1.0) << dw << " pixel " << j << " channel " << shift;
      }
      EXPECT_EQ(wide.ScanLine(0)[j] >> 24, 0u);
    }
  }
}

}  // namespace
}  // namespace marovia
