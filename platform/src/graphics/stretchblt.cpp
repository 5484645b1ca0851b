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
//     vertically.
// No divisions, virtual calls or bounds checks per pixel.
#include "marovia/platform/stretchblt.h"

// The channel loops below are written to be vectorised; GCC does so at -O2
// only for trivially cheap loops, so ask for its full vectoriser here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("tree-vectorize", "vect-cost-model=dynamic")
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "marovia/platform/graphics.h"
#include "raster.h"

namespace marovia {

namespace {

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

// Horizontally filtered source row: 3 channels per destination pixel, each
// the channel value times 256.
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
    out[3 * k] = static_cast<uint16_t>((r + 32) >> (kWeightBits - 8));
    out[3 * k + 1] = static_cast<uint16_t>((g + 32) >> (kWeightBits - 8));
    out[3 * k + 2] = static_cast<uint16_t>((b + 32) >> (kWeightBits - 8));
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
      out[3 * k] = static_cast<uint16_t>(r >> (kWeightBits - 8));
      out[3 * k + 1] = static_cast<uint16_t>(g >> (kWeightBits - 8));
      out[3 * k + 2] = static_cast<uint16_t>(b >> (kWeightBits - 8));
    }
  }
  void Filter(const uint32_t* src, uint16_t* out) const {
    switch (taps) {
      case 1:
        FilterN<1>(src, out);
        break;
      case 2:
        FilterN<2>(src, out);
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
    for (size_t k = 0; k < n; ++k) {
      uint32_t x = srcCopy ? v[k] : ApplyRop3(rop, pattern, v[k], d[k]);
      d[k] = identity ? x : dst.Quantize(x);
    }
  }
};

}  // namespace

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

  // Normalise negative extents: a run of -N pixels from X covers X, X-1,
  // ..., X-N+1, and a sign difference between source and destination
  // mirrors that axis.
  int64_t dx = DX, dy = DY, dw = DW, dh = DH, sx = SX, sy = SY, sw = SW, sh = SH;
  bool flipX = false, flipY = false;
  if (dw < 0) {
    dx += dw + 1;
    dw = -dw;
    flipX = !flipX;
  }
  if (sw < 0) {
    sx += sw + 1;
    sw = -sw;
    flipX = !flipX;
  }
  if (dh < 0) {
    dy += dh + 1;
    dh = -dh;
    flipY = !flipY;
  }
  if (sh < 0) {
    sy += sh + 1;
    sh = -sh;
    flipY = !flipY;
  }

  const TRect clip = Dest.ClipRect();
  const TRect srcClip = src ? TRect{0, 0, src->Width(), src->Height()} : TRect{};
  if (!needsSource) {
    // Operations of pattern and destination only: no source mapping.
    const uint32_t pat = ColorToPixel(Dest.Brush().Color());
    const bool identity = StoresWordsAsGiven(dst->PixelFormat());
    const int64_t x0 = std::max<int64_t>(dx, clip.Left),
                  x1 = std::min<int64_t>(dx + dw, clip.Right);
    const int64_t y0 = std::max<int64_t>(dy, clip.Top),
                  y1 = std::min<int64_t>(dy + dh, clip.Bottom);
    for (int64_t y = y0; y < y1; ++y) {
      uint32_t* row = dst->ScanLine(static_cast<int>(y));
      for (int64_t x = x0; x < x1; ++x) {
        const uint32_t v = ApplyRop3(rop, pat, 0, row[x]);
        row[x] = identity ? v : dst->Quantize(v);
      }
    }
    return true;
  }

  // A copy within one surface reads from a snapshot of the source area.
  TBitmap snapshot;
  if (src == dst) {
    const TRect area =
        Intersect(srcClip, TRect{static_cast<int32_t>(std::clamp<int64_t>(sx, 0, srcClip.Right)),
                                 static_cast<int32_t>(std::clamp<int64_t>(sy, 0, srcClip.Bottom)),
                                 static_cast<int32_t>(std::min<int64_t>(sx + sw, srcClip.Right)),
                                 static_cast<int32_t>(std::min<int64_t>(sy + sh, srcClip.Bottom))});
    if (IsEmpty(area)) return true;
    // Keep the coordinates: the snapshot is as large as needed to hold the
    // area at its place, with everything outside it unused.
    snapshot.SetSize(area.Right, area.Bottom);
    for (int y = area.Top; y < area.Bottom; ++y)
      std::memcpy(snapshot.ScanLine(y) + area.Left, src->ScanLine(y) + area.Left,
                  static_cast<size_t>(area.Width()) * 4);
    src = &snapshot;
  }

  const Axis ax{dx, dw, sx, sw, flipX, src->Width()};
  const Axis ay{dy, dh, sy, sh, flipY, src->Height()};
  int64_t cx0, cx1, cy0, cy1;
  ValidRange(ax, clip.Left, clip.Right, cx0, cx1);
  ValidRange(ay, clip.Top, clip.Bottom, cy0, cy1);
  if (cx0 >= cx1 || cy0 >= cy1) return true;

  const size_t n = static_cast<size_t>(cx1 - cx0);
  const RowWriter writer{*dst, StoresWordsAsGiven(dst->PixelFormat()), Rop == SRCCOPY, rop,
                         ColorToPixel(Dest.Brush().Color())};
  const bool smooth = Dest.StretchBltMode() == HALFTONE;
  const Taps h = BuildTaps(ax, cx0, cx1, smooth);
  std::vector<uint32_t> line(n);

  if (!smooth || (sw == dw && sh == dh)) {
    // Nearest pixel: gather one source row per destination row; a source
    // row that repeats is gathered once.
    // A one-to-one column mapping (plain copies, as the cached view uses)
    // reads the source row in place.
    bool contiguous = true;
    for (size_t k = 1; k < n && contiguous; ++k)
      contiguous = h.first[k] == h.first[0] + static_cast<int32_t>(k);
    int64_t lastRow = -1;
    for (int64_t i = cy0; i < cy1; ++i) {
      const int64_t sr = ay.Nearest(i);
      if (contiguous) {
        writer.Put(dst->ScanLine(static_cast<int>(dy + i)) + dx + cx0,
                   src->ScanLine(static_cast<int>(sr)) + h.first[0], n);
        continue;
      }
      if (sr != lastRow) {
        const uint32_t* s = src->ScanLine(static_cast<int>(sr));
        for (size_t k = 0; k < n; ++k) line[k] = s[h.first[k]];
        lastRow = sr;
      }
      writer.Put(dst->ScanLine(static_cast<int>(dy + i)) + dx + cx0, line.data(), n);
    }
    return true;
  }

  const Taps v = BuildTaps(ay, cy0, cy1, true);
  FixedTaps fixed;
  const bool fixedTaps = fixed.Build(h);
  // Cache of horizontally filtered rows, enough for the widest vertical
  // footprint plus the next row.
  int32_t maxTaps = 1;
  for (int32_t c : v.count) maxTaps = std::max(maxTaps, c);
  const size_t slots = static_cast<size_t>(maxTaps) + 2;
  std::vector<std::vector<uint16_t>> cache(slots, std::vector<uint16_t>(3 * n));
  std::vector<int64_t> cachedRow(slots, -1);
  size_t nextSlot = 0;
  auto filtered = [&](int64_t row) -> const uint16_t* {
    for (size_t q = 0; q < slots; ++q)
      if (cachedRow[q] == row) return cache[q].data();
    const size_t q = nextSlot;
    nextSlot = (nextSlot + 1) % slots;
    if (fixedTaps)
      fixed.Filter(src->ScanLine(static_cast<int>(row)), cache[q].data());
    else
      FilterRow(src->ScanLine(static_cast<int>(row)), h, cache[q].data());
    cachedRow[q] = row;
    return cache[q].data();
  };
  std::vector<uint32_t> acc(3 * n);
  std::vector<uint8_t> ch(3 * n);
  constexpr int shift = kWeightBits + 8;
  constexpr uint32_t half = 1u << (shift - 1);
  for (int64_t i = cy0; i < cy1; ++i) {
    const size_t k = static_cast<size_t>(i - cy0);
    const int32_t first = v.first[k], count = v.count[k];
    const uint16_t* w = v.weight.data() + v.offset[k];
    // Channels of the row first (loops the compiler can vectorise), packed
    // into pixels after.
    uint8_t* __restrict out = ch.data();
    const size_t m = 3 * n;
    if (count == 1) {
      const uint16_t* __restrict f = filtered(first);
      for (size_t c = 0; c < m; ++c) out[c] = static_cast<uint8_t>((f[c] + 128u) >> 8);
    } else if (count == 2) {
      const uint16_t* __restrict f0 = filtered(first);
      const uint16_t* __restrict f1 = filtered(first + 1);
      const uint32_t w0 = w[0], w1 = w[1];
      for (size_t c = 0; c < m; ++c)
        out[c] = static_cast<uint8_t>((f0[c] * w0 + f1[c] * w1 + half) >> shift);
    } else {
      uint32_t* __restrict a = acc.data();
      std::fill(a, a + m, half);
      for (int32_t q = 0; q < count; ++q) {
        const uint16_t* __restrict f = filtered(first + q);
        const uint32_t wq = w[q];
        for (size_t c = 0; c < m; ++c) a[c] += f[c] * wq;
      }
      for (size_t c = 0; c < m; ++c) out[c] = static_cast<uint8_t>(a[c] >> shift);
    }
    uint32_t* __restrict px = line.data();
    for (size_t c = 0; c < n; ++c)
      px[c] = static_cast<uint32_t>(out[3 * c]) << 16 | static_cast<uint32_t>(out[3 * c + 1]) << 8 |
              out[3 * c + 2];
    writer.Put(dst->ScanLine(static_cast<int>(dy + i)) + dx + cx0, line.data(), n);
  }
  return true;
}

}  // namespace marovia
