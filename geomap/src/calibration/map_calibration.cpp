// TMapCalibration: construction, the model table and the refits.
//
// A refit always starts from all current points; there is no incremental
// update. The order is the graticule matrix, the fit of the model, then
// the corners and resolution.
#include "marovia/geomap/map_calibration.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "calibration/calib_counts.h"
#include "calibration/pixel_rounding.h"
#include "marovia/zylmath/curvefit.h"

namespace marovia {

namespace {

// What each model fits and how many points it needs for a determined fit.
// A model is added here, in one place, with its fit and its minimum.
struct TModelEntry {
  void (TMapCalibration::*Fit)();  // null: nothing beyond the graticule matrix
  int MinPoints;
};
constexpr std::array<TModelEntry, kNumCalibModels> kModels = {{
    {nullptr, 0},                           // cmParabolicIp (FitLines)
    {&TMapCalibration::FitBiquadratic, 6},  // cmBiquadraticPn
    {&TMapCalibration::FitConic, 3},        // cmConicConformal
    {&TMapCalibration::FitMillerCyl, 3},    // cmMillerCylindrical
    {&TMapCalibration::FitEquiRect, 3},     // cmEquiRect
    {&TMapCalibration::FitEquiRect, 3},     // cmUTM
    {nullptr, 0},                           // cmUndefined
    {&TMapCalibration::FitProjected, 3},    // cmProjected (6 for order 2)
    {&TMapCalibration::FitThinPlate, 3},    // cmThinPlate
}};

// The entry of a model; a value outside the enumeration (the record is
// public) has none.
const TModelEntry* EntryOf(TCalibModel m) {
  return static_cast<size_t>(m) < kModels.size() ? &kModels[m] : nullptr;
}

}  // namespace

TMapCalibration::TMapCalibration() {
  FGratMat.Resize(5, 1);
}

TMapCalibration::TMapCalibration(TCalibModel Model, const TCalibData& Data, int32_t Width,
                                 int32_t Height)
    : FModel(Model), FData(Data) {
  SetImageSize(Width, Height);
  FGratMat.Resize(5, 1);
}

void TMapCalibration::SetImageSize(int32_t Width, int32_t Height) {
  FWidth = Width;
  FHeight = Height;
}

bool TMapCalibration::InsideBorder(double X, double Y) const {
  const size_t n = FBorder.size();
  if (n < 3) return true;
  // Even-odd rule: count the edges a ray from (X, Y) to the right crosses;
  // an edge counts when it straddles the ray's row (half-open in y, so a
  // vertex on the row is counted once).
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const TBorderVertex& a = FBorder[i];
    const TBorderVertex& b = FBorder[j];
    if ((a.Y > Y) == (b.Y > Y)) continue;
    const double crossX = a.X + (Y - a.Y) * (b.X - a.X) / (b.Y - a.Y);
    if (X < crossX) inside = !inside;
  }
  return inside;
}

int TMapCalibration::MinPoints(TCalibModel Model) {
  const TModelEntry* e = EntryOf(Model);
  return e ? e->MinPoints : 0;
}

int TMapCalibration::RequiredPoints() const {
  if (FModel == cmProjected && FData.PolyOrder == 2) return 6;
  return MinPoints(FModel);
}

TFitOutcome TMapCalibration::Fit(TExtents Extents) {
  FitLines();
  FitModel();
  const bool noCorners =
      std::all_of(FData.Corners.begin(), FData.Corners.end(),
                  [](const TCoords& c) { return c.Latit == 0 && c.Longit == 0; });
  if (Extents == TExtents::Compute || noCorners || !(FData.Resolution > 0)) {
    const TCornerArray corners = FData.Corners;
    const double resolution = FData.Resolution;
    CalcExtentsAndResolution();
    if (Extents == TExtents::KeepStored) {
      if (!noCorners) FData.Corners = corners;
      if (resolution > 0) FData.Resolution = resolution;
    }
  }
  if (!Converts() && FFitMessage.empty()) FFitMessage = TooFewMessage();
  return {Converts(), FFitMessage};
}

std::string TMapCalibration::TooFewMessage() const {
  const std::string model(CalibModelNames[static_cast<size_t>(FModel)]);
  if (FModel == cmUndefined) return "no calibration model is chosen";
  if (FModel == cmParabolicIp)
    return "too few points: the parabolicip model needs 2 meridians and 2 parallels with 3 "
           "points each";
  return "too few points: the " + model + " model" +
         (FModel == cmProjected ? " of order " + std::to_string(FData.PolyOrder) : "") +
         " needs at least " + std::to_string(RequiredPoints()) + " points, not " +
         std::to_string(FData.NumCalQuads);
}

void TMapCalibration::FitModel() {
  // A message of an earlier fit does not outlive it.
  FFitMessage.clear();
  const TModelEntry* e = EntryOf(FModel);
  if (e && e->Fit) (this->*(e->Fit))();
  FindLongitudeWindow();
}

void TMapCalibration::FindLongitudeWindow() {
  FLongitudeCentre = std::numeric_limits<double>::quiet_NaN();
  if (FModel == cmProjected || !Converts()) return;
  const double w = FWidth, h = FHeight;
  bool crosses = false;
  for (const auto& [x, y] :
       std::array<std::array<double, 2>, 4>{{{0, 0}, {w, 0}, {0, h}, {w, h}}}) {
    const TPixelPosition p = PixelToGeo(x, y);
    crosses = crosses || (p.LongValid && std::fabs(p.Longit) > 180);
  }
  const TPixelPosition centre = PixelToGeo(w / 2, h / 2);
  if (crosses && centre.LongValid) FLongitudeCentre = centre.Longit;
}

bool TMapCalibration::Converts() const {
  if (FModel == cmParabolicIp)
    return FGratMat.NrOfRows() >= 4;  // FitLines keeps 4+ rows only when usable
  if (FModel == cmProjected) return FProjected != nullptr;
  if (FModel == cmThinPlate) return FThinPlate != nullptr;
  const int min = MinPoints(FModel);
  return min > 0 && QuadCount(FData) >= min;
}

void TMapCalibration::ClearFittedParameters() {
  FGratMat.Resize(5, 1);
  FGratMat.Fill(0);
  FEquRectSPPL = {};
  FEquRectPLSP = {};
  FCalParsPLSP = {};
  FCalParsSPPL = {};
  FProjected.reset();
  FThinPlate.reset();
  FFitMessage.clear();
}

bool TMapCalibration::AddLinePoint(TGratLineKind Kind, double LineValue, int32_t X, int32_t Y) {
  if (!std::isfinite(LineValue)) return false;
  TCalibData& cd = FData;
  int i = -1;
  for (int l = 0; l < LineCount(cd) && i < 0; ++l)
    if (cd.CalLines[l].LineType == Kind && cd.CalLines[l].LineValue == LineValue) i = l;
  if (i < 0 && LineCount(cd) < kMaxCalLines) {
    i = LineCount(cd);
    cd.NumCalLines = i + 1;
    TCalibLine& line = cd.CalLines[i];
    line.LineType = Kind;
    line.LineValue = LineValue;
    line.NumPoints = 0;
  }
  if (i < 0 || PointCount(cd.CalLines[i]) >= kMaxLinePoints) return false;
  TCalibLine& line = cd.CalLines[i];
  const int n = PointCount(line);
  line.CalPoints[n] = TPoint{X, Y};
  line.NumPoints = n + 1;
  return true;
}

namespace {

// The record's form of a full-precision point; false when its pixel leaves
// 32 bits or a value is not finite.
bool RecordQuad(const TControlPoint& p, TCalQuad& q) {
  if (!std::isfinite(p.LatOrNorthing) || !std::isfinite(p.LongOrEasting)) return false;
  q.Latitude = p.LatOrNorthing;
  q.Longitude = p.LongOrEasting;
  return RoundToPixel(p.X, q.MapX) && RoundToPixel(p.Y, q.MapY);
}

}  // namespace

bool TMapCalibration::AddPoint(double LatOrNorthing, double LongOrEasting, int32_t X, int32_t Y) {
  // A single coordinate that is not finite would turn every fitted
  // parameter into NaN.
  if (!std::isfinite(LatOrNorthing) || !std::isfinite(LongOrEasting)) return false;
  const int n = QuadCount(FData);
  if (n >= kMaxCalQuads) return false;
  const bool exact = HasExactPoints();
  FData.CalQuads[n] = TCalQuad{LatOrNorthing, LongOrEasting, X, Y};
  FData.NumCalQuads = n + 1;
  if (exact) FExactPoints.push_back({double(X), double(Y), LatOrNorthing, LongOrEasting});
  return true;
}

void TMapCalibration::SetControlPoints(std::vector<TControlPoint> Points) {
  TCalibData data = FData;
  const size_t held = std::min(Points.size(), size_t(kMaxCalQuads));
  for (size_t i = 0; i < Points.size(); ++i) {
    TCalQuad q;
    if (!RecordQuad(Points[i], q))
      throw EZYLGeoMapError("control point " + std::to_string(i + 1) +
                            " has a value that is not finite or a pixel beyond 32 bits");
    if (i < held) data.CalQuads[i] = q;
  }
  data.NumCalQuads = static_cast<int32_t>(held);
  FData = std::move(data);
  FExactPoints = std::move(Points);
}

bool TMapCalibration::AddControlPoint(const TControlPoint& Point) {
  TCalQuad q;
  if (!RecordQuad(Point, q)) return false;
  std::vector<TControlPoint> points = ControlPoints();
  points.push_back(Point);
  SetControlPoints(std::move(points));
  return true;
}

bool TMapCalibration::HasExactPoints() const {
  const size_t n = FExactPoints.size();
  if (n == 0 || QuadCount(FData) != static_cast<int>(std::min(n, size_t(kMaxCalQuads))))
    return false;
  for (int i = 0; i < QuadCount(FData); ++i) {
    TCalQuad q;
    if (!RecordQuad(FExactPoints[size_t(i)], q) || !(q == FData.CalQuads[i])) return false;
  }
  return true;
}

std::vector<TControlPoint> TMapCalibration::ControlPoints() const {
  if (HasExactPoints()) return FExactPoints;
  std::vector<TControlPoint> points;
  points.reserve(size_t(QuadCount(FData)));
  for (int i = 0; i < QuadCount(FData); ++i) {
    const TCalQuad& q = FData.CalQuads[i];
    points.push_back({double(q.MapX), double(q.MapY), q.Latitude, q.Longitude});
  }
  return points;
}

bool TMapCalibration::FitLines() {
  const TCalibData& cd = FData;
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

}  // namespace marovia
