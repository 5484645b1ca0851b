// The live position drawn by the map control, on a plate carree map whose
// pixels are known: 300 x 200 pixels for 46..48 N, 8..11 E (100 pixels a
// degree of longitude, 100 a degree of latitude), the view at
// magnification 1 from the top left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "marovia/geomap/geomap.h"
#include "marovia/geomap/position_layer.h"
#include "support/map_kinds.h"

namespace marovia {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

class PositionLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ShowWhiteKindMap(map_, 300, 200);
    layer_ = std::make_shared<TPositionLayer>();
    layer_->Style.Marker = clBlue;
    layer_->Style.Accuracy = clRed;
    layer_->Style.Track = clLime;
  }
  // The composed view's pixel as 0x00RRGGBB, 5 bits a channel widened.
  uint32_t At(int X, int Y) const { return map_.ComposedView().ScanLine(Y)[X] & 0xF8F8F8; }
  // The view pixel of a position: 100 pixels a degree from 48 N, 8 E.
  static TPoint Pixel(double Lat, double Lon) {
    return TPoint{static_cast<int32_t>(std::lround((Lon - 8) * 100)),
                  static_cast<int32_t>(std::lround((48 - Lat) * 100))};
  }
  TPositionFix Fix(double Lat, double Lon) const {
    TPositionFix f;
    f.Lat = Lat;
    f.Lon = Lon;
    return f;
  }
  TGeoMap map_{nullptr};
  std::shared_ptr<TPositionLayer> layer_;
};

TEST_F(PositionLayerTest, DrawsTheTrackSoFarUnderTheMarker) {
  layer_->AddFix(Fix(47.5, 8.5));
  layer_->AddFix(Fix(47.5, 8.5));  // standing still adds no point
  layer_->AddFix(Fix(47.5, 9.5));
  EXPECT_EQ(2u, layer_->TrackPoints());
  map_.SetPositionLayer(layer_);
  const TPoint a = Pixel(47.5, 8.5), b = Pixel(47.5, 9.5);
  EXPECT_EQ(0x00F800u, At((a.X + b.X) / 2, a.Y));   // the track between the fixes
  EXPECT_EQ(0x0000F8u, At(b.X, b.Y));               // the marker on its end
  EXPECT_EQ(kWhite & 0xF8F8F8, At(a.X, a.Y + 20));  // off the track
  map_.SetPositionLayer(nullptr);
  EXPECT_EQ(kWhite & 0xF8F8F8, At((a.X + b.X) / 2, a.Y));
}

TEST_F(PositionLayerTest, PointsTheArrowAlongTheCourseOnTheMap) {
  struct TCase {
    double Course;
    int Dx, Dy;  // the tip's direction in view pixels
  } cases[] = {{0, 0, -1}, {90, 1, 0}, {180, 0, 1}, {270, -1, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Course);
    layer_->Clear();
    TPositionFix f = Fix(47, 9.5);
    f.Speed = 5;
    f.Course = c.Course;
    layer_->AddFix(f);
    map_.SetPositionLayer(layer_);
    const TPoint p = Pixel(47, 9.5);
    const int r = 2 * layer_->Style.MarkerRadius;
    // The tip reaches 1.6 radii ahead, the back corners one radius behind:
    // the fill reaches further along the course than against it.
    int ahead = 0, behind = 0;
    for (int y = -r; y <= r; ++y)
      for (int x = -r; x <= r; ++x) {
        if (At(p.X + x, p.Y + y) != 0x0000F8u) continue;
        const int along = x * c.Dx + y * c.Dy;
        ahead = std::max(ahead, along);
        behind = std::max(behind, -along);
      }
    EXPECT_GT(ahead, behind);
  }
}

TEST_F(PositionLayerTest, SizesTheAccuracyCircleOnTheMapsScaleAndGreysALostSource) {
  TPositionFix f = Fix(47, 9.5);
  // 100 pixels a degree of latitude: 1113.2 m a pixel north-south, and
  // cos(47) times that east-west; the circle's radius is the geometric
  // mean of the two scales.
  const double perPixel = 111320.0 / 100 * std::sqrt(std::cos(47 * 3.14159265358979 / 180));
  f.HorizontalError = 40 * perPixel;
  layer_->AddFix(f);
  map_.SetPositionLayer(layer_);
  const TPoint p = Pixel(47, 9.5);
  bool found = false;
  for (int dx = 38; dx <= 42; ++dx) found |= At(p.X + dx, p.Y) == 0xF80000;
  EXPECT_TRUE(found) << "no circle 40 pixels east of the marker";
  EXPECT_EQ(kWhite & 0xF8F8F8, At(p.X + 30, p.Y));
  layer_->SetLost(true);
  map_.SetPositionLayer(layer_);
  EXPECT_EQ(0x808080u & 0xF8F8F8, At(p.X, p.Y));
}

TEST(PositionLayer, ThinsTheOlderHalfOfAFullTrack) {
  TPositionLayer layer;
  layer.MaxTrackPoints = 8;
  for (int i = 0; i < 9; ++i) {
    TPositionFix f;
    f.Lat = i;
    layer.AddFix(f);
  }
  // Full at 8: 0..3 thinned to 0 and 2, 4..7 kept, then 8.
  EXPECT_EQ((std::vector<double>{0, 2, 4, 5, 6, 7, 8}), layer.TrackLat());
}

}  // namespace
}  // namespace marovia
