// Web tiles per second, two threads, PNG written to a directory: the sample
// atlas quilted, the Alps map alone and a large map (MAROVIA_LARGE_MAP, the
// calibration file of tools/make_large_map.sh's map), each against
// gdal2tiles --processes=2 -r average on a GeoTIFF of the same map and
// levels, run in the same process. Counters: tiles/s, the peer's tiles/s,
// and the largest resident memory of this process in MB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geoatlas/tile_job.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/tile_store.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;

constexpr int kThreads = 2;

fs::path Scratch(const std::string& Name) {
  return fs::temp_directory_path() / ("marovia_tiles_bench_" + std::to_string(::getpid()) + Name);
}

double MaxRssMb() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024.0;
}

// The maps of calibration files, opened as tiles make them.
TAtlasTiles OpenTiles(const std::vector<std::string>& Calibrations) {
  std::vector<std::string> problems;
  return TAtlasTiles(TAtlasIndex::FromFiles(Calibrations, problems), {}, problems);
}

// Writes every tile of levels Z0..Z1 into Out through the library's tile
// job; answers the number written.
int64_t MakeTiles(const TAtlasTiles& Tiles, int Z0, int Z1, const fs::path& Out) {
  TTileSetInfo info;
  info.Bounds = Tiles.Bounds();
  info.MinZoom = Z0;
  info.MaxZoom = Z1;
  const auto store = OpenTileStore(Out.string(), info, false);
  TTileJobOptions options;
  options.Threads = kThreads;
  const TTileJobResult result = TTileJob(Tiles, Z0, Z1).Run(*store, options);
  store->Finish();
  return result.Written;
}

// gdal2tiles on a GeoTIFF of an equirect map: tiles per second, 0 when it
// cannot run.
double PeerTilesPerSecond(const std::string& Calibration, const std::string& Image, int Z0,
                          int Z1) {
  if (std::system("command -v gdal2tiles.py > /dev/null 2>&1") != 0) return 0;
  TCalibData data;
  TCalibModel model = cmUndefined;
  if (!ParseCalibData(Calibration, "", data, model) || model != cmEquiRect) return 0;
  const fs::path tif = Scratch("_peer.tif"), out = Scratch("_peer");
  // The corners from the fitted calibration, as the tiles see it.
  const TAtlasTiles probe = OpenTiles({Calibration});
  if (probe.MapCount() != 1) return 0;
  const TMapCalibration& c = probe.Maps()[0]->Calibration();
  const TPixelPosition ul = c.PixelToGeo(0, 0), lr = c.PixelToGeo(c.ImageWidth(), c.ImageHeight());
  char ullr[200];
  std::snprintf(ullr, sizeof ullr, "%.9f %.9f %.9f %.9f", ul.Longit, ul.Latit, lr.Longit, lr.Latit);
  const std::string translate =
      "gdal_translate -q -of GTiff -co TILED=YES -a_srs EPSG:4326 -a_ullr " + std::string(ullr) +
      " '" + Image + "' '" + tif.string() + "'";
  if (std::system(translate.c_str()) != 0) return 0;
  const auto start = std::chrono::steady_clock::now();
  const std::string run = "gdal2tiles.py -q --xyz -r average --processes=2 -z " +
                          std::to_string(Z0) + "-" + std::to_string(Z1) + " '" + tif.string() +
                          "' '" + out.string() + "'";
  const int status = std::system(run.c_str());
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int64_t tiles = 0;
  for (const auto& e : fs::recursive_directory_iterator(out))
    tiles += e.path().extension() == ".png";
  fs::remove_all(out);
  fs::remove(tif);
  return status == 0 && seconds > 0 ? tiles / seconds : 0;
}

void Run(benchmark::State& State, const std::vector<std::string>& Calibrations,
         const std::string& PeerCalibration, const std::string& PeerImage) {
  const TAtlasTiles tiles = OpenTiles(Calibrations);
  if (tiles.MapCount() == 0) {
    State.SkipWithError("no map loaded");
    return;
  }
  const int z0 = tiles.DefaultMinZoom(), z1 = tiles.DefaultMaxZoom();
  const fs::path out = Scratch("_ours");
  int64_t total = 0;
  double seconds = 0;
  for (auto _ : State) {
    const auto start = std::chrono::steady_clock::now();
    total += MakeTiles(tiles, z0, z1, out);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    State.PauseTiming();
    fs::remove_all(out);
    State.ResumeTiming();
  }
  State.counters["tiles"] = static_cast<double>(total) / State.iterations();
  State.counters["levels"] = z0 * 100 + z1;
  State.counters["tiles_per_s"] = total / seconds;
  State.counters["max_rss_mb"] = MaxRssMb();
  if (!PeerCalibration.empty())
    State.counters["gdal2tiles_per_s"] = PeerTilesPerSecond(PeerCalibration, PeerImage, z0, z1);
}

std::string Sample(const std::string& Name) {
  return std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name;
}

void BM_SampleAtlas(benchmark::State& State) {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(MAROVIA_SAMPLE_ATLAS))
    if (e.path().extension() == ".xml" && e.path().filename() != "landmarks.xml" &&
        e.path().filename() != "symbols.xml")
      files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  Run(State, files, "", "");
}
BENCHMARK(BM_SampleAtlas)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_AlpsMap(benchmark::State& State) {
  Run(State, {Sample("alps_eqc.xml")}, Sample("alps_eqc.xml"), Sample("alps_eqc.jpg"));
}
BENCHMARK(BM_AlpsMap)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_LargeMap(benchmark::State& State) {
  const char* xml = std::getenv("MAROVIA_LARGE_MAP");
  if (!xml || !*xml) {
    State.SkipWithError("set MAROVIA_LARGE_MAP to the large map's calibration file");
    return;
  }
  TCalibData data;
  TCalibModel model = cmUndefined;
  ParseCalibData(xml, "", data, model);
  const std::string image = (fs::path(xml).parent_path() / data.MapFName).string();
  Run(State, {xml}, xml, image);
}
BENCHMARK(BM_LargeMap)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace marovia
