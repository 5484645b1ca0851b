// BMP pixel decoding: uncompressed rows of every depth, bit fields, RLE8 and
// RLE4. The headers have been validated by BmpReadInfo, so the pixel buffer
// allocated here is bounded by the bytes the file really holds.
#include <algorithm>
#include <array>
#include <bit>

#include "bmp_internal.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia {
namespace {

using bmp::Fail;

// Reports progress by row, calling back only when the percentage grows.
class RowProgress {
 public:
  RowProgress(const TCodecProgress& cb, int rows) : cb_(cb), rows_(rows) {}
  void Row(int done) {
    if (!cb_) return;
    const int pct = static_cast<int>(int64_t{done} * 100 / rows_);
    if (pct > last_) {
      last_ = pct;
      cb_(pct);
    }
  }

 private:
  const TCodecProgress& cb_;
  int rows_;
  int last_ = 0;  // 0 is reported by the caller as the start
};

// Extracts one channel given by a contiguous mask and widens it to 8 bits,
// repeating the high bits into the low ones (5 bits 10110 -> 10110101).
class Channel {
 public:
  explicit Channel(uint32_t mask) : mask_(mask), shift_(std::countr_zero(mask)) {
    bits_ = std::popcount(mask);
    if (bits_ <= 8) {
      for (uint32_t v = 0; v < (1u << bits_); ++v) lut_[v] = Widen(v, bits_);
    }
  }
  uint32_t operator()(uint32_t px) const {
    const uint32_t v = (px & mask_) >> shift_;
    return bits_ <= 8 ? lut_[v] : v >> (bits_ - 8);
  }

 private:
  static uint8_t Widen(uint32_t v, int bits) {
    uint32_t r = 0;
    int filled = 0;
    while (filled < 8) {
      r = (r << bits) | v;
      filled += bits;
    }
    return static_cast<uint8_t>(r >> (filled - 8));
  }
  uint32_t mask_;
  int shift_;
  int bits_;
  std::array<uint8_t, 256> lut_{};
};

// Palette lookup for every possible index: entries past a short palette are
// black.
std::array<uint32_t, 256> IndexTable(const std::vector<uint32_t>& palette) {
  std::array<uint32_t, 256> t{};
  std::copy_n(palette.begin(), std::min<size_t>(palette.size(), 256), t.begin());
  return t;
}

void DecodeRow(const TBmpInfo& info, const uint8_t* src, uint32_t* dst,
               const std::array<uint32_t, 256>& lut, const uint32_t* t16, const Channel& r,
               const Channel& g, const Channel& b) {
  const int w = info.Width;
  switch (info.BitsPerPixel) {
    case 1:
      for (int x = 0; x < w; ++x) dst[x] = lut[(src[x >> 3] >> (7 - (x & 7))) & 1];
      break;
    case 4:
      for (int x = 0; x < w; ++x) dst[x] = lut[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
      break;
    case 8:
      for (int x = 0; x < w; ++x) dst[x] = lut[src[x]];
      break;
    case 16:
      for (int x = 0; x < w; ++x) dst[x] = t16[bmp::Rd16(src + 2 * x)];
      break;
    case 24:
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = src + 3 * x;
        dst[x] = uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
      }
      break;
    default:  // 32
      if (info.RedMask == 0xFF0000 && info.GreenMask == 0xFF00 && info.BlueMask == 0xFF) {
        for (int x = 0; x < w; ++x) dst[x] = bmp::Rd32(src + 4 * x) & 0x00FFFFFF;
      } else {
        for (int x = 0; x < w; ++x) {
          const uint32_t px = bmp::Rd32(src + 4 * x);
          dst[x] = r(px) << 16 | g(px) << 8 | b(px);
        }
      }
      break;
  }
}

// Every 16-bit value decoded once: the channels widened through the masks,
// then, for unusual masks (4-4-4, 6-5-5, ...), reduced to the 5-5-5 or 5-6-5
// values that the layout stands for.
std::vector<uint32_t> Table16(const TBmpInfo& info, const Channel& r, const Channel& g,
                              const Channel& b) {
  const bool is565 = info.Layout == TBmpLayout::bl565;
  const bool standard = info.RedMask == (is565 ? 0xF800u : 0x7C00u) &&
                        info.GreenMask == (is565 ? 0x07E0u : 0x03E0u) && info.BlueMask == 0x1Fu;
  std::vector<uint32_t> t(65536);
  for (uint32_t v = 0; v < 65536; ++v) {
    uint32_t p = r(v) << 16 | g(v) << 8 | b(v);
    if (!standard) {
      const uint32_t r5 = (p >> 19) & 0x1F, g8 = (p >> 8) & 0xFF, b5 = (p >> 3) & 0x1F;
      const uint32_t gw = is565 ? ((g8 >> 2) << 2) | (g8 >> 6) : ((g8 >> 3) << 3) | (g8 >> 5);
      p = ((r5 << 3) | (r5 >> 2)) << 16 | gw << 8 | ((b5 << 3) | (b5 >> 2));
    }
    t[v] = p;
  }
  return t;
}

void DecodeUncompressed(const TBmpInfo& info, const uint8_t* data, TBmpImage& img,
                        RowProgress& progress) {
  const std::array<uint32_t, 256> lut = IndexTable(info.Palette);
  const Channel r(info.RedMask ? info.RedMask : 1), g(info.GreenMask ? info.GreenMask : 1),
      b(info.BlueMask ? info.BlueMask : 1);
  const std::vector<uint32_t> t16 =
      info.BitsPerPixel == 16 ? Table16(info, r, g, b) : std::vector<uint32_t>();
  const uint64_t stride = bmp::Stride(info.Width, info.BitsPerPixel);
  const uint8_t* base = data + info.PixelOffset;
  for (int row = 0; row < info.Height; ++row) {
    const int y = info.TopDown ? row : info.Height - 1 - row;
    DecodeRow(info, base + stride * uint64_t(row), img.Pixels.data() + int64_t{y} * info.Width, lut,
              t16.data(), r, g, b);
    progress.Row(row + 1);
  }
}

// RLE8 / RLE4 stream. Pairs (n > 0, c) repeat colour c (RLE4: two alternating
// nibbles) n times; (0, 0) ends the row, (0, 1) ends the bitmap, (0, 2, dx, dy)
// moves the cursor, (0, n >= 3) is followed by n literal indexes padded to a
// 16-bit boundary. Some writers encode the row padding too, so a run may reach
// into the padded width (the pixels there are dropped); a run beyond it, or a
// cursor move out of the bitmap, is an error. Returns the bytes consumed.
uint64_t DecodeRle(const TBmpInfo& info, const uint8_t* data, TBmpImage& img,
                   RowProgress& progress) {
  const std::array<uint32_t, 256> lut = IndexTable(info.Palette);
  std::fill(img.Pixels.begin(), img.Pixels.end(), lut[0]);
  const bool rle4 = info.Compression == bmp::kRle4;
  const uint8_t* p = data + info.PixelOffset;
  const uint64_t n = info.PixelBytes;
  const int64_t w = info.Width, h = info.Height;
  const int64_t padded = int64_t(bmp::Stride(w, info.BitsPerPixel) * 8 / info.BitsPerPixel);
  uint64_t i = 0;
  int64_t x = 0, row = 0;
  auto put = [&](int64_t count, auto indexAt) {
    if (row >= h) Fail("compressed data continue past the last row");
    if (x + count > padded) {
      Fail("compressed run goes past the end of row " + std::to_string(row));
    }
    const int64_t y = info.TopDown ? row : h - 1 - row;
    uint32_t* dst = img.Pixels.data() + y * w;
    for (int64_t k = 0, end = std::min(count, w - x); k < end; ++k) dst[x + k] = lut[indexAt(k)];
    x += count;
  };
  for (;;) {
    if (n - i < 2) {
      if (row >= h) return i;  // every row done; the end marker is missing
      Fail("compressed data end before the end of the bitmap");
    }
    const uint8_t b0 = p[i], b1 = p[i + 1];
    i += 2;
    if (b0 > 0) {
      if (rle4) {
        put(b0, [b1](int64_t k) { return (k & 1) ? (b1 & 0x0F) : (b1 >> 4); });
      } else {
        put(b0, [b1](int64_t) { return b1; });
      }
      continue;
    }
    if (b1 == 0) {  // end of row
      x = 0;
      ++row;
      progress.Row(static_cast<int>(std::min(row, h)));
    } else if (b1 == 1) {  // end of bitmap
      return i;
    } else if (b1 == 2) {  // delta
      if (n - i < 2) Fail("compressed data end inside a cursor move");
      x += p[i];
      row += p[i + 1];
      i += 2;
      if (x > padded || row > h || (row == h && x > 0)) Fail("cursor move leaves the bitmap");
    } else {  // literal indexes
      const uint64_t bytes = rle4 ? (b1 + 1) / 2 : b1;
      const uint64_t evenBytes = (bytes + 1) & ~uint64_t{1};
      if (n - i < bytes) Fail("compressed data end inside a literal run");
      const uint8_t* lit = p + i;
      if (rle4) {
        put(b1, [lit](int64_t k) { return (k & 1) ? (lit[k >> 1] & 0x0F) : (lit[k >> 1] >> 4); });
      } else {
        put(b1, [lit](int64_t k) { return lit[k]; });
      }
      i += std::min(evenBytes, n - i);
    }
  }
}

}  // namespace

TBmpImage BmpDecode(const uint8_t* Data, size_t Size, const TCodecProgress& Progress,
                    size_t* UsedBytes) {
  const TBmpInfo info = BmpReadInfo(Data, Size);
  TBmpImage img;
  img.Width = info.Width;
  img.Height = info.Height;
  img.Layout = info.Layout;
  img.Palette = info.Palette;
  img.Pixels.resize(size_t(int64_t{info.Width} * info.Height));
  RowProgress progress(Progress, info.Height);
  uint64_t used = info.PixelBytes;
  if (info.Compression == bmp::kRle8 || info.Compression == bmp::kRle4) {
    used = DecodeRle(info, Data, img, progress);
  } else {
    DecodeUncompressed(info, Data, img, progress);
  }
  progress.Row(info.Height);
  if (UsedBytes) *UsedBytes = static_cast<size_t>(info.PixelOffset + used);
  return img;
}

}  // namespace marovia
