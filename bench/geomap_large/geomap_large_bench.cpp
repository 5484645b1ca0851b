// The map control on a 16384 x 16384 map image (268 megapixels) read as
// tiles: the first view of 1920 x 1080 at magnification 1/8 with the tile
// cache built, a pan step (mouse move to recomposed view), a wheel zoom step
// (magnification and top-left changed, one recomposition), and a pan across
// the whole map at magnification 1. Counters: rss_mb, the resident memory
// after the run, and peak_rss_mb, the process's peak.
//
// The image is MAROVIA_LARGE_MAP when set (a calibrated sample map made by
// the tools), else a JPEG generated once into the temporary directory,
// streamed row by row so that making it costs no memory of its size. The
// tile cache lives beside it and is built before any timing.
#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "marovia/geomap/geomap.h"

namespace {

using namespace marovia;

constexpr int kSide = 16384;
constexpr int kViewW = 1920, kViewH = 1080;

std::filesystem::path WorkDir() {
  const auto dir = std::filesystem::temp_directory_path() / "marovia_large_map_bench";
  std::filesystem::create_directories(dir);
  return dir;
}

// A map-like picture: soft colour fields, a fine grid and diagonal roads, so
// that the JPEG and the tiles carry real detail.
void WriteLargeJpeg(const std::string& FileName) {
  const std::string partial = FileName + ".part";
  FILE* f = std::fopen(partial.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + partial);
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = kSide;
  c.image_height = kSide;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 80, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(3 * kSide);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const bool line = x % 512 == 0 || y % 512 == 0 || (x + y) % 2900 < 3 || (x - y) % 4100 == 0;
      unsigned char* p = &row[3 * static_cast<size_t>(x)];
      p[0] = line ? 40 : static_cast<unsigned char>(180 + 60 * std::sin(x / 900.0));
      p[1] = line ? 40 : static_cast<unsigned char>(170 + 70 * std::sin(y / 700.0));
      p[2] = line ? 200 : static_cast<unsigned char>(150 + ((x / 64 + y / 64) % 7) * 12);
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
  std::filesystem::rename(partial, FileName);
}

const std::string& LargeImage() {
  static const std::string name = [] {
    if (const char* given = std::getenv("MAROVIA_LARGE_MAP")) return std::string(given);
    const std::string file = (WorkDir() / "large_16384.jpg").string();
    if (!std::filesystem::exists(file)) WriteLargeJpeg(file);
    return file;
  }();
  return name;
}

const std::string& CacheDir() {
  static const std::string dir = (WorkDir() / "cache").string();
  return dir;
}

// Resident and peak resident memory of the process, in megabytes.
double StatusMegabytes(const char* Key) {
  std::ifstream in("/proc/self/status");
  std::string word;
  while (in >> word)
    if (word == Key) {
      double kb = 0;
      in >> kb;
      return kb / 1024;
    }
  return 0;
}

void ReportMemory(benchmark::State& State) {
  State.counters["rss_mb"] = StatusMegabytes("VmRSS:");
  State.counters["peak_rss_mb"] = StatusMegabytes("VmHWM:");
}

std::unique_ptr<TGeoMap> NewMap() {
  auto map = std::make_unique<TGeoMap>(nullptr);
  map->SetName("Large");
  map->SetFrameStyle(fsNone);
  map->SetWidth(kViewW);
  map->SetHeight(kViewH);
  map->SetMaxMapPixels(kMaxTiledMapPixels);
  map->SetPyramidCacheDir(CacheDir());
  return map;
}

// Opens the map at 1/8 with the view centred, painting once.
std::unique_ptr<TGeoMap> OpenAtEighth() {
  auto map = NewMap();
  map->SetSuppressPaint(true);
  map->SetMapImgFile(LargeImage());
  map->SetMagnification(1.0 / 8);
  map->SetTopLeft(
      TPoint{(map->MapImgWidth() - 8 * kViewW) / 2, (map->MapImgHeight() - 8 * kViewH) / 2});
  map->SetSuppressPaint(false);
  return map;
}

// Builds the tile cache once, outside any timing.
void EnsureCache() {
  static const bool built = [] {
    NewMap()->SetMapImgFile(LargeImage());
    return true;
  }();
  (void)built;
}

void BM_FirstViewAtEighth(benchmark::State& state) {
  EnsureCache();
  for (auto _ : state) {
    auto map = OpenAtEighth();
    benchmark::DoNotOptimize(map->ComposedView().ScanLine(0));
  }
  ReportMemory(state);
}
BENCHMARK(BM_FirstViewAtEighth)->Unit(benchmark::kMillisecond)->UseRealTime();

// A mouse drag of 7 pixels per step, back and forth across the view.
void BM_PanStep(benchmark::State& state) {
  EnsureCache();
  auto map = OpenAtEighth();
  map->SetMagnification(state.range(0) == 8 ? 1.0 / 8 : 1.0);
  map->MouseDown(mbLeft, TShiftState{ssLeft}, kViewW / 2, kViewH / 2);
  int x = kViewW / 2, dx = 7;
  for (auto _ : state) {
    if (x + dx < 100 || x + dx > kViewW - 100) dx = -dx;
    x += dx;
    map->MouseMove(TShiftState{ssLeft}, x, kViewH / 2);
  }
  map->MouseUp(mbLeft, TShiftState{ssLeft}, x, kViewH / 2);
  ReportMemory(state);
}
BENCHMARK(BM_PanStep)->Arg(8)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Wheel steps of 1.25 in and out about the view's centre, through the
// levels around 1/8.
void BM_WheelZoomStep(benchmark::State& state) {
  EnsureCache();
  auto map = OpenAtEighth();
  int step = 0, dir = 1;
  for (auto _ : state) {
    if (step + dir > 4 || step + dir < -4) dir = -dir;
    step += dir;
    const double mag = std::pow(1.25, step) / 8;
    const TPoint centre = map->ControlToMapImage(TPoint{kViewW / 2, kViewH / 2});
    map->SetSuppressPaint(true);
    map->SetMagnification(mag);
    map->SetTopLeft(TPoint{centre.X - static_cast<int>(kViewW / 2 / mag),
                           centre.Y - static_cast<int>(kViewH / 2 / mag)});
    map->SetSuppressPaint(false);
  }
  ReportMemory(state);
}
BENCHMARK(BM_WheelZoomStep)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every view of the map at magnification 1, row by row of views: the memory
// stays bounded by the tile cache, not by the map.
void BM_PanAcrossWholeMap(benchmark::State& state) {
  EnsureCache();
  for (auto _ : state) {
    auto map = OpenAtEighth();
    map->SetMagnification(1);
    for (int y = 0; y < map->MapImgHeight(); y += kViewH)
      for (int x = 0; x < map->MapImgWidth(); x += kViewW) map->SetTopLeft(TPoint{x, y});
  }
  ReportMemory(state);
}
BENCHMARK(BM_PanAcrossWholeMap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
