// The UTM batches give, to the bit, what the single-point functions give,
// on every instruction set the processor has: over a sweep of the whole UTM
// area and both hemispheres, the Norway and Svalbard exceptions, zone
// borders, positions outside the area, NaN and span lengths around the
// vector width. The lanes use no fused operation, so the bits are the same
// on every instruction set too.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <vector>

#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"
#include "support/simd_targets.h"

namespace marovia {
namespace {

using testing::ForEachSimdTarget;

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
  const double inf = std::numeric_limits<double>::infinity();
  const double edge[][2] = {
      {60, 5},   {60, 3},   {78, 9},        {78, 21},    {78, 33},       {0, 0},
      {-0.0, 6}, {84, 179}, {84.01, 0},     {-80.01, 0}, {0, 180},       {0, -180},
      {nan, 10}, {10, nan}, {90, 10},       {-90, -3},   {1e300, 1e300}, {inf, 0},
      {0, -inf}, {72, 42},  {71.99, 41.99}, {56, 2.99},  {63.99, 12},    {45, 179.99999999999997}};
  for (const auto& e : edge) {
    p.lat.push_back(e[0]);
    p.lon.push_back(e[1]);
  }
  return p;
}

// All results of one instruction set, to compare the sets with each other.
struct Results {
  std::vector<int> zone;
  std::vector<double> values;
};

Results ForwardAndInverse(const Positions& p) {
  const size_t n = p.lat.size();
  Results r;
  r.zone.resize(n);
  std::vector<double> east(n), north(n), lat(n), lon(n);
  LatLongToUTM(p.lat, p.lon, gelWGS84, r.zone, east, north);
  UTMToLatLong(east, north, 32, false, gelWGS84, lat, lon);
  for (const auto* v : {&east, &north, &lat, &lon})
    r.values.insert(r.values.end(), v->begin(), v->end());
  return r;
}

TEST(UTMBatch, ForwardGivesTheBitsOfTheSinglePointsOnEveryInstructionSet) {
  const Positions p = Sweep();
  const size_t n = p.lat.size();
  std::map<std::string, Results> byTarget;
  ForEachSimdTarget([&](const std::string& target) {
    for (const TGeoEllipsoid e : {gelWGS84, gelInt24, gelSphere}) {
      std::vector<int> zone(n);
      std::vector<double> east(n), north(n), inEast(n), inNorth(n);
      LatLongToUTM(p.lat, p.lon, e, zone, east, north);
      LatLongToUTMInZone(p.lat, p.lon, 33, true, e, inEast, inNorth);
      for (size_t i = 0; i < n; ++i) {
        int z = -1, ruleZone = 0;
        double ee = 0, nn = 0;
        LatLongToUTM(p.lat[i], p.lon[i], e, z, ee, nn);
        ASSERT_EQ(zone[i], z) << i;
        ASSERT_TRUE(SameBits(east[i], ee) && SameBits(north[i], nn)) << i;
        // The vector lanes find the zone by the rule of GeoToUTMZone.
        char16_t letter = 0;
        GeoToUTMZone(p.lat[i], p.lon[i], ruleZone, letter);
        ASSERT_EQ(zone[i], ruleZone) << p.lat[i] << ", " << p.lon[i];
        LatLongToUTMInZone(p.lat[i], p.lon[i], 33, true, e, ee, nn);
        ASSERT_TRUE(SameBits(inEast[i], ee) && SameBits(inNorth[i], nn)) << i;
      }
    }
    byTarget[target] = ForwardAndInverse(p);
  });
  for (const auto& [target, r] : byTarget) {
    const Results& first = byTarget.begin()->second;
    EXPECT_EQ(r.zone, first.zone) << target;
    for (size_t i = 0; i < r.values.size(); ++i)
      ASSERT_TRUE(SameBits(r.values[i], first.values[i]) ||
                  (std::isnan(r.values[i]) && std::isnan(first.values[i])))
          << target << " differs from " << byTarget.begin()->first << " at " << i;
  }
}

TEST(UTMBatch, InverseGivesTheBitsOfTheSinglePointsOnEveryInstructionSet) {
  const Positions p = Sweep();
  const size_t n = p.lat.size();
  std::vector<int> zone(n);
  std::vector<double> east(n), north(n), lat(n), lon(n);
  LatLongToUTM(p.lat, p.lon, gelWGS84, zone, east, north);
  std::vector<uint8_t> south(n);
  for (size_t i = 0; i < n; ++i) south[i] = p.lat[i] < 0;
  ForEachSimdTarget([&](const std::string&) {
    for (const int z : {1, 32, 60, 0}) {
      for (const bool s : {false, true}) {
        UTMToLatLong(east, north, z, s, gelWGS84, lat, lon);
        for (size_t i = 0; i < n; ++i) {
          double a = 0, b = 0;
          UTMToLatLong(east[i], north[i], z, s, gelWGS84, a, b);
          ASSERT_TRUE(SameBits(lat[i], a) && SameBits(lon[i], b)) << i << " zone " << z;
        }
      }
    }
    // A zone and hemisphere per point.
    UTMToLatLong(east, north, zone, south, gelWGS84, lat, lon);
    for (size_t i = 0; i < n; ++i) {
      double a = 0, b = 0;
      UTMToLatLong(east[i], north[i], zone[i], south[i] != 0, gelWGS84, a, b);
      ASSERT_TRUE(SameBits(lat[i], a) && SameBits(lon[i], b)) << i;
    }
  });
}

TEST(UTMBatch, TransverseMercatorGivesTheBitsOfTheSinglePoints) {
  const Positions p = Sweep();
  const size_t n = p.lat.size();
  std::vector<double> rlat(n), rlon(n), x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    rlat[i] = p.lat[i] / 180.0 * 3.141592653589793;
    rlon[i] = p.lon[i] / 180.0 * 3.141592653589793;
  }
  ForEachSimdTarget([&](const std::string&) {
    LatLongToTM(rlat, rlon, 0.15, gelWGS84, x, y);
    for (size_t i = 0; i < n; ++i) {
      double a = 0, b = 0;
      LatLongToTM(rlat[i], rlon[i], 0.15, gelWGS84, a, b);
      ASSERT_TRUE(SameBits(x[i], a) && SameBits(y[i], b)) << i;
    }
  });
}

TEST(UTMBatch, EverySpanLengthAndOffsetGivesTheSameBits) {
  // Whole vectors and the rest of a span take different paths.
  const Positions p = Sweep();
  for (size_t offset = 0; offset < 3; ++offset) {
    for (size_t len = 0; len <= 35; ++len) {
      std::vector<int> zone(len);
      std::vector<double> east(len), north(len);
      const std::span<const double> lat(p.lat.data() + 1000 + offset, len);
      const std::span<const double> lon(p.lon.data() + 1000 + offset, len);
      LatLongToUTM(lat, lon, gelWGS84, zone, east, north);
      for (size_t i = 0; i < len; ++i) {
        int z = 0;
        double e = 0, nn = 0;
        LatLongToUTM(lat[i], lon[i], gelWGS84, z, e, nn);
        ASSERT_TRUE(z == zone[i] && SameBits(e, east[i]) && SameBits(nn, north[i]))
            << "length " << len << " offset " << offset << " index " << i;
      }
    }
  }
}

TEST(UTMBatch, RefusesUnequalSpansAndUnknownEllipsoids) {
  std::vector<double> a(4), b(4), c(4), d(3);
  std::vector<int> z(4);
  std::vector<uint8_t> s(3);
  EXPECT_THROW(LatLongToUTM(a, b, gelWGS84, z, c, d), EZYLGeoBasicsError);
  EXPECT_THROW(UTMToLatLong(a, d, 32, false, gelWGS84, b, c), EZYLGeoBasicsError);
  EXPECT_THROW(UTMToLatLong(a, b, z, s, gelWGS84, b, c), EZYLGeoBasicsError);
  EXPECT_THROW(UTMToLatLong(a, b, 32, false, static_cast<TGeoEllipsoid>(200), c, a),
               EZYLGeoBasicsError);
  // Nothing was written before the refusal.
  EXPECT_EQ(c, std::vector<double>(4));
  // The single points refuse such an ellipsoid too rather than read beyond
  // the catalogue.
  int zone = 0;
  double e = 0, n = 0;
  EXPECT_THROW(LatLongToUTM(50, 10, static_cast<TGeoEllipsoid>(61), zone, e, n),
               EZYLGeoBasicsError);
}

}  // namespace
}  // namespace marovia
