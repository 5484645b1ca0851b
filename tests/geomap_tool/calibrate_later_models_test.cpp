// geomap calibrate, info and convert with the projected and thin-plate
// models: the clicks of a Mercator map of known CRS (a GMT-made fixture)
// give a calibration that places the fixture's check points, and wrong
// settings are refused before anything is written.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "marovia/geomap/calxml.h"
#include "marovia/platform/graphics.h"
#include "run_tool.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

struct Fixture {
  std::string clicks;                        // "x y lat lon" lines
  std::vector<std::array<double, 4>> check;  // lat lon x y
};

Fixture Mercator() {
  Fixture f;
  std::ifstream in(std::string(MAROVIA_TEST_DATA_DIR) + "/geomap/projections/crs_mercator.txt");
  EXPECT_TRUE(in.good());
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string kind;
    double lat, lon, x, y;
    if (!(s >> kind >> lat >> lon >> x >> y)) continue;
    if (kind == "calib") {
      f.clicks += std::to_string(static_cast<int>(x)) + " " + std::to_string(static_cast<int>(y)) +
                  " " + std::to_string(lat) + " " + std::to_string(lon) + "\n";
    } else {
      f.check.push_back({lat, lon, x, y});
    }
  }
  return f;
}

TEST(GeomapCalibrateLaterModels, ProjectedAndThinPlateCalibrateInfoAndConvert) {
  const marovia::test::TempDir dir;
  TBitmap(1400, 1600).SaveToFile(dir.File("japan.bmp"));
  const Fixture f = Mercator();
  const std::string points = dir.Write("clicks.txt", f.clicks);
  std::string positions;
  for (const auto& c : f.check)
    positions += std::to_string(c[0]) + " " + std::to_string(c[1]) + "\n";
  const struct {
    std::vector<std::string> args;
    const char* shown;  // in the report and in info
    double tolerance;   // px from the check points
  } cases[] = {
      {{"-m", "projected", "--crs", "EPSG:3395"}, "crs:         EPSG:3395", 1.0},
      {{"-m", "projected", "--crs", "EPSG:3395", "--order", "2"}, "second order", 1.0},
      // Twelve clicks are few for a spline over 15 degrees of Mercator
      // latitude (worst 5.2 px): it lands near, not exactly.
      {{"-m", "thinplate", "--smoothing", "0"}, "smoothing 0", 6.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    std::vector<std::string> args = {"calibrate", points, "-i", dir.File("japan.bmp")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TResult r = RunTool(args);
    ASSERT_EQ(r.Status, kExitOk) << r.Err;
    EXPECT_NE(r.Out.find(c.shown), std::string::npos) << r.Out;
    const TResult info = RunTool({"info", dir.File("japan.xml")});
    ASSERT_EQ(info.Status, kExitOk) << info.Err;
    EXPECT_NE(info.Out.find(c.shown), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("left out"), std::string::npos) << info.Out;

    const TResult conv = RunTool({"convert", dir.File("japan.xml")}, positions);
    ASSERT_EQ(conv.Status, kExitOk) << conv.Err;
    std::istringstream out(conv.Out);
    double worst = 0;
    for (const auto& p : f.check) {
      double x = 0, y = 0;
      ASSERT_TRUE(out >> x >> y);
      worst = std::max(worst, std::hypot(x - p[2], y - p[3]));
    }
    EXPECT_LT(worst, c.tolerance);
  }
}

TEST(GeomapCalibrateLaterModels, RefusesWrongSettings) {
  const marovia::test::TempDir dir;
  TBitmap(400, 300).SaveToFile(dir.File("m.bmp"));
  const std::string grid = "0 0 40 10\n300 0 40 14\n0 200 38 10\n300 200 38 14\n";
  const std::string line = "0 0 40 10\n100 100 39 11\n200 200 38 12\n";
  const struct {
    std::vector<std::string> args;
    std::string points;
    int status;
    const char* message;
  } cases[] = {
      {{"-m", "projected"}, grid, kExitUsage, "needs --crs"},
      {{"-m", "projected", "--crs", "EPSG:4326"}, grid, kExitBadInput, "EPSG:4326"},
      {{"-m", "projected", "--crs", "EPSG:3395", "--order", "3"}, grid, kExitUsage, "not 1 or 2"},
      {{"-m", "projected", "--crs", "EPSG:3395", "--order", "2"},
       grid,
       kExitBadInput,
       "at least 6"},
      {{"-m", "thinplate", "--smoothing", "-1"}, grid, kExitUsage, "at least 0"},
      {{"-m", "thinplate", "--crs", "EPSG:3395"}, grid, kExitUsage, "projected model"},
      {{"-m", "thinplate"}, line, kExitBadInput, "one line"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    std::vector<std::string> args = {"calibrate", "-", "-i", dir.File("m.bmp")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TResult r = RunTool(args, c.points);
    EXPECT_EQ(r.Status, c.status) << r.Err;
    EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
    EXPECT_FALSE(std::ifstream(dir.File("m.xml")).good());
  }
}

}  // namespace
}  // namespace marovia::geomaptool::test
