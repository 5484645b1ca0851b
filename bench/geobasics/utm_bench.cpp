// Throughput of the UTM conversions: positions per second, forward and
// inverse, one at a time and in batches, over a spread of latitudes, zones
// and both hemispheres; where available, the same positions through an
// established library's UTM, per point, as the yardstick.
#include <benchmark/benchmark.h>

#include <vector>

#include "marovia/geobasics/utm.h"
#include "marovia/geobasics/utm_batch.h"
#ifdef MAROVIA_BENCH_GEOGRAPHICLIB
#include <GeographicLib/UTMUPS.hpp>
#endif

namespace marovia {
namespace {

struct Sample {
  double lat, lon;
  int zone;
  double easting, northing;
};

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples = [] {
    std::vector<Sample> s;
    for (int i = 0; i < 4096; ++i) {
      Sample p{};
      p.lat = -79.0 + 162.0 * ((i * 37) % 4096) / 4096.0;
      p.lon = -179.0 + 358.0 * ((i * 1031) % 4096) / 4096.0;
      LatLongToUTM(p.lat, p.lon, gelWGS84, p.zone, p.easting, p.northing);
      s.push_back(p);
    }
    return s;
  }();
  return samples;
}

void BM_LatLongToUTM(benchmark::State& state) {
  const auto& samples = Samples();
  std::size_t i = 0;
  for (auto _ : state) {
    const Sample& p = samples[i++ & 4095];
    int zone;
    double e, n;
    LatLongToUTM(p.lat, p.lon, gelWGS84, zone, e, n);
    benchmark::DoNotOptimize(e);
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LatLongToUTM);

void BM_UTMToLatLong(benchmark::State& state) {
  const auto& samples = Samples();
  std::size_t i = 0;
  for (auto _ : state) {
    const Sample& p = samples[i++ & 4095];
    double lat, lon;
    UTMToLatLong(p.easting, p.northing, p.zone, p.lat < 0, gelWGS84, lat, lon);
    benchmark::DoNotOptimize(lat);
    benchmark::DoNotOptimize(lon);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UTMToLatLong);

struct Columns {
  std::vector<double> lat, lon, easting, northing;
  std::vector<int> zone;
};

// The samples as columns; the inverse takes one zone (a map's), here 32
// north, for every point.
Columns SampleColumns() {
  Columns c;
  for (const Sample& p : Samples()) {
    c.lat.push_back(p.lat);
    c.lon.push_back(p.lon);
  }
  const size_t n = c.lat.size();
  c.zone.resize(n);
  c.easting.resize(n);
  c.northing.resize(n);
  LatLongToUTM(c.lat, c.lon, gelWGS84, c.zone, c.easting, c.northing);
  return c;
}

void BM_LatLongToUTMBatch(benchmark::State& state) {
  Columns c = SampleColumns();
  for (auto _ : state) {
    LatLongToUTM(c.lat, c.lon, gelWGS84, c.zone, c.easting, c.northing);
    benchmark::DoNotOptimize(c.easting.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.lat.size()));
}
BENCHMARK(BM_LatLongToUTMBatch);

void BM_UTMToLatLongBatch(benchmark::State& state) {
  Columns c = SampleColumns();
  std::vector<double> lat(c.lat.size()), lon(c.lat.size());
  for (auto _ : state) {
    UTMToLatLong(c.easting, c.northing, 32, false, gelWGS84, lat, lon);
    benchmark::DoNotOptimize(lat.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c.lat.size()));
}
BENCHMARK(BM_UTMToLatLongBatch);

#ifdef MAROVIA_BENCH_GEOGRAPHICLIB
void BM_GeographicLibForward(benchmark::State& state) {
  const auto& samples = Samples();
  std::size_t i = 0;
  for (auto _ : state) {
    const Sample& p = samples[i++ & 4095];
    int zone;
    bool north;
    double e, n;
    GeographicLib::UTMUPS::Forward(p.lat, p.lon, zone, north, e, n);
    benchmark::DoNotOptimize(e);
    benchmark::DoNotOptimize(n);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeographicLibForward);

void BM_GeographicLibReverse(benchmark::State& state) {
  const auto& samples = Samples();
  std::size_t i = 0;
  for (auto _ : state) {
    const Sample& p = samples[i++ & 4095];
    double lat, lon;
    GeographicLib::UTMUPS::Reverse(p.zone, p.lat >= 0, p.easting, p.northing, lat, lon);
    benchmark::DoNotOptimize(lat);
    benchmark::DoNotOptimize(lon);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GeographicLibReverse);
#endif

}  // namespace
}  // namespace marovia
