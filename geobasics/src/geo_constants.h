// Constants and small helpers shared by the geodesy sources (not installed).
#pragma once

#include <cmath>

#include "marovia/geobasics/ellipsoids.h"

namespace marovia::geodetail {

// pi as the grid formulas use it (the nearest double).
inline constexpr double Pi = 3.141592653589793;

inline double DegToRad(double deg) {
  return deg / 180.0 * Pi;
}
inline double RadToDeg(double rad) {
  return rad * (180.0 / Pi);
}

// Integer powers: a negative base with an odd exponent keeps its sign.
inline double Pow2(double x) {
  return x * x;
}
inline double Pow3(double x) {
  return x * x * x;
}
inline double Pow4(double x) {
  return Pow2(x) * Pow2(x);
}
inline double Pow5(double x) {
  return Pow4(x) * x;
}
inline double Pow6(double x) {
  return Pow3(x) * Pow3(x);
}
inline double Pow7(double x) {
  return Pow6(x) * x;
}
inline double Pow8(double x) {
  return Pow4(x) * Pow4(x);
}

// Ellipsoid constants that the projection series need.
struct TmConstants {
  double a, b;
  double n;      // third flattening (a - b) / (a + b)
  double ep2;    // second eccentricity squared (a^2 - b^2) / b^2
  double alpha;  // (a + b) / 2 (1 + n^2/4 + n^4/64), the mean radius of the arc series
};

inline TmConstants TmConstantsOf(TGeoEllipsoid e) {
  const double a = GeoEllipsoidData[e].MajorAxis;
  const double b = GeoEllipsoidData[e].MinorAxis;
  const double n = (a - b) / (a + b);
  return {a, b, n, (a * a - b * b) / (b * b),
          (a + b) / 2.0 * (1.0 + Pow2(n) / 4.0 + Pow4(n) / 64.0)};
}

}  // namespace marovia::geodetail
