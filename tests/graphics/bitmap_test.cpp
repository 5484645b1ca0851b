// Bitmaps: sizes, pixel formats, palettes, assignment; colours.
#include <gtest/gtest.h>

#include "marovia/platform/graphics.h"
#include "marovia/platform/sysutils.h"
#include "test_util.h"

namespace marovia {
namespace {

TEST(BitmapSize, GrowingKeepsPixelsAndFillsWhite) {
  TBitmap b(3, 2);
  EXPECT_EQ(test::CountPixels(b, 0xFFFFFF), 6);
  b.Canvas().SetPixels(2, 1, clRed);
  b.SetWidth(5);
  b.SetHeight(4);
  EXPECT_EQ(b.Canvas().Pixels(2, 1), clRed);
  EXPECT_EQ(test::CountPixels(b, 0xFFFFFF), 19);
  b.SetSize(2, 2);
  EXPECT_EQ(test::CountPixels(b, 0xFFFFFF), 4);
  b.SetSize(3, 2);
  EXPECT_EQ(b.Canvas().Pixels(2, 1), clWhite);  // cut pixels do not come back
  EXPECT_FALSE(b.Empty());
  b.SetSize(0, 7);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Bits(), nullptr);
}

TEST(BitmapSize, RejectsNegativeAndOversizedImagesBeforeAllocating) {
  TBitmap b(2, 2);
  EXPECT_THROW(b.SetWidth(-1), ERangeError);
  EXPECT_THROW(b.SetSize(1 << 20, 1 << 20), ERangeError);
  EXPECT_THROW(b.SetSize(INT32_MAX, INT32_MAX), ERangeError);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_THROW(b.ScanLine(2), ERangeError);
  EXPECT_THROW(b.ScanLine(-1), ERangeError);
}

TEST(PixelFormat, FifteenBitKeepsFiveBitsAndExpandsThemOnRead) {
  TBitmap b(2, 1);
  b.SetPixelFormat(pf15bit);
  b.Canvas().SetPixels(0, 0, RGB(0x12, 0x34, 0xFF));
  // 0x12 -> 2 -> 0x10, 0x34 -> 6 -> 0x31, 0xFF -> 31 -> 0xFF.
  EXPECT_EQ(b.Canvas().Pixels(0, 0), RGB(0x10, 0x31, 0xFF));
  EXPECT_EQ(b.Quantize(0x070707), 0x000000u);
  EXPECT_EQ(b.Quantize(0x080808), 0x080808u);
  b.SetPixelFormat(pf16bit);
  EXPECT_EQ(b.Quantize(0x123656), 0x103452u);  // green keeps six bits: 0x36 -> 13 -> 0x34
}

TEST(PixelFormat, ChangingTheFormatRequantisesExistingPixels) {
  TBitmap b(1, 1);
  b.Canvas().SetPixels(0, 0, RGB(0x12, 0x34, 0x56));
  EXPECT_EQ(b.Canvas().Pixels(0, 0), RGB(0x12, 0x34, 0x56));
  b.SetPixelFormat(pf15bit);
  EXPECT_EQ(b.Canvas().Pixels(0, 0), RGB(0x10, 0x31, 0x52));
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.Canvas().Pixels(0, 0), clBlack);
}

TEST(PixelFormat, FourBitMapsToTheNearestVgaColour) {
  TBitmap b(1, 1);
  b.SetPixelFormat(pf4bit);
  ASSERT_EQ(b.Palette().size(), 16u);
  struct Case {
    TColor in, out;
  };
  for (Case c : {Case{RGB(250, 5, 5), clRed}, Case{RGB(100, 100, 100), clGray},
                 Case{RGB(190, 190, 190), clSilver}, Case{RGB(0, 0, 120), clNavy},
                 Case{RGB(250, 250, 240), clWhite}, Case{RGB(20, 10, 0), clBlack}}) {
    b.Canvas().SetPixels(0, 0, c.in);
    EXPECT_EQ(b.Canvas().Pixels(0, 0), c.out) << std::hex << c.in;
  }
}

TEST(PixelFormat, IndexedPalettes) {
  TBitmap b(2, 1);
  b.SetPixelFormat(pf8bit);
  ASSERT_EQ(b.Palette().size(), 256u);
  for (TColor c : {clMaroon, clOlive, clTeal, clSilver, clFuchsia})
    EXPECT_EQ(PixelToColor(b.Quantize(ColorToPixel(c))), c);
  b.SetPixelFormat(pf1bit);
  EXPECT_EQ(b.Palette(), (std::vector<uint32_t>{0x000000, 0xFFFFFF}));
  b.SetPalette({0x0000FF, 0xFFFF00});
  EXPECT_EQ(b.Quantize(0x000080), 0x0000FFu);
  EXPECT_EQ(b.PaletteIndex(0xEEEE00), 1);
  EXPECT_THROW(b.SetPalette({1, 2, 3}), ERangeError);
  EXPECT_THROW(b.SetPalette({}), ERangeError);
  b.SetPixelFormat(pf24bit);
  EXPECT_TRUE(b.Palette().empty());
  EXPECT_THROW(b.SetPalette({0}), ERangeError);
}

TEST(BitmapAssign, CopiesPixelsFormatAndPaletteIndependently) {
  TBitmap a(3, 3);
  a.SetPixelFormat(pf4bit);
  a.Canvas().SetPixels(1, 1, clRed);
  TBitmap b;
  b.Assign(a);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_EQ(b.Palette(), a.Palette());
  EXPECT_EQ(b.Canvas().Pixels(1, 1), clRed);
  a.Canvas().SetPixels(1, 1, clBlue);
  EXPECT_EQ(b.Canvas().Pixels(1, 1), clRed);
  b.Canvas().Rectangle(0, 0, 3, 3);  // the copy's canvas draws on the copy
  EXPECT_EQ(a.Canvas().Pixels(0, 0), clWhite);
  TFont notAGraphic;
  EXPECT_THROW(b.Assign(notAGraphic), EConvertError);
}

TEST(Colors, ChannelOrderAndSystemColours) {
  EXPECT_EQ(GetRValue(clRed), 255);
  EXPECT_EQ(ColorToPixel(clRed), 0xFF0000u);
  EXPECT_EQ(PixelToColor(0x0000FF), clBlue);
  EXPECT_EQ(ColorToRGB(clBtnFace), RGB(240, 240, 240));
  EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
  EXPECT_EQ(ColorToRGB(clTeal), clTeal);
  EXPECT_GE(ColorToRGB(SystemColor(200)), 0);
  TBitmap b(1, 1);
  b.Canvas().SetPixels(0, 0, clBtnFace);
  EXPECT_EQ(b.Canvas().Pixels(0, 0), RGB(240, 240, 240));
}

}  // namespace
}  // namespace marovia
