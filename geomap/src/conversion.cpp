// Pixel <-> geographic conversion. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

bool PositionInMap(double, double, const TCornerArray&) {
  return false;
}

double TGeoMap::CalcLatitude(int32_t, int32_t, bool& valid) const {
  valid = false;
  return 0;
}
double TGeoMap::CalcLongitude(int32_t, int32_t, bool& valid) const {
  valid = false;
  return 0;
}
bool TGeoMap::CalcPixelCoords(double, double, int32_t&, int32_t&) const {
  return false;
}
bool TGeoMap::CalcPixelCoordsUTM(double, double, int32_t&, int32_t&) const {
  return false;
}
int32_t TGeoMap::CalcUTMyFromNorthingX(double, int32_t) const {
  return 0;
}
int32_t TGeoMap::CalcUTMyFromNorthingX(double, int32_t, bool& valid) const {
  valid = false;
  return 0;
}
int32_t TGeoMap::CalcUTMxFromEastingY(double, int32_t) const {
  return 0;
}
int32_t TGeoMap::CalcUTMxFromEastingY(double, int32_t, bool& valid) const {
  valid = false;
  return 0;
}
TPoint TGeoMap::ControlToMapImage(TPoint APoint) const {
  return APoint;
}
TPoint TGeoMap::MapImageToControl(TPoint APoint) const {
  return APoint;
}
void TGeoMap::CalcExtentsAndResolution() {}
bool TGeoMap::IsPositionWithinMap(double Latit, double Longit) const {
  return PositionInMap(Latit, Longit, FCalibData.Corners);
}

}  // namespace marovia
