// GDAL's command-line tools as the independent oracle of the map exchange
// formats: blank images georeferenced by gdal_translate, and pixels
// converted by gdaltransform.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_command.h"

namespace marovia::test {

// A blank W x H image at File (format by extension, e.g. .png), written by
// gdal_translate with Options (e.g. "-a_srs EPSG:4326 -a_ullr ... -co
// WORLDFILE=YES"). Fails the test when GDAL refuses.
inline void GdalBlankImage(const std::string& File, int W, int H, const std::string& Options) {
  const std::string base = File + ".base.tif";
  const CommandResult r =
      RunCommand("gdal_create -q -of GTiff -outsize " + std::to_string(W) + " " +
                 std::to_string(H) + " -bands 3 -burn 90 '" + base + "' && gdal_translate -q " +
                 Options + " '" + base + "' '" + File + "' && rm -f '" + base + "'");
  ASSERT_EQ(r.Status, 0) << r.Err;
}

// gdaltransform of the pixels (x, y) through Dataset with Options: the
// three output numbers of each line (x then y in the target, then z).
inline std::vector<std::array<double, 3>> GdalTransform(
    const std::string& Dataset, const std::string& Options,
    const std::vector<std::array<double, 2>>& Pixels) {
  std::string input;
  char line[128];
  for (const auto& p : Pixels) {
    std::snprintf(line, sizeof line, "%.17g %.17g\n", p[0], p[1]);
    input += line;
  }
  const CommandResult r =
      RunCommand("gdaltransform -output_xy " + Options + " '" + Dataset + "'", input);
  std::vector<std::array<double, 3>> out;
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::istringstream in(r.Out);
  std::string text;
  while (std::getline(in, text)) {
    std::array<double, 3> v{};
    std::istringstream fields(text);
    if (fields >> v[0] >> v[1]) out.push_back(v);
  }
  EXPECT_EQ(out.size(), Pixels.size()) << r.Out << r.Err;
  return out;
}

// 200 pixels over a W x H image: a 10 x 10 grid through the corners and
// 100 points between its nodes.
inline std::vector<std::array<double, 2>> SamplePixels(double W, double H) {
  std::vector<std::array<double, 2>> p;
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 10; ++i) {
      p.push_back({W * i / 9, H * j / 9});
      p.push_back({W * (i + 0.37) / 10, H * (j + 0.61) / 10});
    }
  return p;
}

}  // namespace marovia::test
