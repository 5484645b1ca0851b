// The halving levels of a map image held in memory as a bitmap.
#include <algorithm>
#include <cstring>

#include "marovia/geomap/web_tiles.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"

namespace marovia {

namespace {

struct TLevel {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;
};

// Each pixel the rounded average of the 2 x 2 it covers, per channel; an
// odd last column or row repeats itself.
TLevel Halve(const TLevel& src) {
  TLevel dst;
  dst.Width = (src.Width + 1) / 2;
  dst.Height = (src.Height + 1) / 2;
  dst.Pixels.resize(static_cast<size_t>(dst.Width) * dst.Height);
  for (int y = 0; y < dst.Height; ++y) {
    const uint32_t* r0 = src.Pixels.data() + static_cast<size_t>(2 * y) * src.Width;
    const uint32_t* r1 =
        src.Pixels.data() + static_cast<size_t>(std::min(2 * y + 1, src.Height - 1)) * src.Width;
    uint32_t* out = dst.Pixels.data() + static_cast<size_t>(y) * dst.Width;
    for (int x = 0; x < dst.Width; ++x) {
      const int x0 = 2 * x, x1 = std::min(2 * x + 1, src.Width - 1);
      const uint32_t a = r0[x0], b = r0[x1], c = r1[x0], d = r1[x1];
      uint32_t v = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        const uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) + ((c >> shift) & 0xFF) +
                             ((d >> shift) & 0xFF) + 2;
        v |= (sum / 4) << shift;
      }
      out[x] = v;
    }
  }
  return dst;
}

class TBitmapRaster final : public TMapRaster {
 public:
  explicit TBitmapRaster(const TBitmap& Image) {
    TLevel base;
    base.Width = Image.Width();
    base.Height = Image.Height();
    base.Pixels.resize(static_cast<size_t>(base.Width) * base.Height);
    for (int y = 0; y < base.Height; ++y) {
      const uint32_t* row = Image.ScanLine(y);
      uint32_t* out = base.Pixels.data() + static_cast<size_t>(y) * base.Width;
      for (int x = 0; x < base.Width; ++x) out[x] = row[x] & 0xFFFFFF;
    }
    levels_.push_back(std::move(base));
    while (levels_.back().Width > kWebTileSize || levels_.back().Height > kWebTileSize)
      levels_.push_back(Halve(levels_.back()));
  }

  int Levels() const override { return static_cast<int>(levels_.size()); }
  int LevelWidth(int Level) const override { return levels_[Level].Width; }
  int LevelHeight(int Level) const override { return levels_[Level].Height; }
  void ReadRegion(int Level, int Left, int Top, int W, int H, uint32_t* Dest,
                  ptrdiff_t Stride) const override {
    const TLevel& l = levels_[Level];
    for (int y = 0; y < H; ++y) {
      std::memcpy(Dest + y * Stride,
                  l.Pixels.data() + static_cast<size_t>(Top + y) * l.Width + Left,
                  static_cast<size_t>(W) * sizeof(uint32_t));
    }
  }

 private:
  std::vector<TLevel> levels_;
};

class TPyramidRaster final : public TMapRaster {
 public:
  explicit TPyramidRaster(std::unique_ptr<TImagePyramid> Pyramid) : pyramid_(std::move(Pyramid)) {}
  int Levels() const override { return pyramid_->Levels(); }
  int LevelWidth(int Level) const override { return pyramid_->LevelWidth(Level); }
  int LevelHeight(int Level) const override { return pyramid_->LevelHeight(Level); }
  void ReadRegion(int Level, int Left, int Top, int W, int H, uint32_t* Dest,
                  ptrdiff_t Stride) const override {
    pyramid_->ReadRegion(Level, Left, Top, W, H, Dest, Stride);
  }

 private:
  std::unique_ptr<TImagePyramid> pyramid_;
};

}  // namespace

std::unique_ptr<TMapRaster> MakePyramidRaster(std::unique_ptr<TImagePyramid> Pyramid) {
  if (!Pyramid || Pyramid->Width() <= 0 || Pyramid->Height() <= 0)
    throw EZYLGeoMapError("an empty map image has no tiles");
  return std::make_unique<TPyramidRaster>(std::move(Pyramid));
}

std::unique_ptr<TMapRaster> MakeBitmapRaster(const TBitmap& Image) {
  if (Image.Empty()) throw EZYLGeoMapError("an empty map image has no tiles");
  return std::make_unique<TBitmapRaster>(Image);
}

}  // namespace marovia
