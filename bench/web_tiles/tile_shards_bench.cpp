// Tiles made in parts, as the tasks of a cluster make them: each part a
// process of its own (its own maps opened and decoded, its own fragment and
// manifest), then merged and verified.
//   BM_PartsAgainstOneRun  the sample atlas, levels 2-10, one thread: the CPU
//                          time of 2, 4 or 8 parts together over that of
//                          one run (counter "ratio"; each part's maps opened
//                          anew; "job_ratio" leaves out opening their files);
//                          shared:1 has the parts read the images through
//                          a pyramid cache that the first part builds, as
//                          the tool does, shared:0 decodes them in each.
//                          With shared:1, "cache_ratio" is the parts' CPU
//                          time over that of one run through a cache of its
//                          own: the work the parts do twice, without what
//                          reading through the cache costs against
//                          decoding each image whole
//   BM_MergeFragments      4 PMTiles fragments of 2 KiB tiles joined into one
//                          archive: tiles/s, and tiles/cpu_s per second of
//                          one CPU
//   BM_PyramidTilesReadOnce  the sample atlas's pyramid tiles read once each
//                          from warm cache files: CPU ms per tile
//   BM_Collection          a synthetic collection of sheets (100 by default;
//                          MAROVIA_COLLECTION_MAPS=1000 for the full goal)
//                          up to level 10 in 2, 4 or 8 parts, merged and
//                          verified:
//                          counters "missing", "extra", "changed", "tiles",
//                          and "ratio", the parts' CPU time over one run's
//                          ("job_ratio": the same without making the maps)
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "marovia/geoatlas/atlas_index.h"
#include "marovia/geoatlas/atlas_tiles.h"
#include "marovia/geoatlas/tile_job.h"
#include "marovia/geomap/tile_merge.h"
#include "marovia/geomap/tile_store.h"
#include "marovia/platform/graphics.h"
#include "marovia/platform/image_pyramid.h"

namespace marovia {
namespace {

namespace fs = std::filesystem;

fs::path Scratch(const std::string& Name) {
  const fs::path p =
      fs::temp_directory_path() / ("marovia_shards_bench_" + std::to_string(::getpid())) / Name;
  fs::create_directories(p.parent_path());
  return p;
}

double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

// The sample atlas; Shared: its images read through a pyramid cache in
// the scratch folder, as the tool has the parts of a job read them.
TAtlasTiles SampleAtlas(bool Shared = false, const std::string& CacheName = "pyramids") {
  std::vector<std::string> files, problems;
  for (const auto& e : fs::directory_iterator(MAROVIA_SAMPLE_ATLAS))
    if (e.path().extension() == ".xml" && e.path().stem().string().find('_') != std::string::npos)
      files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  TMapSourceOptions options;
  if (Shared) {
    options.CacheSmallPyramids = true;
    options.PyramidCacheDir = Scratch(CacheName + "/x").parent_path().string();
  }
  return TAtlasTiles(TAtlasIndex::FromFiles(files, problems), options, problems);
}

// Part Part of Parts of levels Z0..Z1 of Tiles into Fragment, with its
// manifest beside it; one thread. Answers the CPU time from the job's
// numbering to the manifest written (not the opening of the maps).
double MakePart(const TAtlasTiles& Tiles, int Z0, int Z1, int Part, int Parts,
                const fs::path& Fragment) {
  const double start = CpuSeconds();
  const TTileJob job(Tiles, Z0, Z1);
  TTileSetInfo info;
  info.Bounds = Tiles.Bounds();
  info.MinZoom = Z0;
  info.MaxZoom = Z1;
  auto store = OpenTileStore(Fragment.string(), info, false);
  TTileJobOptions options;
  options.Threads = 1;
  options.Part = Part;
  options.Parts = Parts;
  const TTileJobResult r = job.Run(*store, options);
  if (!r.Error.empty()) throw EZYLGeoMapError(r.Error);
  store->Finish();
  store.reset();
  if (Parts > 1)
    PartManifest(job, Part, Parts, 1, Fragment.string()).Write(Fragment.string() + ".manifest");
  return CpuSeconds() - start;
}

void BM_PartsAgainstOneRun(benchmark::State& State) {
  const int maxZoom = static_cast<int>(State.range(0));
  const int parts = static_cast<int>(State.range(1));
  const bool shared = State.range(2) != 0;
  for (auto _ : State) {
    fs::remove_all(Scratch("pyramids"));
    fs::remove_all(Scratch("own_pyramids"));
    double t = CpuSeconds();
    const double oneJob = MakePart(SampleAtlas(), 2, maxZoom, 1, 1, Scratch("one.pmtiles"));
    const double one = CpuSeconds() - t;
    double partsJob = 0;
    t = CpuSeconds();
    for (int k = 1; k <= parts; ++k)
      partsJob += MakePart(SampleAtlas(shared), 2, maxZoom, k, parts,
                           Scratch("part" + std::to_string(k) + ".pmtiles"));
    const double partsCpu = CpuSeconds() - t;
    State.counters["one_cpu_s"] = one;
    State.counters["parts_cpu_s"] = partsCpu;
    State.counters["ratio"] = partsCpu / one;
    // Without opening the maps' files (their pixels are decoded as tiles
    // need them, so decoding counts here).
    State.counters["job_ratio"] = partsJob / oneJob;
    if (shared) {
      t = CpuSeconds();
      MakePart(SampleAtlas(true, "own_pyramids"), 2, maxZoom, 1, 1, Scratch("one_cached.pmtiles"));
      State.counters["cache_ratio"] = partsCpu / (CpuSeconds() - t);
    }
  }
  fs::remove_all(Scratch("").parent_path());
}
BENCHMARK(BM_PartsAgainstOneRun)
    ->ArgNames({"zoom", "parts", "shared"})
    ->ArgsProduct({{10}, {2, 4, 8}, {0, 1}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_MergeFragments(benchmark::State& State) {
  constexpr int kParts = 4, kLevel = 9;
  // Every tile of level 9 within a square of 240 x 240: 57 600 tiles.
  std::vector<std::string> fragments;
  int64_t tiles = 0;
  for (int k = 0; k < kParts; ++k) {
    const fs::path f = Scratch("frag" + std::to_string(k) + ".pmtiles");
    TTileSetInfo info;
    info.MinZoom = info.MaxZoom = kLevel;
    auto store = OpenTileStore(f.string(), info, false);
    std::vector<uint8_t> bytes(2048);
    for (int x = k * 60; x < (k + 1) * 60; ++x)
      for (int y = 0; y < 240; ++y) {
        for (size_t i = 0; i < bytes.size(); i += 8)
          bytes[i] = static_cast<uint8_t>(x * 31 + y + i);
        bytes[1] = static_cast<uint8_t>(x);
        bytes[2] = static_cast<uint8_t>(y);
        store->Put({kLevel, x, y}, bytes);
        ++tiles;
      }
    store->Finish();
    fragments.push_back(f.string());
  }
  double cpu = 0;
  for (auto _ : State) {
    const double t = CpuSeconds();
    MergeTileArchives(fragments, Scratch("merged.pmtiles").string());
    cpu += CpuSeconds() - t;
  }
  State.counters["tiles/s"] =
      benchmark::Counter(static_cast<double>(tiles), benchmark::Counter::kIsIterationInvariantRate);
  // Per second of one CPU (the wall clock above also waits for the disk).
  State.counters["tiles/cpu_s"] = static_cast<double>(tiles) * State.iterations() / cpu;
  fs::remove_all(Scratch("").parent_path());
}
BENCHMARK(BM_MergeFragments)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// Every tile of the sample atlas's pyramids read once from a warm cache
// file by a pyramid opened anew, as a part of a job reads the tiles it
// needs: the tiles land in fresh memory. Counter "ms/tile", CPU time.
void BM_PyramidTilesReadOnce(benchmark::State& State) {
  std::vector<std::string> images;
  for (const auto& e : fs::directory_iterator(MAROVIA_SAMPLE_ATLAS))
    if (e.path().extension() == ".jpg") images.push_back(e.path().string());
  std::sort(images.begin(), images.end());
  TPyramidOptions options;
  options.CacheDir = Scratch("read_once/x").parent_path().string();
  for (const std::string& f : images) TImagePyramid::Open(f, options);  // the cache files
  double cpu = 0;
  int64_t tiles = 0;
  for (auto _ : State) {
    const double t = CpuSeconds();
    for (const std::string& f : images) {
      const auto p = TImagePyramid::Open(f, options);
      for (int l = 0; l < p->Levels(); ++l)
        for (int y = 0; y < p->TilesDown(l); ++y)
          for (int x = 0; x < p->TilesAcross(l); ++x) {
            benchmark::DoNotOptimize(p->Tile(l, x, y));
            ++tiles;
          }
    }
    cpu += CpuSeconds() - t;
  }
  State.counters["ms/tile"] = cpu * 1e3 / static_cast<double>(tiles);
  fs::remove_all(Scratch("").parent_path());
}
BENCHMARK(BM_PyramidTilesReadOnce)->Unit(benchmark::kMillisecond);

// A grid of sheets of 1 x 1 degree, 64 x 64 pixels each, from 5 E 35 N.
TAtlasTiles Collection(int Maps) {
  const int columns = static_cast<int>(std::ceil(std::sqrt(Maps * 1.6)));
  TAtlasTiles atlas;
  for (int i = 0; i < Maps; ++i) {
    const double w = 5 + i % columns, n = 35 + i / columns + 1;
    TBitmap image(64, 64);  // the source takes a copy
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) image.ScanLine(y)[x] = (i * 2654435761u + x * 40503u) ^ y;
    TMapCalibration c(cmEquiRect, TCalibData{}, 64, 64);
    c.AddPoint(n, w, 0, 0);
    c.AddPoint(n, w + 1, 64, 0);
    c.AddPoint(n - 1, w, 0, 64);
    c.AddPoint(n - 1, w + 1, 64, 64);
    c.Fit();
    atlas.AddMap(TMapSource::FromBitmap(c, image), "sheet" + std::to_string(i));
  }
  return atlas;
}

void BM_Collection(benchmark::State& State) {
  const char* env = std::getenv("MAROVIA_COLLECTION_MAPS");
  const int maps = env ? std::max(1, std::atoi(env)) : 100;
  const int parts = static_cast<int>(State.range(0));
  const TAtlasTiles atlas = Collection(maps);
  const int z0 = atlas.DefaultMinZoom();
  for (auto _ : State) {
    const fs::path dir = Scratch("collection");
    fs::create_directories(dir);
    // One run, then the parts, each with the maps opened anew as a task
    // of its own would.
    double t = CpuSeconds();
    const double oneJob =
        MakePart(Collection(maps), z0, 10, 1, 1, Scratch("collection_one.pmtiles"));
    const double one = CpuSeconds() - t;
    std::vector<std::string> fragments;
    double partsJob = 0;
    t = CpuSeconds();
    for (int k = 1; k <= parts; ++k) {
      fragments.push_back((dir / ("c.part-" + std::to_string(k) + ".pmtiles")).string());
      partsJob += MakePart(Collection(maps), z0, 10, k, parts, fragments.back());
    }
    State.counters["ratio"] = (CpuSeconds() - t) / one;
    State.counters["job_ratio"] = partsJob / oneJob;
    const fs::path merged = Scratch("collection.pmtiles");
    const TTileMergeResult m = MergeTileArchives(fragments, merged.string());
    const TTileVerifyResult v = VerifyTileArchive(merged.string(), dir.string());
    State.counters["maps"] = maps;
    State.counters["tiles"] = static_cast<double>(m.Tiles);
    State.counters["places"] = static_cast<double>(TTileJob(atlas, z0, 10).Total());
    State.counters["missing"] = static_cast<double>(v.Missing);
    State.counters["extra"] = static_cast<double>(v.Extra);
    State.counters["changed"] = static_cast<double>(v.Changed);
    State.counters["faults"] = static_cast<double>(v.Problems.size());
  }
  fs::remove_all(Scratch("").parent_path());
}
BENCHMARK(BM_Collection)
    ->ArgName("parts")
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace
}  // namespace marovia
