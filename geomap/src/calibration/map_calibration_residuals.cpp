// How well a calibration fits its own points: the quality figures, the
// residual of every point, and the residual of every point under the model
// fitted to the others (leave-one-out), which a model that can bend to any
// point does not make look better than it is.
#include <cmath>

#include "calibration/calib_counts.h"
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
    for (int q = 0; q < QuadCount(FData); ++q) {
      const TCalQuad& c = FData.CalQuads[q];
      int32_t x = 0, y = 0;
      // Under cmUTM the record holds northing and easting, not a position.
      const bool ok = FModel == cmUTM ? UTMToPixel(c.Latitude, c.Longitude, x, y)
                                      : GeoToPixel(c.Latitude, c.Longitude, x, y);
      if (!ok) continue;  // a point the model cannot place has no pixel error
      fitX.EnterStatValue(c.MapX, x);
      fitY.EnterStatValue(c.MapY, y);
    }
  }
  int32_t n = 0;
  double r1, r2, r3, r4, r5, r7;
  fitX.CalcStatistics(n, r1, r2, r3, r4, r5, QualX, r7);
  fitY.CalcStatistics(n, r1, r2, r3, r4, r5, QualY, r7);
}

TCalibResidual TMapCalibration::ResidualOf(const TCalQuad& c, int32_t Index) const {
  TCalibResidual r;
  r.Index = Index;
  // Where the model puts the point's position, unrounded.
  double X = 0, Y = 0;
  double lat = c.Latitude, lon = c.Longitude;
  bool placed = false;
  if (FModel == cmUTM) {
    X = pointmodel::Affine(FEquRectSPPL[0], c.Latitude, c.Longitude);
    Y = pointmodel::Affine(FEquRectSPPL[1], c.Latitude, c.Longitude);
    placed =
        pointmodel::IsCatalogueEllipsoid(FData.Ellipsoid) && std::isfinite(X) && std::isfinite(Y);
    if (placed)
      UTMToLatLong(c.Longitude, c.Latitude, FData.UTMZone, FData.UTMSouth, FData.Ellipsoid, lat,
                   lon);
  } else {
    placed = GeoToPixelExact(c.Latitude, c.Longitude, X, Y);
  }
  // Where the model puts the clicked pixel.
  const TPixelPosition m = PixelToGeo(c.MapX, c.MapY);
  if (placed && m.Valid()) {
    r.dX = c.MapX - X;
    r.dY = c.MapY - Y;
    r.DistanceMetres = SphereGreatCircleDist(kDistanceSphereRadius, lat, lon, m.Latit, m.Longit);
    r.Valid = std::isfinite(r.DistanceMetres);
  }
  return r;
}

std::vector<TCalibResidual> TMapCalibration::Residuals() const {
  std::vector<TCalibResidual> out;
  if (!IsPointModel(FModel)) return out;
  const int n = QuadCount(FData);
  out.reserve(static_cast<size_t>(n));
  for (int q = 0; q < n; ++q) out.push_back(ResidualOf(FData.CalQuads[q], q + 1));
  return out;
}

std::vector<TCalibResidual> TMapCalibration::LeaveOneOutResiduals() const {
  std::vector<TCalibResidual> out;
  if (!IsPointModel(FModel)) return out;
  const int n = QuadCount(FData);
  out.reserve(static_cast<size_t>(n));
  const bool enough = n - 1 >= RequiredPoints();
  TMapCalibration others = *this;
  for (int q = 0; q < n; ++q) {
    TCalibResidual r;
    r.Index = q + 1;
    if (enough) {
      // The other points in their order, so the fit sees them as it would
      // had point q never been clicked.
      TCalibData& od = others.FData;
      for (int k = 0, o = 0; k < n; ++k)
        if (k != q) od.CalQuads[o++] = FData.CalQuads[k];
      od.NumCalQuads = n - 1;
      others.FitModel();
      r = others.ResidualOf(FData.CalQuads[q], q + 1);
    }
    out.push_back(r);
  }
  return out;
}

}  // namespace marovia
