// The smoothed copy's row loops, compiled once per instruction set and
// dispatched at run time (stretch_kernels.h). All sums are exact integers,
// so every instruction set gives the same pixels.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "stretch_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "stretch_kernels.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::stretch::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void FilterRowTaps(const uint32_t* Src, const int32_t* Index, const uint32_t* Weight, int Taps,
                   std::size_t n, uint32_t* Out) {
  const hn::ScalableTag<uint32_t> d;
  const hn::RebindToSigned<decltype(d)> di;
  const std::size_t lanes = hn::Lanes(d);
  const auto byte = hn::Set(d, 0xFF);
  const auto round = hn::Set(d, 32);
  for (std::size_t k = 0; k < n; k += lanes) {
    auto b = round, g = round, r = round;
    for (int q = 0; q < Taps; ++q) {
      const std::size_t at = static_cast<std::size_t>(q) * n + k;
      const auto v = hn::GatherIndex(d, Src, hn::LoadU(di, Index + at));
      const auto w = hn::LoadU(d, Weight + at);
      b = hn::Add(b, hn::Mul(hn::And(v, byte), w));
      g = hn::Add(g, hn::Mul(hn::And(hn::ShiftRight<8>(v), byte), w));
      r = hn::Add(r, hn::Mul(hn::And(hn::ShiftRight<16>(v), byte), w));
    }
    const auto blueGreen = hn::Or(hn::ShiftRight<6>(b), hn::ShiftLeft<16>(hn::ShiftRight<6>(g)));
    hn::StoreInterleaved2(blueGreen, hn::ShiftRight<6>(r), d, Out + 2 * k);
  }
}

void FilterRowQuad(const uint32_t* Src, int64_t SrcW, const int32_t* First, const int16_t* Weights,
                   bool FourTaps, std::size_t n, uint32_t* Out) {
#if HWY_TARGET == HWY_SCALAR
  // One-lane vectors have no byte shuffles: the same sums, lane by lane.
  uint16_t* out = reinterpret_cast<uint16_t*>(Out);
  for (std::size_t k = 0; k < n; ++k) {
    const int16_t* w = Weights + 16 * k;
    uint32_t sum[3] = {32, 32, 32};
    for (int q = 0; q < (FourTaps ? 4 : 2); ++q) {
      const int64_t s = First[k] + q;
      const uint32_t v = s < SrcW ? Src[s] : 0;
      const uint32_t wq = static_cast<uint16_t>(w[8 * (q / 2) + q % 2]);
      for (int c = 0; c < 3; ++c) sum[c] += ((v >> (8 * c)) & 0xFF) * wq;
    }
    for (int c = 0; c < 3; ++c) out[4 * k + c] = static_cast<uint16_t>(sum[c] >> 6);
    out[4 * k + 3] = 0;
  }
#else
  const hn::Full128<uint8_t> d8;
  const hn::Full128<int16_t> d16;
  const hn::Full128<int32_t> d32;
  const hn::Rebind<uint16_t, decltype(d32)> dOut;
  // Bytes of pixels 0 and 1 (taps 0, 1), then 2 and 3, as 16-bit lanes in
  // the order b0 b1 g0 g1 r0 r1 0 0; the unused byte is never read.
  alignas(16) static constexpr uint8_t kPairA[16] = {0, 0x80, 4, 0x80, 1,    0x80, 5,    0x80,
                                                     2, 0x80, 6, 0x80, 0x80, 0x80, 0x80, 0x80};
  alignas(16) static constexpr uint8_t kPairB[16] = {8,  0x80, 12, 0x80, 9,    0x80, 13,   0x80,
                                                     10, 0x80, 14, 0x80, 0x80, 0x80, 0x80, 0x80};
  const auto pairA = hn::Load(d8, kPairA);
  const auto pairB = hn::Load(d8, kPairB);
  const auto round = hn::Set(d32, 32);
  uint16_t* out = reinterpret_cast<uint16_t*>(Out);
  for (std::size_t k = 0; k < n; ++k) {
    const int64_t first = First[k];
    hn::Vec<decltype(d8)> bytes;
    if (first + 4 <= SrcW) {
      bytes = hn::LoadU(d8, reinterpret_cast<const uint8_t*>(Src + first));
    } else {
      // At the row's end the taps beyond it weigh nothing; read zeros.
      alignas(16) uint32_t edge[4] = {0, 0, 0, 0};
      for (int64_t j = 0; j < 4 && first + j < SrcW; ++j) edge[j] = Src[first + j];
      bytes = hn::Load(d8, reinterpret_cast<const uint8_t*>(edge));
    }
    const int16_t* w = Weights + 16 * k;
    auto odd = hn::Zero(d32);
    auto sum =
        hn::ReorderWidenMulAccumulate(d32, hn::BitCast(d16, hn::TableLookupBytesOr0(bytes, pairA)),
                                      hn::LoadU(d16, w), round, odd);
    if (FourTaps)
      sum = hn::ReorderWidenMulAccumulate(d32,
                                          hn::BitCast(d16, hn::TableLookupBytesOr0(bytes, pairB)),
                                          hn::LoadU(d16, w + 8), sum, odd);
    sum = hn::ShiftRight<6>(hn::RearrangeToOddPlusEven(sum, odd));
    hn::StoreU(hn::DemoteTo(dOut, sum), dOut, out + 4 * k);
  }
#endif
}

void CombineRowWords(const uint32_t* const* Rows, const uint16_t* W, int Count, std::size_t n,
                     uint32_t* Out) {
  const hn::ScalableTag<uint32_t> d;
  const std::size_t lanes = hn::Lanes(d);
  const auto low = hn::Set(d, 0xFFFF);
  const auto half = hn::Set(d, 1u << 21);
  for (std::size_t k = 0; k < n; k += lanes) {
    auto b = half, g = half, r = half;
    for (int q = 0; q < Count; ++q) {
      hn::Vec<decltype(d)> blueGreen, red;
      hn::LoadInterleaved2(d, Rows[q] + 2 * k, blueGreen, red);
      const auto w = hn::Set(d, W[q]);
      b = hn::Add(b, hn::Mul(hn::And(blueGreen, low), w));
      g = hn::Add(g, hn::Mul(hn::ShiftRight<16>(blueGreen), w));
      r = hn::Add(r, hn::Mul(red, w));
    }
    const auto pixel =
        hn::Or(hn::Or(hn::ShiftRight<22>(b), hn::ShiftLeft<8>(hn::ShiftRight<22>(g))),
               hn::ShiftLeft<16>(hn::ShiftRight<22>(r)));
    hn::StoreU(pixel, d, Out + k);
  }
}

}  // namespace marovia::stretch::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace marovia::stretch {

HWY_EXPORT(FilterRowTaps);
HWY_EXPORT(CombineRowWords);
HWY_EXPORT(FilterRowQuad);

void FilterRowQuad(const uint32_t* Src, int64_t SrcW, const int32_t* First, const int16_t* Weights,
                   bool FourTaps, std::size_t n, uint32_t* Out) {
  HWY_DYNAMIC_DISPATCH(FilterRowQuad)(Src, SrcW, First, Weights, FourTaps, n, Out);
}

void FilterRowTaps(const uint32_t* Src, const int32_t* Index, const uint32_t* Weight, int Taps,
                   std::size_t n, uint32_t* Out) {
  HWY_DYNAMIC_DISPATCH(FilterRowTaps)(Src, Index, Weight, Taps, n, Out);
}

void CombineRowWords(const uint32_t* const* Rows, const uint16_t* W, int Count, std::size_t n,
                     uint32_t* Out) {
  HWY_DYNAMIC_DISPATCH(CombineRowWords)(Rows, W, Count, n, Out);
}

}  // namespace marovia::stretch
#endif
