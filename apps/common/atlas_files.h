// The files of an atlas folder: which XML file holds calibrations, landmarks
// or symbols, and registering the calibrations with an atlas control.
#pragma once

#include <string>
#include <vector>

namespace marovia {
class TGeoAtlas;
}

namespace marovia::apps {

// What an XML file holds, judged by its first root element.
enum class TMapFileKind { Calibration, Landmarks, Symbols, Other };

// Looks at the start of the file only (at most kProbeBytes), so a huge or
// binary file costs nothing. Raises EInOutError naming the file when it
// cannot be read.
constexpr std::size_t kProbeBytes = 64 * 1024;
TMapFileKind ProbeMapFile(const std::string& FileName);

// Calibration and landmark files found among the paths given, and one line
// for each path that could not be used.
struct TAtlasInputs {
  std::vector<std::string> Calibrations;
  std::vector<std::string> LandmarkFiles;
  std::vector<std::string> Problems;  // "<file>: <why>", printable
};

// A folder contributes its .xml files (not those of sub-folders), sorted by
// name; a file stands for itself. Symbol files are passed over; every other
// file that is neither a calibration nor a landmark file is a problem, as is
// a path that does not exist or cannot be read.
TAtlasInputs ScanAtlasInputs(const std::vector<std::string>& Paths);

// The map image a calibration file names, looked for beside the calibration
// file (maps are moved together with their calibrations, so only the file
// name part of the stored name counts), with a file whose name differs only
// in case standing in for it. Empty when the file names none.
std::string MapImageBeside(const std::string& CalibrationFile, const std::string& StoredName);

// Registers each calibration with the atlas. A file that cannot be read as
// a calibration, or whose map image is missing, is not registered and gets
// a line in Problems. Answers the number registered.
int RegisterAtlasMaps(TGeoAtlas& Atlas, const std::vector<std::string>& Calibrations,
                      std::vector<std::string>& Problems);

}  // namespace marovia::apps
