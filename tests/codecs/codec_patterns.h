// Test patterns of the codec fixtures (see tests/data/codecs/make_fixtures.sh)
// and small helpers shared by the codec tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "marovia/platform/graphics.h"
#include "support/temp_dir.h"

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

// A hand-made PNG file: signature, IHDR, PLTE (when Palette is given, RGB
// triples), tRNS (when Trns is given), the rows deflated into one IDAT
// chunk, IEND. Rows holds the raw scanlines, each a filter byte and the
// packed samples (see PngRows).
struct PngRecipe {
  uint32_t Width = 0;
  uint32_t Height = 0;
  uint8_t BitDepth = 8;
  uint8_t ColorType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGB + alpha
  uint8_t Interlace = 0;
  std::vector<uint8_t> Palette;
  std::vector<uint8_t> Trns;
  std::vector<uint8_t> Rows;
};
std::vector<uint8_t> BuildPng(const PngRecipe& r);
// Unfiltered scanlines of Width x Height pixels with Channels samples of
// BitDepth bits each (below 8 bits packed from the high bit, 16 bits
// big-endian); sample(x, y, c) gives the values.
std::vector<uint8_t> PngRows(int Width, int Height, int BitDepth, int Channels,
                             uint32_t (*sample)(int x, int y, int c));
// Recomputes the checksum of every chunk, after bytes have been patched.
void FixPngCrcs(std::vector<uint8_t>& png);
// Offset of the first chunk of the given type (its length field), or npos.
size_t FindPngChunk(const std::vector<uint8_t>& png, const char* type);

// Runs Check in a child process that cannot get a block of memory larger
// than 64 MiB: a decoder that allocates for a header's claimed size before
// refusing it is caught there before the memory is touched. Answers the
// child's exit status: 0 when Check answered true, 1 when false, 2 when no
// limit could be set, 3 when a large block was asked for, 4 for another
// exception; a negative signal number when it died.
int StatusWithLittleMemory(const std::function<bool()>& Check);

// Fills a bitmap of the pattern's size with a colour function.
void FillBitmap(TBitmap& b, int w, int h, uint32_t (*color)(int, int));

// Largest channel difference between two pixel words.
int ChannelDiff(uint32_t a, uint32_t b);

}  // namespace marovia::test
