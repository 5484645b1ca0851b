// Track statistics: lengths against GeographicLib's exact geodesic (its
// elliptic-integral solution, a method independent of the series the
// library sums), climbs of synthetic profiles with GPS-like noise, the
// hysteresis filter's transitions worked out by hand, stops and moving
// time of a synthetic walk.
#include <gtest/gtest.h>
#include <GeographicLib/GeodesicExact.hpp>

#include <cmath>
#include <random>

#include "marovia/geomap/track_stats.h"

namespace marovia {
namespace {

double ExactLength(const TTrackPoints& P, TPointRange R) {
  const GeographicLib::GeodesicExact& g = GeographicLib::GeodesicExact::WGS84();
  long double sum = 0;
  for (std::size_t i = R.Begin + 1; i < R.End; ++i) {
    double s = 0;
    g.Inverse(P.Lat[i - 1], P.Lon[i - 1], P.Lat[i], P.Lon[i], s);
    sum += s;
  }
  return static_cast<double>(sum);
}

TTrackPoints Path(double Lat0, double Lon0, double DLat, double DLon, int N, double Wiggle = 0) {
  TTrackPoints p;
  for (int i = 0; i < N; ++i) {
    double lon = Lon0 + DLon * i + Wiggle * std::sin(i * 0.7);
    lon = std::remainder(lon, 360.0);
    p.Append(Lat0 + DLat * i + Wiggle * std::cos(i * 1.3), lon);
  }
  return p;
}

TEST(TrackStats, LengthsAgreeWithTheExactGeodesicWithin1MmPer100Km) {
  struct TCase {
    const char* What;
    TTrackPoints Points;
  } cases[] = {
      {"equator to 60 N in 1 km steps", Path(0, 10, 0.009, 0.001, 6700, 0.001)},
      {"across the antimeridian far south", Path(-65, 170, -0.0001, 0.05, 400, 0.01)},
      {"round the north pole", Path(89.99, 0, 0, 1, 361)},
      {"nearly antipodal single steps", Path(0.5, 0, -0.5, 179.4, 3)},
      {"metre steps", Path(47, 8, 1e-5, 1e-5, 5000)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const TPointRange all{0, c.Points.Size()};
    const double ours = SegmentStats(c.Points, all).Length2D;
    const double exact = ExactLength(c.Points, all);
    EXPECT_NEAR(ours, exact, std::max(1e-8 * exact, 1e-6)) << exact;
    EXPECT_EQ(ours, SegmentStats(c.Points, all).Length3D);  // no elevations
  }
  // Segments are not joined: the gap between them is no length.
  TTrack t;
  TTrackPoints p = Path(10, 10, 0.01, 0, 11);
  const TTrackPoints far = Path(-10, -10, 0.01, 0, 11);
  p.AppendAll(far);
  t.Segments = {{0, 11}, {11, 22}};
  EXPECT_NEAR(TrackStats(p, t).Length2D, ExactLength(p, {0, 11}) + ExactLength(p, {11, 22}), 1e-6);
  EXPECT_EQ(TrackStats(p, t).Segments, 2u);
}

TEST(TrackStats, ThreeDimensionalLengthAddsTheClimbOfEachStep) {
  TTrackPoints p;
  p.Append(47, 8, 100);
  p.Append(47, 8, 400);          // straight up 300 m
  p.Append(47.01, 8, kNoValue);  // no elevation: the step counts flat
  p.Append(47.02, 8, 1000);
  const TTrackStats s = SegmentStats(p, {0, 4});
  const double flat1 = ExactLength(p, {1, 3}), flat2 = ExactLength(p, {2, 4});
  EXPECT_NEAR(s.Length2D, flat1 + flat2, 1e-6);
  EXPECT_NEAR(s.Length3D, 300 + flat1 + flat2, 1e-6);
  EXPECT_EQ(s.MinEle, 100);
  EXPECT_EQ(s.MaxEle, 1000);
}

// A profile of Hills hills of Height metres, cosine-shaped, along a
// meridian with a point every Spacing metres, plus noise of 3 m.
TTrackPoints HillWalk(int Hills, double Height, double Wavelength, double Spacing, bool Gaussian,
                      unsigned Seed) {
  std::mt19937 rng(Seed);
  std::uniform_real_distribution<double> uniform(-3, 3);
  std::normal_distribution<double> normal(0, 3);
  TTrackPoints p;
  const double metresPerDegree = 111194.9;  // along the meridian near 46 N, closely enough
  for (double x = 0; x <= Hills * Wavelength; x += Spacing) {
    const double e = 500 + Height / 2 * (1 - std::cos(2 * M_PI * x / Wavelength));
    p.Append(46 + x / metresPerDegree, 7, e + (Gaussian ? normal(rng) : uniform(rng)));
  }
  return p;
}

TEST(TrackStats, ClimbOfNoisyProfilesWithin3Percent) {
  struct TCase {
    int Hills;
    double Height, Wavelength;
  } profiles[] = {{3, 300, 6000}, {10, 100, 2000}, {20, 50, 2000}, {40, 25, 1000}};
  for (const TCase& c : profiles)
    for (const double spacing : {1.0, 5.0, 10.0})
      for (const bool gaussian : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << c.Hills << " hills of " << c.Height << " m, a point every " << spacing
                     << " m, " << (gaussian ? "normal" : "uniform") << " noise");
        const TTrackPoints p = HillWalk(c.Hills, c.Height, c.Wavelength, spacing, gaussian, 7);
        const TTrackStats s = SegmentStats(p, {0, p.Size()});
        const double climb = c.Hills * c.Height;
        EXPECT_NEAR(s.Ascent, climb, 0.03 * climb);
        EXPECT_NEAR(s.Descent, climb, 0.03 * climb);
      }
}

TEST(TrackStats, HysteresisCountsOnlyConfirmedTurningPoints) {
  struct TCase {
    std::vector<double> Ele;
    double H, Ascent, Descent;
  } cases[] = {
      {{0, 4, 0, 4, 0}, 5, 0, 0},               // wiggles below H
      {{0, 20, 10, 30}, 5, 40, 10},             // up, confirmed down, up
      {{0, -3, 100, 95, 200}, 10, 203, 0},      // the climb starts at the low
      {{100, 90, 95, 80}, 5, 5, 25},            // down, up by exactly H, down
      {{0, kNoValue, 20, kNoValue}, 5, 20, 0},  // points without elevation
      {{50}, 5, 0, 0},                          // one point
      {{0, 6, 2, 8, 4, 10, 6}, 5, 10, 0},       // a noisy climb: dips of 4 ignored
      {{10, 0, 10, 0, 10}, 10, 20, 20},         // swings of exactly H count
  };
  TTrackStatsOptions o;
  o.SmoothingMetres = 0;
  for (const TCase& c : cases) {
    TTrackPoints p;
    for (std::size_t i = 0; i < c.Ele.size(); ++i) p.Append(47 + i * 1e-4, 8, c.Ele[i]);
    o.Hysteresis = c.H;
    const TTrackStats s = SegmentStats(p, {0, p.Size()}, o);
    EXPECT_EQ(s.Ascent, c.Ascent) << testing::PrintToString(c.Ele);
    EXPECT_EQ(s.Descent, c.Descent) << testing::PrintToString(c.Ele);
  }
}

TEST(TrackStats, StopsAndMovingTimeOfAWalk) {
  // 1 Hz: ten minutes east at 1.2 m/s, five minutes standing with 3 m of
  // jitter, five minutes on, 30 s standing (too short for a stop), five
  // minutes on, then the logger paused for an hour in one place.
  for (const unsigned Seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
    SCOPED_TRACE(Seed);
    std::mt19937 rng(Seed);
    std::uniform_real_distribution<double> jitter(-3, 3);
    const double degreeEast = 111319.5 * std::cos(47 * M_PI / 180), degreeNorth = 111194.9;
    TTrackPoints p;
    double x = 0, t = 1.6e9;
    auto add = [&](double Dx) {
      // Drawn in a fixed order (an argument list's is unspecified).
      const double north = jitter(rng), east = jitter(rng);
      p.Append(47 + north / degreeNorth, 8 + (x + east) / degreeEast, kNoValue, t);
      x += Dx;
      t += 1;
    };
    for (int i = 0; i < 600; ++i) add(1.2);
    for (int i = 0; i < 300; ++i) add(0);
    for (int i = 0; i < 300; ++i) add(1.2);
    for (int i = 0; i < 30; ++i) add(0);
    for (int i = 0; i < 300; ++i) add(1.2);
    t += 3600;
    add(1.2);
    const TTrackStats s = SegmentStats(p, {0, p.Size()});
    EXPECT_EQ(s.Duration, p.Time.back() - p.Time.front());
    EXPECT_EQ(s.EndTime, p.Time.back());
    EXPECT_EQ(s.Stops, 2u);
    // A stop begins where the walker comes within the radius of where he
    // stops: up to 20 m / 1.2 m/s early; a stay whose anchor lay at its edge
    // goes on from a second anchor, and ends up to as long after it. The
    // five minutes are one stop however the jitter falls.
    EXPECT_GE(s.StopTime, 300 + 3600);
    EXPECT_LE(s.StopTime, 300 + 3600 + 3 * 20 / 1.2 + 4);
    EXPECT_EQ(s.MovingTime, s.Duration - s.StopTime);
    EXPECT_GE(s.MovingTime, 600 + 300 + 30 + 300 - 3 * 20 / 1.2 - 4);
    EXPECT_NEAR(s.MovingSpeed(), s.Length2D / s.MovingTime, 1e-12);
    EXPECT_EQ(s.StartTime, 1.6e9);
  }
}

TEST(TrackStats, RefusesOptionsOutOfRange) {
  TTrackPoints p = Path(0, 0, 0.001, 0, 3);
  for (const auto& bad :
       {TTrackStatsOptions{0, 100, 20, 60}, TTrackStatsOptions{10, -1, 20, 60},
        TTrackStatsOptions{10, 100, 0, 60}, TTrackStatsOptions{10, 100, 20, std::nan("")}})
    EXPECT_THROW(SegmentStats(p, {0, 3}, bad), EZYLGeoMapError);
}

}  // namespace
}  // namespace marovia
