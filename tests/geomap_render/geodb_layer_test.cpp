// The item database as a map layer, on the plate carree test map (100
// pixels a degree, 48 N 8 E at the top left, 300 x 200 pixels): the items'
// drawn pixels and the picks of clicks against their known positions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "marovia/geodb/geodb.h"
#include "marovia/geomap/geodb_layer.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/map_calibration.h"
#include "support/map_kinds.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

class GeoDBLayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.SetDBName(dir_.File("places"));
    db_.AddTown("Alpha", 45000, 0, TSCoords{47.5f, 8.5f}, 0, 2, 0);  // view (50, 50)
    db_.AddTown("Beta", 45000, 0, TSCoords{46.9f, 9.9f}, 0, 1, 0);   // (190, 110), in the lake
    db_.AddTown("Far", 45000, 0, TSCoords{40.0f, 0.0f}, 0, 1, 0);    // off the map
    const TgdbPolygon lake{{47.2f, 9.6f}, {47.2f, 10.2f}, {46.6f, 10.2f}, {46.6f, 9.6f}};
    db_.AddLake("Lake", lake, 45000, 0, 0, 0, 0, 0, 0, 0, 0);  // x 160..220, y 80..140
    const TgdbPolygon river{{47.8f, 8.2f}, {47.8f, 10.8f}};
    db_.AddRiver("River", river, 45000, 0, 0, 0, 0, 0, 0, 0, 0);  // y 20, x 20..280

    test::ShowWhiteKindMap(map_, 300, 200);
    layer_ = std::make_shared<TGeoDBLayer>(db_, "places");
    layer_->Style.Town = clBlue;
    layer_->Style.River = clRed;
    layer_->Style.Lake = clRed;
    layer_->Style.LakeFill = clLime;
    layer_->Style.FillOpacity = 1;
    layer_->Style.Captions = false;
    layer_->OnItemsPicked = [this](TGeoDBLayer&, const std::vector<TGeoDBPick>& Items) {
      picked_.clear();
      for (const TGeoDBPick& p : Items) picked_.push_back(p.Item.Name.Text());
      ++events_;
    };
    map_.AddOverlayLayer(layer_);
  }
  void TearDown() override { db_.SetDBName(""); }
  uint32_t At(int X, int Y) const { return map_.ComposedView().ScanLine(Y)[X] & 0xF8F8F8; }

  test::TempDir dir_;
  TGeoDB db_{nullptr};
  TGeoMap map_{nullptr};
  std::shared_ptr<TGeoDBLayer> layer_;
  std::vector<std::string> picked_;
  int events_ = 0;
};

TEST_F(GeoDBLayerTest, DrawsTheItemsOfTheViewWhereTheyLie) {
  EXPECT_EQ(4u, layer_->DrawnItems());  // not the town off the map
  EXPECT_EQ(0x0000F8u, At(50, 50));     // Alpha
  EXPECT_EQ(0x0000F8u, At(190, 110));   // Beta, over the lake
  EXPECT_EQ(0x00F800u, At(170, 130));   // the lake's water
  EXPECT_EQ(0xF80000u, At(160, 100));   // its shore
  EXPECT_EQ(0xF80000u, At(100, 20));    // the river
  EXPECT_EQ(0xF8F8F8u, At(100, 30));    // dry land
  EXPECT_EQ(0xF8F8F8u, At(250, 170));
}

TEST_F(GeoDBLayerTest, ClicksPickEveryItemWithinFivePixelsSmallestFirst) {
  struct Case {
    int X, Y;
    std::vector<std::string> Picked;
  } cases[] = {
      {50, 50, {"Alpha"}},
      {53, 53, {"Alpha"}},           // 4.2 px away
      {54, 54, {}},                  // 5.7 px away
      {190, 110, {"Beta", "Lake"}},  // the town in the lake first
      {170, 130, {"Lake"}},          // inside the lake, far from its shore
      {223, 130, {"Lake"}},          // 3 px off its shore
      {100, 24, {"River"}},
      {100, 26, {}},
      {5, 195, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << ", " << c.Y);
    const int before = events_;
    map_.MouseDown(mbLeft, TShiftState(), c.X, c.Y);
    map_.MouseUp(mbLeft, TShiftState(), c.X, c.Y);
    EXPECT_EQ(before + 1, events_);
    EXPECT_EQ(c.Picked, picked_);
  }
  // A drag is no click.
  const int before = events_;
  map_.MouseDown(mbLeft, TShiftState(), 50, 50);
  map_.MouseUp(mbLeft, TShiftState(), 80, 50);
  EXPECT_EQ(before, events_);
}

TEST_F(GeoDBLayerTest, FollowsTheViewAndReplacedItems) {
  // Zoomed on Alpha: the lake and Beta leave the view's box.
  map_.SetMagnification(4);
  map_.SetTopLeft(TPoint{0, 0});
  map_.Paint();
  EXPECT_EQ(2u, layer_->DrawnItems());  // Alpha and the river
  EXPECT_EQ(0x0000F8u, At(200, 198));   // Alpha at the bottom edge
  // A replaced river is read again, not taken from what was kept.
  map_.SetMagnification(1);
  const int river = db_.SearchData("River");
  db_.ReplaceRiver(river, "River", TgdbPolygon{{46.2f, 8.2f}, {46.2f, 10.8f}}, 45000, 0, 0, 0, 0, 0,
                   0, 0, 0);
  map_.Paint();
  EXPECT_EQ(0xF8F8F8u, At(100, 20));
  EXPECT_EQ(0xF80000u, At(100, 180));
}

// A map across 180 degrees (176 E to 176 W): towns on both sides are found
// through the wrapped box, drawn and picked where the map has them.
TEST(GeoDBLayer, FindsAndPicksItemsOnBothSidesOf180Degrees) {
  const test::TempDir dir;
  TGeoDB db(nullptr);
  db.SetDBName(dir.File("pacific"));
  db.AddTown("West", 45000, 0, TSCoords{-17.0f, 179.0f}, 0, 0, 0);   // x 150, y 100
  db.AddTown("East", 45000, 0, TSCoords{-17.0f, -179.0f}, 0, 0, 0);  // x 250
  TMapCalibration cal(cmEquiRect, TCalibData{}, 400, 200);
  cal.AddPoint(-15, 176, 0, 0);
  cal.AddPoint(-15, 184, 400, 0);
  cal.AddPoint(-19, 176, 0, 200);
  cal.Fit();
  TGeoDBLayer layer(db);
  layer.Style.Captions = false;
  TBitmap bmp(400, 200);
  TLayerView view;
  view.Calib = &cal;
  view.Width = 400;
  view.Height = 200;
  layer.Draw(bmp.Canvas(), view, nullptr);
  EXPECT_EQ(2u, layer.DrawnItems());
  for (const auto& [x, name] : {std::pair{150, "West"}, {250, "East"}}) {
    const auto picks = layer.Pick(view, x, 100);
    ASSERT_EQ(1u, picks.size()) << name;
    EXPECT_EQ(name, picks[0].Item.Name.Text());
  }
  db.SetDBName("");
}

}  // namespace
}  // namespace marovia
