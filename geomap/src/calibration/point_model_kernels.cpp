// The Miller and conic kernels (point_model_kernels.h), compiled once per
// instruction set. Sine and cosine come from the geodesy unit's vector
// sine/cosine pair (one reduction for a tangent); logarithm, exponential
// and arctangent from the SIMD library's vector functions, whose valid
// ranges the kernels keep to.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "calibration/point_model_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>
#include <limits>

#include "calibration/point_model_kernels.h"
#include "vec_sincos-inl.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::pointmodel::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;
namespace gd = marovia::geodetail::HWY_NAMESPACE;

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kMillerLatScale = 143.2394487827058;  // 180 / (0.4 pi)
inline constexpr std::size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);

// f(a, b) -> (u, v) over n elements: whole vectors, then the rest through
// one vector of staged copies (zeros beyond the end), so every element runs
// the same lane code.
template <class D, class F>
MAROVIA_KERNEL_INLINE void ForEachVector(D d, std::size_t n, const double* a, const double* b,
                                         double* u, double* v, const F& f) {
  using V = hn::Vec<D>;
  const std::size_t lanes = hn::Lanes(d);
  std::size_t i = 0;
  for (; i + lanes <= n; i += lanes) {
    V ru = hn::Zero(d), rv = hn::Zero(d);
    f(hn::LoadU(d, a + i), b ? hn::LoadU(d, b + i) : hn::Zero(d), ru, rv);
    hn::StoreU(ru, d, u + i);
    if (v) hn::StoreU(rv, d, v + i);
  }
  if (i == n) return;
  const std::size_t rest = n - i;
  HWY_ALIGN double sa[kMaxLanes] = {}, sb[kMaxLanes] = {}, su[kMaxLanes], sv[kMaxLanes];
  std::copy_n(a + i, rest, sa);
  if (b) std::copy_n(b + i, rest, sb);
  V ru = hn::Zero(d), rv = hn::Zero(d);
  f(hn::Load(d, sa), hn::Load(d, sb), ru, rv);
  hn::Store(ru, d, su);
  hn::Store(rv, d, sv);
  std::copy_n(su, rest, u + i);
  if (v) std::copy_n(sv, rest, v + i);
}

template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE V Tan(D d, V x) {
  V s, c;
  gd::SinCos(d, x, s, c);
  return hn::Div(s, c);
}

void MillerRowsKernel(const std::array<std::array<double, 2>, 2>& m, std::size_t n,
                      const double* lat, double* y) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const V m00 = hn::Set(d, m[0][0]), m01 = hn::Set(d, m[0][1]);
  const V nan = hn::Set(d, std::numeric_limits<double>::quiet_NaN());
  const V inf = hn::Set(d, std::numeric_limits<double>::infinity());
  ForEachVector(d, n, lat, nullptr, y, nullptr, [&](V la, V, V& out, V&) {
    const V arg =
        hn::Add(hn::Div(hn::Mul(hn::Mul(la, hn::Set(d, 0.4)), hn::Set(d, kPi)), hn::Set(d, 180.0)),
                hn::Set(d, kPi / 4));
    const V t = Tan(d, arg);
    // The logarithm of a tangent that is not a positive number has no
    // value (NaN and the infinities included).
    const auto valid = hn::And(hn::Gt(t, hn::Zero(d)), hn::Lt(t, inf));
    const V ln = hn::Log(d, hn::IfThenElse(valid, t, hn::Set(d, 1.0)));
    out = hn::IfThenElse(valid, hn::Add(hn::Mul(m00, ln), m01), nan);
  });
}

void MillerLatitudesKernel(const std::array<std::array<double, 2>, 2>& m, std::size_t n,
                           const double* y, double* lat) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const V m00 = hn::Set(d, m[0][0]), m01 = hn::Set(d, m[0][1]);
  ForEachVector(d, n, y, nullptr, lat, nullptr, [&](V py, V, V& out, V&) {
    const V v = hn::Div(hn::Sub(py, m01), m00);
    // Beyond these bounds arctan(exp(v)) is 0 or pi/2 to the last bit;
    // clamping keeps the exponential within its valid range. NaN stays.
    const V clamped = hn::Min(hn::Max(v, hn::Set(d, -700.0)), hn::Set(d, 40.0));
    const V a = hn::Atan(d, hn::Exp(d, hn::IfThenElse(hn::Eq(v, v), clamped, hn::Zero(d))));
    const V latitude = hn::Mul(hn::Sub(a, hn::Set(d, kPi / 4)), hn::Set(d, kMillerLatScale));
    out = hn::IfThenElse(hn::Eq(v, v), latitude, v);
  });
}

void ConicRowsKernel(const std::array<double, 6>& p, std::size_t n, const double* lat,
                     const double* lon, double* y, double* t) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const V p1 = hn::Set(d, p[1]), p2 = hn::Set(d, p[2]), p3 = hn::Set(d, p[3]);
  const V p4 = hn::Set(d, p[4]), p5 = hn::Set(d, p[5]);
  const bool apexAbove = p[2] < 0;
  ForEachVector(d, n, lat, lon, y, t, [&](V la, V lo, V& row, V& tangent) {
    tangent = Tan(d, hn::Div(hn::Sub(lo, p5), p4));
    const V s = hn::Sqrt(hn::Add(hn::Mul(tangent, tangent), hn::Set(d, 1.0)));
    const V q = hn::Div(hn::Sub(la, p3), p2);
    row = apexAbove ? hn::Add(p1, hn::Div(q, s)) : hn::Sub(p1, hn::Div(q, s));
  });
}

void ConicLongitudesKernel(const std::array<double, 6>& p, std::size_t n, const double* x,
                           const double* y, double* lon) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const V p0 = hn::Set(d, p[0]), p1 = hn::Set(d, p[1]);
  const V p4 = hn::Set(d, p[4]), p5 = hn::Set(d, p[5]);
  ForEachVector(d, n, x, y, lon, nullptr, [&](V px, V py, V& out, V&) {
    out = hn::Add(hn::Mul(p4, hn::Atan(d, hn::Div(hn::Sub(px, p0), hn::Sub(py, p1)))), p5);
  });
}

}  // namespace marovia::pointmodel::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace marovia::pointmodel {

HWY_EXPORT(MillerRowsKernel);
HWY_EXPORT(MillerLatitudesKernel);
HWY_EXPORT(ConicRowsKernel);
HWY_EXPORT(ConicLongitudesKernel);

void MillerRows(const std::array<std::array<double, 2>, 2>& m, std::size_t n, const double* lat,
                double* y) {
  HWY_DYNAMIC_DISPATCH(MillerRowsKernel)(m, n, lat, y);
}

void MillerLatitudes(const std::array<std::array<double, 2>, 2>& m, std::size_t n, const double* y,
                     double* lat) {
  HWY_DYNAMIC_DISPATCH(MillerLatitudesKernel)(m, n, y, lat);
}

void ConicRows(const std::array<double, 6>& p, std::size_t n, const double* lat, const double* lon,
               double* y, double* t) {
  HWY_DYNAMIC_DISPATCH(ConicRowsKernel)(p, n, lat, lon, y, t);
}

void ConicLongitudes(const std::array<double, 6>& p, std::size_t n, const double* x,
                     const double* y, double* lon) {
  HWY_DYNAMIC_DISPATCH(ConicLongitudesKernel)(p, n, x, y, lon);
}

}  // namespace marovia::pointmodel
#endif  // HWY_ONCE
