// The viewer showing a live position: an NMEA log replayed at once along a
// route leaving the Zurich map westwards. Every fix lands in the track, the
// view follows onto the Swiss map, the end of the log is reported as the
// source lost, and the status line says so.
#include <filesystem>
#include <fstream>

#include "marovia/geomap/position_layer.h"
#include "position/nmea_log_maker.h"
#include "support/main_thread_pump.h"
#include "support/temp_dir.h"
#include "viewer_support.h"

namespace marovia::geoview::test {
namespace {

using PositionViewerTest = ViewerTest;

TEST_F(PositionViewerTest, FollowsARouteAcrossTwoMapsAndReportsTheEnd) {
  ASSERT_EQ(7, viewer.Open({Sample()}));
  int32_t zurich = 0, swiss = 0;
  for (int32_t i = 1; i <= viewer.Atlas().NumRegMaps(); ++i) {
    const std::string f = viewer.Atlas().Maps(i).MapFName;
    if (f.ends_with("zurich_utm32.xml")) zurich = i;
    if (f.ends_with("switzerland_eqc.xml")) swiss = i;
  }
  ASSERT_TRUE(viewer.Atlas().SelectMap(zurich));
  viewer.Pump();
  ASSERT_TRUE(viewer.CenterOn(47.3, 7.95, 1));

  marovia::test::TempDir dir;
  const std::string log = (dir.Path() / "route.nmea").string();
  std::ofstream(log) << marovia::test::NmeaLog(47.3, 7.95, 47.3, 6.9, 30, "091226");
  TNmeaSourceOptions options;
  options.ReplaySpeed = 0;
  marovia::test::MainThreadPump pump;
  viewer.SetPositionSource(OpenNmeaSource(log, options));
  ASSERT_TRUE(pump.Until([&] { return viewer.PositionSource()->State() == TSourceState::Lost; }));
  viewer.Pump();

  EXPECT_EQ(30u, viewer.PositionLayer().TrackPoints());
  EXPECT_TRUE(viewer.PositionLayer().Lost());
  EXPECT_EQ(swiss, viewer.Atlas().CurrentMapIndex());
  // The last position is in the view, at about the scale of the first map.
  int32_t x = 0, y = 0;
  ASSERT_TRUE(Map().CalcPixelCoords(47.3, 6.9, x, y));
  const TPoint c = Map().MapImageToControl(TPoint{x, y});
  EXPECT_TRUE(c.X > 0 && c.X < Map().Width() && c.Y > 0 && c.Y < Map().Height());
  EXPECT_NEAR(124.8, Map().CalibData().Resolution / Map().Magnification(), 5);
  EXPECT_NE(std::string::npos, viewer.StatusText().find("GPS lost")) << viewer.StatusText();
  EXPECT_TRUE(Said(": lost"));

  viewer.SetPositionSource(nullptr);
  EXPECT_EQ(nullptr, viewer.PositionSource());
}

}  // namespace
}  // namespace marovia::geoview::test
