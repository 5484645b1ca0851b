// The fits of the point models. (Being written.)
#include "marovia/geomap/geomap.h"

namespace marovia {

void TGeoMap::CalcEquiRectCalibration() {}
void TGeoMap::CalcBiquadraticCalibration() {}
void TGeoMap::CalcConicCalibration() {}
void TGeoMap::CalcMillerCylCalibration() {}

}  // namespace marovia
