// How far a reader of an export that carries only points lands from the
// calibration: the polynomial a reader fits through points (internal to the
// map control), and the read-back error of any reader measured over a dense
// grid of the image in pixels and metres.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "calibration/crs_projection.h"
#include "interop/interop_support.h"
#include "marovia/geomap/map_interop.h"

namespace marovia::interop {

// A least-squares polynomial of order 1 to 3 from pixels to two coordinates
// (terms 1, x, y, x^2, xy, y^2, then the cubic ones), as readers of control
// points fit one. Pixels are centred and scaled before the fit so that the
// solve is well conditioned for images of any size.
class TPolynomialFit {
 public:
  using TPair = std::array<double, 2>;
  // Fewer points than terms leave it unusable (Ok() false).
  TPolynomialFit(int Order, const std::vector<TPair>& Pixels, const std::vector<TPair>& Values);
  bool Ok() const { return ok_; }
  int Order() const { return order_; }
  TPair operator()(double X, double Y) const;

  static int Terms(int Order) { return (Order + 1) * (Order + 2) / 2; }

 private:
  std::vector<double> Basis(double X, double Y) const;
  int order_;
  bool ok_ = false;
  double cx_ = 0, cy_ = 0, scale_ = 1;
  std::array<std::vector<double>, 2> coef_;
};

// Pixel -> WGS 84 latitude and longitude as a reader computes it; false
// where it gives nothing.
using TReaderFunction = std::function<bool(double X, double Y, double& Lat, double& Lon)>;

// The read-back of Reader against the calibration over a Grid x Grid grid
// of pixels covering the image (pixels the calibration does not convert
// are left out; a pixel the reader cannot place counts as the largest
// error, infinity). Metres are geodesic distances on WGS 84 between the
// calibration's position of a grid pixel and the reader's, pixels those
// metres in the calibration's scale there (the geometric mean of the
// metres of one pixel across and down). Exact is set when the largest error stays below a
// thousandth of a pixel; How is left to the caller.
TReadBackError MeasureReadBack(const TMapCalibration& Cal, const TReaderFunction& Reader,
                               int Grid = 41);

// The better of two read-backs: the smaller largest pixel error, then the
// smaller RMS.
bool BetterReadBack(const TReadBackError& A, const TReadBackError& B);

// The polynomial order GDAL-style readers fit through n points: affine
// below 6 points, second order from 6 on (third order they leave out as
// unstable).
int ReaderOrder(std::size_t n);

// The read-back of Points written in a frame, for a reader that fits
// ReaderOrder's polynomial from pixels to the frame's coordinates:
// WGS 84 longitude and latitude when Projection is null, else its metres.
// How names the polynomial, the points and FrameName.
TReadBackError PolynomialReadBack(const TMapCalibration& Cal,
                                  const std::vector<TGroundPoint>& Points,
                                  const TCrsProjection* Projection, const std::string& FrameName);

// An N x N grid of whole pixels over the image, at even steps or crowded
// towards the edges, with the positions the calibration gives them (pixels
// it cannot convert are left out).
std::vector<TGroundPoint> GridLayout(const TMapCalibration& Cal, int N, bool Crowded);

// Layouts of at most MaxPoints whole pixels over the image with the
// positions the calibration gives them, for an export whose reader fits
// through points: even grids, grids whose nodes crowd towards the edges
// (where a polynomial through the points strays most), and the
// calibration's own points when there are few enough. The first is the
// even Grid x Grid grid of the earlier exports.
std::vector<std::vector<TGroundPoint>> CandidateLayouts(const TMapCalibration& Cal, int MaxPoints,
                                                        int Grid);

}  // namespace marovia::interop
