// The counts of a calibration record, kept within its capacities (internal
// to the map control). The record is public and written directly by hosts
// and file readers; a count outside its range must not make the
// calibration code index beyond the arrays.
#pragma once

#include <algorithm>

#include "marovia/geomap/calib_types.h"

namespace marovia {

inline int QuadCount(const TCalibData& cd) {
  return std::clamp(cd.NumCalQuads, 0, kMaxCalQuads);
}
inline int LineCount(const TCalibData& cd) {
  return std::clamp(cd.NumCalLines, 0, kMaxCalLines);
}
inline int PointCount(const TCalibLine& line) {
  return std::clamp(line.NumPoints, 0, kMaxLinePoints);
}

}  // namespace marovia
