// Round grid steps (see grid_steps.h).
#include "marovia/geomap/grid_steps.h"

#include <algorithm>
#include <cmath>

namespace marovia {

namespace {

constexpr double kMaxGraticuleStep = 60;  // degrees, the control's limit
constexpr int32_t kMaxUTMStep = 10000000;

// The smallest of 1, 2, 5 times a power of ten that is at least X (> 0).
double OneTwoFiveAtLeast(double X) {
  double unit = std::pow(10.0, std::floor(std::log10(X)));
  for (;;) {
    for (const double m : {1.0, 2.0, 5.0})
      if (m * unit >= X * (1 - 1e-12)) return m * unit;
    unit *= 10;
  }
}

// The smallest of the sexagesimal steps 1, 2, 5, 10, 20, 30 of a unit that
// is at least X units; 0 when X is above 30.
double SexagesimalAtLeast(double X) {
  for (const double m : {1.0, 2.0, 5.0, 10.0, 20.0, 30.0})
    if (m >= X * (1 - 1e-12)) return m;
  return 0;
}

}  // namespace

double GraticuleStepAtLeast(double Degrees) {
  if (!(Degrees > 0) || !std::isfinite(Degrees)) return 0;
  if (Degrees > 50) return kMaxGraticuleStep;
  if (Degrees > 30.0 / 60 * (1 + 1e-12)) return OneTwoFiveAtLeast(Degrees);
  const double minutes = Degrees * 60;
  if (minutes > 30.0 / 60 * (1 + 1e-12)) return SexagesimalAtLeast(minutes) / 60;
  const double seconds = Degrees * 3600;
  if (seconds > 0.5 * (1 + 1e-12)) return SexagesimalAtLeast(seconds) / 3600;
  return OneTwoFiveAtLeast(seconds) / 3600;
}

double GraticuleStepFor(double DegreesPerPixel) {
  return GraticuleStepAtLeast(DegreesPerPixel * kMinGridSpacing);
}

double SparserGraticuleStep(double Step) {
  if (!(Step > 0) || !std::isfinite(Step)) return 0;
  if (Step >= kMaxGraticuleStep) return kMaxGraticuleStep;
  return GraticuleStepAtLeast(Step * (1 + 1e-9));
}

double DenserGraticuleStep(double Step) {
  if (!(Step > 0) || !std::isfinite(Step)) return 0;
  // Neighbours in the series differ by at most a factor of 3, so the
  // step below lies above Step / 3.
  double below = GraticuleStepAtLeast(Step / 3);
  if (below >= Step * (1 - 1e-9)) return Step;  // nothing finer than the range of doubles
  for (double next = SparserGraticuleStep(below); next < Step * (1 - 1e-9);
       next = SparserGraticuleStep(below))
    below = next;
  return below;
}

int32_t UTMGridStepFor(double MetresPerPixel) {
  if (!(MetresPerPixel > 0) || !std::isfinite(MetresPerPixel)) return 0;
  const double step = OneTwoFiveAtLeast(std::max(MetresPerPixel * kMinGridSpacing, 1.0));
  return static_cast<int32_t>(std::min<double>(step, kMaxUTMStep));
}

int32_t SparserUTMGridStep(int32_t Step) {
  if (Step < 1) return 1;
  return static_cast<int32_t>(std::min<double>(OneTwoFiveAtLeast(Step + 0.5), kMaxUTMStep));
}

int32_t DenserUTMGridStep(int32_t Step) {
  if (Step <= 1) return 1;
  const double below = OneTwoFiveAtLeast(Step / 2.5 - 1e-9);
  return static_cast<int32_t>(below >= Step ? OneTwoFiveAtLeast(Step / 5.0) : below);
}

}  // namespace marovia
