// Projections through PROJ against an independent implementation (GMT's
// mapproject, Debian gmt), the forms of CRS text, and the refusals.
#include "calibration/crs_projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "marovia/geomap/geomap.h"
#include "support/run_command.h"

namespace marovia {
namespace {

struct LatLon {
  std::vector<double> lat, lon;
};

// About 100 positions on a jittered 10 x 10 grid over the area.
LatLon Area(double lat0, double lat1, double lon0, double lon1) {
  LatLon p;
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      p.lat.push_back(lat0 + (lat1 - lat0) * (j + 0.5 + 0.4 * std::sin(3.7 * i + j)) / 10);
      p.lon.push_back(lon0 + (lon1 - lon0) * (i + 0.5 + 0.4 * std::cos(i - 2.3 * j)) / 10);
    }
  return p;
}

// Eastings and northings by gmt mapproject: -C -F give metres from the
// projection's own origin with its false easting and northing (as UTM
// defines them), scale 1:1; the ellipsoid is set to WGS 84 explicitly (GMT's
// default, but a gmt.conf could change it).
std::vector<std::pair<double, double>> GmtForward(const std::string& options, const LatLon& p) {
  std::ostringstream in;
  in.precision(17);
  for (size_t i = 0; i < p.lat.size(); ++i) in << p.lon[i] << ' ' << p.lat[i] << '\n';
  const test::CommandResult r =
      test::RunCommand("gmt mapproject " + options +
                           " -C -F --PROJ_ELLIPSOID=WGS-84 --FORMAT_FLOAT_OUT=%.6f"
                           " --GMT_HISTORY=false",
                       in.str());
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::vector<std::pair<double, double>> out;
  std::istringstream s(r.Out);
  double e, n;
  while (s >> e >> n) out.emplace_back(e, n);
  EXPECT_EQ(out.size(), p.lat.size()) << r.Err;
  return out;
}

struct OracleCase {
  const char* name;
  const char* crs;  // our side
  const char* gmt;  // the same projection for mapproject
  double lat0, lat1, lon0, lon1;
};

// Forward within 1 mm of GMT (both print or keep micrometres; they agree
// to about 10 micrometres), the batch bit for bit like single points, and
// the inverse back to the position within 1e-9 degree.
TEST(CrsProjection, AgreesWithGmtMapproject) {
  ASSERT_TRUE(test::HaveCommand("gmt")) << "gmt is missing (scripts/setup.sh)";
  const OracleCase cases[] = {
      {"Mercator, Japan", "EPSG:3395", "-R120/150/20/50 -Jm0/1:1", 24, 46, 123, 146},
      {"Lambert conformal conic, USA",
       "+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84 +units=m",
       "-R-130/-60/20/52 -Jl-96/39/33/45/1:1", 25, 49, -124, -67},
      // GMT switches to a spherical Transverse Mercator when the region reaches
      // farther than 10 degrees from the central meridian (15 E), and its
      // ellipsoidal series parts from PROJ's by a millimetre 5 degrees out:
      // the positions stay in the zone.
      {"UTM 33 south, Namibia", "EPSG:32733", "-R11/21/-30/-16 -Ju-33/1:1", -29, -17, 12, 18},
      {"polar stereographic, Antarctica", "EPSG:3031", "-R-180/180/-90/-60 -Js0/-90/-71/1:1", -88,
       -62, -179, 179},
  };
  for (const OracleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TCrsProjection proj(c.crs);
    const LatLon p = Area(c.lat0, c.lat1, c.lon0, c.lon1);
    const auto gmt = GmtForward(c.gmt, p);
    ASSERT_EQ(gmt.size(), p.lat.size());
    const size_t n = p.lat.size();
    std::vector<double> e(n), no(n), lat(n), lon(n);
    std::vector<uint8_t> ok(n), okInv(n);
    proj.ForwardBatch(p.lat, p.lon, e, no, ok);
    proj.InverseBatch(e, no, lat, lon, okInv);
    double worstM = 0, worstDeg = 0;
    for (size_t i = 0; i < n; ++i) {
      ASSERT_TRUE(ok[i] && okInv[i]) << i;
      double e1, n1, lat1, lon1;
      ASSERT_TRUE(proj.Forward(p.lat[i], p.lon[i], e1, n1));
      ASSERT_TRUE(proj.Inverse(e1, n1, lat1, lon1));
      EXPECT_EQ(e1, e[i]);
      EXPECT_EQ(n1, no[i]);
      EXPECT_EQ(lat1, lat[i]);
      EXPECT_EQ(lon1, lon[i]);
      worstM = std::max({worstM, std::fabs(e[i] - gmt[i].first), std::fabs(no[i] - gmt[i].second)});
      worstDeg = std::max({worstDeg, std::fabs(lat[i] - p.lat[i]), std::fabs(lon[i] - p.lon[i])});
    }
    std::printf("%s: %.3g m from gmt mapproject, round trip %.3g degree\n", c.name, worstM,
                worstDeg);
    EXPECT_LT(worstM, 1e-3);
    EXPECT_LT(worstDeg, 1e-9);
  }
}

// One projection in several spellings gives the same metres: east first
// whatever the axis order of the CRS (SWEREF99 TM has northing first), and
// metres whatever its unit.
TEST(CrsProjection, SpellingsAxisOrderAndUnitsAgree) {
  struct Pair {
    const char* a;
    const char* b;
    double lat, lon;
  };
  const char* utm33sWkt =
      "PROJCS[\"WGS 84 / UTM zone 33S\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\","
      "SPHEROID[\"WGS 84\",6378137,298.257223563]],PRIMEM[\"Greenwich\",0],"
      "UNIT[\"degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
      "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",15],"
      "PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],"
      "PARAMETER[\"false_northing\",10000000],UNIT[\"metre\",1],"
      "AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH]]";
  const Pair pairs[] = {
      {"EPSG:32733", utm33sWkt, -22, 17},
      {"EPSG:32733", "  +proj=utm +zone=33 +south +datum=WGS84 +type=crs\n", -22, 17},
      {"EPSG:3006", "+proj=utm +zone=33 +ellps=GRS80", 59, 15.5},
      {"+proj=merc +datum=WGS84 +units=ft", "+proj=merc +datum=WGS84", 35, 135},
  };
  for (const Pair& p : pairs) {
    double ea, na, eb, nb;
    ASSERT_TRUE(TCrsProjection(p.a).Forward(p.lat, p.lon, ea, na)) << p.a;
    ASSERT_TRUE(TCrsProjection(p.b).Forward(p.lat, p.lon, eb, nb)) << p.b;
    EXPECT_NEAR(ea, eb, 1e-6) << p.a << " / " << p.b;
    EXPECT_NEAR(na, nb, 1e-6) << p.a << " / " << p.b;
  }
}

TEST(CrsProjection, RefusesBadTextNamingIt) {
  struct Case {
    std::string text;
    const char* named;   // how the message shows the text
    const char* reason;  // a piece of the reason
  };
  const std::string nested = std::string(40, '[');
  const Case cases[] = {
      {"", "\"\"", "empty"},
      {" \t\n", "\" ??\"", "empty"},
      {"EPSG:99999", "\"EPSG:99999\"", "unknown"},
      {"no such system", "\"no such system\"", "unknown"},
      {"PROJCS[\"x\",GEOGCS[]]", "PROJCS[", "unknown"},
      {"EPSG:4326", "\"EPSG:4326\"", "geographic"},
      {"+proj=longlat +datum=WGS84", "+proj=longlat", "geographic"},
      {"EPSG:5703", "\"EPSG:5703\"", "not a projected"},  // a vertical CRS
      {"+proj=merc +lat_ts=100", "+proj=merc", "unknown"},
      {std::string("EPSG:\0"
                   "3395",
                   10),
       "\"EPSG:?3395\"", "control characters"},
      {"EPSG:3395\x01\x02", "\"EPSG:3395??\"", "control characters"},
      {std::string(70000, 'A'), "AAAA...\"", "longer than 65536"},
      {"PROJCS" + nested, "PROJCS[[[", "nests deeper than 32"},
      {"{" + std::string(100, '{'), "{{{", "nests deeper than 32"},
  };
  for (const Case& c : cases) {
    try {
      TCrsProjection p(c.text);
      ADD_FAILURE() << "accepted: " << c.text.substr(0, 40);
    } catch (const EZYLGeoMapError& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(c.named), std::string::npos) << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << m;
      EXPECT_LT(m.size(), 400u) << m;
    }
  }
}

// Copies convert from several threads at once, each with its own PROJ
// objects, and give the results of the thread that made the instance;
// instances made and dropped inside the threads leave nothing behind (the
// leak checker of the sanitizer build sees to it). Points outside the
// projection's domain fail alone.
TEST(CrsProjection, ConvertsFromThreadsAndFailsPointsAlone) {
  const TCrsProjection lcc("+proj=lcc +lat_1=33 +lat_2=45 +lat_0=39 +lon_0=-96 +datum=WGS84");
  const LatLon p = Area(25, 49, -124, -67);
  const size_t n = p.lat.size();
  std::vector<double> e(n), no(n);
  std::vector<uint8_t> ok(n);
  lcc.ForwardBatch(p.lat, p.lon, e, no, ok);
  std::vector<std::vector<double>> te(3, std::vector<double>(n)), tn = te;
  std::vector<std::vector<uint8_t>> tok(3, std::vector<uint8_t>(n));
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t, copy = lcc] {
      const TCrsProjection local("EPSG:3395");
      double x, y;
      EXPECT_TRUE(local.Forward(35, 135, x, y));
      for (int round = 0; round < 20; ++round)
        copy.ForwardBatch(p.lat, p.lon, te[t], tn[t], tok[t]);
    });
  for (auto& t : threads) t.join();
  for (int t = 0; t < 3; ++t)
    for (size_t i = 0; i < n; ++i) {
      ASSERT_EQ(tok[t][i], ok[i]);
      EXPECT_EQ(te[t][i], e[i]);
      EXPECT_EQ(tn[t][i], no[i]);
    }

  const TCrsProjection merc("EPSG:3395");
  const double nan = std::nan("");
  const std::vector<double> lat = {35, -95, nan, 35, 100, -35};
  const std::vector<double> lon = {135, 0, 10, nan, 0, -60};
  const std::vector<uint8_t> expected = {1, 0, 0, 0, 0, 1};
  std::vector<double> x(lat.size()), y(lat.size());
  std::vector<uint8_t> good(lat.size());
  merc.ForwardBatch(lat, lon, x, y, good);
  EXPECT_EQ(good, expected);
  double la, lo;
  EXPECT_FALSE(merc.Inverse(std::numeric_limits<double>::infinity(), 0, la, lo));
}

}  // namespace
}  // namespace marovia
