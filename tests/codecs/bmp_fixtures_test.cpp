// BMP files written by an independent encoder load with the right pixels and
// the file's pixel format, in every depth and header kind it writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "codec_patterns.h"
#include "marovia/platform/graphics.h"

namespace marovia::test {
namespace {

struct Fixture {
  const char* file;
  TPixelFormat format;
  uint32_t (*color)(int, int);
};

uint32_t Pattern555(int x, int y) {
  return Quantize555(PatternColor(x, y));
}
uint32_t Pattern565(int x, int y) {
  return Quantize565(PatternColor(x, y));
}

const Fixture kFixtures[] = {
    {"p1_v3.bmp", pf1bit, Pattern2Color},  {"p1_core.bmp", pf1bit, Pattern2Color},
    {"p4_v3.bmp", pf4bit, Pattern16Color}, {"p4_core.bmp", pf4bit, Pattern16Color},
    {"p8_v3.bmp", pf8bit, PatternColor},   {"p8_core.bmp", pf8bit, PatternColor},
    {"rle8_v3.bmp", pf8bit, RunsColor},    {"p555_v5.bmp", pf15bit, Pattern555},
    {"p565_v5.bmp", pf16bit, Pattern565},  {"p24_v3.bmp", pf24bit, PatternColor},
    {"p24_v5.bmp", pf24bit, PatternColor}, {"p24_core.bmp", pf24bit, PatternColor},
    {"p32_v5.bmp", pf32bit, PatternColor},
};

class BmpFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(BmpFixture, LoadsPatternWithFileFormat) {
  const Fixture& f = GetParam();
  TBitmap b;
  b.LoadFromFile(FixturePath(f.file));
  ASSERT_EQ(b.Width(), 13);
  ASSERT_EQ(b.Height(), 7);
  EXPECT_EQ(b.PixelFormat(), f.format);
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) {
      ASSERT_EQ(b.ScanLine(y)[x], f.color(x, y)) << f.file << " at " << x << "," << y;
    }
  }
  if (f.format <= pf8bit) {
    // Every pixel is one of the file's palette entries.
    const auto& pal = b.Palette();
    ASSERT_FALSE(pal.empty());
    for (int i = 0; i < 13 * 7; ++i) {
      EXPECT_NE(std::find(pal.begin(), pal.end(), b.Bits()[i]), pal.end());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(IndependentEncoder, BmpFixture, ::testing::ValuesIn(kFixtures),
                         [](const auto& info) {
                           std::string n = info.param.file;
                           std::replace(n.begin(), n.end(), '.', '_');
                           return n;
                         });

TEST(BmpFixture, TopDownRowsLoadLikeBottomUp) {
  // The same file with its rows reversed and a negative height.
  std::vector<uint8_t> d = ReadBytes(FixturePath("p24_v3.bmp"));
  const size_t off = 54, stride = 40;
  ASSERT_EQ(d.size(), off + 7 * stride);
  for (size_t r = 0; r < 3; ++r) {
    std::swap_ranges(d.begin() + off + r * stride, d.begin() + off + (r + 1) * stride,
                     d.begin() + off + (6 - r) * stride);
  }
  const int32_t h = -7;
  std::memcpy(&d[22], &h, 4);
  TempDir dir;
  WriteBytes(dir.File("td.bmp"), d);
  TBitmap b;
  b.LoadFromFile(dir.File("td.bmp"));
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 13; ++x) ASSERT_EQ(b.ScanLine(y)[x], PatternColor(x, y));
  }
}

}  // namespace
}  // namespace marovia::test
