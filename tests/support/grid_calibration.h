// A calibration of 46..48 N, 8..11 E on 6000 x 4000 pixels through 3 x 3
// points, under any point model (with its CRS for the projected one): the
// map the layer cache tests draw on.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "marovia/geomap/map_calibration.h"

namespace marovia::test {

constexpr int kImageW = 6000, kImageH = 4000;

inline TMapCalibration Calibration(TCalibModel Model, const std::string& Crs) {
  TCalibData cd;
  cd.CrsText = Crs;
  TMapCalibration cal(Model, cd, kImageW, kImageH);
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 2; ++j)
      cal.AddPoint(48 - i, 8 + 1.5 * j, j * kImageW / 2, i * kImageH / 2);
  EXPECT_TRUE(cal.Fit()) << cal.FitMessage();
  return cal;
}

}  // namespace marovia::test
