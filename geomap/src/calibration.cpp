// Calibration points: adding, removing and restoring them, the refits that
// follow every change, the graticule matrix of the line model, and the
// quality figures of the point models.
//
// Every change refits from scratch, in one order: the graticule matrix
// (where the operation says so), the fit of the current model, the
// corners and resolution, then a repaint.
#include <cmath>
#include <limits>

#include "calib_counts.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geomap/geomap.h"
#include "marovia/zylmath/curvefit.h"
#include "marovia/zylmath/math1.h"
#include "point_models.h"

namespace marovia {

namespace {

constexpr double kEarthRadius = 6378000;  // sphere of the residual distances

bool IsPointModel(TCalibModel m) {
  return m >= cmBiquadraticPn && m <= cmUTM;
}
bool IsGeographicPointModel(TCalibModel m) {
  return m >= cmBiquadraticPn && m <= cmEquiRect;
}

// A single coordinate that is not finite would turn every fitted parameter
// into NaN, so such points are refused.
bool AllFinite(double a, double b) {
  return std::isfinite(a) && std::isfinite(b);
}

// Line index (from 0) of the line of that kind and exactly that value, or -1.
int FindLine(const TCalibData& cd, TGratLineKind kind, double value) {
  for (int i = 0; i < LineCount(cd); ++i) {
    if (cd.CalLines[i].LineType == kind && cd.CalLines[i].LineValue == value) return i;
  }
  return -1;
}

// Removes point p (from 0) of line i: the line's last point takes its place.
// A line left without points is replaced by the last line.
void RemoveLinePoint(TCalibData& cd, int i, int p) {
  TCalibLine& line = cd.CalLines[i];
  const int points = PointCount(line);
  line.CalPoints[p] = line.CalPoints[points - 1];
  line.NumPoints = points - 1;
  if (line.NumPoints == 0) {
    const int lines = LineCount(cd);
    line = cd.CalLines[lines - 1];
    cd.NumCalLines = lines - 1;
  }
}

double SquaredDistance(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  // Differences of 32-bit values need 33 bits, their squares more than 64.
  const double dx = static_cast<double>(x1) - x2;
  const double dy = static_cast<double>(y1) - y2;
  return dx * dx + dy * dy;
}

}  // namespace

// ------------------------------------------------------------ adding
//
// Every form answers whether the point was stored.

bool TGeoMap::AddCalibPoint(TGratLineKind GratLineKind, double LineValue, int32_t PixPosX,
                            int32_t PixPosY) {
  if (FCalibModel != cmParabolicIp)
    RaiseError("current calibration model does not support this version of AddCalibPoint");
  if (!std::isfinite(LineValue)) return false;
  TCalibData& cd = FCalibData;
  int i = FindLine(cd, GratLineKind, LineValue);
  if (i < 0 && LineCount(cd) < kMaxCalLines) {
    i = LineCount(cd);
    cd.NumCalLines = i + 1;
    TCalibLine& line = cd.CalLines[i];
    line.LineType = GratLineKind;
    line.LineValue = LineValue;
    line.NumPoints = 0;
  }
  bool added = false;
  if (i >= 0 && PointCount(cd.CalLines[i]) < kMaxLinePoints) {
    TCalibLine& line = cd.CalLines[i];
    const int n = PointCount(line);
    line.CalPoints[n] = TPoint{PixPosX, PixPosY};
    line.NumPoints = n + 1;
    added = true;
  }
  RecalcGratMat();
  FitModelAndExtents();
  Paint();
  return added;
}

bool TGeoMap::AddCalibPoint(double Latit, double Longit, int32_t PixPosX, int32_t PixPosY) {
  if (!IsGeographicPointModel(FCalibModel))
    RaiseError("current calibration model does not support this version of AddCalibPoint");
  if (!AllFinite(Latit, Longit)) return false;
  bool added = false;
  const int n = QuadCount(FCalibData);
  if (n < kMaxCalQuads) {
    FCalibData.CalQuads[n] = TCalQuad{Latit, Longit, PixPosX, PixPosY};
    FCalibData.NumCalQuads = n + 1;
    FitModelAndExtents();
    added = true;
  }
  Paint();
  return added;
}

bool TGeoMap::AddCalibPoint(double Northing, double Easting, int32_t Zone, THemisphere Hemisphere,
                            int32_t PixPosX, int32_t PixPosY) {
  if (FCalibModel != cmUTM)
    RaiseError("current calibration model does not support this version of AddCalibPoint");
  if (Zone != FCalibData.UTMZone || (Hemisphere == hemiSouth) != FCalibData.UTMSouth)
    RaiseError("UTM zone parameter changed");
  if (!AllFinite(Northing, Easting)) return false;
  bool added = false;
  const int n = QuadCount(FCalibData);
  if (n < kMaxCalQuads) {
    FCalibData.CalQuads[n] = TCalQuad{Northing, Easting, PixPosX, PixPosY};
    FCalibData.NumCalQuads = n + 1;
    CalcEquiRectCalibration();
    CalcExtentsAndResolution();
    added = true;
  }
  Paint();
  return added;
}

// ------------------------------------------------------------ removing
//
// Both forms answer whether a point was removed.

bool TGeoMap::RemoveCalibPoint(TGratLineKind GratLineKind, double LineValue, int32_t PixPosX,
                               int32_t PixPosY) {
  if (FCalibModel != cmParabolicIp)
    RaiseError("current calibration model does not support this version of RemoveCalibPoint");
  bool removed = false;
  const int i = FindLine(FCalibData, GratLineKind, LineValue);
  if (i >= 0) {
    const TCalibLine& line = FCalibData.CalLines[i];
    for (int p = 0; p < PointCount(line); ++p) {
      if (line.CalPoints[p] == TPoint{PixPosX, PixPosY}) {
        RemoveLinePoint(FCalibData, i, p);
        removed = true;
        break;
      }
    }
  }
  RecalcGratMat();
  FitModelAndExtents();
  Paint();
  return removed;
}

bool TGeoMap::RemoveCalibPoint(int32_t PixPosX, int32_t PixPosY) {
  TCalibData& cd = FCalibData;
  bool removed = false;
  double best = std::numeric_limits<double>::infinity();
  if (IsPointModel(FCalibModel)) {
    int nearest = -1;
    const int count = QuadCount(cd);
    for (int q = 0; q < count; ++q) {
      const double d = SquaredDistance(cd.CalQuads[q].MapX, cd.CalQuads[q].MapY, PixPosX, PixPosY);
      if (d < best) {
        best = d;
        nearest = q;
      }
    }
    if (nearest >= 0) {
      FBiQuadOops = cd.CalQuads[nearest];
      FRestoreBiQuadOK = true;
      cd.CalQuads[nearest] = cd.CalQuads[count - 1];
      cd.NumCalQuads = count - 1;
      removed = true;
    }
  } else if (FCalibModel == cmParabolicIp) {
    int line = -1, point = -1;
    for (int i = 0; i < LineCount(cd); ++i) {
      for (int p = 0; p < PointCount(cd.CalLines[i]); ++p) {
        const TPoint& pt = cd.CalLines[i].CalPoints[p];
        const double d = SquaredDistance(pt.X, pt.Y, PixPosX, PixPosY);
        if (d < best) {
          best = d;
          line = i;
          point = p;
        }
      }
    }
    if (line >= 0) {
      FParaIpOops.LineType = cd.CalLines[line].LineType;
      FParaIpOops.LineValue = cd.CalLines[line].LineValue;
      FParaIpOops.CalPoints[0] = cd.CalLines[line].CalPoints[point];
      FRestoreParaIpOK = true;
      RemoveLinePoint(cd, line, point);
      removed = true;
    }
  }
  RecalcGratMat();
  FitModelAndExtents();
  Paint();
  return removed;
}

void TGeoMap::RestoreLastDeletedCalPoint() {
  if (IsGeographicPointModel(FCalibModel)) {
    if (!FRestoreBiQuadOK) return;
    AddCalibPoint(FBiQuadOops.Latitude, FBiQuadOops.Longitude, FBiQuadOops.MapX, FBiQuadOops.MapY);
    FRestoreBiQuadOK = false;
  } else if (FCalibModel == cmUTM) {
    // The record holds northing and easting of the map's own zone.
    if (!FRestoreBiQuadOK) return;
    AddCalibPoint(FBiQuadOops.Latitude, FBiQuadOops.Longitude, FCalibData.UTMZone, UTMHemisphere(),
                  FBiQuadOops.MapX, FBiQuadOops.MapY);
    FRestoreBiQuadOK = false;
  } else if (FCalibModel == cmParabolicIp) {
    if (!FRestoreParaIpOK) return;
    AddCalibPoint(FParaIpOops.LineType, FParaIpOops.LineValue, FParaIpOops.CalPoints[0].X,
                  FParaIpOops.CalPoints[0].Y);
    FRestoreParaIpOK = false;
  }
}

// ------------------------------------------------------------ clearing, refits

void TGeoMap::ClearCalibData() {
  TCalibData& cd = FCalibData;
  cd.NumCalLines = 0;
  for (TCalibLine& line : cd.CalLines) line.NumPoints = 0;
  cd.Corners = TCornerArray{};
  cd.Resolution = 0;
  cd.UTMZone = -1;
  cd.UTMSouth = false;
  cd.Ellipsoid = gelWGS84;
  FGratMat.Resize(5, 1);
  FGratMat.Fill(0);
  cd.CalQuads.fill(TCalQuad{});
  cd.NumCalQuads = 0;
  FEquRectSPPL = {};
  FEquRectPLSP = {};
  FCalParsPLSP = {};
  FCalParsSPPL = {};
  Paint();
}

void TGeoMap::RecalcCalibration() {
  RecalcGratMat();
  FitModelAndExtents();
  Paint();
}

void TGeoMap::FitModelAndExtents() {
  FitModel();
  CalcExtentsAndResolution();
}

void TGeoMap::FitModel() {
  switch (FCalibModel) {
    case cmBiquadraticPn:
      CalcBiquadraticCalibration();
      break;
    case cmConicConformal:
      CalcConicCalibration();
      break;
    case cmMillerCylindrical:
      CalcMillerCylCalibration();
      break;
    case cmEquiRect:
    case cmUTM:
      CalcEquiRectCalibration();
      break;
    default:
      break;
  }
}

bool TGeoMap::RecalcGratMat() {
  const TCalibData& cd = FCalibData;
  const int lines = LineCount(cd);
  FGratMat.Resize(5, lines);
  int parallels = 0, meridians = 0;
  TCurveFit fit;
  for (int i = 0; i < lines; ++i) {
    const TCalibLine& line = cd.CalLines[i];
    const int32_t row = i + 1;
    const bool parallel = line.LineType == gtlParallel;
    FGratMat.SetVal(1, row, parallel ? 1 : 0);
    FGratMat.SetVal(2, row, line.LineValue);
    // A line of one or two points keeps no parabola (the row may hold
    // another line's before the resize).
    double a0 = 0, a1 = 0, a2 = 0;
    const int points = PointCount(line);
    if (points > 2) {
      fit.Init();
      for (int p = 0; p < points; ++p) {
        const TPoint& pt = line.CalPoints[p];
        if (parallel) {
          fit.EnterStatValue(pt.X, pt.Y);
        } else {
          fit.EnterStatValue(pt.Y, pt.X);
        }
      }
      double quality = 0;
      fit.CalcParabolFit(a0, a1, a2, quality);
      ++(parallel ? parallels : meridians);
    }
    FGratMat.SetVal(3, row, a0);
    FGratMat.SetVal(4, row, a1);
    FGratMat.SetVal(5, row, a2);
  }
  if (parallels >= 2 && meridians >= 2) return true;
  FGratMat.Resize(5, 1);
  FGratMat.Fill(0);
  return false;
}

// ------------------------------------------------------------ quality

void TGeoMap::CalibQuality(double& QualX, double& QualY) {
  TCurveFit fitX, fitY;
  if (IsPointModel(FCalibModel)) {
    for (int q = 0; q < QuadCount(FCalibData); ++q) {
      const TCalQuad& c = FCalibData.CalQuads[q];
      int32_t x = 0, y = 0;
      // Under cmUTM the record holds northing and easting, not a position.
      const bool ok = FCalibModel == cmUTM ? CalcPixelCoordsUTM(c.Latitude, c.Longitude, x, y)
                                           : CalcPixelCoords(c.Latitude, c.Longitude, x, y);
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

std::vector<TCalibResidual> TGeoMap::CalibResiduals() const {
  std::vector<TCalibResidual> out;
  if (!IsPointModel(FCalibModel)) return out;
  const TCalibData& cd = FCalibData;
  out.reserve(static_cast<size_t>(QuadCount(cd)));
  for (int q = 0; q < QuadCount(cd); ++q) {
    const TCalQuad& c = cd.CalQuads[q];
    TCalibResidual r;
    r.Index = q + 1;
    // Where the model puts the point's position, unrounded.
    double X = 0, Y = 0;
    double lat = c.Latitude, lon = c.Longitude;
    bool placed = false;
    if (FCalibModel == cmUTM) {
      X = pointmodel::Affine(FEquRectSPPL[0], c.Latitude, c.Longitude);
      Y = pointmodel::Affine(FEquRectSPPL[1], c.Latitude, c.Longitude);
      placed =
          pointmodel::IsCatalogueEllipsoid(cd.Ellipsoid) && std::isfinite(X) && std::isfinite(Y);
      if (placed)
        UTMToLatLong(c.Longitude, c.Latitude, cd.UTMZone, cd.UTMSouth, cd.Ellipsoid, lat, lon);
    } else {
      placed = GeoToPixelExact(c.Latitude, c.Longitude, X, Y);
    }
    // Where the model puts the clicked pixel.
    bool latOk = false, lonOk = false;
    const double mlat = CalcLatitude(c.MapX, c.MapY, latOk);
    const double mlon = CalcLongitude(c.MapX, c.MapY, lonOk);
    if (placed && latOk && lonOk) {
      r.dX = c.MapX - X;
      r.dY = c.MapY - Y;
      r.DistanceMetres = SphereGreatCircleDist(kEarthRadius, lat, lon, mlat, mlon);
      r.Valid = std::isfinite(r.DistanceMetres);
    }
    out.push_back(r);
  }
  return out;
}

}  // namespace marovia
