// geomap convert: positions to pixels and back through the batch API (a
// round trip lands where it started, and the pixels are the control's),
// one output line per converted input line, bad lines reported by number,
// and the exit statuses.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "marovia/geomap/geomap.h"
#include "run_tool.h"

namespace marovia::geomaptool::test {
namespace {

std::vector<std::pair<double, double>> NumberPairs(const std::string& Text) {
  std::vector<std::pair<double, double>> out;
  std::istringstream s(Text);
  double a = 0, b = 0;
  while (s >> a >> b) out.push_back({a, b});
  return out;
}

TEST(Convert, PositionsToPixelsAndBackLandWhereTheyStarted) {
  for (const char* name : {"zurich_utm32.xml", "europe_lcc.xml", "british_isles_albers.xml"}) {
    TGeoMap map(nullptr);
    map.SetSuppressPaint(true);
    LoadIntoControl(map, Sample(name));
    std::string input;
    std::vector<std::pair<double, double>> positions;
    for (int i = 0; i < 40; ++i) {
      bool v1 = false, v2 = false;
      const int32_t x = 20 + i * 13, y = 15 + i * 9;
      positions.push_back({map.CalcLatitude(x, y, v1), map.CalcLongitude(x, y, v2)});
      std::ostringstream line;
      line.precision(17);
      line << positions.back().first << (i % 2 ? ", " : " ") << positions.back().second << "\n";
      input += line.str();
    }
    const TResult toPixels = RunTool({"convert", Sample(name)}, input);
    ASSERT_EQ(toPixels.Status, kExitOk) << name << toPixels.Err;
    const auto pixels = NumberPairs(toPixels.Out);
    ASSERT_EQ(pixels.size(), positions.size()) << name;
    for (size_t i = 0; i < pixels.size(); ++i) {
      int32_t x = 0, y = 0;
      ASSERT_TRUE(map.CalcPixelCoords(positions[i].first, positions[i].second, x, y));
      EXPECT_NEAR(pixels[i].first, x, 0.5 + 1e-3) << name << " " << i;
      EXPECT_NEAR(pixels[i].second, y, 0.5 + 1e-3) << name << " " << i;
    }
    const TResult back = RunTool({"convert", Sample(name), "--to-geo"}, toPixels.Out);
    ASSERT_EQ(back.Status, kExitOk) << name << back.Err;
    const auto again = NumberPairs(back.Out);
    ASSERT_EQ(again.size(), positions.size());
    // Pixels printed to 0.001 px: a thousandth of a pixel on the ground.
    for (size_t i = 0; i < again.size(); ++i) {
      EXPECT_NEAR(again[i].first, positions[i].first, 2e-5) << name << " " << i;
      EXPECT_NEAR(again[i].second, positions[i].second, 2e-5) << name << " " << i;
    }
  }
}

TEST(Convert, BadLinesAreReportedByNumberAndTheRestConverted) {
  const std::string input =
      "\xEF\xBB\xBF"
      "47.37 8.54\r\n"                    // 1
      "# a comment\n"                     // 2
      "\n"                                // 3
      "47.40,8.60\n"                      // 4
      "forty 8\n"                         // 5
      "95 8\n"                            // 6
      "47 8 9\n"                          // 7
      "47.45 8.50 # trailing comment\n";  // 8
  const TResult r = RunTool({"convert", Sample("zurich_utm32.xml")}, input);
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_EQ(Lines(r.Out), 3) << r.Out;
  EXPECT_EQ(Lines(r.Err), 3) << r.Err;
  for (const char* expected : {"geomap: line 5: 'forty' is not a number",
                               "geomap: line 6: latitude 95 is outside -90 to 90",
                               "geomap: line 7: expected LATITUDE LONGITUDE, found 3 field(s)"})
    EXPECT_NE(r.Err.find(expected), std::string::npos) << expected << "\n" << r.Err;
}

TEST(Convert, ExitStatuses) {
  struct Case {
    std::vector<std::string> Args;
    std::string Input;
    int Status;
  };
  const Case cases[] = {
      {{"convert", Sample("alps_eqc.xml")}, "46 9\n", kExitOk},
      {{"convert", Sample("alps_eqc.xml"), "--to-geo"}, "10 10\n", kExitOk},
      {{"convert", Sample("alps_eqc.xml")}, "", kExitOk},
      {{"convert", Sample("alps_eqc.xml")}, "46 nine\n", kExitBadInput},
      {{"convert", Sample("missing.xml")}, "46 9\n", kExitBadInput},
      {{"convert"}, "46 9\n", kExitUsage},
      {{"convert", Sample("alps_eqc.xml"), Sample("alps_eqc.xml")}, "", kExitUsage},
      {{"convert", Sample("alps_eqc.xml"), "--to-pixels"}, "", kExitUsage},
  };
  for (const Case& c : cases) {
    const TResult r = RunTool(c.Args, c.Input);
    EXPECT_EQ(r.Status, c.Status) << c.Args.size() << " " << c.Input << r.Err;
  }
  // Input that stops on a read error.
  std::istringstream in("46 9\n");
  in.setstate(std::ios::badbit);
  std::ostringstream out, err;
  EXPECT_EQ(geomaptool::Run({"convert", Sample("alps_eqc.xml")}, in, out, err), kExitIo);
  EXPECT_NE(err.str().find("cannot read the input"), std::string::npos);
}

}  // namespace
}  // namespace marovia::geomaptool::test
