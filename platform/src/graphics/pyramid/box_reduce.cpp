// The 2 x 2 box reduction, compiled once per instruction set and dispatched
// at run time, and the whole-image BoxReduce2x2 on top of it.
//
// The vector path works on channel sums in 16-bit lanes: a pixel's four
// channels widened to 16 bits fill one 64-bit lane, and no sum of four
// channels (at most 1020) carries into the next channel, so two neighbouring
// pixels are added as 64-bit lanes. The result is the scalar rule exactly.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "box_reduce.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <cstddef>

#include "box_reduce.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::pyr::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Output pixels [0, n) from source pixels [0, 2n), all present.
size_t ReduceFullPairs(const uint32_t* Row0, const uint32_t* Row1, size_t n, uint32_t* Dest) {
#if HWY_TARGET == HWY_SCALAR
  (void)Row0, (void)Row1, (void)n, (void)Dest;
  return 0;  // one lane cannot hold a pixel's channels: all scalar
#else
  const hn::ScalableTag<uint16_t> d16;
  const hn::RebindToSigned<decltype(d16)> di16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;
  const hn::Repartition<uint64_t, decltype(d16)> d64;
  const size_t lanes = hn::Lanes(d16);
  if (lanes < 8) return 0;           // too narrow to hold two pixels: all scalar
  const size_t perLoad = lanes / 4;  // pixels per widened vector
  const size_t perStep = perLoad;    // output pixels per step
  const auto bias = hn::Set(d16, uint16_t{2});
  const auto* s0 = reinterpret_cast<const uint8_t*>(Row0);
  const auto* s1 = reinterpret_cast<const uint8_t*>(Row1);
  auto* out = reinterpret_cast<uint8_t*>(Dest);
  size_t x = 0;
  for (; x + perStep <= n; x += perStep) {
    const size_t b = 8 * x;  // byte of source pixel 2x
    const auto lo = hn::Add(hn::PromoteTo(d16, hn::LoadU(d8, s0 + b)),
                            hn::PromoteTo(d16, hn::LoadU(d8, s1 + b)));
    const auto hi = hn::Add(hn::PromoteTo(d16, hn::LoadU(d8, s0 + b + 4 * perLoad)),
                            hn::PromoteTo(d16, hn::LoadU(d8, s1 + b + 4 * perLoad)));
    const auto lo64 = hn::BitCast(d64, lo);
    const auto hi64 = hn::BitCast(d64, hi);
    const auto sum = hn::Add(hn::ConcatEven(d64, hi64, lo64), hn::ConcatOdd(d64, hi64, lo64));
    const auto avg = hn::ShiftRight<2>(hn::Add(hn::BitCast(d16, sum), bias));
    // Every average is below 256: the signed demotion never saturates.
    hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di16, avg)), d8, out + 4 * x);
  }
  return x;
#endif
}

}  // namespace marovia::pyr::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "marovia/platform/image_pyramid.h"

namespace marovia::pyr {

HWY_EXPORT(ReduceFullPairs);

namespace {

inline uint32_t Average4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  uint32_t r = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t s =
        (a >> shift & 0xFF) + (b >> shift & 0xFF) + (c >> shift & 0xFF) + (d >> shift & 0xFF) + 2;
    r |= (s >> 2) << shift;
  }
  return r;
}

// Output pixels [From, ceil(SrcW / 2)).
void ReduceTail(const uint32_t* Row0, const uint32_t* Row1, int SrcW, size_t From, uint32_t* Dest) {
  const size_t outW = static_cast<size_t>(SrcW) / 2 + static_cast<size_t>(SrcW) % 2;
  const size_t last = static_cast<size_t>(SrcW) - 1;
  for (size_t x = From; x < outW; ++x) {
    const size_t a = 2 * x, b = a + 1 <= last ? a + 1 : last;
    Dest[x] = Average4(Row0[a], Row0[b], Row1[a], Row1[b]);
  }
}

}  // namespace

void BoxReduceRowScalar(const uint32_t* Row0, const uint32_t* Row1, int SrcW, uint32_t* Dest) {
  ReduceTail(Row0, Row1, SrcW, 0, Dest);
}

void BoxReduceRow(const uint32_t* Row0, const uint32_t* Row1, int SrcW, uint32_t* Dest) {
  const size_t done =
      HWY_DYNAMIC_DISPATCH(ReduceFullPairs)(Row0, Row1, static_cast<size_t>(SrcW) / 2, Dest);
  ReduceTail(Row0, Row1, SrcW, done, Dest);
}

}  // namespace marovia::pyr

namespace marovia {

void BoxReduce2x2(const uint32_t* Src, int SrcW, int SrcH, ptrdiff_t SrcStride, uint32_t* Dest,
                  ptrdiff_t DestStride) {
  if (SrcW <= 0 || SrcH <= 0) return;
  for (int y = 0; 2 * y < SrcH; ++y) {
    const uint32_t* r0 = Src + 2 * y * SrcStride;
    const uint32_t* r1 = 2 * y + 1 < SrcH ? r0 + SrcStride : r0;
    pyr::BoxReduceRow(r0, r1, SrcW, Dest + y * DestStride);
  }
}

}  // namespace marovia
#endif
