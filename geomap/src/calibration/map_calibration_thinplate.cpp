// The thin-plate model: one spline from pixels to latitude/longitude and one
// back, both through the calibration points (or smoothed by the record's
// lambda). The spline bends to every point, so its own residuals are about
// zero; the leave-one-out residuals tell how well it predicts.
#include <algorithm>
#include <cmath>
#include <vector>

#include "calibration/calib_counts.h"
#include "calibration/thin_plate_spline.h"
#include "marovia/geomap/map_calibration.h"

namespace marovia {

struct TMapCalibration::TThinPlateFit {
  TThinPlateSpline ToPixel;  // latitude, longitude -> x, y
  TThinPlateSpline ToGeo;    // x, y -> latitude, longitude
};

void TMapCalibration::FitThinPlate() {
  FThinPlate.reset();
  FFitMessage.clear();
  const TCalibData& cd = FData;
  const std::vector<TControlPoint> points = ControlPoints();
  const int n = static_cast<int>(points.size());
  if (n < 3) {
    FFitMessage =
        "the thin-plate model needs at least 3 points not on one line, has " + std::to_string(n);
    return;
  }
  std::vector<double> lat(n), lon(n), x(n), y(n);
  for (int q = 0; q < n; ++q) {
    lat[q] = points[q].LatOrNorthing;
    lon[q] = points[q].LongOrEasting;
    x[q] = points[q].X;
    y[q] = points[q].Y;
  }
  auto fit = std::make_shared<TThinPlateFit>();
  std::string why = fit->ToPixel.Fit(lat, lon, x, y, cd.Smoothing);
  if (why.empty()) why = fit->ToGeo.Fit(x, y, lat, lon, cd.Smoothing);
  if (!why.empty()) {
    FFitMessage = "the thin-plate model cannot be fitted: " + why;
    return;
  }
  FThinPlate = std::move(fit);
}

bool TMapCalibration::ThinPlateGeoToPixel(double Lat, double Long, double& X, double& Y) const {
  return FThinPlate && FThinPlate->ToPixel.Eval(Lat, Long, X, Y);
}

bool TMapCalibration::ThinPlatePixelToGeo(double X, double Y, double& Lat, double& Long) const {
  return FThinPlate && FThinPlate->ToGeo.Eval(X, Y, Lat, Long);
}

namespace {

void EvalOrZero(const TThinPlateSpline* s, std::span<const double> u, std::span<const double> v,
                std::span<double> x, std::span<double> y, std::span<uint8_t> ok) {
  if (s) {
    s->EvalBatch(u, v, x, y, ok);
  } else {
    std::fill(ok.begin(), ok.end(), uint8_t{0});
  }
  for (std::size_t i = 0; i < ok.size(); ++i)
    if (!ok[i]) x[i] = y[i] = 0;
}

}  // namespace

void TMapCalibration::ThinPlateGeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                                          std::span<double> X, std::span<double> Y,
                                          std::span<uint8_t> Ok) const {
  EvalOrZero(FThinPlate ? &FThinPlate->ToPixel : nullptr, Lat, Long, X, Y, Ok);
}

void TMapCalibration::ThinPlatePixelToGeo(std::span<const double> X, std::span<const double> Y,
                                          std::span<double> Lat, std::span<double> Long,
                                          std::span<uint8_t> Ok) const {
  EvalOrZero(FThinPlate ? &FThinPlate->ToGeo : nullptr, X, Y, Lat, Long, Ok);
}

}  // namespace marovia
