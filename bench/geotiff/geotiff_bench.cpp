// GeoTIFF maps of 3 megapixels (2000 x 1500), read and written, against
// gdal_translate doing the same work in the same run (spawned, so its times
// include starting the program; wall-clock time throughout).
//
//   ImportGeoTiffMap      calibration and decoded image of a tiled DEFLATE
//                         GeoTIFF (written by gdal_translate)
//   GdalToRaw             gdal_translate of that file to a raw ENVI file
//   ExportGeoTiffMap      our tiled DEFLATE GeoTIFF of the calibrated image
//   GdalToTiledDeflate    gdal_translate -co TILED=YES -co COMPRESS=DEFLATE
//                         of the same image and georeferencing (from raw)
//   GdalStartup           gdal_translate --version: how much of the peers'
//                         times is starting the program
//
// Goals: ImportGeoTiffMap <= 1.2 x GdalToRaw; ExportGeoTiffMap <=
// GdalToTiledDeflate.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "marovia/geomap/geotiff_export.h"
#include "marovia/geomap/geotiff_import.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/tiffimage.h"

namespace marovia {
namespace {

constexpr int kW = 2000, kH = 1500;

// A map-like picture: smooth shading, a grid of dark lines and a few
// flat areas, so that it compresses as scanned maps do, neither trivially
// nor not at all.
uint32_t MapPixel(int x, int y) {
  if (x % 97 == 0 || y % 89 == 0) return 0x202020;
  if ((x / 250 + y / 180) % 5 == 0) return 0xB0D8F0;
  const int r = 180 + int(40 * std::sin(x * 0.01)), g = 200 + int(30 * std::cos(y * 0.013));
  const int b = 150 + ((x * 7 + y * 3) >> 4) % 40;
  return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

struct Files {
  std::filesystem::path dir;
  std::string raw, rawHeader, tif, exported, gdalOut;
  TBitmap image;
  TMapCalibration calibration;

  Files() {
    dir = std::filesystem::temp_directory_path() /
          ("marovia_geotiff_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    raw = (dir / "map.raw").string();
    tif = (dir / "map.tif").string();
    exported = (dir / "ours.tif").string();
    gdalOut = (dir / "gdal.out").string();
    image.SetPixelFormat(pf24bit);
    image.SetSize(kW, kH);
    std::string bytes(size_t(kW) * kH * 3, '\0');
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t p = MapPixel(x, y);
        image.Bits()[size_t(y) * kW + x] = p;
        char* o = bytes.data() + 3 * (size_t(y) * kW + x);
        o[0] = char(p >> 16), o[1] = char(p >> 8), o[2] = char(p);
      }
    std::ofstream(raw, std::ios::binary) << bytes;
    // The raw file as GDAL reads it: pixel-interleaved bytes, with its
    // georeferencing (UTM zone 33 north, 2 m pixels).
    std::ofstream((dir / "map.hdr").string())
        << "ENVI\nsamples = " << kW << "\nlines = " << kH
        << "\nbands = 3\nheader offset = 0\ndata type = 1\ninterleave = bip\nbyte order = 0\n"
           "map info = {UTM, 1, 1, 480000, 6010000, 2, 2, 33, North, WGS-84}\n";
    Run("gdal_translate -q -of GTiff -co TILED=YES -co COMPRESS=DEFLATE '" + raw + "' '" + tif +
        "'");
    calibration = ImportGeoTiff(tif).Calibration;
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  static void Run(const std::string& command) {
    if (std::system((command + " > /dev/null 2>&1").c_str()) != 0) std::abort();
  }
};

Files& Shared() {
  static Files f;
  return f;
}

void ImportGeoTiffMap(benchmark::State& state) {
  Files& f = Shared();
  for (auto _ : state) {
    TImportedMap map = ImportGeoTiff(f.tif);
    TTiffImage tiff;
    tiff.LoadFromFile(map.ImageName);
    TBitmap bmp;
    bmp.Assign(tiff);
    benchmark::DoNotOptimize(bmp.Bits());
  }
}
BENCHMARK(ImportGeoTiffMap)->Unit(benchmark::kMillisecond)->UseRealTime();

void GdalToRaw(benchmark::State& state) {
  Files& f = Shared();
  for (auto _ : state) Files::Run("gdal_translate -q -of ENVI '" + f.tif + "' '" + f.gdalOut + "'");
}
BENCHMARK(GdalToRaw)->Unit(benchmark::kMillisecond)->UseRealTime();

void ExportGeoTiffMap(benchmark::State& state) {
  Files& f = Shared();
  for (auto _ : state) ExportGeoTiff(f.calibration, f.image, f.exported);
}
BENCHMARK(ExportGeoTiffMap)->Unit(benchmark::kMillisecond)->UseRealTime();

void GdalToTiledDeflate(benchmark::State& state) {
  Files& f = Shared();
  for (auto _ : state) {
    Files::Run("gdal_translate -q -of GTiff -co TILED=YES -co COMPRESS=DEFLATE '" + f.raw + "' '" +
               f.gdalOut + "'");
  }
}
BENCHMARK(GdalToTiledDeflate)->Unit(benchmark::kMillisecond)->UseRealTime();

void GdalStartup(benchmark::State& state) {
  for (auto _ : state) Files::Run("gdal_translate --version");
}
BENCHMARK(GdalStartup)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace marovia
