// The thin-plate model: one spline from pixels to latitude/longitude and one
// back, both through the calibration points (or smoothed by the record's
// lambda). The spline bends to every point, so its own residuals are about
// zero; the leave-one-out residuals tell how well it predicts.
#include <algorithm>
#include <cmath>
#include <vector>

#include "calibration/calib_counts.h"
#include "calibration/point_models.h"
#include "calibration/thin_plate_spline.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/zylmath/math1.h"

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

bool TMapCalibration::ThinPlateLeaveOneOut(const std::vector<TControlPoint>& Points,
                                           std::vector<TCalibResidual>& Out) const {
  // A smoothed spline's smoothing is relative to its points' spread, which
  // changes with every point left out: only refits give those.
  if (!FThinPlate || FData.Smoothing != 0) return false;
  const std::size_t n = Points.size();
  std::vector<double> lat(n), lon(n), x(n), y(n);
  for (std::size_t q = 0; q < n; ++q) {
    lat[q] = Points[q].LatOrNorthing;
    lon[q] = Points[q].LongOrEasting;
    x[q] = Points[q].X;
    y[q] = Points[q].Y;
    // A refit converts a point through its own longitude window; on maps
    // whose window moves a point by turns, only that conversion knows.
    if (!std::isnan(FLongitudeCentre) &&
        pointmodel::LongitudeNear(lon[q], FLongitudeCentre) != lon[q])
      return false;
  }
  std::vector<double> ex(n), ey(n), elat(n), elon(n);
  std::vector<uint8_t> okPixel(n), okGeo(n);
  TThinPlateSpline::LeaveOneOutErrors(lat, lon, x, y, ex, ey, okPixel);
  TThinPlateSpline::LeaveOneOutErrors(x, y, lat, lon, elat, elon, okGeo);
  Out.assign(n, TCalibResidual{});
  for (std::size_t q = 0; q < n; ++q) {
    if (!okPixel[q] || !okGeo[q]) continue;  // Index 0: refit this one
    TCalibResidual& r = Out[q];
    r.Index = static_cast<int32_t>(q) + 1;
    // What the spline through the others gives for the point's position
    // and for its pixel, as errors against the point itself.
    r.dX = ex[q];
    r.dY = ey[q];
    r.DistanceMetres = SphereGreatCircleDist(kDistanceSphereRadius, lat[q], lon[q],
                                             lat[q] - elat[q], lon[q] - elon[q]);
    r.Valid = std::isfinite(r.DistanceMetres);
  }
  return true;
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
