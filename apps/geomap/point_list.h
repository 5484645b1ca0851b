// The text list of clicked calibration points that geomap calibrate reads:
// one point a line, numbers separated by blanks or commas, # starts a
// comment.
//
//   X Y LATITUDE LONGITUDE          point models (degrees, north and east positive)
//   X Y NORTHING EASTING            utm (metres)
//   X Y meridian|parallel VALUE     parabolicip (the line's longitude or latitude)
//
// X and Y are whole pixels of the map image, origin top left, y down.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "marovia/geomap/calib_types.h"

namespace marovia::geomaptool {

struct TClickedPoint {
  int32_t X = 0;
  int32_t Y = 0;
  // Point models: latitude and longitude; utm: northing and easting.
  double A = 0;
  double B = 0;
  // parabolicip: the kind of line, its value in A.
  TGratLineKind Line = gtlMeridian;
};

// Why a line is not a point; the message quotes the line safely.
class TPointLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The fields of one line of numbers: separated by blanks or commas, up to a
// '#' that starts a comment (empty for a blank or comment line).
std::vector<std::string> LineFields(const std::string& Line);

// The point of one line under Model; nullopt for a blank or comment line.
// Raises TPointLineError for anything else that is not a point.
std::optional<TClickedPoint> ParsePointLine(const std::string& Line, TCalibModel Model);

}  // namespace marovia::geomaptool
