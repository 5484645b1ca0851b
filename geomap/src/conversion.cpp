// Pixel <-> geographic conversion under the current calibration model, the
// UTM grid crossings, control <-> image coordinates, and the map's corners
// and resolution.
//
// No conversion raises: a model that gives no value, or a value that is
// not finite or does not fit a 32-bit pixel coordinate, reports failure
// (valid false and 0, or result false with x = y = 0). The hot paths
// allocate nothing and evaluate the fitted parameters as they stand.
#include <cmath>

#include "graticule_model.h"
#include "marovia/geomap/geomap.h"
#include "marovia/zylmath/math1.h"
#include "pixel_rounding.h"
#include "point_models.h"

namespace marovia {

using namespace pointmodel;

namespace {

// Sphere and circumference of the resolution along the middle row.
constexpr double kEarthRadius = 6378000;
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

// The result of a conversion: v when it exists and is finite, else 0.
double Checked(double v, bool exists, bool& valid) {
  if (!exists || !std::isfinite(v)) return 0;
  valid = true;
  return v;
}

// Geographic position of the pixel under cmUTM, from the map's zone.
bool UTMPixelToGeo(const TAffineRows& plsp, const TCalibData& cd, double x, double y, double& Lat,
                   double& Long) {
  if (!IsCatalogueEllipsoid(cd.Ellipsoid)) return false;
  const double northing = Affine(plsp[0], x, y);
  const double easting = Affine(plsp[1], x, y);
  UTMToLatLong(easting, northing, cd.UTMZone, cd.UTMSouth, cd.Ellipsoid, Lat, Long);
  return true;
}

}  // namespace

// ------------------------------------------------------------ pixel -> geo

double TGeoMap::CalcLatitude(int32_t x, int32_t y, bool& valid) const {
  valid = false;
  const double px = x, py = y;
  double lat = 0, lon = 0;
  bool exists = true;
  switch (FCalibModel) {
    case cmParabolicIp:
      exists = GratLatitude(FGratMat, px, py, lat);
      break;
    case cmBiquadraticPn:
      lat = Quadratic(FCalParsPLSP[0], px, py);
      break;
    case cmConicConformal:
      lat = ConicLatitude(FConicPars, px, py);
      break;
    case cmMillerCylindrical:
      exists = FMillercylPar[0][0] != 0;
      if (exists) lat = MillerLatitude(FMillercylPar, py);
      break;
    case cmEquiRect:
      lat = Affine(FEquRectPLSP[0], px, py);
      break;
    case cmUTM:
      exists = UTMPixelToGeo(FEquRectPLSP, FCalibData, px, py, lat, lon);
      break;
    default:
      exists = false;
  }
  return Checked(lat, exists, valid);
}

double TGeoMap::CalcLongitude(int32_t x, int32_t y, bool& valid) const {
  valid = false;
  const double px = x, py = y;
  double lat = 0, lon = 0;
  bool exists = true;
  switch (FCalibModel) {
    case cmParabolicIp:
      exists = GratLongitude(FGratMat, px, py, lon);
      break;
    case cmBiquadraticPn:
      lon = Quadratic(FCalParsPLSP[1], px, py);
      break;
    case cmConicConformal:
      // The angle from the apex is undefined on the apex row.
      exists = py != FConicPars[1];
      if (exists) lon = ConicLongitude(FConicPars, px, py);
      break;
    case cmMillerCylindrical:
      exists = FMillercylPar[1][0] != 0;
      if (exists) lon = MillerLongitude(FMillercylPar, px);
      break;
    case cmEquiRect:
      lon = Affine(FEquRectPLSP[1], px, py);
      break;
    case cmUTM:
      exists = UTMPixelToGeo(FEquRectPLSP, FCalibData, px, py, lat, lon);
      break;
    default:
      exists = false;
  }
  return Checked(lon, exists, valid);
}

// ------------------------------------------------------------ geo -> pixel

bool TGeoMap::GeoToPixelExact(double Lat, double Long, double& X, double& Y) const {
  switch (FCalibModel) {
    case cmParabolicIp:
      if (!GratPixel(FGratMat, Lat, Long, X, Y)) return false;
      break;
    case cmBiquadraticPn:
      X = Quadratic(FCalParsSPPL[0], Lat, Long);
      Y = Quadratic(FCalParsSPPL[1], Lat, Long);
      break;
    case cmConicConformal: {
      double t = 0;
      if (!ConicRow(FConicPars, Lat, Long, Y, t)) return false;
      X = FConicPars[0] + (Y - FConicPars[1]) * t;
      break;
    }
    case cmMillerCylindrical:
      X = MillerX(FMillercylPar, Long);
      Y = MillerY(FMillercylPar, Lat);
      break;
    case cmEquiRect:
      X = Affine(FEquRectSPPL[0], Lat, Long);
      Y = Affine(FEquRectSPPL[1], Lat, Long);
      break;
    case cmUTM: {
      if (!IsCatalogueEllipsoid(FCalibData.Ellipsoid)) return false;
      double northing = 0, easting = 0;
      ProjectToMapZone(Lat, Long, FCalibData.UTMZone, FCalibData.UTMSouth, FCalibData.Ellipsoid,
                       northing, easting);
      X = Affine(FEquRectSPPL[0], northing, easting);
      Y = Affine(FEquRectSPPL[1], northing, easting);
      break;
    }
    default:
      return false;
  }
  return std::isfinite(X) && std::isfinite(Y);
}

bool TGeoMap::CalcPixelCoords(double Lat, double Long, int32_t& x, int32_t& y) const {
  double X = 0, Y = 0;
  if (FCalibModel == cmConicConformal) {
    // The column follows from the row as rounded.
    double t = 0;
    int32_t ry = 0;
    if (!ConicRow(FConicPars, Lat, Long, Y, t) || !RoundToPixel(Y, ry)) return Fail(x, y);
    return RoundPixel(FConicPars[0] + (ry - FConicPars[1]) * t, ry, x, y);
  }
  if (!GeoToPixelExact(Lat, Long, X, Y)) return Fail(x, y);
  return RoundPixel(X, Y, x, y);
}

// ------------------------------------------------------------ UTM grid

bool TGeoMap::CalcPixelCoordsUTM(double Northing, double Easting, int32_t& x, int32_t& y) const {
  if (FCalibModel != cmUTM) return Fail(x, y);
  return RoundPixel(Affine(FEquRectSPPL[0], Northing, Easting),
                    Affine(FEquRectSPPL[1], Northing, Easting), x, y);
}

int32_t TGeoMap::CalcUTMyFromNorthingX(double Northing, int32_t x, bool& valid) const {
  valid = false;
  const auto& s = FEquRectSPPL;
  if (s[0][2] == 0) return 0;  // columns do not depend on the easting
  const double easting = (x - s[0][0] - s[0][1] * Northing) / s[0][2];
  int32_t y = 0;
  if (!RoundToPixel(Affine(s[1], Northing, easting), y)) return 0;
  valid = true;
  return y;
}

int32_t TGeoMap::CalcUTMyFromNorthingX(double Northing, int32_t x) const {
  bool valid = false;
  return CalcUTMyFromNorthingX(Northing, x, valid);
}

int32_t TGeoMap::CalcUTMxFromEastingY(double Easting, int32_t y, bool& valid) const {
  valid = false;
  const auto& s = FEquRectSPPL;
  if (s[1][1] == 0) return 0;  // rows do not depend on the northing
  const double northing = (y - s[1][0] - s[1][2] * Easting) / s[1][1];
  int32_t x = 0;
  if (!RoundToPixel(Affine(s[0], northing, Easting), x)) return 0;
  valid = true;
  return x;
}

int32_t TGeoMap::CalcUTMxFromEastingY(double Easting, int32_t y) const {
  bool valid = false;
  return CalcUTMxFromEastingY(Easting, y, valid);
}

// ------------------------------------------------------------ control <-> image

// Any control point converts; results beyond 32 bits saturate.
TPoint TGeoMap::ControlToMapImage(TPoint APoint) const {
  return {SaturateToInt32(RoundHalfEven(APoint.X / FMagnify) + FTopLeft.X),
          SaturateToInt32(RoundHalfEven(APoint.Y / FMagnify) + FTopLeft.Y)};
}

TPoint TGeoMap::MapImageToControl(TPoint APoint) const {
  const double dx = static_cast<double>(APoint.X) - FTopLeft.X;
  const double dy = static_cast<double>(APoint.Y) - FTopLeft.Y;
  return {SaturateToInt32(RoundHalfEven(dx * FMagnify)),
          SaturateToInt32(RoundHalfEven(dy * FMagnify))};
}

// ------------------------------------------------------------ extents

void TGeoMap::CalcExtentsAndResolution() {
  const int32_t w = GrafBmp->Width();
  const int32_t h = GrafBmp->Height();
  // Invalid conversions store 0, as the flags are not needed here.
  const auto corner = [this](int32_t x, int32_t y) {
    bool valid = false;
    TCoords c;
    c.Latit = CalcLatitude(x, y, valid);
    c.Longit = CalcLongitude(x, y, valid);
    return c;
  };
  FCalibData.Corners[gcoTopLeft] = corner(0, 0);
  FCalibData.Corners[gcoBottomLeft] = corner(0, h);
  FCalibData.Corners[gcoBottomRight] = corner(w, h);
  FCalibData.Corners[gcoTopRight] = corner(w, 0);

  const TCoords left = corner(0, h / 2);
  const TCoords right = corner(w, h / 2);
  if (w < 1) {
    FCalibData.Resolution = 0;
    return;
  }
  double dist =
      SphereGreatCircleDist(kEarthRadius, left.Latit, left.Longit, right.Latit, right.Longit);
  const double span = right.Longit - left.Longit;
  if (span > 360) {
    dist += kFullCircumference;
  } else if (span > 180) {
    dist += kHalfCircumference;
  }
  FCalibData.Resolution = dist / w;
}

bool TGeoMap::IsPositionWithinMap(double Latit, double Longit) const {
  return PositionInMap(Latit, Longit, FCalibData.Corners);
}

// Strictly inside the quadrilateral: the position lies on the same side of
// every edge as of the closing edge 3 -> 0.
bool PositionInMap(double Latit, double Longit, const TCornerArray& Corners) {
  const auto side = [Latit, Longit](const TCoords& a, const TCoords& b) {
    return (a.Latit - b.Latit) * (b.Longit - Longit) + (a.Longit - b.Longit) * (Latit - b.Latit);
  };
  const double reference = side(Corners[3], Corners[0]);
  return side(Corners[0], Corners[1]) * reference > 0 &&
         side(Corners[1], Corners[2]) * reference > 0 &&
         side(Corners[2], Corners[3]) * reference > 0;
}

}  // namespace marovia
