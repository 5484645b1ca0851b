#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "marovia/geobasics/transverse_mercator.h"
#include "marovia/geobasics/ups.h"
#include "marovia/geobasics/utm.h"

namespace marovia {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kMetre = 1e-4;   // 0.1 mm on grid coordinates
constexpr double kDegree = 1e-8;  // about 1 mm on the ground
constexpr double kRadian = 1e-15;

double Rad(double deg) {
  return deg * kPi / 180.0;
}

TEST(TransverseMercator, MeridianArc) {
  EXPECT_NEAR(ArcLengthOfMeridian(kPi / 4, gelWGS84), 4984944.378, 1e-3);
  EXPECT_EQ(ArcLengthOfMeridian(0.0, gelWGS84), 0.0);
  EXPECT_NEAR(ArcLengthOfMeridian(-kPi / 4, gelWGS84), -4984944.378, 1e-3);
  // Quarter meridian of WGS 84.
  EXPECT_NEAR(ArcLengthOfMeridian(kPi / 2, gelWGS84), 10001965.729, 1e-3);
  // On a sphere the arc is r * phi.
  EXPECT_NEAR(ArcLengthOfMeridian(1.0, gelSphere), 6370997.0, 1e-6);
}

TEST(TransverseMercator, SphereReducesToSphericalFormulas) {
  double x, y, lat, lon;
  LatLongToTM(Rad(30), Rad(2), 0.0, gelSphere, x, y);
  const double r = 6370997.0;
  // Spherical TM: x = r atanh(cos phi sin l), y = r atan(tan phi / cos l).
  EXPECT_NEAR(x, r * std::atanh(std::cos(Rad(30)) * std::sin(Rad(2))), 1e-3);
  EXPECT_NEAR(y, r * std::atan(std::tan(Rad(30)) / std::cos(Rad(2))), 1e-3);
  TMToLatLong(x, y, 0.0, gelSphere, lat, lon);
  EXPECT_NEAR(lat, Rad(30), 1e-10);
  EXPECT_NEAR(lon, Rad(2), 1e-10);
}

struct ZoneCase {
  double lat, lon;
  const char* text;
};

TEST(UtmZone, BandsAndExceptions) {
  const ZoneCase cases[] = {
      {50, 10, "32U"},      {60, 2, "31V"},    {60, 5, "32V"},       {60, 11.99, "32V"},
      {60, 12, "33V"},      {55.99, 5, "31U"}, {64, 5, "31W"},       {75, 8.9, "31X"},
      {75, 10, "33X"},      {75, 20.9, "33X"}, {75, 21, "35X"},      {75, 41.9, "37X"},
      {75, 42, "38X"},      {75, -0.1, "30X"}, {84, 10, "33X"},      {72, 10, "33X"},
      {71.99, 10, "32W"},   {-80, 0, "31C"},   {-79.99, -180, "1C"}, {-72, 0, "31D"},
      {-0.01, 0, "31M"},    {0, 0, "31N"},     {7.99, 0, "31N"},     {8, 0, "31P"},
      {-33.9, 18.4, "34H"}, {0, -180, "1N"},   {0, 179.99, "60N"},   {-8.5, 100, "47L"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GeoToUTMZone(c.lat, c.lon), c.text) << c.lat << ", " << c.lon;
  }
}

TEST(UtmZone, NoZoneOutsideTheGrid) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double outside[][2] = {{84.0001, 10}, {0, 180}, {-80.0001, 0}, {0, -180.0001},
                               {90, 0},       {nan, 0}, {0, nan},      {1e300, 1e300}};
  for (const auto& p : outside) {
    int zone = -1;
    char16_t band = u'?';
    GeoToUTMZone(p[0], p[1], zone, band);
    EXPECT_EQ(zone, 0) << p[0] << ", " << p[1];
    EXPECT_EQ(band, u' ');
    EXPECT_EQ(GeoToUTMZone(p[0], p[1]), "");
  }
}

TEST(UtmZone, LongitudeJustBelow180StaysInZone60) {
  // 180 - ulp plus 180 rounds to 360, which would give zone 61.
  EXPECT_EQ(GeoToUTMZone(10, std::nextafter(180.0, 0.0)), "60P");
}

TEST(UtmZone, CentralMeridian) {
  EXPECT_EQ(UTMCentralMeridian(0), 0.0);
  EXPECT_EQ(UTMCentralMeridian(61), 0.0);
  EXPECT_EQ(UTMCentralMeridian(-5), 0.0);
  EXPECT_NEAR(UTMCentralMeridian(1), Rad(-177), kRadian);
  EXPECT_NEAR(UTMCentralMeridian(31), Rad(3), kRadian);
  EXPECT_NEAR(UTMCentralMeridian(60), Rad(177), kRadian);
}

TEST(Utm, KnownPositions) {
  struct Case {
    double lat, lon;
    int zone;
    double easting, northing;
  };
  const Case cases[] = {
      {50, 10, 32, 571666.4475, 5539109.8153},
      {0, 3, 31, 500000.0, 0.0},  // equator: no false northing
  };
  for (const auto& c : cases) {
    int zone;
    double e, n;
    LatLongToUTM(c.lat, c.lon, gelWGS84, zone, e, n);
    EXPECT_EQ(zone, c.zone);
    EXPECT_NEAR(e, c.easting, kMetre);
    EXPECT_NEAR(n, c.northing, kMetre);
  }
  int zone;
  double e, n;
  LatLongToUTM(-33.9, 18.4, gelWGS84, zone, e, n);
  EXPECT_EQ(zone, 34);
  EXPECT_GT(n, 6000000.0);
  EXPECT_LT(n, 10000000.0);
}

TEST(Utm, RoundTripsNorthAndSouth) {
  const double lats[] = {-79.5, -45, -33.9, -0.001, 0, 0.001, 33.3, 50, 71, 83.9};
  const double offsets[] = {-2.99, -1, 0, 0.5, 2.99};
  for (TGeoEllipsoid ell : {gelWGS84, gelInt24, gelClrk66, gelSphere}) {
    for (double lat : lats) {
      for (double off : offsets) {
        const double lon = 9 + off;  // zone 32, or 31/33 where Svalbard widens them
        int zone;
        double e, n, lat2, lon2;
        LatLongToUTM(lat, lon, ell, zone, e, n);
        ASSERT_NE(zone, 0);
        UTMToLatLong(e, n, zone, lat < 0, ell, lat2, lon2);
        EXPECT_NEAR(lat2, lat, kDegree) << GeoEllipsoidId[ell] << " " << lat << " " << lon;
        EXPECT_NEAR(lon2, lon, kDegree) << GeoEllipsoidId[ell] << " " << lat << " " << lon;
      }
    }
  }
  double lat, lon;
  UTMToLatLong(571666.4475, 5539109.8153, 32, false, gelWGS84, lat, lon);
  EXPECT_NEAR(lat, 50, 1e-8);
  EXPECT_NEAR(lon, 10, 1e-8);
}

TEST(Utm, OutsideTheGridProjectsAboutGreenwich) {
  int zone;
  double e, n, x, y;
  LatLongToUTM(85, 1, gelWGS84, zone, e, n);
  EXPECT_EQ(zone, 0);
  LatLongToTM(Rad(85), Rad(1), 0.0, gelWGS84, x, y);
  EXPECT_NEAR(e, x * 0.9996 + 500000, 1e-6);
  EXPECT_NEAR(n, y * 0.9996, 1e-6);
  // NaN gives zone 0 rather than undefined integer conversions.
  LatLongToUTM(std::nan(""), 10, gelWGS84, zone, e, n);
  EXPECT_EQ(zone, 0);
}

TEST(Ups, KnownPositions) {
  struct Case {
    double lat, lon, x, y;
  };
  const Case cases[] = {
      {90, 0, 2000000, 2000000},      {90, 123, 2000000, 2000000},
      {-90, 45, 2000000, 2000000},    {85, 0, 2000000, 1444542.609},
      {-85, 0, 2000000, 2555457.391}, {87, 45, 2235568.725, 1764431.275},
  };
  for (const auto& c : cases) {
    double x, y;
    LatLongToUPS(c.lat, c.lon, gelWGS84, x, y);
    EXPECT_NEAR(x, c.x, 1e-3) << c.lat << ", " << c.lon;
    EXPECT_NEAR(y, c.y, 1e-3) << c.lat << ", " << c.lon;
  }
}

TEST(Ups, GridLinesThroughThePoleAreExact) {
  for (double lat : {85.0, -85.0, 60.0}) {
    double x, y;
    LatLongToUPS(lat, 180, gelWGS84, x, y);
    EXPECT_EQ(x, 2000000.0);
    LatLongToUPS(lat, -180, gelWGS84, x, y);
    EXPECT_EQ(x, 2000000.0);
    LatLongToUPS(lat, 90, gelWGS84, x, y);
    EXPECT_EQ(y, 2000000.0);
    EXPECT_GT(x, 2000000.0);
    LatLongToUPS(lat, -90, gelWGS84, x, y);
    EXPECT_EQ(y, 2000000.0);
    EXPECT_LT(x, 2000000.0);
  }
  // Longitudes one turn out are brought back once.
  double x1, y1, x2, y2;
  LatLongToUPS(80, 200, gelWGS84, x1, y1);
  LatLongToUPS(80, -160, gelWGS84, x2, y2);
  EXPECT_NEAR(x1, x2, 1e-9);
  EXPECT_NEAR(y1, y2, 1e-9);
}

TEST(Ups, RoundTripsBothHemispheres) {
  for (TGeoEllipsoid ell : {gelWGS84, gelKrass40, gelSphere}) {
    for (double lat : {60.0, 75.5, 84.0, 89.999}) {
      for (double lon : {-179.0, -90.0, -45.0, 0.0, 12.5, 90.0, 135.0}) {
        for (double sign : {1.0, -1.0}) {
          double x, y, lat2, lon2;
          LatLongToUPS(sign * lat, lon, ell, x, y);
          UPSToLatLong(x, y, sign < 0, ell, lat2, lon2);
          EXPECT_NEAR(lat2, sign * lat, 1e-9) << GeoEllipsoidId[ell] << sign * lat << " " << lon;
          EXPECT_NEAR(lon2, lon, 1e-9) << GeoEllipsoidId[ell] << sign * lat << " " << lon;
        }
      }
    }
  }
}

TEST(Ups, SphereHasNoEccentricityTerms) {
  // Spherical polar stereographic: rho = 2 k0 r tan(chi / 2).
  double x, y;
  LatLongToUPS(70, 90, gelSphere, x, y);
  EXPECT_NEAR(x - 2000000, 2 * 0.994 * 6370997.0 * std::tan(Rad(20) / 2), 1e-6);
  EXPECT_FALSE(std::isnan(y));
}

}  // namespace
}  // namespace marovia
