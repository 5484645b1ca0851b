// The levels of a pyramid against a reference reduction written pixel by
// pixel from the rule, and the vector reduction against the scalar one.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "box_reduce.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

struct Image {
  int W = 0, H = 0;
  std::vector<uint32_t> Px;
  uint32_t At(int x, int y) const { return Px[size_t(y) * W + x]; }
};

Image RandomImage(int W, int H, uint32_t Seed, uint32_t Mask = 0x00FFFFFF) {
  std::mt19937 rng(Seed);
  Image im{W, H, std::vector<uint32_t>(size_t(W) * H)};
  for (auto& p : im.Px) p = rng() & Mask;
  return im;
}

// One level down, from the definition: missing right or bottom pixels repeat
// the last column or row; each channel (a + b + c + d + 2) / 4.
Image Reference(const Image& s) {
  Image d{(s.W + 1) / 2, (s.H + 1) / 2, {}};
  d.Px.resize(size_t(d.W) * d.H);
  for (int y = 0; y < d.H; ++y) {
    for (int x = 0; x < d.W; ++x) {
      const int x0 = 2 * x, x1 = std::min(2 * x + 1, s.W - 1);
      const int y0 = 2 * y, y1 = std::min(2 * y + 1, s.H - 1);
      uint32_t out = 0;
      for (int c = 0; c < 4; ++c) {
        auto ch = [&](int px, int py) { return (s.At(px, py) >> (8 * c)) & 0xFF; };
        out |= ((ch(x0, y0) + ch(x1, y0) + ch(x0, y1) + ch(x1, y1) + 2) / 4) << (8 * c);
      }
      d.Px[size_t(y) * d.W + x] = out;
    }
  }
  return d;
}

std::unique_ptr<TImagePyramid> PyramidOf(const Image& im) {
  TBitmap bmp(im.W, im.H);
  for (int y = 0; y < im.H; ++y)
    std::copy(im.Px.begin() + size_t(y) * im.W, im.Px.begin() + size_t(y + 1) * im.W,
              bmp.ScanLine(y));
  return TImagePyramid::FromBitmap(bmp);
}

TEST(ImagePyramid, LevelsMatchTheReferenceReduction) {
  const struct {
    int W, H, Levels;
  } cases[] = {{1, 1, 1},     {257, 1, 2},    {1, 257, 2}, {255, 513, 3}, {256, 256, 1},
               {512, 257, 2}, {300, 1030, 4}, {3, 5, 1},   {1025, 2, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
    Image level = RandomImage(c.W, c.H, uint32_t(c.W * 7919 + c.H));
    const auto pyramid = PyramidOf(level);
    ASSERT_EQ(pyramid->Levels(), c.Levels);
    for (int k = 0; k < c.Levels; ++k) {
      ASSERT_EQ(pyramid->LevelWidth(k), level.W);
      ASSERT_EQ(pyramid->LevelHeight(k), level.H);
      std::vector<uint32_t> got(level.Px.size(), 0xDEADBEEF);
      pyramid->ReadRegion(k, 0, 0, level.W, level.H, got.data(), level.W);
      ASSERT_EQ(got, level.Px) << "level " << k;
      // The part of the last tile beyond the level is white.
      const int tx = pyramid->TilesAcross(k) - 1, ty = pyramid->TilesDown(k) - 1;
      const TTilePixels tile = pyramid->Tile(k, tx, ty);
      const int n = TImagePyramid::kTileSize;
      for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
          if (tx * n + x >= level.W || ty * n + y >= level.H) {
            ASSERT_EQ(tile[size_t(y) * n + x], 0x00FFFFFFu) << x << "," << y;
          }
        }
      }
      level = Reference(level);
    }
  }
}

TEST(ImagePyramid, ReadRegionClipsToTheLevelAndKeepsTheRest) {
  const Image im = RandomImage(600, 300, 5);
  const auto pyramid = PyramidOf(im);
  // A window hanging over every edge of the level.
  const int64_t left = -7, top = -3;
  const int w = 620, h = 310;
  std::vector<uint32_t> got(size_t(w) * h, 0xABCDEF01u);
  pyramid->ReadRegion(0, left, top, w, h, got.data(), w);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int64_t sx = left + x, sy = top + y;
      const bool inside = sx >= 0 && sy >= 0 && sx < im.W && sy < im.H;
      ASSERT_EQ(got[size_t(y) * w + x], inside ? im.At(int(sx), int(sy)) : 0xABCDEF01u)
          << x << "," << y;
    }
  }
  EXPECT_THROW(pyramid->Tile(0, 3, 0), ERangeError);
  EXPECT_THROW(pyramid->Tile(0, 0, -1), ERangeError);
  EXPECT_THROW(pyramid->ReadRegion(pyramid->Levels(), 0, 0, 1, 1, got.data(), 1), ERangeError);
}

TEST(BoxReduce2x2, MatchesTheReferenceWithStrides) {
  for (const auto& [w, h] : {std::pair{1, 1}, {2, 2}, {7, 3}, {64, 33}, {131, 2}}) {
    const Image im = RandomImage(w, h, uint32_t(w * h), 0xFFFFFFFF);
    const Image want = Reference(im);
    // Padded rows on both sides.
    const ptrdiff_t ss = w + 5, ds = want.W + 3;
    std::vector<uint32_t> src(size_t(ss) * h), dst(size_t(ds) * want.H, 0x11111111u);
    for (int y = 0; y < h; ++y) std::copy_n(im.Px.begin() + size_t(y) * w, w, src.begin() + y * ss);
    BoxReduce2x2(src.data(), w, h, ss, dst.data(), ds);
    for (int y = 0; y < want.H; ++y) {
      for (int x = 0; x < ds; ++x)
        ASSERT_EQ(dst[y * ds + x], x < want.W ? want.At(x, y) : 0x11111111u) << x << "," << y;
    }
  }
}

// The vector path against the scalar rule on every width up to a few
// vectors and a long row, with all 32 bits random (the unused top byte is
// averaged the same way).
TEST(BoxReduce2x2, VectorRowEqualsScalarRow) {
  std::mt19937 rng(42);
  std::vector<int> widths;
  for (int w = 1; w <= 80; ++w) widths.push_back(w);
  widths.push_back(16385);
  for (int w : widths) {
    std::vector<uint32_t> r0(w), r1(w);
    for (auto& p : r0) p = rng();
    for (auto& p : r1) p = rng();
    const size_t out = size_t(w + 1) / 2;
    std::vector<uint32_t> fast(out + 1, 7), slow(out + 1, 7);
    pyr::BoxReduceRow(r0.data(), r1.data(), w, fast.data());
    pyr::BoxReduceRowScalar(r0.data(), r1.data(), w, slow.data());
    ASSERT_EQ(fast, slow) << "width " << w;
    pyr::BoxReduceRow(r0.data(), r0.data(), w, fast.data());
    pyr::BoxReduceRowScalar(r0.data(), r0.data(), w, slow.data());
    ASSERT_EQ(fast, slow) << "width " << w << ", a row with itself";
  }
}

}  // namespace
}  // namespace marovia
