// What georeferencing adds to a print: a whole sample map printed across an
// A4 page at 300 dpi.
//
//   BM_PointGrid/<map>  the grid of georeferenced points of the window: 3 x 3
//                       for the affine map (alps_eqc), 9 x 9 for the UTM map
//                       (zurich_utm32), 33 x 33 for the conic map
//                       (europe_lcc), each level checked against the map's
//                       conversion both ways
//   BM_PdfUpdate        the incremental update of the finished one-page file
//                       (read back from memory) with a 33 x 33 viewport
//   BM_Document/<geo>   the whole document of the conic map, drawn, written
//                       and (1) georeferenced or (0) not
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "control/print_georeference.h"
#include "marovia/geomap/geomap.h"
#include "marovia/platform/printers.h"
#include "pdf_update.h"
#include "pdf_viewports.h"

namespace {

using namespace marovia;

const char* const kMaps[] = {"alps_eqc", "zurich_utm32", "europe_lcc"};

std::string Sample(const std::string& Name) {
  return std::string(MAROVIA_SAMPLES_DIR) + "/atlas/" + Name;
}

std::unique_ptr<TGeoMap> LoadMap(const std::string& Name) {
  auto map = std::make_unique<TGeoMap>(nullptr);
  map->SetSuppressPaint(true);
  map->OnMapImageRequest = [](TObject*, std::string& Image) { Image = Sample(Image); };
  if (!map->LoadCalDataFromXML(Sample(Name + ".xml"), "")) std::abort();
  return map;
}

// The whole map scaled to the width of an A4 page at 300 dpi.
TPrintedWindow WholeMapOnA4(const TGeoMap& Map) {
  const double scale = 2480.0 / Map.MapImgWidth();
  return {TPoint{0, 0}, scale, TPoint{0, 0},
          Rect(0, 0, 2480, static_cast<int>(Map.MapImgHeight() * scale))};
}

void BM_PointGrid(benchmark::State& State) {
  const auto map = LoadMap(kMaps[State.range(0)]);
  const TPrintedWindow window = WholeMapOnA4(*map);
  size_t points = 0;
  for (auto _ : State) {
    const TPageGeoreference g = PrintedWindowGeoreference(map->Calibration(), window, "map");
    points = g.Points.size();
    benchmark::DoNotOptimize(points);
  }
  State.SetLabel(std::string(kMaps[State.range(0)]) + ", " + std::to_string(points) + " points");
}
BENCHMARK(BM_PointGrid)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// Prints the conic map on an A4 page at 300 dpi into File, georeferenced or not.
void PrintDocument(TGeoMap& Map, const std::string& File) {
  TPrinter& p = Printer();
  p.SetResolution(300);
  p.SetFileName(File);
  p.BeginDoc();
  int32_t x = 0, y = 0;
  Map.CopyToOpenPrinter(x, y, 2480.0 / Map.MapImgWidth());
  p.EndDoc();
}

void BM_PdfUpdate(benchmark::State& State) {
  const auto map = LoadMap("europe_lcc");
  const std::string file = (std::filesystem::temp_directory_path() / "bench_print.pdf").string();
  PrintDocument(*map, file);
  std::ifstream in(file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  std::filesystem::remove(file);
  const TPageGeoreference g =
      PrintedWindowGeoreference(map->Calibration(), WholeMapOnA4(*map), "map");
  const print::PdfUpdateRequest request{{print::PdfViewportEntries({g}, 72.0 / 300, 841.89)},
                                        print::PdfGeospatialCatalogEntries()};
  const print::PdfReadAt read = [&bytes](uint64_t Offset, size_t Length) {
    return Offset >= bytes.size() ? std::string() : bytes.substr(Offset, Length);
  };
  for (auto _ : State) {
    benchmark::DoNotOptimize(print::PdfIncrementalUpdate(read, bytes.size(), request));
  }
  State.SetLabel(std::to_string(bytes.size() / 1024) + " KiB file");
}
BENCHMARK(BM_PdfUpdate)->Unit(benchmark::kMicrosecond);

void BM_Document(benchmark::State& State) {
  const auto calibrated = LoadMap("europe_lcc");
  // The same image without a calibration prints without georeferencing.
  auto plain = std::make_unique<TGeoMap>(nullptr);
  plain->SetSuppressPaint(true);
  plain->SetMapImgFile(Sample("europe_lcc.jpg"));
  TGeoMap& map = State.range(0) ? *calibrated : *plain;
  const std::string file = (std::filesystem::temp_directory_path() / "bench_doc.pdf").string();
  for (auto _ : State) PrintDocument(map, file);
  std::filesystem::remove(file);
}
BENCHMARK(BM_Document)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
