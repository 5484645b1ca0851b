// The viewer on the sample atlas: opening, the mouse through the form, the
// keys, and the status line.
#include <cmath>

#include "viewer_support.h"

namespace marovia::geoview::test {
namespace {

TEST_F(ViewerTest, OpensTheAtlasWithTheCoarsestMapWhole) {
  EXPECT_EQ(viewer.Open({Sample()}), 7);
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_NE(Map().Caption().find("Europe, Africa"), std::string::npos);
  EXPECT_EQ(viewer.Title(), "geoview - " + Map().Caption());
  EXPECT_EQ(viewer.Atlas().MapSelector().ItemIndex(), viewer.Atlas().CurrentMapIndex() - 1);
  EXPECT_EQ(Map().NumLandMarks(), 203);
  // The whole overview (1320 x 1760) fits the map control.
  EXPECT_EQ(Map().Height(), 600 - 33 - kStatusHeight);
  EXPECT_NEAR(Map().Magnification(), Map().Height() / 1760.0, 1e-9);
  EXPECT_NE(viewer.StatusText().find(Map().Caption()), std::string::npos);
}

TEST_F(ViewerTest, WheelZoomsAboutThePointer) {
  viewer.Open({Sample()});
  const TPoint p{100, 150};
  const auto before = ImageAt(p);
  const double mag = Map().Magnification();
  const TPoint at = OnForm(Map(), p);
  Application().PostMouseWheel(viewer.Form(), {}, 120, at.X, at.Y);
  viewer.Pump();
  EXPECT_NEAR(Map().Magnification(), mag * 1.25, 1e-9);
  const auto after = ImageAt(p);
  EXPECT_NEAR(after.first, before.first, 1.0 / Map().Magnification() + 1e-9);
  EXPECT_NEAR(after.second, before.second, 1.0 / Map().Magnification() + 1e-9);
  Application().PostMouseWheel(viewer.Form(), {}, -240, at.X, at.Y);
  viewer.Pump();
  EXPECT_NEAR(Map().Magnification(), mag / 1.25, 1e-9);
}

TEST_F(ViewerTest, KeysZoomPanFitAndGoBackThroughTheViews) {
  viewer.Open({Sample()});
  viewer.CenterOn(47.37, 8.54, 1.0);
  const TPoint centre{Map().Width() / 2, Map().Height() / 2};
  const auto start = ImageAt(centre);
  const TPoint startTopLeft = Map().TopLeft();

  viewer.Key(TViewerKey::ZoomIn);
  EXPECT_NEAR(Map().Magnification(), 1.5, 1e-9);
  EXPECT_NEAR(ImageAt(centre).first, start.first, 1);
  const TPoint zoomedTopLeft = Map().TopLeft();
  viewer.Key(TViewerKey::PanRight);
  EXPECT_GT(Map().TopLeft().X, zoomedTopLeft.X);
  viewer.Key(TViewerKey::PanDown);
  EXPECT_GT(Map().TopLeft().Y, zoomedTopLeft.Y);

  viewer.Key(TViewerKey::Back);  // before the pan down
  EXPECT_EQ(Map().TopLeft().Y, zoomedTopLeft.Y);
  EXPECT_GT(Map().TopLeft().X, zoomedTopLeft.X);
  viewer.Key(TViewerKey::Back);  // before the pan right
  EXPECT_EQ(Map().TopLeft(), zoomedTopLeft);
  viewer.Key(TViewerKey::Back);  // before the zoom
  EXPECT_EQ(Map().TopLeft(), startTopLeft);
  EXPECT_NEAR(Map().Magnification(), 1.0, 1e-9);

  viewer.Key(TViewerKey::ZoomOut);
  EXPECT_NEAR(Map().Magnification(), 1 / 1.5, 1e-9);
  viewer.Key(TViewerKey::FitPage);
  EXPECT_NEAR(Map().Magnification(), Map().Height() / 1760.0, 1e-9);
  EXPECT_EQ(Map().TopLeft(), TPoint{});
  // A new view after going back starts the history walk anew.
  viewer.Key(TViewerKey::Back);
  EXPECT_NEAR(Map().Magnification(), 1 / 1.5, 1e-9);
}

TEST_F(ViewerTest, ZoomButtonAndClicksSwitchToFinerAndCoarserMaps) {
  viewer.Open({Sample()});
  const std::string overview = Map().Caption();
  ASSERT_TRUE(viewer.CenterOn(47.37, 8.54, 1.0));
  TSpeedButton& zoom = viewer.Atlas().ZoomButton();
  Click(OnForm(zoom, TPoint{13, 13}));
  ASSERT_TRUE(zoom.Down());
  EXPECT_EQ(viewer.Cursor(), crGeoZoom);

  Click(MapCentre());  // Zurich: the next finer map is Europe
  EXPECT_NE(Map().Caption().find("Europe (Lambert"), std::string::npos) << Map().Caption();
  EXPECT_EQ(viewer.Atlas().MapSelector().ItemIndex(), viewer.Atlas().CurrentMapIndex() - 1);
  EXPECT_EQ(viewer.Title(), "geoview - " + Map().Caption());
  Click(MapCentre());  // then the Alps
  EXPECT_NE(Map().Caption().find("Alps"), std::string::npos) << Map().Caption();
  Click(MapCentre(), mbRight);  // and back out
  EXPECT_NE(Map().Caption().find("Europe (Lambert"), std::string::npos) << Map().Caption();
  Click(MapCentre(), mbRight);
  EXPECT_EQ(Map().Caption(), overview);

  // In pointer mode a click only selects; the map stays.
  Click(OnForm(viewer.Atlas().PointerButton(), TPoint{13, 13}));
  Click(MapCentre());
  EXPECT_EQ(Map().Caption(), overview);
}

TEST_F(ViewerTest, GridAndLandmarkKeysSwitchWhatIsDrawn) {
  viewer.Open({Sample()});
  std::vector<TShowGrat> seen;
  for (int i = 0; i < 4; ++i) {
    viewer.Key(TViewerKey::CycleGrid);
    seen.push_back(Map().ShowGraticule());
  }
  // The overview has no UTM calibration: its cycle leaves the UTM grid out.
  EXPECT_EQ(seen, (std::vector<TShowGrat>{sgLines, sgPointsAndLines, sgNone, sgLines}));

  viewer.Key(TViewerKey::ToggleLandmarks);
  EXPECT_FALSE(Map().LMClassVisible(1));
  EXPECT_FALSE(Map().LMClassVisible(255));
  EXPECT_TRUE(Said("landmarks hidden"));
  viewer.Key(TViewerKey::ToggleLandmarks);
  EXPECT_TRUE(Map().LMClassVisible(0));
  EXPECT_TRUE(Said("landmarks shown (203)"));

  // The Zurich map is calibrated in UTM: its cycle has the UTM grid.
  for (int32_t i = 1; i <= viewer.Atlas().NumRegMaps(); ++i) {
    if (viewer.Atlas().Maps(i).MapFName.find("zurich") != std::string::npos) {
      viewer.Atlas().SelectMap(i);
    }
  }
  viewer.Pump();
  Map().SetShowGraticule(sgPointsAndLines);
  viewer.Key(TViewerKey::CycleGrid);
  EXPECT_EQ(Map().ShowGraticule(), sgUTMGrid);
}

TEST_F(ViewerTest, StatusLineFollowsThePointer) {
  viewer.Open({Sample()});
  ASSERT_TRUE(viewer.CenterOn(47.37, 8.54, 1.0));
  const TPoint at = MapCentre();
  Application().PostMouseMove(viewer.Form(), {}, at.X, at.Y);
  viewer.Pump();
  // A pixel of the overview is about 7 km: the position is Zurich's to a
  // few minutes.
  const std::string& s = viewer.StatusText();
  EXPECT_NE(s.find("47\u00B02"), std::string::npos) << s;
  EXPECT_NE(s.find(" N  8\u00B03"), std::string::npos) << s;
  EXPECT_NE(s.find("UTM 32T"), std::string::npos) << s;
  EXPECT_NE(s.find("x1 "), std::string::npos) << s;
  // Off the map (on the command panel) the position goes.
  const TPoint panel = OnForm(viewer.Atlas().CmdPanel(), TPoint{500, 10});
  Application().PostMouseMove(viewer.Form(), {}, panel.X, panel.Y);
  viewer.Pump();
  EXPECT_EQ(viewer.StatusText().find("UTM"), std::string::npos) << viewer.StatusText();
}

TEST_F(ViewerTest, ResizingTheWindowResizesTheMap) {
  viewer.Open({Sample()});
  viewer.Resize(1000, 700);
  viewer.Pump();
  EXPECT_EQ(viewer.Picture().Width(), 1000);
  EXPECT_EQ(viewer.Picture().Height(), 700);
  EXPECT_EQ(Map().Width(), 1000);
  EXPECT_EQ(Map().Height(), 700 - 33 - kStatusHeight);
}

TEST_F(ViewerTest, WithoutMapsShowsTheEmptyMessageAndIgnoresKeys) {
  EXPECT_EQ(viewer.Open({Sample("nonexistent")}), 0);
  EXPECT_TRUE(Said("no such file or folder"));
  EXPECT_EQ(viewer.Title(), "geoview");
  for (TViewerKey k : {TViewerKey::ZoomIn, TViewerKey::PanLeft, TViewerKey::FitPage,
                       TViewerKey::Back, TViewerKey::CycleGrid, TViewerKey::ToggleLandmarks}) {
    viewer.Key(k);
  }
  Application().PostMouseWheel(viewer.Form(), {}, 120, 300, 300);
  viewer.Pump();
  EXPECT_EQ(Map().Magnification(), 1.0);
  EXPECT_NE(viewer.StatusText().find("no map"), std::string::npos);
}

}  // namespace
}  // namespace marovia::geoview::test
