// Reading calibration files. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

bool TGeoMap::ReadCalDataFromOpenXMLFile(TTextFile&, const std::string&) {
  return false;
}
bool TGeoMap::LoadCalDataFromXML(const std::string&, const std::string&) {
  return false;
}
bool TGeoMap::LoadCalDataFromXML(TStream&, const std::string&) {
  return false;
}
bool TGeoMap::ReadCalDataIntern(bool, TTextFile*, TStream*, const std::string&) {
  return false;
}

}  // namespace marovia
