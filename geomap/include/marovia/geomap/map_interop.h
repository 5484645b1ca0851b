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

// What a reader of an export sees when the format cannot carry the
// calibration's model and a reader fits its own transformation through the
// exported points: the largest and the RMS distance between its position
// and the calibration's, over a dense grid of the image, in pixels and in
// metres. Exact exports (the format names the model) answer Exact.
struct TReadBackError {
  bool Exact = true;
  double MaxPixels = 0, RmsPixels = 0;
  double MaxMetres = 0, RmsMetres = 0;
  // What the reader does, e.g. "a second-order polynomial through 30
  // points in Lambert Conformal Conic".
  std::string How;
};

// One line for a person: "a reader fits HOW: off by at most 0.42 px
// (1.3 km), RMS 0.1 px (310 m)"; "" for an exact export.
std::string ReadBackNote(const TReadBackError& Error);

}  // namespace marovia
