// What the item database layer keeps between draws: after a pan or zoom,
// a change of the database (through this component or, reopened, another)
// or of the calibration, a redraw gives exactly the pixels of a fresh
// layer; and the town markers stamped in one pass give the pixels of
// markers painted one by one, pixel by pixel.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "marovia/geodb/geodb.h"
#include "marovia/geomap/geodb_layer.h"
#include "marovia/geomap/map_calibration.h"
#include "render/marker_stamp.h"
#include "support/grid_calibration.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

using test::Calibration;
using test::kImageH;
using test::kImageW;

struct ViewCase {
  double Left, Top, Magnify;
};

std::unique_ptr<TBitmap> DrawOf(TGeoDBLayer& Layer, const TMapCalibration& Cal, const ViewCase& V) {
  auto image = std::make_unique<TBitmap>(320, 240);
  image->Canvas().Brush().SetColor(clWhite);
  image->Canvas().FillRect(Rect(0, 0, 320, 240));
  TLayerView view;
  view.Calib = &Cal;
  view.Left = V.Left;
  view.Top = V.Top;
  view.Magnify = V.Magnify;
  view.Width = 320;
  view.Height = 240;
  Layer.Draw(image->Canvas(), view, nullptr);
  return image;
}

int Differing(const TBitmap& A, const TBitmap& B) {
  int n = 0;
  for (int y = 0; y < A.Height(); ++y)
    for (int x = 0; x < A.Width(); ++x) n += A.ScanLine(y)[x] != B.ScanLine(y)[x];
  return n;
}

// 1500 towns of five classes over the map and a little beyond, a lake and
// a road; drawn with captions (their choice depends on the classes kept).
class GeoDBLayerCache : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.SetDBName(Base());
    db_.SetLazyWrite(true);
    db_.BeginTransaction();
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> lat(45.9f, 48.1f), lon(7.9f, 11.1f);
    for (int i = 0; i < 1500; ++i)
      db_.AddTown("T" + std::to_string(i), 45000, 0, TSCoords{lat(rng), lon(rng)}, 0,
                  static_cast<uint8_t>(i % 5), 0);
    db_.AddLake("Lake", {{47.2f, 9.6f}, {47.2f, 10.2f}, {46.6f, 10.2f}, {46.6f, 9.6f}}, 45000, 0, 0,
                0, 0, 0, 0, 0, 0);
    db_.AddRoad("Road", {{46.1f, 8.1f}, {47.9f, 10.9f}}, 45000, 0, 0, 0, 0, 0, 0, 0, 0);
    db_.Commit();
    db_.SetLazyWrite(false);
  }
  void TearDown() override { db_.SetDBName(""); }
  std::string Base() const { return dir_.File("towns"); }
  std::unique_ptr<TGeoDBLayer> Layer() {
    auto l = std::make_unique<TGeoDBLayer>(db_);
    l->Style.MaxCaptions = 40;
    return l;
  }
  // The cached layer's draw against a fresh one's.
  void ExpectAsFresh(TGeoDBLayer& Cached, const TMapCalibration& Cal, const ViewCase& V) {
    const auto cached = DrawOf(Cached, Cal, V);
    const auto fresh = Layer();
    EXPECT_EQ(0, Differing(*cached, *DrawOf(*fresh, Cal, V)));
    EXPECT_EQ(Cached.DrawnItems(), fresh->DrawnItems());
  }

  test::TempDir dir_;
  TGeoDB db_{nullptr};
};

// Whole map small, a pan, zooms down to single towns, views across the
// edges and one beside the map; then the first view again.
const ViewCase kViews[] = {
    {0, 0, 0.05},      {1500, 1000, 0.1}, {2800, 1800, 0.5},   {2900, 1900, 2},  {5900, 3950, 1},
    {-200, -100, 0.3}, {2000, 1500, 8},   {-90000, 0, 0.0002}, {30000, 0, 0.05}, {0, 0, 0.05},
};

TEST_F(GeoDBLayerCache, RedrawsAfterPansAndZoomsMatchAFreshLayer) {
  for (const TMapCalibration& cal :
       {Calibration(cmEquiRect, ""), Calibration(cmProjected, "EPSG:3035")}) {
    SCOPED_TRACE(cal.Data().CrsText);
    const auto layer = Layer();
    for (const ViewCase& v : kViews) {
      SCOPED_TRACE(v.Magnify);
      ExpectAsFresh(*layer, cal, v);
    }
    // Every town of the map's box went through the calibration once.
    EXPECT_LE(layer->TownConversions(), 1500u);
    EXPECT_GT(layer->TownConversions(), 1000u);
  }
}

// The first town well inside the view of the change cases.
int TownInView(const TGeoDB& D) {
  for (int e = 1; e <= D.NumEntries(); ++e) {
    const TgdbData d = D.Data(e);
    if (d.ItemKind == gitTown && d.LatLow > 46.6f && d.LatLow < 47.2f && d.LongLow > 9.0f &&
        d.LongLow < 10.0f)
      return e;
  }
  return 1;
}

// Each change follows a cached draw; the next draw converts the towns
// again (or not) and matches a fresh layer.
struct ChangeCase {
  const char* What;
  std::function<void(TGeoDB&, TMapCalibration&, const std::string& Base)> Change;
  bool Converts;
};

TEST_F(GeoDBLayerCache, ChangesOfTheDatabaseOrTheCalibrationConvertAgain) {
  const ChangeCase changes[] = {
      {"nothing", [](TGeoDB&, TMapCalibration&, const std::string&) {}, false},
      {"a town added",
       [](TGeoDB& D, TMapCalibration&, const std::string&) {
         D.AddTown("New", 45000, 0, TSCoords{47.0f, 9.5f}, 0, 0, 0);
       },
       true},
      {"a town in the view moved",
       [](TGeoDB& D, TMapCalibration&, const std::string&) {
         const TgdbData d = D.Data(TownInView(D));
         D.ReplaceTown(TownInView(D), d.Name.Text(), 45000, 0,
                       TSCoords{d.LatLow + 0.01f, d.LongLow - 0.01f}, 0, 0, 0);
       },
       true},
      {"a town in the view deleted, the one added put in its place",
       [](TGeoDB& D, TMapCalibration&, const std::string&) { D.DeleteData(TownInView(D)); }, true},
      {"a town's class changed (its caption comes first)",
       [](TGeoDB& D, TMapCalibration&, const std::string&) {
         const int e = TownInView(D);
         TgdbData d = D.Data(e);
         d.ClassFlag = d.ClassFlag == 0 ? 4 : 0;
         D.UpdateBasicData(e, d);
       },
       false},
      {"a record rewritten elsewhere",
       [](TGeoDB& D, TMapCalibration&, const std::string&) {
         const int e = TownInView(D);
         TgdbData d = D.Data(e);
         d.LatLow = d.LatHigh = d.LatLow - 0.02f;
         D.UpdateBasicData(e, d);
       },
       true},
      {"reopened after another component moved a town",
       [](TGeoDB& D, TMapCalibration&, const std::string& Base) {
         D.SetDBName("");
         {
           TGeoDB other(nullptr);
           other.SetDBName(Base);
           const TgdbData d = other.Data(TownInView(other));
           other.ReplaceTown(TownInView(other), d.Name.Text(), 45000, 0,
                             TSCoords{d.LatLow, d.LongLow + 0.02f}, 0, 0, 0);
           other.SetDBName("");
         }
         D.SetDBName(Base);
       },
       true},
      {"the calibration refitted with a point more",
       [](TGeoDB&, TMapCalibration& C, const std::string&) {
         C.AddPoint(47.2, 9.1, 2400, 1700);
         C.Fit();
       },
       true},
      {"the same fit again", [](TGeoDB&, TMapCalibration& C, const std::string&) { C.Fit(); },
       false},
      {"a refit that the settings no longer show",
       [](TGeoDB&, TMapCalibration& C, const std::string&) {
         const TCalibData was = C.Data();
         C.Data().CrsText = "EPSG:3034";
         C.Fit();
         C.Data() = was;
       },
       true},
  };
  const ViewCase v{1500, 1000, 0.1};
  TMapCalibration cal = Calibration(cmProjected, "EPSG:3035");
  const auto layer = Layer();
  for (const ChangeCase& c : changes) {
    SCOPED_TRACE(c.What);
    DrawOf(*layer, cal, v);
    const std::size_t before = layer->TownConversions();
    c.Change(db_, cal, Base());
    ExpectAsFresh(*layer, cal, v);
    EXPECT_EQ(c.Converts, layer->TownConversions() > before);
  }
}

// What the layer keys its towns on: every way the records held in memory
// change raises TGeoDB::Changes, and reading or a header change does not.
TEST_F(GeoDBLayerCache, EveryChangeOfTheRecordsRaisesTheChangeCount) {
  const struct {
    const char* What;
    std::function<void(TGeoDB&)> Do;
    bool Changes;
  } steps[] = {
      {"reading",
       [](TGeoDB& D) {
         (void)D.FindItemsInArea(46, 48, 8, 11);
         (void)D.Data(3);
       },
       false},
      {"the description", [](TGeoDB& D) { D.SetDescription("towns"); }, false},
      {"an addition",
       [](TGeoDB& D) {
         D.AddTown("A", 0, 0, TSCoords{47, 9}, 0, 0, 0);
       },
       true},
      {"a replacement",
       [](TGeoDB& D) {
         D.ReplaceTown(2, "B", 0, 0, TSCoords{47, 9}, 0, 0, 0);
       },
       true},
      {"a record overwritten", [](TGeoDB& D) { D.UpdateBasicData(3, D.Data(3)); }, true},
      {"a deletion", [](TGeoDB& D) { D.DeleteData(4); }, true},
      {"a garbage collection", [](TGeoDB& D) { D.GarbageCollection(); }, true},
      {"a rollback",
       [](TGeoDB& D) {
         D.BeginTransaction();
         D.Rollback();
       },
       true},
      {"closed and opened again",
       [](TGeoDB& D) {
         const std::string base = D.DBName();
         D.SetDBName("");
         D.SetDBName(base);
       },
       true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.What);
    const uint64_t before = db_.Changes();
    step.Do(db_);
    EXPECT_EQ(step.Changes, db_.Changes() != before);
  }
}

// The markers painted one by one, pixel by pixel: every pixel within
// reach + 1/2 of the centre, the fill within radius + 1/2, clipped to the
// view and the clip rectangle, later markers over earlier ones.
void PaintOneByOne(TBitmap& Bmp, int Width, int Height, TRect Clip, int Radius, uint32_t Fill,
                   const std::vector<TPoint>& Points) {
  const int reach = Radius + std::max(1, Radius / 3);
  for (const TPoint& p : Points)
    for (int dy = -reach; dy <= reach; ++dy)
      for (int dx = -reach; dx <= reach; ++dx) {
        const double d = std::hypot(dx, dy);
        const int64_t x = int64_t{p.X} + dx, y = int64_t{p.Y} + dy;
        if (d > reach + 0.5 || x < std::max(0, Clip.Left) || y < std::max(0, Clip.Top) ||
            x >= std::min(Width, Clip.Right) || y >= std::min(Height, Clip.Bottom))
          continue;
        Bmp.ScanLine(static_cast<int>(y))[x] = d <= Radius + 0.5 ? Fill : 0x00FFFFFF;
      }
}

TEST(MarkerStamp, StampsThePixelsOfMarkersPaintedOneByOne) {
  struct Case {
    int Radius;
    TRect Clip;         // of the canvas
    int Width, Height;  // of the view, on a 97 x 61 bitmap
  };
  const Case cases[] = {
      {1, Rect(0, 0, 97, 61), 97, 61},      {3, Rect(0, 0, 97, 61), 97, 61},
      {3, Rect(10, 7, 60, 33), 97, 61},     {5, Rect(0, 0, 97, 61), 50, 40},
      {12, Rect(-5, -5, 200, 200), 97, 61}, {30, Rect(3, 2, 90, 60), 97, 61},
  };
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Radius);
    std::uniform_int_distribution<int> x(-40, 136), y(-40, 100);
    std::vector<TPoint> points;
    for (int i = 0; i < 300; ++i) points.push_back(TPoint{x(rng), y(rng)});
    points.push_back(points[7]);  // stamped twice, the second over others
    points.push_back(TPoint{INT32_MAX, INT32_MIN});
    points.push_back(TPoint{INT32_MIN, 30});
    TBitmap stamped(97, 61), painted(97, 61);
    stamped.Canvas().SetClipRect(c.Clip);
    render::TMarkerStamp(c.Radius, TColor(0x00204080))
        .DrawAll(stamped.Canvas(), c.Width, c.Height, points);
    PaintOneByOne(painted, c.Width, c.Height, c.Clip, c.Radius, 0x00804020, points);
    EXPECT_EQ(0, Differing(stamped, painted));
  }
}

}  // namespace
}  // namespace marovia
