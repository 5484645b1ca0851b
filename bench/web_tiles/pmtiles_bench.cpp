// The PMTiles archive of the sample atlas, levels 3 to 10, with identical
// tiles stored once (and runs of them as one entry) and without: the
// archive's size and the header's counts of addressed tiles, entries and
// distinct contents.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geoatlas/tile_job.h"
#include "marovia/geomap/map_folder.h"
#include "marovia/geomap/tile_store.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;

void BM_SampleAtlasPMTiles(benchmark::State& State) {
  const bool dedup = State.range(0) != 0;
  std::vector<std::string> problems;
  const TMapFiles files = ScanMapFiles({MAROVIA_SAMPLE_ATLAS});
  const TAtlasTiles tiles(TAtlasIndex::FromFiles(files.Calibrations, problems), {}, problems);
  const fs::path out = fs::temp_directory_path() /
                       ("marovia_pmtiles_bench_" + std::to_string(::getpid()) + ".pmtiles");
  TPMTilesHeader header;
  for (auto _ : State) {
    TTileSetInfo info;
    info.Bounds = tiles.Bounds();
    info.MinZoom = 3;
    info.MaxZoom = 10;
    info.Deduplicate = dedup;
    const auto store = OpenTileStore(out.string(), info, false);
    TTileJobOptions options;
    options.Threads = 2;
    TTileJob(tiles, info.MinZoom, info.MaxZoom).Run(*store, options);
    store->Finish();
    std::vector<uint8_t> head(TPMTilesHeader::kBytes);
    std::ifstream(out, std::ios::binary)
        .read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    header = TPMTilesHeader::Deserialize(head);
  }
  State.counters["bytes"] = static_cast<double>(fs::file_size(out));
  State.counters["addressed"] = static_cast<double>(header.AddressedTiles);
  State.counters["entries"] = static_cast<double>(header.TileEntries);
  State.counters["contents"] = static_cast<double>(header.TileContents);
  fs::remove(out);
}
BENCHMARK(BM_SampleAtlasPMTiles)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("dedup")
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace marovia
