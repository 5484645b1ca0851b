// Thin-plate kernel sums, compiled once per instruction set and dispatched at
// run time. The logarithm is the vector one of the SIMD library (within a few
// units in the last place of the exact value); the lanes are added in a
// fixed order, so the result depends only on the machine, not on how many
// points a call converts.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "calibration/thin_plate_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>

#include "calibration/thin_plate_kernel.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::detail::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void KernelSums(const TTpsKernel& k, const double* u, const double* v, std::size_t n, double* Sx,
                double* Sy) {
  const hn::ScalableTag<double> d;
  const std::size_t lanes = hn::Lanes(d);
  // Wider vectors than the padding: the rest goes through the scalar loop.
  const std::size_t full = k.Count - k.Count % lanes;
  const auto zero = hn::Zero(d);
  for (std::size_t p = 0; p < n; ++p) {
    const auto pu = hn::Set(d, u[p]);
    const auto pv = hn::Set(d, v[p]);
    auto ax = zero;
    auto ay = zero;
    for (std::size_t j = 0; j < full; j += lanes) {
      const auto du = hn::Sub(hn::LoadU(d, k.Pu + j), pu);
      const auto dv = hn::Sub(hn::LoadU(d, k.Pv + j), pv);
      const auto d2 = hn::MulAdd(du, du, hn::Mul(dv, dv));
      // ln 0 is -inf: the term at a control point itself is zero.
      const auto phi = hn::IfThenElseZero(hn::Gt(d2, zero), hn::Mul(d2, hn::Log(d, d2)));
      ax = hn::MulAdd(hn::LoadU(d, k.Wx + j), phi, ax);
      ay = hn::MulAdd(hn::LoadU(d, k.Wy + j), phi, ay);
    }
    double sx = hn::GetLane(hn::SumOfLanes(d, ax));
    double sy = hn::GetLane(hn::SumOfLanes(d, ay));
    for (std::size_t j = full; j < k.Count; ++j) {
      const double du = k.Pu[j] - u[p];
      const double dv = k.Pv[j] - v[p];
      const double d2 = du * du + dv * dv;
      const double phi = d2 > 0 ? d2 * std::log(d2) : 0.0;
      sx += k.Wx[j] * phi;
      sy += k.Wy[j] * phi;
    }
    // Infinite input can meet a finite vector logarithm of infinity times a
    // zero weight; make sure a non-finite point never sums to a number.
    if (!std::isfinite(u[p]) || !std::isfinite(v[p])) sx = sy = NAN;
    Sx[p] = sx;
    Sy[p] = sy;
  }
}

// phi(d2) = d2 ln d2 of the squared distances from (u, v) to the points,
// 0 where they coincide.
template <class D, class V = hn::Vec<D>>
HWY_INLINE V PhiTo(D d, V u, V v, V pu, V pv) {
  const auto du = hn::Sub(pu, u);
  const auto dv = hn::Sub(pv, v);
  const auto d2 = hn::MulAdd(du, du, hn::Mul(dv, dv));
  return hn::IfThenElseZero(hn::Gt(d2, hn::Zero(d)), hn::Mul(d2, hn::Log(d, d2)));
}

double KernelMatrix(const double* Pu, const double* Pv, std::size_t n, double diagonal, double* K,
                    std::size_t ldk) {
  const hn::ScalableTag<double> d;
  const std::size_t lanes = hn::Lanes(d);
  HWY_ALIGN double su[HWY_MAX_BYTES / sizeof(double)], sv[HWY_MAX_BYTES / sizeof(double)],
      out[HWY_MAX_BYTES / sizeof(double)];
  double largest = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto u = hn::Set(d, Pu[i]);
    const auto v = hn::Set(d, Pv[i]);
    double* row = K + i * ldk;
    // Whole rows, the last part staged so that it runs the same lane code:
    // d2 is the same number both ways round (a difference and its negation
    // square alike), so the matrix comes out exactly symmetric.
    auto sum = hn::Zero(d);
    std::size_t j = 0;
    for (; j + lanes <= n; j += lanes) {
      const auto phi = PhiTo(d, u, v, hn::LoadU(d, Pu + j), hn::LoadU(d, Pv + j));
      sum = hn::Add(sum, hn::Abs(phi));
      hn::StoreU(phi, d, row + j);
    }
    double rowSum = hn::GetLane(hn::SumOfLanes(d, sum));
    if (j < n) {
      std::fill(su, su + lanes, Pu[i]);
      std::fill(sv, sv + lanes, Pv[i]);
      std::copy(Pu + j, Pu + n, su);
      std::copy(Pv + j, Pv + n, sv);
      hn::Store(PhiTo(d, u, v, hn::Load(d, su), hn::Load(d, sv)), d, out);
      std::copy(out, out + (n - j), row + j);
      for (std::size_t k = 0; k < n - j; ++k) rowSum += std::fabs(out[k]);
    }
    row[i] = diagonal;
    largest = std::max(largest, rowSum + std::fabs(diagonal));
  }
  return largest;
}

}  // namespace marovia::detail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace marovia::detail {

HWY_EXPORT(KernelSums);
HWY_EXPORT(KernelMatrix);

double TpsKernelMatrix(const double* Pu, const double* Pv, std::size_t n, double diagonal,
                       double* K, std::size_t ldk) {
  return HWY_DYNAMIC_DISPATCH(KernelMatrix)(Pu, Pv, n, diagonal, K, ldk);
}

void TpsKernelSums(const TTpsKernel& k, const double* u, const double* v, std::size_t n, double* Sx,
                   double* Sy) {
  HWY_DYNAMIC_DISPATCH(KernelSums)(k, u, v, n, Sx, Sy);
}

}  // namespace marovia::detail
#endif
