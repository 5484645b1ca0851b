#include "view_output.h"

#include <algorithm>
#include <cmath>

#include "map_printing.h"
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

void PrintMapToPdf(TGeoMap& Map, const std::string& File) {
  apps::TPrintJob job;
  job.FileName = File;
  const double m = Map.Magnification();
  const int width = std::max(1, static_cast<int>(std::lround(Map.Width() / m)));
  const int height = std::max(1, static_cast<int>(std::lround(Map.Height() / m)));
  // A wide view goes on a turned page.
  job.Landscape = width > height;
  apps::PrintMapWindow(Map, Map.TopLeft(), width, height, job);
}

}  // namespace marovia::geoview
