// geomap serve's answers behind the page, without HTTP: a refit of 100
// control points with the thin-plate model and its residual table
// (leave-one-out residuals included), and the preview after an edit: the
// Web Mercator tiles a 1600 x 900 view of the warped scan shows, rendered
// through the new fit. The scan is the sample atlas's Alps map; the points
// lie on a 10 x 10 grid of it at the positions its calibration gives,
// moved by up to a pixel as a hand would place them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "marovia/geomap/map_source.h"
#include "marovia/geomap/web_tiles.h"
#include "serve_request.h"
#include "serve_session.h"

namespace {

using namespace marovia;
using namespace marovia::geomaptool;

namespace fs = std::filesystem;

struct TBenchScan {
  fs::path Dir;
  std::unique_ptr<TServeSession> Session;
  std::string Body;  // 100 points, thin-plate

  TBenchScan() {
    Dir = fs::temp_directory_path() / "marovia_serve_bench";
    fs::create_directories(Dir);
    const fs::path scan = Dir / "alps.jpg";
    if (!fs::exists(scan)) fs::copy_file(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.jpg", scan);
    TServeSessionOptions o;
    o.Scans = {scan.string()};
    o.CacheDir = (Dir / "cache").string();
    Session = std::make_unique<TServeSession>(o);
    const auto map = TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.xml");
    std::ostringstream s;
    s.precision(10);
    s << "model thinplate\nsmoothing 0\n";
    for (int i = 0; i < 10; ++i)
      for (int j = 0; j < 10; ++j) {
        const int x = 60 + i * 160, y = 40 + j * 115;
        const TPixelPosition at = map->Calibration().PixelToGeo(x, y);
        s << x + (i * 7 + j) % 3 - 1 << " " << y + (i + j * 5) % 3 - 1 << " " << at.Latit << " "
          << at.Longit << "\n";
      }
    Body = s.str();
  }
};

TBenchScan& Scan() {
  static TBenchScan scan;
  return scan;
}

void BM_Refit100ThinPlate(benchmark::State& State) {
  TBenchScan& b = Scan();
  for (auto _ : State) benchmark::DoNotOptimize(b.Session->Fit(0, b.Body));
}
BENCHMARK(BM_Refit100ThinPlate)->Unit(benchmark::kMillisecond);

// The parts of that refit: the fit alone, and the leave-one-out residuals
// (one fit of the other 99 points for each point).
void BM_ThinPlateFitAlone(benchmark::State& State) {
  TBenchScan& b = Scan();
  const TFitRequest r = ParseFitRequest(b.Body);
  for (auto _ : State) {
    TMapCalibration cal = RequestCalibration(r, "alps.jpg", 1600, 1150);
    benchmark::DoNotOptimize(cal.Fit());
  }
}
BENCHMARK(BM_ThinPlateFitAlone)->Unit(benchmark::kMillisecond);

void BM_ThinPlateLeaveOneOut(benchmark::State& State) {
  TBenchScan& b = Scan();
  TMapCalibration cal = RequestCalibration(ParseFitRequest(b.Body), "alps.jpg", 1600, 1150);
  cal.Fit();
  for (auto _ : State) benchmark::DoNotOptimize(cal.LeaveOneOutResiduals());
}
BENCHMARK(BM_ThinPlateLeaveOneOut)->Unit(benchmark::kMillisecond);

// An edit (one point moved), its refit, and every tile of a 1600 x 900 view
// of the whole scan at the level whose pixel is nearest the scan's.
void BM_PreviewAfterEdit(benchmark::State& State) {
  TBenchScan& b = Scan();
  b.Session->Fit(0, b.Body);
  const auto map = TMapSource::Open(std::string(MAROVIA_SAMPLE_ATLAS) + "/alps_eqc.xml");
  const TGeoBounds box = MapBounds(map->Calibration());
  const double lat = (box.North + box.South) / 2, lon = (box.West + box.East) / 2;
  const int z = NearestZoom(map->Calibration().Data().Resolution, lat);
  const double cx = LongitudeToTileX(lon, z), cy = LatitudeToTileY(lat, z);
  std::vector<TTileId> tiles;
  for (int x = int(std::floor(cx - 800.0 / kWebTileSize)); x <= int(cx + 800.0 / kWebTileSize); ++x)
    for (int y = int(std::floor(cy - 450.0 / kWebTileSize)); y <= int(cy + 450.0 / kWebTileSize);
         ++y)
      tiles.push_back({z, x, y});
  std::string edited = b.Body;
  for (auto _ : State) {
    // Moves the first point by a pixel each way in turn.
    edited[edited.find('\n', 20) + 1] ^= 1;
    b.Session->Fit(0, edited);
    for (const TTileId& t : tiles) benchmark::DoNotOptimize(b.Session->PreviewTile(0, t));
  }
  State.counters["tiles"] = static_cast<double>(tiles.size());
}
BENCHMARK(BM_PreviewAfterEdit)->Unit(benchmark::kMillisecond);

}  // namespace
