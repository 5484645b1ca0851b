// The report of a calibration: model, corners, resolution and the residual
// of every calibration point, shared by the info and calibrate commands.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"

namespace marovia::geomaptool {

// Residual of one point of a graticule line (cmParabolicIp): how far the
// fitted model puts the clicked pixel off its line, in degrees of latitude
// (parallels) or longitude (meridians) and in metres on the ground.
struct TLineResidual {
  int Line = 0;   // 1..NumCalLines
  int Point = 0;  // 1..NumPoints of the line
  TGratLineKind Kind = gtlMeridian;
  double Value = 0;  // the line's latitude or longitude
  int32_t X = 0, Y = 0;
  double OffDegrees = 0;
  double OffMetres = 0;
  bool Valid = false;
};
std::vector<TLineResidual> LineResiduals(const TGeoMap& Map);

// Writes the report of the calibration held by Map: with every point's
// residual, or (Brief) only the largest.
void PrintCalibration(std::ostream& Out, TGeoMap& Map, bool Brief = false);

}  // namespace marovia::geomaptool
