// Scaled copies between canvases (StretchBlt), the renderer's hot path.
//
// The work is split into tables computed once per call and tight row loops:
//   - the destination pixels that receive anything form one rectangle (the
//     pixels whose centre maps into the source surface, within the
//     destination clip), found by solving the mapping per axis;
//   - COLORONCOLOR: a source column per destination column and a source row
//     per destination row; rows repeated by enlargement are copied;
//   - HALFTONE: per axis a list of source taps with 14-bit fixed-point
//     weights (box filter when shrinking, linear when enlarging); rows are
//     filtered horizontally once into a small cache and then combined
//     vertically. The row loops of that pass run vectorised
//     (stretch_kernels.cpp) for filters of up to kMaxVectorTaps taps.
// No divisions, virtual calls or bounds checks per pixel.
#include "marovia/platform/stretchblt.h"

// The channel loops below are written to be vectorised; GCC does so at -O2
// only for trivially cheap loops, so ask for its full vectoriser here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")
#endif

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "marovia/platform/graphics.h"
#include "raster.h"
#include "stretch_kernels.h"

namespace marovia {

namespace {

std::atomic<bool> gVectorised{true};

constexpr int kWeightBits = 14;
constexpr int kOne = 1 << kWeightBits;

bool StoresWordsAsGiven(TPixelFormat f) {
  return f == pfDevice || f == pf24bit || f == pf32bit || f == pfCustom;
}

// One axis of the mapping: destination index i in [0, DN) of a destination
// run starting at D0 takes the source position S0 + (i + 1/2) * SN / DN
// (mirrored when Flip).
struct Axis {
  int64_t D0, DN, S0, SN;
  bool Flip;
  int64_t SrcLimit;  // source surface extent

  // Source pixel whose area holds the centre of destination index i.
  int64_t Nearest(int64_t i) const {
    if (Flip) i = DN - 1 - i;
    __int128 num = (2 * static_cast<__int128>(i) + 1) * SN;
    return S0 + static_cast<int64_t>(num / (2 * static_cast<__int128>(DN)));
  }
};

// The destination indexes [lo, hi) within [ClipLo, ClipHi) (absolute) whose
// centre maps into the source surface. The mapping is monotone.
void ValidRange(const Axis& a, int64_t ClipLo, int64_t ClipHi, int64_t& lo, int64_t& hi) {
  lo = std::max<int64_t>(0, ClipLo - a.D0);
  hi = std::min<int64_t>(a.DN, ClipHi - a.D0);
  if (lo >= hi) {
    hi = lo;
    return;
  }
  auto inside = [&](int64_t i) {
    int64_t s = a.Nearest(i);
    return s >= 0 && s < a.SrcLimit;
  };
  // Nearest is nondecreasing in i (nonincreasing when flipped); the valid
  // set is one run. Find it by bisection around any valid index.
  auto before = [&](int64_t i) {  // true when index i lies past the start of the valid run
    int64_t s = a.Nearest(i);
    return a.Flip ? s < a.SrcLimit : s >= 0;
  };
  auto after = [&](int64_t i) {  // true when index i lies past the end of the valid run
    int64_t s = a.Nearest(i);
    return a.Flip ? s < 0 : s >= a.SrcLimit;
  };
  int64_t first = LowerBound(lo, hi, before);
  int64_t last = LowerBound(first, hi, after);
  lo = first;
  hi = last;
  if (lo < hi && !inside(lo)) hi = lo;
}

// Fixed-point taps of one axis for destination indexes [lo, hi).
struct Taps {
  std::vector<int32_t> first;   // first source index per destination index
  std::vector<int32_t> count;   // number of taps
  std::vector<int32_t> offset;  // index into weight
  std::vector<uint16_t> weight;
};

Taps BuildTaps(const Axis& a, int64_t lo, int64_t hi, bool smooth) {
  Taps t;
  const int64_t n = hi - lo;
  t.first.resize(n);
  t.count.resize(n);
  t.offset.resize(n);
  // Source indexes usable for smoothing: the source rectangle within the
  // surface.
  const int64_t sMin = std::max<int64_t>(0, a.S0),
                sMax = std::min<int64_t>(a.SrcLimit, a.S0 + a.SN) - 1;
  const double scale = static_cast<double>(a.SN) / static_cast<double>(a.DN);
  for (int64_t k = 0; k < n; ++k) {
    const int64_t i = lo + k;
    t.offset[k] = static_cast<int32_t>(t.weight.size());
    if (!smooth || a.SN == a.DN || sMin > sMax) {
      t.first[k] = static_cast<int32_t>(a.Nearest(i));
      t.count[k] = 1;
      t.weight.push_back(kOne);
      continue;
    }
    const int64_t j = a.Flip ? a.DN - 1 - i : i;
    std::vector<double> w;
    int64_t s0;
    if (a.SN > a.DN) {
      // Shrinking: average of the source area the pixel covers.
      const double u0 = a.S0 + j * scale, u1 = a.S0 + (j + 1) * scale;
      s0 = std::max<int64_t>(static_cast<int64_t>(std::floor(u0)), sMin);
      const int64_t s1 = std::min<int64_t>(static_cast<int64_t>(std::ceil(u1)) - 1, sMax);
      for (int64_t s = s0; s <= s1; ++s)
        w.push_back(std::min<double>(u1, s + 1) - std::max<double>(u0, s));
    } else {
      // Enlarging: linear between the two nearest source centres.
      const double u = a.S0 + (j + 0.5) * scale - 0.5;
      int64_t f = static_cast<int64_t>(std::floor(u));
      double frac = u - f;
      if (f < sMin) {
        f = sMin;
        frac = 0;
      }
      if (f >= sMax) {
        f = sMax;
        frac = 0;
      }
      s0 = f;
      w.push_back(1 - frac);
      if (frac > 0) w.push_back(frac);
    }
    double total = 0;
    for (double x : w) total += x;
    if (w.empty() || total <= 0) {
      t.first[k] = static_cast<int32_t>(std::clamp<int64_t>(a.Nearest(i), sMin, sMax));
      t.count[k] = 1;
      t.weight.push_back(kOne);
      continue;
    }
    // Quantise the running sum, not each weight: the weights then add up
    // to exactly kOne and none can go negative, however many there are.
    double run = 0;
    int prev = 0;
    for (double x : w) {
      run += x;
      const int upTo = static_cast<int>(std::lround(run / total * kOne));
      t.weight.push_back(static_cast<uint16_t>(upTo - prev));
      prev = upTo;
    }
    t.first[k] = static_cast<int32_t>(s0);
    t.count[k] = static_cast<int32_t>(w.size());
  }
  return t;
}

// Filtered rows hold four 16-bit lanes per destination pixel, in the byte
// order of a pixel word in memory (blue, green, red, unused), each lane the
// channel value times 256. The vertical pass then yields the bytes of the
// pixel words directly, with no packing step.
static_assert(std::endian::native == std::endian::little,
              "pixel words are read as bytes blue, green, red, unused");
constexpr size_t kLanes = 4;

// Horizontally filtered source row, any number of taps per pixel.
void FilterRow(const uint32_t* src, const Taps& h, uint16_t* out) {
  const size_t n = h.first.size();
  for (size_t k = 0; k < n; ++k) {
    const uint32_t* p = src + h.first[k];
    const uint16_t* w = h.weight.data() + h.offset[k];
    uint32_t r = 0, g = 0, b = 0;
    for (int32_t q = 0; q < h.count[k]; ++q) {
      const uint32_t v = p[q], wq = w[q];
      r += ((v >> 16) & 0xFF) * wq;
      g += ((v >> 8) & 0xFF) * wq;
      b += (v & 0xFF) * wq;
    }
    out[kLanes * k] = static_cast<uint16_t>((b + 32) >> (kWeightBits - 8));
    out[kLanes * k + 1] = static_cast<uint16_t>((g + 32) >> (kWeightBits - 8));
    out[kLanes * k + 2] = static_cast<uint16_t>((r + 32) >> (kWeightBits - 8));
    out[kLanes * k + 3] = 0;
  }
}

// The same for axes of at most four taps per pixel (all view scales from
// one quarter up): every pixel gets the same number of taps, padded with
// zero weights, so the tap loop unrolls completely.
struct FixedTaps {
  int taps = 0;
  std::vector<int32_t> index;  // taps entries per pixel
  std::vector<uint32_t> weight;
  bool Build(const Taps& h) {
    const size_t n = h.first.size();
    int most = 1;
    for (size_t k = 0; k < n; ++k) most = std::max(most, static_cast<int>(h.count[k]));
    if (most > 4) return false;
    taps = most;
    index.assign(n * taps, 0);
    weight.assign(n * taps, 0);
    for (size_t k = 0; k < n; ++k)
      for (int q = 0; q < taps; ++q) {
        const bool real = q < h.count[k];
        index[k * taps + q] = h.first[k] + (real ? q : 0);
        weight[k * taps + q] = real ? h.weight[h.offset[k] + q] : 0;
      }
    return true;
  }
  template <int N>
  void FilterN(const uint32_t* __restrict src, uint16_t* __restrict out) const {
    const size_t n = index.size() / N;
    const int32_t* __restrict ix = index.data();
    const uint32_t* __restrict wt = weight.data();
    for (size_t k = 0; k < n; ++k) {
      uint32_t r = 32, g = 32, b = 32;
      for (int q = 0; q < N; ++q) {
        const uint32_t v = src[ix[k * N + q]], w = wt[k * N + q];
        r += ((v >> 16) & 0xFF) * w;
        g += ((v >> 8) & 0xFF) * w;
        b += (v & 0xFF) * w;
      }
      out[kLanes * k] = static_cast<uint16_t>(b >> (kWeightBits - 8));
      out[kLanes * k + 1] = static_cast<uint16_t>(g >> (kWeightBits - 8));
      out[kLanes * k + 2] = static_cast<uint16_t>(r >> (kWeightBits - 8));
      out[kLanes * k + 3] = 0;
    }
  }
#if defined(__SSE2__)
  // Two taps (every enlargement, and shrinking to 2/3 and more) with SSE2:
  // the two source pixels' bytes are interleaved (b0 b1 g0 g1 r0 r1 x0 x1),
  // widened to 16 bits, and one multiply-add per pixel forms all channel
  // sums p0 * w0 + p1 * w1 at once, exactly as the scalar loop does.
  void Filter2(const uint32_t* __restrict src, uint16_t* __restrict out) const {
    const size_t n = index.size() / 2;
    const __m128i zero = _mm_setzero_si128();
    const __m128i round = _mm_set1_epi32(32);
    const __m128i bias32 = _mm_set1_epi32(32768);
    const __m128i bias16 = _mm_set1_epi16(static_cast<int16_t>(-32768));
    auto pixel = [&](size_t k) {
      const __m128i p0 = _mm_cvtsi32_si128(static_cast<int>(src[index[2 * k]]));
      const __m128i p1 = _mm_cvtsi32_si128(static_cast<int>(src[index[2 * k + 1]]));
      const __m128i pairs = _mm_unpacklo_epi8(_mm_unpacklo_epi8(p0, p1), zero);
      const __m128i w = _mm_set1_epi32(static_cast<int>(weight[2 * k] | weight[2 * k + 1] << 16));
      // Lanes blue, green, red, 0: channel * 2^14 sums, then times 256.
      const __m128i sum =
          _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, w), round), kWeightBits - 8);
      // To 16 bits without signed saturation: shift into the signed range.
      return _mm_sub_epi32(sum, bias32);
    };
    size_t k = 0;
    for (; k + 1 < n; k += 2) {
      const __m128i two = _mm_add_epi16(_mm_packs_epi32(pixel(k), pixel(k + 1)), bias16);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kLanes * k), two);
    }
    if (k < n) {
      const __m128i one = _mm_add_epi16(_mm_packs_epi32(pixel(k), zero), bias16);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + kLanes * k), one);
    }
  }
#endif
  void Filter(const uint32_t* src, uint16_t* out) const {
    switch (taps) {
      case 1:
        FilterN<1>(src, out);
        break;
      case 2:
#if defined(__SSE2__)
        Filter2(src, out);
#else
        FilterN<2>(src, out);
#endif
        break;
      case 3:
        FilterN<3>(src, out);
        break;
      default:
        FilterN<4>(src, out);
        break;
    }
  }
};

// Stores computed words into a destination row with the raster operation
// and the destination's format.
struct RowWriter {
  TBitmap& dst;
  bool identity;
  bool srcCopy;
  uint8_t rop;
  uint32_t pattern;
  void Put(uint32_t* d, const uint32_t* v, size_t n) const {
    if (srcCopy && identity) {
      std::memcpy(d, v, n * 4);
      return;
    }
    if (srcCopy) {
      StoreQuantized(dst, d, v, n);
      return;
    }
    for (size_t k = 0; k < n; ++k) {
      uint32_t x = ApplyRop3(rop, pattern, v[k], d[k]);
      d[k] = identity ? x : dst.Quantize(x);
    }
  }
};

// The copy after its extents are normalised: positive widths and heights,
// with a flag per axis for mirroring.
struct CopyGeometry {
  int64_t dx, dy, dw, dh, sx, sy, sw, sh;
  bool flipX = false, flipY = false;
};

// A run of -N pixels from X covers X, X-1, ..., X-N+1, and a sign
// difference between source and destination mirrors that axis.
CopyGeometry Normalise(int64_t DX, int64_t DY, int64_t DW, int64_t DH, int64_t SX, int64_t SY,
                       int64_t SW, int64_t SH) {
  CopyGeometry g{DX, DY, DW, DH, SX, SY, SW, SH};
  auto fold = [](int64_t& pos, int64_t& ext, bool& flip) {
    if (ext < 0) {
      pos += ext + 1;
      ext = -ext;
      flip = !flip;
    }
  };
  fold(g.dx, g.dw, g.flipX);
  fold(g.sx, g.sw, g.flipX);
  fold(g.dy, g.dh, g.flipY);
  fold(g.sy, g.sh, g.flipY);
  return g;
}

// Operations of pattern and destination only: no source mapping.
void FillWithoutSource(TCanvas& Dest, uint8_t Rop, const CopyGeometry& G) {
  TBitmap* dst = Dest.Surface();
  const TRect clip = Dest.ClipRect();
  const uint32_t pat = ColorToPixel(Dest.Brush().Color());
  const bool identity = StoresWordsAsGiven(dst->PixelFormat());
  const int64_t x0 = std::max<int64_t>(G.dx, clip.Left),
                x1 = std::min<int64_t>(G.dx + G.dw, clip.Right);
  const int64_t y0 = std::max<int64_t>(G.dy, clip.Top),
                y1 = std::min<int64_t>(G.dy + G.dh, clip.Bottom);
  for (int64_t y = y0; y < y1; ++y) {
    uint32_t* row = dst->ScanLine(static_cast<int>(y));
    for (int64_t x = x0; x < x1; ++x) {
      const uint32_t v = ApplyRop3(Rop, pat, 0, row[x]);
      row[x] = identity ? v : dst->Quantize(v);
    }
  }
}

// A copy within one surface reads from a snapshot of the source area,
// kept at its place (the snapshot is as large as needed to hold the area
// where it is, with everything outside it unused). False when the source
// area lies outside the surface.
bool TakeSnapshot(const TBitmap& Src, const CopyGeometry& G, TBitmap& Snapshot) {
  const TRect srcClip{0, 0, Src.Width(), Src.Height()};
  const TRect area = Intersect(
      srcClip, TRect{static_cast<int32_t>(std::clamp<int64_t>(G.sx, 0, srcClip.Right)),
                     static_cast<int32_t>(std::clamp<int64_t>(G.sy, 0, srcClip.Bottom)),
                     static_cast<int32_t>(std::min<int64_t>(G.sx + G.sw, srcClip.Right)),
                     static_cast<int32_t>(std::min<int64_t>(G.sy + G.sh, srcClip.Bottom))});
  if (IsEmpty(area)) return false;
  Snapshot.SetSize(area.Right, area.Bottom);
  for (int y = area.Top; y < area.Bottom; ++y)
    std::memcpy(Snapshot.ScanLine(y) + area.Left, Src.ScanLine(y) + area.Left,
                static_cast<size_t>(area.Width()) * 4);
  return true;
}

// The destination rectangle that receives pixels: columns [X0, X1) and rows
// [Y0, Y1) relative to the destination run's origin.
struct Visible {
  int64_t X0, X1, Y0, Y1;
};

// One source pixel per destination pixel: COLORONCOLOR, or a smoothed copy
// at 1:1. One source row is gathered per destination row, and a source row
// that repeats is gathered once; a one-to-one column mapping (plain copies,
// as the cached view uses) reads the source row in place.
void CopyNearest(const TBitmap& Src, TBitmap& Dst, const CopyGeometry& G, const Axis& AY,
                 const Visible& V, const Taps& H, const RowWriter& Writer) {
  const size_t n = static_cast<size_t>(V.X1 - V.X0);
  bool contiguous = true;
  for (size_t k = 1; k < n && contiguous; ++k)
    contiguous = H.first[k] == H.first[0] + static_cast<int32_t>(k);
  std::vector<uint32_t> line(contiguous ? 0 : n);
  int64_t lastRow = -1;
  for (int64_t i = V.Y0; i < V.Y1; ++i) {
    const int64_t sr = AY.Nearest(i);
    uint32_t* out = Dst.ScanLine(static_cast<int>(G.dy + i)) + G.dx + V.X0;
    if (contiguous) {
      Writer.Put(out, Src.ScanLine(static_cast<int>(sr)) + H.first[0], n);
      continue;
    }
    if (sr != lastRow) {
      const uint32_t* s = Src.ScanLine(static_cast<int>(sr));
      for (size_t k = 0; k < n; ++k) line[k] = s[H.first[k]];
      lastRow = sr;
    }
    Writer.Put(out, line.data(), n);
  }
}

// Horizontally filtered source rows, kept for the rows the vertical taps
// still need: a small ring of slots, enough for the widest vertical
// footprint plus the next row.
class FilteredRows {
 public:
  FilteredRows(const TBitmap& Src, const Taps& H, size_t Pixels, int32_t MaxVerticalTaps)
      : src_(Src), h_(H), slots_(static_cast<size_t>(MaxVerticalTaps) + 2) {
    fixedTaps_ = fixed_.Build(H);
    cache_.assign(slots_, std::vector<uint16_t>(kLanes * Pixels));
    cachedRow_.assign(slots_, -1);
  }
  const uint16_t* Get(int64_t Row) {
    for (size_t q = 0; q < slots_; ++q)
      if (cachedRow_[q] == Row) return cache_[q].data();
    const size_t q = next_;
    next_ = (next_ + 1) % slots_;
    const uint32_t* row = src_.ScanLine(static_cast<int>(Row));
    if (fixedTaps_)
      fixed_.Filter(row, cache_[q].data());
    else
      FilterRow(row, h_, cache_[q].data());
    cachedRow_[q] = Row;
    return cache_[q].data();
  }

 private:
  const TBitmap& src_;
  const Taps& h_;
  FixedTaps fixed_;
  bool fixedTaps_ = false;
  size_t slots_;
  std::vector<std::vector<uint16_t>> cache_;
  std::vector<int64_t> cachedRow_;
  size_t next_ = 0;
};

constexpr int kCombineShift = kWeightBits + 8;
constexpr uint32_t kCombineHalf = 1u << (kCombineShift - 1);

// One destination row from Count filtered source rows with vertical weights
// W; Out receives M lanes, which are the bytes of the row's pixel words.
void CombineRows(FilteredRows& Rows, int32_t First, int32_t Count, const uint16_t* W, size_t M,
                 std::vector<uint32_t>& Acc, uint8_t* __restrict Out) {
  if (Count == 1) {
    const uint16_t* __restrict f = Rows.Get(First);
    for (size_t c = 0; c < M; ++c) Out[c] = static_cast<uint8_t>((f[c] + 128u) >> 8);
    return;
  }
  if (Count == 2) {
    const uint16_t* __restrict f0 = Rows.Get(First);
    const uint16_t* __restrict f1 = Rows.Get(First + 1);
    const uint32_t w0 = W[0], w1 = W[1];
    for (size_t c = 0; c < M; ++c)
      Out[c] = static_cast<uint8_t>((f0[c] * w0 + f1[c] * w1 + kCombineHalf) >> kCombineShift);
    return;
  }
  uint32_t* __restrict a = Acc.data();
  std::fill(a, a + M, kCombineHalf);
  for (int32_t q = 0; q < Count; ++q) {
    const uint16_t* __restrict f = Rows.Get(First + q);
    const uint32_t wq = W[q];
    for (size_t c = 0; c < M; ++c) a[c] += f[c] * wq;
  }
  for (size_t c = 0; c < M; ++c) Out[c] = static_cast<uint8_t>(a[c] >> kCombineShift);
}

// Widest filter (taps per pixel, per axis) the vector loops take: every
// scale from 1/15 up. Narrower scales are for caches and go the portable way.
constexpr int32_t kMaxVectorTaps = 16;

int32_t MostTaps(const Taps& T) {
  int32_t most = 1;
  for (int32_t c : T.count) most = std::max(most, c);
  return most;
}

// The horizontal taps as the vector loop reads them: tap-major, every pixel
// with the same number of taps (zero weights pad), the pixel count padded.
struct TapTable {
  int taps = 0;
  size_t pixels = 0;  // padded
  std::vector<int32_t> index;
  std::vector<uint32_t> weight;
  // Up to four taps: the first source column and the weights in pairs.
  std::vector<int32_t> first;
  std::vector<int16_t> pairs;
  TapTable(const Taps& H, int32_t Most) : taps(Most) {
    const size_t n = H.first.size();
    pixels = (n + stretch::kPixelPad - 1) / stretch::kPixelPad * stretch::kPixelPad;
    if (taps <= 4) {
      first.assign(pixels, 0);
      pairs.assign(pixels * 16, 0);
      for (size_t k = 0; k < n; ++k) {
        first[k] = H.first[k];
        for (int q = 0; q < H.count[k]; ++q)
          for (int c = 0; c < 4; ++c)
            pairs[16 * k + 8 * static_cast<size_t>(q / 2) + 2 * static_cast<size_t>(c) +
                  static_cast<size_t>(q % 2)] = static_cast<int16_t>(H.weight[H.offset[k] + q]);
      }
      return;
    }
    index.assign(pixels * static_cast<size_t>(taps), 0);
    weight.assign(pixels * static_cast<size_t>(taps), 0);
    for (size_t k = 0; k < n; ++k)
      for (int q = 0; q < taps && q < H.count[k]; ++q) {
        index[static_cast<size_t>(q) * pixels + k] = H.first[k] + q;
        weight[static_cast<size_t>(q) * pixels + k] = H.weight[H.offset[k] + q];
      }
  }
  void Filter(const uint32_t* Src, int64_t SrcW, uint32_t* Out) const {
    if (taps <= 4)
      stretch::FilterRowQuad(Src, SrcW, first.data(), pairs.data(), taps > 2, pixels, Out);
    else
      stretch::FilterRowTaps(Src, index.data(), weight.data(), taps, pixels, Out);
  }
};

// The vector form of CopySmoothed below: filtered rows as two words per
// pixel in a ring of slots, combined vertically straight into pixel words.
void CopySmoothedVector(const TBitmap& Src, TBitmap& Dst, const CopyGeometry& G, const Visible& V,
                        const Taps& H, const Taps& VT, int32_t MostH, int32_t MostV,
                        const RowWriter& Writer) {
  const size_t n = static_cast<size_t>(V.X1 - V.X0);
  const TapTable table(H, MostH);
  const size_t slots = static_cast<size_t>(MostV) + 2;
  std::vector<std::vector<uint32_t>> cache(slots, std::vector<uint32_t>(2 * table.pixels));
  std::vector<int64_t> cachedRow(slots, -1);
  size_t next = 0;
  auto row = [&](int64_t Row) -> const uint32_t* {
    for (size_t q = 0; q < slots; ++q)
      if (cachedRow[q] == Row) return cache[q].data();
    const size_t q = next;
    next = (next + 1) % slots;
    table.Filter(Src.ScanLine(static_cast<int>(Row)), Src.Width(), cache[q].data());
    cachedRow[q] = Row;
    return cache[q].data();
  };
  std::vector<const uint32_t*> rows(static_cast<size_t>(MostV));
  std::vector<uint32_t> line(table.pixels);
  for (int64_t i = V.Y0; i < V.Y1; ++i) {
    const size_t k = static_cast<size_t>(i - V.Y0);
    for (int32_t q = 0; q < VT.count[k]; ++q) rows[static_cast<size_t>(q)] = row(VT.first[k] + q);
    stretch::CombineRowWords(rows.data(), VT.weight.data() + VT.offset[k], VT.count[k],
                             table.pixels, line.data());
    Writer.Put(Dst.ScanLine(static_cast<int>(G.dy + i)) + G.dx + V.X0, line.data(), n);
  }
}

// HALFTONE with scaling: rows are filtered horizontally once, then combined
// vertically into pixel words.
void CopySmoothed(const TBitmap& Src, TBitmap& Dst, const CopyGeometry& G, const Axis& AY,
                  const Visible& V, const Taps& H, const RowWriter& Writer) {
  const size_t n = static_cast<size_t>(V.X1 - V.X0);
  const Taps vt = BuildTaps(AY, V.Y0, V.Y1, true);
  const int32_t maxTaps = MostTaps(vt);
  const int32_t mostH = MostTaps(H);
  if (gVectorised.load(std::memory_order_relaxed) && mostH <= kMaxVectorTaps &&
      maxTaps <= kMaxVectorTaps) {
    CopySmoothedVector(Src, Dst, G, V, H, vt, mostH, maxTaps, Writer);
    return;
  }
  FilteredRows rows(Src, H, n, maxTaps);
  std::vector<uint32_t> acc(kLanes * n);
  std::vector<uint32_t> line(n);
  // Written as bytes (a character type may alias the words), read as words.
  uint8_t* bytes = reinterpret_cast<uint8_t*>(line.data());
  for (int64_t i = V.Y0; i < V.Y1; ++i) {
    const size_t k = static_cast<size_t>(i - V.Y0);
    CombineRows(rows, vt.first[k], vt.count[k], vt.weight.data() + vt.offset[k], kLanes * n, acc,
                bytes);
    Writer.Put(Dst.ScanLine(static_cast<int>(G.dy + i)) + G.dx + V.X0, line.data(), n);
  }
}

}  // namespace

void SetStretchBltVectorised(bool On) {
  gVectorised.store(On, std::memory_order_relaxed);
}

bool StretchBltVectorised() {
  return gVectorised.load(std::memory_order_relaxed);
}

int SetStretchBltMode(TCanvas& Canvas, int Mode) {
  if (Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  const int old = Canvas.StretchBltMode();
  Canvas.SetStretchBltMode(Mode);
  return old;
}

int GetStretchBltMode(const TCanvas& Canvas) {
  return Canvas.StretchBltMode();
}

bool StretchBlt(TCanvas& Dest, int DX, int DY, int DW, int DH, const TCanvas& Src, int SX, int SY,
                int SW, int SH, uint32_t Rop) {
  return StretchBltWide(Dest, DX, DY, DW, DH, Src, SX, SY, SW, SH, Rop);
}

bool StretchBltWide(TCanvas& Dest, int64_t DX, int64_t DY, int64_t DW, int64_t DH,
                    const TCanvas& Src, int64_t SX, int64_t SY, int64_t SW, int64_t SH,
                    uint32_t Rop) {
  TBitmap* dst = Dest.Surface();
  const TBitmap* src = Src.Surface();
  if (!dst || DW == 0 || DH == 0) return false;
  const uint8_t rop = static_cast<uint8_t>((Rop >> 16) & 0xFF);
  const bool needsSource = ((rop >> 2) & 0x33) != (rop & 0x33);
  if (needsSource && (!src || SW == 0 || SH == 0)) return false;

  const CopyGeometry g = Normalise(DX, DY, DW, DH, SX, SY, SW, SH);
  if (!needsSource) {
    FillWithoutSource(Dest, rop, g);
    return true;
  }
  TBitmap snapshot;
  if (src == dst) {
    if (!TakeSnapshot(*src, g, snapshot)) return true;
    src = &snapshot;
  }

  const TRect clip = Dest.ClipRect();
  const Axis ax{g.dx, g.dw, g.sx, g.sw, g.flipX, src->Width()};
  const Axis ay{g.dy, g.dh, g.sy, g.sh, g.flipY, src->Height()};
  Visible vis{};
  ValidRange(ax, clip.Left, clip.Right, vis.X0, vis.X1);
  ValidRange(ay, clip.Top, clip.Bottom, vis.Y0, vis.Y1);
  if (vis.X0 >= vis.X1 || vis.Y0 >= vis.Y1) return true;

  const RowWriter writer{*dst, StoresWordsAsGiven(dst->PixelFormat()), Rop == SRCCOPY, rop,
                         ColorToPixel(Dest.Brush().Color())};
  const bool smooth = Dest.StretchBltMode() == HALFTONE;
  const Taps h = BuildTaps(ax, vis.X0, vis.X1, smooth);
  if (!smooth || (g.sw == g.dw && g.sh == g.dh))
    CopyNearest(*src, *dst, g, ay, vis, h, writer);
  else
    CopySmoothed(*src, *dst, g, ay, vis, h, writer);
  return true;
}

}  // namespace marovia
