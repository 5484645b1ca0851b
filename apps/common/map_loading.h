// Loading a calibrated map and a landmark file into a map control, with one
// clear line for everything that can go wrong.
#pragma once

#include <stdexcept>
#include <string>

namespace marovia {
class TGeoMap;
}

namespace marovia::apps {

// A file the map tools cannot use; the message is one printable line that
// starts with the file's name.
class TMapFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads the first calibration data set of CalibrationFile into Map and the
// map image it names from beside the file (see MapImageBeside). Raises
// TMapFileError when the file cannot be read, holds no data set or a
// damaged one, or when the image is missing or cannot be decoded. The map
// control's OnMapImageRequest handler is kept.
void LoadCalibratedMap(TGeoMap& Map, const std::string& CalibrationFile);

// Loads the first landmark set of FileName into Map (replacing the
// landmarks it held). Raises TMapFileError when the file cannot be read or
// holds no landmark set.
void LoadLandmarkFile(TGeoMap& Map, const std::string& FileName);

}  // namespace marovia::apps
