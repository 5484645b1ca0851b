// The control's calibration points: adding, removing and restoring them,
// and the refits that follow every change. The fits, the quality figures
// and the residuals are the calibration value's (map_calibration*.cpp).
//
// Every change refits from scratch, in one order: the graticule matrix
// (where the operation says so), the fit of the current model, the
// corners and resolution, then a repaint.
#include <cmath>
#include <limits>

#include "calibration/calib_counts.h"
#include "marovia/geomap/geomap.h"

namespace marovia {

namespace {

bool IsPointModel(TCalibModel m) {
  return (m >= cmBiquadraticPn && m <= cmUTM) || m == cmProjected || m == cmThinPlate;
}
bool IsGeographicPointModel(TCalibModel m) {
  return (m >= cmBiquadraticPn && m <= cmEquiRect) || m == cmProjected || m == cmThinPlate;
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
  if (!std::isfinite(LineValue)) return false;  // no refit, no repaint
  const bool added = FCalib.AddLinePoint(GratLineKind, LineValue, PixPosX, PixPosY);
  RecalcGratMat();
  FitModelAndExtents();
  Paint();
  return added;
}

bool TGeoMap::AddCalibPoint(double Latit, double Longit, int32_t PixPosX, int32_t PixPosY) {
  if (!IsGeographicPointModel(FCalibModel))
    RaiseError("current calibration model does not support this version of AddCalibPoint");
  if (!AllFinite(Latit, Longit)) return false;  // no refit, no repaint
  const bool added = FCalib.AddPoint(Latit, Longit, PixPosX, PixPosY);
  if (added) FitModelAndExtents();
  Paint();
  return added;
}

bool TGeoMap::AddCalibPoint(double Northing, double Easting, int32_t Zone, THemisphere Hemisphere,
                            int32_t PixPosX, int32_t PixPosY) {
  if (FCalibModel != cmUTM)
    RaiseError("current calibration model does not support this version of AddCalibPoint");
  if (Zone != FCalibData.UTMZone || (Hemisphere == hemiSouth) != FCalibData.UTMSouth)
    RaiseError("UTM zone parameter changed");
  if (!AllFinite(Northing, Easting)) return false;  // no refit, no repaint
  const bool added = FCalib.AddPoint(Northing, Easting, PixPosX, PixPosY);
  if (added) {
    CalcEquiRectCalibration();
    CalcExtentsAndResolution();
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
  cd.CrsText.clear();
  cd.PolyOrder = 1;
  cd.Smoothing = 0;
  cd.CalQuads.fill(TCalQuad{});
  cd.NumCalQuads = 0;
  // The border and the full-precision points are part of the calibration
  // cleared, not of the next map.
  FCalib.SetBorder({});
  FCalib.SetControlPoints({});
  FCalib.ClearFittedParameters();
  Paint();
}

void TGeoMap::RecalcCalibration() {
  RecalcGratMat();
  FitModelAndExtents();
  Paint();
}

void TGeoMap::SetCalibration(const TMapCalibration& Value) {
  const int32_t w = FCalib.ImageWidth(), h = FCalib.ImageHeight();
  FCalib = Value;
  FCalib.SetImageSize(w, h);
  CalcExtentsAndResolution();
  Paint();
}

void TGeoMap::SyncCalibImageSize() {
  FCalib.SetImageSize(FMapImgWidth, FMapImgHeight);
}

void TGeoMap::FitModelAndExtents() {
  FitModel();
  CalcExtentsAndResolution();
}

void TGeoMap::FitModel() {
  SyncCalibImageSize();
  FCalib.FitModel();
}

bool TGeoMap::RecalcGratMat() {
  return FCalib.FitLines();
}

void TGeoMap::CalcEquiRectCalibration() {
  FCalib.FitEquiRect();
}

void TGeoMap::CalcBiquadraticCalibration() {
  FCalib.FitBiquadratic();
}

void TGeoMap::CalcConicCalibration() {
  SyncCalibImageSize();
  FCalib.FitConic();
}

void TGeoMap::CalcMillerCylCalibration() {
  FCalib.FitMillerCyl();
}

// ------------------------------------------------------------ quality

void TGeoMap::CalibQuality(double& QualX, double& QualY) {
  FCalib.CalibQuality(QualX, QualY);
}

std::vector<TCalibResidual> TGeoMap::CalibResiduals() const {
  return FCalib.Residuals();
}

std::vector<TCalibResidual> TGeoMap::CalibLeaveOneOutResiduals() const {
  return FCalib.LeaveOneOutResiduals();
}

}  // namespace marovia
