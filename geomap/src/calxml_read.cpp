// Reading calibration files. (Being written.)
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"

namespace marovia {

bool ParseCalibData(const std::string&, const std::string&, TCalibData&, TCalibModel&) {
  return false;
}
bool ParseCalibData(TStream&, const std::string&, TCalibData&, TCalibModel&) {
  return false;
}

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
