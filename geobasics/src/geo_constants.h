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

// Central meridian of a UTM zone in degrees; 0 (Greenwich) for a zone
// outside 1..60.
inline double ZoneMeridianDegrees(int zone) {
  return zone >= 1 && zone <= 60 ? 6.0 * zone - 183.0 : 0.0;
}

}  // namespace marovia::geodetail
