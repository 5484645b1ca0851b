// Agreement with reference values computed once by independent geodesy tools
// (see tests/data/geobasics/README.md): exact Transverse Mercator, polar
// stereographic and a seven-parameter Helmert shift on the same axes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "fixture_reader.h"
#include "marovia/geobasics/datums.h"
#include "marovia/geobasics/ups.h"
#include "marovia/geobasics/utm.h"

namespace marovia {
namespace {

using testing::ReadFixture;

TEST(PeerAgreement, UtmWithinATenthOfAMillimetre) {
  const auto rows = ReadFixture("utm_grid.csv");
  ASSERT_GT(rows.size(), 1000u);
  double worst = 0;
  for (const auto& r : rows) {
    const double lat = std::stod(r[0]), lon = std::stod(r[1]);
    int zone;
    double e, n;
    LatLongToUTM(lat, lon, gelWGS84, zone, e, n);
    EXPECT_EQ(zone, std::stoi(r[2])) << lat << ", " << lon;
    EXPECT_NEAR(e, std::stod(r[3]), 1e-4) << lat << ", " << lon;
    EXPECT_NEAR(n, std::stod(r[4]), 1e-4) << lat << ", " << lon;
    worst = std::max({worst, std::fabs(e - std::stod(r[3])), std::fabs(n - std::stod(r[4]))});
  }
  RecordProperty("worst_metres", std::to_string(worst));
}

TEST(PeerAgreement, UpsWithinAMillimetre) {
  const auto rows = ReadFixture("ups_grid.csv");
  ASSERT_GT(rows.size(), 300u);
  for (const auto& r : rows) {
    const double lat = std::stod(r[1]), lon = std::stod(r[2]);
    double x, y;
    LatLongToUPS(lat, lon, gelWGS84, x, y);
    EXPECT_NEAR(x, std::stod(r[3]), 1e-3) << lat << ", " << lon;
    EXPECT_NEAR(y, std::stod(r[4]), 1e-3) << lat << ", " << lon;
    // And back, onto the same position.
    double lat2, lon2;
    UPSToLatLong(std::stod(r[3]), std::stod(r[4]), r[0] == "S", gelWGS84, lat2, lon2);
    EXPECT_NEAR(lat2, lat, 1e-8) << lat << ", " << lon;
    EXPECT_NEAR(std::remainder(lon2 - lon, 360.0), 0.0, 1e-8) << lat << ", " << lon;
  }
}

TEST(PeerAgreement, SevenParameterHelmertIntoWgs84WithinAMillimetre) {
  const auto rows = ReadFixture("helmert_grid.csv");
  ASSERT_GT(rows.size(), 3000u);
  constexpr double kMetresPerDegree = 6378137.0 * 3.141592653589793 / 180.0;
  for (const auto& r : rows) {
    const int datum = std::stoi(r[0]);
    const double lat = std::stod(r[1]), lon = std::stod(r[2]), h = std::stod(r[3]);
    double lat2, lon2, h2;
    ASSERT_EQ(HelmertTransform(datum, lat, lon, h, DatumWGS84, lat2, lon2, h2), htOK);
    const double north = (lat2 - std::stod(r[4])) * kMetresPerDegree;
    const double east = std::remainder(lon2 - std::stod(r[5]), 360.0) * kMetresPerDegree *
                        std::cos(lat2 * 3.141592653589793 / 180.0);
    EXPECT_LT(std::fabs(north), 1e-3) << "datum " << datum << " at " << lat << ", " << lon;
    EXPECT_LT(std::fabs(east), 1e-3) << "datum " << datum << " at " << lat << ", " << lon;
    EXPECT_LT(std::fabs(h2 - std::stod(r[6])), 1e-3) << "datum " << datum << " at " << lat;
  }
}

}  // namespace
}  // namespace marovia
