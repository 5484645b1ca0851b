// The wheel past the shown map's range: the atlas's next map at the pointer
// takes over at the same scale; the grid follows the scale.
#include <cmath>
#include <vector>

#include "marovia/geomap/grid_steps.h"
#include "viewer_support.h"

namespace marovia::geoview::test {
namespace {

// The position under a point of the map control.
std::pair<double, double> PositionAt(TGeoMap& Map, TPoint P) {
  bool a = false, b = false;
  const TPoint image = Map.ControlToMapImage(P);
  return {Map.CalcLatitude(image, a), Map.CalcLongitude(image, b)};
}

class ViewerWheel : public ViewerTest {
 protected:
  // Zurich at magnification 1 on the Zurich map.
  void StartAtZurich() {
    viewer.Open({Sample()});
    for (int32_t i = 1; i <= viewer.Atlas().NumRegMaps(); ++i)
      if (viewer.Atlas().Maps(i).MapFName.find("zurich") != std::string::npos)
        viewer.Atlas().SelectMap(i);
    viewer.Pump();
    ASSERT_TRUE(viewer.CenterOn(47.37, 8.54, 1.0));
  }
  // Turns the wheel Steps notches (negative: towards the user, out) at P,
  // one notch a time, and answers the map captions in the order shown.
  std::vector<std::string> Wheel(TPoint P, int Steps) {
    std::vector<std::string> shown{Map().Caption()};
    const TPoint at = OnForm(Map(), P);
    for (int k = 0; k < std::abs(Steps); ++k) {
      const auto before = PositionAt(Map(), P);
      const double metresPerPixel = Map().CalibData().Resolution / Map().Magnification();
      Application().PostMouseWheel(viewer.Form(), {}, Steps > 0 ? 120 : -120, at.X, at.Y);
      viewer.Pump();
      if (Map().Caption() != shown.back()) {
        shown.push_back(Map().Caption());
        // The position under the pointer stays within two view pixels, and
        // the scale is the one the wheel asked for.
        const auto after = PositionAt(Map(), P);
        const double pixel = Map().CalibData().Resolution / Map().Magnification();
        const double dLat = (after.first - before.first) * 111000;
        const double dLon =
            (after.second - before.second) * 111000 * std::cos(after.first * M_PI / 180);
        EXPECT_LT(std::hypot(dLat, dLon), 2 * pixel + 2 * metresPerPixel) << shown.back();
        const double asked = metresPerPixel * (Steps > 0 ? 1 / 1.25 : 1.25);
        EXPECT_NEAR(pixel / asked, 1, 0.02) << shown.back();
      }
    }
    return shown;
  }
};

bool Has(const std::string& Caption, const char* Part) {
  return Caption.find(Part) != std::string::npos;
}

TEST_F(ViewerWheel, OutFromZurichThroughEveryCoarserMapAndBackIn) {
  StartAtZurich();
  const TPoint p{Map().Width() / 2, Map().Height() / 2};
  const auto out = Wheel(p, -30);
  const char* const expected[] = {"Zurich", "Switzerland", "Alps", "Europe (Lambert",
                                  "Europe, Africa"};
  ASSERT_EQ(out.size(), std::size(expected)) << out.back();
  for (size_t k = 0; k < out.size(); ++k) EXPECT_TRUE(Has(out[k], expected[k])) << out[k];
  const auto in = Wheel(p, 40);
  ASSERT_EQ(in.size(), std::size(expected)) << in.back();
  for (size_t k = 0; k < in.size(); ++k)
    EXPECT_TRUE(Has(in[k], expected[std::size(expected) - 1 - k])) << in[k];
}

TEST_F(ViewerWheel, KeyMKeepsTheWheelOnTheMapShown) {
  StartAtZurich();
  viewer.Key(TViewerKey::ToggleFollowWheel);
  EXPECT_FALSE(viewer.FollowsWheel());
  EXPECT_EQ(Wheel(TPoint{100, 100}, -11).size(), 1u);
  viewer.Key(TViewerKey::ToggleFollowWheel);
  EXPECT_GT(Wheel(TPoint{100, 100}, -1).size(), 1u);
}

TEST_F(ViewerWheel, GraticuleFollowsTheScaleAndTheBracketKeys) {
  viewer.Open({Sample()});
  viewer.Key(TViewerKey::CycleGrid);  // graticule lines on the whole overview
  const double degreesPerPixel = [&] {
    const TCornerArray& c = Map().CalibData().Corners;
    return (c[gcoTopLeft].Latit - c[gcoBottomLeft].Latit) / Map().MapImgHeight() /
           Map().Magnification();
  }();
  const double spacing = Map().GratLineDist() / degreesPerPixel;
  EXPECT_GE(spacing, 60 * 0.9);  // never the 1-degree moire of a few pixels
  EXPECT_LE(spacing, 150 * 1.1);
  const double step = Map().GratLineDist();
  viewer.Key(TViewerKey::DenserGrid);
  EXPECT_EQ(Map().GratLineDist(), DenserGraticuleStep(step));
  viewer.Key(TViewerKey::SparserGrid);
  viewer.Key(TViewerKey::SparserGrid);
  EXPECT_EQ(Map().GratLineDist(), SparserGraticuleStep(step));
}

}  // namespace
}  // namespace marovia::geoview::test
