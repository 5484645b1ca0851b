// Speed of calibration files: writing and reading a data set with the full
// 200 calibration points, as a bare record and into a map (with the fit).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_support.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/geomap.h"

namespace {

namespace fs = std::filesystem;
using namespace marovia;

// 200 points of a plate carree over a 2000 x 1500 image.
TCalibData FullData() {
  TCalibData cd;
  cd.Caption = "Benchmark \"full\"";
  cd.UTMZone = 33;
  for (int k = 0; k < kMaxCalQuads; ++k) {
    const int x = 50 + (k % 20) * 95, y = 40 + (k / 20) * 140;
    cd.CalQuads[static_cast<size_t>(k)] = TCalQuad{48 - y * 0.001, 10 + x * 0.0015, x, y};
  }
  cd.NumCalQuads = kMaxCalQuads;
  return cd;
}

void WriteFile(const std::string& file, const TCalibData& cd) {
  TTextFile f(file);
  f.Rewrite();
  WriteRawCalDataToOpenXMLFile(f, true, "bench", cd, cmBiquadraticPn);
  f.CloseFile();
}

void BM_WriteCalibration200(benchmark::State& state) {
  test::TempDir dir;
  const TCalibData cd = FullData();
  const std::string file = dir.File("cal.xml");
  for (auto _ : state) WriteFile(file, cd);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_WriteCalibration200)->Unit(benchmark::kMicrosecond);

void BM_ParseCalibration200(benchmark::State& state) {
  test::TempDir dir;
  const std::string file = dir.File("cal.xml");
  WriteFile(file, FullData());
  for (auto _ : state) {
    TCalibData cd;
    TCalibModel model = cmUndefined;
    if (!ParseCalibData(file, "bench", cd, model)) state.SkipWithError("set not found");
    benchmark::DoNotOptimize(cd.NumCalQuads);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_ParseCalibration200)->Unit(benchmark::kMicrosecond);

// Reading into a map: the same file plus clearing, the refit of the
// biquadratic model over 200 points and the graticule matrix.
void BM_LoadCalibration200IntoMap(benchmark::State& state) {
  test::TempDir dir;
  const std::string file = dir.File("cal.xml");
  WriteFile(file, FullData());
  QuietMap map;
  for (auto _ : state) {
    if (!map.LoadCalDataFromXML(file, "bench")) state.SkipWithError("set not loaded");
  }
}
BENCHMARK(BM_LoadCalibration200IntoMap)->Unit(benchmark::kMicrosecond);

}  // namespace
