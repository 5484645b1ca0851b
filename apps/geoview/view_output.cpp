#include "view_output.h"

#include "marovia/geomap/geomap.h"
#include "marovia/platform/files.h"

namespace marovia::geoview {

std::string NextOutputFile(const std::string& Folder, const std::string& Extension) {
  std::string prefix = Folder;
  if (!prefix.empty() && prefix.back() != '/') prefix += '/';
  for (int n = 1;; ++n) {
    const std::string name = prefix + "geoview-" + std::to_string(n) + "." + Extension;
    if (!FileExists(name)) return name;
  }
}

void PrintMapToPdf(TGeoMap&, const std::string& File) {
  throw EInOutError(File, "printing is not available yet");
}

}  // namespace marovia::geoview
