// GDAL's command-line tools as the independent judge of GeoTIFF files:
// making files with gdal_translate and converting pixels with gdaltransform.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_command.h"

namespace marovia::test {

// Runs a GDAL tool; a failure fails the test with the tool's message.
inline std::string Gdal(const std::string& Command) {
  const CommandResult r = RunCommand(Command);
  EXPECT_EQ(r.Status, 0) << Command << "\n" << r.Err;
  return r.Out;
}

// A binary PGM of Width x Height whose grey level is (3x + 5y) mod 256, as
// a source for gdal_translate.
inline std::string GreyPgm(const TempDir& Dir, int Width, int Height) {
  std::string bytes = "P5 " + std::to_string(Width) + " " + std::to_string(Height) + " 255\n";
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) bytes += static_cast<char>((3 * x + 5 * y) % 256);
  return Dir.Write("grey.pgm", bytes);
}

// gdaltransform of pixel/line positions with Options ("-t_srs EPSG:4326",
// "-order 2", "-tps"): the first two numbers of each output line.
inline std::vector<std::array<double, 2>> GdalTransform(
    const std::string& File, const std::string& Options,
    const std::vector<std::array<double, 2>>& Pixels) {
  std::ostringstream in;
  in.precision(17);
  for (const auto& p : Pixels) in << p[0] << ' ' << p[1] << '\n';
  const CommandResult r = RunCommand("gdaltransform " + Options + " '" + File + "'", in.str());
  EXPECT_EQ(r.Status, 0) << r.Err;
  std::vector<std::array<double, 2>> out;
  std::istringstream lines(r.Out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream s(line);
    std::array<double, 2> v{};
    if (s >> v[0] >> v[1]) out.push_back(v);
  }
  EXPECT_EQ(out.size(), Pixels.size()) << r.Out << r.Err;
  return out;
}

// 200 pixel positions spread over an image (a 20 x 10 lattice shifted off
// the whole pixels), edges included.
inline std::vector<std::array<double, 2>> SpreadPixels(int Width, int Height) {
  std::vector<std::array<double, 2>> p;
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < 20; ++i)
      p.push_back({Width * (i + 0.37 * (j % 3)) / 19.74, Height * (j + 0.21 * (i % 4)) / 9.63});
  return p;
}

}  // namespace marovia::test
