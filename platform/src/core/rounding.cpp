// Round (halves to even) and Trunc (toward zero), defined for every input.
#include <cmath>
#include <limits>
#include <string>

#include "marovia/platform/strutils.h"
#include "marovia/platform/sysutils.h"

namespace marovia {
namespace {

// 2^63 is exactly representable; every double below it in magnitude converts
// to int64_t without overflow (the largest double below 2^63 is 2^63 - 1024).
constexpr double kTwoPow63 = 9223372036854775808.0;

[[noreturn]] void RaiseInvalid(const char* what, double x) {
  throw EInvalidOp(std::string("Invalid floating point operation: ") + what + " of " +
                   FloatToStr(x));
}

int64_t Checked64(double r, const char* what, double x) {
  if (std::isnan(r) || r >= kTwoPow63 || r < -kTwoPow63) RaiseInvalid(what, x);
  return static_cast<int64_t>(r);
}

int32_t Narrow32(int64_t v, const char* what, double x) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    RaiseInvalid(what, x);
  return static_cast<int32_t>(v);
}

// Nearest integer, halves to even, without depending on the floating-point
// environment's rounding mode (which a host may have changed). x - trunc(x)
// is exact for every double, so the comparison with 0.5 is too.
double RoundHalfEven(double x) {
  const double t = std::trunc(x);
  const double frac = std::fabs(x - t);
  if (frac < 0.5) return t;
  const double away = t + std::copysign(1.0, x);
  if (frac > 0.5) return away;
  return std::fmod(t, 2.0) == 0 ? t : away;
}

}  // namespace

int64_t Round(double x) {
  if (!std::isfinite(x)) RaiseInvalid("Round", x);
  return Checked64(RoundHalfEven(x), "Round", x);
}

int64_t Trunc(double x) {
  if (!std::isfinite(x)) RaiseInvalid("Trunc", x);
  return Checked64(std::trunc(x), "Trunc", x);
}

int32_t Round32(double x) {
  return Narrow32(Round(x), "Round", x);
}

int32_t Trunc32(double x) {
  return Narrow32(Trunc(x), "Trunc", x);
}

}  // namespace marovia
