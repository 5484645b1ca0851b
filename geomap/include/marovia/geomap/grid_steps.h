// Round spacings for graticules and UTM grids that suit the scale of a
// view: lines about kMinGridSpacing to 2.5 times that many view pixels
// apart, at steps a reader can count in.
//
// Graticule steps, from the coarsest: 50, 20, 10, 5, 2, 1 degrees; 30, 20,
// 10, 5, 2, 1 minutes; 30, 20, 10, 5, 2, 1 seconds; then 0.5, 0.2, 0.1, ...
// seconds. No step exceeds 60 degrees (the largest the map control takes).
// UTM grid steps: 1, 2, 5 times a power of ten metres, at least 1 metre.
#pragma once

#include <cstdint>

namespace marovia {

// View pixels that adjacent automatic grid lines at least lie apart.
constexpr double kMinGridSpacing = 60;

// More lines than this in one direction are never drawn: over the largest
// map they would lie closer than a pixel. A spacing that asks for more
// draws none of them.
constexpr double kMaxGridLines = 10000;

// The smallest graticule step of the series of at least Degrees (> 0);
// 0 for a value that is not finite and positive. Degrees above 50 give 60.
double GraticuleStepAtLeast(double Degrees);

// The graticule step for a view showing DegreesPerPixel degrees in one
// view pixel: the smallest step whose lines lie kMinGridSpacing pixels
// apart or more. 0 when DegreesPerPixel is not finite and positive.
double GraticuleStepFor(double DegreesPerPixel);

// The next step of the series below / above Step (the finest and the
// coarsest step answer themselves; a step outside the series answers its
// neighbour in the series). 0 for a Step that is not finite and positive.
double DenserGraticuleStep(double Step);
double SparserGraticuleStep(double Step);

// The UTM grid step for MetresPerPixel metres in one view pixel: the
// smallest 1-2-5 step of at least kMinGridSpacing pixels, from 1 metre to
// 10000 km; 0 when MetresPerPixel is not finite and positive.
int32_t UTMGridStepFor(double MetresPerPixel);

// The next UTM grid step of the 1-2-5 series below / above Step metres.
int32_t DenserUTMGridStep(int32_t Step);
int32_t SparserUTMGridStep(int32_t Step);

}  // namespace marovia
