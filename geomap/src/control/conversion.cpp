// The control's conversions: pixel <-> geographic and the UTM grid
// crossings under its calibration (map_calibration_convert.cpp computes
// them), control <-> image coordinates, and the map's corners and
// resolution.
//
// No conversion raises: a model that gives no value, or a value that is
// not finite or does not fit a 32-bit pixel coordinate, reports failure
// (valid false and 0, or result false with x = y = 0).
#include <algorithm>
#include <cmath>

#include "calibration/point_models.h"
#include "marovia/geomap/geomap.h"
#include "render/map_view.h"

namespace marovia {

// ------------------------------------------------------------ pixel <-> geo

double TGeoMap::CalcLatitude(int32_t x, int32_t y, bool& valid) const {
  const TPixelPosition p = PixelPosition(x, y);
  valid = p.LatValid;
  return p.Latit;
}

double TGeoMap::CalcLongitude(int32_t x, int32_t y, bool& valid) const {
  const TPixelPosition p = PixelPosition(x, y);
  valid = p.LongValid;
  return p.Longit;
}

bool TGeoMap::CalcPixelCoords(double Lat, double Long, int32_t& x, int32_t& y) const {
  return FCalib.GeoToPixel(Lat, Long, x, y);
}

// ------------------------------------------------------------ UTM grid

bool TGeoMap::CalcPixelCoordsUTM(double Northing, double Easting, int32_t& x, int32_t& y) const {
  return FCalib.UTMToPixel(Northing, Easting, x, y);
}

int32_t TGeoMap::CalcUTMyFromNorthingX(double Northing, int32_t x, bool& valid) const {
  return FCalib.UTMyFromNorthingX(Northing, x, valid);
}

int32_t TGeoMap::CalcUTMyFromNorthingX(double Northing, int32_t x) const {
  bool valid = false;
  return CalcUTMyFromNorthingX(Northing, x, valid);
}

int32_t TGeoMap::CalcUTMxFromEastingY(double Easting, int32_t y, bool& valid) const {
  return FCalib.UTMxFromEastingY(Easting, y, valid);
}

int32_t TGeoMap::CalcUTMxFromEastingY(double Easting, int32_t y) const {
  bool valid = false;
  return CalcUTMxFromEastingY(Easting, y, valid);
}

// ------------------------------------------------------------ control <-> image

// Any control point converts; results beyond 32 bits saturate.
TPoint TGeoMap::ControlToMapImage(TPoint APoint) const {
  return ControlView().ControlToImage(APoint, render::TPixelRange::Int32);
}

TPoint TGeoMap::MapImageToControl(TPoint APoint) const {
  return ControlView().ImageToControl(APoint.X, APoint.Y, render::TPixelRange::Int32);
}

// ------------------------------------------------------------ extents

// The corners lie on the edges of the bitmap itself, which can differ from
// the size the control last accepted (a missing calibration file empties
// the image size but keeps the bitmap).
void TGeoMap::CalcExtentsAndResolution() {
  const render::TImageSource image = ImageSource();
  FCalib.CalcExtentsAndResolution(static_cast<int32_t>(image.Width),
                                  static_cast<int32_t>(image.Height));
}

bool TGeoMap::IsPositionWithinMap(double Latit, double Longit) const {
  return PositionInMap(Latit, Longit, FCalibData.Corners);
}

TCornerArray ContinuousCorners(const TCornerArray& Corners) {
  TCornerArray moved = Corners;
  const double reference = Corners[gcoTopLeft].Longit;
  for (TCoords& c : moved) {
    if (!std::isfinite(c.Longit) || !std::isfinite(reference)) return Corners;
    c.Longit = pointmodel::LongitudeNear(c.Longit, reference);
  }
  // A world map's east edge would fold onto its west edge: as given.
  const bool eastOfWest = moved[gcoTopRight].Longit > moved[gcoTopLeft].Longit &&
                          moved[gcoBottomRight].Longit > moved[gcoBottomLeft].Longit;
  return eastOfWest ? moved : Corners;
}

// Strictly inside the quadrilateral: the position lies on the same side of
// every edge as of the closing edge 3 -> 0.
bool PositionInMap(double Latit, double Longit, const TCornerArray& Given) {
  const TCornerArray Corners = ContinuousCorners(Given);
  double west = Corners[0].Longit, east = west;
  for (const TCoords& c : Corners) {
    west = std::min(west, c.Longit);
    east = std::max(east, c.Longit);
  }
  if ((east > 180 || west < -180) && std::isfinite(Longit)) {
    // Across 180 degrees: the position's meridian nearest the map's middle.
    Longit = pointmodel::LongitudeNear(Longit, (west + east) / 2);
  }
  const auto side = [Latit, Longit](const TCoords& a, const TCoords& b) {
    return (a.Latit - b.Latit) * (b.Longit - Longit) + (a.Longit - b.Longit) * (Latit - b.Latit);
  };
  const double reference = side(Corners[3], Corners[0]);
  return side(Corners[0], Corners[1]) * reference > 0 &&
         side(Corners[1], Corners[2]) * reference > 0 &&
         side(Corners[2], Corners[3]) * reference > 0;
}

}  // namespace marovia
