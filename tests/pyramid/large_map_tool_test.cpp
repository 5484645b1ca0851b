// The large sample map script, run small: the image opens as a pyramid of
// the asked size, and its calibration agrees with GMT's own plate carrée of
// the corners' region.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "marovia/platform/image_pyramid.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

struct Point {
  double Lat, Lon, X, Y;
};

// [lat,lon] pairs after <corners>, and [lat,lon,x,y] quads.
std::vector<Point> Numbers(const std::string& text, const std::string& pattern) {
  std::vector<Point> out;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it) {
    const auto& m = *it;
    out.push_back({std::stod(m[1]), std::stod(m[2]), m.size() > 3 ? std::stod(m[3]) : 0,
                   m.size() > 4 ? std::stod(m[4]) : 0});
  }
  return out;
}

TEST(LargeMapTool, MakesAMapWhoseCalibrationGmtAgreesWith) {
  if (!test::HaveCommand("gmt")) GTEST_SKIP() << "gmt is not installed";
  const int size = 512;
  test::TempDir out;
  const std::string script = MAROVIA_TEST_DATA_DIR "/../../tools/make_large_map.sh";
  const auto made = test::RunCommand("sh '" + script + "' --out '" + out.Path().string() +
                                     "' --size " + std::to_string(size) + " --name m");
  ASSERT_EQ(made.Status, 0) << made.Err;

  TPyramidOptions o;
  o.CacheDir = out.File("cache");
  const auto pyramid = TImagePyramid::Open(out.File("m.jpg"), o);
  EXPECT_EQ(pyramid->Width(), size);
  EXPECT_EQ(pyramid->Height(), size);

  const std::string xml = out.Read("m.xml");
  const std::string cornerText = xml.substr(xml.find("<corners>"), xml.find("</corners>"));
  const auto corners =
      Numbers(cornerText.substr(0, cornerText.find("</corners>")), R"(\[(-?[\d.]+),(-?[\d.]+)\])");
  const auto quads = Numbers(xml, R"(\[(-?[\d.]+),(-?[\d.]+),(\d+),(\d+)\])");
  ASSERT_EQ(corners.size(), 4u);
  ASSERT_EQ(quads.size(), 16u);
  // Top left, bottom left, bottom right, top right; a square image in plate
  // carrée has its true scale where cos(lat) = height / width in degrees.
  const double west = corners[0].Lon, east = corners[2].Lon;
  const double south = corners[1].Lat, north = corners[0].Lat;
  const double trueScale = std::acos((north - south) / (east - west)) * 180 / M_PI;
  std::ostringstream cmd, input;
  cmd.precision(10);
  cmd << "gmt mapproject -R" << west << "/" << south << "/" << east << "/" << north << "+r -JQ"
      << (west + east) / 2 << "/" << trueScale << "/" << size
      << "p -Dp --PROJ_ELLIPSOID=Sphere --FORMAT_FLOAT_OUT=%.4f";
  std::vector<Point> all = corners;
  const double cornerPixels[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
  for (int i = 0; i < 4; ++i) {
    all[i].X = cornerPixels[i][0] * size;
    all[i].Y = cornerPixels[i][1] * size;
  }
  all.insert(all.end(), quads.begin(), quads.end());
  input.precision(10);
  for (const Point& p : all) input << p.Lon << " " << p.Lat << "\n";
  const auto projected = test::RunCommand(cmd.str(), input.str());
  ASSERT_EQ(projected.Status, 0) << projected.Err;
  std::istringstream lines(projected.Out);
  for (size_t i = 0; i < all.size(); ++i) {
    double x = 0, y = 0;
    ASSERT_TRUE(lines >> x >> y) << projected.Out;
    // Corners to within the file's five decimals, points to their rounding.
    const double tolerance = i < 4 ? 0.05 : 0.5 + 1e-3;
    EXPECT_NEAR(x, all[i].X, tolerance) << "point " << i;
    EXPECT_NEAR(size - y, all[i].Y, tolerance) << "point " << i;
  }
}

}  // namespace
}  // namespace marovia
