// Thin-plate spline of 200 control points: the fit, and conversions one at
// a time and in batches.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "calibration/thin_plate_spline.h"

namespace {

using marovia::TThinPlateSpline;

struct Cloud {
  std::vector<double> u, v, x, y;
};

// n control points scattered over a 2000 x 2000 pixel scan, mapped to a
// gently warped map.
Cloud Scatter(int n, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> pos(0, 2000);
  Cloud c;
  for (int i = 0; i < n; ++i) {
    const double u = pos(rng), v = pos(rng);
    c.u.push_back(u);
    c.v.push_back(v);
    c.x.push_back(500000 + 25 * u + 300 * std::sin(u / 400));
    c.y.push_back(6000000 - 25 * v + 200 * std::cos(v / 300 + u / 900));
  }
  return c;
}

void BM_ThinPlateFit(benchmark::State& state) {
  const Cloud c = Scatter(static_cast<int>(state.range(0)), 1);
  for (auto _ : state) {
    TThinPlateSpline s;
    benchmark::DoNotOptimize(s.Fit(c.u, c.v, c.x, c.y, 0));
  }
}
BENCHMARK(BM_ThinPlateFit)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

// What a thin-plate calibration fits: both splines, pixels to positions and
// back.
void BM_ThinPlateFitBothWays(benchmark::State& state) {
  const Cloud c = Scatter(static_cast<int>(state.range(0)), 1);
  for (auto _ : state) {
    TThinPlateSpline toMap, toPixels;
    benchmark::DoNotOptimize(toMap.Fit(c.u, c.v, c.x, c.y, 0));
    benchmark::DoNotOptimize(toPixels.Fit(c.x, c.y, c.u, c.v, 0));
  }
  state.SetLabel(std::to_string(state.range(0)) + " points, both splines");
}
BENCHMARK(BM_ThinPlateFitBothWays)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ThinPlateEval(benchmark::State& state) {
  const Cloud c = Scatter(200, 1);
  const Cloud q = Scatter(4096, 2);
  TThinPlateSpline s;
  s.Fit(c.u, c.v, c.x, c.y, 0);
  size_t i = 0;
  for (auto _ : state) {
    double x, y;
    benchmark::DoNotOptimize(s.Eval(q.u[i], q.v[i], x, y));
    benchmark::DoNotOptimize(x);
    i = (i + 1) & 4095;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ThinPlateEval);

void BM_ThinPlateEvalBatch(benchmark::State& state) {
  const Cloud c = Scatter(200, 1);
  const Cloud q = Scatter(4096, 2);
  TThinPlateSpline s;
  s.Fit(c.u, c.v, c.x, c.y, 0);
  std::vector<double> x(q.u.size()), y(q.u.size());
  std::vector<uint8_t> ok(q.u.size());
  for (auto _ : state) {
    s.EvalBatch(q.u, q.v, x, y, ok);
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(q.u.size()));
}
BENCHMARK(BM_ThinPlateEvalBatch);

}  // namespace

BENCHMARK_MAIN();
