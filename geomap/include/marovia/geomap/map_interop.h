// Maps from and to other software: what an import gives back.
//
// Every importer (GeoTIFF, world files, .map files, control-point lists)
// answers the calibration it read, fitted, and the map image it belongs
// to; every exporter writes under a temporary name and renames, so a failed
// export leaves no file and an existing one as it was. Errors are
// EZYLGeoMapError with a message that names the file (and the line, for text
// formats).
#pragma once

#include <string>

#include "marovia/geomap/map_calibration.h"

namespace marovia {

struct TImportedMap {
  // Fitted, with the image size set.
  TMapCalibration Calibration;
  // The map image's file as found on disk (a path usable as given).
  std::string ImageName;
};

}  // namespace marovia
