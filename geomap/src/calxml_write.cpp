// Writing calibration files. (Being written.)
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"

namespace marovia {

void WriteRawCalDataToOpenXMLFile(TTextFile&, bool, const std::string&, const TCalibData&,
                                  TCalibModel) {}

void TGeoMap::WriteCalDataToOpenXMLFile(TTextFile&, bool, const std::string&) {}
void TGeoMap::SaveCalDataAsXML(const std::string&, const std::string&) {}
void TGeoMap::SaveCalDataAsXML(TStream&, const std::string&) {}

}  // namespace marovia
