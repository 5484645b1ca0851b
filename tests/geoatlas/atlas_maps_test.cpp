// The atlas with real calibration files and images in a folder whose names
// carry upper-case letters: registering, selecting, zooming by resolution,
// mouse clicks in zoom mode and the outlines of the other maps.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "marovia/geoatlas/geoatlas.h"
#include "marovia/platform/forms.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

constexpr int kImgW = 200;
constexpr int kImgH = 100;

// A plate carree map of the box Lat0..Lat1, Long0..Long1 drawn as a
// kImgW x kImgH bitmap of one colour, its calibration file naming the image
// by its bare name and giving Resolution as the atlas should see it.
void WriteMap(const std::string& Dir, const std::string& Name, double Lat0, double Lat1,
              double Long0, double Long1, double Resolution, TColor Fill) {
  TBitmap bmp(kImgW, kImgH);
  bmp.SetPixelFormat(pf24bit);
  bmp.Canvas().Brush().SetColor(Fill);
  bmp.Canvas().FillRect(Rect(0, 0, kImgW, kImgH));
  bmp.SaveToFile(Dir + "/" + Name + ".bmp");

  TCalibData d;
  d.MapFName = Name + ".bmp";
  d.Caption = Name + " map";
  d.Corners[gcoTopLeft] = {Lat1, Long0};
  d.Corners[gcoBottomLeft] = {Lat0, Long0};
  d.Corners[gcoBottomRight] = {Lat0, Long1};
  d.Corners[gcoTopRight] = {Lat1, Long1};
  d.Resolution = Resolution;
  d.NumCalQuads = 3;
  d.CalQuads[0] = {Lat1, Long0, 0, 0};
  d.CalQuads[1] = {Lat1, Long1, kImgW, 0};
  d.CalQuads[2] = {Lat0, Long0, 0, kImgH};
  TTextFile f(Dir + "/" + Name + ".xml");
  f.Rewrite();
  WriteRawCalDataToOpenXMLFile(f, true, Name, d, cmEquiRect);
  f.CloseFile();
}

class AtlasMaps : public ::testing::Test {
 protected:
  AtlasMaps() : form(nullptr) {
    maps = (dir.Path() / "Maps").string();
    std::filesystem::create_directory(maps);
    // Four maps around (45, 5) at resolutions 100, 50, 45 and 20, and one
    // far away.
    WriteMap(maps, "Europe", 30, 60, -10, 20, 100, clWhite);
    WriteMap(maps, "Alps", 40, 50, 0, 10, 50, clYellow);
    WriteMap(maps, "AlpsWest", 42, 48, 2, 8, 45, clLime);
    WriteMap(maps, "Valley", 44, 46, 4, 6, 20, clAqua);
    WriteMap(maps, "Andes", -20, -10, -70, -60, 30, clSilver);
    form.SetBounds(0, 0, 600, 400);
    atlas = new TGeoAtlas(&form);
    atlas->SetParent(&form);
    atlas->SetAlign(alClient);
    Application().ProcessMessages();
  }
  std::string Map(const std::string& Name) const { return maps + "/" + Name + ".xml"; }
  void RegisterAll() {
    for (const char* n : {"Europe", "Alps", "AlpsWest", "Valley", "Andes"})
      ASSERT_TRUE(atlas->RegisterMap(Map(n))) << n;
  }
  void ClickMap(int X, int Y, TMouseButton B) {
    const TPoint o = atlas->CurrentMap().OriginInTopLevel();
    Application().PostMouseDown(form, B, {}, o.X + X, o.Y + Y);
    Application().PostMouseUp(form, B, {}, o.X + X, o.Y + Y);
    Application().ProcessMessages();
  }

  test::TempDir dir;
  std::string maps;
  TForm form;
  TGeoAtlas* atlas;
};

TEST_F(AtlasMaps, RegistersFilesUnderTheirOwnNames) {
  RegisterAll();
  ASSERT_EQ(atlas->NumRegMaps(), 5);
  const TMapDefinition alps = atlas->Maps(2);
  EXPECT_EQ(alps.MapFName, Map("Alps"));  // not lower-cased: the file opens as given
  EXPECT_EQ(alps.Caption, "Alps map");
  EXPECT_EQ(alps.Resolution, 50);
  EXPECT_EQ(alps.Corners[gcoBottomRight], (TCoords{40, 10}));
  const TStringList& items = atlas->MapSelector().Items();
  ASSERT_EQ(items.Count(), 5);
  EXPECT_EQ(items.Strings(0), "Europe map");
  EXPECT_EQ(items.Strings(4), "Andes map");
}

TEST_F(AtlasMaps, ReRegisteringIgnoresCaseAndUpdatesTheEntry) {
  RegisterAll();
  WriteMap(maps, "Alps", 40, 50, 0, 10, 55, clYellow);
  // The same file under another spelling of its name.
  std::filesystem::create_symlink("Alps.xml", maps + "/ALPS.XML");
  ASSERT_TRUE(atlas->RegisterMap(maps + "/ALPS.XML"));
  EXPECT_EQ(atlas->NumRegMaps(), 5);
  EXPECT_EQ(atlas->Maps(2).Resolution, 55);
  EXPECT_EQ(atlas->Maps(2).MapFName, maps + "/ALPS.XML");
}

TEST_F(AtlasMaps, SelectingLoadsTheMapAndItsImageFromTheCalibrationsFolder) {
  RegisterAll();
  ASSERT_TRUE(atlas->SelectMap(2));  // calibrated by points alone
  EXPECT_EQ(atlas->MapSelector().ItemIndex(), 1);
  EXPECT_EQ(atlas->CurrentMapIndex(), 2);
  const TGeoMap& map = atlas->CurrentMap();
  EXPECT_EQ(map.MapImgFile(), "Alps.bmp");  // as named in the file
  EXPECT_EQ(map.MapImgWidth(), kImgW);
  EXPECT_EQ(map.CalibModel(), cmEquiRect);
  EXPECT_EQ(map.Caption(), "Alps map");
}

TEST_F(AtlasMaps, ZoomingChoosesByResolution) {
  RegisterAll();
  // Finer by more than 10 per cent, the coarsest of those: 50, not 45 or 20.
  ASSERT_TRUE(atlas->ZoomIn(45, 5, 100));
  EXPECT_EQ(atlas->CurrentMapIndex(), 2);
  // From 50: 45 is only 10 per cent finer, so 20.
  ASSERT_TRUE(atlas->ZoomIn(45, 5, 50));
  EXPECT_EQ(atlas->CurrentMapIndex(), 4);
  // Coarser: the finest above 50.
  ASSERT_TRUE(atlas->ZoomOut(45, 5, 50));
  EXPECT_EQ(atlas->CurrentMapIndex(), 1);
  // Nothing finer or coarser, or nothing at the position: no change.
  EXPECT_FALSE(atlas->ZoomIn(45, 5, 20));
  EXPECT_FALSE(atlas->ZoomOut(45, 5, 100));
  EXPECT_FALSE(atlas->ZoomIn(0, 100, 1000));
  EXPECT_EQ(atlas->CurrentMapIndex(), 1);
}

// A map whose calibration or image is damaged after it was registered: the
// direct SelectMap raises, the zoom and the selector answer false and
// report; every path keeps the map shown, its calibration and its index.
TEST_F(AtlasMaps, AFailedChoiceOfMapChangesNothing) {
  const struct {
    const char* damage;
    const char* file;
    std::string bytes;
  } damages[] = {
      {"damaged image", "Valley.bmp", "BM this is no bitmap"},
      {"cut calibration", "Valley.xml", ""},  // filled below
  };
  enum Path { kSelectMap, kZoomIn, kSelector };
  for (const auto& d : damages) {
    for (const Path path : {kSelectMap, kZoomIn, kSelector}) {
      SCOPED_TRACE(std::string(d.damage) + " path " + std::to_string(path));
      WriteMap(maps, "Valley", 44, 46, 4, 6, 20, clAqua);
      atlas->OnMapLoadError = nullptr;
      for (int i = atlas->NumRegMaps(); i >= 1; --i) atlas->UnregisterMap(i);
      RegisterAll();
      ASSERT_TRUE(atlas->SelectMap(2));
      std::string bytes = d.bytes;
      if (bytes.empty()) {
        bytes = dir.Read("Maps/Valley.xml");
        bytes.resize(bytes.find("<calquads"));
      }
      dir.Write(std::string("Maps/") + d.file, bytes);
      const TCalibData calibration = atlas->CurrentMap().CalibData();
      std::vector<int32_t> reported;
      atlas->OnMapLoadError = [&](TObject*, int32_t Index, const std::string& Message) {
        reported.push_back(Index);
        EXPECT_FALSE(Message.empty());
      };
      switch (path) {
        case kSelectMap:
          EXPECT_THROW(atlas->SelectMap(4), Exception);
          break;
        case kZoomIn:
          EXPECT_FALSE(atlas->ZoomIn(45, 5, 50));
          break;
        case kSelector: {
          // Two wheel notches toward the user move the closed list from
          // entry 1 down to entry 3.
          const TPoint o = atlas->MapSelector().OriginInTopLevel();
          Application().PostMouseWheel(form, {}, -240, o.X + 5, o.Y + 5);
          Application().ProcessMessages();
          break;
        }
      }
      EXPECT_EQ(reported, path == kSelectMap ? std::vector<int32_t>{} : std::vector<int32_t>{4});
      EXPECT_EQ(atlas->CurrentMapIndex(), 2);
      EXPECT_EQ(atlas->MapSelector().ItemIndex(), 1);
      EXPECT_EQ(atlas->CurrentMap().MapImgFile(), "Alps.bmp");
      EXPECT_EQ(atlas->CurrentMap().CalibModel(), cmEquiRect);
      EXPECT_EQ(atlas->CurrentMap().CalibData(), calibration);
    }
  }
}

TEST_F(AtlasMaps, EqualResolutionsGoToTheLowestIndex) {
  WriteMap(maps, "Twin", 40, 50, 0, 10, 50, clRed);
  RegisterAll();
  ASSERT_TRUE(atlas->RegisterMap(Map("Twin")));
  ASSERT_TRUE(atlas->ZoomIn(45, 5, 100));
  EXPECT_EQ(atlas->CurrentMapIndex(), 2);  // Alps, not Twin (6)
}

TEST_F(AtlasMaps, ClicksInZoomModeSwitchToFinerAndCoarserMaps) {
  RegisterAll();
  ASSERT_TRUE(atlas->SelectMap(2));  // Alps, 10 x 10 degrees over 200 x 100 pixels
  const TPoint zoom = atlas->ZoomButton().OriginInTopLevel();
  Application().PostMouseDown(form, mbLeft, {}, zoom.X + 5, zoom.Y + 5);
  Application().PostMouseUp(form, mbLeft, {}, zoom.X + 5, zoom.Y + 5);
  Application().ProcessMessages();
  ASSERT_TRUE(atlas->ZoomButton().Down());

  ClickMap(100, 50, mbLeft);  // (45, 5): finer than 50 by more than 10 %: Valley
  EXPECT_EQ(atlas->CurrentMapIndex(), 4);
  EXPECT_EQ(atlas->CurrentMap().Caption(), "Valley map");
  ClickMap(100, 50, mbRight);  // coarser than 20: AlpsWest (45)
  EXPECT_EQ(atlas->CurrentMapIndex(), 3);
}

TEST_F(AtlasMaps, ClicksInPointerModeOnlyForward) {
  RegisterAll();
  ASSERT_TRUE(atlas->SelectMap(2));
  int downs = 0;
  atlas->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++downs; };
  ClickMap(100, 50, mbLeft);
  ClickMap(100, 50, mbRight);
  EXPECT_EQ(downs, 2);
  EXPECT_EQ(atlas->CurrentMapIndex(), 2);
}

TEST_F(AtlasMaps, UnregisteringTheShownMapSelectsItsSuccessor) {
  RegisterAll();
  ASSERT_TRUE(atlas->SelectMap(2));
  atlas->UnregisterMap(2);
  EXPECT_EQ(atlas->NumRegMaps(), 4);
  EXPECT_EQ(atlas->Maps(2).Caption, "AlpsWest map");
  EXPECT_EQ(atlas->CurrentMap().Caption(), "AlpsWest map");
  EXPECT_EQ(atlas->MapSelector().ItemIndex(), 1);
  atlas->UnregisterMap(4);  // not the shown one: the map stays
  EXPECT_EQ(atlas->NumRegMaps(), 3);
  EXPECT_EQ(atlas->CurrentMap().Caption(), "AlpsWest map");
}

TEST_F(AtlasMaps, OutlinesOfTheOtherMapsAppearAtTheirCorners) {
  RegisterAll();
  atlas->SetMapOutlineColor(clRed);
  ASSERT_TRUE(atlas->SelectMap(2));  // Alps: 20 pixels per degree
  TGeoMap& map = atlas->CurrentMap();
  map.SetFrameStyle(fsNone);
  map.Paint();
  auto at = [&](int X, int Y) { return PixelToColor(map.ComposedView().ScanLine(Y)[X]); };
  const TColor red = PixelToColor(map.ComposedView().Quantize(ColorToPixel(clRed)));
  // Valley (44..46, 4..6) lies at x 80..120, y 40..60; AlpsWest at x 40..160, y 20..80.
  EXPECT_EQ(at(100, 40), red);  // top edge of Valley
  EXPECT_EQ(at(80, 50), red);   // its left edge
  EXPECT_EQ(at(100, 20), red);  // top edge of AlpsWest
  EXPECT_NE(at(100, 50), red);  // inside: the map itself
  // The shown map's own outline is not drawn; hiding outlines removes them.
  atlas->SetMapOutlineVisible(false);
  EXPECT_NE(at(100, 40), red);
}

}  // namespace
}  // namespace marovia
