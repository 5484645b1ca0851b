// Runs the geomap tool in-process on string streams.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "geomap_cli.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"

namespace marovia::geomaptool::test {

struct TResult {
  int Status;
  std::string Out, Err;
};

inline TResult RunTool(const std::vector<std::string>& Args, const std::string& Input = "") {
  std::istringstream in(Input);
  std::ostringstream out, err;
  const int status = Run(Args, in, out, err);
  return {status, out.str(), err.str()};
}

// The sample atlas and one of its files.
inline std::string Sample(const std::string& Name = "") {
  return Name.empty() ? std::string(MAROVIA_SAMPLE_ATLAS)
                      : std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name;
}

// A calibration file and its image loaded by the map control's own reader
// and image loader (the image looked for beside the file): what the tool's
// map sources answer is checked against it.
inline void LoadIntoControl(TGeoMap& Map, const std::string& Calibration) {
  const std::string dir = ExtractFilePath(Calibration);
  Map.OnMapImageRequest = [dir](TObject*, std::string& FileName) {
    FileName = dir + ExtractFileName(FileName);
  };
  Map.LoadCalDataFromXML(Calibration, "");
}

// Number of lines of a text.
inline int Lines(const std::string& Text) {
  int n = 0;
  for (const char c : Text) n += c == '\n';
  return n;
}

}  // namespace marovia::geomaptool::test
