// BMP writing: uncompressed, bottom-up, 40-byte info header, in the layout of
// the image (indexed with its palette, 16 bits as 5-5-5 or 5-6-5 with bit
// fields, 24 or 32 bits).
#include <algorithm>
#include <unordered_map>

#include "bmp_internal.h"
#include "marovia/platform/bmpcodec.h"

namespace marovia {
namespace {

int BitsOf(TBmpLayout l) {
  switch (l) {
    case TBmpLayout::bl1bit:
      return 1;
    case TBmpLayout::bl4bit:
      return 4;
    case TBmpLayout::bl8bit:
      return 8;
    case TBmpLayout::bl555:
    case TBmpLayout::bl565:
      return 16;
    case TBmpLayout::bl24bit:
      return 24;
    default:
      return 32;
  }
}

std::vector<uint32_t> DefaultPalette(int bpp) {
  if (bpp == 1) return {0x000000, 0xFFFFFF};
  if (bpp == 4) return VgaPalette16();
  std::vector<uint32_t> cube(256);  // 3 bits red, 3 green, 2 blue
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t r = (i >> 5) * 255 / 7, g = ((i >> 2) & 7) * 255 / 7, b = (i & 3) * 255 / 3;
    cube[i] = r << 16 | g << 8 | b;
  }
  return cube;
}

// Maps colours to palette indexes: exact entries first, otherwise the entry
// nearest in RGB space (first of equals). A direct-mapped cache in front
// keeps the per-pixel cost low for the few colours a picture usually has.
class IndexMapper {
 public:
  explicit IndexMapper(const std::vector<uint32_t>& pal) : pal_(pal), cache_(kCacheSize) {
    for (size_t i = pal.size(); i-- > 0;) exact_[pal[i] & 0xFFFFFF] = uint8_t(i);
  }
  uint8_t operator()(uint32_t c) {
    c &= 0xFFFFFF;
    Slot& s = cache_[(c * 2654435761u) >> (32 - kCacheBits)];
    if (s.key != c + 1) {
      s.key = c + 1;
      s.index = Lookup(c);
    }
    return s.index;
  }

 private:
  static constexpr int kCacheBits = 12;
  static constexpr size_t kCacheSize = size_t{1} << kCacheBits;
  struct Slot {
    uint32_t key = 0;  // colour + 1; 0 marks an empty slot
    uint8_t index = 0;
  };

  uint8_t Lookup(uint32_t c) const {
    auto it = exact_.find(c);
    if (it != exact_.end()) return it->second;
    uint8_t best = 0;
    int64_t bestD = INT64_MAX;
    for (size_t i = 0; i < pal_.size(); ++i) {
      const int64_t dr = int64_t(c >> 16) - int64_t((pal_[i] >> 16) & 0xFF);
      const int64_t dg = int64_t((c >> 8) & 0xFF) - int64_t((pal_[i] >> 8) & 0xFF);
      const int64_t db = int64_t(c & 0xFF) - int64_t(pal_[i] & 0xFF);
      const int64_t d = dr * dr + dg * dg + db * db;
      if (d < bestD) {
        bestD = d;
        best = uint8_t(i);
      }
    }
    return best;
  }

  const std::vector<uint32_t>& pal_;
  std::unordered_map<uint32_t, uint8_t> exact_;
  std::vector<Slot> cache_;
};

void EncodeRow(TBmpLayout layout, const uint32_t* src, int w, uint8_t* dst, IndexMapper* map) {
  switch (layout) {
    case TBmpLayout::bl1bit:
      for (int x = 0; x < w; ++x) dst[x >> 3] |= uint8_t(((*map)(src[x]) & 1) << (7 - (x & 7)));
      break;
    case TBmpLayout::bl4bit:
      for (int x = 0; x < w; ++x)
        dst[x >> 1] |= uint8_t(((*map)(src[x]) & 0x0F) << ((x & 1) ? 0 : 4));
      break;
    case TBmpLayout::bl8bit:
      for (int x = 0; x < w; ++x) dst[x] = (*map)(src[x]);
      break;
    case TBmpLayout::bl555:
      for (int x = 0; x < w; ++x) {
        const uint32_t c = src[x];
        bmp::Wr16(dst + 2 * x,
                  ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F));
      }
      break;
    case TBmpLayout::bl565:
      for (int x = 0; x < w; ++x) {
        const uint32_t c = src[x];
        bmp::Wr16(dst + 2 * x,
                  ((c >> 19) & 0x1F) << 11 | ((c >> 10) & 0x3F) << 5 | ((c >> 3) & 0x1F));
      }
      break;
    case TBmpLayout::bl24bit:
      for (int x = 0; x < w; ++x) {
        dst[3 * x] = uint8_t(src[x]);
        dst[3 * x + 1] = uint8_t(src[x] >> 8);
        dst[3 * x + 2] = uint8_t(src[x] >> 16);
      }
      break;
    default:
      for (int x = 0; x < w; ++x) bmp::Wr32(dst + 4 * x, src[x] & 0xFFFFFF);
      break;
  }
}

}  // namespace

const std::vector<uint32_t>& VgaPalette16() {
  static const std::vector<uint32_t> pal = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
      0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  return pal;
}

std::vector<uint8_t> BmpEncode(const TBmpImage& img) {
  if (img.Pixels.size() != size_t(std::max<int64_t>(0, int64_t{img.Width} * img.Height))) {
    throw ERangeError("Bitmap pixel count does not match its size");
  }
  return BmpEncode(img.Pixels.data(), img.Width, img.Height, img.Layout, img.Palette);
}

std::vector<uint8_t> BmpEncode(const uint32_t* Pixels, int32_t Width, int32_t Height,
                               TBmpLayout Layout, const std::vector<uint32_t>& Palette) {
  if (Width <= 0 || Height <= 0) {
    throw ERangeError("Cannot write a bitmap of " + std::to_string(Width) + " x " +
                      std::to_string(Height) + " pixels");
  }
  const TBmpImage img{Width, Height, Layout, {}, {}};  // size and layout only
  const int bpp = BitsOf(img.Layout);
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    palette = Palette.empty() ? DefaultPalette(bpp) : Palette;
    if (palette.size() > (size_t{1} << bpp)) palette.resize(size_t{1} << bpp);
  }
  const bool fields = img.Layout == TBmpLayout::bl565;
  const uint64_t stride = bmp::Stride(img.Width, bpp);
  const uint64_t offBits =
      kBmpFileHeaderSize + kBmpInfoHeaderSize + (fields ? 12 : 0) + 4 * palette.size();
  const uint64_t fileSize = offBits + stride * uint64_t(img.Height);
  if (fileSize > UINT32_MAX) throw ERangeError("Bitmap too large for a BMP file");

  std::vector<uint8_t> out(fileSize, 0);
  uint8_t* p = out.data();
  p[0] = 'B';
  p[1] = 'M';
  bmp::Wr32(p + 2, uint32_t(fileSize));
  bmp::Wr32(p + 10, uint32_t(offBits));
  uint8_t* h = p + kBmpFileHeaderSize;
  bmp::Wr32(h, kBmpInfoHeaderSize);
  bmp::Wr32(h + 4, uint32_t(img.Width));
  bmp::Wr32(h + 8, uint32_t(img.Height));
  bmp::Wr16(h + 12, 1);
  bmp::Wr16(h + 14, uint32_t(bpp));
  bmp::Wr32(h + 16, fields ? bmp::kBitFields : bmp::kRgb);
  bmp::Wr32(h + 20, uint32_t(stride * uint64_t(img.Height)));
  bmp::Wr32(h + 24, 3780);  // 96 dots per inch, in pixels per metre
  bmp::Wr32(h + 28, 3780);
  bmp::Wr32(h + 32, uint32_t(palette.size()));
  uint8_t* t = h + kBmpInfoHeaderSize;
  if (fields) {
    bmp::Wr32(t, 0xF800);
    bmp::Wr32(t + 4, 0x07E0);
    bmp::Wr32(t + 8, 0x001F);
    t += 12;
  }
  for (uint32_t c : palette) {
    bmp::Wr32(t, c & 0xFFFFFF);
    t += 4;
  }
  IndexMapper mapper(palette);
  for (int y = 0; y < img.Height; ++y) {
    uint8_t* row = p + offBits + stride * uint64_t(img.Height - 1 - y);
    EncodeRow(img.Layout, Pixels + int64_t{y} * img.Width, img.Width, row, &mapper);
  }
  return out;
}

}  // namespace marovia
