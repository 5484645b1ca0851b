// Throughput of the UTM conversions: positions per second, forward and
// inverse, over a spread of latitudes, zones and both hemispheres.
#include <benchmark/benchmark.h>

#include <vector>

#include "marovia/geobasics/utm.h"

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

}  // namespace
}  // namespace marovia

BENCHMARK_MAIN();
