// Test patterns of the codec fixtures (see tests/data/codecs/make_fixtures.sh)
// and small helpers shared by the codec tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "marovia/platform/graphics.h"

namespace marovia::test {

// 13 x 7 (repeating beyond), 91 colours whose 5-5-5 and 5-6-5 reductions are unambiguous (see
// the fixture script).
uint32_t PatternColor(int x, int y);
// 13 x 7, VGA colour (x + 2y) mod 16.
uint32_t Pattern16Color(int x, int y);
// 13 x 7, VGA colour (x/3 + y) mod 16.
uint32_t RunsColor(int x, int y);
// 13 x 7, yellow or navy.
uint32_t Pattern2Color(int x, int y);
// 32 x 24 smooth gradient.
uint32_t GradientColor(int x, int y);

// What a 5-5-5 / 5-6-5 pixel holds of a colour (high bits repeated).
uint32_t Quantize555(uint32_t c);
uint32_t Quantize565(uint32_t c);

std::string FixturePath(const std::string& name);
std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// A hand-made BMP file: 14-byte file header, a header of HeaderSize bytes
// (12 = core, else info-style), masks (inside a header of 52 bytes or more,
// else after it), palette (3- or 4-byte entries) and the pixel bytes as
// given. OffBits < 0: right after the palette.
struct BmpRecipe {
  uint32_t HeaderSize = 40;
  int32_t Width = 0;
  int32_t Height = 0;
  uint16_t Bpp = 24;
  uint32_t Compression = 0;
  uint32_t ClrUsed = 0;
  std::vector<uint32_t> Masks;
  std::vector<uint32_t> Palette;
  std::vector<uint8_t> Pixels;
  int64_t OffBits = -1;
};
std::vector<uint8_t> BuildBmp(const BmpRecipe& s);

// Fills a bitmap of the pattern's size with a colour function.
void FillBitmap(TBitmap& b, int w, int h, uint32_t (*color)(int, int));

// Largest channel difference between two pixel words.
int ChannelDiff(uint32_t a, uint32_t b);

// A fresh directory below the system temp dir, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace marovia::test
