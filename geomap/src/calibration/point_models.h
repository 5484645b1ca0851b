// The formulas of the point calibration models, both ways (internal to the
// map control). Pixels are image pixels (x right, y down) as doubles,
// latitudes and longitudes degrees, northings and eastings metres.
//
// Array rows and columns count from 0 here: c[0][0] is the first
// coefficient of the first row. The functions compute; they never round
// and never check finiteness, which the callers do once on the result.
// Where a formula needs a sine, tangent, logarithm, exponential or
// arctangent it runs the vector kernels (point_model_kernels.h, and the
// geodesy unit's UTM) on one element, as the batches run them on many.
#pragma once

#include <array>
#include <cmath>
#include <numbers>

#include "calibration/point_model_kernels.h"
#include "marovia/geobasics/ellipsoids.h"
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
  double y = 0;
  MillerRows(m, 1, &Lat, &y);
  return y;
}
inline double MillerLatitude(const TMillerRows& m, double y) {
  double lat = 0;
  MillerLatitudes(m, 1, &y, &lat);
  return lat;
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
  double lon = 0;
  ConicLongitudes(p, 1, &x, &y, &lon);
  return lon;
}

// The row of a position before rounding, and t = tan(theta) to place its
// column: x = p0 + (y - p1) t. The apex lies above the map (y grows away
// from it) when latitude falls with the distance from the apex (p2 < 0),
// below it otherwise; the side is the cone's, not the position's
// hemisphere, so maps that cross the equator stay continuous. False when
// the cone is degenerate (p2 or p4 zero).
inline bool ConicDegenerate(const TConicPars& p) {
  return p[2] == 0 || p[4] == 0;
}
inline bool ConicRow(const TConicPars& p, double Lat, double Long, double& y, double& t) {
  if (ConicDegenerate(p)) return false;
  ConicRows(p, 1, &Lat, &Long, &y, &t);
  return true;
}

// ---- UTM

// Northing and easting of a position. With a zone of 1..60 the position is
// projected about that zone's central meridian, with the false northing
// exactly when the map lies in the southern hemisphere, so positions beyond
// the zone's strip or the equator stay on the map's grid. Without a zone
// the position goes to the zone it lies in.
inline bool IsUTMZone(int Zone) {
  return Zone >= 1 && Zone <= 60;
}
inline void ProjectToMapZone(double Lat, double Long, int Zone, bool South, TGeoEllipsoid Ellipsoid,
                             double& Northing, double& Easting) {
  if (IsUTMZone(Zone)) {
    LatLongToUTMInZone(Lat, Long, Zone, South, Ellipsoid, Easting, Northing);
  } else {
    int zone = 0;
    LatLongToUTM(Lat, Long, Ellipsoid, zone, Easting, Northing);
  }
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
