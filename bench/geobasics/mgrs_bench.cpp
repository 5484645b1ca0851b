// Throughput of MGRS references: a million positions to 1 m references and
// back, in batches and one at a time, and where available the same
// positions through an established library's UTM/UPS and MGRS, per point,
// as the yardstick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "marovia/geobasics/mgrs.h"
#ifdef MAROVIA_BENCH_GEOGRAPHICLIB
#include <GeographicLib/MGRS.hpp>
#include <GeographicLib/UTMUPS.hpp>
#endif

namespace marovia {
namespace {

constexpr size_t kCount = 1000000;

struct Million {
  std::vector<double> lat, lon;
  std::vector<char> text;  // kCount fields of MGRS_MaxLength
  std::vector<std::string> refs;
};

// Positions spread evenly over the globe's surface (about 1 % of them in
// the polar caps), and their references.
const Million& Positions() {
  static const Million m = [] {
    Million p;
    std::mt19937_64 random(1);
    std::uniform_real_distribution<double> z(-1, 1), lon(-180, 180);
    for (size_t i = 0; i < kCount; ++i) {
      p.lat.push_back(std::asin(z(random)) * 180 / 3.141592653589793);
      p.lon.push_back(lon(random));
    }
    p.text.resize(kCount * MGRS_MaxLength);
    LatLongToMGRS(p.lat, p.lon, 5, gelWGS84, p.text, MGRS_MaxLength);
    for (size_t i = 0; i < kCount; ++i) {
      const char* f = &p.text[i * MGRS_MaxLength];
      p.refs.emplace_back(f, std::find(f, f + MGRS_MaxLength, '\0'));
    }
    return p;
  }();
  return m;
}

void BM_MGRSForwardBatch(benchmark::State& state) {
  const Million& p = Positions();
  std::vector<char> text(kCount * MGRS_MaxLength);
  for (auto _ : state) {
    LatLongToMGRS(p.lat, p.lon, 5, gelWGS84, text, MGRS_MaxLength);
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kCount));
}
BENCHMARK(BM_MGRSForwardBatch)->Unit(benchmark::kMillisecond);

void BM_MGRSInverseBatch(benchmark::State& state) {
  const Million& p = Positions();
  std::vector<double> lat(kCount), lon(kCount);
  std::vector<uint8_t> ok(kCount);
  for (auto _ : state) {
    MGRSToLatLong(p.text, MGRS_MaxLength, gelWGS84, lat, lon, ok);
    benchmark::DoNotOptimize(lat.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kCount));
}
BENCHMARK(BM_MGRSInverseBatch)->Unit(benchmark::kMillisecond);

void BM_LatLongToMGRS(benchmark::State& state) {
  const Million& p = Positions();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(LatLongToMGRS(p.lat[i], p.lon[i]));
    i = (i + 1) % kCount;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LatLongToMGRS);

#ifdef MAROVIA_BENCH_GEOGRAPHICLIB
// Position to reference: its UTM/UPS, then its MGRS, as one conversion.
void BM_GeographicLibMGRSForward(benchmark::State& state) {
  const Million& p = Positions();
  std::string ref;
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) {
      int zone;
      bool north;
      double x, y;
      GeographicLib::UTMUPS::Forward(p.lat[i], p.lon[i], zone, north, x, y);
      GeographicLib::MGRS::Forward(zone, north, x, y, p.lat[i], 5, ref);
      benchmark::DoNotOptimize(ref.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kCount));
}
BENCHMARK(BM_GeographicLibMGRSForward)->Unit(benchmark::kMillisecond);

void BM_GeographicLibMGRSReverse(benchmark::State& state) {
  const Million& p = Positions();
  for (auto _ : state) {
    for (size_t i = 0; i < kCount; ++i) {
      int zone, prec;
      bool north;
      double x, y, lat, lon;
      GeographicLib::MGRS::Reverse(p.refs[i], zone, north, x, y, prec);
      GeographicLib::UTMUPS::Reverse(zone, north, x, y, lat, lon);
      benchmark::DoNotOptimize(lat);
      benchmark::DoNotOptimize(lon);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kCount));
}
BENCHMARK(BM_GeographicLibMGRSReverse)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
}  // namespace marovia
BENCHMARK_MAIN();
