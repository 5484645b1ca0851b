// The report of a calibration: model, corners, resolution and the residual
// of every calibration point, shared by the info and calibrate commands.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "marovia/geomap/map_calibration.h"

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
std::vector<TLineResidual> LineResiduals(const TMapCalibration& Cal);

// Writes the report of a calibration of the image ImageName: with every
// point's residual and its leave-one-out residual, or (Brief) only the
// largest residual.
void PrintCalibration(std::ostream& Out, const TMapCalibration& Calibration,
                      const std::string& ImageName, bool Brief = false);

}  // namespace marovia::geomaptool
