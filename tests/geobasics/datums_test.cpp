#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "marovia/geobasics/cartesian.h"
#include "marovia/geobasics/datums.h"

namespace marovia {
namespace {

constexpr double kMillimetre = 1e-3;
constexpr double kDegree = 1e-9;  // about 0.1 mm

TEST(Cartesian, AxesOfWgs84) {
  double x, y, z;
  GeoToCartesian(0, 0, 0, gelWGS84, x, y, z);
  EXPECT_NEAR(x, 6378137, 1e-9);
  EXPECT_NEAR(y, 0, 1e-9);
  EXPECT_NEAR(z, 0, 1e-9);
  GeoToCartesian(90, 0, 0, gelWGS84, x, y, z);
  EXPECT_NEAR(x, 0, 1e-6);
  EXPECT_NEAR(y, 0, 1e-6);
  EXPECT_NEAR(z, 6356752.314245, 1e-6);
  GeoToCartesian(0, 90, 100, gelWGS84, x, y, z);
  EXPECT_NEAR(y, 6378237, 1e-9);
}

TEST(Cartesian, RoundTripsAllQuadrantsAndHemispheres) {
  for (TGeoEllipsoid ell : {gelWGS84, gelAiry30, gelSphere}) {
    for (double lat : {-89.9, -60.0, -0.5, 0.0, 23.4, 52.1, 89.9}) {
      for (double lon : {-179.9, -135.0, -45.0, 0.0, 45.0, 135.0, 180.0}) {
        for (double h : {-100.0, 0.0, 1234.5, 100000.0}) {
          double x, y, z, lat2, lon2, h2;
          GeoToCartesian(lat, lon, h, ell, x, y, z);
          CartesianToGeo(x, y, z, ell, lat2, lon2, h2);
          SCOPED_TRACE(testing::Message()
                       << GeoEllipsoidId[ell] << " " << lat << " " << lon << " " << h);
          EXPECT_NEAR(lat2, lat, kDegree);
          EXPECT_NEAR(lon2, lon, kDegree);
          EXPECT_NEAR(h2, h, kMillimetre);
        }
      }
    }
  }
}

TEST(Cartesian, PolarAxisGivesThePoleAtLongitudeZero) {
  double lat, lon, h;
  CartesianToGeo(0, 0, 6356752.314245 + 10, gelWGS84, lat, lon, h);
  EXPECT_EQ(lat, 90.0);
  EXPECT_EQ(lon, 0.0);
  EXPECT_NEAR(h, 10.0, 1e-6);
  CartesianToGeo(0, 0, -6356752.314245, gelWGS84, lat, lon, h);
  EXPECT_EQ(lat, -90.0);
  EXPECT_EQ(lon, 0.0);
  EXPECT_NEAR(h, 0.0, 1e-6);
  CartesianToGeo(0, 0, 6371000, gelSphere, lat, lon, h);
  EXPECT_EQ(lat, 90.0);
  EXPECT_NEAR(h, 3.0, 1e-6);
}

TEST(DatumTable, TellingRows) {
  struct Row {
    int no;
    const char* name;
    const char* region;
    TGeoEllipsoid ell;
    double dx, dy, dz, scale, rx, ry, rz;
  };
  const Row rows[] = {
      {1, "ACCRA", "Ghana", gelWarOffice, -199, 32, 322, 0, 0, 0, 0},
      {13, "RD, AMERSFOORT", "Netherlands", gelBess41, 565, 49.9, 465.8, 4.08, -0.409, 0.36,
       -1.869},
      {183, "ORDNANCE GB 1936", "GB - Great Britain", gelAiry30, 446.448, -125.157, 542.06, -20.49,
       0.15, 0.247, 0.8421},
      {217, "DHDN (RAUENBERG),", "Germany", gelBess41, 582, 105, 414, 8.3, 1.04, 0.35, -3.08},
      {238, "SOVIET GEODETIC SYSTEM 85", "Russia", gelSGS85, 0, 0, 4, 0, 0, 0, 0.6},
      {268, "WORLD GEODETIC SYSTEM 1972", "World", gelWGS72, 0, 0, 4.5, 0.219, 0, 0, 0.554},
      {269, "WORLD GEODETIC SYSTEM 1984", "World", gelWGS84, 0, 0, 0, 0, 0, 0, 0},
      {271, "ZANDERIJ", "Suriname", gelInt24, -265, 120, -358, 0, 0, 0, 0},
  };
  for (const auto& r : rows) {
    const TDatumData* d = GetDatumData(r.no);
    ASSERT_NE(d, nullptr);
    SCOPED_TRACE(r.no);
    EXPECT_EQ(d->Name.View(), r.name);
    EXPECT_EQ(d->Region.View(), r.region);
    EXPECT_EQ(d->Ellipsoid, r.ell);
    EXPECT_EQ(d->DX, r.dx);
    EXPECT_EQ(d->DY, r.dy);
    EXPECT_EQ(d->DZ, r.dz);
    EXPECT_EQ(d->Scale, r.scale);
    EXPECT_EQ(d->RotX, r.rx);
    EXPECT_EQ(d->RotY, r.ry);
    EXPECT_EQ(d->RotZ, r.rz);
  }
  int sevenParameter = 0;
  for (const TDatumData& d : DatumData) {
    if (d.Scale != 0 || d.RotX != 0 || d.RotY != 0 || d.RotZ != 0) ++sevenParameter;
    EXPECT_LE(d.Name.Length(), 33u);
  }
  EXPECT_EQ(sevenParameter, 58);
  EXPECT_EQ(GetDatumData(0), nullptr);
  EXPECT_EQ(GetDatumData(272), nullptr);
  EXPECT_EQ(GetDatumData(-1), nullptr);
}

TEST(Helmert, IdentityOnTheCommonFrame) {
  double lat, lon, h;
  EXPECT_EQ(HelmertTransform(269, 52.1, 5.3, 43.0, 269, lat, lon, h), htOK);
  EXPECT_NEAR(lat, 52.1, kDegree);
  EXPECT_NEAR(lon, 5.3, kDegree);
  EXPECT_NEAR(h, 43.0, kMillimetre);
}

TEST(Helmert, ThreeParameterShiftMovesByTheTranslation) {
  // ZANDERIJ is a pure translation: the cartesian difference is (DX, DY, DZ).
  double lat, lon, h, x1, y1, z1, x2, y2, z2;
  ASSERT_EQ(HelmertTransform(271, 5.8, -55.2, 10.0, 269, lat, lon, h), htOK);
  GeoToCartesian(5.8, -55.2, 10.0, gelInt24, x1, y1, z1);
  GeoToCartesian(lat, lon, h, gelWGS84, x2, y2, z2);
  EXPECT_NEAR(x2 - x1, -265, kMillimetre);
  EXPECT_NEAR(y2 - y1, 120, kMillimetre);
  EXPECT_NEAR(z2 - z1, -358, kMillimetre);
}

TEST(Helmert, ThereAndBackNearlyReturns) {
  // The inverse step negates the parameters, which is exact only to first
  // order (scale times translation is left over): a shift there and back
  // returns within a few centimetres.
  double lat, lon, h, lat2, lon2, h2;
  ASSERT_EQ(HelmertTransform(183, 51.5, -0.1, 50, 269, lat, lon, h), htOK);
  EXPECT_GT(std::fabs(lon + 0.1), 1e-4);  // it really moved
  ASSERT_EQ(HelmertTransform(269, lat, lon, h, 183, lat2, lon2, h2), htOK);
  EXPECT_NEAR(lat2, 51.5, 1e-7);
  EXPECT_NEAR(lon2, -0.1, 1e-7);
  EXPECT_NEAR(h2, 50, 0.05);
}

TEST(Helmert, StatusNamesTheLastFailingCheck) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int source;
    double lat, lon;
    int target, status;
  };
  const Case cases[] = {
      {0, 10, 10, 269, htInvalidSource},
      {272, 10, 10, 269, htInvalidSource},
      {269, 10, 10, 0, htInvalidTarget},
      {0, 10, 10, 300, htInvalidTarget},
      {269, 91, 10, 300, htInvalidLatitude},
      {0, 91, 181, 0, htInvalidLongitude},
      {269, 10, 180.5, 269, htInvalidLongitude},
      {269, -90.5, 10, 269, htInvalidLatitude},
      {269, nan, 10, 269, htInvalidLatitude},
      {269, 10, nan, 269, htInvalidLongitude},
      {1, 90, 180, 271, htOK},
      {1, -90, -180, 271, htOK},
  };
  for (const auto& c : cases) {
    double lat = 1, lon = 2, h = 3;
    EXPECT_EQ(HelmertTransform(c.source, c.lat, c.lon, 0, c.target, lat, lon, h), c.status)
        << c.source << " " << c.lat << " " << c.lon << " " << c.target;
  }
}

TEST(Helmert, InvalidDatumLeavesOutputsUnchanged) {
  double lat = 1, lon = 2, h = 3;
  EXPECT_EQ(HelmertTransform(0, 10, 10, 0, 269, lat, lon, h), htInvalidSource);
  EXPECT_EQ(HelmertTransform(269, 10, 10, 0, 272, lat, lon, h), htInvalidTarget);
  EXPECT_EQ(lat, 1);
  EXPECT_EQ(lon, 2);
  EXPECT_EQ(h, 3);
  // A bad latitude is still shifted, so callers that ignore the status get
  // the computed position.
  EXPECT_EQ(HelmertTransform(269, 95, 10, 0, 269, lat, lon, h), htInvalidLatitude);
  EXPECT_NE(lat, 1);
}

}  // namespace
}  // namespace marovia
