// TMapCalibration: construction, the model table and the refits.
//
// A refit always starts from all current points; there is no incremental
// update. The order is the graticule matrix, the fit of the model, then
// the corners and resolution.
#include "marovia/geomap/map_calibration.h"

#include <array>

#include "calib_counts.h"
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
    {nullptr, 0},                              // cmParabolicIp (FitLines)
    {&TMapCalibration::FitBiquadratic, 6},     // cmBiquadraticPn
    {&TMapCalibration::FitConic, 3},           // cmConicConformal
    {&TMapCalibration::FitMillerCyl, 3},       // cmMillerCylindrical
    {&TMapCalibration::FitEquiRect, 3},        // cmEquiRect
    {&TMapCalibration::FitEquiRect, 3},        // cmUTM
    {nullptr, 0},                              // cmUndefined
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

int TMapCalibration::MinPoints(TCalibModel Model) {
  const TModelEntry* e = EntryOf(Model);
  return e ? e->MinPoints : 0;
}

bool TMapCalibration::Fit() {
  FitLines();
  FitModel();
  CalcExtentsAndResolution();
  return Converts();
}

void TMapCalibration::FitModel() {
  const TModelEntry* e = EntryOf(FModel);
  if (e && e->Fit) (this->*(e->Fit))();
}

bool TMapCalibration::Converts() const {
  if (FModel == cmParabolicIp) return FGratMat.NrOfRows() >= 4;  // FitLines keeps 4+ rows only when usable
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
