// The georeference annotation's transformations (see
// iiif_annotation_support.h).
#include "interop/iiif_annotation_support.h"

namespace marovia::interop {

std::string TransformName(const TAnnotationTransform& T) {
  if (T.ThinPlate) return "a thin-plate spline";
  static const char* const kNames[] = {"an affine polynomial", "a second-order polynomial",
                                       "a third-order polynomial"};
  return kNames[std::clamp(T.Order, 1, 3) - 1];
}

int TransformMinPoints(const TAnnotationTransform& T) {
  return T.ThinPlate ? 3 : TPolynomialFit::Terms(std::clamp(T.Order, 1, 3));
}

TAnnotationReader::TAnnotationReader(const std::vector<TGroundPoint>& Points,
                                     const TAnnotationTransform& T, int32_t Width, int32_t Height) {
  if (T.ThinPlate) {
    try {
      spline_ = std::make_unique<TMapCalibration>(
          FittedModel(cmThinPlate, Points, TPointFrame{}, 1, Width, Height, ""));
    } catch (const EZYLGeoMapError&) {
      spline_.reset();
    }
    return;
  }
  std::vector<TPolynomialFit::TPair> pixels, values;
  for (const TGroundPoint& p : Points) {
    pixels.push_back({p.X, p.Y});
    values.push_back({p.Lon, p.Lat});
  }
  poly_.emplace(T.Order, pixels, values);
}

bool TAnnotationReader::operator()(double X, double Y, double& Lat, double& Lon) const {
  if (poly_) {
    if (!poly_->Ok()) return false;
    const auto v = (*poly_)(X, Y);
    Lon = v[0];
    Lat = v[1];
    return true;
  }
  if (!spline_) return false;
  const TPixelPosition g = spline_->PixelToGeo(X, Y);
  Lat = g.Latit;
  Lon = g.Longit;
  return g.Valid();
}

}  // namespace marovia::interop
