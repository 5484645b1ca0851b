// TBitmap: pixel storage, sizes, pixel formats and palettes.
#include <algorithm>
#include <array>
#include <cstring>

#include "marovia/platform/graphics.h"
#include "marovia/platform/stretchblt.h"
#include "marovia/platform/sysutils.h"
#include "raster.h"

namespace marovia {

namespace {

// Largest image: 2^31 bytes of 32-bit pixels.
constexpr int64_t kMaxPixels = (int64_t{1} << 31) / 4;

// The 16-colour VGA palette in its usual index order.
const std::vector<uint32_t>& VgaPalette() {
  static const std::vector<uint32_t> p = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return p;
}

// 256 colours: the VGA colours first (exact), a 6x6x6 cube, 24 greys.
const std::vector<uint32_t>& DefaultPalette256() {
  static const std::vector<uint32_t> p = [] {
    std::vector<uint32_t> v = VgaPalette();
    for (uint32_t r = 0; r < 6; ++r)
      for (uint32_t g = 0; g < 6; ++g)
        for (uint32_t b = 0; b < 6; ++b) v.push_back((r * 51) << 16 | (g * 51) << 8 | (b * 51));
    for (uint32_t i = 0; i < 24; ++i) {
      uint32_t l = 8 + 10 * i;
      v.push_back(l << 16 | l << 8 | l);
    }
    return v;
  }();
  return p;
}

const std::vector<uint32_t>& DefaultPalette(TPixelFormat f) {
  static const std::vector<uint32_t> bw = {0x000000, 0xFFFFFF};
  static const std::vector<uint32_t> none;
  switch (f) {
    case pf1bit:
      return bw;
    case pf4bit:
      return VgaPalette();
    case pf8bit:
      return DefaultPalette256();
    default:
      return none;
  }
}

size_t PaletteLimit(TPixelFormat f) {
  return f == pf1bit ? 2 : f == pf4bit ? 16 : f == pf8bit ? 256 : 0;
}

uint32_t Expand5(uint32_t v) {
  v >>= 3;
  return (v << 3) | (v >> 2);
}
uint32_t Expand6(uint32_t v) {
  v >>= 2;
  return (v << 2) | (v >> 4);
}

}  // namespace

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>(this)) {}

TBitmap::TBitmap(int AWidth, int AHeight) : TBitmap() {
  SetSize(AWidth, AHeight);
}

TBitmap::~TBitmap() = default;

void TBitmap::SetWidth(int Value) {
  SetSize(Value, height_);
}
void TBitmap::SetHeight(int Value) {
  SetSize(width_, Value);
}

void TBitmap::SetSize(int AWidth, int AHeight) {
  if (AWidth < 0 || AHeight < 0)
    throw ERangeError("Invalid bitmap size " + std::to_string(AWidth) + " x " +
                      std::to_string(AHeight));
  if (static_cast<int64_t>(AWidth) * AHeight > kMaxPixels)
    throw ERangeError("Bitmap size " + std::to_string(AWidth) + " x " + std::to_string(AHeight) +
                      " exceeds the largest image (2 GiB)");
  if (AWidth == width_ && AHeight == height_) return;
  uint32_t fill = Quantize(0xFFFFFF);
  std::vector<uint32_t> next(static_cast<size_t>(AWidth) * AHeight, fill);
  int keepW = std::min(AWidth, width_), keepH = std::min(AHeight, height_);
  for (int y = 0; keepW > 0 && y < keepH; ++y)
    std::memcpy(next.data() + static_cast<size_t>(y) * AWidth,
                pixels_.data() + static_cast<size_t>(y) * width_, static_cast<size_t>(keepW) * 4);
  pixels_.swap(next);
  width_ = AWidth;
  height_ = AHeight;
  Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == format_) return;
  format_ = Value;
  palette_ = DefaultPalette(Value);
  Requantize();
  Changed();
}

void TBitmap::SetPalette(const std::vector<uint32_t>& Value) {
  size_t limit = PaletteLimit(format_);
  if (limit == 0) throw ERangeError("A bitmap without indexed pixel format has no palette");
  if (Value.empty() || Value.size() > limit)
    throw ERangeError("Palette of " + std::to_string(Value.size()) +
                      " entries for a format of at most " + std::to_string(limit));
  palette_.resize(Value.size());
  for (size_t i = 0; i < Value.size(); ++i) palette_[i] = Value[i] & 0xFFFFFF;
  Requantize();
  Changed();
}

int TBitmap::PaletteIndex(uint32_t Rgb) const {
  int best = 0;
  int64_t bestD = INT64_MAX;
  int r = (Rgb >> 16) & 0xFF, g = (Rgb >> 8) & 0xFF, b = Rgb & 0xFF;
  for (size_t i = 0; i < palette_.size(); ++i) {
    uint32_t p = palette_[i];
    int dr = r - static_cast<int>((p >> 16) & 0xFF), dg = g - static_cast<int>((p >> 8) & 0xFF),
        db = b - static_cast<int>(p & 0xFF);
    int64_t d = dr * dr + dg * dg + db * db;
    if (d < bestD) {
      bestD = d;
      best = static_cast<int>(i);
      if (d == 0) break;
    }
  }
  return best;
}

uint32_t TBitmap::Quantize(uint32_t Rgb) const {
  Rgb &= 0xFFFFFF;
  switch (format_) {
    case pf1bit:
    case pf4bit:
    case pf8bit:
      return palette_.empty() ? Rgb : palette_[PaletteIndex(Rgb)];
    case pf15bit:
      return Expand5(Rgb >> 16 & 0xFF) << 16 | Expand5(Rgb >> 8 & 0xFF) << 8 | Expand5(Rgb & 0xFF);
    case pf16bit:
      return Expand5(Rgb >> 16 & 0xFF) << 16 | Expand6(Rgb >> 8 & 0xFF) << 8 | Expand5(Rgb & 0xFF);
    default:
      return Rgb;
  }
}

void TBitmap::Requantize() {
  if (format_ == pfDevice || format_ == pf24bit || format_ == pf32bit || format_ == pfCustom) {
    for (uint32_t& p : pixels_) p &= 0xFFFFFF;
    return;
  }
  if (format_ == pf15bit || format_ == pf16bit) {
    for (uint32_t& p : pixels_) p = Quantize(p);
    return;
  }
  // Palette searches are costly; images repeat colours, so a small
  // direct-mapped memo of recent answers spares most of them.
  struct Memo {
    uint32_t in = 0xFFFFFFFF, out = 0;
  };
  std::vector<Memo> memo(4096);
  for (uint32_t& p : pixels_) {
    const uint32_t c = p & 0xFFFFFF;
    Memo& m = memo[(c ^ (c >> 12)) & 4095];
    if (m.in != c) {
      m.in = c;
      m.out = Quantize(c);
    }
    p = m.out;
  }
}

uint32_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= height_)
    throw ERangeError("Scan line index out of range: " + std::to_string(y));
  return pixels_.data() + static_cast<size_t>(y) * width_;
}

const uint32_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= height_)
    throw ERangeError("Scan line index out of range: " + std::to_string(y));
  return pixels_.data() + static_cast<size_t>(y) * width_;
}

TCanvas& TBitmap::Canvas() {
  return *canvas_;
}

void TBitmap::Assign(const TPersistent& Source) {
  if (&Source == this) return;
  if (auto* b = dynamic_cast<const TBitmap*>(&Source)) {
    pixels_ = b->pixels_;
    width_ = b->width_;
    height_ = b->height_;
    format_ = b->format_;
    palette_ = b->palette_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBitmap::Draw(TCanvas& ACanvas, const TRect& Rect) const {
  if (Empty()) return;
  // Reading through a canvas never writes; the canvas needs a surface
  // pointer only.
  TCanvas src(const_cast<TBitmap*>(this));
  StretchBltWide(ACanvas, Rect.Left, Rect.Top, int64_t{Rect.Right} - Rect.Left,
                 int64_t{Rect.Bottom} - Rect.Top, src, 0, 0, width_, height_,
                 static_cast<uint32_t>(ACanvas.CopyMode()));
}

}  // namespace marovia
