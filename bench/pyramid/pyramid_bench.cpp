// The image pyramid on a large map (16384 x 16384 JPEG, made by the tool
// script when missing): building the pyramid, and the first 1920 x 1080
// view at 1/8 with the cache built, each in a child process so that its
// peak resident memory is its own; the same for the peer tools where they
// are installed. And the 2 x 2 box reduction on its own.
//
// Counters: seconds of wall time and peak RSS in MB of the child.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "box_reduce.h"
#include "marovia/platform/image_pyramid.h"

namespace {

using namespace marovia;
namespace fs = std::filesystem;

constexpr int kViewW = 1920, kViewH = 1080, kViewLevel = 3;  // 1/8

const std::string kData = MAROVIA_BENCH_DATA_DIR;
const std::string kMap = kData + "/large_map.jpg";
const std::string kCache = kData + "/cache";

bool Have(const std::string& Program) {
  return std::system(("command -v " + Program + " > /dev/null 2>&1").c_str()) == 0;
}

// The large map, made once; empty when it cannot be made.
const std::string& LargeMap() {
  static const std::string map = [] {
    if (fs::exists(kMap)) return kMap;
    if (!Have("gmt")) return std::string();
    const std::string cmd =
        "sh '" MAROVIA_LARGE_MAP_SCRIPT "' --out '" + kData + "' --size 16384 > /dev/null";
    return std::system(cmd.c_str()) == 0 ? kMap : std::string();
  }();
  return map;
}

struct Measured {
  double Seconds = 0;
  double PeakMB = 0;
  bool Ok = false;
};

// Runs Work in a child process: its wall time and peak RSS.
Measured InChild(const std::function<bool()>& Work) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    bool ok = false;
    try {
      ok = Work();
    } catch (...) {
    }
    std::_Exit(ok ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  Measured m;
  m.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  m.PeakMB = usage.ru_maxrss / 1024.0;
  m.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return m;
}

bool Shell(const std::string& Command) {
  return std::system(Command.c_str()) == 0;
}

void Report(benchmark::State& state, const Measured& m) {
  if (!m.Ok) {
    state.SkipWithError("the run failed");
    return;
  }
  state.SetIterationTime(m.Seconds);
  state.counters["seconds"] = m.Seconds;
  state.counters["peak_MB"] = m.PeakMB;
}

bool Ready(benchmark::State& state) {
  if (!LargeMap().empty()) return true;
  state.SkipWithError("no large map: gmt is not installed or the script failed");
  return false;
}

// Building the whole pyramid into an empty cache directory.
void BM_BuildPyramid(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    fs::remove_all(kCache);
    Report(state, InChild([] {
             TPyramidOptions o;
             o.CacheDir = kCache;
             return TImagePyramid::Open(LargeMap(), o)->Levels() > 0;
           }));
  }
}
BENCHMARK(BM_BuildPyramid)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

void BM_PeerVipsPyramid(benchmark::State& state) {
  if (!Ready(state)) return;
  if (!Have("vips")) return state.SkipWithError("vips is not installed");
  const std::string out = kData + "/vips_pyramid.tif";
  for (auto _ : state) {
    fs::remove(out);
    Report(state, InChild([&] {
             return Shell("vips tiffsave '" + LargeMap() + "' '" + out + "' --tile --pyramid");
           }));
  }
  fs::remove(out);
}
BENCHMARK(BM_PeerVipsPyramid)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

// The first view: opening the built cache and reading the tiles of a
// 1920 x 1080 window at 1/8 in the middle of the map.
void BM_FirstViewAtOneEighth(benchmark::State& state) {
  if (!Ready(state)) return;
  TPyramidOptions o;
  o.CacheDir = kCache;
  (void)TImagePyramid::Open(LargeMap(), o);  // the cache, built if needed
  for (auto _ : state) {
    Report(state, InChild([&] {
             const auto p = TImagePyramid::Open(LargeMap(), o);
             std::vector<uint32_t> view(size_t(kViewW) * kViewH);
             const int64_t left = (p->LevelWidth(kViewLevel) - kViewW) / 2;
             const int64_t top = (p->LevelHeight(kViewLevel) - kViewH) / 2;
             p->ReadRegion(kViewLevel, left, top, kViewW, kViewH, view.data(), kViewW);
             benchmark::DoNotOptimize(view.data());
             return true;
           }));
  }
}
BENCHMARK(BM_FirstViewAtOneEighth)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// The 2 x 2 box reduction of a 4096 x 4096 image; items are source pixels.
void BoxReduce(benchmark::State& state, bool Scalar) {
  const int w = 4096, h = 4096;
  static const std::vector<uint32_t> src = [] {
    std::vector<uint32_t> v(size_t(w) * h);
    std::mt19937 rng(1);
    for (auto& p : v) p = rng() & 0xFFFFFF;
    return v;
  }();
  std::vector<uint32_t> dst(size_t(w / 2) * (h / 2));
  for (auto _ : state) {
    if (Scalar) {
      for (int y = 0; y < h / 2; ++y)
        pyr::BoxReduceRowScalar(&src[size_t(2 * y) * w], &src[size_t(2 * y + 1) * w], w,
                                &dst[size_t(y) * (w / 2)]);
    } else {
      BoxReduce2x2(src.data(), w, h, w, dst.data(), w / 2);
    }
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetItemsProcessed(state.iterations() * int64_t{w} * h);
}
void BM_BoxReduce2x2(benchmark::State& state) {
  BoxReduce(state, false);
}
void BM_BoxReduce2x2Scalar(benchmark::State& state) {
  BoxReduce(state, true);
}
BENCHMARK(BM_BoxReduce2x2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxReduce2x2Scalar)->Unit(benchmark::kMillisecond);

}  // namespace
