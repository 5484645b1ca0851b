// Round grid steps for a view's scale, checked against the series written
// out by hand: the step is the smallest of the series that puts lines at
// least 60 pixels apart, so they lie 60 to 150 pixels apart.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "marovia/geomap/grid_steps.h"
#include "render_fixture.h"

namespace marovia::test {
namespace {

// Degrees: seconds below one, then seconds, minutes and degrees.
std::vector<double> GraticuleSeries() {
  std::vector<double> s;
  for (double p = 1e-4; p < 0.6; p *= 10)
    for (double m : {1.0, 2.0, 5.0}) s.push_back(m * p / 3600);
  for (double sec : {1, 2, 5, 10, 20, 30}) s.push_back(sec / 3600);
  for (double min : {1, 2, 5, 10, 20, 30}) s.push_back(min / 60);
  for (double deg : {1, 2, 5, 10, 20, 50, 60}) s.push_back(deg);
  return s;
}

TEST(GridSteps, GraticuleStepIsTheSmallestRoundStepSixtyPixelsApart) {
  const std::vector<double> series = GraticuleSeries();
  for (double perPixel = 1e-7; perPixel < 0.8; perPixel *= 1.07) {
    double expected = 0;
    for (double s : series)
      if (s / perPixel >= 60 * (1 - 1e-9)) {
        expected = s;
        break;
      }
    const double step = GraticuleStepFor(perPixel);
    ASSERT_NEAR(step, expected, expected * 1e-9) << perPixel;
    EXPECT_LE(step / perPixel, 150 * (1 + 1e-9)) << perPixel;
  }
  EXPECT_EQ(GraticuleStepFor(5), 60);  // no step beyond the control's limit
  for (double bad : {0.0, -1.0, double{NAN}, double{INFINITY}}) EXPECT_EQ(GraticuleStepFor(bad), 0);
}

TEST(GridSteps, DenserAndSparserWalkTheSeries) {
  const std::vector<double> s = GraticuleSeries();
  for (size_t i = 0; i < s.size(); ++i) {
    SCOPED_TRACE(s[i]);
    if (i + 1 < s.size()) {
      EXPECT_NEAR(SparserGraticuleStep(s[i]), s[i + 1], s[i + 1] * 1e-9);
    }
    if (i > 0) {
      EXPECT_NEAR(DenserGraticuleStep(s[i]), s[i - 1], s[i - 1] * 1e-9);
    }
  }
  EXPECT_EQ(SparserGraticuleStep(60), 60);
  EXPECT_NEAR(DenserGraticuleStep(0.75), 0.5, 1e-12);  // off the series: its neighbour
  EXPECT_EQ(DenserGraticuleStep(NAN), 0);

  const int32_t utm[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000};
  for (size_t i = 0; i + 1 < std::size(utm); ++i) {
    EXPECT_EQ(SparserUTMGridStep(utm[i]), utm[i + 1]);
    EXPECT_EQ(DenserUTMGridStep(utm[i + 1]), utm[i]);
  }
  EXPECT_EQ(DenserUTMGridStep(1), 1);
}

TEST(GridSteps, UTMStepIsTheSmallestOneTwoFiveStepSixtyPixelsApart) {
  struct Row {
    double MetresPerPixel;
    int32_t Step;
  } const rows[] = {{0.001, 1},   {0.02, 2},    {1, 100},        {1.7, 200}, {4, 500},
                    {100, 10000}, {250, 20000}, {1e9, 10000000}, {NAN, 0},   {-3, 0}};
  for (const Row& r : rows) EXPECT_EQ(UTMGridStepFor(r.MetresPerPixel), r.Step) << r.MetresPerPixel;
}

TEST(GridSteps, MapAnswersTheStepForAMagnification) {
  MapView v;
  EXPECT_EQ(v.map.GratLineDistFor(1), 0);  // no map
  GenerateBlankMap(v.map);                 // 10 degrees on 200 pixels down, 300 across
  // 0.05 degrees a pixel down: 3 degrees for 60 pixels gives 5.
  EXPECT_EQ(v.map.GratLineDistFor(1), 5);
  EXPECT_EQ(v.map.GratLineDistFor(4), 1);  // 0.75 degrees for 60 pixels
  EXPECT_EQ(v.map.GratLineDistFor(0.1), 50);
  EXPECT_EQ(v.map.GratLineDistFor(0), 0);
}

}  // namespace
}  // namespace marovia::test
