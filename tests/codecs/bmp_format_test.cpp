// BMP round trips per pixel format, the layout of what we write, and the
// variants that the independent encoder does not write (RLE escapes, RLE4,
// 32 bits without masks, unusual masks, short palettes), stream positions and
// progress.
#include <gtest/gtest.h>

#include <memory>

#include "codec_patterns.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/streams.h"

namespace marovia::test {
namespace {

uint32_t Rd32(const std::vector<uint8_t>& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | uint32_t(d[at + 3]) << 24;
}

std::unique_ptr<TBitmap> LoadBytes(const std::vector<uint8_t>& bytes) {
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  auto b = std::make_unique<TBitmap>();
  b->LoadFromStream(s);
  return b;
}

std::vector<uint8_t> SaveBytes(const TBitmap& b) {
  TMemoryStream s;
  b.SaveToStream(s);
  return std::vector<uint8_t>(s.Memory(), s.Memory() + s.Size());
}

class BmpRoundTrip : public ::testing::TestWithParam<TPixelFormat> {};

TEST_P(BmpRoundTrip, KeepsPixelsFormatAndPalette) {
  TBitmap b;
  b.SetPixelFormat(GetParam());
  FillBitmap(b, 13, 7, PatternColor);  // odd width: every depth needs row padding
  TempDir dir;
  b.SaveToFile(dir.File("rt.bmp"));
  TBitmap c;
  c.LoadFromFile(dir.File("rt.bmp"));
  const TPixelFormat expected = GetParam() == pfDevice ? pf24bit : GetParam();
  EXPECT_EQ(c.PixelFormat(), expected);
  EXPECT_EQ(c.Palette(), b.Palette());
  ASSERT_EQ(c.Width(), 13);
  ASSERT_EQ(c.Height(), 7);
  for (int i = 0; i < 13 * 7; ++i) ASSERT_EQ(c.Bits()[i], b.Bits()[i]) << "pixel " << i;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, BmpRoundTrip,
                         ::testing::Values(pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit,
                                           pf24bit, pf32bit));

TEST(BmpWrite, KeepsAShortCustomPalette) {
  TBitmap b;
  b.SetPixelFormat(pf4bit);
  b.SetPalette({0x112233, 0x445566, 0xA0B0C0});
  FillBitmap(b, 5, 3,
             [](int x, int y) { return uint32_t((x + y) % 3 == 0 ? 0x445566 : 0xA0B0C0); });
  const auto cOwner = LoadBytes(SaveBytes(b));
  const TBitmap& c = *cOwner;
  EXPECT_EQ(c.Palette(), b.Palette());
  for (int i = 0; i < 15; ++i) EXPECT_EQ(c.Bits()[i], b.Bits()[i]);
}

TEST(BmpWrite, HeaderMatchesPixelFormat) {
  struct Case {
    TPixelFormat format;
    uint32_t bpp, compression, colours, offBits;
  };
  const Case cases[] = {
      {pf1bit, 1, 0, 2, 62},   {pf4bit, 4, 0, 16, 118}, {pf8bit, 8, 0, 256, 1078},
      {pf15bit, 16, 0, 0, 54}, {pf16bit, 16, 3, 0, 66}, {pf24bit, 24, 0, 0, 54},
      {pf32bit, 32, 0, 0, 54},
  };
  for (const Case& c : cases) {
    TBitmap b;
    b.SetPixelFormat(c.format);
    b.SetSize(3, 2);
    const std::vector<uint8_t> d = SaveBytes(b);
    const uint32_t stride = ((3 * c.bpp + 31) / 32) * 4;
    EXPECT_EQ(Rd32(d, 14), 40u);
    EXPECT_EQ(d[28], c.bpp) << c.format;
    EXPECT_EQ(Rd32(d, 30), c.compression) << c.format;
    EXPECT_EQ(Rd32(d, 46), c.colours) << c.format;
    EXPECT_EQ(Rd32(d, 10), c.offBits) << c.format;
    EXPECT_EQ(d.size(), c.offBits + 2 * stride) << c.format;
    EXPECT_EQ(Rd32(d, 2), d.size()) << c.format;
    if (c.format == pf16bit) {
      EXPECT_EQ(Rd32(d, 54), 0xF800u);
      EXPECT_EQ(Rd32(d, 58), 0x07E0u);
      EXPECT_EQ(Rd32(d, 62), 0x001Fu);
    }
  }
}

TEST(BmpWrite, FourBitFileCarriesVgaPaletteAndNibbles) {
  TBitmap b;
  b.SetPixelFormat(pf4bit);
  b.SetSize(3, 1);
  b.ScanLine(0)[0] = 0x000000;
  b.ScanLine(0)[1] = 0xFF0000;  // VGA red is entry 9
  b.ScanLine(0)[2] = 0xFFFFFF;  // entry 15
  const std::vector<uint8_t> d = SaveBytes(b);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Rd32(d, 54 + 4 * i), VgaPalette16()[i]);
  EXPECT_EQ(d[118], 0x09);
  EXPECT_EQ(d[119], 0xF0);
}

TEST(BmpWrite, EmptyBitmapWritesNothingAndEmptyStreamReadsEmpty) {
  TBitmap b;
  EXPECT_TRUE(SaveBytes(b).empty());
  TBitmap c(4, 4);
  TMemoryStream empty;
  c.LoadFromStream(empty);
  EXPECT_TRUE(c.Empty());
}

// RLE8: encoded run, literal run (odd length, padded), delta, end of line,
// end of bitmap. Rows are stored bottom-up.
TEST(BmpRle, Rle8EscapesPlacePixelsAndLeaveTheRestAtEntryZero) {
  BmpRecipe s;
  s.Width = 6;
  s.Height = 3;
  s.Bpp = 8;
  s.Compression = 1;
  s.Palette = {0x101010, 0xFF0000, 0x00FF00, 0x0000FF};
  s.Pixels = {
      3, 1,              // bottom row: 3 x red
      0, 3, 2, 3, 2, 0,  // literal green blue green + pad
      0, 0,              // end of line
      0, 2, 2, 1,        // delta: right 2, up 1 (to the top row, x 2)
      2, 3,              // 2 x blue at top row x 2..3
      0, 1,              // end of bitmap
  };
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  const uint32_t bg = 0x101010, R = 0xFF0000, G = 0x00FF00, B = 0x0000FF;
  const std::vector<uint32_t> expected = {
      bg, bg, B,  B,  bg, bg,  // top
      bg, bg, bg, bg, bg, bg,  // middle: skipped
      R,  R,  R,  G,  B,  G,   // bottom
  };
  EXPECT_EQ(std::vector<uint32_t>(b.Bits(), b.Bits() + 18), expected);
}

TEST(BmpRle, Rle4AlternatesNibblesAndPadsLiterals) {
  BmpRecipe s;
  s.Width = 7;
  s.Height = 2;
  s.Bpp = 4;
  s.Compression = 2;
  s.Palette = VgaPalette16();
  s.Pixels = {
      5, 0x9C,                       // bottom: red blue red blue red
      0, 0,                          // end of line
      0, 3,    0xAB, 0xC0,           // literal lime yellow blue (2 bytes, already even)
      0, 5,    0x12, 0x34, 0x50, 0,  // literal 5 nibbles, 3 bytes + pad
      0, 1,
  };
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  const auto& v = VgaPalette16();
  const std::vector<uint32_t> expected = {
      v[10], v[11], v[12], v[1],  v[2], v[3], v[4],  // top
      v[9],  v[12], v[9],  v[12], v[9], v[0], v[0],  // bottom, tail unset
  };
  EXPECT_EQ(std::vector<uint32_t>(b.Bits(), b.Bits() + 14), expected);
}

TEST(BmpRle, RunIntoRowPaddingIsDroppedNotAnError) {
  // Some writers encode the padding of each row as part of a run.
  BmpRecipe s;
  s.Width = 3;
  s.Height = 1;
  s.Bpp = 8;
  s.Compression = 1;
  s.Palette = {0, 0xFFFFFF};
  s.Pixels = {4, 1, 0, 1};
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  for (int x = 0; x < 3; ++x) EXPECT_EQ(b.ScanLine(0)[x], 0xFFFFFFu);
}

TEST(BmpDirect, ThirtyTwoBitsWithoutMasksIgnoreTheFourthByte) {
  BmpRecipe s;
  s.Width = 2;
  s.Height = 1;
  s.Bpp = 32;
  s.Pixels = {0x11, 0x22, 0x33, 0xFF, 0x44, 0x55, 0x66, 0x80};
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.ScanLine(0)[0], 0x332211u);
  EXPECT_EQ(b.ScanLine(0)[1], 0x665544u);
}

TEST(BmpDirect, WideMasksKeepTheirHighBits) {
  // 10-10-10 masks in a v4 header.
  BmpRecipe s;
  s.HeaderSize = 108;
  s.Width = 1;
  s.Height = 1;
  s.Bpp = 32;
  s.Compression = 3;
  s.Masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
  const uint32_t px = (0x3FFu << 20) | (0x200u << 10) | 0x004u;  // 255, 128, 1
  s.Pixels = {uint8_t(px), uint8_t(px >> 8), uint8_t(px >> 16), uint8_t(px >> 24)};
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  EXPECT_EQ(b.ScanLine(0)[0], 0xFF8001u);
}

TEST(BmpDirect, MasksAfterInfoHeaderAndNarrowChannelsWiden) {
  // 4-4-4 masks after a 40-byte header: 4 bits 0xA widens to 0xAA.
  BmpRecipe s;
  s.Width = 1;
  s.Height = 1;
  s.Bpp = 16;
  s.Compression = 3;
  s.Masks = {0x0F00, 0x00F0, 0x000F};
  s.Pixels = {0x5F, 0x0A, 0, 0};  // 0x0A5F: r A, g 5, b F
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  // Held as the bitmap's 15-bit format holds it.
  EXPECT_EQ(b.PixelFormat(), pf15bit);
  EXPECT_EQ(b.ScanLine(0)[0], Quantize555(0xAA55FF));
}

TEST(BmpPalette, ShortPaletteFromColourCountAndStrayIndexReadsBlack) {
  BmpRecipe s;
  s.Width = 3;
  s.Height = 1;
  s.Bpp = 8;
  s.ClrUsed = 2;
  s.Palette = {0x00FF00, 0x0000FF};
  s.Pixels = {1, 0, 200, 0};
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  EXPECT_EQ(b.Palette().size(), 2u);
  EXPECT_EQ(b.ScanLine(0)[0], 0x0000FFu);
  EXPECT_EQ(b.ScanLine(0)[1], 0x00FF00u);
  EXPECT_EQ(b.ScanLine(0)[2], 0x000000u);
}

TEST(BmpPalette, CoreHeaderPaletteEndsWhereThePixelsStart) {
  // A core header without a colour count: the palette holds what fits
  // before the pixel data (here 2 of 256 entries).
  BmpRecipe s;
  s.HeaderSize = 12;
  s.Width = 2;
  s.Height = 1;
  s.Bpp = 8;
  s.Palette = {0x123456, 0xABCDEF};
  s.Pixels = {1, 0, 0, 0};
  const auto bOwner = LoadBytes(BuildBmp(s));
  const TBitmap& b = *bOwner;
  EXPECT_EQ(b.Palette().size(), 2u);
  EXPECT_EQ(b.ScanLine(0)[0], 0xABCDEFu);
  EXPECT_EQ(b.ScanLine(0)[1], 0x123456u);
}

TEST(BmpStream, LoadStopsRightAfterTheImage) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 3, 2, PatternColor);
  TMemoryStream s;
  const uint8_t lead[3] = {1, 2, 3};
  s.WriteBuffer(lead, 3);
  b.SaveToStream(s);
  const int64_t end = s.Position();
  const uint8_t trail[5] = {9, 9, 9, 9, 9};
  s.WriteBuffer(trail, 5);
  s.SetPosition(3);
  TBitmap c;
  c.LoadFromStream(s);
  EXPECT_EQ(s.Position(), end);
  EXPECT_EQ(c.ScanLine(1)[2], PatternColor(2, 1));
}

TEST(BmpProgress, LoadReportsStartRisingPercentagesAndEnd) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  FillBitmap(b, 4, 200, PatternColor);
  const std::vector<uint8_t> bytes = SaveBytes(b);
  TBitmap c;
  std::vector<std::pair<TProgressStage, int>> seen;
  c.OnProgress = [&](TObject* sender, TProgressStage stage, uint8_t pct, bool, const TRect&,
                     const std::string&) {
    EXPECT_EQ(sender, &c);
    seen.emplace_back(stage, pct);
  };
  TMemoryStream s;
  s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
  s.SetPosition(0);
  c.LoadFromStream(s);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), std::make_pair(psStarting, 0));
  EXPECT_EQ(seen.back(), std::make_pair(psEnding, 100));
  for (size_t i = 1; i + 1 < seen.size(); ++i) {
    EXPECT_EQ(seen[i].first, psRunning);
    EXPECT_GT(seen[i].second, seen[i - 1].second);
    EXPECT_LT(seen[i].second, 100);
  }
}

}  // namespace
}  // namespace marovia::test
