// Embedded resources: lookup by name, bitmaps, cursors, damaged cursor files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "marovia/platform/graphics.h"
#include "marovia/platform/resources.h"

namespace marovia_test {
marovia::HINSTANCE TestResources();
}

namespace marovia {
namespace {

using marovia_test::TestResources;

TEST(ResourcesTest, EmbeddedFilesAreFoundByNameAndType) {
  HINSTANCE h = TestResources();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(TestResources(), h);  // registered once
  EXPECT_EQ(ResourceModuleName(h), "controls_tests");
  EXPECT_TRUE(ResourceExists(h, "curgeozoom", rtCursor));  // any case
  EXPECT_FALSE(ResourceExists(h, "CURGEOZOOM", rtBitmap));
  EXPECT_TRUE(ResourceExists(h, "POINTR", rtBitmap));
  const TResourceBytes empty = FindResourceBytes(h, "EMPTY", rtData);
  EXPECT_EQ(empty.Size, 0u);
  const TResourceBytes cur = FindResourceBytes(h, "CURGEOHAND", rtCursor);
  EXPECT_EQ(cur.Size, 326u);
  EXPECT_EQ(cur.Data[2], 2);  // a cursor directory
}

TEST(ResourcesTest, UnknownNamesRaise) {
  HINSTANCE h = TestResources();
  TBitmap b;
  EXPECT_THROW(LoadBitmapResource(h, "NOSUCH", b), EResNotFound);
  EXPECT_THROW(LoadBitmapResource("NOSUCH", b), EResNotFound);
  EXPECT_THROW(LoadCursorW(h, "NOSUCH"), EResNotFound);
  EXPECT_THROW(LoadCursorW(h, "POINTR"), EResNotFound);  // a bitmap, not a cursor
  EXPECT_THROW(LoadCursorW(nullptr, "CURGEOZOOM"), EResNotFound);
  try {
    FindResourceBytes(h, "MISSING", rtData);
    FAIL();
  } catch (const EResNotFound& e) {
    EXPECT_STREQ(e.what(), "Resource MISSING not found");
  }
}

TEST(ResourcesTest, ButtonBitmapsHoldTwoGlyphs) {
  for (const char* name : {"POINTR", "ZOOMIN"}) {
    TBitmap b;
    LoadBitmapResource(TestResources(), name, b);
    EXPECT_EQ(b.Width(), 40) << name;
    EXPECT_EQ(b.Height(), 20) << name;
    EXPECT_EQ(b.PixelFormat(), pf8bit) << name;
    // The bottom-left pixel is the transparent colour and differs from the
    // drawn pixels: some pixel of each glyph has another colour.
    const TColor transparent = b.Canvas().Pixels(0, 19);
    for (int glyph = 0; glyph < 2; ++glyph) {
      int drawn = 0;
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) drawn += b.Canvas().Pixels(glyph * 20 + x, y) != transparent;
      EXPECT_GT(drawn, 20) << name << " glyph " << glyph;
    }
  }
}

TEST(ResourcesTest, CursorsHaveSizeHotSpotAndMasks) {
  HCURSOR zoom = LoadCursorW(TestResources(), "CURGEOZOOM");
  HCURSOR hand = LoadCursorW(TestResources(), "curgeohand");
  ASSERT_NE(zoom, nullptr);
  EXPECT_EQ(LoadCursorW(TestResources(), "CurGeoZoom"), zoom);  // shared handle
  EXPECT_EQ(zoom->Width, 32);
  EXPECT_EQ(zoom->Height, 32);
  EXPECT_EQ(zoom->HotSpot, (TPoint{6, 6}));
  EXPECT_EQ(hand->HotSpot, (TPoint{0, 0}));
  EXPECT_EQ(hand->Width, 32);
  EXPECT_EQ(zoom->SystemCursor, 0);
  // The zoom cursor's hot spot sits in the lens: not transparent; the far
  // corner is transparent.
  EXPECT_FALSE(zoom->AndBit(6, 6) && !zoom->XorBit(6, 6));
  EXPECT_TRUE(zoom->AndBit(31, 31));
  EXPECT_FALSE(zoom->XorBit(31, 31));
}

// ------------------------------------------------------------ cursor decoding

std::vector<uint8_t> Bytes(HINSTANCE h, const char* name) {
  const TResourceBytes r = FindResourceBytes(h, name, rtCursor);
  return std::vector<uint8_t>(r.Data, r.Data + r.Size);
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  ASSERT_GE(v.size(), at + 4);
  for (int i = 0; i < 4; ++i) v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * i));
}

TEST(CursorDecodeTest, DecodesRowsTopDown) {
  const std::vector<uint8_t> good = Bytes(TestResources(), "CURGEOZOOM");
  const TCursorImage img = DecodeCursor(good.data(), good.size());
  // The file stores rows bottom-up: the decoded first row is the file's last.
  const size_t xorStart = 6 + 16 + 40 + 8;
  EXPECT_EQ(img.XorMask[0], good[xorStart + 31 * 4]);
  EXPECT_EQ(img.AndMask[31 * 4], good[xorStart + 128]);
}

TEST(CursorDecodeTest, RejectsDamagedFiles) {
  const std::vector<uint8_t> good = Bytes(TestResources(), "CURGEOZOOM");
  auto rejects = [&](std::vector<uint8_t> bad) {
    EXPECT_THROW(DecodeCursor(bad.data(), bad.size()), EInvalidCursor);
  };
  rejects({});
  rejects(std::vector<uint8_t>(good.begin(), good.begin() + 100));  // truncated masks
  auto b = good;
  b[2] = 1;  // an icon, not a cursor
  rejects(b);
  b = good;
  b[4] = 0;  // no image
  rejects(b);
  b = good;
  Put32(b, 6 + 12, 0xFFFFFFF0u);  // image offset far beyond the end
  rejects(b);
  b = good;
  Put32(b, 6 + 8, 0xFFFFFFFFu);  // byte count overflowing the offset
  rejects(b);
  b = good;
  b[6 + 4] = 40;  // hot spot outside the 32 x 32 image
  rejects(b);
  b = good;
  b[22 + 14] = 4;  // 4 bits per pixel
  rejects(b);
  b = good;
  Put32(b, 22 + 4, 100000);  // absurd width
  rejects(b);
  b = good;
  Put32(b, 22 + 8, 63);  // odd doubled height
  rejects(b);
  b = good;
  Put32(b, 22, 0x7FFFFFFF);  // header size beyond the image
  rejects(b);
  EXPECT_THROW(DecodeCursor(nullptr, 326), EInvalidCursor);
}

}  // namespace
}  // namespace marovia
