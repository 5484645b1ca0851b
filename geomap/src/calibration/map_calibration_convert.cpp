// Single-point conversions of a fitted calibration: pixel <-> geographic
// under each model, the UTM grid crossings, and the corners and resolution
// of the image.
//
// One switch per direction is the whole model dispatch; a new model adds a
// case to each. The hot paths allocate nothing and evaluate the fitted
// parameters as they stand.
#include <cmath>

#include "calibration/graticule_model.h"
#include "calibration/pixel_rounding.h"
#include "calibration/point_models.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

using namespace pointmodel;

namespace {

// Sphere and circumference of the resolution along the middle row.
constexpr double kFullCircumference = 40074155.889191404;
constexpr double kHalfCircumference = 20037077.944595702;

bool Fail(int32_t& x, int32_t& y) {
  x = 0;
  y = 0;
  return false;
}

// Rounds both coordinates or neither.
bool RoundPixel(double X, double Y, int32_t& x, int32_t& y) {
  int32_t rx = 0, ry = 0;
  if (!RoundToPixel(X, rx) || !RoundToPixel(Y, ry)) return Fail(x, y);
  x = rx;
  y = ry;
  return true;
}

// A coordinate of a conversion: v when it exists and is finite, else 0.
double Checked(double v, bool exists, bool& valid) {
  valid = exists && std::isfinite(v);
  return valid ? v : 0;
}

}  // namespace

// ------------------------------------------------------------ pixel -> geo

TPixelPosition TMapCalibration::PixelToGeo(double x, double y) const {
  double lat = 0, lon = 0;
  bool latExists = true, lonExists = true;
  switch (FModel) {
    case cmParabolicIp:
      latExists = GratLatitude(FGratMat, x, y, lat);
      lonExists = GratLongitude(FGratMat, x, y, lon);
      break;
    case cmBiquadraticPn:
      lat = Quadratic(FCalParsPLSP[0], x, y);
      lon = Quadratic(FCalParsPLSP[1], x, y);
      break;
    case cmConicConformal:
      lat = ConicLatitude(FConicPars, x, y);
      // The angle from the apex is undefined on the apex row.
      lonExists = y != FConicPars[1];
      if (lonExists) lon = ConicLongitude(FConicPars, x, y);
      break;
    case cmMillerCylindrical:
      latExists = FMillercylPar[0][0] != 0;
      if (latExists) lat = MillerLatitude(FMillercylPar, y);
      lonExists = FMillercylPar[1][0] != 0;
      if (lonExists) lon = MillerLongitude(FMillercylPar, x);
      break;
    case cmEquiRect:
      lat = Affine(FEquRectPLSP[0], x, y);
      lon = Affine(FEquRectPLSP[1], x, y);
      break;
    case cmUTM:
      latExists = lonExists = UTMPixelToGeo(FEquRectPLSP, FData, x, y, lat, lon);
      break;
    case cmProjected:
      latExists = lonExists = ProjectedPixelToGeo(x, y, lat, lon);
      break;
    case cmThinPlate:
      latExists = lonExists = ThinPlatePixelToGeo(x, y, lat, lon);
      break;
    default:
      latExists = lonExists = false;
  }
  TPixelPosition p;
  p.Latit = Checked(lat, latExists, p.LatValid);
  p.Longit = Checked(lon, lonExists, p.LongValid);
  if (p.LongValid && !std::isnan(FLongitudeCentre)) p.Longit = WrappedLongitude(p.Longit);
  return p;
}

// ------------------------------------------------------------ geo -> pixel

bool TMapCalibration::GeoToPixelExact(double Lat, double Long, double& X, double& Y) const {
  X = 0;
  Y = 0;
  if (!std::isnan(FLongitudeCentre)) Long = LongitudeNear(Long, FLongitudeCentre);
  double px = 0, py = 0;
  switch (FModel) {
    case cmParabolicIp:
      if (!GratPixel(FGratMat, Lat, Long, px, py)) return false;
      break;
    case cmBiquadraticPn:
      px = Quadratic(FCalParsSPPL[0], Lat, Long);
      py = Quadratic(FCalParsSPPL[1], Lat, Long);
      break;
    case cmConicConformal: {
      double t = 0;
      if (!ConicRow(FConicPars, Lat, Long, py, t)) return false;
      px = FConicPars[0] + (py - FConicPars[1]) * t;
      break;
    }
    case cmMillerCylindrical:
      px = MillerX(FMillercylPar, Long);
      py = MillerY(FMillercylPar, Lat);
      break;
    case cmEquiRect:
      px = Affine(FEquRectSPPL[0], Lat, Long);
      py = Affine(FEquRectSPPL[1], Lat, Long);
      break;
    case cmUTM: {
      if (!IsCatalogueEllipsoid(FData.Ellipsoid)) return false;
      double northing = 0, easting = 0;
      ProjectToMapZone(Lat, Long, FData.UTMZone, FData.UTMSouth, FData.Ellipsoid, northing,
                       easting);
      px = Affine(FEquRectSPPL[0], northing, easting);
      py = Affine(FEquRectSPPL[1], northing, easting);
      break;
    }
    case cmProjected:
      if (!ProjectedGeoToPixel(Lat, Long, px, py)) return false;
      break;
    case cmThinPlate:
      if (!ThinPlateGeoToPixel(Lat, Long, px, py)) return false;
      break;
    default:
      return false;
  }
  if (!std::isfinite(px) || !std::isfinite(py)) return false;
  X = px;
  Y = py;
  return true;
}

bool TMapCalibration::GeoToPixel(double Lat, double Long, int32_t& x, int32_t& y) const {
  if (FModel == cmConicConformal) {
    if (!std::isnan(FLongitudeCentre)) Long = LongitudeNear(Long, FLongitudeCentre);
    // The column follows from the row as rounded.
    double Y = 0, t = 0;
    int32_t ry = 0;
    if (!ConicRow(FConicPars, Lat, Long, Y, t) || !RoundToPixel(Y, ry)) return Fail(x, y);
    return RoundPixel(FConicPars[0] + (ry - FConicPars[1]) * t, ry, x, y);
  }
  double X = 0, Y = 0;
  if (!GeoToPixelExact(Lat, Long, X, Y)) return Fail(x, y);
  return RoundPixel(X, Y, x, y);
}

// ------------------------------------------------------------ UTM grid

bool TMapCalibration::UTMToPixel(double Northing, double Easting, int32_t& x, int32_t& y) const {
  if (FModel != cmUTM) return Fail(x, y);
  return RoundPixel(Affine(FEquRectSPPL[0], Northing, Easting),
                    Affine(FEquRectSPPL[1], Northing, Easting), x, y);
}

int32_t TMapCalibration::UTMyFromNorthingX(double Northing, int32_t x, bool& valid) const {
  valid = false;
  const auto& s = FEquRectSPPL;
  if (s[0][2] == 0) return 0;  // columns do not depend on the easting
  const double easting = (x - s[0][0] - s[0][1] * Northing) / s[0][2];
  int32_t y = 0;
  if (!RoundToPixel(Affine(s[1], Northing, easting), y)) return 0;
  valid = true;
  return y;
}

int32_t TMapCalibration::UTMxFromEastingY(double Easting, int32_t y, bool& valid) const {
  valid = false;
  const auto& s = FEquRectSPPL;
  if (s[1][1] == 0) return 0;  // rows do not depend on the northing
  const double northing = (y - s[1][0] - s[1][2] * Easting) / s[1][1];
  int32_t x = 0;
  if (!RoundToPixel(Affine(s[0], northing, Easting), x)) return 0;
  valid = true;
  return x;
}

// ------------------------------------------------------------ extents

void TMapCalibration::CalcExtentsAndResolution() {
  CalcExtentsAndResolution(FWidth, FHeight);
}

void TMapCalibration::CalcExtentsAndResolution(int32_t Width, int32_t Height) {
  const int32_t w = Width;
  const int32_t h = Height;
  // Invalid conversions store 0, as the flags are not needed here.
  const auto corner = [this](int32_t x, int32_t y) {
    const TPixelPosition p = PixelToGeo(x, y);
    return TCoords{p.Latit, p.Longit};
  };
  FData.Corners[gcoTopLeft] = corner(0, 0);
  FData.Corners[gcoBottomLeft] = corner(0, h);
  FData.Corners[gcoBottomRight] = corner(w, h);
  FData.Corners[gcoTopRight] = corner(w, 0);

  const TCoords left = corner(0, h / 2);
  const TCoords right = corner(w, h / 2);
  if (w < 1) {
    FData.Resolution = 0;
    return;
  }
  double dist = SphereGreatCircleDist(kDistanceSphereRadius, left.Latit, left.Longit, right.Latit,
                                      right.Longit);
  const double span = right.Longit - left.Longit;
  if (span > 360) {
    dist += kFullCircumference;
  } else if (span > 180) {
    dist += kHalfCircumference;
  }
  FData.Resolution = dist / w;
}

}  // namespace marovia
