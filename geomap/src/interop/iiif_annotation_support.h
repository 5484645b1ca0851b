// What the georeference annotation's writer and reader share (internal to
// the map control): its transformations, and a reader's conversion of
// pixels through an annotation's points.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interop/interop_support.h"
#include "interop/read_back.h"

namespace marovia::interop {

// A transformation of the annotation: a polynomial of order 1 to 3 from
// pixels to longitude and latitude fitted by least squares, or a thin-plate
// spline through the points.
struct TAnnotationTransform {
  int Order = 1;
  bool ThinPlate = false;
};

std::string TransformName(const TAnnotationTransform& T);
// Points the transformation needs at least: 3, 6, 10 for the polynomials,
// 3 for the spline.
int TransformMinPoints(const TAnnotationTransform& T);

// Pixel -> WGS 84 as a reader of the annotation computes it.
class TAnnotationReader {
 public:
  TAnnotationReader(const std::vector<TGroundPoint>& Points, const TAnnotationTransform& T,
                    int32_t Width, int32_t Height);
  bool Ok() const { return poly_ ? poly_->Ok() : spline_ && spline_->Converts(); }
  bool operator()(double X, double Y, double& Lat, double& Lon) const;

 private:
  std::optional<TPolynomialFit> poly_;
  std::unique_ptr<TMapCalibration> spline_;
};

}  // namespace marovia::interop
