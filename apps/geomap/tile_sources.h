// The maps of a tile run: calibration files read into calibrations and
// their map images into pixel levels, for the atlas tiler.
#pragma once

#include <string>
#include <vector>

namespace marovia {
class TAtlasTiles;
}

namespace marovia::geomaptool {

// Adds each calibration file's map to Tiles. A file whose calibration does
// not convert (too few points, an unknown CRS, a damaged file) or whose
// image is missing or cannot be decoded is left out with a line
// "<file>: <why>" in Problems. Answers the number added.
int AddTileMaps(const std::vector<std::string>& Calibrations, TAtlasTiles& Tiles,
                std::vector<std::string>& Problems);

}  // namespace marovia::geomaptool
