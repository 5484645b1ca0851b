// The parsers of what the page sends: the fit request's lines and the
// positions a user types.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "serve_position.h"
#include "serve_request.h"

namespace marovia::test {
namespace {

using geomaptool::ParseFitRequest;
using geomaptool::ParseTypedPosition;
using geomaptool::TServeRequestError;

TEST(ServeParsers, FitRequestTakesEachSettingForItsModel) {
  const auto r = ParseFitRequest(
      "model Projected\r\ncrs +proj=laea +lat_0=52 +lon_0=10 +datum=WGS84\norder 2\n"
      "caption  Alps 1:500 000 \nmask 0 0 100 0 100 80\n\n12 34 47.5 -8.25 # first\n5,6,1,2\n");
  EXPECT_EQ(r.Setup.Model, cmProjected);
  EXPECT_EQ(r.Setup.Crs, "+proj=laea +lat_0=52 +lon_0=10 +datum=WGS84");
  EXPECT_EQ(r.Setup.Order, 2);
  EXPECT_EQ(r.Setup.Caption, "Alps 1:500 000");
  ASSERT_EQ(r.Mask.size(), 3u);
  EXPECT_EQ(r.Mask[2].Y, 80);
  ASSERT_EQ(r.Points.size(), 2u);
  EXPECT_EQ(r.Points[0].X, 12);
  EXPECT_EQ(r.Points[0].Lon, -8.25);
  const auto u = ParseFitRequest("model utm\nzone 33H\n");
  EXPECT_TRUE(u.Setup.Zone.South);
  EXPECT_EQ(u.Setup.Zone.Zone, 33);
}

TEST(ServeParsers, FitRequestRefusesWhatIsNoRequest) {
  const char* const bad[] = {
      "",                                   // no model
      "10 10 47 8\nmodel equirect\n",       // the model comes first
      "model equirect\nmodel thinplate\n",  // twice
      "model cubic\n",                      // unknown
      "model equirect\nsmoothing 1\n",      // another model's setting
      "model thinplate\nsmoothing -1\n",    // out of range
      "model thinplate\nsmoothing nan\n",   // not a number
      "model projected\n",                  // no CRS
      "model projected\ncrs EPSG:3035\norder 3\n",
      "model utm\n",                     // no zone
      "model utm\nzone 33S\n",           // band S is ambiguous
      "model equirect\n10 10 91 8\n",    // latitude beyond 90
      "model equirect\n10.5 10 47 8\n",  // not a whole pixel
      "model equirect\n10 10 47\n",      // three fields
      "model equirect\nmask 1 2 3 4\n",  // two vertices
      "model equirect\nmask 1 2 3\n",    // half a vertex
      "model equirect\n1e300 1 47 8\n",  // no pixel
  };
  for (const char* b : bad) EXPECT_THROW(ParseFitRequest(b), TServeRequestError) << b;
  std::string many = "model equirect\n";
  for (int i = 0; i <= kMaxCalQuads; ++i) many += "1 1 1 1\n";
  EXPECT_THROW(ParseFitRequest(many), TServeRequestError);
  std::string longMask = "model equirect\nmask";
  for (size_t i = 0; i <= geomaptool::kMaxMaskVertices; ++i) longMask += " 1 1";
  EXPECT_THROW(ParseFitRequest(longMask), TServeRequestError);
}

TEST(ServeParsers, TypedPositionsInEveryForm) {
  // UTM expectations from GeographicLib's GeoConvert; the Web Mercator one
  // from the sphere's closed-form inverse.
  const double x3857 = 950000, y3857 = 6000000, r = 6378137;
  const double lat3857 =
      (2 * std::atan(std::exp(y3857 / r)) - std::numbers::pi / 2) * 180 / std::numbers::pi;
  const double lon3857 = x3857 / r * 180 / std::numbers::pi;
  struct {
    const char* Text;
    double Lat, Lon, Tol;
  } const cases[] = {
      {"48.1374 11.5755", 48.1374, 11.5755, 1e-12},
      {"-33.9, 18.42", -33.9, 18.42, 1e-12},
      {"48.1374N; 11.5755W", 48.1374, -11.5755, 1e-12},
      {"11.5755 E 48.1374 S", -48.1374, 11.5755, 1e-12},
      {"N48.5 E9.25", 48.5, 9.25, 1e-12},
      {"48\xC2\xB0"
       "8'14.6\"N 11\xC2\xB0"
       "34'31.8\"E",
       48 + 8 / 60.0 + 14.6 / 3600, 11 + 34 / 60.0 + 31.8 / 3600, 1e-12},
      {"48 8 14.6 N 11 34 31.8 E", 48 + 8 / 60.0 + 14.6 / 3600, 11 + 34 / 60.0 + 31.8 / 3600,
       1e-12},
      {"-48\xC2\xB0"
       "30' 9\xC2\xB0"
       "15\xE2\x80\xB2",
       -48.5, 9.25, 1e-12},
      {"32T 465270 5246384", 47.36999299531278, 8.53999445685992, 1e-9},
      {"33H 300000 6200000", -34.32200505219241, 12.82622923843003, 1e-9},
      {"60X 500000 8000000", 72.09922252511311, 177.0, 1e-9},
      {"EPSG:3857 950000 6000000", lat3857, lon3857, 1e-9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    const auto p = ParseTypedPosition(c.Text);
    EXPECT_NEAR(p.Lat, c.Lat, c.Tol);
    EXPECT_NEAR(p.Lon, c.Lon, c.Tol);
  }
  const char* const bad[] = {"",
                             "48.1",
                             "48 11 12",
                             "91 10",
                             "48 8 61 N 11 0 0 E",
                             "48N 11N",
                             "-48 8 14 S 11 E",
                             "48 N S 11 E",
                             "48 'N 11 E",
                             "10\xC2\xB0 5\xC2\xB0 3\xC2\xB0",
                             "32I 465270 5246384",
                             "61T 465270 5246384",
                             "32T 465270 -1",
                             "EPSG:4326 8 47",
                             "EPSG:999999 1 2",
                             "48 11 <script>"};
  for (const char* b : bad) EXPECT_THROW(ParseTypedPosition(b), TServeRequestError) << b;
  EXPECT_THROW(ParseTypedPosition(std::string(300, '1')), TServeRequestError);
}

}  // namespace
}  // namespace marovia::test
