// The projected model: calibration points are latitude and longitude (WGS
// 84), projected through the map's CRS with PROJ; a plane polynomial of the
// chosen order is fitted each way between their pixels and projected metres.
// Geographic to pixel projects and then evaluates; pixel to geographic
// evaluates and then takes PROJ's inverse.
#include <algorithm>
#include <cmath>
#include <vector>

#include "calibration/crs_projection.h"
#include "calibration/plane_polynomial.h"
#include "marovia/geomap/map_calibration.h"

namespace marovia {

struct TMapCalibration::TProjectedFit {
  TCrsProjection Crs;
  TPlanePolynomial ToPixel;   // easting, northing -> x, y
  TPlanePolynomial ToMetres;  // x, y -> easting, northing
};

void TMapCalibration::FitProjected() {
  // Resolving a CRS reads PROJ's database; the refits of the leave-one-out
  // residuals keep the one they already hold.
  std::shared_ptr<const TProjectedFit> previous = std::move(FProjected);
  FProjected.reset();
  FFitMessage.clear();
  const TCalibData& cd = FData;
  if (cd.CrsText.empty()) {
    FFitMessage = "the projected model needs the map's CRS";
    return;
  }
  auto fit =
      std::make_shared<TProjectedFit>(previous && previous->Crs.Text() == cd.CrsText
                                          ? TProjectedFit{previous->Crs, {}, {}}
                                          : TProjectedFit{TCrsProjection(cd.CrsText), {}, {}});
  const int order = cd.PolyOrder;
  if (order != 1 && order != 2) {
    FFitMessage = "the order of the projected model must be 1 or 2, not " + std::to_string(order);
    return;
  }
  const std::vector<TControlPoint> points = ControlPoints();
  const int n = static_cast<int>(points.size());
  const int need = order == 1 ? 3 : 6;
  if (n < need) {
    FFitMessage = "the projected model of order " + std::to_string(order) + " needs at least " +
                  std::to_string(need) + " points, has " + std::to_string(n);
    return;
  }
  std::vector<double> lat(n), lon(n), e(n), north(n), x(n), y(n);
  std::vector<uint8_t> ok(n);
  for (int q = 0; q < n; ++q) {
    lat[q] = points[q].LatOrNorthing;
    lon[q] = points[q].LongOrEasting;
    x[q] = points[q].X;
    y[q] = points[q].Y;
  }
  fit->Crs.ForwardBatch(lat, lon, e, north, ok);
  for (int q = 0; q < n; ++q) {
    if (!ok[q]) {
      FFitMessage = "calibration point " + std::to_string(q + 1) + " lies outside the CRS " +
                    cd.CrsText.substr(0, 80);
      return;
    }
  }
  std::string why = fit->ToPixel.Fit(order, e, north, x, y);
  if (why.empty()) why = fit->ToMetres.Fit(order, x, y, e, north);
  if (!why.empty()) {
    FFitMessage = "the projected model cannot be fitted: " + why;
    return;
  }
  FProjected = std::move(fit);
}

bool TMapCalibration::ProjectedGeoToPixel(double Lat, double Long, double& X, double& Y) const {
  double e = 0, n = 0;
  return FProjected && FProjected->Crs.Forward(Lat, Long, e, n) &&
         FProjected->ToPixel.Eval(e, n, X, Y);
}

bool TMapCalibration::ProjectedPixelToGeo(double X, double Y, double& Lat, double& Long) const {
  double e = 0, n = 0;
  return FProjected && FProjected->ToMetres.Eval(X, Y, e, n) &&
         FProjected->Crs.Inverse(e, n, Lat, Long);
}

void TMapCalibration::ProjectedGeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                                          std::span<double> X, std::span<double> Y,
                                          std::span<uint8_t> Ok) const {
  const std::size_t n = Lat.size();
  if (!FProjected) {
    std::fill(Ok.begin(), Ok.end(), uint8_t{0});
  } else {
    // The metres go through the outputs: X, Y hold easting and northing
    // until the polynomial replaces them.
    FProjected->Crs.ForwardBatch(Lat, Long, X, Y, Ok);
    const TPlanePolynomial& p = FProjected->ToPixel;
    for (std::size_t i = 0; i < n; ++i)
      if (Ok[i]) Ok[i] = p.Eval(X[i], Y[i], X[i], Y[i]);
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!Ok[i]) X[i] = Y[i] = 0;
}

void TMapCalibration::ProjectedPixelToGeo(std::span<const double> X, std::span<const double> Y,
                                          std::span<double> Lat, std::span<double> Long,
                                          std::span<uint8_t> Ok) const {
  const std::size_t n = X.size();
  if (!FProjected) {
    std::fill(Ok.begin(), Ok.end(), uint8_t{0});
  } else {
    // Easting and northing in the outputs, then PROJ's inverse in place of
    // them; a point the polynomial cannot place goes in as NaN and fails.
    std::vector<double> e(n), north(n);
    const TPlanePolynomial& p = FProjected->ToMetres;
    for (std::size_t i = 0; i < n; ++i)
      if (!p.Eval(X[i], Y[i], e[i], north[i])) e[i] = north[i] = std::nan("");
    FProjected->Crs.InverseBatch(e, north, Lat, Long, Ok);
  }
  for (std::size_t i = 0; i < n; ++i)
    if (!Ok[i]) Lat[i] = Long[i] = 0;
}

}  // namespace marovia
