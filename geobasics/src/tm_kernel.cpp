// The Transverse Mercator kernels (tm_kernel.h), compiled once per
// instruction set and dispatched at run time.
//
// Sections: double-double helpers; the UTM zone of a position; the forward
// series; the inverse series; the loops (whole vectors, then the rest of a
// span through one vector of staged copies, so that every position runs the
// same lane code); the dispatch and the ellipsoid constants.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "tm_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <cstddef>

#include "tm_kernel.h"
#include "vec_sincos-inl.h"

HWY_BEFORE_NAMESPACE();
namespace marovia::geodetail::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// ---------------------------------------------------------------- constants

inline constexpr long double kPiL = 3.141592653589793238462643383279502884L;
// pi/180 and the UTM scale factor as double-doubles (the second part is
// what the first misses); 180/pi and 1/k0 as plain doubles, which the
// inverse (accurate in degrees) needs no more of.
inline constexpr double kDegHi = static_cast<double>(kPiL / 180.0L);
inline constexpr double kDegLo = static_cast<double>(kPiL / 180.0L - kDegHi);
inline constexpr double kRadToDeg = static_cast<double>(180.0L / kPiL);
inline constexpr double kK0Hi = static_cast<double>(0.9996L);
inline constexpr double kK0Lo = static_cast<double>(0.9996L - kK0Hi);
inline constexpr double kInvK0 = static_cast<double>(1.0L / 0.9996L);
inline constexpr double kFalseEasting = 500000.0;
inline constexpr double kFalseNorthing = 10000000.0;

// Most lanes a vector of doubles has on any target.
inline constexpr std::size_t kMaxLanes = HWY_MAX_BYTES / sizeof(double);

// ---------------------------------------------------------------- double-double

// p + e = a b exactly.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void TwoProd(D d, V a, V b, V& p, V& e) {
  p = hn::Mul(a, b);
#if HWY_NATIVE_FMA
  (void)d;
  e = hn::MulSub(a, b, p);
#else
  // Dekker: each factor split into two halves of 26 bits, whose products
  // are exact.
  const V split = hn::Set(d, 134217729.0);  // 2^27 + 1
  const V ta = hn::Mul(split, a);
  const V ah = hn::Sub(ta, hn::Sub(ta, a));
  const V al = hn::Sub(a, ah);
  const V tb = hn::Mul(split, b);
  const V bh = hn::Sub(tb, hn::Sub(tb, b));
  const V bl = hn::Sub(b, bh);
  e = hn::Add(hn::Add(hn::Add(hn::Sub(hn::Mul(ah, bh), p), hn::Mul(ah, bl)), hn::Mul(al, bh)),
              hn::Mul(al, bl));
#endif
}

// s + e = a + b exactly.
template <class V>
MAROVIA_KERNEL_INLINE void TwoSum(V a, V b, V& s, V& e) {
  s = hn::Add(a, b);
  const V bb = hn::Sub(s, a);
  e = hn::Add(hn::Sub(a, hn::Sub(s, bb)), hn::Sub(b, bb));
}

// c0 sin t + c1 sin 2t + c2 sin 3t + c3 sin 4t by Clenshaw's recurrence,
// from sin t and cos t.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE V SineSeries(D d, const double (&c)[4], V sinT, V cosT) {
  const V x = hn::Add(cosT, cosT);
  const V b3 = hn::Set(d, c[3]);
  const V b2 = hn::Add(hn::Set(d, c[2]), hn::Mul(x, b3));
  const V b1 = hn::Sub(hn::Add(hn::Set(d, c[1]), hn::Mul(x, b2)), b3);
  const V b0 = hn::Sub(hn::Add(hn::Set(d, c[0]), hn::Mul(x, b1)), b2);
  return hn::Mul(b0, sinT);
}

// sin 2p and cos 2p from s = sin p and c = cos p.
template <class V>
MAROVIA_KERNEL_INLINE void DoubleAngle(V s, V c, V& sin2, V& cos2) {
  const V sc = hn::Mul(s, c);
  sin2 = hn::Add(sc, sc);
  cos2 = hn::Mul(hn::Sub(c, s), hn::Add(c, s));
}

// ---------------------------------------------------------------- zones

// The UTM zone of each position (degrees) and its central meridian in
// degrees: the rule of GeoToUTMZone (utm_zone.cpp), lane by lane. Outside
// the UTM area (NaN included) both are 0.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void ZoneOf(D d, V lat, V lon, V& zone, V& meridian) {
  const V one = hn::Set(d, 1.0);
  const auto inArea =
      hn::And(hn::And(hn::Ge(lat, hn::Set(d, -80.0)), hn::Le(lat, hn::Set(d, 84.0))),
              hn::And(hn::Ge(lon, hn::Set(d, -180.0)), hn::Lt(lon, hn::Set(d, 180.0))));
  const V la = hn::IfThenElseZero(inArea, lat);
  const V lo = hn::IfThenElseZero(inArea, lon);
  // Band index 0 (C) to 21 (X), the letters I and O skipped.
  V band = hn::Floor(hn::Mul(hn::Trunc(hn::Add(la, hn::Set(d, 80.0))), hn::Set(d, 0.125)));
  band = hn::Add(band, hn::IfThenElseZero(hn::Ge(band, hn::Set(d, 6.0)), one));
  band = hn::Add(band, hn::IfThenElseZero(hn::Ge(band, hn::Set(d, 12.0)), one));
  band = hn::Min(band, hn::Set(d, 21.0));
  V z = hn::Add(hn::Trunc(hn::Div(hn::Add(lo, hn::Set(d, 180.0)), hn::Set(d, 6.0))), one);
  z = hn::Min(z, hn::Set(d, 60.0));
  // Norway: band V from 3 E to 12 E is zone 32.
  const auto norway = hn::And(hn::Eq(band, hn::Set(d, 19.0)),
                              hn::And(hn::Ge(lo, hn::Set(d, 3.0)), hn::Lt(lo, hn::Set(d, 12.0))));
  z = hn::IfThenElse(norway, hn::Set(d, 32.0), z);
  // Svalbard: band X from 0 E to 42 E has the odd zones 31 to 37, 12
  // degrees wide.
  const auto svalbard = hn::And(hn::Eq(band, hn::Set(d, 21.0)),
                                hn::And(hn::Ge(lo, hn::Zero(d)), hn::Lt(lo, hn::Set(d, 42.0))));
  const V wide = hn::Add(
      hn::Mul(hn::Set(d, 2.0), hn::Trunc(hn::Div(hn::Add(lo, hn::Set(d, 3.0)), hn::Set(d, 12.0)))),
      hn::Set(d, 31.0));
  z = hn::IfThenElse(svalbard, wide, z);
  zone = hn::IfThenElseZero(inArea, z);
  meridian = hn::IfThenElseZero(inArea, hn::Sub(hn::Mul(hn::Set(d, 6.0), z), hn::Set(d, 183.0)));
}

// ---------------------------------------------------------------- forward

// x (unscaled) and y = yHi + yLo (unscaled, the sum not yet rounded) of the
// latitude phiHi + phiLo and the longitude difference l, radians.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void ForwardSeries(D d, const TmKernelConsts& k, V phiHi, V phiLo, V l, V& x,
                                         V& yHi, V& yLo) {
  const V one = hn::Set(d, 1.0);
  V s, c;
  SinCos(d, phiHi, s, c);
  const V t = hn::Div(s, c);
  const V t2 = hn::Mul(t, t);
  const V t4 = hn::Mul(t2, t2);
  const V t6 = hn::Mul(t4, t2);
  const V eta2 = hn::Mul(hn::Set(d, k.Ep2), hn::Mul(c, c));
  const V eta4 = hn::Mul(eta2, eta2);
  const V t2eta2 = hn::Mul(t2, eta2);
  const V N = hn::Div(hn::Set(d, k.A2OverB), hn::Sqrt(hn::Add(one, eta2)));
  // The series in powers of L = l cos(phi).
  const V L = hn::Mul(c, l);
  const V L2 = hn::Mul(L, L);

  // x = N (L + L^3/6 p3 + L^5/120 p5 + L^7/5040 p7)
  const V p3 = hn::Add(hn::Sub(one, t2), eta2);
  const V p5 = hn::Sub(hn::Add(hn::Add(hn::Sub(hn::Set(d, 5.0), hn::Mul(hn::Set(d, 18.0), t2)), t4),
                               hn::Mul(hn::Set(d, 14.0), eta2)),
                       hn::Mul(hn::Set(d, 58.0), t2eta2));
  const V p7 = hn::Sub(hn::Add(hn::Sub(hn::Set(d, 61.0), hn::Mul(hn::Set(d, 479.0), t2)),
                               hn::Mul(hn::Set(d, 179.0), t4)),
                       t6);
  V xs = hn::Mul(p7, hn::Set(d, 1.0 / 5040.0));
  xs = hn::Add(hn::Mul(p5, hn::Set(d, 1.0 / 120.0)), hn::Mul(L2, xs));
  xs = hn::Add(hn::Mul(p3, hn::Set(d, 1.0 / 6.0)), hn::Mul(L2, xs));
  xs = hn::Add(one, hn::Mul(L2, xs));
  x = hn::Mul(hn::Mul(N, L), xs);

  // y - arc = N t (L^2/2 + L^4/24 p4 + L^6/720 p6 + L^8/40320 p8)
  const V p4 = hn::Add(hn::Add(hn::Sub(hn::Set(d, 5.0), t2), hn::Mul(hn::Set(d, 9.0), eta2)),
                       hn::Mul(hn::Set(d, 4.0), eta4));
  const V p6 =
      hn::Sub(hn::Add(hn::Add(hn::Sub(hn::Set(d, 61.0), hn::Mul(hn::Set(d, 58.0), t2)), t4),
                      hn::Mul(hn::Set(d, 270.0), eta2)),
              hn::Mul(hn::Set(d, 330.0), t2eta2));
  const V p8 = hn::Sub(hn::Add(hn::Sub(hn::Set(d, 1385.0), hn::Mul(hn::Set(d, 3111.0), t2)),
                               hn::Mul(hn::Set(d, 543.0), t4)),
                       t6);
  V ys = hn::Mul(p8, hn::Set(d, 1.0 / 40320.0));
  ys = hn::Add(hn::Mul(p6, hn::Set(d, 1.0 / 720.0)), hn::Mul(L2, ys));
  ys = hn::Add(hn::Mul(p4, hn::Set(d, 1.0 / 24.0)), hn::Mul(L2, ys));
  ys = hn::Add(hn::Set(d, 0.5), hn::Mul(L2, ys));
  const V bend = hn::Mul(hn::Mul(N, hn::Mul(t, L2)), ys);

  // Meridian arc alpha (phi + sum of the multiple-angle sines), the product
  // alpha phi kept exact.
  V sin2, cos2;
  DoubleAngle(s, c, sin2, cos2);
  const V arcSines = SineSeries(d, k.Arc, sin2, cos2);
  V ph, pl;
  TwoProd(d, hn::Set(d, k.AlphaHi), phiHi, ph, pl);
  pl = hn::Add(
      pl, hn::Add(hn::Mul(hn::Set(d, k.AlphaHi), phiLo), hn::Mul(hn::Set(d, k.AlphaLo), phiHi)));
  yHi = ph;
  yLo = hn::Add(pl, hn::Add(hn::Mul(hn::Set(d, k.AlphaHi), arcSines), bend));
}

// One vector of positions: x, y (and for kUtmOwnZone the zone).
template <TmGrid G, class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void ForwardVector(D d, const TmKernelConsts& k, const TmForwardJob& job,
                                         V lat, V lon, V& x, V& y, V& zone) {
  if constexpr (G == TmGrid::kTransverseMercator) {
    V yHi, yLo;
    ForwardSeries(d, k, lat, hn::Zero(d), hn::Sub(lon, hn::Set(d, job.Lon0)), x, yHi, yLo);
    y = hn::Add(yHi, yLo);
    zone = hn::Zero(d);
  } else {
    V meridian;
    if constexpr (G == TmGrid::kUtmOwnZone) {
      ZoneOf(d, lat, lon, zone, meridian);
    } else {
      zone = hn::Zero(d);
      meridian = hn::Set(d, job.ZoneMeridian);
    }
    // The longitude difference is exact in degrees (the meridian is a whole
    // number of degrees); the latitude in radians is kept to twice the
    // precision of a double.
    const V l = hn::Mul(hn::Sub(lon, meridian), hn::Set(d, kDegHi));
    V phiHi, phiLo;
    TwoProd(d, lat, hn::Set(d, kDegHi), phiHi, phiLo);
    phiLo = hn::Add(phiLo, hn::Mul(lat, hn::Set(d, kDegLo)));
    V xt, yHi, yLo;
    ForwardSeries(d, k, phiHi, phiLo, l, xt, yHi, yLo);
    x = hn::Add(hn::Mul(xt, hn::Set(d, kK0Hi)), hn::Set(d, kFalseEasting));
    // northing = k0 y, plus the false northing in the south, rounded once.
    V nh, nl;
    TwoProd(d, hn::Set(d, kK0Hi), yHi, nh, nl);
    nl = hn::Add(nl, hn::Add(hn::Mul(hn::Set(d, kK0Hi), yLo), hn::Mul(hn::Set(d, kK0Lo), yHi)));
    const V north = hn::Add(nh, nl);
    V sh, sl;
    TwoSum(hn::Set(d, kFalseNorthing), nh, sh, sl);
    const V southNorth = hn::Add(sh, hn::Add(sl, nl));
    if constexpr (G == TmGrid::kUtmOwnZone) {
      // The hemisphere is the northing's sign: the equator gets none.
      y = hn::IfThenElse(hn::Lt(north, hn::Zero(d)), southNorth, north);
    } else {
      y = job.South ? southNorth : north;
    }
  }
}

template <TmGrid G, class D>
MAROVIA_KERNEL_INLINE void ForwardLoop(D d, const TmKernelConsts& k, const TmForwardJob& job) {
  using V = hn::Vec<D>;
  const std::size_t lanes = hn::Lanes(d);
  const hn::Rebind<int32_t, D> di;
  std::size_t i = 0;
  for (; i + lanes <= job.Count; i += lanes) {
    V x, y, zone;
    ForwardVector<G>(d, k, job, hn::LoadU(d, job.Lat + i), hn::LoadU(d, job.Lon + i), x, y, zone);
    hn::StoreU(x, d, job.X + i);
    hn::StoreU(y, d, job.Y + i);
    if constexpr (G == TmGrid::kUtmOwnZone) hn::StoreU(hn::DemoteTo(di, zone), di, job.Zone + i);
  }
  if (i == job.Count) return;
  const std::size_t rest = job.Count - i;
  HWY_ALIGN double lat[kMaxLanes] = {}, lon[kMaxLanes] = {};
  HWY_ALIGN double x[kMaxLanes], y[kMaxLanes], zone[kMaxLanes];
  std::copy_n(job.Lat + i, rest, lat);
  std::copy_n(job.Lon + i, rest, lon);
  V vx, vy, vz;
  ForwardVector<G>(d, k, job, hn::Load(d, lat), hn::Load(d, lon), vx, vy, vz);
  hn::Store(vx, d, x);
  hn::Store(vy, d, y);
  hn::Store(vz, d, zone);
  std::copy_n(x, rest, job.X + i);
  std::copy_n(y, rest, job.Y + i);
  if constexpr (G == TmGrid::kUtmOwnZone) {
    for (std::size_t j = 0; j < rest; ++j) job.Zone[i + j] = static_cast<int>(zone[j]);
  }
}

void ForwardKernel(const TmKernelConsts& k, const TmForwardJob& job) {
  const hn::ScalableTag<double> d;
  switch (job.Grid) {
    case TmGrid::kTransverseMercator:
      return ForwardLoop<TmGrid::kTransverseMercator>(d, k, job);
    case TmGrid::kUtmOwnZone:
      return ForwardLoop<TmGrid::kUtmOwnZone>(d, k, job);
    case TmGrid::kUtmGivenZone:
      return ForwardLoop<TmGrid::kUtmGivenZone>(d, k, job);
  }
}

// ---------------------------------------------------------------- inverse

// Latitude phi = y' + dphi (y' and dphi apart, radians) and the longitude
// difference dlon (radians) of the unscaled x, y.
template <class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void InverseSeries(D d, const TmKernelConsts& k, V x, V y, V& yScaled,
                                         V& dphi, V& dlon) {
  const V one = hn::Set(d, 1.0);
  // Footpoint latitude phif = y' + delta, y' = y / alpha; its sine and
  // cosine follow from those of y' and the small delta (below 0.005), whose
  // own are short Taylor series.
  const V yp = hn::Mul(y, hn::Set(d, k.InvAlpha));
  V s0, c0, sin2, cos2;
  SinCos(d, yp, s0, c0);
  DoubleAngle(s0, c0, sin2, cos2);
  const V delta = SineSeries(d, k.Foot, sin2, cos2);
  const V dl2 = hn::Mul(delta, delta);
  const V sinDelta =
      hn::Mul(delta, hn::Sub(one, hn::Mul(hn::Mul(dl2, hn::Set(d, 1.0 / 6.0)),
                                          hn::Sub(one, hn::Mul(dl2, hn::Set(d, 1.0 / 20.0))))));
  const V cosDelta = hn::Sub(
      one, hn::Mul(hn::Mul(dl2, hn::Set(d, 0.5)),
                   hn::Sub(one, hn::Mul(hn::Mul(dl2, hn::Set(d, 1.0 / 12.0)),
                                        hn::Sub(one, hn::Mul(dl2, hn::Set(d, 1.0 / 30.0)))))));
  const V sf = hn::Add(hn::Mul(s0, cosDelta), hn::Mul(c0, sinDelta));
  const V cf = hn::Sub(hn::Mul(c0, cosDelta), hn::Mul(s0, sinDelta));

  const V rc = hn::Div(one, cf);
  const V tf = hn::Mul(sf, rc);
  const V t2 = hn::Mul(tf, tf);
  const V t4 = hn::Mul(t2, t2);
  const V t6 = hn::Mul(t4, t2);
  const V eta2 = hn::Mul(hn::Set(d, k.Ep2), hn::Mul(cf, cf));
  const V eta4 = hn::Mul(eta2, eta2);
  const V t2eta2 = hn::Mul(t2, eta2);
  // u = x / Nf, Nf = a^2 / (b sqrt(1 + eta^2)).
  const V u = hn::Mul(x, hn::Mul(hn::Set(d, k.BOverA2), hn::Sqrt(hn::Add(one, eta2))));
  const V u2 = hn::Mul(u, u);

  // dphi = tf (u^2/2 q2 + u^4/24 q4 + u^6/720 q6 + u^8/40320 q8)
  const V q2 = hn::Sub(hn::Neg(one), eta2);
  const V q4 =
      hn::Sub(hn::Sub(hn::Sub(hn::Add(hn::Add(hn::Set(d, 5.0), hn::Mul(hn::Set(d, 3.0), t2)),
                                      hn::Mul(hn::Set(d, 6.0), eta2)),
                              hn::Mul(hn::Set(d, 6.0), t2eta2)),
                      hn::Mul(hn::Set(d, 3.0), eta4)),
              hn::Mul(hn::Set(d, 9.0), hn::Mul(t2, eta4)));
  const V q6 = hn::Add(hn::Sub(hn::Sub(hn::Sub(hn::Set(d, -61.0), hn::Mul(hn::Set(d, 90.0), t2)),
                                       hn::Mul(hn::Set(d, 45.0), t4)),
                               hn::Mul(hn::Set(d, 107.0), eta2)),
                       hn::Mul(hn::Set(d, 162.0), t2eta2));
  const V q8 = hn::Add(hn::Add(hn::Add(hn::Set(d, 1385.0), hn::Mul(hn::Set(d, 3633.0), t2)),
                               hn::Mul(hn::Set(d, 4095.0), t4)),
                       hn::Mul(hn::Set(d, 1575.0), t6));
  V ls = hn::Mul(q8, hn::Set(d, 1.0 / 40320.0));
  ls = hn::Add(hn::Mul(q6, hn::Set(d, 1.0 / 720.0)), hn::Mul(u2, ls));
  ls = hn::Add(hn::Mul(q4, hn::Set(d, 1.0 / 24.0)), hn::Mul(u2, ls));
  ls = hn::Add(hn::Mul(q2, hn::Set(d, 0.5)), hn::Mul(u2, ls));
  dphi = hn::Add(delta, hn::Mul(hn::Mul(tf, u2), ls));
  yScaled = yp;

  // dlon = (u + u^3/6 q3 + u^5/120 q5 + u^7/5040 q7) / cos(phif)
  const V q3 = hn::Sub(hn::Sub(hn::Neg(one), hn::Mul(hn::Set(d, 2.0), t2)), eta2);
  const V q5 = hn::Add(hn::Add(hn::Add(hn::Add(hn::Set(d, 5.0), hn::Mul(hn::Set(d, 28.0), t2)),
                                       hn::Mul(hn::Set(d, 24.0), t4)),
                               hn::Mul(hn::Set(d, 6.0), eta2)),
                       hn::Mul(hn::Set(d, 8.0), t2eta2));
  const V q7 = hn::Sub(hn::Sub(hn::Sub(hn::Set(d, -61.0), hn::Mul(hn::Set(d, 662.0), t2)),
                               hn::Mul(hn::Set(d, 1320.0), t4)),
                       hn::Mul(hn::Set(d, 720.0), t6));
  V os = hn::Mul(q7, hn::Set(d, 1.0 / 5040.0));
  os = hn::Add(hn::Mul(q5, hn::Set(d, 1.0 / 120.0)), hn::Mul(u2, os));
  os = hn::Add(hn::Mul(q3, hn::Set(d, 1.0 / 6.0)), hn::Mul(u2, os));
  os = hn::Add(one, hn::Mul(u2, os));
  dlon = hn::Mul(hn::Mul(u, rc), os);
}

// One vector of grid points: latitude and longitude.
template <TmGrid G, class D, class V = hn::Vec<D>>
MAROVIA_KERNEL_INLINE void InverseVector(D d, const TmKernelConsts& k, const TmInverseJob& job,
                                         V xin, V yin, V meridian, V falseNorthing, V& lat,
                                         V& lon) {
  V yp, dphi, dlon;
  if constexpr (G == TmGrid::kTransverseMercator) {
    (void)meridian;
    (void)falseNorthing;
    InverseSeries(d, k, xin, yin, yp, dphi, dlon);
    lat = hn::Add(yp, dphi);
    lon = hn::Add(hn::Set(d, job.Lon0), dlon);
  } else {
    const V invK0 = hn::Set(d, kInvK0);
    const V x = hn::Mul(hn::Sub(xin, hn::Set(d, kFalseEasting)), invK0);
    const V y = hn::Mul(hn::Sub(yin, falseNorthing), invK0);
    InverseSeries(d, k, x, y, yp, dphi, dlon);
    lat = hn::Mul(hn::Add(yp, dphi), hn::Set(d, kRadToDeg));
    lon = hn::Add(meridian, hn::Mul(dlon, hn::Set(d, kRadToDeg)));
  }
}

template <TmGrid G, class D>
MAROVIA_KERNEL_INLINE void InverseLoop(D d, const TmKernelConsts& k, const TmInverseJob& job) {
  using V = hn::Vec<D>;
  const std::size_t lanes = hn::Lanes(d);
  const bool perPoint = job.Meridians != nullptr;
  const V meridian = hn::Set(d, job.ZoneMeridian);
  const V falseNorthing = hn::Set(d, job.FalseNorthing);
  std::size_t i = 0;
  for (; i + lanes <= job.Count; i += lanes) {
    V lat, lon;
    InverseVector<G>(d, k, job, hn::LoadU(d, job.X + i), hn::LoadU(d, job.Y + i),
                     perPoint ? hn::LoadU(d, job.Meridians + i) : meridian,
                     perPoint ? hn::LoadU(d, job.FalseNorthings + i) : falseNorthing, lat, lon);
    hn::StoreU(lat, d, job.Lat + i);
    hn::StoreU(lon, d, job.Lon + i);
  }
  if (i == job.Count) return;
  const std::size_t rest = job.Count - i;
  HWY_ALIGN double x[kMaxLanes] = {}, y[kMaxLanes] = {};
  HWY_ALIGN double m[kMaxLanes] = {}, f[kMaxLanes] = {};
  HWY_ALIGN double lat[kMaxLanes], lon[kMaxLanes];
  std::copy_n(job.X + i, rest, x);
  std::copy_n(job.Y + i, rest, y);
  if (perPoint) {
    std::copy_n(job.Meridians + i, rest, m);
    std::copy_n(job.FalseNorthings + i, rest, f);
  }
  V vlat, vlon;
  InverseVector<G>(d, k, job, hn::Load(d, x), hn::Load(d, y), perPoint ? hn::Load(d, m) : meridian,
                   perPoint ? hn::Load(d, f) : falseNorthing, vlat, vlon);
  hn::Store(vlat, d, lat);
  hn::Store(vlon, d, lon);
  std::copy_n(lat, rest, job.Lat + i);
  std::copy_n(lon, rest, job.Lon + i);
}

void InverseKernel(const TmKernelConsts& k, const TmInverseJob& job) {
  const hn::ScalableTag<double> d;
  if (job.Grid == TmGrid::kTransverseMercator) {
    InverseLoop<TmGrid::kTransverseMercator>(d, k, job);
  } else {
    InverseLoop<TmGrid::kUtmGivenZone>(d, k, job);
  }
}

}  // namespace marovia::geodetail::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <array>
#include <string>

namespace marovia::geodetail {

HWY_EXPORT(ForwardKernel);
HWY_EXPORT(InverseKernel);

void TmForward(const TmKernelConsts& k, const TmForwardJob& job) {
  HWY_DYNAMIC_DISPATCH(ForwardKernel)(k, job);
}

void TmInverse(const TmKernelConsts& k, const TmInverseJob& job) {
  HWY_DYNAMIC_DISPATCH(InverseKernel)(k, job);
}

namespace {

TmKernelConsts ComputeConsts(TGeoEllipsoid e) {
  using LD = long double;
  const LD a = GeoEllipsoidData[e].MajorAxis;
  const LD b = GeoEllipsoidData[e].MinorAxis;
  const LD n = (a - b) / (a + b);
  const LD n2 = n * n, n3 = n2 * n, n4 = n2 * n2, n5 = n4 * n;
  const LD alpha = (a + b) / 2 * (1 + n2 / 4 + n4 / 64);
  TmKernelConsts k{};
  k.A2OverB = static_cast<double>(a * a / b);
  k.BOverA2 = static_cast<double>(b / (a * a));
  k.Ep2 = static_cast<double>((a * a - b * b) / (b * b));
  k.AlphaHi = static_cast<double>(alpha);
  k.AlphaLo = static_cast<double>(alpha - k.AlphaHi);
  k.InvAlpha = static_cast<double>(1 / alpha);
  const LD arc[4] = {-3 * n / 2 + 9 * n3 / 16 - 3 * n5 / 32, 15 * n2 / 16 - 15 * n4 / 32,
                     -35 * n3 / 48 + 105 * n5 / 256, 315 * n4 / 512};
  const LD foot[4] = {3 * n / 2 - 27 * n3 / 32 + 269 * n5 / 512, 21 * n2 / 16 - 55 * n4 / 32,
                      151 * n3 / 96 - 417 * n5 / 128, 1097 * n4 / 512};
  for (int i = 0; i < 4; ++i) {
    k.Arc[i] = static_cast<double>(arc[i]);
    k.Foot[i] = static_cast<double>(foot[i]);
  }
  return k;
}

}  // namespace

const TmKernelConsts& TmKernelConstsOf(TGeoEllipsoid ellipsoid) {
  static const std::array<TmKernelConsts, GeoEllipsoidCount> table = [] {
    std::array<TmKernelConsts, GeoEllipsoidCount> t{};
    for (int e = 0; e < GeoEllipsoidCount; ++e) t[e] = ComputeConsts(static_cast<TGeoEllipsoid>(e));
    return t;
  }();
  const int e = static_cast<int>(ellipsoid);
  if (e < 0 || e >= GeoEllipsoidCount)
    throw EZYLGeoBasicsError("ellipsoid " + std::to_string(e) + " is not in the catalogue");
  return table[e];
}

}  // namespace marovia::geodetail
#endif  // HWY_ONCE
