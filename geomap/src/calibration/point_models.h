// The formulas of the point calibration models, both ways (internal to the
// map control). Pixels are image pixels (x right, y down) as doubles,
// latitudes and longitudes degrees, northings and eastings metres.
//
// Array rows and columns count from 0 here: c[0][0] is the first
// coefficient of the first row. The functions compute; they never round
// and never check finiteness, which the callers do once on the result.
#pragma once

#include <array>
#include <cmath>
#include <numbers>

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geomap/calib_types.h"

namespace marovia::pointmodel {

inline constexpr double kPi = std::numbers::pi;
// 180 / (0.4 pi): radians of the Miller latitude function to degrees.
inline constexpr double kMillerLatScale = 143.2394487827058;

using TAffineRows = std::array<std::array<double, 3>, 2>;
using TQuadraticRows = std::array<std::array<double, 6>, 2>;
using TMillerRows = std::array<std::array<double, 2>, 2>;
using TConicPars = std::array<double, 6>;

// A longitude brought within -180..180 by whole turns (values within stay
// as they are, bit for bit).
inline double WrappedLongitude(double Lon) {
  if (Lon > 180) return Lon - 360 * std::ceil((Lon - 180) / 360);
  if (Lon < -180) return Lon + 360 * std::ceil((-180 - Lon) / 360);
  return Lon;
}

// The longitude of the same meridian within 180 degrees of Centre (values
// already within stay as they are).
inline double LongitudeNear(double Lon, double Centre) {
  const double d = Lon - Centre;
  if (d > 180) return Lon - 360 * std::ceil((d - 180) / 360);
  if (d < -180) return Lon + 360 * std::ceil((-180 - d) / 360);
  return Lon;
}

// c0 + c1 u + c2 v (equirectangular and UTM, either way).
inline double Affine(const std::array<double, 3>& c, double u, double v) {
  return c[0] + c[1] * u + c[2] * v;
}

// c0 + c1 u + c2 v + c3 u^2 + c4 u v + c5 v^2 (biquadratic, either way).
inline double Quadratic(const std::array<double, 6>& c, double u, double v) {
  return c[0] + c[1] * u + c[2] * v + c[3] * (u * u) + c[4] * u * v + c[5] * (v * v);
}

// ---- Miller cylindrical: row 0 maps ln(tan(0.4 lat + pi/4)) to y, row 1
// the longitude in radians to x. A zero slope leaves the inverse undefined.

inline double MillerX(const TMillerRows& m, double Long) {
  return m[1][0] * Long * kPi / 180 + m[1][1];
}
inline double MillerY(const TMillerRows& m, double Lat) {
  return m[0][0] * std::log(std::tan(Lat * 0.4 * kPi / 180 + kPi / 4)) + m[0][1];
}
inline double MillerLatitude(const TMillerRows& m, double y) {
  return (std::atan(std::exp((y - m[0][1]) / m[0][0])) - kPi / 4) * kMillerLatScale;
}
inline double MillerLongitude(const TMillerRows& m, double x) {
  return (x - m[1][1]) / m[1][0] * 180 / kPi;
}

// ---- Conic conformal: apex (p0, p1); latitude p2 r + p3 with r the pixel
// distance from the apex; longitude p4 theta + p5 with theta =
// arctan((x - p0) / (y - p1)) in radians.

inline double ConicLatitude(const TConicPars& p, double x, double y) {
  const double dx = x - p[0];
  const double dy = y - p[1];
  return p[2] * std::sqrt(dx * dx + dy * dy) + p[3];
}
// Undefined on the apex row y = p1.
inline double ConicLongitude(const TConicPars& p, double x, double y) {
  return p[4] * std::atan((x - p[0]) / (y - p[1])) + p[5];
}

// The row of a position before rounding, and t = tan(theta) to place its
// column: x = p0 + (y - p1) t. The apex lies above the map (y grows away
// from it) when latitude falls with the distance from the apex (p2 < 0),
// below it otherwise; the side is the cone's, not the position's
// hemisphere, so maps that cross the equator stay continuous. False when
// the cone is degenerate (p2 or p4 zero).
inline bool ConicRow(const TConicPars& p, double Lat, double Long, double& y, double& t) {
  if (p[2] == 0 || p[4] == 0) return false;
  t = std::tan((Long - p[5]) / p[4]);
  const double s = std::sqrt(t * t + 1);
  const double q = (Lat - p[3]) / p[2];
  y = p[2] < 0 ? p[1] + q / s : p[1] - q / s;
  return true;
}

// ---- UTM

// Northing and easting of a position. With a zone of 1..60 the position is
// projected about that zone's central meridian, with the false northing
// exactly when the map lies in the southern hemisphere, so positions beyond
// the zone's strip or the equator stay on the map's grid. Without a zone
// the position goes to the zone it lies in.
inline void ProjectToMapZone(double Lat, double Long, int Zone, bool South, TGeoEllipsoid Ellipsoid,
                             double& Northing, double& Easting) {
  if (Zone < 1 || Zone > 60) {
    int zone = 0;
    LatLongToUTM(Lat, Long, Ellipsoid, zone, Easting, Northing);
    return;
  }
  double x = 0, y = 0;
  LatLongToTM(Lat / 180.0 * kPi, Long / 180.0 * kPi, UTMCentralMeridian(Zone), Ellipsoid, x, y);
  Easting = x * UTM_k0 + UTM_FalseEasting;
  Northing = y * UTM_k0;
  if (South) Northing += UTM_FalseNorthing;
}

inline bool IsCatalogueEllipsoid(TGeoEllipsoid e) {
  return static_cast<int>(e) < GeoEllipsoidCount;
}

// Geographic position of pixel (x, y) under cmUTM: the affine rows give
// northing (row 0) and easting (row 1) of the map's zone. False for an
// ellipsoid outside the catalogue.
inline bool UTMPixelToGeo(const TAffineRows& plsp, const TCalibData& cd, double x, double y,
                          double& Lat, double& Long) {
  if (!IsCatalogueEllipsoid(cd.Ellipsoid)) return false;
  const double northing = Affine(plsp[0], x, y);
  const double easting = Affine(plsp[1], x, y);
  UTMToLatLong(easting, northing, cd.UTMZone, cd.UTMSouth, cd.Ellipsoid, Lat, Long);
  return true;
}

}  // namespace marovia::pointmodel
