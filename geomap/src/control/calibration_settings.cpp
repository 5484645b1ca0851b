// The settings of the projected and thin-plate models on the control. They
// are checked when set, so that a wrong value is reported where it was
// given rather than at the next refit.
#include <cmath>

#include "calibration/crs_projection.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/strutils.h"

namespace marovia {

void TGeoMap::SetCrsText(const std::string& Value) {
  if (!Value.empty()) {
    try {
      TCrsProjection check(Value);
    } catch (const EZYLGeoMapError& e) {
      throw EZYLGeoMapError("Component \"" + Name() + "\": " + e.what());
    }
  }
  FCalibData.CrsText = Value;
}

void TGeoMap::SetPolyOrder(int32_t Value) {
  if (Value != 1 && Value != 2)
    throw EZYLGeoMapError("Component \"" + Name() +
                          "\": the polynomial order must be 1 or 2, not " + IntToStr(Value));
  FCalibData.PolyOrder = Value;
}

void TGeoMap::SetSmoothing(double Value) {
  if (!(Value >= 0) || !std::isfinite(Value))
    throw EZYLGeoMapError("Component \"" + Name() +
                          "\": the smoothing must be a finite number of at least 0");
  FCalibData.Smoothing = Value;
}

}  // namespace marovia
