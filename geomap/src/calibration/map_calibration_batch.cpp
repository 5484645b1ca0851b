// The conversions of a fitted calibration over spans of points.
//
// Each batch runs in chunks of kChunk points through one kernel per model:
// a tight loop over plain arrays with the parameters in locals, which the
// compiler vectorises where the model is arithmetic alone (affine,
// biquadratic, the conic's square root); the UTM, Miller and conic models
// run the vectorised kernels of the geodesy unit and of
// point_model_kernels.h over the whole chunk. Every kernel evaluates the
// same expressions, in the same order, as the single-point conversion
// (map_calibration_convert.cpp and the inline formulas of point_models.h,
// which run those kernels on one element), so results agree to the bit;
// the tests hold them to it. The projected and
// thin-plate models hand whole spans to PROJ and the spline's own batch.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "calibration/graticule_model.h"
#include "calibration/pixel_rounding.h"
#include "calibration/point_models.h"
#include "marovia/geobasics/utm_batch.h"
#include "marovia/geomap/map_calibration.h"

namespace marovia {

using namespace pointmodel;

namespace {

constexpr std::size_t kChunk = 256;

void CheckLengths(std::size_t n, std::initializer_list<std::size_t> others) {
  for (const std::size_t m : others)
    if (m != n) throw EZYLGeoMapError("TMapCalibration: the spans of a batch differ in length");
}

// isfinite in a form the vectoriser takes: v - v is 0 exactly when v is
// finite, NaN otherwise.
inline bool Finite(double v) {
  return v - v == 0;
}

// One chunk of inputs and outputs; ok[i] says on entry whether the model
// gave a value at all.
struct Chunk {
  std::size_t n;
  const double* __restrict a;  // latitudes or pixel columns
  const double* __restrict b;  // longitudes or pixel rows
  double* __restrict u;        // pixel columns or latitudes
  double* __restrict v;        // pixel rows or longitudes
  uint8_t* __restrict ok;
};

// Keeps both outputs of a point that exists and is finite; zeroes the rest.
void SettleBoth(const Chunk& c) {
  for (std::size_t i = 0; i < c.n; ++i) {
    const bool good = c.ok[i] != 0 && Finite(c.u[i]) && Finite(c.v[i]);
    c.ok[i] = good;
    c.u[i] = good ? c.u[i] : 0.0;
    c.v[i] = good ? c.v[i] : 0.0;
  }
}

void Fill(const Chunk& c, uint8_t value) {
  std::fill(c.ok, c.ok + c.n, value);
}

void AffineKernel(const TMapCalibration::TAffineRows& p, const Chunk& c) {
  const std::array<double, 3> r0 = p[0], r1 = p[1];
  for (std::size_t i = 0; i < c.n; ++i) {
    c.u[i] = Affine(r0, c.a[i], c.b[i]);
    c.v[i] = Affine(r1, c.a[i], c.b[i]);
  }
  Fill(c, 1);
}

void QuadraticKernel(const TMapCalibration::TQuadraticRows& p, const Chunk& c) {
  const std::array<double, 6> r0 = p[0], r1 = p[1];
  for (std::size_t i = 0; i < c.n; ++i) {
    c.u[i] = Quadratic(r0, c.a[i], c.b[i]);
    c.v[i] = Quadratic(r1, c.a[i], c.b[i]);
  }
  Fill(c, 1);
}

}  // namespace

// ------------------------------------------------------------ geo -> pixel

void TMapCalibration::FitGeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                                    std::span<double> X, std::span<double> Y,
                                    std::span<uint8_t> Ok) const {
  if (FModel == cmProjected) {
    ProjectedGeoToPixel(Lat, Long, X, Y, Ok);
  } else {
    ThinPlateGeoToPixel(Lat, Long, X, Y, Ok);
  }
}

void TMapCalibration::FitPixelToGeo(std::span<const double> X, std::span<const double> Y,
                                    std::span<double> Lat, std::span<double> Long,
                                    std::span<uint8_t> Ok) const {
  if (FModel == cmProjected) {
    ProjectedPixelToGeo(X, Y, Lat, Long, Ok);
  } else {
    ThinPlatePixelToGeo(X, Y, Lat, Long, Ok);
  }
}

namespace {

// The exact pixels of one chunk of positions under cal's model.
void GeoToPixelChunk(const TMapCalibration& cal, const TGraticuleRows* rows, const Chunk& c) {
  const TCalibData& cd = cal.Data();
  switch (cal.Model()) {
    case cmParabolicIp:
      rows->Pixels(c.n, c.a, c.b, c.u, c.v, c.ok);
      break;
    case cmBiquadraticPn:
      QuadraticKernel(cal.CalParsSPPL(), c);
      break;
    case cmConicConformal: {
      const TConicPars p = cal.ConicPars();
      if (ConicDegenerate(p)) {
        Fill(c, 0);
        break;
      }
      // Rows into v, tangents into u, then the columns from both.
      ConicRows(p, c.n, c.a, c.b, c.v, c.u);
      for (std::size_t i = 0; i < c.n; ++i) c.u[i] = p[0] + (c.v[i] - p[1]) * c.u[i];
      Fill(c, 1);
      break;
    }
    case cmMillerCylindrical: {
      const TMillerRows m = cal.MillercylPar();
      for (std::size_t i = 0; i < c.n; ++i) c.u[i] = MillerX(m, c.b[i]);
      MillerRows(m, c.n, c.a, c.v);
      Fill(c, 1);
      break;
    }
    case cmEquiRect:
      AffineKernel(cal.EquRectSPPL(), c);
      break;
    case cmUTM: {
      if (!IsCatalogueEllipsoid(cd.Ellipsoid)) {
        Fill(c, 0);
        break;
      }
      // Northing and easting of the map's zone (ProjectToMapZone), then
      // the affine rows with northing first.
      double north[kChunk], east[kChunk];
      const std::span<double> N(north, c.n), E(east, c.n);
      if (IsUTMZone(cd.UTMZone)) {
        LatLongToUTMInZone({c.a, c.n}, {c.b, c.n}, cd.UTMZone, cd.UTMSouth, cd.Ellipsoid, E, N);
      } else {
        int zones[kChunk];
        LatLongToUTM({c.a, c.n}, {c.b, c.n}, cd.Ellipsoid, {zones, c.n}, E, N);
      }
      AffineKernel(cal.EquRectSPPL(), Chunk{c.n, north, east, c.u, c.v, c.ok});
      break;
    }
    default:
      Fill(c, 0);
  }
  SettleBoth(c);
}

// Whole pixels under the conic model: the row is rounded first and the
// column follows from the rounded row (c.u holds t = tan(theta), c.v the
// unrounded row).
void ConicRoundedChunk(const TConicPars& pars, const Chunk& c, int32_t* __restrict x,
                       int32_t* __restrict y) {
  const TConicPars p = pars;
  const bool degenerate = ConicDegenerate(p);
  if (degenerate) {
    std::fill(c.u, c.u + c.n, 0.0);
    std::fill(c.v, c.v + c.n, 0.0);
  } else {
    ConicRows(p, c.n, c.a, c.b, c.v, c.u);
  }
  Fill(c, !degenerate);
  for (std::size_t i = 0; i < c.n; ++i) {
    int32_t rx = 0, ry = 0;
    const bool good =
        c.ok[i] && RoundToPixel(c.v[i], ry) && RoundToPixel(p[0] + (ry - p[1]) * c.u[i], rx);
    c.ok[i] = good;
    x[i] = good ? rx : 0;
    y[i] = good ? ry : 0;
  }
}

}  // namespace

void TMapCalibration::GeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                                 std::span<double> X, std::span<double> Y,
                                 std::span<uint8_t> Ok) const {
  const std::size_t n = Lat.size();
  CheckLengths(n, {Long.size(), X.size(), Y.size(), Ok.size()});
  // Across 180 degrees each position is taken near the map first.
  std::vector<double> near;
  if (!std::isnan(FLongitudeCentre)) {
    near.assign(Long.begin(), Long.end());
    for (double& l : near) l = LongitudeNear(l, FLongitudeCentre);
    Long = near;
  }
  if (ConvertsThroughFit()) return FitGeoToPixel(Lat, Long, X, Y, Ok);
  const TGraticuleRows rows(FModel == cmParabolicIp ? FGratMat : TMatrix());
  for (std::size_t s = 0; s < n; s += kChunk) {
    const std::size_t m = std::min(kChunk, n - s);
    GeoToPixelChunk(*this, &rows, Chunk{m, &Lat[s], &Long[s], &X[s], &Y[s], &Ok[s]});
  }
}

void TMapCalibration::GeoToPixel(std::span<const double> Lat, std::span<const double> Long,
                                 std::span<int32_t> x, std::span<int32_t> y,
                                 std::span<uint8_t> Ok) const {
  const std::size_t n = Lat.size();
  CheckLengths(n, {Long.size(), x.size(), y.size(), Ok.size()});
  std::vector<double> near;
  if (!std::isnan(FLongitudeCentre)) {
    near.assign(Long.begin(), Long.end());
    for (double& l : near) l = LongitudeNear(l, FLongitudeCentre);
    Long = near;
  }
  const TGraticuleRows rows(FModel == cmParabolicIp ? FGratMat : TMatrix());
  double X[kChunk], Y[kChunk];
  for (std::size_t s = 0; s < n; s += kChunk) {
    const std::size_t m = std::min(kChunk, n - s);
    if (FModel == cmConicConformal) {
      ConicRoundedChunk(FConicPars, Chunk{m, &Lat[s], &Long[s], X, Y, &Ok[s]}, &x[s], &y[s]);
      continue;
    }
    if (ConvertsThroughFit()) {
      FitGeoToPixel({&Lat[s], m}, {&Long[s], m}, {X, m}, {Y, m}, {&Ok[s], m});
    } else {
      GeoToPixelChunk(*this, &rows, Chunk{m, &Lat[s], &Long[s], X, Y, &Ok[s]});
    }
    for (std::size_t i = 0; i < m; ++i) {
      int32_t rx = 0, ry = 0;
      const bool good = Ok[s + i] && RoundToPixel(X[i], rx) && RoundToPixel(Y[i], ry);
      Ok[s + i] = good;
      x[s + i] = good ? rx : 0;
      y[s + i] = good ? ry : 0;
    }
  }
}

// ------------------------------------------------------------ pixel -> geo

namespace {

// The positions of one chunk of pixels; latOk and lonOk say per coordinate
// whether the model gives one.
void PixelToGeoChunk(const TMapCalibration& cal, const TGraticuleRows* rows, const Chunk& c,
                     uint8_t* __restrict latOk, uint8_t* __restrict lonOk) {
  const TCalibData& cd = cal.Data();
  const std::size_t n = c.n;
  std::fill(latOk, latOk + n, 1);
  std::fill(lonOk, lonOk + n, 1);
  switch (cal.Model()) {
    case cmParabolicIp:
      for (std::size_t i = 0; i < n; ++i) {
        c.u[i] = c.v[i] = 0;
        latOk[i] = rows->Latitude(c.a[i], c.b[i], c.u[i]);
        lonOk[i] = rows->Longitude(c.a[i], c.b[i], c.v[i]);
      }
      break;
    case cmBiquadraticPn:
      QuadraticKernel(cal.CalParsPLSP(), c);
      break;
    case cmConicConformal: {
      const TConicPars p = cal.ConicPars();
      for (std::size_t i = 0; i < n; ++i) c.u[i] = ConicLatitude(p, c.a[i], c.b[i]);
      ConicLongitudes(p, n, c.a, c.b, c.v);
      for (std::size_t i = 0; i < n; ++i) {
        // The angle from the apex is undefined on the apex row.
        lonOk[i] = c.b[i] != p[1];
        c.v[i] = lonOk[i] ? c.v[i] : 0.0;
      }
      break;
    }
    case cmMillerCylindrical: {
      const TMillerRows m = cal.MillercylPar();
      const bool latExists = m[0][0] != 0, lonExists = m[1][0] != 0;
      if (latExists) {
        MillerLatitudes(m, n, c.b, c.u);
      } else {
        std::fill(c.u, c.u + n, 0.0);
      }
      for (std::size_t i = 0; i < n; ++i) c.v[i] = lonExists ? MillerLongitude(m, c.a[i]) : 0.0;
      std::fill(latOk, latOk + n, latExists);
      std::fill(lonOk, lonOk + n, lonExists);
      break;
    }
    case cmEquiRect:
      AffineKernel(cal.EquRectPLSP(), c);
      break;
    case cmUTM: {
      if (!IsCatalogueEllipsoid(cd.Ellipsoid)) {
        std::fill(latOk, latOk + n, 0);
        std::fill(lonOk, lonOk + n, 0);
        break;
      }
      double north[kChunk], east[kChunk];
      AffineKernel(cal.EquRectPLSP(), Chunk{n, c.a, c.b, north, east, c.ok});
      UTMToLatLong({east, n}, {north, n}, cd.UTMZone, cd.UTMSouth, cd.Ellipsoid, {c.u, n},
                   {c.v, n});
      break;
    }
    default:
      std::fill(latOk, latOk + n, 0);
      std::fill(lonOk, lonOk + n, 0);
  }
  // Each coordinate on its own, as TPixelPosition has it.
  for (std::size_t i = 0; i < n; ++i) {
    const bool latGood = latOk[i] != 0 && Finite(c.u[i]);
    const bool lonGood = lonOk[i] != 0 && Finite(c.v[i]);
    c.u[i] = latGood ? c.u[i] : 0.0;
    c.v[i] = lonGood ? c.v[i] : 0.0;
    c.ok[i] = latGood && lonGood;
  }
}

}  // namespace

void TMapCalibration::PixelToGeo(std::span<const double> X, std::span<const double> Y,
                                 std::span<double> Lat, std::span<double> Long,
                                 std::span<uint8_t> Ok) const {
  const std::size_t n = X.size();
  CheckLengths(n, {Y.size(), Lat.size(), Long.size(), Ok.size()});
  if (ConvertsThroughFit()) {
    FitPixelToGeo(X, Y, Lat, Long, Ok);
  } else {
    const TGraticuleRows rows(FModel == cmParabolicIp ? FGratMat : TMatrix());
    uint8_t latOk[kChunk], lonOk[kChunk];
    for (std::size_t s = 0; s < n; s += kChunk) {
      const std::size_t m = std::min(kChunk, n - s);
      PixelToGeoChunk(*this, &rows, Chunk{m, &X[s], &Y[s], &Lat[s], &Long[s], &Ok[s]}, latOk,
                      lonOk);
    }
  }
  // Across 180 degrees the longitudes are brought within -180..180. A
  // longitude that did not convert is 0 and stays.
  if (!std::isnan(FLongitudeCentre))
    for (double& l : Long) l = WrappedLongitude(l);
}

}  // namespace marovia
