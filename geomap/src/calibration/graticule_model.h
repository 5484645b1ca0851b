// The line calibration model (internal to the map control): conversions
// over the graticule matrix, one row per calibration line with 5 columns
//   1  kind: 1 parallel, 0 meridian
//   2  the line's value: latitude of a parallel, longitude of a meridian
//   3..5  a0, a1, a2 of its parabola: a parallel is y = a0 + a1 x + a2 x^2,
//         a meridian x = a0 + a1 y + a2 y^2 (image pixels).
// A position is interpolated, linearly, between the two lines of each kind
// nearest to it; outside them the interpolation extrapolates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "marovia/zylmath/matrix.h"

namespace marovia {

// Latitude and longitude of image pixel (x, y). False when the matrix holds
// fewer than two parallels or fewer than two meridians, when the two nearest
// lines meet at the pixel (closer than 1e-6 pixels), or when the result is not finite.
bool GratLatitude(const TMatrix& Grat, double x, double y, double& Lat);
bool GratLongitude(const TMatrix& Grat, double x, double y, double& Long);

// Image pixel (before rounding) of a position: the parabolas of the
// position's parallel and meridian are interpolated from the two nearest
// lines of each kind, and their crossing is found by 15 passes of fixed-
// point iteration from x = 500. False with fewer than 4 rows, with fewer
// than two lines of either kind, when the iteration diverges (both
// coordinates beyond 50000), or when the result is not finite.
bool GratPixel(const TMatrix& Grat, double Lat, double Long, double& X, double& Y);

// The rows of a graticule matrix read once, for many conversions: the same
// answers as the functions above, without reading the matrix per point.
class TGraticuleRows {
 public:
  struct TRow {
    double kind, value, a0, a1, a2;
  };
  explicit TGraticuleRows(const TMatrix& Grat);
  bool Latitude(double x, double y, double& Lat) const;
  bool Longitude(double x, double y, double& Long) const;
  bool Pixel(double Lat, double Long, double& X, double& Y) const;
  // Pixel for n positions: Ok[i] is Pixel's answer for position i, X[i]
  // and Y[i] its pixel (0 when it fails). The arrays must not overlap.
  void Pixels(std::size_t n, const double* Lat, const double* Long, double* X, double* Y,
              uint8_t* Ok) const;

 private:
  std::vector<TRow> parallels_, meridians_;  // rows of kind exactly 1 and 0, in order
  int32_t count_ = 0, columns_ = 0;
  bool twoOfEach_ = false;
};

}  // namespace marovia
