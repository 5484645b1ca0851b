// geomap serve's API over real HTTP: what the page's fit answers is what
// geomap info prints for the file the page saves, and that file is the one
// geomap calibrate writes from the same points; the preview shows the scan
// only once it is calibrated; annotations go out and come back.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "marovia/geomap/map_source.h"
#include "marovia/geomap/web_tiles.h"
#include "run_tool.h"
#include "serve_fixture.h"

namespace marovia::test {
namespace {

using geomaptool::test::RunTool;

// Eight points of the sample map: pixels spread over it, their positions by
// the sample's calibration, then the pixels moved a little as a hand
// would, so every model leaves residuals.
std::string PointLines() {
  const auto map = TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.xml");
  const int pixels[8][4] = {{120, 90, 2, -1},   {1480, 110, -1, 1},   {800, 580, 0, 2},
                            {150, 1050, 1, 0},  {1500, 1020, -2, -1}, {620, 300, 1, 1},
                            {1100, 820, -1, 0}, {400, 700, 0, -2}};
  // Positions as a person types them, to five decimals: what geomap
  // calibrate is given and what the file keeps of most models.
  std::ostringstream s;
  s << std::fixed;
  s.precision(5);
  for (const auto& p : pixels) {
    const TPixelPosition at = map->Calibration().PixelToGeo(p[0], p[1]);
    s << p[0] + p[2] << " " << p[1] + p[3] << " " << at.Latit << " " << at.Longit << "\n";
  }
  return s.str();
}

// The residual rows of geomap info: # lat lon x y dx dy m, left out dx dy m.
std::vector<std::vector<double>> InfoRows(const std::string& Info) {
  std::vector<std::vector<double>> rows;
  std::istringstream in(Info);
  bool table = false;
  for (std::string line; std::getline(in, line);) {
    if (line.find("left out:") != std::string::npos) {
      table = true;
      continue;
    }
    if (!table) continue;
    std::istringstream fields(line);
    std::vector<double> row;
    for (double v; fields >> v;) row.push_back(v);
    if (row.size() == 11) rows.push_back(row);
  }
  return rows;
}

struct TModelCase {
  const char* Settings;       // the body's setting lines
  const char* CalibrateArgs;  // the same for geomap calibrate, blank separated
};

const TModelCase kModels[] = {
    {"model equirect\n", "-m equirect"},
    {"model biquadraticpn\n", "-m biquadraticpn"},
    {"model conicconformal\n", "-m conicconformal"},
    {"model millercylindrical\n", "-m millercylindrical"},
    {"model thinplate\nsmoothing 0.5\n", "-m thinplate --smoothing 0.5"},
    {"model projected\ncrs EPSG:3035\norder 2\n", "-m projected --crs EPSG:3035 --order 2"},
};

TEST(ServeApi, FitAnswersInfoResidualsAndSaveWritesWhatCalibrateWrites) {
  TServeFixture serve;
  const std::string points = PointLines();
  TempDir other;
  for (const TModelCase& c : kModels) {
    SCOPED_TRACE(c.Settings);
    const THttpReply fit = serve.Post("/api/fit?scan=0", c.Settings + points);
    ASSERT_EQ(fit.Status, 200) << fit.Body;
    const THttpReply saved = serve.Post("/api/calibration?scan=0", c.Settings + points);
    ASSERT_EQ(saved.Status, 200) << saved.Body;

    // geomap calibrate from the same points, into a folder of its own
    // (the data set's id is the file's name, so the names are the same).
    std::vector<std::string> args = {"calibrate", other.Write("points.txt", points),
                                     "-i",        serve.Scan(),
                                     "-o",        other.File("alps.xml")};
    std::istringstream words(c.CalibrateArgs);
    for (std::string w; words >> w;) args.push_back(w);
    const auto made = RunTool(args);
    ASSERT_EQ(made.Status, 0) << made.Err;
    std::ifstream a(serve.Dir.File("scans/alps.xml"), std::ios::binary);
    std::ifstream b(other.File("alps.xml"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
              std::string(std::istreambuf_iterator<char>(b), {}));

    // The page's table against geomap info's, to the digits info prints.
    const auto info = RunTool({"info", serve.Dir.File("scans/alps.xml")});
    const auto rows = InfoRows(info.Out);
    ASSERT_EQ(rows.size(), 8u) << info.Out;
    const std::vector<std::vector<double>> json = {
        JsonNumbers(fit.Body, "dx"),    JsonNumbers(fit.Body, "dy"),
        JsonNumbers(fit.Body, "m"),     JsonNumbers(fit.Body, "looDx"),
        JsonNumbers(fit.Body, "looDy"), JsonNumbers(fit.Body, "looM")};
    const int column[6] = {5, 6, 7, 8, 9, 10};
    const double unit[6] = {0.01, 0.01, 0.1, 0.01, 0.01, 0.1};
    for (int k = 0; k < 6; ++k) {
      ASSERT_EQ(json[k].size(), 8u) << fit.Body;
      for (size_t i = 0; i < 8; ++i)
        EXPECT_NEAR(json[k][i], rows[i][column[k]], unit[k] / 2 + 1e-9)
            << "point " << i + 1 << " column " << column[k];
    }
  }
}

TEST(ServeApi, PreviewShowsTheScanOnlyWhereAndWhenItIsCalibrated) {
  TServeFixture serve;
  const auto map = TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.xml");
  const TPixelPosition centre = map->Calibration().PixelToGeo(800, 575);
  const int z = 8;
  const std::string tile = std::to_string(z) + "/" +
                           std::to_string(int(LongitudeToTileX(centre.Longit, z))) + "/" +
                           std::to_string(int(LatitudeToTileY(centre.Latit, z))) + ".png";
  const auto opaque = [&](const THttpReply& R) {
    TTileRgba rgba;
    EXPECT_EQ(R.Status, 200);
    EXPECT_TRUE(
        DecodePngTile({reinterpret_cast<const uint8_t*>(R.Body.data()), R.Body.size()}, rgba));
    int n = 0;
    for (size_t i = 3; i < rgba.size(); i += 4) n += rgba[i] != 0;
    return n;
  };
  EXPECT_EQ(opaque(serve.Get("/tiles/preview/0/0/" + tile)), 0);
  ASSERT_EQ(serve.Post("/api/fit?scan=0", "model equirect\n" + PointLines()).Status, 200);
  EXPECT_EQ(opaque(serve.Get("/tiles/preview/0/1/" + tile)), kWebTileSize * kWebTileSize);
  // A tile on the other side of the world stays empty.
  EXPECT_EQ(opaque(serve.Get("/tiles/preview/0/1/8/3/200.png")), 0);
  // The scan's own tiles: the coarsest level is one tile, then four.
  EXPECT_EQ(serve.Get("/tiles/scan/0/0/0/0.jpg").Status, 200);
  EXPECT_EQ(serve.Get("/tiles/scan/0/0/1/0.jpg").Status, 404);
  EXPECT_EQ(serve.Get("/tiles/scan/0/3/6/4.jpg").Status, 200);
  EXPECT_EQ(serve.Get("/tiles/scan/0/3/7/4.jpg").Status, 404);
  EXPECT_EQ(serve.Get("/tiles/scan/1/0/0/0.jpg").Status, 404);
}

TEST(ServeApi, AnnotationGoesOutAndComesBackWithThePoints) {
  TServeFixture serve;
  EXPECT_EQ(serve.Get("/api/annotation?scan=0").Status, 409);  // nothing fitted yet
  const std::string points = PointLines();
  ASSERT_EQ(serve.Post("/api/fit?scan=0", "model thinplate\n" + points).Status, 200);
  const THttpReply out = serve.Get("/api/annotation?scan=0");
  ASSERT_EQ(out.Status, 200) << out.Body;
  EXPECT_NE(out.Body.find("georeferencing"), std::string::npos);
  const THttpReply in = serve.Post("/api/annotation?scan=0", out.Body);
  ASSERT_EQ(in.Status, 200) << in.Body;
  EXPECT_NE(in.Body.find("\"model\":\"thinplate\""), std::string::npos) << in.Body;
  const auto lat = JsonNumbers(in.Body, "lat");
  ASSERT_EQ(lat.size(), 8u);
  std::istringstream sent(points);
  for (size_t i = 0; i < 8; ++i) {
    double x, y, la, lo;
    sent >> x >> y >> la >> lo;
    EXPECT_NEAR(JsonNumbers(in.Body, "x")[i], x, 1e-9);
    EXPECT_NEAR(lat[i], la, 1e-7);
    EXPECT_NEAR(JsonNumbers(in.Body, "lon")[i], lo, 1e-7);
  }
  EXPECT_EQ(serve.Post("/api/annotation?scan=0", "{\"type\": \"Annotation\"").Status, 400);
}

TEST(ServeApi, ConcurrentFitsAndTilesAllSucceedAndTheLastFitWins) {
  TServeFixture serve;
  const std::string points = PointLines();
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        const auto r = t % 2 ? serve.Post("/api/fit?scan=0", "model equirect\n" + points)
                             : serve.Get("/tiles/preview/0/0/8/134/90.png");
        failures += r.Status != 200;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  const auto last = serve.Post("/api/fit?scan=0", "model equirect\n" + points);
  EXPECT_EQ(JsonNumbers(last.Body, "generation"), std::vector<double>{11});
}

// Regression: the HTTP library compressed Leaflet and every JSON answer
// with brotli at its slowest setting for the browser on the same machine
// (seconds for the page's first view).
TEST(ServeApi, AnswersAreNotCompressedForTheLocalBrowser) {
  TServeFixture serve;
  const std::map<std::string, std::string> accept = {{"Accept-Encoding", "br, gzip"}};
  for (const char* target : {"/leaflet/leaflet.js", "/serve.js", "/api/scans"}) {
    const THttpReply r = Http(serve.Port, "GET", target, "", accept);
    EXPECT_EQ(r.Status, 200) << target;
    EXPECT_EQ(r.Headers.find("Content-Encoding"), std::string::npos) << target;
  }
}

TEST(ServeApi, ExportsBesideTheScanAndTheSavedFileReopens) {
  TServeFixture serve;
  const std::string body = "model equirect\n" + PointLines();
  const THttpReply r = serve.Post("/api/export?scan=0&to=points", body);
  ASSERT_EQ(r.Status, 200) << r.Body;
  EXPECT_TRUE(std::filesystem::exists(serve.Dir.File("scans/alps.points")));
  EXPECT_TRUE(std::filesystem::exists(serve.Dir.File("scans/alps.xml")));
  EXPECT_EQ(serve.Post("/api/export?scan=0&to=exe", body).Status, 400);
  // The page reopened resumes from the saved file.
  const THttpReply saved = serve.Get("/api/calibration?scan=0");
  ASSERT_EQ(saved.Status, 200) << saved.Body;
  EXPECT_NE(saved.Body.find("\"model\":\"equirect\""), std::string::npos);
  EXPECT_EQ(JsonNumbers(saved.Body, "lat").size(), 8u);
}

}  // namespace
}  // namespace marovia::test
