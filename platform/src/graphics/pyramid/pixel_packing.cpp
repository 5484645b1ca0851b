// Packing and unpacking tile pixels, compiled once per instruction set and
// dispatched at run time.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "pixel_packing.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "pixel_packing.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::pyr::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Pixels words are bytes B, G, R, 0 in memory (little-endian).
size_t ExpandVector(const uint8_t* In, uint32_t* Out, size_t Count) {
  const hn::ScalableTag<uint8_t> d;
  const size_t lanes = hn::Lanes(d);
  auto* out = reinterpret_cast<uint8_t*>(Out);
  const auto zero = hn::Zero(d);
  size_t i = 0;
  for (; i + lanes <= Count; i += lanes) {
    hn::Vec<decltype(d)> b, g, r;
    hn::LoadInterleaved3(d, In + 3 * i, b, g, r);
    hn::StoreInterleaved4(b, g, r, zero, d, out + 4 * i);
  }
  return i;
}

size_t PackVector(const uint32_t* In, uint8_t* Out, size_t Count) {
  const hn::ScalableTag<uint8_t> d;
  const size_t lanes = hn::Lanes(d);
  const auto* in = reinterpret_cast<const uint8_t*>(In);
  size_t i = 0;
  for (; i + lanes <= Count; i += lanes) {
    hn::Vec<decltype(d)> b, g, r, x;
    hn::LoadInterleaved4(d, in + 4 * i, b, g, r, x);
    hn::StoreInterleaved3(b, g, r, d, Out + 3 * i);
  }
  return i;
}

}  // namespace marovia::pyr::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace marovia::pyr {

HWY_EXPORT(ExpandVector);
HWY_EXPORT(PackVector);

void ExpandBgr(const uint8_t* In, uint32_t* Out, size_t Count) {
  for (size_t i = HWY_DYNAMIC_DISPATCH(ExpandVector)(In, Out, Count); i < Count; ++i)
    Out[i] = uint32_t{In[3 * i + 2]} << 16 | uint32_t{In[3 * i + 1]} << 8 | In[3 * i];
}

void PackBgr(const uint32_t* In, uint8_t* Out, size_t Count) {
  for (size_t i = HWY_DYNAMIC_DISPATCH(PackVector)(In, Out, Count); i < Count; ++i) {
    Out[3 * i] = static_cast<uint8_t>(In[i]);
    Out[3 * i + 1] = static_cast<uint8_t>(In[i] >> 8);
    Out[3 * i + 2] = static_cast<uint8_t>(In[i] >> 16);
  }
}

}  // namespace marovia::pyr
#endif
