// Map sources: what they read (the calibration once with its border, the
// image's size from its header) against the map control's own reading of the
// same files, the pixels decoded once and only when asked, the size limit,
// and the control taking a source whole or not at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/map_import.h"
#include "marovia/geomap/map_source.h"
#include "marovia/platform/files.h"
#include "marovia/platform/image_pyramid.h"
#include "marovia/platform/tiffimage.h"
#include "support/map_kinds.h"
#include "support/temp_dir.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;

std::string Sample(const std::string& Name) {
  return std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name;
}

std::string Bytes(const std::string& File) {
  std::ifstream in(File, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The Alps calibration naming another image, in Dir.
std::string AlpsCalibrationOf(const test::TempDir& Dir, const std::string& Image) {
  std::string xml = Bytes(Sample("alps_eqc.xml"));
  xml.replace(xml.find("alps_eqc.jpg"), 12, Image);
  return Dir.Write(Image + ".xml", xml);
}

// The control's own calibration reader and image loader, the image looked
// for beside the calibration file.
void LoadIntoControl(TGeoMap& Map, const std::string& Calibration) {
  const std::string dir = ExtractFilePath(Calibration);
  Map.OnMapImageRequest = [dir](TObject*, std::string& F) { F = dir + ExtractFileName(F); };
  Map.LoadCalDataFromXML(Calibration, "");
}

// A view of the map centred on the image at magnification 0.5.
void DrawView(TGeoMap& Map) {
  Map.SetBounds(0, 0, 200, 150);
  Map.SetFrameStyle(fsNone);
  Map.SetMagnification(0.5);
  Map.SetTopLeft({Map.MapImgWidth() / 2 - 200, Map.MapImgHeight() / 2 - 150});
  Map.SetSuppressPaint(false);
}

bool SamePixels(const TBitmap& A, const TBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height()) return false;
  for (int y = 0; y < A.Height(); ++y)
    if (!std::equal(A.ScanLine(y), A.ScanLine(y) + A.Width(), B.ScanLine(y))) return false;
  return true;
}

TEST(MapSource, AgreesWithTheControlsOwnReadingOfEverySampleMap) {
  for (const char* name : {"alps_eqc", "british_isles_albers", "europe_lcc", "iberia_stereo",
                           "overview_miller", "switzerland_eqc", "zurich_utm32"}) {
    SCOPED_TRACE(name);
    const auto source = TMapSource::Open(Sample(std::string(name) + ".xml"));
    TGeoMap written(nullptr), taken(nullptr);
    written.SetSuppressPaint(true);
    taken.SetSuppressPaint(true);
    LoadIntoControl(written, Sample(std::string(name) + ".xml"));
    taken.SetMapSource(source);
    EXPECT_EQ(source->Width(), written.MapImgWidth());
    EXPECT_EQ(source->Height(), written.MapImgHeight());
    EXPECT_EQ(taken.CalibModel(), written.CalibModel());
    EXPECT_EQ(taken.CalibData().Corners, written.CalibData().Corners);
    EXPECT_EQ(taken.CalibData().Resolution, written.CalibData().Resolution);
    DrawView(written);
    DrawView(taken);
    EXPECT_TRUE(SamePixels(written.ComposedView(), taken.ComposedView()));
  }
}

TEST(MapSource, OpeningReadsTheHeaderOnlyAndPixelsDecodeOnceWhenAsked) {
  test::TempDir dir;
  // A JPEG cut after its frame header: its size is known, its pixels are not.
  dir.Write("cut.jpg", Bytes(Sample("alps_eqc.jpg")).substr(0, 2000));
  const auto cut = TMapSource::Open(AlpsCalibrationOf(dir, "cut.jpg"));
  EXPECT_EQ(cut->Width(), 1600);
  EXPECT_TRUE(cut->Converts());
  EXPECT_ANY_THROW(cut->Bitmap());
  EXPECT_ANY_THROW(cut->Bitmap());  // a failure is not kept as a success
  // A whole one decodes once for every thread that asks at once.
  const auto alps = TMapSource::Open(Sample("alps_eqc.xml"));
  std::vector<std::shared_ptr<const TImagePyramid>> got(6);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < got.size(); ++i) threads.emplace_back([&, i] { got[i] = alps->Levels(); });
  for (std::thread& t : threads) t.join();
  for (const auto& p : got) EXPECT_EQ(p, got[0]);
  EXPECT_EQ(got[0]->Width(), 1600);
}

TEST(MapSource, RefusesWhatCannotBeAMapAndNamesIt) {
  test::TempDir dir;
  dir.Write("noimage.xml", Bytes(Sample("alps_eqc.xml")));
  dir.Write("landmarks.xml", Bytes(Sample("landmarks.xml")));
  struct TCase {
    std::string File;
    const char* Says;
  } cases[] = {{dir.File("noimage.xml"), "alps_eqc.jpg not found"},
               {dir.File("landmarks.xml"), "no calibration data set"},
               {dir.File("none.xml"), "none.xml"}};
  for (const TCase& c : cases) {
    try {
      TMapSource::Open(c.File);
      ADD_FAILURE() << c.File;
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.Says), std::string::npos) << e.what();
    }
  }
}

TEST(MapSource, LargeImagesGoThroughThePyramidUpToTheLimit) {
  test::TempDir dir;
  std::vector<test::TMapKind> kinds = test::WriteMapKinds(dir);
  const auto large = std::find_if(kinds.begin(), kinds.end(), [](auto& k) { return k.Large; });
  ASSERT_NE(large, kinds.end());
  TMapSourceOptions options;
  options.PyramidCacheDir = dir.File("cache");
  const auto source = TMapSource::Open(large->File, "", options);
  EXPECT_TRUE(source->Tiled());
  EXPECT_ANY_THROW(source->Bitmap());
  EXPECT_EQ(source->Levels()->Width(), 2100);
  // Every kind opens, the imported ones without a calibration file.
  for (const test::TMapKind& k : kinds) {
    const auto s = OpenMapFile(k.File, options);
    EXPECT_TRUE(s->Converts()) << k.Name;
    EXPECT_EQ(s->CalibrationFile().empty(), k.Imported) << k.Name;
    EXPECT_EQ(s->Calibration().Border().size() >= 3, k.Border) << k.Name;
  }
  options.MaxMapPixels = kMaxMapPixels;
  try {
    TMapSource::Open(large->File, "", options);
    ADD_FAILURE();
  } catch (const EZYLGeoMapError& e) {
    EXPECT_NE(std::string(e.what()).find("2100 x 1500"), std::string::npos) << e.what();
  }
}

// A six-band scene made by another program, shown with the bands a host
// chose: the source's pixels are the TIFF decoder's under that display, and a
// display that cannot be used is refused when the source opens.
TEST(MapSource, ShowsTheSamplesAsTheHostChose) {
  test::TempDir dir;
  const std::string scene = std::string(MAROVIA_TEST_DATA_DIR) + "/codecs/samples/L7_ETMs.tif";
  fs::copy_file(scene, dir.File("scene.tif"));
  const std::string cal = dir.File("scene.xml");
  SaveCalibrationAsXML(cal, "scene", test::KindCalibration(349, 352, "scene.tif"));
  const auto decoded = [&](const TSampleDisplay& Display) {
    TTiffImage tiff;
    tiff.SetSampleDisplay(Display);
    tiff.LoadFromFile(scene);
    auto b = std::make_unique<TBitmap>();
    b->Assign(tiff);
    return b;
  };
  TMapSourceOptions options;
  options.SampleDisplay.Bands = {4, 3, 2};
  options.SampleDisplay.Stretch = skMinMax;
  const auto chosen = TMapSource::Open(cal, "", options);
  EXPECT_TRUE(SamePixels(*chosen->Bitmap(), *decoded(options.SampleDisplay)));
  EXPECT_FALSE(SamePixels(*chosen->Bitmap(), *decoded({})));
  options.SampleDisplay.Bands = {1, 2};
  EXPECT_THROW(TMapSource::Open(cal, "", options), EZYLGeoMapError);
}

TEST(MapSource, TheControlTakesASourceWholeOrNotAtAll) {
  test::TempDir dir;
  dir.Write("cut.jpg", Bytes(Sample("alps_eqc.jpg")).substr(0, 2000));
  const std::string cut = AlpsCalibrationOf(dir, "cut.jpg");
  TGeoMap map(nullptr);
  map.SetSuppressPaint(true);
  map.SetMapSource(TMapSource::Open(Sample("zurich_utm32.xml")));
  const TCalibData before = map.CalibData();
  const std::string image = map.MapImgFile();
  EXPECT_ANY_THROW(map.SetMapSource(TMapSource::Open(cut)));
  EXPECT_EQ(map.CalibData(), before);
  EXPECT_EQ(map.MapImgFile(), image);
  EXPECT_EQ(map.CalibModel(), cmUTM);
}

}  // namespace
}  // namespace marovia
