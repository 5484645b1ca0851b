// What the viewer writes (saved views, copies, prints) and the files it
// cannot use: each is reported once and the rest of the atlas stays usable.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "marovia/geomap/map_import.h"
#include "marovia/platform/clipbrd.h"
#include "marovia/platform/pngimage.h"
#include "support/map_kinds.h"
#include "support/temp_dir.h"
#include "view_output.h"
#include "viewer_support.h"

namespace marovia::geoview::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ViewerTest, SavesCopiesAndPrintsTheViewIntoNumberedFiles) {
  const marovia::test::TempDir out;
  viewer.SetOutputFolder(out.Path().string());
  viewer.Open({Sample()});
  std::string clipboardFile;
  viewer.OnClipboardFile = [&](const std::string& File) { clipboardFile = File; };

  viewer.Key(TViewerKey::Save);
  TPngImage saved;
  saved.LoadFromFile(out.File("geoview-1.png"));
  EXPECT_EQ(saved.Width(), Map().Width());
  EXPECT_EQ(saved.Height(), Map().Height());
  EXPECT_TRUE(Said("view saved as "));

  viewer.Key(TViewerKey::Copy);
  EXPECT_EQ(clipboardFile, out.File("geoview-2.png"));
  EXPECT_TRUE(Clipboard().HasFormat(CF_BITMAP));
  EXPECT_TRUE(fs::exists(clipboardFile));

  viewer.Key(TViewerKey::Print);
  std::ifstream pdf(out.File("geoview-1.pdf"), std::ios::binary);
  std::string head(5, '\0');
  pdf.read(head.data(), 5);
  EXPECT_EQ(head, "%PDF-");
}

TEST(ViewOutput, NumbersFilesWithoutReplacingAny) {
  const marovia::test::TempDir dir;
  EXPECT_EQ(NextOutputFile(dir.Path().string(), "png"), dir.File("geoview-1.png"));
  dir.Write("geoview-1.png", "x");
  dir.Write("geoview-2.png", "x");
  EXPECT_EQ(NextOutputFile(dir.Path().string() + "/", "png"), dir.File("geoview-3.png"));
  EXPECT_EQ(NextOutputFile(dir.Path().string(), "pdf"), dir.File("geoview-1.pdf"));
}

TEST_F(ViewerTest, ReportsWhatItCannotSaveAndGoesOn) {
  viewer.SetOutputFolder("/nonexistent/folder");
  viewer.Open({Sample()});
  messages.clear();
  viewer.Key(TViewerKey::Save);
  viewer.Key(TViewerKey::Print);
  EXPECT_EQ(messages.size(), 2u);
  viewer.Key(TViewerKey::ZoomIn);  // the viewer goes on
  EXPECT_GT(Map().Magnification(), 0.33);
}

// A copy of the sample atlas in which files can be damaged.
class DamagedAtlas : public ViewerTest {
 protected:
  DamagedAtlas() {
    for (const auto& e : fs::directory_iterator(Sample()))
      fs::copy_file(e.path(), dir.Path() / e.path().filename());
  }
  void Write(const std::string& Name, const std::string& Bytes) { dir.Write(Name, Bytes); }
  std::string Read(const std::string& Name) { return dir.Read(Name); }
  marovia::test::TempDir dir;
};

TEST_F(DamagedAtlas, PassesOverFilesItCannotUse) {
  fs::remove(dir.File("iberia_stereo.jpg"));
  Write("random.xml", std::string(300, '\x01'));
  std::string alps = Read("alps_eqc.xml");
  alps.replace(alps.find("npoints=\"12\""), 12, "npoints=\"99\"");
  Write("alps_eqc.xml", alps);
  Write("landmarks.xml", Read("landmarks.xml").substr(0, 2000));  // cut in a landmark

  EXPECT_EQ(viewer.Open({dir.Path().string(), dir.File("nonexistent.xml")}), 5);
  EXPECT_TRUE(Said("iberia_stereo.jpg not found"));
  EXPECT_TRUE(Said("random.xml: not a calibration or landmark file"));
  EXPECT_TRUE(Said("alps_eqc.xml: "));
  EXPECT_TRUE(Said("nonexistent.xml: no such file or folder"));
  EXPECT_NE(Map().Caption().find("Europe, Africa"), std::string::npos);
}

TEST_F(DamagedAtlas, DropsAMapWhoseImageTurnsOutDamagedAndKeepsTheOneShown) {
  // The Europe map's image is cut short: it is found only when the map is
  // loaded, on the click that zooms to it.
  const std::string jpeg = Read("europe_lcc.jpg");
  Write("europe_lcc.jpg", jpeg.substr(0, jpeg.size() / 4));
  EXPECT_EQ(viewer.Open({dir.Path().string()}), 7);
  const std::string overview = Map().Caption();
  ASSERT_TRUE(viewer.CenterOn(51.5, -0.12, 1.0));  // London: Europe, then the British Isles

  Click(OnForm(viewer.Atlas().ZoomButton(), TPoint{13, 13}));
  messages.clear();
  Click(MapCentre());
  EXPECT_TRUE(Said("europe_lcc.xml: ")) << (messages.empty() ? "" : messages.front());
  EXPECT_EQ(viewer.Atlas().NumRegMaps(), 6);
  EXPECT_EQ(Map().Caption(), overview);
  EXPECT_FALSE(Map().MapImgFile().empty());
  // The next click finds the next finer map there.
  Click(MapCentre());
  EXPECT_NE(Map().Caption().find("British Isles"), std::string::npos) << Map().Caption();
}

// A message wider than the window is shown whole over several lines, and
// the status line shrinks back for the next short one.
TEST_F(ViewerTest, ShowsALongMessageWholeOnTheStatusLine) {
  viewer.Open({Sample()});
  // Built by appending: GCC 12 at -O3 warns falsely on "literal" + temporary.
  std::string missing = "/";
  missing.append(40, 'd').append("/").append(150, 'f').append(".xml");
  viewer.Open({missing, Sample()});
  viewer.Pump();
  std::string shown = viewer.StatusText();
  shown.erase(std::remove(shown.begin(), shown.end(), '\n'), shown.end());
  EXPECT_NE(shown.find(std::string(150, 'f') + ".xml"), std::string::npos) << viewer.StatusText();
  EXPECT_GE(Map().Height(), 300);  // the map keeps most of the window
  EXPECT_LT(Map().Height(), 600 - 33 - kStatusHeight);
  viewer.Key(TViewerKey::ToggleLandmarks);  // a short message
  EXPECT_EQ(Map().Height(), 600 - 33 - kStatusHeight);
}

}  // namespace
}  // namespace marovia::geoview::test

namespace marovia::geoview::test {
namespace {

// Every kind of map in the viewer, through its atlas control: a calibration
// file with each image format (the large TIFF through its pyramid, as the
// geoview program takes it), and each other program's format after an
// import. The view centred on the north-west quadrant shows its red.
TEST(ViewerMapKinds, EveryKindOpensInTheAtlasAndShowsItsPixels) {
  const marovia::test::TempDir dir;
  ::setenv("XDG_CACHE_HOME", dir.File("cache").c_str(), 1);
  for (const marovia::test::TMapKind& k : marovia::test::WriteMapKinds(dir)) {
    SCOPED_TRACE(k.Name);
    std::string calibration = k.File;
    if (k.Imported) {
      calibration = dir.File(k.Name + "_imported.xml");
      const TImportedMap imported = ImportMap(k.File);
      SaveCalibrationAsXML(calibration, k.Name, imported.Calibration);
    }
    TViewer viewer(400, 300);
    viewer.Map().SetMaxMapPixels(kMaxTiledMapPixels);
    ASSERT_EQ(viewer.Open({calibration}), 1);
    EXPECT_EQ(viewer.Map().MapImageTiled(), k.Large);
    ASSERT_TRUE(viewer.CenterOn(47.5, 8.75, 0.5));
    const TGeoMap& map = viewer.Map();
    const uint32_t p = map.ComposedView().ScanLine(map.Height() / 2)[map.Width() / 2];
    EXPECT_GT(p >> 16 & 0xFF, 200u);
    EXPECT_LT(p >> 8 & 0xFF, 60u);
    EXPECT_EQ(viewer.Atlas().Index()[0].Border.empty(), !k.Border);
  }
}

// Track files given beside the maps are told from maps by their kind, and
// drawn over whatever map is shown; one that cannot be read is reported.
TEST_F(ViewerTest, TakesTrackFilesAsLayersOverTheMaps) {
  const marovia::test::TempDir dir;
  const std::string gpx =
      dir.Write("walk.gpx",
                "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
                "<trkpt lat=\"47.3\" lon=\"8.5\"/><trkpt lat=\"47.4\" lon=\"8.6\"/>"
                "</trkseg></trk></gpx>");
  const std::string json =
      dir.Write("area.json", "{\"type\": \"FeatureCollection\", \"features\": []}");
  struct Case {
    std::string Path;
    bool Track;
  } cases[] = {{gpx, true},
               {json, true},
               {Sample(), false},
               {Sample("alps_eqc.xml"), false},
               {dir.File("notes.txt"), false}};
  for (const Case& c : cases) EXPECT_EQ(c.Track, TViewer::IsTrackFile(c.Path)) << c.Path;

  viewer.Open({Sample()});
  messages.clear();
  EXPECT_TRUE(viewer.AddTrackFile(gpx));
  EXPECT_EQ(1, Map().OverlayLayerCount());
  EXPECT_FALSE(viewer.AddTrackFile(dir.Write("bad.gpx", "<gpx><trk>")));
  EXPECT_TRUE(Said("bad.gpx"));
  EXPECT_FALSE(viewer.AddDatabase(dir.File("none/places")));
  EXPECT_EQ(1, Map().OverlayLayerCount());
}

}  // namespace
}  // namespace marovia::geoview::test
