// Atlases of many maps, made from the sample maps with shifted calibrations
// (each copy names its sample's image, which lies once in the folder):
//   BM_BuildIndex       an atlas index of N calibrations from their files
//                       (calibrations and image headers read, nothing
//                       decoded); counter maps_per_s;
//   BM_BestAt           the best map at random positions of that atlas;
//   BM_RenderFolder     geomap render FOLDER --center on 1000 maps, against
//   BM_RenderMapAlone   geomap render of the map it draws, alone (the goal:
//                       at most 1.5 times that).
// The atlases are written once per process into the temporary directory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geomap/calxml.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/platform/files.h"
#ifdef MAROVIA_BENCH_TOOL
#include "geomap_cli.h"
#endif

namespace marovia {
namespace {

namespace fs = std::filesystem;

// The sample maps copied: sheets of a few degrees (geographic points), as
// an atlas of many maps holds; the others stay where they are, once.
const char* const kShifted[] = {"alps_eqc", "switzerland_eqc"};
const char* const kFixed[] = {"zurich_utm32",   "overview_miller", "british_isles_albers",
                              "iberia_stereo",  "europe_lcc",      "alps_eqc",
                              "switzerland_eqc"};

std::string Sample(const std::string& Name) {
  return std::string(MAROVIA_SAMPLE_ATLAS) + "/" + Name;
}

void WriteCalibration(const std::string& File, const std::string& Id, const TMapCalibration& Cal) {
  TTextFile f(File);
  f.Rewrite();
  WriteRawCalDataToOpenXMLFile(f, true, Id, Cal.Data(), Cal.Model());
  f.CloseFile();
}

// A folder of Count calibrations: the samples, and shifted copies of the
// sheets spread over the globe away from Zurich (more than 20 degrees of
// longitude off), so that a view of Zurich has the samples' choice.
// The atlases written by this process, removed when it ends.
struct TScratch {
  std::vector<fs::path> Dirs;
  ~TScratch() {
    std::error_code ec;
    for (const fs::path& d : Dirs) fs::remove_all(d, ec);
  }
} g_scratch;

std::string Atlas(int Count) {
  const fs::path dir =
      fs::temp_directory_path() /
      ("marovia_atlas_bench_" + std::to_string(::getpid()) + "_" + std::to_string(Count));
  if (fs::exists(dir / "done")) return dir.string();
  fs::create_directories(dir);
  g_scratch.Dirs.push_back(dir);
  for (const char* names : {"alps_eqc", "switzerland_eqc", "iberia_stereo", "europe_lcc",
                            "zurich_utm32", "overview_miller", "british_isles_albers"}) {
    fs::copy_file(Sample(std::string(names) + ".jpg"), dir / (std::string(names) + ".jpg"),
                  fs::copy_options::overwrite_existing);
  }
  int written = 0;
  for (const char* name : kFixed) {
    TMapCalibration cal;
    ParseCalibration(Sample(std::string(name) + ".xml"), "", cal);
    WriteCalibration((dir / (std::string(name) + ".xml")).string(), name, cal);
    ++written;
  }
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> lat(-40, 25), lon(20, 160);
  std::uniform_int_distribution<int> side(0, 1);
  for (int i = 0; written < Count; ++i, ++written) {
    const char* name = kShifted[i % 2];
    TMapCalibration cal;
    ParseCalibration(Sample(std::string(name) + ".xml"), "", cal);
    TCalibData& d = cal.Data();
    const double dLat = lat(rng), dLon = side(rng) ? lon(rng) : -lon(rng) - 10;
    for (TCoords& c : d.Corners) c = {c.Latit + dLat, c.Longit + dLon};
    for (int q = 0; q < d.NumCalQuads; ++q) {
      d.CalQuads[q].Latitude += dLat;
      d.CalQuads[q].Longitude += dLon;
    }
    WriteCalibration((dir / ("copy" + std::to_string(i) + ".xml")).string(), name, cal);
  }
  std::ofstream(dir / "done") << "";
  return dir.string();
}

std::vector<std::string> Calibrations(const std::string& Dir) {
  return ScanMapFiles({Dir}).Calibrations;
}

void BM_BuildIndex(benchmark::State& State) {
  const std::vector<std::string> files = Calibrations(Atlas(static_cast<int>(State.range(0))));
  size_t maps = 0;
  for (auto _ : State) {
    std::vector<std::string> problems;
    maps = TAtlasIndex::FromFiles(files, problems).Count();
  }
  State.counters["maps"] = static_cast<double>(maps);
  State.counters["maps_per_s"] =
      benchmark::Counter(static_cast<double>(maps), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BuildIndex)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BestAt(benchmark::State& State) {
  std::vector<std::string> problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(Calibrations(Atlas(10000)), problems);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> lat(20, 70), lon(-120, 140);
  std::vector<std::pair<double, double>> points(4096);
  for (auto& p : points) p = {lat(rng), lon(rng)};
  size_t i = 0, found = 0;
  for (auto _ : State) {
    const auto& [a, o] = points[i++ % points.size()];
    found += index.BestAt(a, o).has_value();
  }
  State.counters["found_share"] = static_cast<double>(found) / static_cast<double>(i);
}
BENCHMARK(BM_BestAt)->Unit(benchmark::kMicrosecond);

#ifdef MAROVIA_BENCH_TOOL
int Render(const std::string& Map) {
  std::ostringstream out, err;
  std::istringstream in;
  const fs::path png =
      fs::temp_directory_path() / ("marovia_atlas_bench_" + std::to_string(::getpid()) + ".png");
  return geomaptool::Run(
      {"render", Map, "--center", "47.37,8.54", "--mag", "0.5", "-o", png.string()}, in, out, err);
}

void BM_RenderFolder(benchmark::State& State) {
  const std::string dir = Atlas(1000);
  for (auto _ : State)
    if (Render(dir) != 0) State.SkipWithError("render failed");
}
BENCHMARK(BM_RenderFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderMapAlone(benchmark::State& State) {
  // The map the folder's view draws.
  std::vector<std::string> problems;
  const TAtlasIndex index = TAtlasIndex::FromFiles(Calibrations(Atlas(1000)), problems);
  const auto best = index.BestForView(47.37, 8.54, 800, 600, 0.5);
  if (!best) {
    State.SkipWithError("no map at Zurich");
    return;
  }
  State.SetLabel(fs::path(index[*best].File).filename().string());
  for (auto _ : State)
    if (Render(index[*best].File) != 0) State.SkipWithError("render failed");
}
BENCHMARK(BM_RenderMapAlone)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
}  // namespace marovia
