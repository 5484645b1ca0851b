// Where a printed window of a map lies on the earth: the points by which
// the printed page tells its readers (map apps, GIS) the position of every
// dot of the window.
//
// Readers interpolate between the points, so they form a regular grid over
// the window, fine enough that interpolating in it misses the map's own
// conversion by at most half a dot or half a map pixel, whichever is
// smaller: from 3 x 3 points (an affine map needs no more) up to 33 x 33
// (a map bent so much that this is not enough is given those).
//
// Readers that fit one affine transform to the points (GDAL does) do so in
// the coordinate system the page names: WGS 84 latitude/longitude, or for a
// map that is affine in a projected CRS on WGS 84 (a UTM map, a projected
// calibration of first order) that CRS, in which the fit is exact.
#pragma once

#include <string>

#include "marovia/platform/printers.h"
#include "marovia/platform/types.h"

namespace marovia {

class TMapCalibration;

// A window of a map as printed: page pixel (x, y) shows the image position
// TopLeft + ((x, y) - PageOrigin) / Scale.
struct TPrintedWindow {
  TPoint TopLeft;     // image pixel printed at PageOrigin
  double Scale = 1;   // page pixels per image pixel, above 0
  TPoint PageOrigin;  // page pixels
  TRect Area;         // the page pixels that show the window, not empty
};

// Named Name, the georeferencing of Window by Calib's conversion; fewer
// than 3 points when Calib gives no positions there.
TPageGeoreference PrintedWindowGeoreference(const TMapCalibration& Calib,
                                            const TPrintedWindow& Window, const std::string& Name);

// Largest number of points a side of the grid has.
constexpr int kMaxPrintGridSide = 33;

}  // namespace marovia
