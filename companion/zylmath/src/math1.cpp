// Small numerics: great-circle distance, 1-2-5 rounding, random decisions.
#include <cmath>
#include <mutex>
#include <numbers>
#include <random>

#include "marovia/zylmath/math1.h"

namespace marovia {

double SphereGreatCircleDist(double Radius, double Lat1, double Long1, double Lat2, double Long2) {
  constexpr double kRad = std::numbers::pi / 180.0;
  const double p1 = Lat1 * kRad;
  const double p2 = Lat2 * kRad;
  const double dl = (Long2 - Long1) * kRad;
  // The atan2 form keeps full accuracy for tiny and for antipodal distances,
  // where acos and the haversine lose digits.
  const double y =
      std::hypot(std::cos(p2) * std::sin(dl),
                 std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl));
  const double x = std::sin(p1) * std::sin(p2) + std::cos(p1) * std::cos(p2) * std::cos(dl);
  return Radius * std::atan2(y, x);
}

double Round125(double x) {
  if (x == 0 || !std::isfinite(x)) return x;
  const long double a = std::fabs(static_cast<long double>(x));
  int e = static_cast<int>(std::floor(std::log10(a)));
  long double m = a / std::pow(10.0L, e);
  // log10 may be off by one next to powers of ten.
  if (m >= 10) {
    m /= 10;
    ++e;
  } else if (m < 1) {
    m *= 10;
    --e;
  }
  const int k = m < std::numbers::sqrt2_v<long double> ? 1
                : m < std::sqrt(10.0L)                 ? 2
                : m < std::sqrt(50.0L)                 ? 5
                                                       : 10;
  double r;
  if (e >= 0 && e <= 22)
    r = k * std::pow(10.0, e);  // exact
  else if (e < 0 && e >= -22)
    r = k / std::pow(10.0, -e);  // one correctly rounded division: equals the literal
  else
    r = static_cast<double>(k * std::pow(10.0L, e));
  return x < 0 ? -r : r;
}

namespace {

std::mutex g_randomLock;
std::mt19937_64 g_random(0x5EED5EEDULL);

}  // namespace

bool BRandom(double p) {
  if (!(p > 0)) return false;  // also NaN
  if (p >= 1) return true;
  uint64_t bits;
  {
    std::lock_guard<std::mutex> lock(g_randomLock);
    bits = g_random();
  }
  // Uniform in [0, 1) with 53 random bits.
  const double u = static_cast<double>(bits >> 11) * 0x1.0p-53;
  return u < p;
}

void SetBRandomSeed(uint64_t Seed) {
  std::lock_guard<std::mutex> lock(g_randomLock);
  g_random.seed(Seed);
}

}  // namespace marovia
