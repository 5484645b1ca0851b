#include "view_output.h"

#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/print_page.h"
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

void PrintMapToPdf(TGeoMap& Map, const std::string& File) {
  TPrintJob job;
  job.FileName = File;
  const TRect window = ViewWindowOnImage(Map);
  // A wide view goes on a turned page.
  job.Landscape = window.Width() > window.Height();
  PrintMapWindow(Map, window, job);
}

}  // namespace marovia::geoview
