// --track and --db of the drawing commands, end to end: the plate carree
// test map (100 pixels a degree, 48 N 8 E at the top left, four coloured
// quadrants) rendered whole with a track, a GeoJSON shape and an item
// database on it; the PNG read back with libpng at the items' known
// pixels. The tiles page carries the tracks and the database as GeoJSON.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "marovia/geodb/geodb.h"
#include "png_reader.h"
#include "run_tool.h"
#include "support/map_kinds.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

bool Near(TRgbImage::TPixel P, int R, int G, int B) {
  return std::abs(P.R - R) <= 12 && std::abs(P.G - G) <= 12 && std::abs(P.B - B) <= 12;
}

constexpr const char* kGpx = R"(<?xml version="1.0"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">
<wpt lat="46.5" lon="8.5"><name>Camp</name></wpt>
<trk><name>Ridge &lt;/script&gt;</name><trkseg>
<trkpt lat="47.5" lon="8.2"/><trkpt lat="47.5" lon="10.8"/>
</trkseg></trk></gpx>
)";

constexpr const char* kGeoJson = R"({"type": "FeatureCollection", "features": [
{"type": "Feature", "properties": {"stroke": "#00ffff", "fill-opacity": 0},
 "geometry": {"type": "LineString", "coordinates": [[9, 47.2], [9, 46.3]]}}]})";

class OverlayCliTest : public ::testing::Test {
 protected:
  // The maps are made once for all the tests.
  static void SetUpTestSuite() {
    maps_ = new marovia::test::TempDir;
    map_ = new std::string(marovia::test::WriteMapKinds(*maps_)[0].File);
  }
  static void TearDownTestSuite() {
    delete map_;
    delete maps_;
  }
  void SetUp() override {
    gpx_ = dir_.Write("ridge.gpx", kGpx);
    geojson_ = dir_.Write("line.geojson", kGeoJson);
    TGeoDB db(nullptr);
    db.SetDBName(dir_.File("places"));
    db.AddTown("Inn", 45000, 0, TSCoords{46.5f, 10.5f}, 0, 1, 0);  // pixel (250, 150)
    db.SetDBName("");
  }
  TRgbImage Render(std::vector<std::string> Extra, int ExpectedStatus = kExitOk) {
    std::vector<std::string> args = {
        "render",  *map_,   "--center", "47,9.5", "--size",
        "300x200", "--mag", "1",        "-o",     dir_.File("out.png")};
    args.insert(args.end(), Extra.begin(), Extra.end());
    const TResult r = RunTool(args);
    EXPECT_EQ(ExpectedStatus, r.Status) << r.Err;
    err_ = r.Err;
    TRgbImage image;
    EXPECT_TRUE(ReadPng(dir_.File("out.png"), image));
    return image;
  }
  static inline marovia::test::TempDir* maps_ = nullptr;
  static inline std::string* map_ = nullptr;
  marovia::test::TempDir dir_;
  std::string gpx_, geojson_, err_;
};

TEST_F(OverlayCliTest, DrawsEveryTrackFileAndDatabaseWhereItsPositionsLie) {
  const TRgbImage plain = Render({});
  const TRgbImage drawn =
      Render({"--track", gpx_, "--track", geojson_, "--db", dir_.File("places")});
  struct Probe {
    const char* What;
    int X, Y;
    int R, G, B;
  } probes[] = {
      {"the track along 47.5 N", 100, 50, 0xD0, 0x00, 0xD0},
      {"the track further on", 250, 50, 0xD0, 0x00, 0xD0},
      {"the waypoint", 50, 150, 0xC0, 0x00, 0x00},
      {"the GeoJSON line in its own colour", 100, 100, 0x00, 0xFF, 0xFF},
      {"the database's town", 250, 150, 0x80, 0x00, 0x00},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(p.What);
    EXPECT_TRUE(Near(drawn.At(p.X, p.Y), p.R, p.G, p.B));
    EXPECT_FALSE(Near(plain.At(p.X, p.Y), p.R, p.G, p.B));
  }
  // Off every item the map shows through unchanged.
  EXPECT_TRUE(
      Near(drawn.At(150, 180), plain.At(150, 180).R, plain.At(150, 180).G, plain.At(150, 180).B));
}

TEST_F(OverlayCliTest, ReportsFilesItCannotReadAndDrawsTheRest) {
  const std::string broken = dir_.Write("broken.gpx", "<gpx><trk><trkseg><trkpt lat=\"x\"");
  const TRgbImage drawn = Render(
      {"--track", broken, "--track", gpx_, "--track", dir_.File("missing.gpx")}, kExitBadInput);
  EXPECT_NE(std::string::npos, err_.find("broken.gpx")) << err_;
  EXPECT_NE(std::string::npos, err_.find("missing.gpx")) << err_;
  EXPECT_TRUE(Near(drawn.At(100, 50), 0xD0, 0x00, 0xD0));
}

TEST_F(OverlayCliTest, TheTilesPageCarriesTheTracksAsGeoJson) {
  const std::string out = dir_.File("tiles");
  const TResult r = RunTool(
      {"tiles", *map_, "-o", out, "--zoom", "6", "--track", gpx_, "--db", dir_.File("places")});
  ASSERT_EQ(kExitOk, r.Status) << r.Err;
  std::ifstream in(out + "/index.html");
  std::stringstream page;
  page << in.rdbuf();
  const std::string html = page.str();
  const std::size_t at = html.find("const TRACKS = ");
  ASSERT_NE(std::string::npos, at);
  const std::string tracks = html.substr(at, html.find("const map = L.map", at) - at);
  EXPECT_NE(std::string::npos, tracks.find("\"LineString\""));
  EXPECT_NE(std::string::npos, tracks.find("[8.2,47.5]")) << tracks;
  EXPECT_NE(std::string::npos, tracks.find("\"Camp\""));
  EXPECT_NE(std::string::npos, tracks.find("\"Inn\""));  // the database's town
  // A name cannot end the page's script early.
  EXPECT_EQ(std::string::npos, tracks.find("</script>"));
  EXPECT_NE(std::string::npos, tracks.find("Ridge <\\/script>"));
}

}  // namespace
}  // namespace marovia::geomaptool::test
