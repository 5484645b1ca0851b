// Files the viewer writes: numbered names that replace nothing, and the
// view printed to PDF.
#pragma once

#include <string>

namespace marovia {
class TGeoMap;
}

namespace marovia::geoview {

// "geoview-<n>.<Extension>" in Folder (the current folder when empty), with
// the smallest n from 1 whose file does not exist yet.
std::string NextOutputFile(const std::string& Folder, const std::string& Extension);

// Prints the map's current view to a one-page PDF file. Raises on failure.
void PrintMapToPdf(TGeoMap& Map, const std::string& File);

}  // namespace marovia::geoview
