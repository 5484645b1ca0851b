// The transcendental parts of the Miller and conic calibration models over
// arrays (internal to the map control), vectorised and dispatched at run
// time like the Transverse Mercator series of the geodesy unit. The single
// conversions of point_models.h run the same kernels on one element, so a
// batch gives the bits of its single points on whatever instruction set the
// process chose.
//
// Inputs and outputs are arrays of n doubles; outputs may not overlap
// inputs. Where a formula has no value (a tangent that is not positive
// under a logarithm) the result is NaN, which the callers report as no
// conversion.
#pragma once

#include <array>
#include <cstddef>

namespace marovia::pointmodel {

// Miller rows y = m00 ln(tan(0.4 lat + pi/4)) + m01 of latitudes (degrees).
void MillerRows(const std::array<std::array<double, 2>, 2>& m, std::size_t n, const double* lat,
                double* y);

// Miller latitudes (degrees) of pixel rows:
// (arctan(exp((y - m01) / m00)) - pi/4) 180 / (0.4 pi). m00 must not be 0.
void MillerLatitudes(const std::array<std::array<double, 2>, 2>& m, std::size_t n, const double* y,
                     double* lat);

// Conic rows before rounding and t = tan((lon - p5) / p4) of positions
// (degrees): y = p1 -/+ ((lat - p3) / p2) / sqrt(t^2 + 1), the sign by the
// side of the apex (p2 < 0: apex above). p2 and p4 must not be 0.
void ConicRows(const std::array<double, 6>& p, std::size_t n, const double* lat, const double* lon,
               double* y, double* t);

// Conic longitudes p4 arctan((x - p0) / (y - p1)) + p5 of pixels; undefined
// (whatever comes out) on the apex row y = p1.
void ConicLongitudes(const std::array<double, 6>& p, std::size_t n, const double* x,
                     const double* y, double* lon);

}  // namespace marovia::pointmodel
