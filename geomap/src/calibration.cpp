// Calibration points and refits. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

bool TGeoMap::AddCalibPoint(TGratLineKind, double, int32_t, int32_t) {
  return false;
}
bool TGeoMap::AddCalibPoint(double, double, int32_t, int32_t) {
  return false;
}
bool TGeoMap::AddCalibPoint(double, double, int32_t, THemisphere, int32_t, int32_t) {
  return false;
}
bool TGeoMap::RemoveCalibPoint(TGratLineKind, double, int32_t, int32_t) {
  return false;
}
bool TGeoMap::RemoveCalibPoint(int32_t, int32_t) {
  return false;
}
void TGeoMap::RestoreLastDeletedCalPoint() {}
void TGeoMap::ClearCalibData() {
  FCalibData.NumCalLines = 0;
  FCalibData.NumCalQuads = 0;
  FCalibData.UTMZone = -1;
  Paint();
}
void TGeoMap::RecalcCalibration() {
  Paint();
}
bool TGeoMap::RecalcGratMat() {
  return false;
}
void TGeoMap::FitModelAndExtents() {}
void TGeoMap::CalibQuality(double& QualX, double& QualY) {
  QualX = QualY = 0;
}
std::vector<TCalibResidual> TGeoMap::CalibResiduals() const {
  return {};
}

}  // namespace marovia
