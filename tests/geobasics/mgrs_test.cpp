// MGRS and USNG references: against an independent converter (GeoConvert -m
// of GeographicLib, Debian geographiclib-tools) both ways on 10^5 positions
// at every precision, band and zone edges and the polar caps included;
// every square's centre naming its own square again; the batches against
// the single conversions; and a table of texts that are no reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "marovia/geobasics/mgrs.h"
#include "marovia/geobasics/ups.h"
#include "marovia/geobasics/utm.h"
#include "support/run_command.h"

namespace marovia {
namespace {

#ifdef NDEBUG
constexpr size_t kPositions = 100000;
#else
constexpr size_t kPositions = 10000;
#endif

struct Positions {
  std::vector<double> lat, lon;
};

// Uniform over the globe, the polar caps, and the edges of bands and zones
// (Norway and Svalbard included) with and without a hair's offset. Not 84 N
// itself: there the references differ by definition (this grid keeps 84 N
// in band X, the converter puts it in the polar cap).
Positions Sample(size_t n) {
  std::mt19937_64 random(36);
  std::uniform_real_distribution<double> unit(0, 1);
  const double bandEdges[] = {-80, -72, -64, -56, -48, -40, -32, -24, -16, -8,       0,
                              8,   16,  24,  32,  40,  48,  56,  64,  72,  83.999999};
  const double zoneEdges[] = {-180, -174, -6, 0, 3, 6, 9, 12, 18, 21, 24, 30, 33, 36, 42, 174};
  Positions p;
  for (size_t i = 0; i < n; ++i) {
    double lat = -90 + 180 * unit(random), lon = -180 + 360 * unit(random);
    switch (i % 10) {
      case 0:
        lat = unit(random) < 0.5 ? 84 + 6 * unit(random) : -80 - 10 * unit(random);
        break;
      case 1:
        lat = bandEdges[i / 10 % std::size(bandEdges)];
        break;
      case 2:
        lon = zoneEdges[i / 10 % std::size(zoneEdges)];
        lat = i % 20 < 10 ? 56 + 8 * unit(random) : 72 + 11.9 * unit(random);
        break;
      case 3:
        lon = zoneEdges[i / 10 % std::size(zoneEdges)] + (unit(random) - 0.5) * 1e-7;
        break;
    }
    if (lat == 84) continue;
    lon = std::clamp(lon, -180.0, 180.0);
    p.lat.push_back(lat);
    p.lon.push_back(lon);
  }
  return p;
}

// A reference with its zone written without a leading zero.
std::string Plain(std::string r) {
  if (r.size() > 1 && r[0] == '0' && std::isdigit(static_cast<unsigned char>(r[1]))) r.erase(0, 1);
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream s(text);
  std::string line;
  while (std::getline(s, line)) out.push_back(line);
  return out;
}

// The zone and band (or polar band) of a reference.
std::string GridZone(const std::string& r) {
  const size_t digits = r.find_first_not_of("0123456789");
  return r.substr(0, digits + 1);
}

// Our grid coordinates of a position (UTM, or UPS beyond the UTM area).
void GridOf(double lat, double lon, double& e, double& n) {
  int zone = 0;
  LatLongToUTM(lat, lon == 180 ? -180 : lon, gelWGS84, zone, e, n);
  if (zone == 0) LatLongToUPS(lat, lon, gelWGS84, e, n);
}

// Whether v lies within tol of a multiple of unit: there the series this
// grid uses and the exact projection of the other converter may fall on
// either side.
bool NearCellEdge(double v, double unit, double tol) {
  const double r = std::fmod(v, unit);
  return r < tol || unit - r < tol;
}

TEST(MGRS, AgreesWithGeoConvertAtEveryPrecision) {
  ASSERT_TRUE(test::HaveCommand("GeoConvert"))
      << "geographiclib-tools is missing (scripts/setup.sh)";
  const Positions p = Sample(kPositions);
  const size_t n = p.lat.size();
  // Fixed notation: the converter reads a trailing "e" as a hemisphere.
  std::ostringstream in;
  in.precision(15);
  in << std::fixed;
  for (size_t i = 0; i < n; ++i) in << p.lat[i] << ' ' << p.lon[i] << '\n';
  // The converter is run at 1 m and at 100 km; the precisions between are
  // its 1 m references truncated, as the grid defines them.
  std::vector<std::string> metre, square;
  for (const int precision : {5, 0}) {
    const test::CommandResult r =
        test::RunCommand("GeoConvert -m -p " + std::to_string(precision - 5), in.str());
    ASSERT_EQ(r.Status, 0) << r.Err;
    (precision == 5 ? metre : square) = Lines(r.Out);
    ASSERT_EQ((precision == 5 ? metre : square).size(), n);
  }
  for (int precision = 0; precision <= MGRS_MaxPrecision; ++precision) {
    std::vector<std::string> theirs = precision == 0 ? square : metre;
    if (precision > 0 && precision < 5) {
      for (std::string& t : theirs) {
        const size_t digits = t.size() - 10;
        t = t.substr(0, digits) + t.substr(digits, precision) + t.substr(digits + 5, precision);
      }
    }
    std::vector<char> batch(n * MGRS_MaxLength);
    LatLongToMGRS(p.lat, p.lon, precision, gelWGS84, batch, MGRS_MaxLength);
    const double unit = std::pow(10.0, 5 - precision);
    size_t onEdge = 0;
    for (size_t i = 0; i < n; ++i) {
      const std::string ours = LatLongToMGRS(p.lat[i], p.lon[i], precision);
      const char* field = &batch[i * MGRS_MaxLength];
      ASSERT_EQ(std::string(field, std::find(field, field + MGRS_MaxLength, '\0')), ours) << i;
      if (ours == Plain(theirs[i])) continue;
      double e = 0, north = 0;
      GridOf(p.lat[i], p.lon[i], e, north);
      ASSERT_TRUE(NearCellEdge(e, unit, 2e-3) || NearCellEdge(north, unit, 2e-3))
          << p.lat[i] << ", " << p.lon[i] << " at precision " << precision << ": " << ours
          << " against " << theirs[i];
      ++onEdge;
    }
    EXPECT_LT(onEdge, n / 1000) << "precision " << precision;
    RecordProperty("on a cell edge at precision " + std::to_string(precision),
                   std::to_string(onEdge));
  }
}

TEST(MGRS, ReferencesGoBackToTheCentreOfTheirSquare) {
  ASSERT_TRUE(test::HaveCommand("GeoConvert"))
      << "geographiclib-tools is missing (scripts/setup.sh)";
  const Positions p = Sample(kPositions / 10);
  const size_t n = p.lat.size();
  for (int precision = 0; precision <= MGRS_MaxPrecision; ++precision) {
    std::ostringstream in;
    std::vector<std::string> refs;
    for (size_t i = 0; i < n; ++i) {
      refs.push_back(LatLongToMGRS(p.lat[i], p.lon[i], precision));
      in << refs.back() << '\n';
    }
    const test::CommandResult r = test::RunCommand("GeoConvert -p 6", in.str());
    ASSERT_EQ(r.Status, 0) << r.Err;
    const auto theirs = Lines(r.Out);
    ASSERT_EQ(theirs.size(), n);
    std::vector<double> lat(n), lon(n);
    std::vector<uint8_t> ok(n);
    std::vector<char> fields(n * MGRS_MaxLength, '\0');
    for (size_t i = 0; i < n; ++i)
      std::copy(refs[i].begin(), refs[i].end(), &fields[i * MGRS_MaxLength]);
    MGRSToLatLong(fields, MGRS_MaxLength, gelWGS84, lat, lon, ok);
    double worst = 0;
    for (size_t i = 0; i < n; ++i) {
      double a = 0, b = 0;
      int digits = -1;
      std::string why;
      ASSERT_TRUE(MGRSToLatLong(refs[i], gelWGS84, a, b, digits, &why)) << refs[i] << ": " << why;
      ASSERT_EQ(digits, precision);
      ASSERT_TRUE(ok[i] && a == lat[i] && b == lon[i]) << refs[i];
      // The centre names its own square, unless the square reaches into
      // another grid zone (an exception zone, another band, the far side of
      // the 180 meridian) and its centre lies there.
      const std::string back = LatLongToMGRS(a, b, precision);
      if (GridZone(back) == GridZone(refs[i])) {
        ASSERT_EQ(back, refs[i]) << a << ", " << b;
      }
      ASSERT_TRUE(a >= -90 && a <= 90 && b >= -180 && b <= 180) << refs[i];
      std::istringstream s(theirs[i]);
      double ta = 0, tb = 0;
      ASSERT_TRUE(s >> ta >> tb) << theirs[i];
      worst = std::max({worst, std::fabs(a - ta),
                        std::fabs(std::remainder(b - tb, 360.0)) * std::cos(a * M_PI / 180)});
    }
    EXPECT_LT(worst, 1e-7) << "precision " << precision;  // about a centimetre
  }
}

TEST(MGRS, KnownReferencesAndForms) {
  struct Case {
    double lat, lon;
    int precision;
    const char* mgrs;
    const char* usng;
  };
  const Case cases[] = {
      {50, 10, 5, "32UNA7166639109", "32U NA 71666 39109"},
      {50, 10, 2, "32UNA7139", "32U NA 71 39"},
      {50, 10, 0, "32UNA", "32U NA"},
      {0, 180, 5, "1NAA6602100000", "1N AA 66021 00000"},  // 180 is zone 1's western edge
      {90, 0, 5, "ZAH0000000000", "Z AH 00000 00000"},     // the pole
      {-90, 0, 3, "BAN000000", "B AN 000 000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LatLongToMGRS(c.lat, c.lon, c.precision), c.mgrs);
    EXPECT_EQ(LatLongToMGRS(c.lat, c.lon, c.precision, gelWGS84, true), c.usng);
    double lat = 0, lon = 0;
    int precision = -1;
    ASSERT_TRUE(MGRSToLatLong(c.usng, gelWGS84, lat, lon, precision)) << c.usng;
    EXPECT_EQ(precision, c.precision);
    EXPECT_EQ(LatLongToMGRS(lat, lon, c.precision), c.mgrs);
  }
  // Case, blanks and a zone's leading zero do not matter.
  double a = 0, b = 0, c = 0, d = 0;
  int p = 0;
  ASSERT_TRUE(MGRSToLatLong("04qfj1234567890", gelWGS84, a, b, p));
  ASSERT_TRUE(MGRSToLatLong(" 4Q FJ 12345 67890 ", gelWGS84, c, d, p));
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, d);
  // No position, no reference.
  for (const double bad : {91.0, -90.5, std::nan("")}) EXPECT_EQ(LatLongToMGRS(bad, 0), "");
  EXPECT_EQ(LatLongToMGRS(0, 180.5), "");
}

TEST(MGRS, RefusesWhatIsNoReference) {
  const char* const bad[] = {
      "",                   // nothing
      "32U",                // no square
      "32UN",               // half a square
      "61UNV",              // no such zone
      "0UNV",               // nor this
      "123UNV",             // three digits of zone
      "32INV",              // no band I
      "32YNV",              // Y is a polar band
      "CAA",                // C is no polar band
      "32UAV",              // A is not a column of zone 32
      "32UNW",              // W is no UTM row
      "32UNJ",              // row J does not occur in band U of zone 32
      "32UNV123",           // digits of unequal halves
      "32UNV123456789012",  // more than 5 digits each
      "32UNV12a4",          // not digits
      "ZDA",                // D is not a column of cap Z
      "YRQ",                // Q is not a row of the northern caps
  };
  for (const char* text : bad) {
    double lat = 0, lon = 0;
    int precision = 0;
    std::string why;
    EXPECT_FALSE(MGRSToLatLong(text, gelWGS84, lat, lon, precision, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }
  std::vector<double> lat(2), lon(2);
  std::vector<uint8_t> ok(2);
  std::vector<char> fields(2 * MGRS_MaxLength, '\0');
  const std::string good = "32UNA7166639109";
  std::copy(good.begin(), good.end(), fields.begin());
  fields[MGRS_MaxLength] = '?';
  MGRSToLatLong(fields, MGRS_MaxLength, gelWGS84, lat, lon, ok);
  EXPECT_TRUE(ok[0] && std::fabs(lat[0] - 50) < 1e-5);
  EXPECT_TRUE(!ok[1] && std::isnan(lat[1]) && std::isnan(lon[1]));
  std::vector<char> narrow(2 * 10);
  EXPECT_THROW(LatLongToMGRS(lat, lon, 5, gelWGS84, narrow, 10), EZYLGeoBasicsError);
}

}  // namespace
}  // namespace marovia
