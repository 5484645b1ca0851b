// How well a calibration fits its own points: the quality figures, the
// residual of every point, and the residual of every point under the model
// fitted to the others (leave-one-out), which a model that can bend to any
// point does not make look better than it is.
#include <cmath>

#include "calibration/point_models.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/zylmath/curvefit.h"
#include "marovia/zylmath/math1.h"

namespace marovia {

namespace {

bool IsPointModel(TCalibModel m) {
  return (m >= cmBiquadraticPn && m <= cmUTM) || m == cmProjected || m == cmThinPlate;
}

}  // namespace

void TMapCalibration::CalibQuality(double& QualX, double& QualY) const {
  TCurveFit fitX, fitY;
  if (IsPointModel(FModel)) {
    for (const TControlPoint& c : ControlPoints()) {
      int32_t x = 0, y = 0;
      // Under cmUTM the record holds northing and easting, not a position.
      const bool ok = FModel == cmUTM ? UTMToPixel(c.LatOrNorthing, c.LongOrEasting, x, y)
                                      : GeoToPixel(c.LatOrNorthing, c.LongOrEasting, x, y);
      if (!ok) continue;  // a point the model cannot place has no pixel error
      fitX.EnterStatValue(c.X, x);
      fitY.EnterStatValue(c.Y, y);
    }
  }
  int32_t n = 0;
  double r1, r2, r3, r4, r5, r7;
  fitX.CalcStatistics(n, r1, r2, r3, r4, r5, QualX, r7);
  fitY.CalcStatistics(n, r1, r2, r3, r4, r5, QualY, r7);
}

TCalibResidual TMapCalibration::ResidualOf(const TControlPoint& c, int32_t Index) const {
  TCalibResidual r;
  r.Index = Index;
  // Where the model puts the point's position, unrounded.
  double X = 0, Y = 0;
  double lat = c.LatOrNorthing, lon = c.LongOrEasting;
  bool placed = false;
  if (FModel == cmUTM) {
    X = pointmodel::Affine(FEquRectSPPL[0], c.LatOrNorthing, c.LongOrEasting);
    Y = pointmodel::Affine(FEquRectSPPL[1], c.LatOrNorthing, c.LongOrEasting);
    placed =
        pointmodel::IsCatalogueEllipsoid(FData.Ellipsoid) && std::isfinite(X) && std::isfinite(Y);
    if (placed)
      UTMToLatLong(c.LongOrEasting, c.LatOrNorthing, FData.UTMZone, FData.UTMSouth, FData.Ellipsoid,
                   lat, lon);
  } else {
    placed = GeoToPixelExact(c.LatOrNorthing, c.LongOrEasting, X, Y);
  }
  // Where the model puts the clicked pixel.
  const TPixelPosition m = PixelToGeo(c.X, c.Y);
  if (placed && m.Valid()) {
    r.dX = c.X - X;
    r.dY = c.Y - Y;
    r.DistanceMetres = SphereGreatCircleDist(kDistanceSphereRadius, lat, lon, m.Latit, m.Longit);
    r.Valid = std::isfinite(r.DistanceMetres);
  }
  return r;
}

std::vector<TCalibResidual> TMapCalibration::Residuals() const {
  std::vector<TCalibResidual> out;
  if (!IsPointModel(FModel)) return out;
  const std::vector<TControlPoint> points = ControlPoints();
  out.reserve(points.size());
  for (size_t q = 0; q < points.size(); ++q)
    out.push_back(ResidualOf(points[q], static_cast<int32_t>(q) + 1));
  return out;
}

std::vector<TCalibResidual> TMapCalibration::LeaveOneOutResiduals() const {
  std::vector<TCalibResidual> out;
  if (!IsPointModel(FModel)) return out;
  const std::vector<TControlPoint> points = ControlPoints();
  const size_t n = points.size();
  out.reserve(n);
  const bool enough = n >= 1 && static_cast<int>(n) - 1 >= RequiredPoints();
  std::vector<TCalibResidual> direct;
  const bool haveDirect = enough && FModel == cmThinPlate && ThinPlateLeaveOneOut(points, direct);
  TMapCalibration others = *this;
  std::vector<TControlPoint> rest;
  for (size_t q = 0; q < n; ++q) {
    TCalibResidual r;
    r.Index = static_cast<int32_t>(q) + 1;
    if (haveDirect && direct[q].Index != 0) {
      r = direct[q];
    } else if (enough) {
      // The other points in their order, so the fit sees them as it would
      // had point q never been clicked.
      rest.assign(points.begin(), points.end());
      rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(q));
      others.SetControlPoints(rest);
      others.FitModel();
      r = others.ResidualOf(points[q], r.Index);
    }
    out.push_back(r);
  }
  return out;
}

}  // namespace marovia
