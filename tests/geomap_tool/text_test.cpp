// The text helpers of the map tools and the point list of geomap calibrate.
#include <gtest/gtest.h>

#include <cmath>

#include "cli_text.h"
#include "point_list.h"

namespace marovia::geomaptool {
namespace {

TEST(MapToolText, WritesDegreesAndMinutesWithoutSixtyMinutes) {
  struct Case {
    double Value;
    const char* Text;
  };
  const Case cases[] = {
      {47.5, "47\u00B030.00' N"},     {-8.25, "8\u00B015.00' S"},
      {0, "0\u00B000.00' N"},         {12.99999999, "13\u00B000.00' N"},  // 59.9999' carries
      {-0.000001, "0\u00B000.00' S"}, {89.999, "89\u00B059.94' N"},
  };
  for (const Case& c : cases) EXPECT_EQ(apps::DegreesMinutes(c.Value, 'N', 'S'), c.Text) << c.Value;
  EXPECT_EQ(apps::DegreesMinutes(std::nan(""), 'N', 'S'), "?");
}

TEST(MapToolText, ReadsPositionsAndSizesOnlyWhole) {
  const auto p = apps::ParseLatLon("47.37, 8.54");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->Lat, 47.37);
  EXPECT_EQ(p->Lon, 8.54);
  for (const char* bad :
       {"", "47", "47,", ",8", "47;8", "47,8x", "91,0", "0,181", "nan,0", "1e999,0", "-,1"}) {
    EXPECT_FALSE(apps::ParseLatLon(bad)) << bad;
  }
  const auto s = apps::ParseSize("800x600", 16, 8192);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Width, 800);
  EXPECT_EQ(s->Height, 600);
  for (const char* bad : {"800", "x600", "800x", "15x600", "800x8193", "-800x600", "800.5x600",
                          "99999999999x1", "800x600x2"}) {
    EXPECT_FALSE(apps::ParseSize(bad, 16, 8192)) << bad;
  }
}

TEST(MapToolText, SpellsControlBytesInMessages) {
  EXPECT_EQ(apps::Printable(std::string("a\tb\0\x7F\xC3\xA9", 7)), "a\\x09b\\x00\\x7F\xC3\xA9");
}

TEST(PointList, ReadsOnePointPerLineForEachModel) {
  const auto q = ParsePointLine(" 100, 200  47.5 -8.25 # a comment", cmEquiRect);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->X, 100);
  EXPECT_EQ(q->Y, 200);
  EXPECT_EQ(q->A, 47.5);
  EXPECT_EQ(q->B, -8.25);

  const auto u = ParsePointLine("80 1120 5200000 400000", cmUTM);
  ASSERT_TRUE(u);
  EXPECT_EQ(u->A, 5200000);
  EXPECT_EQ(u->B, 400000);

  const auto m = ParsePointLine("10 20 Meridian -4", cmParabolicIp);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->Line, gtlMeridian);
  EXPECT_EQ(m->A, -4);
  const auto par = ParsePointLine("10 20 parallel 52", cmParabolicIp);
  ASSERT_TRUE(par);
  EXPECT_EQ(par->Line, gtlParallel);

  EXPECT_FALSE(ParsePointLine("", cmEquiRect));
  EXPECT_FALSE(ParsePointLine("   # only a comment", cmEquiRect));
}

TEST(PointList, RefusesLinesThatAreNoPoint) {
  struct Case {
    const char* Line;
    TCalibModel Model;
  };
  const Case cases[] = {
      {"100 200 47.5", cmEquiRect},      // a field short
      {"100 200 47.5 8 9", cmEquiRect},  // a field too many
      {"100.5 200 47.5 8", cmEquiRect},  // half a pixel
      {"100 200 95 8", cmEquiRect},      // beyond the pole
      {"100 200 45 181", cmMillerCylindrical},
      {"1e300 200 45 8", cmConicConformal},  // no pixel of any image
      {"100 200 north 8", cmBiquadraticPn},
      {"100 200 nan 8", cmEquiRect},
      {"100 200 -5 400000", cmUTM},        // negative northing
      {"100 200 5200000 2000000", cmUTM},  // easting beyond any zone
      {"100 200 equator 0", cmParabolicIp},
      {"100 200 parallel 91", cmParabolicIp},
      {"100 200 meridian", cmParabolicIp},
  };
  for (const Case& c : cases) {
    EXPECT_THROW(ParsePointLine(c.Line, c.Model), TPointLineError) << c.Line;
  }
}

}  // namespace
}  // namespace marovia::geomaptool
