// The UTM batches give, to the bit, what the single-point functions give:
// over a sweep of the whole UTM area and both hemispheres, the Norway and
// Svalbard exceptions, zone borders, positions outside the area and NaN.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"

namespace marovia {
namespace {

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Positions {
  std::vector<double> lat, lon;
};

Positions Sweep() {
  Positions p;
  for (int i = 0; i < 3000; ++i) {
    p.lat.push_back(-80.0 + 164.0 * ((i * 37) % 3000) / 3000.0);
    p.lon.push_back(-180.0 + 360.0 * ((i * 1031) % 3000) / 3000.0);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double edge[][2] = {{60, 5},    {60, 3},   {78, 9},      {78, 21}, {78, 33},  {0, 0},
                            {-0.0, 6},  {84, 179}, {84.01, 0},   {-80.01, 0}, {0, 180}, {0, -180},
                            {nan, 10},  {10, nan}, {45, 179.99999999999997}};
  for (const auto& e : edge) {
    p.lat.push_back(e[0]);
    p.lon.push_back(e[1]);
  }
  return p;
}

TEST(UTMBatch, ForwardGivesTheBitsOfLatLongToUTM) {
  for (const TGeoEllipsoid e : {gelWGS84, gelInt24, gelAiry30}) {
    const Positions p = Sweep();
    const size_t n = p.lat.size();
    std::vector<int> zone(n);
    std::vector<double> east(n), north(n);
    LatLongToUTM(p.lat, p.lon, e, zone, east, north);
    for (size_t i = 0; i < n; ++i) {
      int z = -1;
      double ee = 0, nn = 0;
      LatLongToUTM(p.lat[i], p.lon[i], e, z, ee, nn);
      ASSERT_EQ(zone[i], z) << i;
      ASSERT_TRUE(SameBits(east[i], ee) && SameBits(north[i], nn)) << i;
    }
  }
}

TEST(UTMBatch, InverseGivesTheBitsOfUTMToLatLong) {
  const Positions p = Sweep();
  const size_t n = p.lat.size();
  std::vector<int> zone(n);
  std::vector<double> east(n), north(n), lat(n), lon(n);
  LatLongToUTM(p.lat, p.lon, gelWGS84, zone, east, north);
  for (const int z : {1, 32, 60, 0}) {
    for (const bool south : {false, true}) {
      UTMToLatLong(east, north, z, south, gelWGS84, lat, lon);
      for (size_t i = 0; i < n; ++i) {
        double a = 0, b = 0;
        UTMToLatLong(east[i], north[i], z, south, gelWGS84, a, b);
        ASSERT_TRUE(SameBits(lat[i], a) && SameBits(lon[i], b)) << i << " zone " << z;
      }
    }
  }
}

TEST(UTMBatch, TransverseMercatorGivesTheBitsOfLatLongToTM) {
  const Positions p = Sweep();
  const size_t n = p.lat.size();
  std::vector<double> rlat(n), rlon(n), x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    rlat[i] = p.lat[i] / 180.0 * 3.141592653589793;
    rlon[i] = p.lon[i] / 180.0 * 3.141592653589793;
  }
  LatLongToTM(rlat, rlon, 0.15, gelWGS84, x, y);
  for (size_t i = 0; i < n; ++i) {
    double a = 0, b = 0;
    LatLongToTM(rlat[i], rlon[i], 0.15, gelWGS84, a, b);
    ASSERT_TRUE(SameBits(x[i], a) && SameBits(y[i], b)) << i;
  }
}

TEST(UTMBatch, RefusesUnequalSpansAndUnknownEllipsoids) {
  std::vector<double> a(4), b(4), c(4), d(3);
  std::vector<int> z(4);
  EXPECT_THROW(LatLongToUTM(a, b, gelWGS84, z, c, d), EZYLGeoBasicsError);
  EXPECT_THROW(UTMToLatLong(a, d, 32, false, gelWGS84, b, c), EZYLGeoBasicsError);
  EXPECT_THROW(UTMToLatLong(a, b, 32, false, static_cast<TGeoEllipsoid>(200), c, a),
               EZYLGeoBasicsError);
  // Nothing was written before the refusal.
  EXPECT_EQ(c, std::vector<double>(4));
}

}  // namespace
}  // namespace marovia
