// The writers under test, one per command, for the fault and power-loss
// tests (which run this program under fault_shim):
//
//   fault_driver <writer> <folder> <variant>
//
// writes into <folder> what <writer> writes, with contents chosen by
// <variant> (0 or 1), and exits 0; a failure prints "error: <message>" and
// exits 1. "prepare-<writer>" writes the inputs a writer reads (an image),
// outside the shim. "db-record" changes a database step by step and
// confirms each step by writing its number to <folder>/confirmed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "faults_model.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/control_points.h"
#include "marovia/geomap/geomap.h"
#include "marovia/geomap/geotiff_export.h"
#include "marovia/geomap/kml_export.h"
#include "marovia/geomap/map_file_format.h"
#include "marovia/geomap/symbol_repository.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/geomap/vrt_export.h"
#include "marovia/geomap/world_file.h"
#include "marovia/platform/bmpcodec.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"

using namespace marovia;

namespace {

TMapCalibration Calibration(int Variant) {
  const double lat0 = 45 + Variant, lat1 = 46 + Variant;
  TCalibData d;
  d.NumCalQuads = 3;
  d.CalQuads[0] = {lat1, 7, 0, 0};
  d.CalQuads[1] = {lat1, 8, 64, 0};
  d.CalQuads[2] = {lat0, 7, 0, 48};
  d.MapFName = "map.bmp";
  TMapCalibration cal(cmEquiRect, d, 64, 48);
  cal.Fit();
  return cal;
}

void Paint(TBitmap& b, int Variant) {
  b.SetPixelFormat(pf24bit);
  b.SetSize(64 + 8 * Variant, 48);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      b.Bits()[y * b.Width() + x] = static_cast<uint32_t>(x * 0x010203 + y * 0x0301 + Variant * 77);
}

std::vector<TTileId> Tiles(int Variant) {
  std::vector<TTileId> t;
  for (int x = 0; x < 4; ++x)
    for (int y = 0; y < 3; ++y) t.push_back({3, x + 4 * Variant, y});
  return t;
}

TTileSetInfo TileSet() {
  TTileSetInfo info;
  info.Name = "faults";
  info.Bounds = {5.5, 45.25, 10.75, 47.875};
  info.MaxZoom = 8;
  return info;
}

void StoreTiles(const std::string& Output, int Variant, bool Resume) {
  const auto store = OpenTileStore(Output, TileSet(), Resume);
  for (const TTileId& t : Tiles(Variant)) {
    const std::vector<uint8_t> bytes = faults::TileBytes(t, Variant);
    store->Put(t, bytes);
  }
  store->Finish();
}

void SaveLandmarks(const std::string& File, int Variant) {
  TGeoMap map(nullptr);
  map.SetName("Map");
  for (int i = 0; i < 20 + Variant * 5; ++i) map.AddLandMark(45 + i * 0.01, 7 + Variant, 100 + i);
  map.SaveLandmarks(File, "set " + std::to_string(Variant));
}

void StoreSymbols(const std::string& File, int Variant) {
  TSymbolRepository rep(nullptr);
  rep.SetNEntries(10 + Variant * 3);
  rep.StoreOnFile(File, "symbols " + std::to_string(Variant));
}

using TWriter = std::function<void(const std::string& Dir, int Variant)>;

const std::map<std::string, TWriter>& Writers() {
  static const std::map<std::string, TWriter> writers = {
      {"calxml",
       [](const std::string&, int v) {
         SaveCalibrationAsXML("map.xml", "m" + std::to_string(v), Calibration(v));
       }},
      {"landmarks", [](const std::string&, int v) { SaveLandmarks("landmarks.xml", v); }},
      {"symbols", [](const std::string&, int v) { StoreSymbols("symbols.xml", v); }},
      {"worldfile", [](const std::string&, int v) { ExportWorldFile(Calibration(v), "map.bmp"); }},
      {"kml", [](const std::string&, int v) { ExportKml(Calibration(v), "map.kml", "map.bmp"); }},
      {"kmz", [](const std::string&, int v) { ExportKmz(Calibration(v), "map.kmz", "map.bmp"); }},
      {"vrt", [](const std::string&, int v) { ExportVrt(Calibration(v), "map.vrt", "map.bmp"); }},
      {"points",
       [](const std::string&, int v) { ExportControlPoints(Calibration(v), "map.points"); }},
      {"mapfile",
       [](const std::string&, int v) { ExportMapFile(Calibration(v), "map.map", "map.bmp"); }},
      {"geotiff",
       [](const std::string&, int v) {
         TBitmap b;
         Paint(b, 0);
         ExportGeoTiff(Calibration(v), b, "map.tif");
       }},
      {"tiles-dir", [](const std::string&, int v) { StoreTiles("tiles", v, true); }},
      {"tiles-mbtiles", [](const std::string&, int v) { StoreTiles("tiles.mbtiles", v, true); }},
      {"tiles-pmtiles", [](const std::string&, int v) { StoreTiles("tiles.pmtiles", v, false); }},
      {"pyramid",
       [](const std::string&, int) {
         TPyramidOptions o;
         o.CacheDir = "cache";
         TImagePyramid::Open("map.bmp", o);
       }},
      // Inputs, written outside the shim.
      {"prepare-image",
       [](const std::string&, int v) {
         TBitmap b;
         Paint(b, v);
         b.SaveToFile("map.bmp");
         // A fixed time: archives that record it are the same in every run.
         const timespec t[2] = {{1700000000 + v, 0}, {1700000000 + v, 0}};
         utimensat(AT_FDCWD, "map.bmp", t, 0);
       }},
  };
  return writers;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: fault_driver <writer> <folder> <variant>\n");
    return 2;
  }
  const std::string writer = argv[1], dir = argv[2];
  const int variant = std::atoi(argv[3]);
  try {
    if (writer.rfind("db-", 0) == 0) {
      faults::RunDatabase(writer.substr(3), dir, variant);
      return 0;
    }
    const auto it = Writers().find(writer);
    if (it == Writers().end()) {
      std::fprintf(stderr, "unknown writer %s\n", writer.c_str());
      return 2;
    }
    // Names relative to the folder, so that what they write does not depend
    // on where the folder is.
    if (chdir(dir.c_str()) != 0) throw std::runtime_error("cannot enter " + dir);
    it->second(".", variant);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return 0;
}
