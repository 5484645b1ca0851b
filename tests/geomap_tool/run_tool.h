// Runs the geomap tool in-process on string streams.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "geomap_cli.h"

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

// Number of lines of a text.
inline int Lines(const std::string& Text) {
  int n = 0;
  for (const char c : Text) n += c == '\n';
  return n;
}

}  // namespace marovia::geomaptool::test
