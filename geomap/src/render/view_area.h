// The latitude and longitude box of a part of a view: what a query of a
// spatial index needs to find everything drawn there.
#pragma once

#include "marovia/geomap/overlay_layer.h"

namespace marovia::render {

struct TGeoBox {
  double LatLow = -90, LatHigh = 90;
  double LongLow = -180, LongHigh = 180;  // LongLow > LongHigh: across 180
};

// The box of the view pixels X0..X1, Y0..Y1 (view pixels, any order): the
// positions of 16 points along each edge and of the middle, the longitudes
// taken around the widest gap between them, grown by a fiftieth of the
// box's size each way, and reaching a pole that the calibration puts inside
// the rectangle. The whole globe when fewer than three points convert.
TGeoBox ViewArea(const TLayerView& View, double X0, double Y0, double X1, double Y1);

}  // namespace marovia::render
