// The values at which grid lines are drawn, shared by the graticule and the
// UTM grid.
#pragma once

#include <cmath>

#include "marovia/geomap/grid_steps.h"

namespace marovia::render {

// kMaxGridLines (grid_steps.h): a calibration or spacing that asks for more
// lines (degenerate corners, a spacing of a nanodegree) draws none, instead
// of looping for hours.
using marovia::kMaxGridLines;

// Calls Draw(v) for v = Trunc(Low * C) / C (truncated toward zero, so the
// first line may lie below Low), then for each value 1 / C past the last,
// while v < High. C is lines per unit. Nothing for a C, Low or High that is
// not finite and positive where needed, or for more than kMaxGridLines
// lines.
template <typename DrawLine>
void ForEachGridValue(double Low, double High, double C, DrawLine&& Draw) {
  if (!(C > 0) || !std::isfinite(C) || !std::isfinite(Low) || !std::isfinite(High)) return;
  double v = std::trunc(Low * C) / C;
  if (!std::isfinite(v) || (High - v) * C > kMaxGridLines) return;
  // The count guards against a step too small to change v.
  for (int n = 0; v < High && n <= kMaxGridLines + 1; ++n) {
    Draw(v);
    v = 1 / C + v;
  }
}

}  // namespace marovia::render
