// The Transverse Mercator series with the constants of an ellipsoid taken
// once (not installed): the single-point functions and the batches share
// this code, so both give the same bits. The terms are summed in
// increasing powers, exactly as written.
#pragma once

#include <cmath>

#include "geo_constants.h"

namespace marovia::geodetail {

// An ellipsoid's constants and the coefficients of the meridian arc and of
// the footpoint latitude, which depend on the third flattening n alone.
struct TmSeries {
  TmConstants k;
  double arcBeta, arcGamma, arcDelta, arcEpsilon;
  double footBeta, footGamma, footDelta, footEpsilon;
};

inline TmSeries TmSeriesOf(TGeoEllipsoid e) {
  TmSeries s;
  s.k = TmConstantsOf(e);
  const double n = s.k.n;
  s.arcBeta = -3.0 * n / 2.0 + 9.0 * Pow3(n) / 16.0 - 3.0 * Pow5(n) / 32.0;
  s.arcGamma = 15.0 * Pow2(n) / 16.0 - 15.0 * Pow4(n) / 32.0;
  s.arcDelta = -35.0 * Pow3(n) / 48.0 + 105.0 * Pow5(n) / 256.0;
  s.arcEpsilon = 315.0 * Pow4(n) / 512.0;
  s.footBeta = 3.0 * n / 2.0 - 27.0 * Pow3(n) / 32.0 + 269.0 * Pow5(n) / 512.0;
  s.footGamma = 21.0 * Pow2(n) / 16.0 - 55.0 * Pow4(n) / 32.0;
  s.footDelta = 151.0 * Pow3(n) / 96.0 - 417.0 * Pow5(n) / 128.0;
  s.footEpsilon = 1097.0 * Pow4(n) / 512.0;
  return s;
}

// Length of the meridian arc from the equator to latitude phi (radians).
inline double ArcLength(double phi, const TmSeries& s) {
  return s.k.alpha * (phi + s.arcBeta * std::sin(2.0 * phi) + s.arcGamma * std::sin(4.0 * phi) +
                      s.arcDelta * std::sin(6.0 * phi) + s.arcEpsilon * std::sin(8.0 * phi));
}

// Latitude whose meridian arc equals the northing y (radians).
inline double FootpointLatitude(double y, const TmSeries& s) {
  const double yy = y / s.k.alpha;
  return yy + s.footBeta * std::sin(2.0 * yy) + s.footGamma * std::sin(4.0 * yy) +
         s.footDelta * std::sin(6.0 * yy) + s.footEpsilon * std::sin(8.0 * yy);
}

inline void LatLongToTM(double lat, double lon, double lon0, const TmSeries& s, double& x,
                        double& y) {
  const TmConstants& k = s.k;
  const double c = std::cos(lat);
  const double t = std::tan(lat);
  const double t2 = t * t;
  const double eta2 = k.ep2 * Pow2(c);
  const double N = Pow2(k.a) / (k.b * std::sqrt(1.0 + eta2));
  const double l = lon - lon0;

  // Coefficients of l^1 .. l^8.
  const double l3coef = 1.0 - t2 + eta2;
  const double l4coef = 5.0 - t2 + 9.0 * eta2 + 4.0 * Pow2(eta2);
  const double l5coef = 5.0 - 18.0 * t2 + Pow2(t2) + 14.0 * eta2 - 58.0 * t2 * eta2;
  const double l6coef = 61.0 - 58.0 * t2 + Pow2(t2) + 270.0 * eta2 - 330.0 * t2 * eta2;
  const double l7coef = 61.0 - 479.0 * t2 + 179.0 * Pow2(t2) - Pow3(t2);
  const double l8coef = 1385.0 - 3111.0 * t2 + 543.0 * Pow2(t2) - Pow3(t2);

  x = N * c * l + N / 6.0 * Pow3(c) * l3coef * Pow3(l) + N / 120.0 * Pow5(c) * l5coef * Pow5(l) +
      N / 5040.0 * Pow7(c) * l7coef * Pow7(l);
  y = ArcLength(lat, s) + t / 2.0 * N * Pow2(c) * Pow2(l) +
      t / 24.0 * N * Pow4(c) * l4coef * Pow4(l) + t / 720.0 * N * Pow6(c) * l6coef * Pow6(l) +
      t / 40320.0 * N * Pow8(c) * l8coef * Pow8(l);
}

inline void TMToLatLong(double x, double y, double lon0, const TmSeries& s, double& lat,
                        double& lon) {
  const TmConstants& k = s.k;
  const double phif = FootpointLatitude(y, s);
  const double cf = std::cos(phif);
  const double tf = std::tan(phif);
  const double tf2 = tf * tf;
  const double tf4 = tf2 * tf2;
  const double etaf2 = k.ep2 * Pow2(cf);
  const double Nf = Pow2(k.a) / (k.b * std::sqrt(1.0 + etaf2));

  // Powers of Nf, built up one factor at a time.
  double Nfpow = Nf;
  const double x1frac = 1.0 / (Nfpow * cf);
  Nfpow *= Nf;  // Nf^2
  const double x2frac = tf / (2.0 * Nfpow);
  Nfpow *= Nf;  // Nf^3
  const double x3frac = 1.0 / (6.0 * Nfpow * cf);
  Nfpow *= Nf;  // Nf^4
  const double x4frac = tf / (24.0 * Nfpow);
  Nfpow *= Nf;  // Nf^5
  const double x5frac = 1.0 / (120.0 * Nfpow * cf);
  Nfpow *= Nf;  // Nf^6
  const double x6frac = tf / (720.0 * Nfpow);
  Nfpow *= Nf;  // Nf^7
  const double x7frac = 1.0 / (5040.0 * Nfpow * cf);
  Nfpow *= Nf;  // Nf^8
  const double x8frac = tf / (40320.0 * Nfpow);

  const double x2poly = -1.0 - etaf2;
  const double x3poly = -1.0 - 2.0 * tf2 - etaf2;
  const double x4poly = 5.0 + 3.0 * tf2 + 6.0 * etaf2 - 6.0 * tf2 * etaf2 - 3.0 * Pow2(etaf2) -
                        9.0 * tf2 * Pow2(etaf2);
  const double x5poly = 5.0 + 28.0 * tf2 + 24.0 * tf4 + 6.0 * etaf2 + 8.0 * tf2 * etaf2;
  const double x6poly = -61.0 - 90.0 * tf2 - 45.0 * tf4 - 107.0 * etaf2 + 162.0 * tf2 * etaf2;
  const double x7poly = -61.0 - 662.0 * tf2 - 1320.0 * tf4 - 720.0 * tf4 * tf2;
  const double x8poly = 1385.0 + 3633.0 * tf2 + 4095.0 * tf4 + 1575.0 * tf4 * tf2;

  lat = phif + x2frac * x2poly * Pow2(x) + x4frac * x4poly * Pow4(x) + x6frac * x6poly * Pow6(x) +
        x8frac * x8poly * Pow8(x);
  lon = lon0 + x1frac * x + x3frac * x3poly * Pow3(x) + x5frac * x5poly * Pow5(x) +
        x7frac * x7poly * Pow7(x);
}

}  // namespace marovia::geodetail
