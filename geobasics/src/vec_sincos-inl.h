// Sine and cosine of one argument together, over a vector of doubles (not
// installed; included once per instruction set by the vectorised kernels).
//
// Accurate to about one unit in the last place for |x| up to 1.6e6 radians
// (the reduction by pi/2 is exact there); beyond that the results stay
// finite but lose accuracy, and NaN or an infinity gives NaN. Every lane is
// computed by the same operations whatever the vector width, so a lane's
// result does not depend on its neighbours or on how many lanes a vector
// has.

#include <hwy/base.h>

// The kernels' vector functions are inlined into their loops where the
// compiler optimises. Under the sanitizers Highway's own inlining also
// flattens every call below a function, which takes clang minutes on the
// series; there they are plain inline functions: the same operations, so
// the same bits.
#ifndef MAROVIA_KERNEL_INLINE
#if HWY_IS_DEBUG_BUILD
#define MAROVIA_KERNEL_INLINE inline
#else
#define MAROVIA_KERNEL_INLINE HWY_INLINE
#endif
#endif

// Per-target include guard: this header is compiled once per instruction
// set by foreach_target.
#if defined(MAROVIA_GEOBASICS_VEC_SINCOS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MAROVIA_GEOBASICS_VEC_SINCOS_INL_H_
#undef MAROVIA_GEOBASICS_VEC_SINCOS_INL_H_
#else
#define MAROVIA_GEOBASICS_VEC_SINCOS_INL_H_
#endif

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace marovia::geodetail::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// pi/2 in three parts of 33 significant bits each, so that k times a part
// is exact for |k| < 2^20, and 2/pi.
inline constexpr double kPio2Part1 = 1.57079632673412561417e+00;
inline constexpr double kPio2Part2 = 6.07710050630396597660e-11;
inline constexpr double kPio2Part3 = 2.02226624871116645580e-21;
inline constexpr double kTwoOverPi = 6.36619772367581382433e-01;

// Minimax polynomials of sin and cos on [-pi/4, pi/4]: sin x = x + x^3 (S1
// + x^2 S2 + ...), cos x = 1 - x^2/2 + x^4 (C1 + x^2 C2 + ...), each within
// 2^-58 of the function.
inline constexpr double kS1 = -1.66666666666666324348e-01;
inline constexpr double kS2 = 8.33333333332248946124e-03;
inline constexpr double kS3 = -1.98412698298579493134e-04;
inline constexpr double kS4 = 2.75573137070700676789e-06;
inline constexpr double kS5 = -2.50507602534068634195e-08;
inline constexpr double kS6 = 1.58969099521155010221e-10;
inline constexpr double kC1 = 4.16666666666666019037e-02;
inline constexpr double kC2 = -1.38888888888741095749e-03;
inline constexpr double kC3 = 2.48015872894767294178e-05;
inline constexpr double kC4 = -2.75573143513906633035e-07;
inline constexpr double kC5 = 2.08757232129817482790e-09;
inline constexpr double kC6 = -1.13596475577881948265e-11;

// sin(x + xx) for |x| <= pi/4 and a tail |xx| below an ulp of x.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE V SinKernel(D d, V x, V xx) {
  const V z = hn::Mul(x, x);
  const V w = hn::Mul(z, z);
  const V r = hn::Add(
      hn::Add(hn::Set(d, kS2), hn::Mul(z, hn::Add(hn::Set(d, kS3), hn::Mul(z, hn::Set(d, kS4))))),
      hn::Mul(hn::Mul(z, w), hn::Add(hn::Set(d, kS5), hn::Mul(z, hn::Set(d, kS6)))));
  const V v = hn::Mul(z, x);
  // x - ((z (xx/2 - v r) - xx) - v S1): the tail enters through its first
  // order term.
  const V inner = hn::Sub(hn::Mul(hn::Set(d, 0.5), xx), hn::Mul(v, r));
  return hn::Sub(x, hn::Sub(hn::Sub(hn::Mul(z, inner), xx), hn::Mul(v, hn::Set(d, kS1))));
}

// cos(x + xx) for |x| <= pi/4 and a tail |xx| below an ulp of x.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE V CosKernel(D d, V x, V xx) {
  const V z = hn::Mul(x, x);
  const V w = hn::Mul(z, z);
  const V r = hn::Add(
      hn::Mul(z, hn::Add(hn::Set(d, kC1),
                         hn::Mul(z, hn::Add(hn::Set(d, kC2), hn::Mul(z, hn::Set(d, kC3)))))),
      hn::Mul(hn::Mul(w, w),
              hn::Add(hn::Set(d, kC4),
                      hn::Mul(z, hn::Add(hn::Set(d, kC5), hn::Mul(z, hn::Set(d, kC6)))))));
  const V hz = hn::Mul(hn::Set(d, 0.5), z);
  const V one = hn::Set(d, 1.0);
  const V wt = hn::Sub(one, hz);
  // 1 - z/2 with the rounding of the subtraction put back.
  return hn::Add(wt,
                 hn::Add(hn::Sub(hn::Sub(one, wt), hz), hn::Sub(hn::Mul(z, r), hn::Mul(x, xx))));
}

// s = sin x, c = cos x.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void SinCos(D d, V x, V& s, V& c) {
  // x = k pi/2 + (r + rr), |r| <= pi/4: the first product is exact and so
  // is the first difference (the two are within a factor of two); the
  // rounding of the second difference is kept in rr.
  const V k = hn::Round(hn::Mul(x, hn::Set(d, kTwoOverPi)));
  const V hi = hn::Sub(x, hn::Mul(k, hn::Set(d, kPio2Part1)));
  const V w = hn::Mul(k, hn::Set(d, kPio2Part2));
  const V r = hn::Sub(hi, w);
  const V rr = hn::Sub(hn::Sub(hn::Sub(hi, r), w), hn::Mul(k, hn::Set(d, kPio2Part3)));
  const V sr = SinKernel(d, r, rr);
  const V cr = CosKernel(d, r, rr);
  // The quadrant k mod 4 (exact while k is below 2^52) selects and signs.
  const V q = hn::Sub(k, hn::Mul(hn::Set(d, 4.0), hn::Floor(hn::Mul(k, hn::Set(d, 0.25)))));
  const auto odd = hn::Or(hn::Eq(q, hn::Set(d, 1.0)), hn::Eq(q, hn::Set(d, 3.0)));
  const auto sinNegative = hn::Ge(q, hn::Set(d, 2.0));
  const auto cosNegative = hn::Or(hn::Eq(q, hn::Set(d, 1.0)), hn::Eq(q, hn::Set(d, 2.0)));
  const V s0 = hn::IfThenElse(odd, cr, sr);
  const V c0 = hn::IfThenElse(odd, sr, cr);
  s = hn::IfThenElse(sinNegative, hn::Neg(s0), s0);
  c = hn::IfThenElse(cosNegative, hn::Neg(c0), c0);
}

}  // namespace marovia::geodetail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
