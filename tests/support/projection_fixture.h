// The projection fixtures in tests/data/geomap/projections: for one map
// projection, the image size, 12 calibration points and 200 check points
// worked out by an independent program ("calib"/"check" rows of latitude,
// longitude, x, y, and for the UTM fixture northing and easting).
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace marovia::test {

struct TProjectionPoint {
  double lat = 0, lon = 0, x = 0, y = 0;
  double northing = 0, easting = 0;  // UTM fixture only
};

struct TProjectionFixture {
  std::string name;
  int width = 0, height = 0;
  std::vector<TProjectionPoint> calib, check;
};

inline TProjectionFixture ReadProjectionFixture(const std::string& name) {
  TProjectionFixture f;
  f.name = name;
  std::ifstream in(std::string(MAROVIA_TEST_DATA_DIR) + "/geomap/projections/" + name + ".txt");
  EXPECT_TRUE(in.good()) << name;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::string kind;
    s >> kind;
    if (kind == "#") {
      std::string key;
      s >> key;
      if (key == "image:") s >> f.width >> f.height;
      continue;
    }
    TProjectionPoint p;
    s >> p.lat >> p.lon >> p.x >> p.y;
    s >> p.northing >> p.easting;  // absent but for UTM
    if (kind == "calib") f.calib.push_back(p);
    if (kind == "check") f.check.push_back(p);
  }
  return f;
}

}  // namespace marovia::test
