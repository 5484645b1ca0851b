// Calibration data of a map: how the pixels of a map image relate to
// latitude and longitude. Shared by the map control (geomap.h), the
// calibration files (calxml.h) and the atlas.
//
// Image coordinates are pixels of the full-resolution map image, origin at
// the top left, y downwards. Latitudes and longitudes are decimal degrees,
// north and east positive.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "marovia/geobasics/ellipsoids.h"
#include "marovia/platform/types.h"

namespace marovia {

struct TCoords {
  double Latit = 0;
  double Longit = 0;
  friend bool operator==(const TCoords&, const TCoords&) = default;
};

// The corners of a map image, in the order the corner arrays hold them.
enum TCorners : uint8_t { gcoTopLeft, gcoBottomLeft, gcoBottomRight, gcoTopRight };
// Geographic positions of the four corners, indexed by TCorners.
using TCornerArray = std::array<TCoords, 4>;

enum TGratLineKind : uint8_t { gtlMeridian, gtlParallel };

// The calibration models. The point models fit calibration points
// (TCalQuad); cmParabolicIp fits graticule lines (TCalibLine). The models
// after cmUndefined came later; they stand behind it so that the values of
// the others, which hosts may have stored, stay as they were.
enum TCalibModel : uint8_t {
  cmParabolicIp,        // parabolas through points on meridians and parallels
  cmBiquadraticPn,      // second-order polynomials both ways
  cmConicConformal,     // cone apex, radius gives latitude, angle longitude
  cmMillerCylindrical,  // Miller cylindrical projection
  cmEquiRect,           // plate carree: affine both ways
  cmUTM,                // affine between pixels and UTM northing/easting of one zone
  cmUndefined,
  cmProjected,  // affine or second-order polynomial to the metres of a known CRS
  cmThinPlate   // thin-plate splines both ways
};
constexpr int kNumCalibModels = cmThinPlate + 1;

// Names of the models in calibration files, indexed by TCalibModel.
inline constexpr std::array<std::string_view, kNumCalibModels> CalibModelNames = {
    "parabolicip", "biquadraticpn", "conicconformal", "millercylindrical", "equirect",
    "utm",         "undefined",     "projected",      "thinplate"};

// Capacities of TCalibData.
constexpr int kMaxCalLines = 25;    // graticule lines
constexpr int kMaxLinePoints = 10;  // points per graticule line
constexpr int kMaxCalQuads = 200;   // calibration points of the point models

// One calibration point of the point models. Under cmUTM, Latitude holds the
// UTM northing and Longitude the easting, both in metres.
struct TCalQuad {
  double Latitude = 0;
  double Longitude = 0;
  int32_t MapX = 0;
  int32_t MapY = 0;
  friend bool operator==(const TCalQuad&, const TCalQuad&) = default;
};

// A calibration point of the point models at full precision: an image
// position that may lie between pixels, and its latitude and longitude
// (under cmUTM northing and easting) as given. The record's TCalQuad holds
// the same point on whole pixels.
struct TControlPoint {
  double X = 0;
  double Y = 0;
  double LatOrNorthing = 0;
  double LongOrEasting = 0;
  friend bool operator==(const TControlPoint&, const TControlPoint&) = default;
};

// One graticule line of cmParabolicIp: pixels on a meridian (LineValue its
// longitude) or a parallel (LineValue its latitude). Points 1..NumPoints are
// CalPoints[0..NumPoints-1].
struct TCalibLine {
  TGratLineKind LineType = gtlMeridian;
  double LineValue = 0;
  int32_t NumPoints = 0;
  std::array<TPoint, kMaxLinePoints> CalPoints{};
  friend bool operator==(const TCalibLine&, const TCalibLine&) = default;
};

// The calibration of one map. Lines 1..NumCalLines are CalLines[0..], quads
// 1..NumCalQuads are CalQuads[0..]; the counts never exceed the capacities.
struct TCalibData {
  std::string MapFName;  // file name of the map image
  std::string Caption;
  TCornerArray Corners{};  // filled from the fitted model
  double Resolution = 0;   // metres per pixel along the middle row
  int32_t NumCalLines = 0;
  std::array<TCalibLine, kMaxCalLines> CalLines{};
  int32_t NumCalQuads = 0;
  std::array<TCalQuad, kMaxCalQuads> CalQuads{};
  int32_t UTMZone = 0;  // 1..60; -1 when cleared
  bool UTMSouth = false;
  TGeoEllipsoid Ellipsoid = gelWGS84;
  // Settings of the later models; the others ignore them.
  std::string CrsText;    // cmProjected: the map's CRS (authority code, PROJ string or WKT)
  int32_t PolyOrder = 1;  // cmProjected: 1 affine (>= 3 points), 2 second order (>= 6)
  double Smoothing = 0;   // cmThinPlate: smoothing lambda >= 0 (0 passes through the points)
  friend bool operator==(const TCalibData&, const TCalibData&) = default;
};

// The corners of a map across 180 degrees in one piece: each moved by whole
// turns to within 180 degrees of the top left, where that leaves the right
// corners east of the left ones (a map of 176 E to 176 W gets 176 to 184).
// The corners of other maps, world maps of -180 to 180 among them, come
// back as given.
TCornerArray ContinuousCorners(const TCornerArray& Corners);

// Whether (Latit, Longit) lies strictly inside the quadrilateral of the four
// corners (in TCorners order). Positions on an edge and degenerate corner
// sets (all zero) are outside. Longitudes are compared as given, without
// wrapping at 180 degrees, except on a map whose corners lie across 180
// degrees (in one piece or not, see ContinuousCorners), which takes a
// position by its meridian on either side.
bool PositionInMap(double Latit, double Longit, const TCornerArray& Corners);

}  // namespace marovia
