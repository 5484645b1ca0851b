// The files of a map folder (an atlas): which files hold calibrations,
// landmarks or symbols, judged by their content.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace marovia {

// What an XML file holds, judged by its first root element.
enum class TMapFileKind { Calibration, Landmarks, Symbols, Other };

// Looks at the start of the file only (at most kMapFileProbeBytes), so a
// huge or binary file costs nothing: the first line that holds "quorvant"
// (in any case) and a root tag decides. Raises EInOutError naming the file
// when it cannot be read.
constexpr std::size_t kMapFileProbeBytes = 64 * 1024;
TMapFileKind ProbeMapFile(const std::string& FileName);

// Calibration and landmark files found among paths, and one line for each
// path that could not be used.
struct TMapFiles {
  std::vector<std::string> Calibrations;
  std::vector<std::string> LandmarkFiles;
  std::vector<std::string> Problems;  // "<file>: <why>"
};

// A folder contributes its .xml files (not those of sub-folders), sorted by
// name; a file stands for itself. Symbol files in a folder are passed over;
// every other file that is neither a calibration nor a landmark file is a
// problem, as is a path that does not exist or cannot be read.
TMapFiles ScanMapFiles(const std::vector<std::string>& Paths);

}  // namespace marovia
