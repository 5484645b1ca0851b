// Landmark files. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

bool TGeoMap::ReadLandMarksFromOpenXMLFile(TTextFile&, const std::string&) {
  return false;
}
bool TGeoMap::LoadLandMarks(const std::string&, const std::string&) {
  return false;
}
void TGeoMap::WriteLandMarksToOpenXMLFile(TTextFile&, bool, const std::string&) {}
void TGeoMap::SaveLandmarks(const std::string&, const std::string&) {}

}  // namespace marovia
