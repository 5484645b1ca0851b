// geomap tiles end to end: GDAL reads the MBTiles file and its gdal2tiles
// agrees with the tiles of a map, a browser shows the page, parts and
// resumed runs give the bytes of one run, bad input is named.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numbers>

#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_calibration.h"
#include "marovia/geomap/web_tiles.h"
#include "marovia/platform/imageprobe.h"
#include "png_reader.h"
#include "run_tool.h"
#include "support/file_size_limit.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

namespace marovia::geomaptool::test {
namespace {

namespace fs = std::filesystem;
using marovia::test::RunCommand;
using marovia::test::TempDir;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file below Root by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& Root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(Root))
    if (e.is_regular_file()) files[fs::relative(e.path(), Root).string()] = ReadAll(e.path());
  return files;
}

// The tiles of a tree, "z/x/y.png".
std::set<std::string> TileNames(const fs::path& Root) {
  std::set<std::string> names;
  for (const auto& [name, bytes] : Tree(Root))
    if (name.ends_with(".png") && name.find("leaflet") == std::string::npos) names.insert(name);
  return names;
}

double TileLon(double X, int Z) {
  return X / std::ldexp(1.0, Z) * 360 - 180;
}
double TileLat(double Y, int Z) {
  return std::atan(std::sinh(std::numbers::pi * (1 - 2 * Y / std::ldexp(1.0, Z)))) * 180 /
         std::numbers::pi;
}

TEST(TilesCommand, AgreesWithGdal2tilesAndGdalReadsTheMBTiles) {
  TempDir dir;
  // The Alps map as a GeoTIFF: its corners from its own calibration.
  TCalibData data;
  TCalibModel model = cmUndefined;
  ASSERT_TRUE(ParseCalibData(Sample("alps_eqc.xml"), "", data, model));
  int64_t w = 0, h = 0;
  ASSERT_TRUE(ReadImageDimensions(Sample("alps_eqc.jpg"), w, h));
  TMapCalibration calib(model, data, static_cast<int32_t>(w), static_cast<int32_t>(h));
  ASSERT_TRUE(calib.Fit());
  const TPixelPosition ul = calib.PixelToGeo(0, 0), lr = calib.PixelToGeo(w, h);
  char ullr[200];
  std::snprintf(ullr, sizeof ullr, "%.9f %.9f %.9f %.9f", ul.Longit, ul.Latit, lr.Longit, lr.Latit);
  const auto peer =
      RunCommand("gdal_translate -q -of GTiff -a_srs EPSG:4326 -a_ullr " + std::string(ullr) +
                 " '" + Sample("alps_eqc.jpg") + "' '" + dir.File("alps.tif") +
                 "' && gdal2tiles.py -q --xyz -r average " + "-z 4-7 --processes=2 '" +
                 dir.File("alps.tif") + "' '" + dir.File("peer") + "'");
  ASSERT_EQ(peer.Status, 0) << peer.Err;
  // Levels at which the map is reduced: where gdal2tiles enlarges it, it
  // reads whole pixels of its own warped grid, shifting its tiles by up to
  // a pixel.
  const TResult r =
      RunTool({"tiles", Sample("alps_eqc.xml"), "-o", dir.File("mine"), "--zoom", "4-7"});
  ASSERT_EQ(r.Status, kExitOk) << r.Err;
  const auto mine = TileNames(dir.File("mine"));
  ASSERT_EQ(mine, TileNames(dir.File("peer")));
  int compared = 0;
  for (const std::string& name : mine) {
    int z = 0, x = 0, y = 0;
    ASSERT_EQ(std::sscanf(name.c_str(), "%d/%d/%d.png", &z, &x, &y), 3);
    if (!(TileLon(x, z) > ul.Longit && TileLon(x + 1, z) < lr.Longit && TileLat(y, z) < ul.Latit &&
          TileLat(y + 1, z) > lr.Latit))
      continue;  // only tiles wholly inside the map
    TRgbImage a, b;
    ASSERT_TRUE(ReadPng(dir.File("mine/" + name), a));
    ASSERT_TRUE(ReadPng(dir.File("peer/" + name), b));
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (size_t i = c; i < a.Rgb.size(); i += 3) sum += std::abs(a.Rgb[i] - b.Rgb[i]);
      EXPECT_LT(sum / (a.Rgb.size() / 3), 3.0) << name << " channel " << c;
    }
    ++compared;
  }
  EXPECT_GE(compared, 5);

  ASSERT_EQ(
      RunTool({"tiles", Sample("alps_eqc.xml"), "-o", dir.File("alps.mbtiles"), "--zoom", "5-6"})
          .Status,
      kExitOk);
  const auto info = RunCommand("gdalinfo '" + dir.File("alps.mbtiles") + "'");
  EXPECT_EQ(info.Status, 0) << info.Err;
  EXPECT_NE(info.Out.find("Driver: MBTiles"), std::string::npos) << info.Out;
  EXPECT_NE(info.Out.find("ZOOM_LEVEL=6"), std::string::npos) << info.Out;
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(s);
  return ntohs(a.sin_port);
}

// A screenshot of the page at view "#z/lat/lon", Width x Height.
TRgbImage Screenshot(const fs::path& Site, const std::string& View, int Width, int Height) {
  TempDir shots;
  const std::string port = std::to_string(FreePort());
  const std::string png = shots.File("shot.png");
  const auto r = RunCommand(
      "python3 -m http.server " + port + " --bind 127.0.0.1 --directory '" + Site.string() +
      "' > /dev/null 2>&1 & server=$!; "
      "for i in 1 2 3 4 5 6 7 8 9 10; do python3 -c \"import socket; "
      "socket.create_connection(('127.0.0.1', " +
      port +
      "))\" 2>/dev/null && break; sleep 0.3; done; "
      "chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --window-size=" +
      std::to_string(Width) + "," + std::to_string(Height) +
      " --virtual-time-budget=10000 --screenshot='" + png + "' 'http://127.0.0.1:" + port +
      "/index.html#" + View + "'; status=$?; kill $server; exit $status");
  EXPECT_EQ(r.Status, 0) << r.Err;
  TRgbImage image;
  EXPECT_TRUE(ReadPng(png, image)) << r.Err;
  return image;
}

// The screen pixel of a position in a Web Mercator view centred on
// (Lat0, Lon0) at level Z, on a Width x Height screen.
std::pair<int, int> ScreenOf(double Lat, double Lon, int Z, double Lat0, double Lon0, int Width,
                             int Height) {
  const auto x = [&](double lon) { return (lon + 180) / 360 * 256 * std::ldexp(1.0, Z); };
  const auto y = [&](double lat) {
    const double phi = lat * std::numbers::pi / 180;
    return (1 - std::asinh(std::tan(phi)) / std::numbers::pi) / 2 * 256 * std::ldexp(1.0, Z);
  };
  return {static_cast<int>(std::lround(Width / 2.0 + x(Lon) - x(Lon0))),
          static_cast<int>(std::lround(Height / 2.0 + y(Lat) - y(Lat0)))};
}

enum class TColour { Sea, Land, Marker, Other };

// The colour most of a 9 x 9 block around (X, Y) has.
TColour ColourAround(const TRgbImage& Image, int X, int Y) {
  int sea = 0, land = 0, marker = 0;
  for (int dy = -4; dy <= 4; ++dy)
    for (int dx = -4; dx <= 4; ++dx) {
      const auto p =
          Image.At(std::clamp(X + dx, 0, Image.Width - 1), std::clamp(Y + dy, 0, Image.Height - 1));
      if (p.R > 200 && p.B > 200 && p.G < 80)
        ++marker;
      else if (p.B > p.R + 25)
        ++sea;
      else if (p.R > p.B + 25 && p.G > p.B)
        ++land;
    }
  if (marker > 20) return TColour::Marker;
  if (sea > 40) return TColour::Sea;
  if (land > 40) return TColour::Land;
  return TColour::Other;
}

TEST(TilesCommand, BrowserShowsLandSeaAndTheMarkerAtZurich) {
  TempDir dir;
  // The sample atlas with a landmark at Zurich.
  fs::create_directory(dir.File("atlas"));
  for (const auto& e : fs::directory_iterator(Sample()))
    fs::copy_file(e.path(), dir.Path() / "atlas" / e.path().filename());
  std::string zurich = ReadAll(Sample("landmarks.xml"));
  const std::string line =
      "<landmark lat=\"47.3769\" long=\"8.5417\" alti=\"408\" class=\"1\" usertag=\"999\" "
      "element=\"square\" size=\"4\" colorfg=\"00000000\" colorbg=\"000000FF\" transp=\"FALSE\" "
      "dir=\"0\" leng=\"0\" id=\"zurich\" date=\"20250601120000\" captext=\"Zurich\" "
      "capsize=\"9\" capfnm=\"Arial\" capfst=\"1000\" capfgcol=\"00000000\" "
      "capbgcol=\"00FFFFFF\" captransp=\"TRUE\" capdir=\"0\" capdx=\"0\" capdy=\"7\" "
      "caphal=\"2\" capval=\"0\" />\n";
  zurich.insert(zurich.find("<landmark "), line);
  std::ofstream(dir.Path() / "atlas" / "landmarks.xml", std::ios::binary) << zurich;
  const TResult r = RunTool({"tiles", dir.File("atlas"), "-o", dir.File("site"), "--zoom", "3-8"});
  ASSERT_EQ(r.Status, kExitOk) << r.Err;
  const std::string page = ReadAll(dir.Path() / "site" / "index.html");
  EXPECT_NE(page.find("\"Zurich\""), std::string::npos);
  EXPECT_EQ(page.find("http"), std::string::npos) << "the page fetches nothing";
  ASSERT_TRUE(fs::exists(dir.Path() / "site" / "leaflet" / "leaflet.js"));

  const int w = 800, h = 600;
  const TRgbImage europe = Screenshot(dir.Path() / "site", "5/45/10", w, h);
  ASSERT_EQ(europe.Width, w);
  struct Place {
    const char* Name;
    double Lat, Lon;
    TColour Colour;
  } places[] = {
      {"Balearic Sea", 39.5, 4.0, TColour::Sea},   {"Ionian Sea", 37.0, 18.5, TColour::Sea},
      {"Bay of Biscay", 45.5, -4.0, TColour::Sea}, {"central France", 46.5, 2.5, TColour::Land},
      {"Bavaria", 48.8, 11.5, TColour::Land},      {"Castile", 40.0, -4.5, TColour::Land}};
  for (const Place& p : places) {
    const auto [x, y] = ScreenOf(p.Lat, p.Lon, 5, 45, 10, w, h);
    EXPECT_EQ(ColourAround(europe, x, y), p.Colour) << p.Name << " at " << x << "," << y;
  }
  const TRgbImage zurichView = Screenshot(dir.Path() / "site", "8/47.3769/8.5417", w, h);
  EXPECT_EQ(ColourAround(zurichView, w / 2, h / 2), TColour::Marker);
  // Lake Constance is water on the Zurich map.
  const auto [lx, ly] = ScreenOf(47.60, 9.40, 8, 47.3769, 8.5417, w, h);
  const auto lake = zurichView.At(lx, ly);
  EXPECT_GT(lake.B, lake.R + 25) << lx << "," << ly;
}

int WrittenCount(const std::string& Out) {
  return std::atoi(Out.c_str());
}

TEST(TilesCommand, PartsAndResumedRunsGiveTheBytesOfOneRun) {
  TempDir dir;
  const fs::path one = dir.Path() / "one", parts = dir.Path() / "parts";
  const TResult whole = RunTool({"tiles", Sample(), "-o", one.string(), "--zoom", "2-8"});
  ASSERT_EQ(whole.Status, kExitOk) << whole.Err;
  int sum = 0;
  for (const char* part : {"1/3", "2/3", "3/3"}) {
    const TResult r = RunTool(
        {"tiles", Sample(), "-o", parts.string(), "--zoom", "2-8", "--part", part, "--jobs", "1"});
    ASSERT_EQ(r.Status, kExitOk) << r.Err;
    sum += WrittenCount(r.Out);
  }
  EXPECT_EQ(sum, WrittenCount(whole.Out)) << "parts overlap or miss tiles";
  const auto expected = Tree(one);
  ASSERT_GT(expected.size(), 100u);
  // Beside the tiles, each part's manifest.
  auto withoutManifests = [](std::map<std::string, std::string> Files) {
    std::erase_if(Files, [](const auto& f) { return f.first.ends_with(".manifest"); });
    return Files;
  };
  EXPECT_EQ(Tree(parts).size(), expected.size() + 3);
  EXPECT_TRUE(withoutManifests(Tree(parts)) == expected);

  // A lost tile and one cut short are made again; the others are kept.
  const auto tiles = TileNames(parts);
  const std::string lost = *tiles.begin(), cut = *tiles.rbegin();
  fs::remove(parts / lost);
  fs::resize_file(parts / cut, 100);
  const TResult resumed =
      RunTool({"tiles", Sample(), "-o", parts.string(), "--zoom", "2-8", "--resume"});
  ASSERT_EQ(resumed.Status, kExitOk) << resumed.Err;
  EXPECT_EQ(WrittenCount(resumed.Out), 2) << resumed.Out;
  EXPECT_TRUE(withoutManifests(Tree(parts)) == expected);
}

TEST(TilesCommand, BadInputIsNamedAndTheRestDone) {
  TempDir dir;
  fs::create_directory(dir.File("atlas"));
  for (const char* f : {"alps_eqc.xml", "alps_eqc.jpg", "zurich_utm32.jpg"})
    fs::copy_file(Sample(f), dir.Path() / "atlas" / f);
  // The Zurich map with one calibration point: no usable calibration.
  std::string zurich = ReadAll(Sample("zurich_utm32.xml"));
  const size_t list = zurich.find("<calquads npoints=\"12\">");
  ASSERT_NE(list, std::string::npos);
  const size_t first = zurich.find('[', list), end = zurich.find("</calquads>");
  zurich.replace(first, end - first, "[5200000.00000,400000.00000,80,1120]\n");
  zurich.replace(list, 24, "<calquads npoints=\"1\">");
  std::ofstream(dir.Path() / "atlas" / "zurich_utm32.xml", std::ios::binary) << zurich;
  const TResult r = RunTool({"tiles", dir.File("atlas"), "-o", dir.File("out"), "--zoom", "6"});
  EXPECT_EQ(r.Status, kExitBadInput);
  EXPECT_NE(r.Err.find("zurich_utm32.xml: no usable calibration"), std::string::npos) << r.Err;
  EXPECT_EQ(Lines(r.Err), 1) << r.Err;
  EXPECT_FALSE(TileNames(dir.File("out")).empty());

  const struct {
    std::vector<std::string> Args;
    int Status;
    const char* Message;
  } rows[] = {
      {{"--zoom", "0-18"}, kExitUsage, "more than 10 million"},
      {{"--zoom", "9-3"}, kExitUsage, "--zoom '9-3'"},
      {{"--part", "4/3"}, kExitUsage, "--part '4/3'"},
      {{"--format", "gif"}, kExitUsage, "--format 'gif'"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> args = {"tiles", Sample(), "-o", dir.File("x")};
    args.insert(args.end(), row.Args.begin(), row.Args.end());
    const TResult bad = RunTool(args);
    EXPECT_EQ(bad.Status, row.Status) << row.Message;
    EXPECT_NE(bad.Err.find(row.Message), std::string::npos) << bad.Err;
  }
  const TResult pm = RunTool({"tiles", Sample(), "-o", dir.File("x.pmtiles"), "--resume"});
  EXPECT_EQ(pm.Status, kExitUsage);
  EXPECT_FALSE(fs::exists(dir.File("x")));
}

// The way a new user meets it: a map exported as a GeoTIFF, imported again,
// and made into tiles. The tiles once refused a TIFF image below the
// in-memory limit (it went to the BMP reader); the GeoTIFF is taken as it
// is too, imported on the fly.
TEST(TilesCommand, AGeoTiffExportedAndImportedAgainMakesTiles) {
  TempDir dir;
  ASSERT_EQ(RunTool({"export", Sample("switzerland_eqc.xml"), "--to", "geotiff", "-o",
                     dir.File("sw.tif")})
                .Status,
            kExitOk);
  ASSERT_EQ(RunTool({"import", dir.File("sw.tif"), "-o", dir.File("sw.xml")}).Status, kExitOk);
  for (const std::string& map : {dir.File("sw.xml"), dir.File("sw.tif")}) {
    const TResult r =
        RunTool({"tiles", map, "-o", dir.File("t_" + fs::path(map).extension().string().substr(1)),
                 "--zoom", "6-8"});
    EXPECT_EQ(r.Status, kExitOk) << map << r.Err;
    EXPECT_GT(WrittenCount(r.Out), 3) << r.Out;
  }
}

TEST(TilesCommand, AFullDiskStopsWithEveryWrittenTileWhole) {
  TempDir dir;
  TResult r;
  {
    // Writes that would make a file larger than 40 KB fail, as on a full
    // disk: the larger tiles cannot be written.
    marovia::test::FileSizeLimit limit(40 * 1024);
    ASSERT_TRUE(limit.Active());
    r = RunTool({"tiles", Sample(), "-o", dir.File("out"), "--zoom", "4-7", "--jobs", "1"});
  }
  EXPECT_EQ(r.Status, kExitIo);
  EXPECT_NE(r.Err.find("every tile written is whole"), std::string::npos) << r.Err;
  int whole = 0;
  for (const auto& [name, bytes] : Tree(dir.File("out"))) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << "left behind: " << name;
    EXPECT_TRUE(IsWholeTileImage({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}))
        << name;
    ++whole;
  }
  EXPECT_GT(whole, 0);
}

}  // namespace
}  // namespace marovia::geomaptool::test
